#include "mainformlogic.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "palettechoice.h"
#include "settings.h"
#include "sizearithmetic.h"

namespace {

bool German(int32_t language) { return language == LanguageGerman; }

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A leading "+" is a sign the user may type; from_chars does not take it.
std::string WithoutPlus(std::string text) {
  if (!text.empty() && text[0] == '+' && text.size() > 1 && text[1] != '-') text.erase(0, 1);
  return text;
}

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return text;
}

}  // namespace

std::optional<long double> ParseRealText(const std::string& Text) {
  std::string text = WithoutPlus(Trimmed(Text));
  // A German user types a decimal comma.
  if (text.find('.') == std::string::npos) std::replace(text.begin(), text.end(), ',', '.');
  long double value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::optional<int32_t> ParseIntegerText(const std::string& Text) {
  const std::string text = WithoutPlus(Trimmed(Text));
  int32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

std::string GeneralFormat(long double Value) {
  if (Value == 0) Value = 0;  // no "-0"
  char buffer[64];
  const auto [ptr, ec] = std::to_chars(buffer, buffer + sizeof buffer, Value, std::chars_format::general, 15);
  return ec == std::errc() ? std::string(buffer, ptr) : std::string("0");
}

TSizeCoupling CoupleSizeFields(const TSizeFields& Fields, TSizeField Changed, bool KeepRatio, int32_t SourceWidth,
                               int32_t SourceHeight) {
  TSizeCoupling c{Fields, false};
  TSizeFields& f = c.Fields;
  const auto keepRatioFromWidth = [&] {
    f.HeightPercent = f.WidthPercent;
    f.HeightPixels = std::to_string(PercentToPixels(SourceHeight, ParseRealText(f.WidthPercent).value_or(0)));
  };
  const auto keepRatioFromHeight = [&] {
    f.WidthPercent = f.HeightPercent;
    f.WidthPixels = std::to_string(PercentToPixels(SourceWidth, ParseRealText(f.HeightPercent).value_or(0)));
  };
  // The changed percent field: a text that is no number becomes "0".
  const auto percent = [&](std::string& text) {
    std::optional<long double> p = ParseRealText(text);
    if (!p) {
      text = "0";
      c.ChangedReset = true;
    }
    return std::max(p.value_or(0), 0.0L);
  };
  const auto pixels = [&](std::string& text) {
    std::optional<int32_t> n = ParseIntegerText(text);
    if (!n) {
      text = "0";
      c.ChangedReset = true;
    }
    return std::max(n.value_or(0), 0);
  };
  switch (Changed) {
    case sfWidthPercent:
      f.WidthPixels = std::to_string(PercentToPixels(SourceWidth, percent(f.WidthPercent)));
      if (KeepRatio) keepRatioFromWidth();
      break;
    case sfWidthPixels:
      f.WidthPercent = GeneralFormat(PixelsToPercent(pixels(f.WidthPixels), SourceWidth));
      if (KeepRatio) keepRatioFromWidth();
      break;
    case sfHeightPercent:
      f.HeightPixels = std::to_string(PercentToPixels(SourceHeight, percent(f.HeightPercent)));
      if (KeepRatio) keepRatioFromHeight();
      break;
    case sfHeightPixels:
      f.HeightPercent = GeneralFormat(PixelsToPercent(pixels(f.HeightPixels), SourceHeight));
      if (KeepRatio) keepRatioFromHeight();
      break;
    case sfKeepRatio:
      if (KeepRatio) keepRatioFromWidth();
      break;
    case sfNone: break;
  }
  return c;
}

std::vector<int32_t> PaletteListRows(int32_t List, int32_t OptimizedPaletteSize, int32_t IndividualPaletteSize,
                                     int32_t SourcePaletteSize) {
  std::vector<int32_t> rows;
  for (int32_t row = 0; row < PaletteChoiceRowCount; ++row)
    if (PaletteChoiceRow(row).BitCountNum == List &&
        PaletteChoiceListed(row, OptimizedPaletteSize, IndividualPaletteSize, SourcePaletteSize))
      rows.push_back(row);
  return rows;
}

std::vector<std::string> PaletteListTexts(const std::vector<int32_t>& Rows, int32_t Language) {
  std::vector<std::string> texts;
  for (int32_t row : Rows) texts.push_back(PaletteChoiceText(row, Language));
  std::stable_sort(texts.begin(), texts.end(),
                   [](const std::string& a, const std::string& b) { return LowerAscii(a) < LowerAscii(b); });
  return texts;
}

std::vector<int32_t> SelectionRestoreRows(int32_t Selection) {
  const TPaletteChoice& choice = PaletteChoiceRow(Selection);
  if (choice.Optimized) return {3, 10, 18};
  if (choice.IndividualPalette) return {2, 9, 17};
  if (choice.SourcePalette) return {1, 8, 16};
  return {PaletteChoiceRow(Selection).BitCountNum == 3 ? TrueColorRow : Selection};
}

bool RGBWeightingApplies(int32_t Selection) {
  switch (PaletteChoiceRow(Selection).PaletteIdent) {
    case pBlackWhite:
    case pSysGray4:
    case pGray4:
    case pGray16:
    case pGray236:
    case pGray256: return true;
    default: return false;
  }
}

bool InterferencePossible(int32_t SourceWidth, int32_t SourceHeight, const std::string& WidthPixels,
                          const std::string& HeightPixels) {
  if (SourceWidth < 2 || SourceHeight < 2) return false;
  const std::optional<int32_t> w = ParseIntegerText(WidthPixels), h = ParseIntegerText(HeightPixels);
  return (w && CanMinimizeInterference(SourceWidth, *w)) || (h && CanMinimizeInterference(SourceHeight, *h));
}

TSourceInfo SourceInfoTexts(int32_t Width, int32_t Height, int BitCount, uint8_t BitCountNum, int32_t PaletteCount,
                            int32_t Language) {
  if (Width <= 0 || Height <= 0) return {};
  const bool de = German(Language);
  TSourceInfo info;
  info.Size = (de ? "Breite: " : "Width: ") + std::to_string(Width) + "; " + (de ? "Höhe: " : "Height: ") +
              std::to_string(Height);
  info.Color = (de ? "Bits pro Pixel: " : "Bits per pixel: ") + std::to_string(BitCount) + "; " +
               (de ? "Max. Farben: " : "Max. colors: ") + std::to_string(int64_t(1) << BitCount);
  if (BitCountNum != 3)
    info.Color += (de ? "; Paletteneinträge: " : "; Palette-entries: ") + std::to_string(PaletteCount);
  return info;
}

bool QualityHintDue(int32_t Width, int32_t Height, uint8_t BitCountNum, uint8_t ScreenCode) {
  return Width > 0 && Height > 0 && BitCountNum > ScreenCode;
}

std::string SaveAdviceText(const std::string& Extension, uint8_t BitCountNum, TPaletteIdent PaletteIdent,
                           int32_t Language) {
  const bool de = German(Language);
  std::string advice;
  if (Extension == "jpg" || Extension == "jpeg" || Extension == "jif") {
    if (BitCountNum == 3 || PaletteIdent == pGray256) return {};
    advice =
        de ? R"A(Das JPG-Format eignet sich besonders für die Speicherung von True-Color Grafiken oder Grafiken mit 256 Graustufen. Um eine maximale Qualität zu erhalten sollten Sie daher auf der "Ergebnis"-Seite "8 Bit (256 Farben), Grau 256" bzw. "24 Bit (True Color)" wählen. Für die Speicherung von Grafiken mit bestimmten Paletten benutzen Sie besser ein anderes Dateiformat, z.B. BMP oder PNG.)A"
           : R"A(The JPG-format is specially suited to save True-Color graphics or graphics with 256 shades of gray. You should select "8 bit (256 colors), Gray 256" or 24 bit (True Color)" on the "Result"-page to achieve best quality. You should use another format, e.g. BMP or PNG, to save graphics with special palettes.)A";
  } else if (Extension == "ppm") {
    if (BitCountNum == 3) return {};
    advice =
        de ? R"A(Das PPM-Format eignet sich besonders für die Speicherung von True-Color Grafiken. Um eine maximale Qualität zu erhalten sollten Sie daher auf der "Ergebnis"-Seite "24 Bit (True Color)" wählen. Für die Speicherung von Grafiken mit bestimmten Paletten benutzen Sie besser ein anderes Dateiformat, z.B. BMP oder PNG.)A"
           : R"A(The PPM-format is specially suited to save True-Color graphics. You should select 24 bit (True Color)" on the "Result"-page to achieve best quality. You should use another format, e.g. BMP or PNG, to save graphics with special palettes.)A";
  } else if (Extension == "webp") {
    if (BitCountNum == 3) return {};
    advice =
        de ? R"A(Das WebP-Format speichert nur True-Color Grafiken; eine Grafik mit Palette wird als True-Color gespeichert. Um eine maximale Qualität zu erhalten sollten Sie daher auf der "Ergebnis"-Seite "24 Bit (True Color)" wählen. Um die Palette zu behalten, benutzen Sie ein anderes Dateiformat, z.B. BMP oder PNG.)A"
           : R"A(The WebP-format holds True-Color graphics only; a graphic with a palette is saved as True-Color. You should select "24 bit (True Color)" on the "Result"-page to achieve best quality. You should use another format, e.g. BMP or PNG, to keep the palette.)A";
  } else if (Extension == "pgm") {
    if (BitCountNum == 2 && PaletteIdent == pGray256) return {};
    advice =
        de ? R"A(Das PGM-Format eignet sich besonders für die Speicherung von Grafiken mit 256 Graustufen. Um eine maximale Qualität zu erhalten sollten Sie daher auf der "Ergebnis"-Seite "8 Bit (256 Farben), Grau 256" wählen. Für die Speicherung von True-Color Grafiken oder Grafiken mit bestimmten Paletten benutzen Sie besser ein anderes Dateiformat.)A"
           : R"A(The PGM-format is specially suited to save graphics with 256 shades of gray. You should select "8 bit (256 colors), Gray 256" on the "Result"-page to achieve best quality. You should use another format to save graphics with special palettes or True-Color graphics.)A";
  } else if (Extension == "pbm") {
    if (BitCountNum == 0 && PaletteIdent == pBlackWhite) return {};
    // A message box shows "&" as it is.
    advice = de ? "Das PBM-Format eignet sich besonders für die Speicherung von Schwarz-Weiß Grafiken."
                : "The PBM-format is specially suited to save Black&White graphics.";
  } else if (Extension == "avif") {
    if (BitCountNum == 3) return {};
    advice =
        de ? R"A(Das AVIF-Format kennt keine Paletten: Grafiken mit 2, 16 oder 256 Farben werden als True-Color gespeichert. Um eine maximale Qualität zu erhalten sollten Sie daher auf der "Ergebnis"-Seite "24 Bit (True Color)" wählen. Für die Speicherung von Grafiken mit bestimmten Paletten benutzen Sie besser ein anderes Dateiformat, z.B. BMP oder PNG.)A"
           : R"A(The AVIF-format has no palettes: graphics of 2, 16 or 256 colors are saved as True-Color. You should select "24 bit (True Color)" on the "Result"-page to achieve best quality. You should use another format, e.g. BMP or PNG, to save graphics with special palettes.)A";
  } else {
    return {};
  }
  return advice + "\r\r" + (de ? "Trotzdem speichern?" : "Save anyway?");
}

