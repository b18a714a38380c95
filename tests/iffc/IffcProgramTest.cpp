// The iffc program as a user runs it: messages on standard output, exit statuses 0, 1
// and 2, the exception's class name on standard error.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "support/TestSupport.h"

namespace {

struct TRun {
  int status = -1;
  std::string out;
  std::string err;
};

class IffcProgram : public ::testing::Test {
protected:
  void SetUp() override {
    exe = std::string(TESSAVOR_BIN_DIR) + "/iffc";
    if (!std::filesystem::exists(exe)) GTEST_FAIL() << "build the iffc target first: " << exe;
  }

  TRun Run(const std::string& args) {
    const std::string errFile = dir.File("stderr.txt");
    const std::string cmd = "cd '" + dir.Path().string() + "' && '" + exe + "' " + args + " 2>'" + errFile + "'";
    TRun r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int rc = ::pclose(p);
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.err = testsupport::ReadText(errFile);
    return r;
  }

  testsupport::TempDir dir;
  std::string exe;
};

TEST_F(IffcProgram, CleanScriptExitsZero) {
  testsupport::WriteText(dir.File("ok.txt"), "IFF ok.iff\n{\nFORM TEST\n{\nCHUNK DATA\n{\nLONG 1\n}\n}\n}\n");
  const TRun r = Run("ok.txt");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "compiling IFF [ok.iff] ...\ndone. Compile time: 00:00\n");
  EXPECT_EQ(testsupport::ReadBytes(dir.File("ok.iff")).size(), 24u);
}

TEST_F(IffcProgram, ErrorMessageExitsOne) {
  testsupport::WriteText(dir.File("bad.txt"), "HELLO\n");
  const TRun r = Run("bad.txt");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "error: line 1, \"HELLO\" - undeclared identifier.\ndone. Compile time: 00:00\n");
  EXPECT_EQ(r.err, "");
}

TEST_F(IffcProgram, HintsAloneExitZero) {
  testsupport::WriteText(dir.File("hint.txt"), "}\n");
  const TRun r = Run("hint.txt");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "hint: line 1, too many }\ndone. Compile time: 00:00\n");
}

TEST_F(IffcProgram, ExceptionExitsTwoWithItsClassName) {
  const TRun r = Run("missing.txt");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.rfind("EInOutError: ", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("missing.txt"), std::string::npos) << r.err;

  testsupport::WriteText(dir.File("conv.txt"), "$ORIGINAL_CRC abc\n");
  const TRun c = Run("conv.txt");
  EXPECT_EQ(c.status, 2);
  EXPECT_EQ(c.err.rfind("EConvertError: ", 0), 0u) << c.err;
}

TEST_F(IffcProgram, LaterScriptsStillRunAfterAFailure) {
  testsupport::WriteText(dir.File("ok.txt"), "IFF ok.iff\n{\n}\n");
  const TRun r = Run("missing.txt ok.txt");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "compiling IFF [ok.iff] ...\ndone. Compile time: 00:00\n");
}

TEST_F(IffcProgram, HelpAndNoArguments) {
  const TRun h = Run("--help");
  EXPECT_EQ(h.status, 0);
  EXPECT_EQ(h.out.rfind("Usage: iffc SCRIPT...", 0), 0u);
  const TRun none = Run("");
  EXPECT_EQ(none.status, 2);
}

}  // namespace
