#include "settings.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <vector>

#include <unistd.h>

#include "formatoptions.h"
#include "heifformat.h"
#include "pixellimit.h"

uint8_t Selection;
int32_t Language;
int32_t OptimizedPaletteSize;
bool OptimizedPaletteIncludeSys;
bool OptimizedPaletteRefine;
TStretchMode StretchMode;
int32_t Sharpen;
bool KeepAspectRatio;
bool RGBWeighting;
bool Dithering;
long double WidthPercent;
long double HeightPercent;
bool FastUnknownPalette;
bool SaveSuggestSourceFileName;
bool SaveSuggestSourceDirectory;
bool DoBorder;
int32_t BorderWidth;
TRGB BorderColor;
bool BorderEllipse;
bool MinimizeInterference;
std::string OpenDir;
std::string SaveDir;
int32_t MemWarning;
int32_t WindowLeft;
int32_t WindowTop;
int32_t WindowWidth;
int32_t WindowHeight;
bool WindowMaximized;
TViewFit SourceViewFit;
long double SourceViewZoom;
TViewFit ResultViewFit;
long double ResultViewZoom;
std::unique_ptr<TPixelGraphic> IndividualPalette;

std::string HelpFileEnglish;
std::string HelpFileGerman;
uint8_t ScreenBitCountNum;
uint8_t RememberedPaletteRows[3];

namespace {

std::filesystem::path ProgramDirectory() {
  std::error_code ec;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::current_path(ec) : program.parent_path();
}

std::string IPaletteEntryName(int32_t n) { return "IPaletteEntry" + std::to_string(n); }

// Floats are stored as the 8 bytes of an IEEE double, least significant first.
std::vector<uint8_t> DoubleBytes(long double value) {
  const auto bits = std::bit_cast<uint64_t>(double(value));
  std::vector<uint8_t> bytes(8);
  for (int i = 0; i < 8; ++i) bytes[size_t(i)] = uint8_t(bits >> (8 * i));
  return bytes;
}

// Each read takes the next value in the stored order and answers whether the
// load goes on; a value that is missing or of another type stops it and
// leaves the variable as it was. A value of the right type that cannot be
// used is dropped alone: its variable keeps the default and the load goes on.
class TStoredValues {
public:
  explicit TStoredValues(const TSettingsKey& key) : FKey(key) {}

  // A value outside lo..hi is one the window could not have stored, and one
  // that a table or a writer could not take.
  template <class T>
  bool Integer(const char* name, T& variable, int32_t lo = INT32_MIN, int32_t hi = INT32_MAX) {
    int32_t v;
    if (!FKey.ReadInteger(name, v)) return false;
    if (v >= lo && v <= hi) variable = T(v);
    return true;
  }

  bool Boolean(const char* name, bool& variable) {
    int32_t v;
    if (!FKey.ReadInteger(name, v)) return false;
    variable = v != 0;
    return true;
  }

  // One of the listed values, for codes that are not a range.
  bool IntegerOf(const char* name, int32_t& variable, std::initializer_list<int32_t> values) {
    int32_t v;
    if (!FKey.ReadInteger(name, v)) return false;
    if (std::find(values.begin(), values.end(), v) != values.end()) variable = v;
    return true;
  }

  // A NaN or infinity cannot become a size or a gamma; above is an exclusive
  // lower bound.
  bool Float(const char* name, long double& variable, double above = -HUGE_VAL, double hi = HUGE_VAL) {
    std::vector<uint8_t> bytes;
    if (!FKey.ReadBinary(name, bytes) || bytes.size() != 8) return false;
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= uint64_t(bytes[size_t(i)]) << (8 * i);
    const double v = std::bit_cast<double>(bits);
    if (std::isfinite(v) && v > above && v <= hi) variable = v;
    return true;
  }

  // A missing string reads as empty.
  bool String(const char* name, std::string& variable) {
    switch (FKey.ValueType(name)) {
      case svMissing: variable.clear(); return true;
      case svString: return FKey.ReadString(name, variable);
      default: return false;
    }
  }

