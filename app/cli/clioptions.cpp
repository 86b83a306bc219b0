#include "clioptions.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <string_view>
#include <thread>
#include <tuple>
#include <utility>

#include "formatoptions.h"
#include "formatregistry.h"
#include "heifformat.h"
#include "palettechoice.h"
#include "pixellimit.h"
#include "settings.h"

namespace {

bool German(int32_t language) { return language == LanguageGerman; }

std::string OnOff(bool value, bool de) { return de ? (value ? "an" : "aus") : (value ? "on" : "off"); }

std::string RealText(long double value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, double(value)).ptr;
  return std::string(text, end);
}

std::string HexColor(TRGB color) {
  static const char digits[] = "0123456789ABCDEF";
  std::string text;
  for (int shift : {0, 8, 16}) {
    const unsigned channel = (color >> shift) & 0xFF;
    text += digits[channel >> 4];
    text += digits[channel & 15];
  }
  return text;
}

struct TPaletteName {
  const char* Name;
  int8_t Row;  // -1: the row of the flag below at the depth of --bits
  bool Optimized = false;
  bool SourcePalette = false;
  bool IndividualPalette = false;
};

const TPaletteName PaletteNames[] = {
    {"bw", 0},          {"gray4", 4},         {"gray16", 5},          {"sysgray4", 6},
    {"sys16", 7},       {"gray236", 11},      {"gray256", 12},        {"special125", 13},
    {"special216", 14}, {"special252", 15},   {"truecolor", TrueColorRow},
    {"source", -1, false, true, false},       {"individual", -1, false, false, true},
    {"optimized", -1, true, false, false},
};

std::string PaletteNameList() {
  std::string list;
  for (const TPaletteName& p : PaletteNames) list += (list.empty() ? "" : ", ") + std::string(p.Name);
  return list;
}

// How --palette and --bits would name a row, for the help's default.
std::string PaletteNameOfRow(int32_t row) {
  const TPaletteChoice& choice = PaletteChoiceRow(row);
  for (const TPaletteName& p : PaletteNames) {
    if (p.Row == row) return p.Name;
    if (p.Row < 0 && p.Optimized == choice.Optimized && p.SourcePalette == choice.SourcePalette &&
        p.IndividualPalette == choice.IndividualPalette)
      return std::string(p.Name) + " --bits " + std::to_string(NumToBitCount(choice.BitCountNum));
  }
  return std::to_string(row);
}

// In the registry's order, the one its dialogs show, whichever lookup ran first.
std::string WriterExtensions() {
  SortFileFormats(FileFormatWriters());
  std::string list;
  for (const auto& writer : FileFormatWriters()) list += (list.empty() ? "" : ", ") + writer->Extension();
  return list;
}

const char* const StretchModeNames[] = {"fast", "medium", "precise"};
// In the order of the DCT method numbers.
const char* const DCTMethodNames[] = {"precise", "fast", "float"};

std::string DCTMethodName(int32_t method) { return method >= 0 && method <= 2 ? DCTMethodNames[method] : "?"; }

// In the order of the values of TIFFWriteResolutionUnit.
const char* const ResolutionUnitNames[] = {"none", "inch", "cm"};

std::string ResolutionUnitName(int32_t unit) {
  return unit >= 0 && unit <= 2 ? ResolutionUnitNames[unit] : std::to_string(unit);
}

std::string FractionText(int32_t numerator, int32_t denominator) {
  return std::to_string(numerator) + "/" + std::to_string(denominator);
}

class TCliParser;

struct TOptionInfo {
  const char* Name;      // null for a heading
  const char* Argument;  // null for a switch
  const char* English;
  const char* German;
  std::string (*Default)(bool de);
  void (*Apply)(TCliParser& p, TCliOptions& o);
};

class TCliParser {
public:
  explicit TCliParser(int32_t language) : FGerman(German(language)) {}

  TCliOptions Parse(const std::vector<std::string>& args);

  std::string Text(const std::string& en, const std::string& de) const { return FGerman ? de : en; }

  [[noreturn]] void Invalid(const std::string& hint) const {
    throw ECliUsage(Text("invalid value '" + FValue + "' for " + FOption,
                         "ungültiger Wert '" + FValue + "' für " + FOption),
                    hint);
  }

  int32_t Integer(int32_t lo, int32_t hi) const {
    int32_t v;
    const auto [end, ec] = std::from_chars(FValue.data(), FValue.data() + FValue.size(), v);
    if (FValue.empty() || ec != std::errc() || end != FValue.data() + FValue.size() || v < lo || v > hi)
      Invalid(Text("expected a whole number from ", "erwartet: eine ganze Zahl von ") + std::to_string(lo) +
              Text(" to ", " bis ") + std::to_string(hi));
    return v;
  }

