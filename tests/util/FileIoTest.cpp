#include "util/FileIo.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/TestSupport.h"
#include "util/Exception.h"
#include "util/Paths.h"
#include "util/Platform.h"

namespace {

TEST(FileIo, AtomicWriteReplacesWholeFile) {
  testsupport::TempDir dir;
  const std::string path = dir.File("a.bin");
  testsupport::WriteText(path, "old old old");
  WriteFileAtomic(path, "new", 3);
  EXPECT_EQ(testsupport::ReadText(path), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(FileIo, UncommittedWriterLeavesOldFileAndNoTemporary) {
  testsupport::TempDir dir;
  const std::string path = dir.File("a.bin");
  testsupport::WriteText(path, "old");
  {
    TAtomicFileWriter w(path);
    w.Write("partial", 7);
  }
  EXPECT_EQ(testsupport::ReadText(path), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

// A killed writer leaves its temporary file; the next write of the same target removes it,
// but never the temporary file of a writer still at work, nor one of another target.
TEST(FileIo, NextWriteRemovesStaleTemporariesOfItsTarget) {
  testsupport::TempDir dir;
  const std::string path = dir.File("a.obj");
  const std::string killed = ".tmp-" + MakeTempSuffix();
  testsupport::WriteText(dir.File("a.obj" + killed), "half");
  testsupport::WriteText(dir.File("b.obj" + killed), "other target");
  testsupport::WriteText(dir.File("a.obj.tmp-notours"), "not our name pattern");
  TAtomicFileWriter working(path);
  working.Write("working", 7);
  WriteFileAtomic(path, "new", 3);
  EXPECT_FALSE(std::filesystem::exists(dir.File("a.obj" + killed)));
  EXPECT_TRUE(std::filesystem::exists(dir.File("b.obj" + killed)));
  EXPECT_TRUE(std::filesystem::exists(dir.File("a.obj.tmp-notours")));
  EXPECT_TRUE(std::filesystem::exists(working.TempPath()));
  working.Finish();  // closed but not yet renamed: still in use
  WriteFileAtomic(path, "newer", 5);
  EXPECT_TRUE(std::filesystem::exists(working.TempPath()));
  working.Commit();
  EXPECT_EQ(testsupport::ReadText(path), "working");
}

TEST(FileIo, ErrorsNameTheFile) {
  testsupport::TempDir dir;
  try {
    ReadWholeFile(dir.File("nope.kvt"));
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("nope.kvt"), std::string::npos);
  }
  EXPECT_THROW(WriteFileAtomic(dir.File("no/such/folder/x"), "x", 1), EInOutError);
}

TEST(Paths, FixedDrivePathsMapToHomeFolder) {
  testsupport::TempDir dir;
  const std::string home = HomeFolder();
  EXPECT_EQ(home, dir.Path().string() +
                      (dir.Path().string().find('/') == std::string::npos ? "\\" : "/"));
  EXPECT_EQ(MapFixedPath("c:\\vert.kvt"), home + "vert.kvt");
#ifndef _WIN32  // drive C is real on Windows: only names directly under it are mapped
  EXPECT_EQ(MapFixedPath("C:/models\\a.iff"), home + "models/a.iff");
#endif
  EXPECT_EQ(MapFixedPath("data\\pal\\x.pal"), "data/pal/x.pal");
  EXPECT_EQ(MapFixedPath("D:\\x"), "D:/x");
}

TEST(Paths, ExeDirectoryEndsWithSeparator) {
  const std::string dir = ExeDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_TRUE(platform::IsSeparator(dir.back())) << dir;
  EXPECT_TRUE(std::filesystem::is_directory(dir));
}

// Installed, the resources are in the private folder beside bin/; in the build folder (no
// such folder) they are beside the program.
TEST(Paths, ProgramFolderIsThePrivateFolderOnlyWhenInstalled) {
  testsupport::TempDir dir;
  const std::string bin = dir.Path().string() + "/prefix/bin";
  std::filesystem::create_directories(bin);
  EXPECT_EQ(ProgramFolderFor(bin), bin + "/");
  std::filesystem::create_directories(dir.Path() / "prefix/lib/tessavor");
  // The same folder however its separators are written (Windows writes "\\").
  const std::filesystem::path installed = (dir.Path() / "prefix/lib/tessavor/").lexically_normal();
  for (const std::string& from : {bin, bin + "/"}) {
    const std::string folder = ProgramFolderFor(from);
    EXPECT_EQ(std::filesystem::path(folder).lexically_normal(), installed) << folder;
    EXPECT_TRUE(platform::IsSeparator(folder.back())) << folder;
  }
}

}  // namespace
