// Both flush modes of the crash-safe writes keep the same promise towards readers: the
// old complete file or the new complete one, never a torn one and no leftover temporary.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/TestSupport.h"
#include "util/Exception.h"
#include "util/FileIo.h"

namespace {

class FileSyncMode : public ::testing::TestWithParam<TFileSync> {
protected:
  size_t FilesIn(const std::filesystem::path& folder) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
  }
  testsupport::TempDir dir;
};

TEST_P(FileSyncMode, WholeFileReplacesLongerOldFile) {
  const std::string path = dir.File("out.obj");
  testsupport::WriteText(path, std::string(10000, 'x'));
  WriteFileAtomic(path, "v 1\r\n", 5, GetParam());
  EXPECT_EQ(testsupport::ReadText(path), "v 1\r\n");
  EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST_P(FileSyncMode, NewFileWithNoBytes) {
  const std::string path = dir.File("empty.obj");
  WriteFileAtomic(path, "", 0, GetParam());
  ASSERT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST_P(FileSyncMode, PiecesAppearOnlyOnCommit) {
  const std::string path = dir.File("pieces.obj");
  testsupport::WriteText(path, "old");
  TAtomicFileWriter w(path, GetParam());
  w.Write("ab", 2);
  w.Write("cd", 2);
  EXPECT_EQ(testsupport::ReadText(path), "old");
  w.Commit();
  EXPECT_EQ(testsupport::ReadText(path), "abcd");
  EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST_P(FileSyncMode, AbandonedWriterLeavesOldFile) {
  const std::string path = dir.File("kept.obj");
  testsupport::WriteText(path, "old");
  {
    TAtomicFileWriter w(path, GetParam());
    w.Write("partial", 7);
  }
  EXPECT_EQ(testsupport::ReadText(path), "old");
  EXPECT_EQ(FilesIn(dir.Path()), 1u);
}

TEST_P(FileSyncMode, MissingFolderIsAnErrorNamingTheFile) {
  const std::string path = dir.File("no-such-folder/out.obj");
  try {
    WriteFileAtomic(path, "x", 1, GetParam());
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("no-such-folder/out.obj"), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, FileSyncMode,
                         ::testing::Values(TFileSync::Durable, TFileSync::Replace),
                         [](const auto& p) {
                           return std::string(p.param == TFileSync::Durable ? "Durable"
                                                                            : "Replace");
                         });

}  // namespace