  // A finite real number greater than zero.
  long double Positive(const std::string& text) const {
    long double v;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v) || v <= 0)
      Invalid(Text("expected a number greater than 0", "erwartet: eine Zahl größer als 0"));
    return v;
  }
  long double Positive() const { return Positive(FValue); }

  // "N" or "N/D", each a whole number from 1 on.
  std::pair<int32_t, int32_t> Fraction() const {
    const auto whole = [](const std::string& text, int32_t& v) {
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
      return !text.empty() && ec == std::errc() && end == text.data() + text.size() && v >= 1;
    };
    const size_t slash = FValue.find('/');
    int32_t numerator = 0, denominator = 1;
    if (!whole(FValue.substr(0, slash), numerator) ||
        (slash != std::string::npos && !whole(FValue.substr(slash + 1), denominator)))
      Invalid(Text("expected a whole number or a fraction from 1 on, e.g. 300 or 600/2",
                   "erwartet: eine ganze Zahl oder ein Bruch ab 1, z.B. 300 oder 600/2"));
    return {numerator, denominator};
  }

  size_t Choice(std::initializer_list<const char*> words) const {
    std::string list;
    size_t i = 0;
    for (const char* w : words) {
      if (FValue == w) return i;
      list += (i++ ? ", " : "") + std::string(w);
    }
    Invalid(Text("expected one of: ", "erwartet: eine Angabe aus ") + list);
  }

  TSideSize Side() const {
    TSideSize side;
    if (!FValue.empty() && FValue.back() == '%') {
      side.Percent = Positive(FValue.substr(0, FValue.size() - 1));
      return side;
    }
    int32_t v;
    const auto [end, ec] = std::from_chars(FValue.data(), FValue.data() + FValue.size(), v);
    if (FValue.empty() || ec != std::errc() || end != FValue.data() + FValue.size() || v < 1)
      Invalid(Text("expected pixels (640) or percent (50%)", "erwartet: Pixel (640) oder Prozent (50%)"));
    side.InPercent = false;
    side.Pixels = v;
    return side;
  }

  // "WxH", each a whole number of pixels from 1 on.
  TBox Box() const {
    const auto whole = [](std::string_view text, int32_t& v) {
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
      return !text.empty() && ec == std::errc() && end == text.data() + text.size() && v >= 1;
    };
    const size_t x = FValue.find_first_of("xX");
    TBox box;
    if (x == std::string::npos || !whole(std::string_view(FValue).substr(0, x), box.Width) ||
        !whole(std::string_view(FValue).substr(x + 1), box.Height))
      Invalid(Text("expected WIDTHxHEIGHT in pixels, e.g. 800x600", "erwartet: BREITExHÖHE in Pixeln, z.B. 800x600"));
    return box;
  }

  TRGB Color() const {
    const std::string hex = !FValue.empty() && FValue[0] == '#' ? FValue.substr(1) : FValue;
    uint32_t v;
    const auto [end, ec] = std::from_chars(hex.data(), hex.data() + hex.size(), v, 16);
    if (hex.size() != 6 || ec != std::errc() || end != hex.data() + hex.size() || hex[0] == '+' || hex[0] == '-')
      Invalid(Text("expected RRGGBB in hexadecimal, e.g. FF8000", "erwartet: RRGGBB hexadezimal, z.B. FF8000"));
    return RGB(uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v));
  }

  const std::string& Value() const { return FValue; }

  // The palette options, resolved together once the line is read.
  std::optional<int32_t> FRow;
  std::string FPaletteName;
  int FBits = 0;

private:
  bool FGerman;
  std::string FOption;
  std::string FValue;

  void ResolvePalette(TCliOptions& o) const;
  void ResolveMode(TCliOptions& o, std::vector<std::string>& positional) const;
  void CheckWriter(const std::string& extension, const std::string& what) const;
};

