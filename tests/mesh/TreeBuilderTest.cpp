#include "mesh/TreeBuilder.h"

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
                          [this](const std::string& s) { compiled.push_back(s); },
                          {}};
  testsupport::TempDir dir;
};

TEST_F(TreeBuilderTest, AFileThatIsNoLibraryIsAnErrorWithPathAndReason) {
  testsupport::WriteText(dir.File("libbsp.so"), "not a library");
  std::vector<std::string> errors;
  hooks.Error = [&](const std::string& t) { errors.push_back(t); };
  EXPECT_EQ(RunTreeBuilder(dir.File("libbsp.so"), dir.File("a.iff.txt"), hooks), -1);
  ASSERT_EQ(errors.size(), 1u);
  const std::string prefix = "Cannot load " + dir.File("libbsp.so") + ": ";
  EXPECT_EQ(errors[0].substr(0, prefix.size()), prefix);
  // The loader's reason follows, without the path a second time.
  EXPECT_GT(errors[0].size(), prefix.size());
  EXPECT_EQ(errors[0].find(dir.File("libbsp.so"), prefix.size()), std::string::npos) << errors[0];
  EXPECT_TRUE(messages.empty());
  EXPECT_TRUE(compiled.empty());
}

TEST_F(TreeBuilderTest, ARelativeOrUnknownLibraryPathIsRefusedWithoutLoading) {
  EXPECT_EQ(LibraryLoadError("/a/libbsp.so", "/a/libbsp.so: file too short"),
            "Cannot load /a/libbsp.so: file too short");
  EXPECT_EQ(LibraryLoadError("/a/libbsp.so", "out of memory"),
            "Cannot load /a/libbsp.so: out of memory");
  // A relative name would be looked up in the current folder, where anyone may plant one.
  EXPECT_EQ(RunTreeBuilder("no-such-dir/libbsp.so", dir.File("a.iff.txt"), hooks),
            -1);  // no Error hook: a message
  EXPECT_EQ(RunTreeBuilder("", dir.File("a.iff.txt"), hooks), -1);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].rfind(
                "Cannot load no-such-dir/libbsp.so: only a library in the program folder", 0),
            0u)
      << messages[0];
  EXPECT_EQ(messages[1], "Cannot load libbsp.so: the program folder is unknown");
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