bool BarUpdateDue(uint32_t Now, uint32_t LastUpdate, const std::string& Shown, int32_t Percent) {
  if (Percent == 100) return true;
  return (Now - LastUpdate > 20 || Now < LastUpdate) && Shown != std::to_string(Percent);
}

TBarRect ProgressBarRect(int Left, int Top, int Right, int Bottom, int Value) {
  const int width = Right - Left;
  return {Left + 2, Top + 2, Left + 2 + Value * (width - 4) / 100, Bottom - 2};
}

std::string HelpPageFile(const std::string& HelpFile) {
  const std::filesystem::path beside = std::filesystem::path(HelpFile).replace_extension(".html");
  // The build tree keeps the pages beside the program, an installed tree under share/.
  const std::filesystem::path installed = beside.parent_path() / ".." / "share" / "quillet" / "help" / beside.filename();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(beside, ec) && std::filesystem::is_regular_file(installed, ec))
    return installed.lexically_normal().string();
  return beside.string();
}

std::string ExpandLongFileName(const std::string& Name) {
  std::error_code ec;
  if (Name.find_first_of("*?") != std::string::npos || !std::filesystem::is_regular_file(Name, ec)) return Name;
  const std::filesystem::path canonical = std::filesystem::canonical(Name, ec);
  return ec ? Name : canonical.string();
}