const std::vector<TOptionInfo>& OptionInfos() {
  using P = TCliParser;
  using O = TCliOptions;
  static const std::vector<TOptionInfo> specs = {
      {nullptr, nullptr, "Size:", "Größe:", nullptr, nullptr},
      {"--width", "W", "result width: pixels (640) or percent (50%)",
       "Breite des Ergebnisses: Pixel (640) oder Prozent (50%)",
       [](bool) { return RealText(WidthPercent) + "%"; }, [](P& p, O& o) { o.Width = p.Side(); }},
      {"--height", "H", "result height: pixels (480) or percent (50%)",
       "Höhe des Ergebnisses: Pixel (480) oder Prozent (50%)",
       [](bool) { return RealText(HeightPercent) + "%"; }, [](P& p, O& o) { o.Height = p.Side(); }},
      {"--keep-aspect", nullptr, "a side given alone takes the other one along",
       "eine allein angegebene Seite bestimmt auch die andere",
       [](bool de) { return OnOff(KeepAspectRatio, de); }, [](P&, O& o) { o.KeepAspect = true; }},
      {"--no-keep-aspect", nullptr, "size the sides independently", "die Seiten unabhängig bemessen", nullptr,
       [](P&, O& o) { o.KeepAspect = false; }},
      {"--fit", "WxH", "the largest size inside W x H pixels that keeps the picture's proportions",
       "die größte Größe innerhalb von W x H Pixeln, die die Seitenverhältnisse des Bildes wahrt", nullptr,
       [](P& p, O& o) { o.Fit = p.Box(); }},
      {"--no-enlarge", nullptr, "never larger than the source: a larger result keeps the source's size",
       "nie größer als die Quelle: ein größeres Ergebnis behält die Größe der Quelle",
       [](bool de) { return OnOff(false, de); }, [](P&, O& o) { o.NoEnlarge = true; }},

      {nullptr, nullptr, "Palette:", "Palette:", nullptr, nullptr},
      {"--row", "N", "row 0-19 of the palette choice table", "Zeile 0-19 der Palettentabelle",
       [](bool) { return std::to_string(Selection); }, [](P& p, O&) { p.FRow = p.Integer(0, 19); }},
      {"--palette", "NAME", "bw, gray4, gray16, sysgray4, sys16, gray236, gray256, special125, special216, "
                            "special252, truecolor; source, individual, optimized at the depth of their size",
       "bw, gray4, gray16, sysgray4, sys16, gray236, gray256, special125, special216, special252, truecolor; "
       "source, individual, optimized in der Tiefe ihrer Größe",
       [](bool) { return PaletteNameOfRow(Selection); }, [](P& p, O&) { p.FPaletteName = p.Value(); }},
      {"--bits", "1|4|8", "depth of the palettes source, individual and optimized",
       "Farbtiefe der Paletten source, individual und optimized",
       [](bool de) { return std::string(de ? "nach der Größe der Palette" : "from the palette's size"); },
       [](P& p, O&) {
         constexpr int bits[] = {1, 4, 8};
         p.FBits = bits[p.Choice({"1", "4", "8"})];
       }},
      {"--individual-palette", "FILE", "take the individual palette from a picture file (with --palette individual)",
       "die individuelle Palette aus einer Bilddatei laden (mit --palette individual)",
       [](bool de) {
         if (!IndividualPalette || IndividualPalette->PaletteIdent() == pSpecial216)
           return std::string(de ? "Spezial 216" : "Special 216");
         return std::to_string(IndividualPalette->PaletteCount()) + (de ? " gespeicherte Farben" : " stored colours");
       },
       [](P& p, O& o) { o.IndividualPaletteFile = p.Value(); }},
      {"--optimized-size", "N", "entries of an optimized palette, 2-256; without --bits they choose its depth",
       "Einträge einer optimierten Palette, 2-256; ohne --bits bestimmen sie ihre Tiefe",
       [](bool) { return std::to_string(OptimizedPaletteSize); },
       [](P& p, O& o) { o.OptimizedPaletteSize = p.Integer(2, 256); }},
      {"--no-system-colors", nullptr, "leave the 16 system colours out of an optimized palette",
       "die 16 Systemfarben nicht in die optimierte Palette aufnehmen",
       [](bool de) { return std::string(de ? "Systemfarben " : "system colours ") + OnOff(OptimizedPaletteIncludeSys, de); },
       [](P&, O& o) { o.OptimizedPaletteIncludeSys = false; }},
      {"--refine-palette", nullptr,
       "refine an optimized palette to the picture's colours and map onto it exactly: closer colours, slower",
       "eine optimierte Palette an die Farben des Bildes anpassen und genau auf sie abbilden: treuere Farben, "
       "langsamer",
       [](bool de) { return OnOff(OptimizedPaletteRefine, de); }, [](P&, O& o) { o.OptimizedPaletteRefine = true; }},

      {nullptr, nullptr, "Processing:", "Verarbeitung:", nullptr, nullptr},
      {"--stretch-mode", "fast|medium|precise", "quality of the resampling", "Qualität der Größenänderung",
       [](bool) { return std::string(StretchModeNames[StretchMode]); },
       [](P& p, O& o) { o.StretchMode = TStretchMode(p.Choice({"fast", "medium", "precise"})); }},
      {"--sharpen", "N", "sharpening in percent, 0-100 (0: none)", "Schärfen in Prozent, 0-100 (0: aus)",
       [](bool) { return std::to_string(Sharpen); }, [](P& p, O& o) { o.Sharpen = p.Integer(0, 100); }},
      {"--no-dither", nullptr, "reduce colours without dithering", "Farben ohne Dithering reduzieren",
       [](bool de) { return std::string(de ? "Dithering " : "dithering ") + OnOff(Dithering, de); }, [](P&, O& o) { o.Dithering = false; }},
      {"--no-rgb-weighting", nullptr, "map onto gray palettes without luminance weighting",
       "auf Graupaletten ohne Helligkeitsgewichtung abbilden",
       [](bool de) { return std::string(de ? "Gewichtung " : "weighting ") + OnOff(RGBWeighting, de); },
       [](P&, O& o) { o.RGBWeighting = false; }},
      {"--precise-unknown-palette", nullptr, "exact nearest-colour search on other palettes",
       "exakte Farbsuche bei anderen Paletten",
       [](bool de) { return OnOff(!FastUnknownPalette, de); }, [](P&, O& o) { o.FastUnknownPalette = false; }},
      {"--no-minimize-interference", nullptr, "halve 2n+1 pixels without dropping the last one",
       "2n+1 Pixel halbieren, ohne das letzte wegzulassen",
       [](bool de) { return std::string(de ? "Interferenzminderung " : "minimizing ") + OnOff(MinimizeInterference, de); },
       [](P&, O& o) { o.MinimizeInterference = false; }},
      {"--shrink-on-load", nullptr,
       "decode a JPEG at the smallest of 1/8 to 8/8 of its size that is still twice the result's: "
       "much faster and leaner for small results, which then differ slightly from the full decode's",
       "ein JPEG in der kleinsten Größe von 1/8 bis 8/8 dekodieren, die noch doppelt so groß wie das Ergebnis "
       "ist: viel schneller und sparsamer bei kleinen Ergebnissen, die dann leicht von denen der vollen "
       "Dekodierung abweichen",
       [](bool de) { return OnOff(false, de); }, [](P&, O& o) { o.ShrinkOnLoad = true; }},
      {"--frame", "none|rect|oval", "draw a frame round the result", "einen Rahmen um das Ergebnis zeichnen",
       [](bool) { return std::string(!DoBorder ? "none" : BorderEllipse ? "oval" : "rect"); },
       [](P& p, O& o) {
         const size_t frame = p.Choice({"none", "rect", "oval"});
         o.DoBorder = frame != 0;
         if (frame != 0) o.BorderEllipse = frame == 2;
       }},
      {"--frame-width", "N", "frame width in pixels, 2-1000 (with --frame)",
       "Rahmenbreite in Pixeln, 2-1000 (mit --frame)", [](bool) { return std::to_string(BorderWidth); },
       [](P& p, O& o) { o.BorderWidth = p.Integer(2, 1000); }},
      {"--frame-color", "RRGGBB", "frame colour (with --frame)", "Rahmenfarbe (mit --frame)",
       [](bool) { return HexColor(BorderColor); },
       [](P& p, O& o) { o.BorderColor = p.Color(); }},

      {nullptr, nullptr, "Format options:", "Formatoptionen:", nullptr, nullptr},
      {"--jpeg-quality", "N", "JPEG quality, 0-100", "JPEG-Qualität, 0-100",
       [](bool) { return std::to_string(JPEGCompQuality); }, [](P& p, O& o) { o.JPEGCompQuality = p.Integer(0, 100); }},
      {"--jpeg-progressive", nullptr, "write progressive JPEG", "progressives JPEG schreiben",
       [](bool de) { return OnOff(JPEGCompProgressive, de); }, [](P&, O& o) { o.JPEGCompProgressive = true; }},
      {"--jpeg-write-method", "fast|precise|float", "DCT method for writing JPEG", "DCT-Verfahren beim JPEG-Schreiben",
       [](bool) { return DCTMethodName(JPEGCompMethod); },
       [](P& p, O& o) { o.JPEGCompMethod = int32_t(p.Choice({"precise", "fast", "float"})); }},
      {"--jpeg-read-method", "fast|precise|float", "DCT method for reading JPEG", "DCT-Verfahren beim JPEG-Lesen",
       [](bool) { return DCTMethodName(JPEGDecompMethod); },
       [](P& p, O& o) { o.JPEGDecompMethod = int32_t(p.Choice({"precise", "fast", "float"})); }},
      {"--pxm-binary", nullptr, "write PBM, PGM and PPM in binary form", "PBM, PGM und PPM binär schreiben",
       [](bool de) { return OnOff(PXMWriteBinary, de); }, [](P&, O& o) { o.PXMWriteBinary = true; }},
      {"--tiff-compression", "none|packbits", "compression of TIFF files", "Kompression von TIFF-Dateien",
       [](bool) { return std::string(TIFFWriteCompression == 32773 ? "packbits" : "none"); },
       [](P& p, O& o) { o.TIFFWriteCompression = p.Choice({"none", "packbits"}) == 0 ? 1 : 32773; }},
      {"--tiff-byte-order", "II|MM", "byte order of TIFF files", "Bytefolge von TIFF-Dateien",
       [](bool) { return std::string(TIFFWriteByteOrder == 1 ? "MM" : "II"); },
       [](P& p, O& o) { o.TIFFWriteByteOrder = int32_t(p.Choice({"II", "MM"})); }},
      {"--tiff-cmyk", nullptr, "write true-colour TIFF as CMYK", "True-Color-TIFF als CMYK schreiben",
       [](bool de) { return OnOff(TIFFWriteTrueColorPhotInterpret == 1, de); },
       [](P&, O& o) { o.TIFFWriteTrueColorPhotInterpret = 1; }},
      {"--tiff-white-is-zero", nullptr, "write gray TIFF with 0 as white", "Grau-TIFF mit 0 als Weiß schreiben",
       [](bool de) { return OnOff(TIFFWriteGrayScalePhotInterpret == 1, de); },
       [](P&, O& o) { o.TIFFWriteGrayScalePhotInterpret = 1; }},
      {"--tiff-resolution-unit", "none|inch|cm", "unit of the TIFF resolution", "Einheit der TIFF-Auflösung",
       [](bool) { return ResolutionUnitName(TIFFWriteResolutionUnit); },
       [](P& p, O& o) { o.TIFFWriteResolutionUnit = int32_t(p.Choice({"none", "inch", "cm"})); }},
      {"--tiff-x-resolution", "N[/D]", "horizontal TIFF resolution", "waagrechte TIFF-Auflösung",
       [](bool) { return FractionText(TIFFWriteXResolutionNumerator, TIFFWriteXResolutionDenominator); },
       [](P& p, O& o) { std::tie(o.TIFFWriteXResolutionNumerator, o.TIFFWriteXResolutionDenominator) = p.Fraction(); }},
      {"--tiff-y-resolution", "N[/D]", "vertical TIFF resolution", "senkrechte TIFF-Auflösung",
       [](bool) { return FractionText(TIFFWriteYResolutionNumerator, TIFFWriteYResolutionDenominator); },
       [](P& p, O& o) { std::tie(o.TIFFWriteYResolutionNumerator, o.TIFFWriteYResolutionDenominator) = p.Fraction(); }},
      {"--no-gamma-correction", nullptr, "read without gamma correction", "ohne Gammakorrektur lesen",
       [](bool de) { return std::string(de ? "Korrektur " : "correction ") + OnOff(GammaCorrectionOnRead, de); },
       [](P&, O& o) { o.GammaCorrectionOnRead = false; }},
      {"--no-write-gamma", nullptr, "store no gamma in written files", "kein Gamma in geschriebenen Dateien speichern",
       [](bool de) { return std::string(de ? "Gamma speichern " : "storing ") + OnOff(WriteGamma, de); },
       [](P&, O& o) { o.WriteGamma = false; }},
      {"--screen-gamma", "G", "gamma of the screen", "Gamma des Bildschirms",
       [](bool) { return RealText(ScreenGamma); }, [](P& p, O& o) { o.ScreenGamma = p.Positive(); }},
      {"--max-pixels", "N", "refuse to load a picture of more pixels (0: only the bound of 2 GiB of pixel memory)",
       "das Laden eines Bildes mit mehr Pixeln ablehnen (0: nur die Grenze von 2 GiB Pixelspeicher)",
       [](bool) { return std::to_string(MaxPixels); },
       [](P& p, O& o) { o.MaxPixels = p.Integer(0, std::numeric_limits<int32_t>::max()); }},
      {"--avif-quality", "N", "AVIF quality, 0-100", "AVIF-Qualität, 0-100",
       [](bool) { return std::to_string(AVIFCompQuality); }, [](P& p, O& o) { o.AVIFCompQuality = p.Integer(0, 100); }},
      {"--avif-speed", "N", "AVIF encoder speed, 0 (slowest, smallest files) to 9 (fastest)",
       "Geschwindigkeit des AVIF-Kodierers, 0 (am langsamsten, kleinste Dateien) bis 9 (am schnellsten)",
       [](bool) { return std::to_string(AVIFCompSpeed); }, [](P& p, O& o) { o.AVIFCompSpeed = p.Integer(0, 9); }},
      {"--keep-colour-values", nullptr,
       "keep the stored colour values of a picture with a colour profile instead of converting them to sRGB",
       "die gespeicherten Farbwerte eines Bildes mit Farbprofil behalten, statt sie nach sRGB umzurechnen",
       [](bool de) { return std::string(de ? "Umrechnung nach sRGB " : "converting to sRGB ") + OnOff(ConvertToSRGB, de); },
       [](P&, O& o) { o.ConvertToSRGB = false; }},
      {"--no-jpeg-optimize", nullptr, "write JPEG with the standard Huffman tables instead of ones made for the picture",
       "JPEG mit den Standard-Huffman-Tabellen statt mit für das Bild erstellten schreiben",
       [](bool de) { return std::string(de ? "optimiert " : "optimized ") + OnOff(JPEGOptimizeCoding, de); },
       [](P&, O& o) { o.JPEGOptimizeCoding = false; }},
      {"--webp-quality", "N", "quality of lossy WebP, 0-100", "Qualität von verlustbehaftetem WebP, 0-100",
       [](bool) { return std::to_string(WebPQuality); }, [](P& p, O& o) { o.WebPQuality = p.Integer(0, 100); }},
      {"--webp-lossless", nullptr, "write WebP lossless", "WebP verlustfrei schreiben",
       [](bool de) { return OnOff(WebPLossless, de); }, [](P&, O& o) { o.WebPLossless = true; }},

      {nullptr, nullptr, "Photos:", "Fotos:", nullptr, nullptr},
      {"--no-auto-orient", nullptr, "keep the pixels as stored instead of turning them upright by the photo's orientation",
       "die Pixel wie gespeichert lassen, statt sie nach der Ausrichtung des Fotos aufzurichten",
       [](bool de) { return std::string(de ? "Aufrichten " : "turning upright ") + OnOff(AutoOrient, de); },
       [](P&, O& o) { o.AutoOrient = false; }},
      {"--keep-photo-info", nullptr,
       "copy the source's EXIF data (camera, date, GPS position) into a JPEG result, without its thumbnail",
       "die EXIF-Daten der Quelle (Kamera, Datum, GPS-Position) ohne Vorschaubild in ein JPEG-Ergebnis übernehmen",
       [](bool de) { return OnOff(KeepPhotoInfo, de); }, [](P&, O& o) { o.KeepPhotoInfo = true; }},

      {nullptr, nullptr, "Batch and output:", "Stapelbetrieb und Ausgabe:", nullptr, nullptr},
      {"--output-dir", "DIR", "save each INPUT as DIR/<name>.EXT", "jede INPUT-Datei als DIR/<Name>.EXT speichern",
       nullptr, [](P& p, O& o) { o.OutputDir = p.Value(); }},
      {"--format", "EXT", "output format of --output-dir or of standard output (-), by extension",
       "Ausgabeformat für --output-dir oder die Standardausgabe (-), als Endung",
       nullptr, [](P& p, O& o) { o.Format = p.Value(); }},
      {"--jobs", "N", "pictures worked on at once, as far as half the memory allows (-j)",
       "gleichzeitig bearbeitete Bilder, soweit der halbe Speicher reicht (-j)",
       [](bool de) {
         return std::string(de ? "alle Kerne (" : "all cores (") + std::to_string(std::max(1u, std::thread::hardware_concurrency())) + ")";
       },
       [](P& p, O& o) { o.Jobs = unsigned(p.Integer(1, 4096)); }},
      {"--info", nullptr, "describe the files instead of shrinking them", "die Dateien beschreiben statt verkleinern",
       nullptr, [](P&, O& o) { o.Mode = cmInfo; }},
      {"--quiet", nullptr, "no progress bar (-q)", "kein Fortschrittsbalken (-q)", nullptr,
       [](P&, O& o) { o.Quiet = true; }},
      {"--verbose", nullptr, "the milliseconds of loading, of each step of the run and of saving, per picture (-v)",
       "die Millisekunden von Laden, jedem Schritt der Berechnung und Speichern, je Bild (-v)", nullptr,
       [](P&, O& o) { o.Verbose = true; }},
      {"--strict", nullptr,
       "refuse a picture whose reading warns, or whose colour resolution the output format cannot hold",
       "ein Bild ablehnen, wenn beim Lesen gewarnt wird oder das Ausgabeformat seine Farbauflösung nicht "
       "speichern kann",
       [](bool de) { return OnOff(false, de); },
       [](P&, O& o) { o.Strict = true; }},
      {"--use-settings", nullptr, "start from the stored settings instead of the defaults",
       "von den gespeicherten Einstellungen statt der Vorgaben ausgehen", nullptr,
       [](P&, O& o) { o.UseSettings = true; }},
      {"--language", "de|en", "language of the messages", "Sprache der Meldungen",
       [](bool) { return std::string(Language == LanguageGerman ? "de" : "en"); },
       [](P& p, O& o) { o.Language = p.Choice({"de", "en"}) == 0 ? LanguageGerman : LanguageEnglish; }},
      {"--help", nullptr, "show this help (-h)", "diese Hilfe zeigen (-h)", nullptr, [](P&, O&) {}},
      {"--version", nullptr, "show the version", "die Version zeigen", nullptr, [](P&, O&) {}},
  };
  return specs;
}

