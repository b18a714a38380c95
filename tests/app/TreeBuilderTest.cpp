#include "app/TreeBuilder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "util/Exception.h"

namespace {

struct TreeBuilderTest : ::testing::Test {
  std::vector<std::string> messages;
  std::vector<std::string> compiled;
  TTreeBuilderHooks hooks{[this](const std::string& t) { messages.push_back(t); },
                          [this](const std::string& s) { compiled.push_back(s); }};
  testsupport::TempDir dir;
};

TEST_F(TreeBuilderTest, AFileThatIsNoLibraryIsReportedWithoutCall) {
  testsupport::WriteText(dir.File("libbsp.so"), "not a library");
  EXPECT_EQ(RunTreeBuilder(dir.File("libbsp.so"), dir.File("a.iff.txt"), hooks), -1);
  EXPECT_EQ(messages, std::vector<std::string>{"Cannot load bsp.dll. Error=8"});
  EXPECT_TRUE(compiled.empty());
}

TEST_F(TreeBuilderTest, SuccessCompilesTheScriptPath) {
  EXPECT_EQ(RunTreeBuilder(TEST_BSP_OK, dir.File("a.iff.txt"), hooks), 0);
  EXPECT_EQ(compiled, std::vector<std::string>{dir.File("a.iff.txt")});
  ASSERT_EQ(messages.size(), 3u);
}

TEST_F(TreeBuilderTest, CompilerErrorNamesItsClass) {
  hooks.Compile = [](const std::string&) { throw EInOutError("cannot open"); };
  RunTreeBuilder(TEST_BSP_OK, dir.File("a.iff.txt"), hooks);
  ASSERT_EQ(messages.size(), 3u);
  EXPECT_EQ(messages[2], "iffc raised exception of type EInOutError");
}

TEST_F(TreeBuilderTest, OtherFaultsPropagate) {
  hooks.Compile = [](const std::string&) { throw std::runtime_error("boom"); };
  EXPECT_THROW(RunTreeBuilder(TEST_BSP_OK, dir.File("a.iff.txt"), hooks), std::runtime_error);
}

}  // namespace
