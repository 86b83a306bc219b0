#include "shrinkpipeline.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "convfilter.h"
#include "optimizedpalette.h"
#include "palettechoice.h"
#include "paletterefinement.h"
#include "pixellimit.h"
#include "settings.h"
#include "sizearithmetic.h"

namespace {

bool German(int32_t language) { return language == LanguageGerman; }

// Writes the entries the target's depth can hold, as they are: without
// identifying them the palette stays pUnknown. With no entries the target
// has no palette, which the mapping refuses with EPGNoPalette.
void GivePalette(TPixelGraphic& target, const std::vector<TRGB>& entries) {
  const auto count = int32_t(std::min<size_t>(entries.size(), size_t(PaletteCapacity(target.BitCountNum()))));
  if (count == 0) {
    target.SetPaletteIdent(pNone);
    return;
  }
  target.SetPaletteCount(count);
  for (int32_t i = 0; i < count; ++i) target.SetPaletteEntries(i, entries[size_t(i)]);
}

std::vector<TRGB> PaletteOf(const TPixelGraphic& g) {
  std::vector<TRGB> entries;
  for (int32_t i = 0; i < g.PaletteCount(); ++i) entries.push_back(g.PaletteEntries(i));
  return entries;
}

// Pixel count of a picture, held where six times it still fits in 64 bits.
int64_t EstimateArea(int32_t width, int32_t height) {
  constexpr int64_t limit = std::numeric_limits<int64_t>::max() / 6;
  return std::clamp(int64_t(width) * height, -limit, limit);
}

}  // namespace

TShrinkSettings CurrentShrinkSettings() {
  TShrinkSettings s;
  s.Selection = ::Selection;
  s.Language = ::Language;
  s.MemWarning = ::MemWarning;
  s.StretchMode = ::StretchMode;
  s.Sharpen = ::Sharpen;
  s.DoBorder = ::DoBorder;
  s.BorderWidth = ::BorderWidth;
  s.BorderColor = ::BorderColor;
  s.BorderEllipse = ::BorderEllipse;
  s.Dithering = ::Dithering;
  s.RGBWeighting = ::RGBWeighting;
  s.FastUnknownPalette = ::FastUnknownPalette;
  s.OptimizedPaletteSize = ::OptimizedPaletteSize;
  s.OptimizedPaletteIncludeSys = ::OptimizedPaletteIncludeSys;
  s.OptimizedPaletteRefine = ::OptimizedPaletteRefine;
  if (::IndividualPalette) s.IndividualPalette = PaletteOf(*::IndividualPalette);
  return s;
}

int64_t ShrinkMemoryEstimate(int32_t SourceWidth, int32_t SourceHeight, int32_t ResultWidth, int32_t ResultHeight) {
  const int64_t source = EstimateArea(SourceWidth, SourceHeight);
  const int64_t result = EstimateArea(ResultWidth, ResultHeight);
  return std::max(source * 3 + result * 3, result * 6);
}

bool MemoryWarningDue(int64_t Estimate, int32_t MemWarning) { return Estimate >= int64_t(MemWarning) * 1048576; }

std::string MegabytesText(int64_t Estimate) {
  const auto tenths = int64_t(std::nearbyint((long double)Estimate / 1048576 * 10));
  const uint64_t magnitude = tenths < 0 ? 0 - uint64_t(tenths) : uint64_t(tenths);
  std::string text = tenths < 0 ? "-" : "";
  text += std::to_string(magnitude / 10);
  if (magnitude % 10 != 0) text.append(".").append(std::to_string(magnitude % 10));
  return text;
}

std::string MemoryWarningText(int64_t Estimate, int32_t Language) {
  const std::string m = MegabytesText(Estimate);
  if (German(Language))
    return "Der geschätzte Speicherbedarf für die Berechnung liegt bei " + m + " MB. " +
           "Bei der Anforderung von großen Speicherbereichen kann es zu " +
           "Verzögerungen kommen. Speicheranforderungen können auch fehlschlagen. " + "\r\r" +
           "Möchten Sie trotzdem fortfahren?" + "\r\r" +
           "(Über das Optionen-Dialogfenster kann festgelegt werden ab welchem Speicherbedarf diese Warnung "
           "angezeigt wird.)";
  return "The estimated memory consumption for this calculation is " + m + " MB. " +
         "It can take some time to allocate large amounts of memory. " + "Memory allocations can also fail. " +
         "\r\r" + "Continue anyway?" + "\r\r" + "(You can set the limit for this warning in the options dialog.)";
}

std::string PipelineStageText(TPipelineStage Stage, int32_t Language) {
  const bool de = German(Language);
  switch (Stage) {
    case psStretch: return de ? "Strecken/schrumpfen" : "Stretching";
    case psSharpen: return de ? "Schärfen" : "Sharpening";
    case psBorder: return de ? "Rand bearbeiten" : "Border";
    case psOptimizedPalette: return de ? "Optimale Palette bestimmen" : "Create optimized palette";
    case psMapToPalette: return de ? "Auf Palette abbilden" : "Map to palette";
  }
  return std::string();
}