const TOptionInfo* FindOption(const std::string& name) {
  for (const TOptionInfo& option : OptionInfos())
    if (option.Name && name == option.Name) return &option;
  return nullptr;
}

// The one-letter forms, which may be bundled as getopt takes them: -qj2 is
// -q -j 2.
const char* LongName(char letter) {
  switch (letter) {
    case 'h': return "--help";
    case 'q': return "--quiet";
    case 'j': return "--jobs";
    case 'v': return "--verbose";
    default: return nullptr;
  }
}

// An option and its text in two columns, the text wrapped within the
// width of a terminal.
std::string WrappedEntry(const std::string& left, const std::string& right) {
  constexpr size_t column = 30, width = 79;
  std::string text = left;
  size_t lineStart = 0;
  if (left.size() + 1 >= column) {
    text += "\n";
    lineStart = text.size();
  }
  text += std::string(column - (text.size() - lineStart), ' ');
  size_t word = 0;
  while (word < right.size()) {
    size_t end = right.find(' ', word);
    if (end == std::string::npos) end = right.size();
    if (text.size() - lineStart + (end - word) > width && text.size() - lineStart > column) {
      text.pop_back();
      text += "\n";
      lineStart = text.size();
      text += std::string(column, ' ');
    }
    text += right.substr(word, end - word) + " ";
    word = end + 1;
  }
  text.back() = '\n';
  return text;
}

