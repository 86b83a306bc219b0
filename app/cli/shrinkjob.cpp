#include "shrinkjob.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <stdexcept>

#include "fileformat.h"
#include "formatregistry.h"
#include "langstr.h"
#include "palettechoice.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"
#include "pixellimit.h"
#include "settings.h"
#include "standardstreams.h"

namespace {

// Shares of a job's time, roughly as they fall for a photograph.
constexpr double LoadShare = 0.4;
constexpr double SaveShare = 0.15;
constexpr double ShrinkShare = 1 - LoadShare - SaveShare;

// Turns the row reports of the pipeline's stages into one rising fraction:
// a report that starts over or comes from another picture opens the next stage.
class TStageProgress {
public:
  TStageProgress(const TShrinkSettings& s, const TJobProgress& progress) : FProgress(progress) {
    const TPaletteChoice& row = PaletteChoiceRow(s.Selection);
    FStages = 1 + (s.Sharpen != 0) + (s.DoBorder && s.BorderWidth > 0);
    if (row.BitCountNum != 3) FStages += row.Optimized ? 2 : 1;
  }

  void Report(TObject* sender, int step, int max) {
    if (sender != FSender || step < FStep) {
      if (FSender) FStage = std::min(FStage + 1, FStages - 1);
      FSender = sender;
    }
    FStep = step;
    const double within = max > 0 ? std::clamp(double(step) / max, 0.0, 1.0) : 0.0;
    FDone = std::max(FDone, (FStage + within) / FStages);
    if (FProgress) FProgress(LoadShare + ShrinkShare * FDone);
  }

private:
  const TJobProgress& FProgress;
  int FStages;
  int FStage = 0;
  TObject* FSender = nullptr;
  int FStep = 0;
  double FDone = 0;
};

TPGProgressEvent PhaseProgress(const TJobProgress& progress, double start, double share) {
  return [&progress, start, share](TObject*, int step, int max, bool&) {
    if (progress && max > 0) progress(start + share * std::clamp(double(step) / max, 0.0, 1.0));
  };
}

bool German(int32_t language) { return language == LanguageGerman; }

// The library knows only that it was refused memory; the job knows for what.
template <class Step>
void RunWithMemoryContext(const Step& step, const TPixelGraphic* picture, TResultSize size, int32_t language) {
  try {
    step();
  } catch (const std::exception& e) {
    const bool refused = dynamic_cast<const EPGOutOfMemory*>(&e) != nullptr;
    if (!refused && !dynamic_cast<const std::bad_alloc*>(&e)) throw;
    if (picture) size = {picture->GetWidth(), picture->GetHeight()};
    const std::string sides = std::to_string(size.Width) + " × " + std::to_string(size.Height);
    std::string message = refused ? e.what() : German(language) ? "Speicheranforderung fehlgeschlagen"
                                                                 : "Memory allocation failed";
    message += German(language) ? ": nicht genug Speicher für ein Bild von " + sides + " Pixeln"
                                : ": not enough memory for a " + sides + " picture";
    throw std::runtime_error(message);
  }
}

}  // namespace

uint8_t SourcePaletteRow(const TPixelGraphic& Picture, uint8_t Row, bool FromPicture, int32_t Language) {
  const bool de = German(Language);
  const int32_t size = Picture.BitCountNum() == 3 ? 0 : Picture.PaletteCount();
  const int32_t group = PaletteSizeGroup(size);
  if (group < 0)
    throw std::runtime_error(de ? "das Bild hat keine Palette, die --palette source wiederverwenden könnte"
                                : "the picture has no palette for --palette source to reuse");
  const int32_t given = PaletteChoiceRow(Row).BitCountNum;
  if (!FromPicture && group != given) {
    const std::string colours = std::to_string(size), bits = std::to_string(NumToBitCount(uint8_t(given)));
    const std::string sizes = PaletteSizeGroupText(given);
    throw std::runtime_error(de ? "seine Palette mit " + colours + " Farben passt nicht zur Tiefe von " + bits +
                                      " Bit, die " + sizes +
                                      " Farben fasst; --palette source allein nimmt die Tiefe der Palette"
                                : "its palette of " + colours + " colours does not fit the " + bits +
                                      "-bit depth, which takes " + sizes +
                                      " colours; --palette source alone takes the palette's depth");
  }
  for (int32_t row = 0; row < PaletteChoiceRowCount; ++row)
    if (PaletteChoices[row].SourcePalette && PaletteChoices[row].BitCountNum == group) return uint8_t(row);
  return Row;
}

