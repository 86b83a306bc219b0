#include "clisetup.h"

#include <memory>
#include <stdexcept>

#include "formatoptions.h"
#include "langstr.h"
#include "settings.h"
#include "settingsstore.h"

namespace {

template <class T, class U>
void Override(T& variable, const std::optional<U>& value) {
  if (value) variable = T(*value);
}

// As the main window's "Load palette" does: a picture whose palette alone
// is kept, and refused without one.
void LoadIndividualPalette(const std::string& fileName) {
  auto palette = std::make_unique<TPixelGraphic>();
  palette->LoadFromFile(fileName);
  palette->SetHeight(0);
  palette->SetWidth(0);
  if (palette->PaletteCount() == 0 || palette->PaletteCount() > MaxIPaletteSize)
    throw std::runtime_error(Language == LanguageGerman ? "Keine Palette!" : "No Palette!");
  IndividualPalette = std::move(palette);
}

}  // namespace

void ApplyCliOptions(const TCliOptions& o) {
  // No screen shows the result, so its depth does not limit anything.
  constexpr int trueColorScreen = 24;
  if (o.UseSettings)
    LoadSettings(TSettingsStore(TSettingsStore::UserConfigDir()), trueColorScreen);
  else
    SetApplicationDefaults();
  Override(Language, o.Language);
  SetPGLanguage(Language == LanguageGerman ? 1 : 0);

  Override(KeepAspectRatio, o.KeepAspect);
  Override(Selection, o.Selection);
  Override(OptimizedPaletteSize, o.OptimizedPaletteSize);
  Override(OptimizedPaletteIncludeSys, o.OptimizedPaletteIncludeSys);
  Override(StretchMode, o.StretchMode);
  Override(Sharpen, o.Sharpen);
  Override(Dithering, o.Dithering);
  Override(RGBWeighting, o.RGBWeighting);
  Override(FastUnknownPalette, o.FastUnknownPalette);
  Override(MinimizeInterference, o.MinimizeInterference);
  Override(DoBorder, o.DoBorder);
  Override(BorderEllipse, o.BorderEllipse);
  Override(BorderWidth, o.BorderWidth);
  Override(BorderColor, o.BorderColor);

  Override(JPEGCompQuality, o.JPEGCompQuality);
  Override(JPEGCompProgressive, o.JPEGCompProgressive);
  Override(JPEGCompMethod, o.JPEGCompMethod);
  Override(JPEGDecompMethod, o.JPEGDecompMethod);
  Override(PXMWriteBinary, o.PXMWriteBinary);
  Override(TIFFWriteCompression, o.TIFFWriteCompression);
  Override(TIFFWriteByteOrder, o.TIFFWriteByteOrder);
  Override(TIFFWriteTrueColorPhotInterpret, o.TIFFWriteTrueColorPhotInterpret);
  Override(TIFFWriteGrayScalePhotInterpret, o.TIFFWriteGrayScalePhotInterpret);
  Override(GammaCorrectionOnRead, o.GammaCorrectionOnRead);
  Override(WriteGamma, o.WriteGamma);
  Override(ScreenGamma, o.ScreenGamma);

  if (!o.IndividualPaletteFile.empty()) LoadIndividualPalette(o.IndividualPaletteFile);
}

TCliJobSettings CliJobSettings(const TCliOptions& o) {
  TCliJobSettings s;
  s.Shrink = CurrentShrinkSettings();
  s.Size.Width = o.Width;
  s.Size.Height = o.Height;
  s.Size.WidthPercent = WidthPercent;
  s.Size.HeightPercent = HeightPercent;
  s.Size.KeepAspect = KeepAspectRatio;
  s.MinimizeInterference = MinimizeInterference;
  s.SaveColorResWarningAction = o.Strict ? pgwaRaise : pgwaIgnore;
  return s;
}
