#include "optionslogic.h"

#include <cmath>
#include <functional>
#include <initializer_list>
#include <limits>
#include <optional>

#include "mainformlogic.h"
#include "settings.h"

namespace {

// A condition on one field; nothing when the field is no number.
using TCheck = std::function<std::optional<bool>()>;

TCheck IntegerIn(const std::string& Text, int32_t Low, int32_t High) {
  return [&Text, Low, High]() -> std::optional<bool> {
    const std::optional<int32_t> n = ParseIntegerText(Text);
    if (!n) return std::nullopt;
    return *n >= Low && *n <= High;
  };
}

std::optional<bool> AllOf(std::initializer_list<TCheck> Checks) {
  for (const TCheck& check : Checks) {
    const std::optional<bool> passed = check();
    if (!passed || !*passed) return passed;
  }
  return true;
}

}  // namespace

TOptionsValidation ValidateOptions(const TOptionsFields& f, bool ResultPresent) {
  TOptionsValidation v;
  constexpr int32_t Max = std::numeric_limits<int32_t>::max();
  const TCheck gamma = [&f]() -> std::optional<bool> {
    const std::optional<long double> g = ParseRealText(f.ScreenGamma);
    if (!g) return std::nullopt;
    return *g > 0 && *g <= 10;
  };
  const std::optional<bool> ok =
      AllOf({IntegerIn(f.JPEGWQuality, 0, 100), IntegerIn(f.Frame, 2, 1000), IntegerIn(f.Mem, 1, MaxMemWarning),
             IntegerIn(f.OptPalSize, 2, 256), gamma, IntegerIn(f.TIFFResHorizN, 1, Max),
             IntegerIn(f.TIFFResHorizD, 1, Max), IntegerIn(f.TIFFResVertN, 1, Max), IntegerIn(f.TIFFResVertD, 1, Max),
             IntegerIn(f.AVIFQuality, 0, 100), IntegerIn(f.AVIFSpeed, 0, 9), IntegerIn(f.WebPQuality, 0, 100)});
  if (!ok) return v;
  v.OKAllowed = *ok;
  const std::optional<bool> test =
      AllOf({IntegerIn(f.JPEGWQuality, 0, 100), [ResultPresent]() -> std::optional<bool> { return ResultPresent; }});
  if (!test) return v;
  v.TestAllowed = *test;
  const std::optional<bool> sys = IntegerIn(f.OptPalSize, 17, 256)();
  if (!sys) return v;
  v.SysColorsOffered = *sys;
  return v;
}

std::string SecondsText(int64_t Milliseconds) { return GeneralFormat(static_cast<long double>(Milliseconds) / 1000); }

std::string KilobytesText(int64_t Bytes) {
  return GeneralFormat(std::nearbyint(static_cast<long double>(Bytes) / 1024 * 1000) / 1000);
}

std::string JPEGTestActionText(bool Reading, int32_t Language) {
  const bool de = Language == LanguageGerman;
  if (Reading) return de ? "Lese Test-Datei!" : "Reading test-file!";
  return de ? "Schreibe Test-Datei!" : "Writing test-file!";
}

TJPEGTestTexts JPEGTestTexts(int64_t WriteMilliseconds, int64_t ReadMilliseconds, int64_t FileBytes,
                             int32_t Language) {
  if (Language == LanguageGerman)
    return {"Test der JPEG-Einstellungen", "Schreiben: " + SecondsText(WriteMilliseconds) + " Sek.",
            "Lesen: " + SecondsText(ReadMilliseconds) + " Sek.", "Datei-Größe: " + KilobytesText(FileBytes) + " KB."};
  return {"Test of JPEG-settings", "Write: " + SecondsText(WriteMilliseconds) + " sec.",
          "Read: " + SecondsText(ReadMilliseconds) + " sec.", "File-size: " + KilobytesText(FileBytes) + " KB."};
}
