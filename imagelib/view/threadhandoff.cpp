#include "threadhandoff.h"

#include <atomic>

namespace {
std::atomic<unsigned> handoffs{0};
}

void PublishToOtherThread() { handoffs.fetch_add(1, std::memory_order_release); }

void ReceiveFromOtherThread() { (void)handoffs.load(std::memory_order_acquire); }