int64_t DeclaredShrinkMemory(const std::string& Input, const TSizeRequest& Size) {
  TFileFormatInfo info;
  if (!GetFileFormatInfo(Input, 0, info)) return 0;
  // A top-down bitmap declares a negative height.
  const int64_t width = std::llabs(int64_t(info.Width)), height = std::llabs(int64_t(info.Height));
  if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX) return 0;
  if (MaxPixels > 0 && width * height > MaxPixels) return 0;
  const TResultSize result = ResolveResultSize(Size, int32_t(width), int32_t(height));
  // Such a result is refused before it takes anything.
  if (MaxPixels > 0 && int64_t(result.Width) * result.Height > MaxPixels) return 0;
  const int64_t shrinking = ShrinkMemoryEstimate(int32_t(width), int32_t(height), result.Width, result.Height);
  // While it is read, the picture shares the memory with the reader's buffers.
  return std::max(shrinking, width * height * 3 + info.ReadMemory);
}

void TShrinkJob::Run(const std::string& Input, const std::string& Output, const TJobProgress& Progress) {
  using TClock = std::chrono::steady_clock;
  const auto since = [](TClock::time_point start) {
    return MillisecondsText(std::chrono::duration<double, std::milli>(TClock::now() - start).count());
  };
  const int32_t language = FSettings.Shrink.Language;
  TClock::time_point start = TClock::now();
  auto source = std::make_unique<TPixelGraphic>();
  source->OnProgress = PhaseProgress(Progress, 0, LoadShare);
  source->SetReadWarningAction(FSettings.ReadWarningAction);
  // The result is measured against the picture's full size also when a
  // JPEG is decoded smaller.
  TResultSize full;
  if (FSettings.ShrinkOnLoad)
    source->OnLoadTarget = [&](TObject*, int32_t width, int32_t height) {
      full = {width, height};
      const TResultSize result = ResolveResultSize(FSettings.Size, width, height);
      // Twice the result's size keeps the precise resampler's quality.
      const auto twice = [](int32_t side) { return int32_t(std::min<int64_t>(2 * int64_t(side), INT32_MAX)); };
      return TLoadSize{twice(result.Width), twice(result.Height)};
    };
  RunWithMemoryContext(
      [&] {
        if (!IsStandardStream(Input)) {
          source->LoadFromFile(Input);
        } else {
          // Without a name the format is found from the content alone.
          source->LoadFromStream(*ReadStandardInput());
        }
      },
      source.get(), {}, language);
  source->OnProgress = nullptr;
  source->OnLoadTarget = nullptr;
  const std::string loadTime = since(start);
  if (source->GetWidth() <= 0 || source->GetHeight() <= 0) throw EPGEmpty(LangStr1(16, Input));

  if (full.Width == 0) full = {source->GetWidth(), source->GetHeight()};
  const TResultSize size = ResolveResultSize(FSettings.Size, full.Width, full.Height);
  // The window never saves an empty result, and no viewer would show one.
  if (size.Width <= 0 || size.Height <= 0)
    throw EPGEmpty(LangStr1(16, std::to_string(size.Width) + " x " + std::to_string(size.Height)));
  const long double gamma = source->Gamma();
  TShrinkSettings shrink = FSettings.Shrink;
  if (PaletteChoiceRow(shrink.Selection).SourcePalette)
    shrink.Selection = SourcePaletteRow(*source, shrink.Selection, FSettings.SourcePaletteDepthFromPicture, language);
  TStageProgress stages(shrink, Progress);
  TShrinkPipeline pipeline;
  pipeline.OnProgress = [&stages](TObject* Sender, int Step, int Max, bool&) { stages.Report(Sender, Step, Max); };
  TShrinkRun run{soAborted, nullptr};
  RunWithMemoryContext(
      [&] { run = pipeline.Run(std::move(source), size.Width, size.Height, FSettings.MinimizeInterference, shrink); },
      nullptr, size, language);
  if (run.Outcome != soFinished || !run.Result) throw EPGEmpty(LangStr1(16, Input));

  TPixelGraphic& result = *run.Result;
  result.SetGamma(gamma);
  result.SetSaveColorResWarningAction(FSettings.SaveColorResWarningAction);
  result.OnProgress = PhaseProgress(Progress, LoadShare + ShrinkShare, SaveShare);
  FSaving = true;
  start = TClock::now();
  if (IsStandardStream(Output)) {
    TMemoryStream output;
    result.SaveToStreamExt(output, FSettings.OutputFormat);
    WriteStandardOutput(output);
  } else {
    result.SaveToFile(Output);
  }
  FTimesText = "load " + loadTime + ", " + RunTimesText(pipeline.LastRunTimes()) + ", save " + since(start);
  if (Progress) Progress(1);
}
