#pragma once
// Runs the jobs of quillet-cli on a pool of threads. A picture that fails
// is reported and the others go on.

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

#include "progressdisplay.h"
#include "shrinkjob.h"

struct TBatchItem {
  std::string Input;
  std::string Output;
};

class TBatchRunner {
public:
  // Jobs: threads at most; 0 counts as 1.
  TBatchRunner(const TCliJobSettings& Settings, unsigned Jobs, TProgressDisplay& Display)
      : FSettings(Settings), FJobs(Jobs == 0 ? 1 : Jobs), FDisplay(Display) {}

  // The number of pictures that failed.
  size_t Run(const std::vector<TBatchItem>& Items);

private:
  void RunItem(size_t Index, const TBatchItem& Item);

  const TCliJobSettings& FSettings;
  unsigned FJobs;
  TProgressDisplay& FDisplay;
  std::atomic<size_t> FFailures{0};
};
