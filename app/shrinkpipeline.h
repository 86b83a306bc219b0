#pragma once
// The run that turns a source picture into the result picture: copy,
// resampling, sharpening, frame, palette and mapping, with progress, abort
// and the memory warning. It owns no window; a front end adds its timers,
// status display and message processing on top through the events.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pgtypes.h"
#include "pixelgraphic.h"

// The settings a run reads, taken once when it starts.
struct TShrinkSettings {
  uint8_t Selection{};
  int32_t Language{};
  int32_t MemWarning{};
  TStretchMode StretchMode{};
  int32_t Sharpen{};
  bool DoBorder{};
  int32_t BorderWidth{};
  TRGB BorderColor{};
  bool BorderEllipse{};
  bool Dithering{};
  bool RGBWeighting{};
  bool FastUnknownPalette{};
  int32_t OptimizedPaletteSize{};
  bool OptimizedPaletteIncludeSys{};
  bool OptimizedPaletteRefine{};
  // Entries of the individual palette, copied so that a palette loaded
  // while a run lets the user interface work cannot pull them away.
  std::vector<TRGB> IndividualPalette;
};

// The process-wide settings as they stand now.
TShrinkSettings CurrentShrinkSettings();

// Memory a run takes, in bytes:
// max(source area * 3 + result area * 3, result area * 6), in 64 bits.
int64_t ShrinkMemoryEstimate(int32_t SourceWidth, int32_t SourceHeight, int32_t ResultWidth, int32_t ResultHeight);
// Whether an estimate reaches the limit of MemWarning megabytes.
bool MemoryWarningDue(int64_t Estimate, int32_t MemWarning);
// The estimate in megabytes rounded half to even to one decimal, in its
// shortest form ("14.3", "8").
std::string MegabytesText(int64_t Estimate);
// The question asked before a run whose estimate reaches the limit.
std::string MemoryWarningText(int64_t Estimate, int32_t Language);

enum TPipelineStage : uint8_t { psStretch, psSharpen, psBorder, psOptimizedPalette, psMapToPalette };
std::string PipelineStageText(TPipelineStage Stage, int32_t Language);

// How long a run and each of its stages took, in the order they ran.
struct TRunTimes {
  struct TStageTime {
    TPipelineStage Stage;
    double Milliseconds;
  };
  double Milliseconds = 0;
  std::vector<TStageTime> Stages;
};
// "412 ms", rounded to whole milliseconds.
std::string MillisecondsText(double Milliseconds);
// "run 412 ms (stretch 180 ms, sharpen 95 ms, map 137 ms)", for logs.
std::string RunTimesText(const TRunTimes& Times);

// States of a front end's run display; the ordinals are the states' numbers.
enum TRunState : uint8_t { rsReady, rsBusy, rsAborted, rsWaiting };
std::string RunStateText(TRunState State, int32_t Language);
// Shown when the picture holds more colours than the screen can.
std::string QualityHintText(int32_t Language);
// Step * 100 div Max, a Max of 0 counting as 1.
int32_t ProgressPercent(int Step, int Max);

enum TShrinkOutcome : uint8_t {
  soFinished,  // Result holds the new picture
  soAborted,   // an abort was requested; nothing was made
  soDeclined,  // the memory warning was not confirmed; nothing was started
  soNoSource,  // the source picture has no pixels
  soBusy       // another run is still in progress; try again later
};

struct TShrinkRun {
  TShrinkOutcome Outcome;
  std::unique_ptr<TPixelGraphic> Result;
};

class TShrinkPipeline : public TObject {
public:
  // Makes the result picture of ResultWidth x ResultHeight from Source.
  // Source is copied first, so OnProgress may replace it. A result beyond
  // the pixel limit raises EPGPictureTooLarge before anything starts. A
  // failure of any stage (EPGInvalidSize for a negative size, a refused
  // allocation, no palette to map onto) frees every intermediate picture, ends the run and
  // travels on to the caller.
  TShrinkRun Run(const TPixelGraphic& Source, int32_t ResultWidth, int32_t ResultHeight, bool MinimizeInterference,
                 const TShrinkSettings& Settings);
  // The same for a source the caller gives up: the run works on it instead
  // of a copy, which spares the memory of a second source picture.
  TShrinkRun Run(std::unique_ptr<TPixelGraphic> Source, int32_t ResultWidth, int32_t ResultHeight,
                 bool MinimizeInterference, const TShrinkSettings& Settings);
  // The same on Source itself, without the copy's time and memory: the
  // caller keeps Source as it is until the run returns, holding back
  // whatever would change or replace it while OnProgress lets events in.
  TShrinkRun RunInPlace(const TPixelGraphic& Source, int32_t ResultWidth, int32_t ResultHeight,
                        bool MinimizeInterference, const TShrinkSettings& Settings);

  // While a run is busy, makes its next progress report ask for an abort;
  // the stages still to come are skipped.
  void RequestAbort();
  bool Busy() const { return FBusy; }
  // Text of the stage at work, in the run's language; empty between runs.
  const std::string& StageText() const { return FStageText; }
  // The times of the last run that got as far as its first stage.
  const TRunTimes& LastRunTimes() const { return FTimes; }

  // Asked with the warning text before a run whose memory estimate
  // reaches the limit; false leaves the run unstarted. Without a handler
  // the run goes ahead.
  std::function<bool(const std::string& Text)> OnMemoryWarning;
  // Called for every row a stage processes, with Abort already holding the
  // abort request. The front end shows the progress and lets its user
  // interface work; it may set Abort itself, which aborts the run.
  TPGProgressEvent OnProgress;

private:
  // Source is copied when Copy is set, unless Taken holds it already.
  TShrinkRun Shrink(const TPixelGraphic& Source, std::unique_ptr<TPixelGraphic> Taken, bool Copy,
                    int32_t ResultWidth, int32_t ResultHeight, bool MinimizeInterference,
                    const TShrinkSettings& Settings);
  std::unique_ptr<TPixelGraphic> NewTarget(int32_t Width, int32_t Height, uint8_t BitCountNum);
  void SetStage(TPipelineStage Stage);
  // Closes the time of the stage at work.
  void EndStage();
  void PipelineProgress(TObject* Sender, int Step, int Max, bool& Abort);
  std::unique_ptr<TPixelGraphic> Stretch(const TPixelGraphic& Copy, int32_t Width, int32_t Height,
                                         bool MinimizeInterference);
  std::unique_ptr<TPixelGraphic> Sharpened(const TPixelGraphic& R, int32_t Strength);
  std::unique_ptr<TPixelGraphic> Framed(const TPixelGraphic& R);
  // Copy is the source's copy, kept for the source palette only.
  std::unique_ptr<TPixelGraphic> Reduced(const TPixelGraphic& R, const TPixelGraphic* Copy);

  bool FBusy = false;
  bool FAbortRequest = false;
  std::string FStageText;
  TRunTimes FTimes;
  std::chrono::steady_clock::time_point FRunStart, FStageStart;
  bool FStageOpen = false;
  TShrinkSettings FSettings;
};