std::string DirectoryOf(const std::string& Name) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(Name, ec).lexically_normal();
  std::filesystem::path dir = absolute.parent_path();
  if (dir.empty()) return absolute.root_path().string();
  return dir.string();
}

std::string OpenFailureText(const std::string& FileName, const std::string& Message, int32_t Language) {
  if (Message.find(FileName) != std::string::npos) return Message;
  return German(Language) ? "\"" + FileName + "\" konnte nicht geöffnet werden: " + Message
                          : "\"" + FileName + "\" could not be opened: " + Message;
}

TWindowRect MainWindowPlacement(const TWindowRect& Stored, const TWindowRect& Available, int32_t MinWidth,
                                int32_t MinHeight) {
  TWindowRect r = Stored;
  if (Stored.Width <= 0 || Stored.Height <= 0) {
    r.Width = std::max(Available.Width * 4 / 5, MinWidth);
    r.Height = std::max(Available.Height * 4 / 5, MinHeight);
    r.Left = Available.Left + (Available.Width - std::min(r.Width, Available.Width)) / 2;
    r.Top = Available.Top + (Available.Height - std::min(r.Height, Available.Height)) / 2;
  }
  r.Width = std::min(r.Width, Available.Width);
  r.Height = std::min(r.Height, Available.Height);
  r.Left = std::clamp(r.Left, Available.Left, Available.Left + Available.Width - r.Width);
  r.Top = std::clamp(r.Top, Available.Top, Available.Top + Available.Height - r.Height);
  return r;
}
