#pragma once
// Work that runs a library we cannot mend on hostile bytes (the model importer) runs in a
// child process, so that whatever the library does to a damaged file (crash, endless loop,
// memory without bound) ends in a message while the editor and its unsaved mesh live on.
//
// The child is a program of its own, started afresh (fork, then exec at once). A bare fork
// of the editor would not do: the child would inherit every lock another thread held at the
// fork (the allocator's, the library's, the toolkit's) with no thread left to release it,
// and hang on its first allocation. Between the fork and the exec the child makes only
// system calls. The program writes its result to its standard output, which the parent
// reads as it comes while it watches the child: past the time limit, past the memory limit
// (its resident size, checked every 50 ms, and the address space limit where no sanitizer
// needs a huge one), past the output limit, or when the cancel flag is set, the child is
// killed. A child also dies with the thread that started it. Its standard input is
// /dev/null; its standard error is the parent's, so that its own reports stay visible.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "util/Exception.h"

TESSAVOR_DECLARE_EXCEPTION(EIsolation);

struct TIsolationLimits {
  double Seconds = 300.0;
  uint64_t MemoryBytes = 0;  // 0: three quarters of the machine's memory
  size_t MaxOutputBytes = size_t{256} << 20;
  const std::atomic<bool>* Cancel = nullptr;
};

enum class TIsolationEnd {
  Exited,          // the program exited: ExitCode holds its status (127: it could not be run)
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
  std::string Output;  // what the program wrote to its standard output before it ended
};

// Runs the program `argv[0]` (an absolute path; no search) with the arguments `argv` in a
// child process. Raises EIsolation when no child can be started.
TIsolationResult RunIsolated(const std::vector<std::string>& argv,
                             const TIsolationLimits& limits = {});

// Writes all of `size` bytes, retrying short writes; false when the pipe is gone.
bool WriteAllToFd(int fd, const void* data, size_t size);

// The memory limit that MemoryBytes = 0 stands for.
uint64_t DefaultIsolationMemory();