std::string HelpHint(bool de) {
  return de ? "Siehe 'quillet-cli --help'." : "Try 'quillet-cli --help'.";
}

// The line with every one-letter option written out long, a value joined
// to its option with "=" ("-j2" and "-j 2" become "--jobs=2" and "--jobs 2").
// A lone "-" is an operand: standard input or output.
std::vector<std::string> LongForms(const std::vector<std::string>& args, bool de) {
  std::vector<std::string> expanded;
  bool optionsEnded = false;
  for (const std::string& arg : args) {
    if (optionsEnded || arg.size() < 2 || arg[0] != '-' || arg[1] == '-') {
      optionsEnded = optionsEnded || arg == "--";
      expanded.push_back(arg);
      continue;
    }
    for (size_t k = 1; k < arg.size(); ++k) {
      const char* name = LongName(arg[k]);
      if (!name)
        throw ECliUsage((de ? "unbekannte Option '-" : "unknown option '-") + std::string(1, arg[k]) + "'",
                        HelpHint(de));
      if (FindOption(name)->Argument && k + 1 < arg.size()) {
        expanded.push_back(std::string(name) + "=" + arg.substr(k + 1));
        break;
      }
      expanded.push_back(name);
    }
  }
  return expanded;
}

TCliOptions TCliParser::Parse(const std::vector<std::string>& given) {
  const std::vector<std::string> args = LongForms(given, FGerman);
  TCliOptions o;
  // --help and --version win over anything else on the line; the help
  // shows the stored values with --use-settings.
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help") o.Mode = cmHelp;
    if (arg == "--version" && o.Mode != cmHelp) o.Mode = cmVersion;
    if (arg == "--use-settings") o.UseSettings = true;
  }
  if (o.Mode == cmHelp || o.Mode == cmVersion) return o;

  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const size_t equals = arg.find('=');
    const bool inlineValue = arg.starts_with("--") && equals != std::string::npos;
    FOption = inlineValue ? arg.substr(0, equals) : arg;
    const TOptionInfo* option = FindOption(FOption);
    if (!option) throw ECliUsage(Text("unknown option '", "unbekannte Option '") + FOption + "'", HelpHint(FGerman));
    if (option->Argument) {
      if (inlineValue) {
        FValue = arg.substr(equals + 1);
      } else if (i + 1 < args.size()) {
        FValue = args[++i];
      } else {
        throw ECliUsage(Text("option " + FOption + " needs a value", "Option " + FOption + " braucht einen Wert"),
                        FOption + " " + option->Argument);
      }
    } else if (inlineValue) {
      throw ECliUsage(Text("option " + FOption + " takes no value", "Option " + FOption + " nimmt keinen Wert"),
                      HelpHint(FGerman));
    }
    option->Apply(*this, o);
  }
  if (o.Fit && (o.Width || o.Height))
    throw ECliUsage(Text("--fit does not go with --width or --height", "--fit passt nicht zu --width oder --height"),
                    Text("Give the box or the sides.", "Bitte den Rahmen oder die Seiten angeben."));
  ResolvePalette(o);
  ResolveMode(o, positional);
  return o;
}

