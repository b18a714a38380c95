// The CRC list file on its own: line format, path resolution, replacement on close.

#include "iffc/CrcList.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TestSupport.h"
#include "util/Exception.h"

using namespace testsupport;

namespace {

class CrcListFile : public ::testing::Test {
protected:
  TempDir dir;
  TCrcList list;
};

TEST_F(CrcListFile, LinesEndWithCrLfInOrder) {
  list.Open(dir.File("names.txt"));
  EXPECT_TRUE(list.IsOpen());
  list.WriteCrcListLine("alpha");
  list.WriteCrcListLine("Beta Gamma");
  list.WriteCrcListLine("");
  list.Close();
  EXPECT_FALSE(list.IsOpen());
  EXPECT_EQ(ReadText(dir.File("names.txt")), "alpha\r\nBeta Gamma\r\n\r\n");
}

TEST_F(CrcListFile, NothingIsWrittenWhileClosed) {
  list.WriteCrcListLine("lost");
  list.Open(dir.File("names.txt"));
  list.Close();
  list.WriteCrcListLine("also lost");
  list.Close();
  EXPECT_EQ(ReadText(dir.File("names.txt")), "");
}

TEST_F(CrcListFile, ReopeningClosesTheFirstList) {
  list.Open(dir.File("a.txt"));
  list.WriteCrcListLine("one");
  list.Open(dir.File("b.txt"));
  list.WriteCrcListLine("two");
  list.Close();
  EXPECT_EQ(ReadText(dir.File("a.txt")), "one\r\n");
  EXPECT_EQ(ReadText(dir.File("b.txt")), "two\r\n");
}

TEST_F(CrcListFile, OpeningTruncatesAnOldList) {
  WriteText(dir.File("a.txt"), "old contents\r\n");
  list.Open(dir.File("a.txt"));
  list.Close();
  EXPECT_EQ(ReadText(dir.File("a.txt")), "");
}

TEST_F(CrcListFile, ListLargerThanOneWriteBufferIsComplete) {
  list.Open(dir.File("big.txt"));
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    const std::string name = "name_" + std::to_string(i);
    list.WriteCrcListLine(name);
    expected += name + "\r\n";
  }
  list.Close();
  EXPECT_EQ(ReadText(dir.File("big.txt")), expected);
}

TEST_F(CrcListFile, UnfinishedListLeavesThePreviousFile) {
  WriteText(dir.File("a.txt"), "kept\r\n");
  {
    TCrcList dying;
    dying.Open(dir.File("a.txt"));
    dying.WriteCrcListLine("never seen");
  }
  EXPECT_EQ(ReadText(dir.File("a.txt")), "kept\r\n");
  int files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++files;
  EXPECT_EQ(files, 1);
}

TEST(CrcListPath, BareNameLiesInTheSearchPath) {
  EXPECT_EQ(TCrcList::ResolvePath("crc.txt", "/data/scripts/"), "/data/scripts/crc.txt");
  EXPECT_EQ(TCrcList::ResolvePath("sub\\crc.txt", "/data/scripts/"), "sub/crc.txt");
  EXPECT_EQ(TCrcList::ResolvePath("/tmp/x/crc.txt", "/data/"), "/tmp/x/crc.txt");
}

TEST(CrcListPath, MissingFolderIsAnInOutError) {
  TempDir dir;
  TCrcList list;
  EXPECT_THROW(list.Open(dir.File("no/such/folder.txt")), EInOutError);
  EXPECT_FALSE(list.IsOpen());
}

}  // namespace
