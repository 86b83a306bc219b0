#pragma once
// Runs the jobs of quillet-cli on a pool of threads. A picture that fails
// is reported and the others go on.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "progressdisplay.h"
#include "shrinkjob.h"

struct TBatchItem {
  std::string Input;
  std::string Output;
};

// The memory the pictures in flight may take together. A picture larger
// than the whole budget still runs, alone.
class TMemoryBudget {
public:
  explicit TMemoryBudget(int64_t Bytes) : FBytes(Bytes) {}
  // Half of the machine's memory.
  static int64_t HalfOfMachineMemory();

  bool TryAcquire(int64_t Bytes);
  // Waits until Bytes fit beside the pictures in flight.
  void Acquire(int64_t Bytes);
  void Release(int64_t Bytes);

private:
  bool Fits(int64_t Bytes) const { return FInFlight == 0 || Bytes <= FBytes - FInFlight; }

  std::mutex FLock;
  std::condition_variable FFreed;
  int64_t FBytes;
  int64_t FInFlight = 0;
};

class TBatchRunner {
public:
  // Jobs: threads at most; 0 counts as 1.
  TBatchRunner(const TCliJobSettings& Settings, unsigned Jobs, TProgressDisplay& Display,
               int64_t MemoryBudget = TMemoryBudget::HalfOfMachineMemory())
      : FSettings(Settings), FJobs(Jobs == 0 ? 1 : Jobs), FDisplay(Display), FBudget(MemoryBudget) {}

  // The number of pictures that failed.
  size_t Run(const std::vector<TBatchItem>& Items);
  // Pictures saved although reading them gave a warning.
  size_t Warned() const { return FWarned; }

private:
  void RunItem(size_t Index, const TBatchItem& Item);

  const TCliJobSettings& FSettings;
  unsigned FJobs;
  TProgressDisplay& FDisplay;
  TMemoryBudget FBudget;
  std::atomic<size_t> FFailures{0};
  std::atomic<size_t> FWarned{0};
};
