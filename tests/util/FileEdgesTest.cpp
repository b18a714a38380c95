// The edges of file safety: only our own temporary names are swept, never a live writer's
// file nor a user's; private temporary folders and files of killed processes go with the
// next one made; a home the user cannot write still reads; names are escaped in messages.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <set>
#include <thread>

#include "support/TestSupport.h"
#include "util/Exception.h"
#include "util/FileIo.h"
#include "util/FileSet.h"
#include "util/HomeLock.h"
#include "util/StrTools.h"

namespace fs = std::filesystem;
using testsupport::ReadText;
using testsupport::WriteText;

namespace {

// ---- Temporary names -------------------------------------------------------------------

TEST(TempNames, OnlyNamesWeMadePassAsOurs) {
  const std::string made = MakeTempSuffix();
  ASSERT_EQ(made.size(), kTempSuffixChars);
  EXPECT_TRUE(IsTempSuffix(made));
  std::string changed = made;
  changed[3] = changed[3] == 'a' ? 'b' : 'a';  // one random character changed
  EXPECT_FALSE(IsTempSuffix(changed));
  EXPECT_FALSE(IsTempSuffix(made.substr(0, 9)));
  EXPECT_FALSE(IsTempSuffix(made + "x"));
  EXPECT_FALSE(IsTempSuffix("backup"));
  EXPECT_FALSE(IsTempSuffix("backup1234"));
}

// A user's files with names like our temporary files' stay; one of ours nobody holds goes.
TEST(TempNames, AUsersLookAlikeFilesAreNeverSwept) {
  testsupport::TempDir dir;
  const std::string stale = dir.File("house.glb.tmp-" + MakeTempSuffix());
  for (const std::string& name :
       {std::string("house.glb.tmp-backup"), std::string("house.glb.tmp-backup1234"),
        std::string("vert.kvt.tmp-backup"), std::string("vert.kvt.old-backup1234")})
    WriteText(dir.File(name), "the user's");
  WriteText(stale, "left by a killed export");
  WriteFileAtomic(dir.File("house.glb"), "glb", 3);
  const std::string data = "records";
  WriteFileSet(dir.Path().string(), "set.journal", {{dir.File("vert.kvt"), data.data(), 7}});
  EXPECT_FALSE(fs::exists(stale));
  for (const char* name : {"house.glb.tmp-backup", "house.glb.tmp-backup1234",
                           "vert.kvt.tmp-backup", "vert.kvt.old-backup1234"})
    EXPECT_EQ(ReadText(dir.File(name)), "the user's") << name;
}

// Writers of one target in parallel (two exports to one place): the sweep of each never
// removes the file another is writing, so every write succeeds.
TEST(TempNames, WritersOfOneTargetAtOnceAllSucceed) {
  testsupport::TempDir dir;
  const std::string target = dir.File("00001001.png");
  std::atomic<int> failures{0};
  std::string first;
  const auto writer = [&] {
    for (int i = 0; i < 400; ++i) {
      try {
        WriteFileAtomic(target, "picture", 7, TFileSync::Replace);
      } catch (const EInOutError& e) {
        if (failures++ == 0) first = e.what();
      }
    }
  };
  std::thread a(writer), b(writer), c(writer);
  a.join();
  b.join();
  c.join();
  EXPECT_EQ(failures.load(), 0) << first;
  EXPECT_EQ(ReadText(target), "picture");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), {}), 1);
}

// ---- Private temporary folders and files -------------------------------------------------

class PrivateTemps : public ::testing::Test {
protected:
  void SetUp() override { setenv("TMPDIR", tmp.Path().c_str(), 1); }
  void TearDown() override {
    if (had)
      setenv("TMPDIR", old.c_str(), 1);
    else
      unsetenv("TMPDIR");
  }
  // The names under the temporary folder.
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(tmp.Path()))
      names.insert(e.path().filename().string());
    return names;
  }
  // What a killed process leaves: made in a child that ends without cleaning up.
  void LeaveFromAKilledProcess() {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      auto* folder = new TPrivateTemp(TPrivateTemp::TKind::Folder, "export");
      WriteText(folder->Path() + "/scene.bin", "scene");
      [[maybe_unused]] auto* picture =
          new TPrivateTemp(TPrivateTemp::TKind::File, "picture", ".png");
      ::_exit(0);  // no destructor runs, as after SIGKILL
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
  }
  testsupport::TempDir tmp{false};
  const char* oldTmp = std::getenv("TMPDIR");
  bool had = oldTmp != nullptr;
  std::string old = oldTmp ? oldTmp : "";
};

TEST_F(PrivateTemps, WhatAKilledProcessLeftGoesWithTheNextButALiveOnesStay) {
  const TPrivateTemp live(TPrivateTemp::TKind::Folder, "export");
  WriteText(live.Path() + "/scene.bin", "in use");
  LeaveFromAKilledProcess();
  EXPECT_EQ(Names().size(), 3u);
  WriteText(tmp.File("tessavor-export-notours"), "a name of someone else");
  {
    const TPrivateTemp next(TPrivateTemp::TKind::File, "picture", ".png");
    // The live folder, the new file, the stranger's.
    EXPECT_EQ(Names(), (std::set<std::string>{fs::path(live.Path()).filename().string(),
                                              fs::path(next.Path()).filename().string(),
                                              "tessavor-export-notours"}));
  }
  EXPECT_EQ(ReadText(live.Path() + "/scene.bin"), "in use");
  EXPECT_EQ(Names(), (std::set<std::string>{fs::path(live.Path()).filename().string(),
                                            "tessavor-export-notours"}));
}

