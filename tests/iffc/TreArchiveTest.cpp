// The TRE directory reader on archives built byte by byte here: well-formed ones, every
// truncation of one, and hostile headers and entries.

#include "iffc/TreArchive.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "support/PeakMemory.h"
#include "support/TestSupport.h"
#include "util/Crc32.h"

using namespace testsupport;

namespace {

void PutEntry(Bytes& b, const std::string& name, uint32_t size, uint32_t offset, uint32_t stored) {
  PutU32(b, StrCrc32(name));
  PutU32(b, size);
  PutU32(b, offset);
  PutU32(b, stored);
  Bytes field(kTreNameSize, 0);
  std::copy(name.begin(), name.end(), field.begin());
  b.insert(b.end(), field.begin(), field.end());
}

Bytes Packed(const Bytes& plain) {
  uLongf len = compressBound(plain.size());
  Bytes out(len);
  EXPECT_EQ(compress(out.data(), &len, plain.data(), plain.size()), Z_OK);
  out.resize(len);
  return out;
}

// Three entries: "plain.bin" (5 bytes), "packed.bin" (1000 bytes of a repeating pattern
// stored zlib-packed) and "never.bin", declared but never written.
struct TSample {
  Bytes file;
  Bytes plain{1, 2, 3, 4, 5};
  Bytes big;
  Bytes packed;
  TSample() {
    for (int i = 0; i < 1000; ++i) big.push_back(static_cast<uint8_t>(i % 7));
    packed = Packed(big);
    const uint32_t data = 16 + 3 * 272;
    PutU32(file, 3);
    PutU32(file, 1);
    PutU32(file, 0);
    PutU32(file, 0);
    PutEntry(file, "plain.bin", 5, data, 0);
    PutEntry(file, "packed.bin", 1000, data + 5, static_cast<uint32_t>(packed.size()));
    PutEntry(file, "never.bin", 0, 0, 0);
    file.insert(file.end(), plain.begin(), plain.end());
    file.insert(file.end(), packed.begin(), packed.end());
  }
};

class TreArchiveFile : public ::testing::Test {
protected:
  TempDir dir;
  TSample sample;
  std::string Write(const Bytes& b) {
    const std::string p = dir.File("a.tre");
    WriteBytes(p, b);
    return p;
  }
};

TEST_F(TreArchiveFile, ReadsHeaderDirectoryAndBlocks) {
  const TTreArchive a(Write(sample.file));
  const TTreDirectory& d = a.Directory();
  EXPECT_EQ(d.Count, 3u);
  EXPECT_EQ(d.Version, 1u);
  ASSERT_EQ(d.Entries.size(), 3u);
  EXPECT_EQ(d.Entries[0].Name, "plain.bin");
  EXPECT_EQ(d.Entries[0].Crc, StrCrc32("plain.bin"));
  EXPECT_EQ(d.Entries[0].Offset, 16u + 3 * 272);
  EXPECT_TRUE(d.Entries[0].Problem.empty());
  EXPECT_FALSE(d.Entries[0].IsPacked());
  EXPECT_TRUE(d.Entries[1].IsPacked());
  EXPECT_TRUE(d.Entries[2].NeverWritten());
  EXPECT_EQ(a.ReadBlock(0), sample.plain);
  EXPECT_EQ(a.ReadStored(1), sample.packed);
  EXPECT_EQ(a.ReadBlock(1), sample.big);
  EXPECT_TRUE(a.ReadBlock(2).empty());
  EXPECT_THROW(a.ReadBlock(3), ETreArchive);
}

TEST_F(TreArchiveFile, ArchiveWithoutClosingCountHasNoEntries) {
  // A script whose TRE brace never closed leaves 0 in the count: the entries written
  // after the header are not part of the directory.
  Bytes b = sample.file;
  b[0] = 0;
  const TTreArchive a(Write(b));
  EXPECT_EQ(a.Directory().Count, 0u);
  EXPECT_TRUE(a.Directory().Entries.empty());
}

// Every prefix of a valid archive either fails cleanly with ETreArchive or marks the
// entries whose blocks were cut off; no prefix leads to a read past the end.
TEST_F(TreArchiveFile, EveryTruncationFailsCleanly) {
  const size_t dirEnd = 16 + 3 * 272;
  for (size_t len = 0; len < sample.file.size(); ++len) {
    const Bytes cut(sample.file.begin(), sample.file.begin() + static_cast<long>(len));
    const std::string p = Write(cut);
    if (len < dirEnd) {
      EXPECT_THROW(TTreArchive{p}, ETreArchive) << "length " << len;
      continue;
    }
    const TTreArchive a(p);
    const auto& e = a.Directory().Entries;
    EXPECT_EQ(e[0].Problem.empty(), len >= dirEnd + 5) << "length " << len;
    EXPECT_FALSE(e[1].Problem.empty()) << "length " << len;
    EXPECT_TRUE(e[2].Problem.empty());
    EXPECT_THROW(a.ReadBlock(1), ETreArchive);
  }
}

TEST_F(TreArchiveFile, MissingFileIsAnInOutError) {
  EXPECT_THROW(TTreArchive{dir.File("none.tre")}, EInOutError);
}

TEST(TreDirectory, HugeCountIsRefusedBeforeReading) {
  Bytes b;
  PutU32(b, 0xFFFFFFFFu);
  PutU32(b, 1);
  PutU32(b, 0);
  PutU32(b, 0);
  try {
    ParseTreDirectory(b, b.size(), "x.tre");
    FAIL() << "no error";
  } catch (const ETreArchive& e) {
    EXPECT_NE(std::string(e.what()).find("4294967295 directory entries"), std::string::npos)
        << e.what();
  }
}

TEST(TreDirectory, WrongVersionWordIsNotAnArchive) {
  Bytes b;
  PutU32(b, 0);
  PutU32(b, 2);
  PutU32(b, 0);
  PutU32(b, 0);
  EXPECT_THROW(ParseTreDirectory(b, b.size(), "x.tre"), ETreArchive);
}

struct TBadEntry {
  const char* label;
  uint32_t size, offset, stored;
  uint32_t fileTail;  // bytes after the directory
};

class TreBadEntry : public ::testing::TestWithParam<TBadEntry> {};

TEST_P(TreBadEntry, IsReportedNotFollowed) {
  const TBadEntry& c = GetParam();
  Bytes b;
  PutU32(b, 1);
  PutU32(b, 1);
  PutU32(b, 0);
  PutU32(b, 0);
  PutEntry(b, "x", c.size, c.offset, c.stored);
  b.resize(b.size() + c.fileTail, 0xAA);
  const TTreDirectory d = ParseTreDirectory(b, b.size(), "x.tre");
  ASSERT_EQ(d.Entries.size(), 1u);
  EXPECT_FALSE(d.Entries[0].Problem.empty());
}

INSTANTIATE_TEST_SUITE_P(Entries, TreBadEntry,
                         ::testing::Values(TBadEntry{"PastEnd", 10, 288, 0, 5},
                                           TBadEntry{"OffsetPastEnd", 0, 5000, 0, 5},
                                           TBadEntry{"OffsetPlusSizeWraps", 0x20, 0xFFFFFFF0u, 0,
                                                     5},
                                           TBadEntry{"StoredSizePastEnd", 4, 288, 100, 8},
                                           TBadEntry{"OverlapsDirectory", 4, 20, 0, 8}),
                         [](const auto& p) { return std::string(p.param.label); });

TEST(TreDirectory, UnterminatedNameIsReported) {
  Bytes b;
  PutU32(b, 1);
  PutU32(b, 1);
  PutU32(b, 0);
  PutU32(b, 0);
  PutU32(b, 0);
  PutU32(b, 0);
  PutU32(b, 0);
  PutU32(b, 0);
  b.resize(b.size() + kTreNameSize, 'n');
  const TTreDirectory d = ParseTreDirectory(b, b.size(), "x.tre");
  EXPECT_EQ(d.Entries[0].Name.size(), kTreNameSize);
  EXPECT_FALSE(d.Entries[0].Problem.empty());
}

TEST(TreUnpack, RefusesImpossibleRatioAndGarbage) {
  TTreDirEntry e;
  e.Name = "x";
  e.Size = 0x7FFFFFFF;
  e.StoredSize = 3;
  const Bytes three{1, 2, 3};
  EXPECT_THROW(UnpackTreBlock(e, three), ETreArchive);
  e.Size = 100;
  EXPECT_THROW(UnpackTreBlock(e, three), ETreArchive);
  // A real stream whose unpacked length differs from the entry's size.
  const Bytes ten(10, 7);
  const Bytes packed = Packed(ten);
  e.Size = 11;
  EXPECT_THROW(UnpackTreBlock(e, packed), ETreArchive);
  e.Size = 10;
  EXPECT_EQ(UnpackTreBlock(e, packed), ten);
}

class TreSafeName : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(TreSafeName, MapsSeparators) {
  EXPECT_EQ(SafeTreRelativePath(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Good, TreSafeName,
                         ::testing::Values(std::make_pair("a.bin", "a.bin"),
                                           std::make_pair("tex\\wall.mat", "tex/wall.mat"),
                                           std::make_pair("x/y/..z", "x/y/..z")));

class TreUnsafeName : public ::testing::TestWithParam<std::string> {};

TEST_P(TreUnsafeName, IsRefused) {
  EXPECT_THROW(SafeTreRelativePath(GetParam()), ETreArchive) << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Bad, TreUnsafeName,
                         ::testing::Values("", "../x", "a/../../x", "..\\x", "/etc/x", "\\x",
                                           "C:\\x", "c:x", "a//b", "a/./b", "a/", "..",
                                           std::string("a\nb")));

}  // namespace

namespace {

// A hundred entries over one block: each would write the block again.
TEST(TreBomb, EntriesOverlappingABlockBeforeThemAreRefused) {
  Bytes b;
  const uint32_t count = 100;
  PutU32(b, count);
  PutU32(b, 1);
  PutU32(b, 0);
  PutU32(b, 0);
  const uint32_t data = kTreHeaderSize + count * kTreEntrySize;
  for (uint32_t i = 0; i < count; ++i)
    PutEntry(b, "e" + std::to_string(i), 64, data + (i == 1 ? 32 : 0), 0);
  b.resize(data + 96, 0x55);
  const TTreDirectory d = ParseTreDirectory(b, b.size(), "bomb.tre");
  EXPECT_TRUE(d.Entries[0].Problem.empty()) << d.Entries[0].Problem;
  for (uint32_t i = 1; i < count; ++i) {
    EXPECT_NE(d.Entries[i].Problem.find("overlaps the block of entry 0"), std::string::npos)
        << i << d.Entries[i].Problem;
  }
}

TEST(TreBomb, UnpackingStopsPastTheEntrysSizeAndFollowsTheData) {
  TTreDirEntry e;
  e.Name = "x";
  const Bytes plain(1000, 9);
  const Bytes packed = Packed(plain);
  e.Size = 100;  // the data unpacks to ten times that
  size_t delivered = 0;
  EXPECT_THROW(UnpackTreBlockTo(e, packed, [&](const uint8_t*, size_t n) { delivered += n; }),
               ETreArchive);
  EXPECT_LE(delivered, 100u);

  // Four MiB of stored data claiming four GiB: the claim passes the ratio bound, but the
  // output grows only with the bytes that really come.
  std::mt19937 random(7);
  Bytes noise(4u << 20);
  for (uint8_t& v : noise) v = static_cast<uint8_t>(random());
  const Bytes stored = Packed(noise);
  e.Size = 0xFFFFFFF0u;
  const uint64_t before = PeakMemoryBytes();
  EXPECT_THROW(UnpackTreBlock(e, stored), ETreArchive);
  EXPECT_LT(PeakMemoryBytes() - before, kFewMegabytes);
}

}  // namespace
