// The iffc program as a user runs it: messages on standard output, exit statuses 0, 1
// and 2, the exception's class name on standard error.

#include <gtest/gtest.h>

#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace {

using testsupport::TProgramResult;

class IffcProgram : public ::testing::Test {
protected:
  void SetUp() override {
    if (!testsupport::ProgramBuilt("iffc")) GTEST_FAIL() << "build the iffc target first";
  }

  // Runs iffc in the test's folder, where the scripts and their output lie.
  TProgramResult Run(const std::vector<std::string>& args) {
    return testsupport::RunProgram("iffc", args,
                                   testsupport::TRunOptions().In(dir.Path().string()));
  }

  testsupport::TempDir dir;
};

TEST_F(IffcProgram, CleanScriptExitsZero) {
  testsupport::WriteText(dir.File("ok.txt"),
                         "IFF ok.iff\n{\nFORM TEST\n{\nCHUNK DATA\n{\nLONG 1\n}\n}\n}\n");
  const TProgramResult r = Run({"ok.txt"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "compiling IFF [ok.iff] ...\ndone. Compile time: 00:00\n");
  EXPECT_EQ(testsupport::ReadBytes(dir.File("ok.iff")).size(), 24u);
}

TEST_F(IffcProgram, ErrorMessageExitsOne) {
  testsupport::WriteText(dir.File("bad.txt"), "HELLO\n");
  const TProgramResult r = Run({"bad.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "error: line 1, \"HELLO\" - undeclared identifier.\ndone. Compile time: 00:00\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(IffcProgram, HintsAloneExitZero) {
  testsupport::WriteText(dir.File("hint.txt"), "}\n");
  const TProgramResult r = Run({"hint.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "hint: line 1, too many }\ndone. Compile time: 00:00\n");
}

TEST_F(IffcProgram, ExceptionExitsTwoWithItsClassName) {
  const TProgramResult r = Run({"missing.txt"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("EInOutError: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("missing.txt"), std::string::npos) << r.err;

  testsupport::WriteText(dir.File("conv.txt"), "$ORIGINAL_CRC abc\n");
  const TProgramResult c = Run({"conv.txt"});
  EXPECT_EQ(c.status, 2);
  EXPECT_EQ(c.err.rfind("EConvertError: ", 0), 0u) << c.err;
}

TEST_F(IffcProgram, LaterScriptsStillRunAfterAFailure) {
  testsupport::WriteText(dir.File("ok.txt"), "IFF ok.iff\n{\n}\n");
  const TProgramResult r = Run({"missing.txt", "ok.txt"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "compiling IFF [ok.iff] ...\ndone. Compile time: 00:00\n");
}

TEST_F(IffcProgram, HelpAndNoArguments) {
  const TProgramResult h = Run({"--help"});
  EXPECT_EQ(h.status, 0);
  EXPECT_EQ(h.out.rfind("Usage: iffc SCRIPT...", 0), 0u);
  const TProgramResult none = Run({});
  EXPECT_EQ(none.status, 2);
}

}  // namespace
