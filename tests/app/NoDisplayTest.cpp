// `tessavor` where no window can be opened: one line that says why, exit status 1, no abort
// and none of the platform plugin's advice about reinstalling.
#include <gtest/gtest.h>

#include <string>

#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace {

using testsupport::TProgramResult;

struct TDisplayCase {
  const char* Name;
  const char* Display;  // nullptr: DISPLAY unset
  const char* Expected;
};

class NoDisplay : public ::testing::TestWithParam<TDisplayCase> {
protected:
  void SetUp() override {
    if (!testsupport::ProgramBuilt("tessavor")) GTEST_SKIP() << "tessavor not built";
  }
  testsupport::TempDir home;
};

TEST_P(NoDisplay, SaysSoInOneLineAndExitsWithOne) {
  testsupport::TRunOptions options;
  options.Unset("QT_QPA_PLATFORM").Unset("WAYLAND_DISPLAY").Unset("XDG_RUNTIME_DIR");
  if (GetParam().Display)
    options.Set("DISPLAY", GetParam().Display);
  else
    options.Unset("DISPLAY");
  const TProgramResult r = testsupport::RunPath(testsupport::ProgramPath("tessavor"), {}, options);
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.err.rfind(GetParam().Expected, 0), 0u) << r.err;
  EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "more than one line:\n" << r.err;
  EXPECT_EQ(r.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Displays, NoDisplay,
    ::testing::Values(TDisplayCase{"Unset", nullptr, "tessavor: no display: DISPLAY is not set"},
                      // A display number no X server on a test machine uses.
                      TDisplayCase{"Unreachable", ":9731",
                                   "tessavor: cannot open a window on display \":9731\""}),
    [](const ::testing::TestParamInfo<TDisplayCase>& p) { return std::string(p.param.Name); });

}  // namespace
