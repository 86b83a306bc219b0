#pragma once
// One picture of quillet-cli: load, size, shrink, save.

#include <chrono>
#include <functional>
#include <string>

#include "pgtypes.h"
#include "resultsize.h"
#include "shrinkpipeline.h"

// Everything a job reads, taken from the process-wide settings before any
// job starts, so that jobs on several threads share nothing that changes.
struct TCliJobSettings {
  TShrinkSettings Shrink;
  TSizeRequest Size;
  bool MinimizeInterference = true;
  // A JPEG is decoded at a reduced scale of at least twice the result's size.
  bool ShrinkOnLoad = false;
  TPGWarningAction SaveColorResWarningAction = pgwaIgnore;
  // With --strict a warning while reading fails the picture.
  TPGWarningAction ReadWarningAction = pgwaOKBox;
  // A source palette row takes its depth from each picture's palette.
  bool SourcePaletteDepthFromPicture = false;
  // The format of standard output ("-"), by extension.
  std::string OutputFormat;
  bool Verbose = false;
};

// The row of the source palette for a picture: at the depth its palette's
// size belongs to, or at the row's own depth unless FromPicture, which the
// palette must then fit. Raises, in Language, for a picture without
// palette or one that does not fit.
uint8_t SourcePaletteRow(const TPixelGraphic& Picture, uint8_t Row, bool FromPicture, int32_t Language);

// The memory a picture of the declared size takes to read and to shrink,
// for the batch's budget; 0 when the file tells no size or the picture will
// be refused before it takes any.
int64_t DeclaredShrinkMemory(const std::string& Input, const TSizeRequest& Size);

// How far a job has come, from 0 to 1.
using TJobProgress = std::function<void(double Fraction)>;

class TShrinkJob {
public:
  explicit TShrinkJob(const TCliJobSettings& Settings) : FSettings(Settings) {}

  // Raises the failure of any step; Output is then left as it was.
  void Run(const std::string& Input, const std::string& Output, const TJobProgress& Progress);
  // Whether the run got as far as writing Output.
  bool Saving() const { return FSaving; }
  // "load 120 ms, run 412 ms (stretch 180 ms, ...), save 31 ms" of a finished run.
  const std::string& TimesText() const { return FTimesText; }

private:
  const TCliJobSettings& FSettings;
  bool FSaving = false;
  std::string FTimesText;
};
