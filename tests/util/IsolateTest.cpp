#include "util/Isolate.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

uint64_t OwnResidentBytes() {
  unsigned long long size = 0, resident = 0;
  FILE* file = std::fopen("/proc/self/statm", "r");
  if (file) {
    if (std::fscanf(file, "%llu %llu", &size, &resident) != 2) resident = 0;
    std::fclose(file);
  }
  return resident * static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
}

int Forever(int) {
  for (;;) pause();
}

TEST(Isolate, OutputAndExitStatusComeBack) {
  const TIsolationResult r = RunIsolated([](int fd) {
    // More than a pipe holds, so the parent must read while the child writes.
    const std::string text(300000, 'x');
    return WriteAllToFd(fd, text.data(), text.size()) ? 7 : 0;
  });
  EXPECT_EQ(r.End, TIsolationEnd::Exited);
  EXPECT_EQ(r.ExitCode, 7);
  EXPECT_EQ(r.Output, std::string(300000, 'x'));
}

TEST(Isolate, AnEscapingExceptionIsAStatusNotAReturnIntoTheParent) {
  const TIsolationResult r = RunIsolated([](int) -> int { throw std::runtime_error("no"); });
  EXPECT_EQ(r.End, TIsolationEnd::Exited);
  EXPECT_EQ(r.ExitCode, 125);
}

TEST(Isolate, ACrashIsReportedWithItsSignal) {
  const TIsolationResult r = RunIsolated([](int fd) {
    WriteAllToFd(fd, "part", 4);
    raise(SIGABRT);
    return 0;
  });
  EXPECT_EQ(r.End, TIsolationEnd::Crashed);
  EXPECT_EQ(r.Signal, SIGABRT);
  EXPECT_EQ(r.Output, "part");
}

// Each runaway child is stopped by its own limit, also after it closed its output.
TEST(Isolate, RunawayChildrenAreKilledAtTheirLimit) {
  TIsolationLimits limits;
  limits.Seconds = 0.3;
  EXPECT_EQ(RunIsolated(Forever, limits).End, TIsolationEnd::TimedOut);
  EXPECT_EQ(RunIsolated(
                [](int fd) {
                  close(fd);
                  return Forever(fd);
                },
                limits)
                .End,
            TIsolationEnd::TimedOut);

  TIsolationLimits memory;
  memory.MemoryBytes = OwnResidentBytes() + (uint64_t{64} << 20);
  const TIsolationResult hog = RunIsolated(
      [](int) {
        std::vector<char*> blocks;
        for (;;) {
          char* block = new char[1 << 20];
          std::memset(block, 1, 1 << 20);
          blocks.push_back(block);
        }
        return 0;
      },
      memory);
  // Where the address space limit applies, the allocation fails first: an exception that
  // ends the child, or the child's own out-of-memory stop.
  EXPECT_TRUE(hog.End == TIsolationEnd::OutOfMemory ||
              (hog.End == TIsolationEnd::Exited && hog.ExitCode == 125))
      << static_cast<int>(hog.End);

  TIsolationLimits output;
  output.MaxOutputBytes = 1000;
  EXPECT_EQ(RunIsolated(
                [](int fd) {
                  const std::string text(5000, 'y');
                  WriteAllToFd(fd, text.data(), text.size());
                  return 0;
                },
                output)
                .End,
            TIsolationEnd::OutputTooLarge);
}

TEST(Isolate, TheCancelFlagStopsTheChild) {
  std::atomic<bool> cancel{false};
  TIsolationLimits limits;
  limits.Cancel = &cancel;
  std::thread user([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    cancel = true;
  });
  const TIsolationResult r = RunIsolated(Forever, limits);
  user.join();
  EXPECT_EQ(r.End, TIsolationEnd::Cancelled);
}

}  // namespace