std::string RunStateText(TRunState State, int32_t Language) {
  const bool de = German(Language);
  switch (State) {
    case rsReady: return de ? "FERTIG" : "READY";
    case rsBusy: return de ? "BESCHÄFTIGT" : "BUSY";
    case rsAborted: return de ? "ABGEBROCHEN" : "ABORTED";
    case rsWaiting: return de ? "WARTE" : "WAITING";
  }
  return std::string();
}

std::string QualityHintText(int32_t Language) {
  return German(Language) ? "Bildqualität ist besser als angezeigt!" : "Quality of picture is better than displayed!";
}

std::string MillisecondsText(double Milliseconds) { return std::to_string(std::llround(Milliseconds)) + " ms"; }

std::string RunTimesText(const TRunTimes& Times) {
  static const char* const names[] = {"stretch", "sharpen", "border", "palette", "map"};
  std::string text = "run " + MillisecondsText(Times.Milliseconds);
  for (size_t i = 0; i < Times.Stages.size(); ++i)
    text += (i == 0 ? " (" : ", ") + std::string(names[Times.Stages[i].Stage]) + " " +
            MillisecondsText(Times.Stages[i].Milliseconds);
  return Times.Stages.empty() ? text : text + ")";
}

int32_t ProgressPercent(int Step, int Max) { return int32_t(int64_t(Step) * 100 / (Max == 0 ? 1 : Max)); }

TShrinkRun TShrinkPipeline::Run(const TPixelGraphic& Source, int32_t ResultWidth, int32_t ResultHeight,
                                bool MinimizeInterference, const TShrinkSettings& Settings) {
  return Shrink(Source, nullptr, true, ResultWidth, ResultHeight, MinimizeInterference, Settings);
}

TShrinkRun TShrinkPipeline::RunInPlace(const TPixelGraphic& Source, int32_t ResultWidth, int32_t ResultHeight,
                                       bool MinimizeInterference, const TShrinkSettings& Settings) {
  return Shrink(Source, nullptr, false, ResultWidth, ResultHeight, MinimizeInterference, Settings);
}

TShrinkRun TShrinkPipeline::Run(std::unique_ptr<TPixelGraphic> Source, int32_t ResultWidth, int32_t ResultHeight,
                                bool MinimizeInterference, const TShrinkSettings& Settings) {
  if (!Source) Source = std::make_unique<TPixelGraphic>();
  const TPixelGraphic& source = *Source;
  return Shrink(source, std::move(Source), false, ResultWidth, ResultHeight, MinimizeInterference, Settings);
}

TShrinkRun TShrinkPipeline::Shrink(const TPixelGraphic& Source, std::unique_ptr<TPixelGraphic> Taken, bool Copy,
                                   int32_t ResultWidth, int32_t ResultHeight, bool MinimizeInterference,
                                   const TShrinkSettings& Settings) {
  if (FBusy) return {soBusy, nullptr};
  // A result no reader would accept is refused before anyone is asked about memory.
  CheckPixelLimit(ResultWidth, ResultHeight);
  const int64_t estimate = ShrinkMemoryEstimate(Source.GetWidth(), Source.GetHeight(), ResultWidth, ResultHeight);
  if (MemoryWarningDue(estimate, Settings.MemWarning) && OnMemoryWarning &&
      !OnMemoryWarning(MemoryWarningText(estimate, Settings.Language)))
    return {soDeclined, nullptr};

  struct TBusyGuard {
    TShrinkPipeline& Pipeline;
    ~TBusyGuard() {
      Pipeline.FBusy = false;
      Pipeline.FStageText.clear();
    }
  } guard{*this};
  FBusy = true;
  if (Source.GetWidth() <= 0 || Source.GetHeight() <= 0) return {soNoSource, nullptr};

  // Taken before the source copy may go: the result is the same photo.
  const uint8_t orientation = Source.Orientation();
  std::vector<uint8_t> exif = Source.ExifBlock();
  FSettings = Settings;
  FAbortRequest = false;
  FTimes = TRunTimes();
  FStageOpen = false;
  FRunStart = std::chrono::steady_clock::now();
  SetStage(psStretch);
  std::unique_ptr<TPixelGraphic> copy = std::move(Taken);
  if (!copy && Copy) {
    copy = std::make_unique<TPixelGraphic>();
    copy->Assign(&Source);
  }
  const TPixelGraphic* source = copy ? copy.get() : &Source;
  std::unique_ptr<TPixelGraphic> r = Stretch(*source, ResultWidth, ResultHeight, MinimizeInterference);
  // After stretching only the source palette is taken from the copy; its
  // memory goes back before the later stages set theirs aside.
  const TPaletteChoice& row = PaletteChoiceRow(FSettings.Selection);
  if (!row.SourcePalette) {
    copy.reset();
    source = nullptr;
  }
  const int32_t strength = std::clamp(FSettings.Sharpen, 0, 100);
  if (strength != 0 && !FAbortRequest) r = Sharpened(*r, strength);
  if (FSettings.DoBorder && FSettings.BorderWidth > 0 && !FAbortRequest) r = Framed(*r);
  if (row.BitCountNum != 3 && !FAbortRequest) r = Reduced(*r, source);
  EndStage();
  FTimes.Milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - FRunStart).count();
  if (FAbortRequest) return {soAborted, nullptr};
  r->OnProgress = nullptr;
  r->SetOrientation(orientation);
  r->SetExifBlock(std::move(exif));
  return {soFinished, std::move(r)};
}

