#include "util/Crc32.h"

#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "util/Exception.h"

namespace {

struct CheckValue {
  const char* text;
  uint32_t crc;
};

class Crc32CheckValues : public testing::TestWithParam<CheckValue> {};

TEST_P(Crc32CheckValues, StringAndBufferAgree) {
  const auto& c = GetParam();
  const std::string s = c.text;
  EXPECT_EQ(StrCrc32(s), c.crc);
  EXPECT_EQ(Crc32Buffer(s.data(), static_cast<int64_t>(s.size())), c.crc);
}

INSTANTIATE_TEST_SUITE_P(Table, Crc32CheckValues,
                         testing::Values(CheckValue{"", 0x00000000u},
                                         CheckValue{"abc", 0xCA6598D0u},
                                         CheckValue{"ABC", 0x5CC2DA5Au},
                                         CheckValue{"int", 0xEB1003A3u},
                                         CheckValue{"123456789", 0x2DFD2D88u}));

// The register update written out, one table lookup per byte, as the reference the
// library-based routine must match on arbitrary data.
uint32_t ReferenceCrc(const uint8_t* p, size_t n) {
  uint32_t table[256];
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t x = i;
    for (int k = 0; k < 8; ++k) x = (x & 1) ? (x >> 1) ^ 0xEDB88320u : x >> 1;
    table[i] = x;
  }
  uint32_t reg = 0;
  for (size_t i = 0; i < n; ++i) reg = table[(reg ^ p[i]) & 0xFF] ^ (reg >> 8);
  return reg;
}

TEST(Crc32, MatchesTableUpdateOnRandomData) {
  std::mt19937 rng(7);
  for (size_t n : {1u, 2u, 15u, 64u, 1000u, 65537u}) {
    std::vector<uint8_t> data(n);
    for (auto& b : data) b = static_cast<uint8_t>(rng());
    EXPECT_EQ(Crc32Buffer(data.data(), static_cast<int64_t>(n)), ReferenceCrc(data.data(), n)) << n;
  }
}

TEST(Crc32, CountBelowOneGivesZeroWithoutReading) {
  EXPECT_EQ(Crc32Buffer(nullptr, 0), 0u);
  EXPECT_EQ(Crc32Buffer(nullptr, -5), 0u);
}

TEST(Crc32, UpdateContinuesAcrossPieces) {
  EXPECT_EQ(Crc32Update(Crc32Update(0, "1234", 4), "56789", 5), 0x2DFD2D88u);
}

TEST(Crc32, CaseMatters) { EXPECT_NE(StrCrc32("abc"), StrCrc32("ABC")); }

TEST(Crc32, LongStringsUseTheirFirst255Characters) {
  const std::string longName(300, 'q');
  EXPECT_EQ(StrCrc32(longName), StrCrc32(longName.substr(0, 255)));
}

TEST(Crc32, FileChecksum) {
  testsupport::TempDir dir(false);
  testsupport::WriteText(dir.File("empty"), "");
  testsupport::WriteText(dir.File("digits"), "123456789");
  EXPECT_EQ(FileCrc32(dir.File("empty")), 0u);
  EXPECT_EQ(FileCrc32(dir.File("digits")), 0x2DFD2D88u);
  EXPECT_THROW(FileCrc32(dir.File("missing")), EInOutError);
}

}  // namespace