  bool IndividualPaletteEntries() {
    int32_t size = -1;
    if (!Integer("IPaletteSize", size, 0, MaxIPaletteSize)) return false;
    // A size no palette has keeps the default palette.
    if (size < 0) return true;
    IndividualPalette->SetPaletteCount(size);
    for (int32_t n = 0; n < size; ++n) {
      TRGB c;
      if (!Integer(IPaletteEntryName(n).c_str(), c)) return false;
      IndividualPalette->SetPaletteEntries(n, c);
    }
    return true;
  }

private:
  const TSettingsKey& FKey;
};

}  // namespace

void SetApplicationDefaults() {
  const std::filesystem::path programDir = ProgramDirectory();
  HelpFileEnglish = (programDir / "QuilletE.hlp").string();
  HelpFileGerman = (programDir / "QuilletD.hlp").string();

  Selection = 19;
  Language = UserDefaultLanguage();
  OptimizedPaletteSize = 252;
  OptimizedPaletteIncludeSys = true;
  OptimizedPaletteRefine = false;
  StretchMode = smPrecise;
  Sharpen = 50;
  KeepAspectRatio = true;
  RGBWeighting = true;
  Dithering = true;
  WidthPercent = 50.0L;
  HeightPercent = 50.0L;
  FastUnknownPalette = true;
  SaveSuggestSourceFileName = false;
  SaveSuggestSourceDirectory = false;
  DoBorder = false;
  BorderWidth = 20;
  BorderColor = RGB(255, 255, 255);
  BorderEllipse = false;
  MinimizeInterference = true;
  OpenDir = programDir.string();
  SaveDir = programDir.string();
  MemWarning = DefaultMemWarning();
  WindowLeft = WindowTop = WindowWidth = WindowHeight = 0;
  WindowMaximized = false;
  SourceViewFit = ResultViewFit = vfZoom;
  SourceViewZoom = ResultViewZoom = 1.0L;
  IndividualPalette = std::make_unique<TPixelGraphic>();
  IndividualPalette->SetBitCountNum(2);
  IndividualPalette->SetPaletteIdent(pSpecial216);
  RememberedPaletteRows[0] = 0;
  RememberedPaletteRows[1] = 7;
  RememberedPaletteRows[2] = 14;
}

