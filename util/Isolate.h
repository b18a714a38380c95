#pragma once
// Work that runs a library we cannot mend on hostile bytes (the model importer) runs in a
// child process, so that whatever the library does to a damaged file (crash, endless loop,
// memory without bound) ends in a message while the editor and its unsaved mesh live on.
//
// The child is a fork of this process: the work runs with everything the caller had, and
// writes its result to a pipe. The parent reads the result as it comes and watches the
// child: past the time limit, past the memory limit (its resident size, checked every
// 50 ms, and the address space limit where no sanitizer needs a huge one), past the output
// limit, or when the cancel flag is set, the child is killed. A child also dies with its
// parent. Only the thread that calls RunIsolated exists in the child: the work must not
// wait for anything another thread of the parent would do.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "util/Exception.h"

TESSAVOR_DECLARE_EXCEPTION(EIsolation);

struct TIsolationLimits {
  double Seconds = 300.0;
  uint64_t MemoryBytes = 0;  // 0: three quarters of the machine's memory
  size_t MaxOutputBytes = size_t{256} << 20;
  const std::atomic<bool>* Cancel = nullptr;
};

enum class TIsolationEnd {
  Exited,          // the work returned or the child exited: ExitCode holds the status
  Crashed,         // a signal ended the child: Signal holds it
  TimedOut,        // killed at the time limit
  OutOfMemory,     // killed at the memory limit
  OutputTooLarge,  // killed when its output passed MaxOutputBytes
  Cancelled,       // killed because the cancel flag was set
};

struct TIsolationResult {
  TIsolationEnd End = TIsolationEnd::Exited;
  int ExitCode = 0;
  int Signal = 0;
  std::string Output;  // what the child wrote before it ended
};

// Runs `work(fd)` in a child process; the work writes its result to `fd` (WriteAllToFd) and
// its return value becomes the child's exit status (an exception that escapes it: 125).
// Raises EIsolation when no child can be started.
TIsolationResult RunIsolated(const std::function<int(int fd)>& work,
                             const TIsolationLimits& limits = {});

// Writes all of `size` bytes, retrying short writes; false when the pipe is gone.
bool WriteAllToFd(int fd, const void* data, size_t size);

// The memory limit that MemoryBytes = 0 stands for.
uint64_t DefaultIsolationMemory();
