#include "iccprofile.h"

#include <lcms2.h>

#include <array>
#include <vector>

#include "pixelgraphic.h"

namespace {

// Relative colorimetric without black-point compensation: what libvips'
// icc_transform does by default, so that a file gives the colours of the
// peer most tools agree with. For the matrix profiles of cameras and
// editors (Adobe RGB and the like) perceptual would give the same.
constexpr cmsUInt32Number Intent = INTENT_RELATIVE_COLORIMETRIC;

std::shared_ptr<void> OwnedProfile(cmsHPROFILE profile) {
  return profile ? std::shared_ptr<void>(profile, [](void* p) { cmsCloseProfile(p); }) : nullptr;
}

std::shared_ptr<void> OwnedTransform(cmsHTRANSFORM transform) {
  return transform ? std::shared_ptr<void>(transform, [](void* t) { cmsDeleteTransform(t); }) : nullptr;
}

// A transform from Source to sRGB between the given sample layouts.
std::shared_ptr<void> SRGBTransform(void* source, cmsUInt32Number inFormat, cmsUInt32Number outFormat) {
  const std::shared_ptr<void> srgb = OwnedProfile(cmsCreate_sRGBProfile());
  if (!source || !srgb) return nullptr;
  return OwnedTransform(cmsCreateTransform(source, inFormat, srgb.get(), outFormat, Intent, 0));
}

void ConvertPalette(TPixelGraphic& graphic, void* transform, bool gray) {
  const int32_t count = graphic.PaletteCount();
  std::vector<uint8_t> in(size_t(count) * 3), out(in.size() * (gray ? 3 : 1));
  for (int32_t i = 0; i < count; ++i) {
    const TRGB c = graphic.PaletteEntries(i);
    in[size_t(i) * 3] = GetRValue(c);
    in[size_t(i) * 3 + 1] = GetGValue(c);
    in[size_t(i) * 3 + 2] = GetBValue(c);
  }
  // A grey profile maps each channel by itself.
  cmsDoTransform(transform, in.data(), out.data(), cmsUInt32Number(gray ? in.size() : size_t(count)));
  for (int32_t i = 0; i < count; ++i) {
    const uint8_t* o = out.data() + size_t(i) * (gray ? 9 : 3);
    graphic.SetPaletteEntries(i, gray ? RGB(o[1], o[4], o[7]) : RGB(o[0], o[1], o[2]));
  }
}

void ConvertRows(TPixelGraphic& graphic, void* transform) {
  if (graphic.GetEmpty()) return;
  const size_t width = size_t(graphic.GetWidth());
  std::vector<uint8_t> row(width * 3);
  for (int32_t y = 0; y < graphic.GetHeight(); ++y) {
    uint8_t* line = graphic.ScanLine(y);
    std::copy(line, line + row.size(), row.begin());
    cmsDoTransform(transform, row.data(), line, cmsUInt32Number(width));
  }
}

void ConvertGrayLevels(TPixelGraphic& graphic, void* transform) {
  std::array<uint8_t, 256> levels{}, rgb{};
  std::vector<uint8_t> out(levels.size() * 3);
  for (size_t i = 0; i < levels.size(); ++i) levels[i] = uint8_t(i);
  cmsDoTransform(transform, levels.data(), out.data(), cmsUInt32Number(levels.size()));
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = out[i * 3 + 1];
  if (graphic.GetEmpty()) return;
  const size_t width = size_t(graphic.GetWidth());
  for (int32_t y = 0; y < graphic.GetHeight(); ++y) {
    uint8_t* line = graphic.ScanLine(y);
    for (size_t x = 0; x < width; ++x) line[x] = rgb[line[x]];
  }
}

}  // namespace

TICCProfile::TICCProfile(const uint8_t* Data, size_t Size)
    : FHandle(Data && Size > 0 && Size <= UINT32_MAX ? OwnedProfile(cmsOpenProfileFromMem(Data, cmsUInt32Number(Size)))
                                                      : nullptr) {}

TICCProfile::TICCProfile(const TChromaticities& c, double Gamma) {
  const cmsCIExyY white{c.WhiteX, c.WhiteY, 1};
  const cmsCIExyYTRIPLE primaries{{c.RedX, c.RedY, 1}, {c.GreenX, c.GreenY, 1}, {c.BlueX, c.BlueY, 1}};
  cmsToneCurve* curve = cmsBuildGamma(nullptr, Gamma);
  if (!curve) return;
  cmsToneCurve* curves[3] = {curve, curve, curve};
  FHandle = OwnedProfile(cmsCreateRGBProfile(&white, &primaries, curves));
  cmsFreeToneCurve(curve);
}

TICCColourSpace TICCProfile::ColourSpace() const {
  if (!FHandle) return icsOther;
  switch (cmsGetColorSpace(FHandle.get())) {
    case cmsSigRgbData: return icsRGB;
    case cmsSigGrayData: return icsGray;
    case cmsSigCmykData: return icsCMYK;
    default: return icsOther;
  }
}

bool TICCProfile::ConvertToSRGB(TPixelGraphic& Graphic) const {
  const TICCColourSpace space = ColourSpace();
  const bool palette = Graphic.BitCountNum() < 3;
  const bool grayRamp = Graphic.BitCountNum() == 2 && Graphic.PaletteIdent() == pGray256;
  if (space == icsRGB && !grayRamp) {
    const cmsUInt32Number format = palette ? TYPE_RGB_8 : TYPE_BGR_8;
    const std::shared_ptr<void> transform = SRGBTransform(FHandle.get(), format, format);
    if (!transform) return false;
    if (palette)
      ConvertPalette(Graphic, transform.get(), false);
    else
      ConvertRows(Graphic, transform.get());
    return true;
  }
  if (space == icsGray && palette) {
    const std::shared_ptr<void> transform = SRGBTransform(FHandle.get(), TYPE_GRAY_8, TYPE_RGB_8);
    if (!transform) return false;
    if (grayRamp)
      ConvertGrayLevels(Graphic, transform.get());
    else
      ConvertPalette(Graphic, transform.get(), true);
    return true;
  }
  return false;
}

TCMYKConversion::TCMYKConversion(const TICCProfile* Profile, bool Inverted) : FInverted(Inverted) {
  if (!Profile) return;
  FTransform = Profile->ColourSpace() == icsCMYK
                   ? SRGBTransform(Profile->Handle(), Inverted ? TYPE_CMYK_8_REV : TYPE_CMYK_8, TYPE_BGR_8)
                   : nullptr;
  FValid = FTransform != nullptr;
}

void TCMYKConversion::Convert(const uint8_t* CMYK, uint8_t* BGR, int32_t Count) const {
  if (FTransform) {
    cmsDoTransform(FTransform.get(), CMYK, BGR, cmsUInt32Number(Count));
    return;
  }
  const auto light = [this](uint8_t ink, uint8_t black) {
    const int left = FInverted ? ink * black : (255 - ink) * (255 - black);
    return uint8_t((left + 127) / 255);
  };
  for (int32_t i = 0; i < Count; ++i, CMYK += 4, BGR += 3) {
    BGR[0] = light(CMYK[2], CMYK[3]);
    BGR[1] = light(CMYK[1], CMYK[3]);
    BGR[2] = light(CMYK[0], CMYK[3]);
  }
}