// ---- The home lock -----------------------------------------------------------------------

TEST(HomeLockEdges, ALinkAtTheLockFileIsNamedAsALink) {
  testsupport::TempDir home;
  fs::create_symlink(home.File("elsewhere"), home.File(kHomeLockFile));
  for (THomeAccess access : {THomeAccess::Write, THomeAccess::Read}) {
    try {
      const THomeLock lock(access, 0.0);
      ADD_FAILURE() << "locked through a link";
    } catch (const EInOutError& e) {
      EXPECT_NE(std::string(e.what()).find("it is a symbolic link"), std::string::npos) << e.what();
    }
  }
  EXPECT_FALSE(fs::exists(home.File("elsewhere")));
}

// A home the user may not write (here: another user's, the user being "nobody"): a reader
// takes a shared lock on the lock file there, or none when it has none; a writer is refused.
TEST(HomeLockEdges, AHomeTheUserCannotWriteIsReadOnlyForAReaderAndRefusedToAWriter) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to become another user";
  testsupport::TempDir home;
  { const THomeLock made; }  // the lock file exists, owned by root
  for (bool withLockFile : {true, false}) {
    if (!withLockFile) fs::remove(home.File(kHomeLockFile));
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (::setuid(65534) != 0) ::_exit(10);
      int code = 0;
      try {
        const THomeLock reader(THomeAccess::Read, 0.0);
        if (!reader.ReadOnly()) code = 11;
      } catch (const Exception&) {
        code = 12;
      }
      try {
        const THomeLock writer(THomeAccess::Write, 0.0);
        code = 13;
      } catch (const EInOutError&) {}
      ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "with lock file " << withLockFile;
  }
}

// ---- Escaping ------------------------------------------------------------------------------

struct TEscapeCase {
  const char* Name;
  std::string In, Out;
};

class Escaping : public ::testing::TestWithParam<TEscapeCase> {};

TEST_P(Escaping, ControlsAndBrokenBytesBecomeHexAndTextStays) {
  EXPECT_EQ(QuoteForMessage(GetParam().In), GetParam().Out);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Escaping,
    ::testing::Values(
        TEscapeCase{"Plain", "house.glb", "house.glb"},
        TEscapeCase{"EscBellNewline", "a\x1b[2J\a\nb", "a\\x1B[2J\\x07\\x0Ab"},
        TEscapeCase{"Delete", "a\x7f", "a\\x7F"},
        // U+0085 and U+009B in UTF-8; U+00A0 is the first character past the C1 controls.
        TEscapeCase{"C1Controls", "\xc2\x85x\xc2\x9b\xc2\xa0", "\\xC2\\x85x\\xC2\\x9B\xc2\xa0"},
        TEscapeCase{"RawC1Byte",
                    "a\x9b"
                    "b",
                    "a\\x9Bb"},
        TEscapeCase{"Utf8Stays", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80",
                    "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"},
        TEscapeCase{"Overlong", "\xc0\xaf", "\\xC0\\xAF"},
        TEscapeCase{"Surrogate", "\xed\xa0\x80", "\\xED\\xA0\\x80"},
        TEscapeCase{"CutCharacter", "a\xe2\x82", "a\\xE2\\x82"}),
    [](const ::testing::TestParamInfo<TEscapeCase>& p) { return p.param.Name; });

TEST(EscapingLimits, TextIsCutAtItsLimitNeverInsideACharacter) {
  EXPECT_EQ(QuoteForMessage(std::string(200, 'x')), std::string(200, 'x'));
  EXPECT_EQ(QuoteForMessage(std::string(201, 'x')), std::string(200, 'x') + "...");
  // A two-byte character across the limit is left out whole.
  EXPECT_EQ(QuoteForMessage(std::string(199, 'x') + "\xc3\xa9"), std::string(199, 'x') + "...");
}

TEST(EscapingLimits, ALongFileNameKeepsItsStartAndItsEnd) {
  const std::string exact = "/" + std::string(kMaxQuotedPathChars - 1, 'd');
  EXPECT_EQ(QuotePathForMessage(exact), exact);
  const std::string path = "/" + std::string(10000, 'd') + "/house\n.glb";
  const std::string shown = QuotePathForMessage(path);
  EXPECT_LE(shown.size(), kMaxQuotedPathChars + 8);  // the escapes of the end's one newline
  EXPECT_EQ(shown.substr(0, 2), "/d");
  EXPECT_TRUE(shown.ends_with("/house\\x0A.glb")) << shown.substr(shown.size() - 20);
  EXPECT_NE(shown.find("..."), std::string::npos);
}

TEST(EscapingLimits, AMessagesOwnLinesStayAndEveryOtherControlIsEscaped) {
  EXPECT_EQ(PrintableLines("first \x1b]0;x\a\nsecond"), "first \\x1B]0;x\\x07\nsecond");
  EXPECT_EQ(PrintableLines(std::string(300, 'y')), std::string(300, 'y'));
}

}  // namespace
