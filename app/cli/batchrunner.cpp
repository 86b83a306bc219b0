#include "batchrunner.h"

#include <exception>
#include <limits>
#include <new>
#include <thread>

#include "cliplatform.h"
#include "langstr.h"
#include "stream.h"
#include "settings.h"

int64_t TMemoryBudget::HalfOfMachineMemory() {
  const int64_t memory = PhysicalMemoryBytes();
  return memory == 0 ? std::numeric_limits<int64_t>::max() : memory / 2;
}

bool TMemoryBudget::TryAcquire(int64_t Bytes) {
  const std::lock_guard<std::mutex> lock(FLock);
  if (!Fits(Bytes)) return false;
  FInFlight += Bytes;
  return true;
}

void TMemoryBudget::Acquire(int64_t Bytes) {
  std::unique_lock<std::mutex> lock(FLock);
  FFreed.wait(lock, [&] { return Fits(Bytes); });
  FInFlight += Bytes;
}

void TMemoryBudget::Release(int64_t Bytes) {
  {
    const std::lock_guard<std::mutex> lock(FLock);
    FInFlight -= Bytes;
  }
  FFreed.notify_all();
}

size_t TBatchRunner::Run(const std::vector<TBatchItem>& Items) {
  FFailures = 0;
  FWarned = 0;
  std::atomic<size_t> next{0};
  const auto work = [&] {
    for (size_t i = next++; i < Items.size(); i = next++) RunItem(i, Items[i]);
  };
  const size_t threads = std::min<size_t>(FJobs, Items.size());
  if (threads <= 1) {
    work();
  } else {
    std::vector<std::jthread> pool;
    for (size_t t = 0; t < threads; ++t) pool.emplace_back(work);
  }
  return FFailures;
}

void TBatchRunner::RunItem(size_t Index, const TBatchItem& Item) {
  TPictureScope picture(Item.Input);
  // What the header declares is claimed before the picture is loaded.
  const int64_t memory = DeclaredShrinkMemory(Item.Input, FSettings.Size);
  FBudget.Acquire(memory);
  TShrinkJob job(FSettings);
  try {
    job.Run(Item.Input, Item.Output, [this, Index](double Fraction) { FDisplay.Progress(Index, Fraction); });
    if (picture.Warned()) ++FWarned;
    if (FSettings.Verbose) FDisplay.Message("quillet-cli: " + Item.Input + ": " + job.TimesText());
  } catch (const std::exception& e) {
    ++FFailures;
    std::string message = e.what();
    if (dynamic_cast<const std::bad_alloc*>(&e))
      message = Language == LanguageGerman ? "Speicheranforderung fehlgeschlagen" : "Memory allocation failed";
    // A file that cannot be written is the output's failure; a picture refused
    // on the way out is still the input's.
    const bool output = job.Saving() && dynamic_cast<const EStreamError*>(&e);
    FDisplay.Message("quillet-cli: " + (output ? Item.Output : Item.Input) + ": " + message);
  }
  FBudget.Release(memory);
  FDisplay.Finished(Index);
}
