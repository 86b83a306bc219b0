#include "batchrunner.h"

#include <exception>
#include <new>
#include <thread>

#include "langstr.h"

size_t TBatchRunner::Run(const std::vector<TBatchItem>& Items) {
  FFailures = 0;
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
  try {
    TShrinkJob(FSettings).Run(Item.Input, Item.Output,
                              [this, Index](double Fraction) { FDisplay.Progress(Index, Fraction); });
  } catch (const std::exception& e) {
    ++FFailures;
    const std::string message = dynamic_cast<const std::bad_alloc*>(&e) ? LangStr1(31, "Memory allocation") : e.what();
    FDisplay.Message("quillet-cli: " + Item.Input + ": " + message);
  }
  FDisplay.Finished(Index);
}
