// The Windows side of the platform layer, run under wine: the file-safety promises of the
// safe writer and the home lock as Windows users meet them (devices, read-only files,
// files held open by a reader, backslashes and drive letters, names beyond ASCII), the
// home folder under %APPDATA%, the tree builder's DLL with its entry at ordinal 1, and
// child processes (wine's own cmd.exe stands in for a program).
#include <gtest/gtest.h>
#include <windows.h>

#include <cerrno>
#include <string>
#include <vector>

#include "mesh/TreeBuilder.h"
#include "support/TestSupport.h"
#include "util/Exception.h"
#include "util/FileIo.h"
#include "util/HomeLock.h"
#include "util/Isolate.h"
#include "util/Paths.h"
#include "util/Platform.h"

namespace {

using testsupport::TempDir;

// The folder in the form Windows users write: drive letter and backslashes.
std::string Backslashed(const TempDir& dir) {
  std::string p = platform::FromPath(dir.Path());
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  return p;
}

std::string Text(const std::vector<uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

void Write(const std::string& path, const std::string& text) {
  WriteFileAtomic(path, text.data(), text.size());
}

TEST(WindowsPaths, DriveLettersAndUncNamesAreAbsoluteADriveRelativeNameIsNot) {
  EXPECT_TRUE(platform::IsAbsolutePath("C:\\models\\house.iff"));
  EXPECT_TRUE(platform::IsAbsolutePath("d:/models/house.iff"));
  EXPECT_TRUE(platform::IsAbsolutePath("\\\\server\\share\\house.iff"));
  EXPECT_FALSE(platform::IsAbsolutePath("C:house.iff"));
  EXPECT_FALSE(platform::IsAbsolutePath("models\\house.iff"));
  EXPECT_TRUE(platform::IsSeparator('\\'));
}

TEST(WindowsPaths, HomeFolderIsUnderAppDataUnlessTessavorHomeIsSet) {
  TempDir dir;
  testsupport::UnsetEnv("TESSAVOR_HOME");
  testsupport::SetEnv("APPDATA", Backslashed(dir) + "\\Roaming");
  EXPECT_EQ(HomeFolder(), Backslashed(dir) + "\\Roaming\\Tessavor\\");
  EXPECT_TRUE(platform::Exists(Backslashed(dir) + "\\Roaming\\Tessavor"));
  testsupport::SetEnv("TESSAVOR_HOME", Backslashed(dir) + "\\mine");
  EXPECT_EQ(HomeFile("vert.kvt"), Backslashed(dir) + "\\mine\\vert.kvt");
}

TEST(WindowsPaths, TheGamesOwnCDriveNamesStillMeanTheHomeFolder) {
  TempDir dir;
  testsupport::SetEnv("TESSAVOR_HOME", Backslashed(dir));
  EXPECT_EQ(MapFixedPath("C:\\vert.kvt"), Backslashed(dir) + "\\vert.kvt");
  EXPECT_EQ(MapFixedPath("c:/house.iff"), Backslashed(dir) + "\\house.iff");
  // Deeper names on drive C are the user's own files; other drives are never mapped.
  EXPECT_EQ(MapFixedPath("C:\\Mods\\a.iff"), "C:\\Mods\\a.iff");
  EXPECT_EQ(MapFixedPath("D:\\mods\\a.iff"), "D:/mods/a.iff");
}

TEST(WindowsPaths, ProgramFolderIsTheExecutablesFolder) {
  const std::string exe = platform::ExecutablePath();
  ASSERT_TRUE(platform::IsAbsolutePath(exe)) << exe;
  EXPECT_EQ(ExeDirectory(), exe.substr(0, exe.find_last_of('\\') + 1));
}

class WindowsWriter : public ::testing::Test {
protected:
  TempDir m_dir;
  std::string m_folder = Backslashed(m_dir);

  std::vector<std::string> Entries() const { return platform::FolderEntries(m_folder); }
};

TEST_F(WindowsWriter, WritesThroughBackslashedPathsAndLeavesNoTemporaryFile) {
  const std::string path = m_folder + "\\out.bin";
  Write(path, "first");
  Write(path, "second");
  EXPECT_EQ(Text(ReadWholeFile(path)), "second");
  EXPECT_EQ(Entries(), std::vector<std::string>{"out.bin"});
}

// Windows does not rename over a file that is open, even for reading: the write fails with
// the file's name, and the old file and the reader's view of it stay whole.
TEST_F(WindowsWriter, AFileAReaderHoldsOpenIsLeftWholeAndTheWriteFails) {
  const std::string path = m_folder + "\\held.bin";
  Write(path, "old bytes");
  {
    TInputFile reader(path);
    try {
      Write(path, "new");
      ADD_FAILURE() << "replaced under a reader";
    } catch (const EInOutError& e) {
      EXPECT_NE(std::string(e.what()).find("held.bin"), std::string::npos) << e.what();
    }
    EXPECT_EQ(Text(reader.ReadUpTo(100)), "old bytes");
    EXPECT_EQ(Entries(), std::vector<std::string>{"held.bin"});
  }
  Write(path, "new");
  EXPECT_EQ(Text(ReadWholeFile(path)), "new");
}

TEST_F(WindowsWriter, RefusesAReadOnlyFileAndLeavesIt) {
  const std::string path = m_folder + "\\locked.bin";
  Write(path, "keep");
  ASSERT_TRUE(::SetFileAttributesW(platform::ToPath(path).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_THROW(Write(path, "lost"), EInOutError);
  EXPECT_EQ(Text(ReadWholeFile(path)), "keep");
  EXPECT_EQ(Entries().size(), 1u);
  ::SetFileAttributesW(platform::ToPath(path).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(WindowsWriter, RefusesDevicesAsOutputAndAsInput) {
  for (const char* device : {"NUL", "CON", "\\\\.\\NUL"}) {
    try {
      Write(device, "x");
      ADD_FAILURE() << device << " was written";
    } catch (const EInOutError& e) {
      EXPECT_NE(std::string(e.what()).find("device"), std::string::npos) << e.what();
    }
  }
  EXPECT_THROW(TInputFile("NUL"), EInOutError);
}

TEST_F(WindowsWriter, RefusesAFolderAsInputNamingIt) {
  try {
    TInputFile input(m_folder);
    ADD_FAILURE() << "a folder was opened";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("a folder"), std::string::npos) << e.what();
  }
}

TEST_F(WindowsWriter, NamesBeyondAsciiAreKept) {
  const std::string path = m_folder + "\\H\xC3\xA4us\xC3\xA9.iff";  // "Häusé.iff" in UTF-8
  Write(path, "mesh");
  EXPECT_EQ(Text(ReadWholeFile(path)), "mesh");
  EXPECT_EQ(Entries(), std::vector<std::string>{"H\xC3\xA4us\xC3\xA9.iff"});
}

TEST_F(WindowsWriter, RemovesAStaleTemporaryFileButNotOneAWriterHolds) {
  const std::string target = m_folder + "\\t.bin";
  const std::string stale = target + ".tmp-" + MakeTempSuffix();
  const std::string held = target + ".tmp-" + MakeTempSuffix();
  Write(stale, "left by a killed writer");
  Write(held, "being written");
  const int fd = platform::OpenRead(held);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(platform::TryLockFile(fd), 0);
  Write(target, "done");
  EXPECT_FALSE(platform::Exists(stale));
  EXPECT_TRUE(platform::Exists(held));
  platform::Close(fd);
}

TEST_F(WindowsWriter, ALockIsExclusiveBetweenTwoHandlesAndEndsWithItsHandle) {
  const std::string path = m_folder + "\\" + kHomeLockFile;
  const int first = platform::OpenLockFile(path);
  const int second = platform::OpenLockFile(path);
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  ASSERT_EQ(platform::TryLockForProcess(first), 0);
  EXPECT_EQ(platform::TryLockForProcess(second), -1);
  EXPECT_EQ(errno, EAGAIN);
  // The locked byte lies beyond the data: the file stays readable for others.
  EXPECT_EQ(Text(ReadWholeFile(path)), "");
  platform::Close(first);
  EXPECT_EQ(platform::TryLockForProcess(second), 0);
  platform::Close(second);
}

TEST_F(WindowsWriter, TheHomeLockNamesNoPidItCannotKnow) {
  testsupport::SetEnv("TESSAVOR_HOME", m_folder);
  const int other = platform::OpenLockFile(HomeFile(kHomeLockFile));
  ASSERT_GE(other, 0);
  ASSERT_EQ(platform::TryLockForProcess(other), 0);
  try {
    THomeLock lock(THomeAccess::Write, 0.1);
    ADD_FAILURE() << "the lock was taken twice";
  } catch (const EHomeInUse& e) {
    EXPECT_NE(std::string(e.what()).find("(pid unknown)"), std::string::npos) << e.what();
  }
  platform::Close(other);
  EXPECT_NO_THROW(THomeLock lock(THomeAccess::Write, 0.1));
}

TEST_F(WindowsWriter, SharedLocksLetEachOtherInAndKeepTheExclusiveOneOut) {
  const std::string path = m_folder + "\\" + kHomeLockFile;
  const int writer = platform::OpenLockFile(path);
  const int reader = platform::OpenRead(path);
  const int other = platform::OpenRead(path);
  ASSERT_GE(writer, 0);
  ASSERT_GE(reader, 0);
  ASSERT_GE(other, 0);
  ASSERT_EQ(platform::TryLockForProcess(reader, true), 0);
  EXPECT_EQ(platform::TryLockForProcess(other, true), 0);
  EXPECT_EQ(platform::TryLockForProcess(writer, false), -1);
  EXPECT_EQ(errno, EAGAIN);
  platform::Close(reader);
  platform::Close(other);
  ASSERT_EQ(platform::TryLockForProcess(writer, false), 0);
  const int late = platform::OpenRead(path);
  ASSERT_GE(late, 0);
  EXPECT_EQ(platform::TryLockForProcess(late, true), -1);
  platform::Close(late);
  platform::Close(writer);
}

// (Windows keeps a removed file's name until its last handle closes, so a name made again
// while one is open cannot be had there; another file with the same bytes stands for it.)
TEST_F(WindowsWriter, AnOpenFileIsTheOneItsNameNamesAndNoOther) {
  const std::string path = m_folder + "\\same.bin";
  const std::string twin = m_folder + "\\twin.bin";
  Write(path, "same");
  Write(twin, "same");
  const int fd = platform::OpenRead(path);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(platform::SameFile(fd, path));
  EXPECT_FALSE(platform::SameFile(fd, twin));
  EXPECT_FALSE(platform::SameFile(fd, m_folder + "\\missing.bin"));
  platform::Close(fd);
}

TEST(WindowsPrivateTemp, LivesInTheTemporaryFolderAndGoesWithItsOwner) {
  std::string folder, file;
  {
    TPrivateTemp dir(TPrivateTemp::TKind::Folder, "export");
    TPrivateTemp picture(TPrivateTemp::TKind::File, "picture", ".png");
    folder = dir.Path();
    file = picture.Path();
    EXPECT_EQ(folder.rfind(platform::TempFolder(), 0), 0u) << folder;
    platform::TFileStatus st;
    ASSERT_EQ(platform::StatPath(folder, st), 0);
    EXPECT_EQ(st.Kind, platform::TFileKind::Folder);
    ASSERT_EQ(platform::StatPath(file, st), 0);
    EXPECT_EQ(st.Kind, platform::TFileKind::Regular);
    // Another run's sweep leaves what a live owner holds.
    TPrivateTemp later(TPrivateTemp::TKind::File, "picture", ".png");
    EXPECT_TRUE(platform::Exists(folder));
    EXPECT_TRUE(platform::Exists(file));
  }
  EXPECT_FALSE(platform::Exists(folder));
  EXPECT_FALSE(platform::Exists(file));
}

TEST(WindowsPrivateTemp, AFileLeftByAKilledRunIsSweptByTheNext) {
  const std::string stray =
      platform::TempFolder() + "\\tessavor-picture-" + MakeTempSuffix() + ".png";
  Write(stray, "left by a killed import");
  const std::string user = platform::TempFolder() + "\\tessavor-picture-mine.png";
  Write(user, "a user's file");
  { TPrivateTemp next(TPrivateTemp::TKind::File, "picture", ".png"); }
  EXPECT_FALSE(platform::Exists(stray));
  EXPECT_TRUE(platform::Exists(user));
  platform::RemoveFile(user);
}

TEST(WindowsTreeBuilder, TheDllExportsItsEntryAtOrdinalOne) {
  const std::string path = ProgramLibraryPath(platform::SharedLibraryName("bsp"));
  ASSERT_NE(path, "");
  EXPECT_EQ(path.substr(path.size() - 8), "\\bsp.dll");
  std::string error;
  void* library = platform::OpenLibrary(path, error);
  ASSERT_NE(library, nullptr) << error;
  void* byName = platform::FindSymbol(library, "generate_bsp_tree");
  const FARPROC byOrdinal = ::GetProcAddress(static_cast<HMODULE>(library), MAKEINTRESOURCEA(1));
  EXPECT_NE(byName, nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(byOrdinal), byName);
  platform::CloseLibrary(library);
}

TEST(WindowsTreeBuilder, AMissingDllIsReportedWithItsPath) {
  TempDir dir;
  std::vector<std::string> errors;
  TTreeBuilderHooks hooks;
  hooks.Error = [&](const std::string& text) { errors.push_back(text); };
  const std::string missing = Backslashed(dir) + "\\bsp.dll";
  EXPECT_EQ(RunTreeBuilder(missing, Backslashed(dir) + "\\t.txt", hooks), -1);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].rfind("Cannot load " + missing + ": ", 0), 0u) << errors[0];
}

class WindowsChild : public ::testing::Test {
protected:
  std::string m_cmd = platform::Environment("SystemRoot") + "\\system32\\cmd.exe";
};

TEST_F(WindowsChild, OutputAndExitStatusComeBack) {
  const TIsolationResult r = RunIsolated({m_cmd, "/c", "echo hello& exit 3"});
  EXPECT_EQ(r.End, TIsolationEnd::Exited);
  EXPECT_EQ(r.ExitCode, 3);
  EXPECT_EQ(r.Output, "hello\r\n");
}

TEST_F(WindowsChild, OutputOneByteOverTheLimitEndsIt) {
  TIsolationLimits limits;
  limits.MaxOutputBytes = 6;  // "hello\r\n" is 7
  EXPECT_EQ(RunIsolated({m_cmd, "/c", "echo hello"}, limits).End, TIsolationEnd::OutputTooLarge);
  limits.MaxOutputBytes = 7;
  EXPECT_EQ(RunIsolated({m_cmd, "/c", "echo hello"}, limits).End, TIsolationEnd::Exited);
}

TEST_F(WindowsChild, AProgramThatCannotRunEndsWith127ARelativeNameIsRefused) {
  TempDir dir;
  EXPECT_EQ(RunIsolated({Backslashed(dir) + "\\missing.exe"}).ExitCode, 127);
  EXPECT_THROW(RunIsolated({"cmd.exe", "/c", "exit"}), EIsolation);
}

}  // namespace
