#include "embeddedprofile.h"

#include <algorithm>
#include <cstring>

#include "codecwarning.h"
#include "formatoptions.h"
#include "langstr.h"
#include "pixelgraphic.h"

namespace {

const TPGLangStrEntry UnusableProfileText = {
    0,
    {"The embedded colour profile cannot be used; the colours stay as stored",
     "Das eingebettete Farbprofil ist nicht verwendbar; die Farben bleiben wie gespeichert",
     "Le profil de couleurs incorporé est inutilisable ; les couleurs restent telles qu'enregistrées",
     "Het ingesloten kleurprofiel is onbruikbaar; de kleuren blijven zoals opgeslagen",
     "El perfil de color incrustado no se puede usar; los colores quedan como están guardados", ""}};

constexpr char ICCHeader[] = "ICC_PROFILE";  // with its terminating zero
constexpr size_t ICCHeaderSize = sizeof ICCHeader + 2;  // then sequence number and count

std::string UnusableWarning(TPGWarningAction action, const std::string& formatName) {
  return CodecWarningFailure(action, formatName, LangText(UnusableProfileText));
}

}  // namespace

TEmbeddedProfile JoinICCSegments(const std::vector<std::pair<const uint8_t*, size_t>>& Segments) {
  TEmbeddedProfile profile;
  std::vector<std::pair<const uint8_t*, size_t>> ordered;
  size_t count = 0;
  for (const auto& [data, size] : Segments) {
    if (size < ICCHeaderSize || std::memcmp(data, ICCHeader, sizeof ICCHeader) != 0) continue;
    const size_t number = data[sizeof ICCHeader], total = data[sizeof ICCHeader + 1];
    if (count == 0) {
      count = total;
      ordered.assign(count, {nullptr, 0});
    }
    if (total != count || number == 0 || number > count || ordered[number - 1].first) {
      profile.Damaged = true;
      return profile;
    }
    ordered[number - 1] = {data + ICCHeaderSize, size - ICCHeaderSize};
  }
  for (const auto& [data, size] : ordered) {
    if (!data) {
      profile.Damaged = true;
      profile.Data.clear();
      return profile;
    }
    profile.Data.insert(profile.Data.end(), data, data + size);
  }
  return profile;
}

std::string ConvertEmbeddedProfile(TPixelGraphic& Graphic, const TEmbeddedProfile& Profile,
                                   const std::string& FormatName) {
  if (!ConvertToSRGB || !Profile.Present()) return std::string();
  if (!Profile.Damaged && TICCProfile(Profile.Data.data(), Profile.Data.size()).ConvertToSRGB(Graphic)) {
    Graphic.SetGamma(SRGBGamma);
    return std::string();
  }
  return UnusableWarning(Graphic.ReadWarningAction(), FormatName);
}

std::unique_ptr<TCMYKConversion> CMYKConversionOf(const TEmbeddedProfile& Profile, bool Inverted,
                                                  TPGWarningAction Action, const std::string& FormatName,
                                                  std::string& Failure) {
  Failure.clear();
  if (ConvertToSRGB && Profile.Present()) {
    if (!Profile.Damaged) {
      const TICCProfile icc(Profile.Data.data(), Profile.Data.size());
      auto conversion = std::make_unique<TCMYKConversion>(&icc, Inverted);
      if (conversion->Valid()) return conversion;
    }
    Failure = UnusableWarning(Action, FormatName);
  }
  return std::make_unique<TCMYKConversion>(nullptr, Inverted);
}
