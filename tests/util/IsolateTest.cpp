#include "util/Isolate.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <thread>
#include <vector>

namespace {

// The children are small shell programs: what a child does is up to the program it runs.
TIsolationResult Shell(const std::string& script, const TIsolationLimits& limits = {}) {
  return RunIsolated({"/bin/sh", "-c", script}, limits);
}

TEST(Isolate, OutputAndExitStatusComeBack) {
  // More than a pipe holds, so the parent must read while the child writes.
  const TIsolationResult r = Shell("head -c 300000 /dev/zero | tr '\\0' x; exit 7");
  EXPECT_EQ(r.End, TIsolationEnd::Exited);
  EXPECT_EQ(r.ExitCode, 7);
  EXPECT_EQ(r.Output, std::string(300000, 'x'));
}

TEST(Isolate, TheChildReadsNothingAndGetsNoneOfTheParentsDescriptors) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);  // without O_CLOEXEC, as a careless library would open it
  const TIsolationResult r =
      Shell("wc -c; test -e /proc/self/fd/" + std::to_string(fds[0]) + " && echo leaked");
  close(fds[0]);
  close(fds[1]);
  EXPECT_EQ(r.Output, "0\n");
}

TEST(Isolate, ACrashIsReportedWithItsSignal) {
  const TIsolationResult r = Shell("printf part; kill -ABRT $$");
  EXPECT_EQ(r.End, TIsolationEnd::Crashed);
  EXPECT_EQ(r.Signal, SIGABRT);
  EXPECT_EQ(r.Output, "part");
}

TEST(Isolate, AProgramThatCannotBeRunEndsWith127) {
  EXPECT_EQ(RunIsolated({"/no/such/program"}).ExitCode, 127);
  EXPECT_THROW(RunIsolated({"sh", "-c", "true"}), EIsolation);
}

// Each runaway child is stopped by its own limit, also after it closed its output.
TEST(Isolate, RunawayChildrenAreKilledAtTheirLimit) {
  TIsolationLimits limits;
  limits.Seconds = 0.3;
  EXPECT_EQ(Shell("while :; do :; done", limits).End, TIsolationEnd::TimedOut);
  EXPECT_EQ(Shell("exec >&-; while :; do :; done", limits).End, TIsolationEnd::TimedOut);

  TIsolationLimits memory;
  memory.MemoryBytes = uint64_t{32} << 20;
  // The shell doubles a string until the watch (or the address space limit) stops it.
  const TIsolationResult hog = Shell("x=0123456789; while :; do x=$x$x; done", memory);
  EXPECT_TRUE(hog.End == TIsolationEnd::OutOfMemory ||
              (hog.End == TIsolationEnd::Exited && hog.ExitCode != 0) ||
              hog.End == TIsolationEnd::Crashed)
      << static_cast<int>(hog.End);

  TIsolationLimits output;
  output.MaxOutputBytes = 1000;
  EXPECT_EQ(Shell("head -c 5000 /dev/zero", output).End, TIsolationEnd::OutputTooLarge);
}

TEST(Isolate, TheCancelFlagStopsTheChild) {
  std::atomic<bool> cancel{false};
  TIsolationLimits limits;
  limits.Cancel = &cancel;
  std::thread user([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    cancel = true;
  });
  const TIsolationResult r = Shell("while :; do :; done", limits);
  user.join();
  EXPECT_EQ(r.End, TIsolationEnd::Cancelled);
}

// The child is started from a thread while another thread allocates without pause: a fork
// that ran code in the child would sooner or later inherit a held allocator lock and hang.
TEST(Isolate, StartingFromOneThreadWhileAnotherAllocatesNeverHangs) {
  std::atomic<bool> stop{false};
  std::thread churn([&] {
    while (!stop) {
      std::vector<std::string> v(64, std::string(100, 'a'));
      v.clear();
    }
  });
  TIsolationLimits limits;
  limits.Seconds = 20;
  int ok = 0;
  for (int i = 0; i < 50; ++i) ok += Shell("echo ok", limits).Output == "ok\n";
  stop = true;
  churn.join();
  EXPECT_EQ(ok, 50);
}

}  // namespace