namespace {

// In the stored order; the first value that cannot be taken ends the load.
void ReadStoredValues(const TSettingsKey& key) {
  TStoredValues v(key);
  (void)(v.Integer("Selection", Selection, 0, PaletteChoiceRowCount - 1) && v.Integer("Language", Language) &&
         v.Integer("OptimizedPaletteSize", OptimizedPaletteSize, 2, 256) &&
         v.Boolean("OptimizedPaletteIncludeSys", OptimizedPaletteIncludeSys) &&
         v.Integer("StretchMode", StretchMode, smFast, smPrecise) && v.Integer("Sharpen", Sharpen, 0, 100) &&
         v.Boolean("KeepAspectRatio", KeepAspectRatio) && v.Boolean("RGBWeighting", RGBWeighting) &&
         v.Boolean("Dithering", Dithering) && v.Float("WidthPercent", WidthPercent) &&
         v.Float("HeightPercent", HeightPercent) && v.Integer("JPEGCompMethod", JPEGCompMethod, 0, 2) &&
         v.Integer("JPEGCompQuality", JPEGCompQuality, 0, 100) && v.Boolean("JPEGCompProgressive", JPEGCompProgressive) &&
         v.Integer("JPEGDecompMethod", JPEGDecompMethod, 0, 2) && v.Boolean("PXMWriteBinary", PXMWriteBinary) &&
         v.Boolean("GammaCorrectionOnRead", GammaCorrectionOnRead) && v.Boolean("WriteGamma", WriteGamma) &&
         v.IntegerOf("TIFFWriteCompression", TIFFWriteCompression, {1, 32773}) &&
         v.Integer("TIFFWriteTrueColorPhotInterpret", TIFFWriteTrueColorPhotInterpret, 0, 1) &&
         v.Integer("TIFFWriteGrayScalePhotInterpret", TIFFWriteGrayScalePhotInterpret, 0, 1) &&
         v.Integer("TIFFWriteByteOrder", TIFFWriteByteOrder, 0, 1) &&
         v.Integer("TIFFWriteResolutionUnit", TIFFWriteResolutionUnit, 0, 2) &&
         v.Integer("TIFFWriteXResolutionNumerator", TIFFWriteXResolutionNumerator, 1) &&
         v.Integer("TIFFWriteXResolutionDenominator", TIFFWriteXResolutionDenominator, 1) &&
         v.Integer("TIFFWriteYResolutionNumerator", TIFFWriteYResolutionNumerator, 1) &&
         v.Integer("TIFFWriteYResolutionDenominator", TIFFWriteYResolutionDenominator, 1) &&
         v.Float("ScreenGamma", ScreenGamma, 0, 10) && v.Boolean("FastUnknownPalette", FastUnknownPalette) &&
         v.Boolean("SaveSuggestSourceFileName", SaveSuggestSourceFileName) &&
         v.Boolean("SaveSuggestSourceDirectory", SaveSuggestSourceDirectory) && v.Boolean("DoBorder", DoBorder) &&
         v.Integer("BorderWidth", BorderWidth, 2, 1000) && v.Integer("BorderColor", BorderColor, 0, 0xFFFFFF) &&
         v.Boolean("BorderEllipse", BorderEllipse) && v.Boolean("MinimizeInterference", MinimizeInterference) &&
         v.String("OpenDir", OpenDir) && v.String("SaveDir", SaveDir) && v.Integer("MemWarning", MemWarning, 1, MaxMemWarning) &&
         v.IndividualPaletteEntries() && v.Integer("MaxPixels", MaxPixels, 0, INT32_MAX) &&
         v.Boolean("OptimizedPaletteRefine", OptimizedPaletteRefine) && v.Integer("WindowLeft", WindowLeft) &&
         v.Integer("WindowTop", WindowTop) && v.Integer("WindowWidth", WindowWidth, 0, MaxWindowSide) &&
         v.Integer("WindowHeight", WindowHeight, 0, MaxWindowSide) && v.Boolean("WindowMaximized", WindowMaximized) &&
         v.Integer("SourceViewFit", SourceViewFit, vfZoom, vfAlways) &&
         v.Float("SourceViewZoom", SourceViewZoom, 0, MaxViewZoom) &&
         v.Integer("ResultViewFit", ResultViewFit, vfZoom, vfAlways) &&
         v.Float("ResultViewZoom", ResultViewZoom, 0, MaxViewZoom) &&
         v.Integer("AVIFCompQuality", AVIFCompQuality, 0, 100) && v.Integer("AVIFCompSpeed", AVIFCompSpeed, 0, 9) &&
         v.Boolean("ConvertToSRGB", ConvertToSRGB) && v.Boolean("JPEGOptimizeCoding", JPEGOptimizeCoding) &&
         v.Integer("WebPQuality", WebPQuality, 0, 100) && v.Boolean("WebPLossless", WebPLossless) &&
         v.Boolean("AutoOrient", AutoOrient) && v.Boolean("KeepPhotoInfo", KeepPhotoInfo));
}

}  // namespace

uint8_t ScreenDepthCode(int screenBits) {
  switch (screenBits) {
    case 1: return 0;
    case 4: return 1;
    case 8: return 2;
    default: return 3;
  }
}

int32_t LanguageFromLocaleName(const std::string& localeName) {
  const std::string language = localeName.substr(0, localeName.find_first_of("_.@"));
  return language == "de" ? LanguageGerman : LanguageEnglish;
}

int64_t PhysicalMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGE_SIZE);
  return pages <= 0 || pageSize <= 0 ? 0 : int64_t(pages) * pageSize;
}

int32_t DefaultMemWarning() {
  const int64_t memory = PhysicalMemoryBytes();
  if (memory == 0) return MaxMemWarning;
  return int32_t(std::clamp<int64_t>(memory / 4 / 1048576, 1, MaxMemWarning));
}

int32_t UserDefaultLanguage() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return LanguageFromLocaleName(value);
  }
  return LanguageEnglish;
}

void LoadSettings(const TSettingsStore& store, int screenBits) {
  ScreenBitCountNum = ScreenDepthCode(screenBits);
  SetApplicationDefaults();
  if (const std::unique_ptr<TSettingsKey> key = store.OpenKey(SettingsKeyPath)) ReadStoredValues(*key);
}

