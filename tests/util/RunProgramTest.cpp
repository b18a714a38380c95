// The tests' program runner, on /bin/sh: both streams kept apart (or together, in order),
// the exit status, arguments passed without a shell's word splitting, the working folder
// and the environment changes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/RunProgram.h"
#include "support/TestSupport.h"

using testsupport::RunPath;
using testsupport::TProgramResult;

namespace {

TProgramResult Sh(const std::string& script, const testsupport::TRunOptions& options = {},
                  std::vector<std::string> extra = {}) {
  std::vector<std::string> args{"-c", script, "sh"};
  args.insert(args.end(), extra.begin(), extra.end());
  return RunPath("/bin/sh", args, options);
}

TEST(RunProgram, KeepsStreamsApartAndTheExitStatus) {
  const TProgramResult r = Sh("printf out; printf err >&2; exit 7");
  EXPECT_EQ(r.status, 7);
  EXPECT_EQ(r.out, "out");
  EXPECT_EQ(r.err, "err");
}

TEST(RunProgram, MergedStreamsKeepTheOrderWritten) {
  const TProgramResult r = Sh("echo 1; echo 2 >&2; echo 3", testsupport::TRunOptions().Merged());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "1\n2\n3\n");
  EXPECT_EQ(r.err, "");
}

TEST(RunProgram, ArgumentsArriveUnsplitAndUnquoted) {
  const TProgramResult r = Sh("printf '[%s]' \"$@\"", {}, {"a b", "it's", "", "$HOME"});
  EXPECT_EQ(r.out, "[a b][it's][][$HOME]");
}

TEST(RunProgram, RunsInTheGivenFolder) {
  testsupport::TempDir dir(false);
  EXPECT_EQ(Sh("pwd -P", testsupport::TRunOptions().In(dir.Path().string())).out,
            std::filesystem::canonical(dir.Path()).string() + "\n");
}

TEST(RunProgram, SetsAndRemovesVariablesForTheChildOnly) {
  setenv("TIDY_RUN_GONE", "x", 1);
  const TProgramResult r =
      Sh("printf '%s|%s' \"$TIDY_RUN_SET\" \"${TIDY_RUN_GONE-unset}\"",
         testsupport::TRunOptions().Set("TIDY_RUN_SET", "v=1").Unset("TIDY_RUN_GONE"));
  EXPECT_EQ(r.out, "v=1|unset");
  EXPECT_EQ(std::getenv("TIDY_RUN_SET"), nullptr);
  EXPECT_STREQ(std::getenv("TIDY_RUN_GONE"), "x");
  unsetenv("TIDY_RUN_GONE");
}

TEST(RunProgram, LargeOutputOnBothStreamsDoesNotStall) {
  // Well past a pipe's buffer on each stream, written interleaved.
  const TProgramResult r =
      Sh("i=0; while [ $i -lt 3000 ]; do echo 0123456789012345678901234567890123456789; "
         "echo abcdefghijabcdefghijabcdefghijabcdefghij >&2; i=$((i+1)); done");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.size(), 3000u * 41);
  EXPECT_EQ(r.err.size(), 3000u * 41);
}

TEST(RunProgram, MissingProgramAndSignalGiveMinusOne) {
  EXPECT_EQ(RunPath("/nonexistent/program", {}).status, -1);
  EXPECT_EQ(Sh("kill -9 $$").status, -1);
  EXPECT_FALSE(testsupport::ProgramBuilt("no-such-program"));
}

}  // namespace