void TCliParser::ResolvePalette(TCliOptions& o) const {
  if (FRow && !FPaletteName.empty())
    throw ECliUsage(Text("--row and --palette both choose the palette", "--row und --palette wählen beide die Palette"),
                    Text("Give one of them.", "Bitte nur eine der beiden angeben."));
  if (FRow) o.Selection = uint8_t(*FRow);
  if (FPaletteName.empty()) {
    if (FBits != 0)
      throw ECliUsage(Text("--bits needs --palette", "--bits braucht --palette"),
                      "--palette source|individual|optimized --bits 1|4|8");
    return;
  }
  o.PaletteName = FPaletteName;
  o.Bits = FBits;
  // The palette's size gives the depth once the settings are known.
  if (FBits == 0 && FlaggedPaletteName(FPaletteName)) return;
  const std::optional<uint8_t> row = PaletteRowOfName(FPaletteName, FBits);
  if (row) {
    o.Selection = *row;
    return;
  }
  bool known = false;
  for (const TPaletteName& p : PaletteNames) known = known || FPaletteName == p.Name;
  if (!known)
    throw ECliUsage(Text("unknown palette '", "unbekannte Palette '") + FPaletteName + "'",
                    Text("Palettes: ", "Paletten: ") + PaletteNameList());
  throw ECliUsage(Text("--palette " + FPaletteName + " does not fit --bits " + std::to_string(FBits),
                       "--palette " + FPaletteName + " passt nicht zu --bits " + std::to_string(FBits)),
                  Text("source, individual and optimized take --bits 1, 4 or 8, or the depth of their size; the "
                       "named palettes have a depth of their own",
                       "source, individual und optimized nehmen --bits 1, 4 oder 8 oder die Tiefe ihrer Größe; die "
                       "benannten Paletten haben eine feste Tiefe"));
}

