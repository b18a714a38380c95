// tre-list and tre-extract on archives that the iffc program wrote, run as a user runs
// them (both programs from the build's bin folder).

#include <gtest/gtest.h>
#include <zlib.h>

#include <cinttypes>
#include <cstdio>
#include <filesystem>

#include "support/RunProgram.h"
#include "support/TestSupport.h"
#include "util/Crc32.h"

namespace {

using testsupport::Bytes;
using testsupport::TProgramResult;

class TreCli : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char* name : {"iffc", "tessavor-cli"}) {
      if (!testsupport::ProgramBuilt(name)) GTEST_FAIL() << "build the " << name << " target first";
    }
    for (int i = 0; i < 1000; ++i) input.push_back(static_cast<uint8_t>((i / 10) % 17));
    testsupport::WriteBytes(dir.File("in.bin"), input);
  }

  // Runs `program` in the test's folder, where the archive and its extracts lie.
  TProgramResult Run(const std::string& program, const std::vector<std::string>& args) {
    return testsupport::RunProgram(program, args,
                                   testsupport::TRunOptions().In(dir.Path().string()));
  }

  // Compiles a TRE holding in.bin packed (declared with its unpacked size), a plain LONG
  // block and a name that never gets a block.
  void CompileSample() {
    testsupport::WriteText(
        dir.File("t.txt"),
        "TRE a.tre\n{\nTREFILE data\\in.bin\nTREFILE n.bin\nTREFILE none.bin\n"
        "BLOCK data\\in.bin 1000\n{\nFILE.Z in.bin\n}\nBLOCK n.bin\n{\nLONG 9\n}\n}\n");
    const TProgramResult r = Run("iffc", {"t.txt"});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
  }

  uint32_t PackedSize() const {
    uLongf len = compressBound(input.size());
    Bytes out(len);
    EXPECT_EQ(compress(out.data(), &len, input.data(), input.size()), Z_OK);
    return static_cast<uint32_t>(len);
  }

  static std::string Row(int i, const std::string& name, uint32_t size, uint32_t offset,
                         uint32_t stored) {
    char buf[400];
    std::snprintf(buf, sizeof buf,
                  "%5d  %08" PRIX32 "  %10" PRIu32 "  %10" PRIu32 "  %10" PRIu32 "  %s\n", i,
                  StrCrc32(name), size, offset, stored, name.c_str());
    return buf;
  }

  testsupport::TempDir dir;
  Bytes input;
};

