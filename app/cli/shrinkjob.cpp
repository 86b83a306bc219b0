#include "shrinkjob.h"

#include <algorithm>
#include <memory>

#include "langstr.h"
#include "palettechoice.h"
#include "pgexceptions.h"
#include "pixelgraphic.h"

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

}  // namespace

void TShrinkJob::Run(const std::string& Input, const std::string& Output, const TJobProgress& Progress) {
  auto source = std::make_unique<TPixelGraphic>();
  source->OnProgress = PhaseProgress(Progress, 0, LoadShare);
  source->LoadFromFile(Input);
  source->OnProgress = nullptr;
  if (source->GetWidth() <= 0 || source->GetHeight() <= 0) throw EPGEmpty(LangStr1(16, Input));

  const TResultSize size = ResolveResultSize(FSettings.Size, source->GetWidth(), source->GetHeight());
  // The window never saves an empty result, and no viewer would show one.
  if (size.Width <= 0 || size.Height <= 0)
    throw EPGEmpty(LangStr1(16, std::to_string(size.Width) + " x " + std::to_string(size.Height)));
  const long double gamma = source->Gamma();
  TStageProgress stages(FSettings.Shrink, Progress);
  TShrinkPipeline pipeline;
  pipeline.OnProgress = [&stages](TObject* Sender, int Step, int Max, bool&) { stages.Report(Sender, Step, Max); };
  TShrinkRun run =
      pipeline.Run(std::move(source), size.Width, size.Height, FSettings.MinimizeInterference, FSettings.Shrink);
  if (run.Outcome != soFinished || !run.Result) throw EPGEmpty(LangStr1(16, Input));

  TPixelGraphic& result = *run.Result;
  result.SetGamma(gamma);
  result.SetSaveColorResWarningAction(FSettings.SaveColorResWarningAction);
  result.OnProgress = PhaseProgress(Progress, LoadShare + ShrinkShare, SaveShare);
  result.SaveToFile(Output);
  if (Progress) Progress(1);
}
