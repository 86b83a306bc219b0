#include "clisetup.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "formatoptions.h"
#include "heifformat.h"
#include "langstr.h"
#include "palettechoice.h"
#include "pixellimit.h"
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

bool German() { return Language == LanguageGerman; }

std::string Text(const std::string& en, const std::string& de) { return German() ? de : en; }

enum TPaletteKind : uint8_t { pkNamed, pkSource, pkIndividual, pkOptimized };

TPaletteKind KindOf(const TPaletteChoice& row) {
  return row.SourcePalette ? pkSource : row.IndividualPalette ? pkIndividual : row.Optimized ? pkOptimized : pkNamed;
}

// The palette the line and the settings choose, before its depth is known.
TPaletteKind ChosenKind(const TCliOptions& o) {
  if (o.PaletteName == "source") return pkSource;
  if (o.PaletteName == "individual") return pkIndividual;
  if (o.PaletteName == "optimized") return pkOptimized;
  return KindOf(PaletteChoiceRow(Selection));
}

// The row of a flagged palette at a depth code.
uint8_t FlaggedRow(TPaletteKind kind, int32_t code) {
  for (int32_t row = 0; row < PaletteChoiceRowCount; ++row)
    if (PaletteChoices[row].BitCountNum == code && KindOf(PaletteChoices[row]) == kind) return uint8_t(row);
  return TrueColorRow;
}

std::string BitsText(int32_t code) { return std::to_string(NumToBitCount(uint8_t(code))); }

std::string GroupSizes(int32_t code) { return PaletteSizeGroupText(code); }

// Options that would change nothing are refused, so that a typing slip
// does not pass for a choice.
void CheckIneffectiveOptions(const TCliOptions& o) {
  const std::string frameHint = Text("Add --frame rect or --frame oval.", "--frame rect oder --frame oval ergänzen.");
  const auto refuse = [](const std::string& option, const std::string& en, const std::string& de,
                         const std::string& hint) {
    throw ECliUsage(option + Text(" does nothing " + en, " bewirkt nichts " + de), hint);
  };
  if (!DoBorder && o.BorderWidth) refuse("--frame-width", "without a frame", "ohne Rahmen", frameHint);
  if (!DoBorder && o.BorderColor) refuse("--frame-color", "without a frame", "ohne Rahmen", frameHint);
  const TPaletteKind kind = ChosenKind(o);
  if (!o.IndividualPaletteFile.empty() && kind != pkIndividual)
    refuse("--individual-palette", "unless the individual palette is chosen",
           "ohne Wahl der individuellen Palette", "--palette individual --individual-palette FILE");
  if (kind != pkOptimized && (o.OptimizedPaletteSize || o.OptimizedPaletteIncludeSys || o.OptimizedPaletteRefine))
    refuse(o.OptimizedPaletteSize         ? "--optimized-size"
           : o.OptimizedPaletteIncludeSys ? "--no-system-colors"
                                          : "--refine-palette",
           "unless the optimized palette is chosen", "ohne Wahl der optimierten Palette", "--palette optimized");
  if (WebPLossless && o.WebPQuality)
    refuse("--webp-quality", "with lossless WebP", "bei verlustfreiem WebP",
           Text("Leave out --webp-lossless or --webp-quality.", "--webp-lossless oder --webp-quality weglassen."));
}

[[noreturn]] void RefuseDepth(const std::string& palette, int32_t size, int32_t code, const std::string& hint) {
  throw ECliUsage(Text("the " + palette + " palette of " + std::to_string(size) + " colours does not fit the " +
                           BitsText(code) + "-bit depth, which takes " + GroupSizes(code) + " colours",
                       "die Palette " + palette + " mit " + std::to_string(size) +
                           " Farben passt nicht zur Tiefe von " + BitsText(code) + " Bit, die " + GroupSizes(code) +
                           " Farben fasst"),
                  hint);
}

