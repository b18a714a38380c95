// What the one safe writer and the bounded reader refuse, and the journal of a file set.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "support/TestSupport.h"
#include "util/Exception.h"
#include "util/FileIo.h"
#include "util/FileSet.h"

namespace fs = std::filesystem;
using testsupport::ReadText;
using testsupport::WriteText;

namespace {

class FileSafety : public ::testing::Test {
protected:
  testsupport::TempDir dir;
  size_t Entries() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir.Path()), {}));
  }
  std::string Fifo() const {
    const std::string p = dir.File("pipe");
    EXPECT_EQ(::mkfifo(p.c_str(), 0600), 0);
    return p;
  }
};

TEST_F(FileSafety, AnOutputNamedAfterADeviceFifoOrFolderIsRefusedAndStaysWhatItWas) {
  const std::string fifo = Fifo();
  fs::create_directory(dir.File("sub"));
  for (const std::string& target : {std::string("/dev/null"), fifo, dir.File("sub")}) {
    try {
      WriteFileAtomic(target, "x", 1);
      FAIL() << target << " was replaced";
    } catch (const EInOutError& e) {
      EXPECT_NE(std::string(e.what()).find(target), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("not a regular file"), std::string::npos) << e.what();
    }
  }
  struct stat st {};
  ASSERT_EQ(::stat("/dev/null", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
  EXPECT_TRUE(fs::is_fifo(fifo));
  EXPECT_EQ(Entries(), 2u);  // no temporary file left beside them
}

TEST_F(FileSafety, ASymbolicLinkIsFollowedAndStays) {
  WriteText(dir.File("real.bin"), "old");
  fs::create_symlink("real.bin", dir.File("link.bin"));
  WriteFileAtomic(dir.File("link.bin"), "new", 3);
  EXPECT_TRUE(fs::is_symlink(dir.File("link.bin")));
  EXPECT_EQ(ReadText(dir.File("real.bin")), "new");
}

TEST_F(FileSafety, AReplacedFileKeepsItsPermissionsAndAReadOnlyOneIsRefused) {
  const std::string priv = dir.File("private.bin");
  WriteText(priv, "old");
  ::chmod(priv.c_str(), 0600);
  WriteFileAtomic(priv, "new", 3);
  struct stat st {};
  ASSERT_EQ(::stat(priv.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  if (::geteuid() == 0) GTEST_SKIP() << "root may write anything";
  ::chmod(priv.c_str(), 0444);
  EXPECT_THROW(WriteFileAtomic(priv, "newer", 5), EInOutError);
  EXPECT_EQ(ReadText(priv), "new");
}

TEST_F(FileSafety, ATemporaryNameFitsTheNameLimit) {
  for (size_t len : {244u, 250u, 255u}) {
    const std::string path = dir.File(std::string(len, 'n'));
    WriteFileAtomic(path, "abc", 3);
    WriteFileAtomic(path, "abcd", 4);  // replacing, too
    EXPECT_EQ(ReadText(path), "abcd");
  }
  EXPECT_EQ(Entries(), 3u);
}

TEST_F(FileSafety, ReadingAFifoOrADeviceIsRefusedAtOnce) {
  const std::string fifo = Fifo();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(ReadWholeFile(fifo), EInOutError);  // a blocking open would never return
  EXPECT_THROW(ReadWholeFile("/dev/zero"), EInOutError);
  EXPECT_THROW(TInputFile(dir.Path().string()), EInOutError);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(FileSafety, AWholeFileReadStopsAtItsCapWithAMessageSayingSo) {
  WriteText(dir.File("big.txt"), std::string(11, 'x'));
  EXPECT_EQ(ReadWholeFile(dir.File("big.txt"), 11).size(), 11u);
  try {
    ReadWholeFile(dir.File("big.txt"), 10);
    FAIL() << "no exception";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("too large: 11 bytes, at most 10"), std::string::npos)
        << e.what();
  }
}

// ---- File sets -------------------------------------------------------------------------

// Temporary-name endings as the writer makes them.
const std::string kSuffixA = MakeTempSuffix(), kSuffixB = MakeTempSuffix(),
                  kSuffixC = MakeTempSuffix(), kSuffixD = MakeTempSuffix();

int g_renamesLeft = 0;
int FailingRename(const char* from, const char* to) {
  if (g_renamesLeft-- <= 0) {
    errno = EIO;
    return -1;
  }
  return std::rename(from, to);
}

class FileSetTest : public FileSafety {
protected:
  std::vector<TFileSetItem> Items(const std::string& text) const {
    m_text = text;
    return {{dir.File("a.kvt"), m_text.data(), m_text.size()},
            {dir.File("b.kvt"), m_text.data(), m_text.size()},
            {dir.File("c.kvt"), m_text.data(), m_text.size()}};
  }
  std::string Folder() const { return dir.Path().string(); }
  mutable std::string m_text;
};

TEST_F(FileSetTest, ARenameFailingHalfWayPutsTheRenamedFilesBack) {
  WriteFileSet(Folder(), "set.journal", Items("old"));
  g_renamesLeft = 2;
  SetFileSetRenameForTests(FailingRename);
  EXPECT_THROW(WriteFileSet(Folder(), "set.journal", Items("new")), EInOutError);
  SetFileSetRenameForTests(nullptr);
  for (const char* name : {"a.kvt", "b.kvt", "c.kvt"})
    EXPECT_EQ(ReadText(dir.File(name)), "old") << name;
  EXPECT_EQ(Entries(), 3u);  // no temporary file, link or journal left
}

TEST_F(FileSetTest, AJournalLeftByAKilledRunIsCompletedAndStraysAreRemoved) {
  WriteFileSet(Folder(), "set.journal", Items("old"));
  // The state of a run killed after its journal and its first rename: a.kvt is new, the
  // temporary files of b and c are complete.
  WriteText(dir.File("a.kvt"), "new");
  WriteText(dir.File("b.kvt.tmp-" + kSuffixA), "new");
  WriteText(dir.File("c.kvt.tmp-" + kSuffixB), "new");
  WriteText(dir.File("set.journal"),
            dir.File("a.kvt") + "\t" + dir.File("a.kvt.tmp-" + kSuffixC) + "\t-\n" +
                dir.File("b.kvt") + "\t" + dir.File("b.kvt.tmp-" + kSuffixA) + "\t-\n" +
                dir.File("c.kvt") + "\t" + dir.File("c.kvt.tmp-" + kSuffixB) + "\t-\n");
  EXPECT_TRUE(RecoverFileSet(Folder(), "set.journal"));
  for (const char* name : {"a.kvt", "b.kvt", "c.kvt"})
    EXPECT_EQ(ReadText(dir.File(name)), "new") << name;
  EXPECT_EQ(Entries(), 3u);

  // A run killed before its journal leaves strays only; the next save removes them.
  WriteText(dir.File("a.kvt.tmp-" + kSuffixD), "half");
  WriteText(dir.File("b.kvt.old-" + kSuffixD), "new");
  WriteText(dir.File("other.tmp-" + kSuffixD), "not ours");
  WriteFileSet(Folder(), "set.journal", Items("newer"));
  EXPECT_EQ(ReadText(dir.File("c.kvt")), "newer");
  EXPECT_EQ(Entries(), 4u);
}

TEST_F(FileSetTest, AJournalNamingFilesElsewhereIsNotFollowed) {
  WriteText(dir.File("victim"), "keep");
  WriteText(dir.File("x.tmp-" + kSuffixA), "evil");
  WriteText(dir.File("set.journal"),
            dir.File("victim") + "\t" + dir.File("x.tmp-" + kSuffixA) + "\t-\n");
  EXPECT_TRUE(RecoverFileSet(Folder(), "set.journal"));
  EXPECT_EQ(ReadText(dir.File("victim")), "keep");
  EXPECT_FALSE(fs::exists(dir.File("set.journal")));
}

}  // namespace