void SaveSettings(const TSettingsStore& store) {
  const std::unique_ptr<TSettingsKey> key = store.CreateKey(SettingsKeyPath);
  const auto integer = [&](const char* name, int32_t value) { key->WriteInteger(name, value); };
  const auto boolean = [&](const char* name, bool value) { key->WriteInteger(name, value ? 1 : 0); };
  const auto real = [&](const char* name, long double value) { key->WriteBinary(name, DoubleBytes(value)); };
  const int32_t paletteSize = IndividualPalette ? IndividualPalette->PaletteCount() : 0;

  integer("Selection", Selection);
  integer("Language", Language);
  integer("OptimizedPaletteSize", OptimizedPaletteSize);
  boolean("OptimizedPaletteIncludeSys", OptimizedPaletteIncludeSys);
  integer("StretchMode", StretchMode);
  integer("Sharpen", Sharpen);
  boolean("KeepAspectRatio", KeepAspectRatio);
  boolean("RGBWeighting", RGBWeighting);
  boolean("Dithering", Dithering);
  real("WidthPercent", WidthPercent);
  real("HeightPercent", HeightPercent);
  integer("JPEGCompMethod", JPEGCompMethod);
  boolean("JPEGCompProgressive", JPEGCompProgressive);
  integer("JPEGCompQuality", JPEGCompQuality);
  integer("JPEGDecompMethod", JPEGDecompMethod);
  boolean("PXMWriteBinary", PXMWriteBinary);
  boolean("GammaCorrectionOnRead", GammaCorrectionOnRead);
  boolean("WriteGamma", WriteGamma);
  integer("TIFFWriteCompression", TIFFWriteCompression);
  integer("TIFFWriteTrueColorPhotInterpret", TIFFWriteTrueColorPhotInterpret);
  integer("TIFFWriteGrayScalePhotInterpret", TIFFWriteGrayScalePhotInterpret);
  integer("TIFFWriteByteOrder", TIFFWriteByteOrder);
  integer("TIFFWriteResolutionUnit", TIFFWriteResolutionUnit);
  integer("TIFFWriteXResolutionNumerator", TIFFWriteXResolutionNumerator);
  integer("TIFFWriteXResolutionDenominator", TIFFWriteXResolutionDenominator);
  integer("TIFFWriteYResolutionNumerator", TIFFWriteYResolutionNumerator);
  integer("TIFFWriteYResolutionDenominator", TIFFWriteYResolutionDenominator);
  real("ScreenGamma", ScreenGamma);
  boolean("FastUnknownPalette", FastUnknownPalette);
  boolean("SaveSuggestSourceFileName", SaveSuggestSourceFileName);
  boolean("SaveSuggestSourceDirectory", SaveSuggestSourceDirectory);
  integer("IPaletteSize", paletteSize);
  boolean("DoBorder", DoBorder);
  key->WriteString("OpenDir", OpenDir);
  key->WriteString("SaveDir", SaveDir);
  integer("MemWarning", MemWarning);
  integer("BorderWidth", BorderWidth);
  integer("BorderColor", int32_t(BorderColor));
  boolean("BorderEllipse", BorderEllipse);
  boolean("MinimizeInterference", MinimizeInterference);
  integer("MaxPixels", int32_t(std::clamp<int64_t>(MaxPixels, 0, INT32_MAX)));
  boolean("OptimizedPaletteRefine", OptimizedPaletteRefine);
  integer("WindowLeft", WindowLeft);
  integer("WindowTop", WindowTop);
  integer("WindowWidth", WindowWidth);
  integer("WindowHeight", WindowHeight);
  boolean("WindowMaximized", WindowMaximized);
  integer("SourceViewFit", SourceViewFit);
  real("SourceViewZoom", SourceViewZoom);
  integer("ResultViewFit", ResultViewFit);
  real("ResultViewZoom", ResultViewZoom);
  integer("AVIFCompQuality", AVIFCompQuality);
  integer("AVIFCompSpeed", AVIFCompSpeed);
  boolean("ConvertToSRGB", ConvertToSRGB);
  boolean("JPEGOptimizeCoding", JPEGOptimizeCoding);
  integer("WebPQuality", WebPQuality);
  boolean("WebPLossless", WebPLossless);
  boolean("AutoOrient", AutoOrient);
  boolean("KeepPhotoInfo", KeepPhotoInfo);
  for (int32_t n = 0; n < paletteSize; ++n)
    integer(IPaletteEntryName(n).c_str(), int32_t(IndividualPalette->PaletteEntries(n)));
  IndividualPalette.reset();
  key->Save();
}