TEST_F(TreCli, ListShowsWhatIffcWrote) {
  CompileSample();
  const uint32_t data = 16 + 3 * 272;
  const uint32_t packed = PackedSize();
  const TProgramResult r = Run("tessavor-cli", {"tre-list", "a.tre"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string expected = "a.tre: 3 entries, " + std::to_string(data + packed + 4) +
                               " bytes\n" +
                               "index  checksum        size      offset      stored  name\n" +
                               Row(0, "data\\in.bin", 1000, data, packed) +
                               Row(1, "n.bin", 4, data + packed, 0) + Row(2, "none.bin", 0, 0, 0);
  EXPECT_EQ(r.out, expected);
}

TEST_F(TreCli, ExtractUnpacksIntoFolders) {
  CompileSample();
  const TProgramResult r = Run("tessavor-cli", {"tre-extract", "a.tre", "out"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testsupport::ReadBytes(dir.File("out/data/in.bin")), input);
  EXPECT_EQ(testsupport::ReadBytes(dir.File("out/n.bin")), (Bytes{9, 0, 0, 0}));
  EXPECT_FALSE(std::filesystem::exists(dir.File("out/none.bin")));
  EXPECT_NE(r.out.find("skipped none.bin"), std::string::npos) << r.out;
  // --raw keeps the packed bytes.
  EXPECT_EQ(Run("tessavor-cli", {"tre-extract", "a.tre", "raw", "--raw"}).status, 0);
  EXPECT_EQ(testsupport::ReadBytes(dir.File("raw/data/in.bin")).size(), PackedSize());
}

TEST_F(TreCli, NamesLeavingTheFolderAreRefused) {
  testsupport::WriteText(
      dir.File("t.txt"),
      "TRE a.tre\n{\nTREFILE ..\\up.bin\nTREFILE ok.bin\nBLOCK ..\\up.bin\n{\nLONG 1\n}\n"
      "BLOCK ok.bin\n{\nLONG 2\n}\n}\n");
  ASSERT_EQ(Run("iffc", {"t.txt"}).status, 0);
  std::filesystem::create_directory(dir.File("out"));
  const TProgramResult r = Run("tessavor-cli", {"tre-extract", "a.tre", "out"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("leaves the target folder"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("up.bin")));
  EXPECT_EQ(testsupport::ReadBytes(dir.File("out/ok.bin")), (Bytes{2, 0, 0, 0}));
}

TEST_F(TreCli, NameCollidingWithAFolderDoesNotStopTheOthers) {
  testsupport::WriteText(dir.File("t.txt"),
                         "TRE a.tre\n{\nTREFILE d\nTREFILE d\\x\nTREFILE e\nBLOCK d\n{\nBYTE 1\n}\n"
                         "BLOCK d\\x\n{\nBYTE 2\n}\nBLOCK e\n{\nBYTE 3\n}\n}\n");
  ASSERT_EQ(Run("iffc", {"t.txt"}).status, 0);
  const TProgramResult r = Run("tessavor-cli", {"tre-extract", "a.tre", "out"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("a.tre: "), std::string::npos) << r.err;
  EXPECT_EQ(testsupport::ReadBytes(dir.File("out/d")), (Bytes{1}));
  EXPECT_EQ(testsupport::ReadBytes(dir.File("out/e")), (Bytes{3}));
}

TEST_F(TreCli, EntryPointingOutsideTheFileIsReported) {
  CompileSample();
  Bytes tre = testsupport::ReadBytes(dir.File("a.tre"));
  // Entry 1's offset field (at 16 + 272 + 8) now points far past the end.
  tre[16 + 272 + 8 + 3] = 0x7F;
  testsupport::WriteBytes(dir.File("a.tre"), tre);
  TProgramResult r = Run("tessavor-cli", {"tre-list", "a.tre"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("entry 1 (at offset 288)"), std::string::npos) << r.err;
  EXPECT_NE(r.out.find("none.bin"), std::string::npos) << "the other entries are still listed";
  r = Run("tessavor-cli", {"tre-extract", "a.tre", "out"});
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(std::filesystem::exists(dir.File("out/data/in.bin")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("out/n.bin")));
}

TEST_F(TreCli, NotAnArchiveFailsWithAMessage) {
  testsupport::WriteText(dir.File("x.tre"), "hello");
  const TProgramResult r = Run("tessavor-cli", {"tre-list", "x.tre"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("fewer than the 16-byte header"), std::string::npos) << r.err;
}

// A link at an entry's own name must not carry the block outside the folder; the link is
// refused and the file it points to stays as it was.
TEST_F(TreCli, LinkAtAnEntrysNameIsNotWrittenThrough) {
  CompileSample();
  std::filesystem::create_directories(dir.File("out"));
  testsupport::WriteBytes(dir.File("victim.txt"), Bytes{'k', 'e', 'e', 'p'});
  std::filesystem::create_symlink(dir.File("victim.txt"), dir.File("out/n.bin"));
  const TProgramResult r = Run("tessavor-cli", {"tre-extract", "a.tre", "out"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("n.bin\": it is a symbolic link"), std::string::npos) << r.err;
  EXPECT_EQ(testsupport::ReadBytes(dir.File("victim.txt")), (Bytes{'k', 'e', 'e', 'p'}));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("out/n.bin")));
  EXPECT_EQ(testsupport::ReadBytes(dir.File("out/data/in.bin")), input);
}

TEST_F(TreCli, DuplicateNamesNeedOverwrite) {
  CompileSample();
  Bytes tre = testsupport::ReadBytes(dir.File("a.tre"));
  // Entry 1 is renamed "data\in.bin" too (names start 16 bytes into each 272-byte entry).
  const std::string same = "data\\in.bin";
  std::copy(same.begin(), same.end(), tre.begin() + 16 + 272 + 16);
  testsupport::WriteBytes(dir.File("a.tre"), tre);
  TProgramResult r = Run("tessavor-cli", {"tre-extract", "a.tre", "out"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("entry 1 \"data\\in.bin\" has the same name as entry 0"), std::string::npos)
      << r.err;
  EXPECT_EQ(testsupport::ReadBytes(dir.File("out/data/in.bin")), input) << "the first stays";
  r = Run("tessavor-cli", {"tre-extract", "a.tre", "out", "--overwrite"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testsupport::ReadBytes(dir.File("out/data/in.bin")), (Bytes{9, 0, 0, 0}));
}

}  // namespace