// As the window's lists: a flagged palette fits a depth only when its size
// falls into that depth's group, and without a depth given it takes the
// depth of its size. The source palette's size is each picture's own.
void ResolvePaletteDepth(const TCliOptions& o) {
  const TPaletteKind kind = ChosenKind(o);
  const bool depthGiven = o.PaletteName.empty() || o.Bits != 0;
  if (kind == pkNamed) return;
  if (kind == pkSource) {
    // Any source row: the job puts the picture's depth in its place.
    if (!depthGiven) Selection = FlaggedRow(kind, 2);
    return;
  }
  const int32_t given = PaletteChoiceRow(Selection).BitCountNum;
  if (kind == pkIndividual) {
    const int32_t size = IndividualPalette ? IndividualPalette->PaletteCount() : 0;
    const int32_t group = PaletteSizeGroup(size);
    if (group < 0)
      throw ECliUsage(Text("the individual palette has no colours", "die individuelle Palette hat keine Farben"),
                      "--individual-palette FILE");
    if (depthGiven && group != given)
      RefuseDepth("individual", size, given,
                  Text("--palette individual alone takes the depth of the palette; or load one of " +
                           GroupSizes(given) + " colours with --individual-palette.",
                       "--palette individual allein nimmt die Tiefe der Palette; oder eine mit " + GroupSizes(given) +
                           " Farben mit --individual-palette laden."));
    Selection = FlaggedRow(kind, group);
    return;
  }
  // An optimized palette is made at the size asked for; a depth given caps
  // a size that did not come from the line at what the depth holds.
  const int32_t size = std::clamp(OptimizedPaletteSize, 2, 256);
  const int32_t group = PaletteSizeGroup(size);
  if (!depthGiven) {
    Selection = FlaggedRow(kind, group);
    return;
  }
  const int32_t capacity = PaletteCapacity(uint8_t(given));
  if (group != given) {
    if (o.OptimizedPaletteSize || size < capacity)
      RefuseDepth("optimized", size, given,
                  Text("Give --optimized-size " + GroupSizes(given) + ", or --palette optimized alone.",
                       "--optimized-size " + GroupSizes(given) + " angeben oder --palette optimized allein."));
    OptimizedPaletteSize = capacity;
  }
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
  Override(OptimizedPaletteRefine, o.OptimizedPaletteRefine);
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
  Override(TIFFWriteResolutionUnit, o.TIFFWriteResolutionUnit);
  Override(TIFFWriteXResolutionNumerator, o.TIFFWriteXResolutionNumerator);
  Override(TIFFWriteXResolutionDenominator, o.TIFFWriteXResolutionDenominator);
  Override(TIFFWriteYResolutionNumerator, o.TIFFWriteYResolutionNumerator);
  Override(TIFFWriteYResolutionDenominator, o.TIFFWriteYResolutionDenominator);
  Override(ScreenGamma, o.ScreenGamma);
  Override(MaxPixels, o.MaxPixels);
  Override(AVIFCompQuality, o.AVIFCompQuality);
  Override(AVIFCompSpeed, o.AVIFCompSpeed);
  Override(ConvertToSRGB, o.ConvertToSRGB);
  Override(JPEGOptimizeCoding, o.JPEGOptimizeCoding);
  Override(WebPQuality, o.WebPQuality);
  Override(WebPLossless, o.WebPLossless);
  Override(AutoOrient, o.AutoOrient);
  Override(KeepPhotoInfo, o.KeepPhotoInfo);

  CheckIneffectiveOptions(o);
  if (!o.IndividualPaletteFile.empty()) LoadIndividualPalette(o.IndividualPaletteFile);
  ResolvePaletteDepth(o);
}

TCliJobSettings CliJobSettings(const TCliOptions& o) {
  TCliJobSettings s;
  s.Shrink = CurrentShrinkSettings();
  s.Size.Width = o.Width;
  s.Size.Height = o.Height;
  s.Size.WidthPercent = WidthPercent;
  s.Size.HeightPercent = HeightPercent;
  s.Size.KeepAspect = KeepAspectRatio;
  s.Size.Fit = o.Fit;
  s.Size.NoEnlarge = o.NoEnlarge;
  s.OutputFormat = o.Format;
  s.Verbose = o.Verbose;
  s.MinimizeInterference = MinimizeInterference;
  s.ShrinkOnLoad = o.ShrinkOnLoad;
  s.SaveColorResWarningAction = o.Strict ? pgwaRaise : pgwaIgnore;
  s.ReadWarningAction = o.Strict ? pgwaRaise : pgwaOKBox;
  s.SourcePaletteDepthFromPicture = o.PaletteName == "source" && o.Bits == 0;
  return s;
}
