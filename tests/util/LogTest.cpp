#include "util/Log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "support/TestSupport.h"

namespace {

TEST(Log, OffLeavesNoFile) {
  testsupport::TempDir dir;
  ASSERT_FALSE(LogEnabled);
  LogLine("nothing");
  CloseLog();
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

TEST(Log, LinesThenClosingBlockAndSecondCloseDoesNothing) {
  testsupport::TempDir dir;
  testsupport::SetEnv("TESSAVOR_LOG", "viewer.log");
  ASSERT_TRUE(InitLogFromEnvironment());
  testsupport::UnsetEnv("TESSAVOR_LOG");
  LogLine("MV_VERSION: 238");
  CloseLog();
  EXPECT_FALSE(LogEnabled);
  const std::string text = testsupport::ReadText(dir.File("viewer.log"));
  CloseLog();
  EXPECT_EQ(testsupport::ReadText(dir.File("viewer.log")), text);
  const std::regex expected(
      "MV_VERSION: 238\r\n\r\nFile closed: [0-9]{2}:[0-9]{2}:[0-9]{2}\r\n\\*{56}\r\n");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

}  // namespace