void TShrinkPipeline::RequestAbort() {
  if (FBusy) FAbortRequest = true;
}

std::unique_ptr<TPixelGraphic> TShrinkPipeline::NewTarget(int32_t Width, int32_t Height, uint8_t BitCountNum) {
  auto target = std::make_unique<TPixelGraphic>();
  target->SetSize(Width, Height, BitCountNum);
  target->OnProgress = [this](TObject* Sender, int Step, int Max, bool& Abort) {
    PipelineProgress(Sender, Step, Max, Abort);
  };
  return target;
}

void TShrinkPipeline::SetStage(TPipelineStage Stage) {
  EndStage();
  FStageText = PipelineStageText(Stage, FSettings.Language);
  FTimes.Stages.push_back({Stage, 0});
  FStageStart = std::chrono::steady_clock::now();
  FStageOpen = true;
}

void TShrinkPipeline::EndStage() {
  if (!FStageOpen) return;
  FStageOpen = false;
  FTimes.Stages.back().Milliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - FStageStart).count();
}

void TShrinkPipeline::PipelineProgress(TObject* Sender, int Step, int Max, bool& Abort) {
  Abort = FAbortRequest;
  if (OnProgress) OnProgress(Sender, Step, Max, Abort);
  if (Abort) FAbortRequest = true;
}

std::unique_ptr<TPixelGraphic> TShrinkPipeline::Stretch(const TPixelGraphic& Copy, int32_t Width, int32_t Height,
                                                        bool MinimizeInterference) {
  auto r = NewTarget(Width, Height, 3);
  r->SetStretchMode(FSettings.StretchMode);
  // A source of 2n + 1 pixels is halved exactly by leaving out its last one.
  int32_t sourceWidth = Copy.GetWidth(), sourceHeight = Copy.GetHeight();
  if (MinimizeInterference && CanMinimizeInterference(sourceWidth, r->GetWidth())) sourceWidth = 2 * r->GetWidth();
  if (MinimizeInterference && CanMinimizeInterference(sourceHeight, r->GetHeight()))
    sourceHeight = 2 * r->GetHeight();
  r->StretchDraw(0, 0, r->GetWidth(), r->GetHeight(), 0, 0, sourceWidth, sourceHeight, Copy);
  return r;
}

std::unique_ptr<TPixelGraphic> TShrinkPipeline::Sharpened(const TPixelGraphic& R, int32_t Strength) {
  SetStage(psSharpen);
  auto t = NewTarget(R.GetWidth(), R.GetHeight(), 3);
  TConvFilter filter;
  filter.BuildSharpen(ksTriangle, false, 0.75L, Strength);
  t->ApplyFilter(filter, R);
  return t;
}

std::unique_ptr<TPixelGraphic> TShrinkPipeline::Framed(const TPixelGraphic& R) {
  SetStage(psBorder);
  auto t = NewTarget(R.GetWidth(), R.GetHeight(), 3);
  t->DrawFrame(FSettings.BorderEllipse, FSettings.BorderWidth, FSettings.BorderColor, R);
  return t;
}

std::unique_ptr<TPixelGraphic> TShrinkPipeline::Reduced(const TPixelGraphic& R, const TPixelGraphic* Copy) {
  const TPaletteChoice& row = PaletteChoiceRow(FSettings.Selection);
  auto t = NewTarget(R.GetWidth(), R.GetHeight(), row.BitCountNum);
  const bool refine = row.Optimized && FSettings.OptimizedPaletteRefine;
  t->SetDither(FSettings.Dithering);
  t->SetRGBWeighting(FSettings.RGBWeighting);
  t->SetStretchMode(FSettings.StretchMode);
  if (row.Optimized) {
    SetStage(psOptimizedPalette);
    // The settings store takes any number; the palette must fit the depth.
    const int32_t size =
        std::min(std::clamp(FSettings.OptimizedPaletteSize, 2, 256), PaletteCapacity(row.BitCountNum));
    const bool system = FSettings.OptimizedPaletteIncludeSys && size > 16;
    CreateOptimizedPalette(*t, R, size, system);
    if (refine && !FAbortRequest) RefineOptimizedPalette(*t, R, system ? 16 : 0);
  } else if (row.IndividualPalette) {
    GivePalette(*t, FSettings.IndividualPalette);
  } else if (row.SourcePalette) {
    GivePalette(*t, PaletteOf(*Copy));
  } else {
    t->SetPaletteIdent(row.PaletteIdent);
  }
  if (!FAbortRequest) {
    SetStage(psMapToPalette);
    // The fast table maps by cells and would lose what the refinement gained.
    t->SetFastUnknownPalette(FSettings.FastUnknownPalette && !refine);
    t->MapFrom(R);
  }
  return t;
}
