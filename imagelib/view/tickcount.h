#pragma once
// Milliseconds of a monotonic clock, for throttling progress and timing work.

#include <chrono>
#include <cstdint>

inline int64_t TickCount() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
