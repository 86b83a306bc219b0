#pragma once
// One picture of quillet-cli: load, size, shrink, save.

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
  TPGWarningAction SaveColorResWarningAction = pgwaIgnore;
};

// How far a job has come, from 0 to 1.
using TJobProgress = std::function<void(double Fraction)>;

class TShrinkJob {
public:
  explicit TShrinkJob(const TCliJobSettings& Settings) : FSettings(Settings) {}

  // Raises the failure of any step; Output is then left as it was.
  void Run(const std::string& Input, const std::string& Output, const TJobProgress& Progress);

private:
  const TCliJobSettings& FSettings;
};