void TCliParser::CheckWriter(const std::string& extension, const std::string& what) const {
  if (extension.empty())
    throw ECliUsage(Text(what + " has no extension to choose the format by",
                         what + " hat keine Endung, nach der sich das Format richtet"),
                    Text("Formats: ", "Formate: ") + WriterExtensions());
  if (!FindWriter(extension))
    throw ECliUsage(Text("no format writes '." + extension + "' files", "kein Format schreibt '." + extension + "'-Dateien"),
                    Text("Formats: ", "Formate: ") + WriterExtensions());
}

void TCliParser::ResolveMode(TCliOptions& o, std::vector<std::string>& positional) const {
  const bool toStdout = o.OutputDir.empty() && positional.size() == 2 && positional[1] == "-";
  const bool batch = !o.OutputDir.empty() || (!o.Format.empty() && !toStdout);
  if (o.Mode == cmInfo) {
    if (batch)
      throw ECliUsage(Text("--info does not go with --output-dir or --format",
                           "--info passt nicht zu --output-dir oder --format"),
                      "quillet-cli --info FILE...");
    if (positional.empty())
      throw ECliUsage(Text("--info needs at least one file", "--info braucht mindestens eine Datei"),
                      "quillet-cli --info FILE...");
    o.Inputs = std::move(positional);
    return;
  }
  if (batch) {
    o.Mode = cmBatch;
    const std::string usage = "quillet-cli [OPTIONS] --output-dir DIR --format EXT INPUT...";
    if (o.OutputDir.empty())
      throw ECliUsage(Text("--format needs --output-dir", "--format braucht --output-dir"), usage);
    if (o.Format.empty())
      throw ECliUsage(Text("--output-dir needs --format", "--output-dir braucht --format"), usage);
    if (positional.empty()) throw ECliUsage(Text("no input files", "keine Eingabedateien"), usage);
    if (std::find(positional.begin(), positional.end(), "-") != positional.end())
      throw ECliUsage(Text("standard input (-) gives no name to save under DIR",
                           "die Standardeingabe (-) gibt keinen Namen zum Speichern in DIR"),
                      "quillet-cli [OPTIONS] --format EXT - OUTPUT|-");
    if (o.Format[0] == '.') o.Format.erase(0, 1);
    CheckWriter(o.Format, "--format");
    o.Inputs = std::move(positional);
    return;
  }
  if (positional.size() != 2)
    throw ECliUsage(positional.size() < 2 ? Text("INPUT and OUTPUT expected", "INPUT und OUTPUT erwartet")
                                          : Text("more than INPUT and OUTPUT given; for many pictures use --output-dir",
                                                 "mehr als INPUT und OUTPUT angegeben; für viele Bilder --output-dir nehmen"),
                    "quillet-cli [OPTIONS] INPUT OUTPUT");
  o.Mode = cmSingle;
  o.Inputs = {positional[0]};
  o.Output = positional[1];
  if (!toStdout) {
    CheckWriter(FileNameExtension(o.Output), o.Output);
    return;
  }
  if (o.Format.empty())
    throw ECliUsage(Text("standard output (-) needs --format", "die Standardausgabe (-) braucht --format"),
                    "quillet-cli [OPTIONS] --format EXT INPUT -");
  if (o.Format[0] == '.') o.Format.erase(0, 1);
  CheckWriter(o.Format, "--format");
}

}  // namespace

