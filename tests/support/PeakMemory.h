#pragma once
// The process's peak resident memory, from its own counters: a test takes it before and
// after an action to show that a hostile file did not make memory appear.
#include <sys/resource.h>

#include <cstdint>

namespace testsupport {

inline uint64_t PeakMemoryBytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024;  // kilobytes on Linux
}

// At most this much above the peak before the action counts as "a few MB".
constexpr uint64_t kFewMegabytes = 32ull << 20;

}  // namespace testsupport
