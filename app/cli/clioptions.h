#pragma once
// The command line of quillet-cli: its options parsed into a plain record,
// the help text that lists them, and usage errors that carry a hint.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "pgtypes.h"
#include "resultsize.h"

enum TCliMode : uint8_t { cmSingle, cmBatch, cmInfo, cmHelp, cmVersion };

// A command line that cannot be carried out as written.
class ECliUsage : public std::runtime_error {
public:
  ECliUsage(const std::string& Message, std::string Hint) : std::runtime_error(Message), FHint(std::move(Hint)) {}
  // One line telling what would be right.
  const std::string& Hint() const { return FHint; }

private:
  std::string FHint;
};

// What the command line asks for. A setting left empty keeps its value from
// the defaults, or from the stored settings with --use-settings.
struct TCliOptions {
  TCliMode Mode = cmSingle;
  // The pictures to shrink, or with --info the files to describe.
  std::vector<std::string> Inputs;
  std::string Output;
  std::string OutputDir;
  // Extension of the batch's output files, or of standard output, without a dot.
  std::string Format;
  unsigned Jobs = 0;  // 0: one per core
  bool Quiet = false;
  bool Verbose = false;
  bool UseSettings = false;
  bool Strict = false;
  std::optional<int32_t> Language;

  std::optional<TSideSize> Width;
  std::optional<TSideSize> Height;
  std::optional<bool> KeepAspect;
  std::optional<TBox> Fit;
  bool NoEnlarge = false;

  std::optional<uint8_t> Selection;
  // --palette and --bits as given; a flagged palette without --bits takes
  // its depth from its size once the settings are known.
  std::string PaletteName;
  int Bits = 0;
  std::string IndividualPaletteFile;
  std::optional<int32_t> OptimizedPaletteSize;
  std::optional<bool> OptimizedPaletteIncludeSys;
  std::optional<bool> OptimizedPaletteRefine;

  std::optional<TStretchMode> StretchMode;
  std::optional<int32_t> Sharpen;
  std::optional<bool> Dithering;
  std::optional<bool> RGBWeighting;
  std::optional<bool> FastUnknownPalette;
  std::optional<bool> MinimizeInterference;
  bool ShrinkOnLoad = false;
  std::optional<bool> DoBorder;
  std::optional<bool> BorderEllipse;
  std::optional<int32_t> BorderWidth;
  std::optional<TRGB> BorderColor;

  std::optional<int32_t> JPEGCompQuality;
  std::optional<bool> JPEGCompProgressive;
  std::optional<int32_t> JPEGCompMethod;
  std::optional<int32_t> JPEGDecompMethod;
  std::optional<bool> PXMWriteBinary;
  std::optional<int32_t> TIFFWriteCompression;
  std::optional<int32_t> TIFFWriteByteOrder;
  std::optional<int32_t> TIFFWriteTrueColorPhotInterpret;
  std::optional<int32_t> TIFFWriteGrayScalePhotInterpret;
  std::optional<int32_t> TIFFWriteResolutionUnit;
  std::optional<int32_t> TIFFWriteXResolutionNumerator;
  std::optional<int32_t> TIFFWriteXResolutionDenominator;
  std::optional<int32_t> TIFFWriteYResolutionNumerator;
  std::optional<int32_t> TIFFWriteYResolutionDenominator;
  std::optional<bool> GammaCorrectionOnRead;
  std::optional<bool> WriteGamma;
  std::optional<long double> ScreenGamma;
  std::optional<int64_t> MaxPixels;
  std::optional<int32_t> AVIFCompQuality;
  std::optional<int32_t> AVIFCompSpeed;
  std::optional<bool> ConvertToSRGB;
  std::optional<bool> JPEGOptimizeCoding;
  std::optional<int32_t> WebPQuality;
  std::optional<bool> WebPLossless;
  std::optional<bool> AutoOrient;
  std::optional<bool> KeepPhotoInfo;
};

// The language that --language names, read before anything else so that
// the parser's own messages can use it; the locale's when it names none.
int32_t CliLanguage(const std::vector<std::string>& Args);

// Args without the program name. Raises ECliUsage, worded in Language.
// Output formats are checked against the registered writers.
TCliOptions ParseCliOptions(const std::vector<std::string>& Args, int32_t Language);

// Row of the palette choice table for a --palette name; Bits (1, 4, 8, or 0
// for none) picks the depth of "source", "individual" and "optimized" and
// must match a named palette's depth when given. Empty when they do not fit.
std::optional<uint8_t> PaletteRowOfName(const std::string& Name, int Bits);

// Whether a --palette name needs --bits or a size to pick its row.
bool FlaggedPaletteName(const std::string& Name);

// Every option with its default, the defaults read from the settings and
// format options as they stand.
std::string CliHelpText(int32_t Language);