int32_t CliLanguage(const std::vector<std::string>& Args) {
  std::optional<int32_t> language;
  for (size_t i = 0; i < Args.size(); ++i) {
    if (Args[i] == "--") break;
    std::string value;
    if (Args[i] == "--language" && i + 1 < Args.size())
      value = Args[++i];
    else if (Args[i].starts_with("--language="))
      value = Args[i].substr(11);
    if (value == "de") language = LanguageGerman;
    if (value == "en") language = LanguageEnglish;
  }
  return language.value_or(UserDefaultLanguage());
}

TCliOptions ParseCliOptions(const std::vector<std::string>& Args, int32_t Language) {
  return TCliParser(Language).Parse(Args);
}

std::optional<uint8_t> PaletteRowOfName(const std::string& Name, int Bits) {
  int code;
  switch (Bits) {
    case 0: code = -1; break;
    case 1: code = 0; break;
    case 4: code = 1; break;
    case 8: code = 2; break;
    case 24: code = 3; break;
    default: return std::nullopt;
  }
  for (const TPaletteName& p : PaletteNames) {
    if (Name != p.Name) continue;
    if (p.Row >= 0) {
      if (code >= 0 && PaletteChoiceRow(p.Row).BitCountNum != code) return std::nullopt;
      return uint8_t(p.Row);
    }
    for (int32_t row = 0; row < PaletteChoiceRowCount; ++row) {
      const TPaletteChoice& choice = PaletteChoices[row];
      if (choice.BitCountNum == code && choice.Optimized == p.Optimized && choice.SourcePalette == p.SourcePalette &&
          choice.IndividualPalette == p.IndividualPalette)
        return uint8_t(row);
    }
  }
  return std::nullopt;
}

bool FlaggedPaletteName(const std::string& Name) {
  for (const TPaletteName& p : PaletteNames)
    if (Name == p.Name) return p.Row < 0;
  return false;
}

std::string CliHelpText(int32_t Language) {
  const bool de = German(Language);
  std::string text = de ? "Aufruf:" : "Usage:";
  text += " quillet-cli [OPTIONS] INPUT OUTPUT\n";
  const std::string indent(de ? 7 : 6, ' ');
  text += indent + " quillet-cli [OPTIONS] --output-dir DIR --format EXT INPUT...\n";
  text += indent + " quillet-cli [OPTIONS] --format EXT INPUT|- -\n";
  text += indent + " quillet-cli --info FILE...\n";
  text += de ? "\nVerkleinert Bilder wie Quillet. Das Format von OUTPUT richtet sich nach seiner Endung.\n"
               "Als INPUT liest - die Standardeingabe, als OUTPUT schreibt es auf die Standardausgabe.\n"
             : "\nShrinks pictures as Quillet does. OUTPUT's extension chooses its format.\n"
               "As INPUT, - reads standard input; as OUTPUT, it writes standard output.\n";
  for (const TOptionInfo& option : OptionInfos()) {
    if (!option.Name) {
      text += std::string("\n") + (de ? option.German : option.English) + "\n";
      continue;
    }
    const std::string left = std::string("  ") + option.Name + (option.Argument ? std::string(" ") + option.Argument : "");
    std::string right = de ? option.German : option.English;
    if (option.Default) right += std::string(de ? " [Vorgabe: " : " [default: ") + option.Default(de) + "]";
    text += WrappedEntry(left, right);
  }
  return text;
}
