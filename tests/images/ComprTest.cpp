// The compressed texture stream: the reader on hand-made streams (every example byte
// sequence below is written out from the layout, not taken from the encoder), its answers
// to damaged input, and encode-then-decode round trips.
#include "images/Compr.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <sstream>
#include <string>

#include "support/TestSupport.h"

using testsupport::Bytes;
using testsupport::PutU32;

namespace {

// Header of the stream: magic bytes, compressed size, uncompressed size, blocked byte.
Bytes Header(uint8_t m0, uint8_t m1, uint32_t packed, uint32_t size, uint8_t blocked) {
  Bytes b{m0, m1};
  PutU32(b, packed);
  PutU32(b, size);
  b.push_back(blocked);
  return b;
}

Bytes BlockStream(uint32_t size, const Bytes& block) {
  Bytes b = Header(0xCC, 0xCC, 0, size, 1);
  PutU32(b, static_cast<uint32_t>(block.size()));
  b.insert(b.end(), block.begin(), block.end());
  return b;
}

struct TDecoded {
  Bytes Data;
  uint32_t Count = 0;
  std::streampos End;
};

TDecoded Decode(const Bytes& stream, size_t capacity = 1 << 20) {
  std::istringstream file(std::string(stream.begin(), stream.end()));
  TDecoded d;
  d.Data.assign(capacity, 0xEE);
  _BlockRead(file, d.Data.data(), static_cast<int64_t>(capacity) - 1, d.Count);
  file.clear();
  d.End = file.tellg();
  return d;
}

std::string Text(const Bytes& data, size_t n) {
  return std::string(data.begin(), data.begin() + n);
}

std::string ErrorOf(const Bytes& stream, size_t capacity = 1 << 20) {
  try {
    Decode(stream, capacity);
  } catch (const EComprError& e) {
    return e.what();
  }
  return "(no EComprError)";
}

}  // namespace

// ---- the block format's items, from the layout's own examples ----

TEST(BlockFormat, StoredBlockYieldsItsBytes) {
  const TDecoded d = Decode(BlockStream(4, {0x80, 'a', 'b', 'c', 'd'}));
  EXPECT_EQ(d.Count, 4u);
  EXPECT_EQ(Text(d.Data, 4), "abcd");
  EXPECT_EQ(d.Data[4], 0xEE) << "nothing written past the stream's size";
}

TEST(BlockFormat, LiteralThenOverlappingCopyGivesFiveAs) {
  // flag 00, control 0x4000 (bits 0 then 1), literal 'A', copy D = 1, count 1 + 3.
  const TDecoded d = Decode(BlockStream(5, {0x00, 0x40, 0x00, 0x41, 0x00, 0x11}));
  EXPECT_EQ(d.Count, 5u);
  EXPECT_EQ(Text(d.Data, 5), "AAAAA");
}

TEST(BlockFormat, ShortRunGivesSixteenBytes) {
  // control 0x8000: one run item 00 00 00 58 = 0 + 16 copies of 'X'.
  const TDecoded d = Decode(BlockStream(16, {0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x58}));
  EXPECT_EQ(Text(d.Data, 16), std::string(16, 'X'));
}

TEST(BlockFormat, LongRunGives274Bytes) {
  // 00 01 02 58: (1 * 256 + 2) + 16 = 274 copies of 'X'.
  const TDecoded d = Decode(BlockStream(274, {0x00, 0x80, 0x00, 0x00, 0x01, 0x02, 0x58}));
  EXPECT_EQ(Text(d.Data, 274), std::string(274, 'X'));
  EXPECT_EQ(d.Data[274], 0xEE);
}

TEST(BlockFormat, LongestRunIs4111Bytes) {
  const TDecoded d = Decode(BlockStream(4111, {0x00, 0x80, 0x00, 0x00, 0x0F, 0xFF, 0x07}));
  EXPECT_EQ(Text(d.Data, 4111), std::string(4111, '\x07'));
}

TEST(BlockFormat, SeventeenthItemReadsTheNextControlWord) {
  // 16 literals under control 0x0000, then control 0x8000 and a copy of 3 from D = 16.
  Bytes block{0x00, 0x00, 0x00};
  for (int i = 0; i < 16; ++i) block.push_back(static_cast<uint8_t>('a' + i));
  block.insert(block.end(), {0x80, 0x00, 0x01, 0x00});
  const TDecoded d = Decode(BlockStream(19, block));
  EXPECT_EQ(Text(d.Data, 19), "abcdefghijklmnopabc");
}

TEST(BlockFormat, CopyReachesIntoTheBlockBefore) {
  Bytes s = Header(0xCC, 0xCC, 0, 7, 1);
  PutU32(s, 5);
  s.insert(s.end(), {0x80, 'w', 'x', 'y', 'z'});
  PutU32(s, 5);
  s.insert(s.end(), {0x00, 0x80, 0x00, 0x00, 0x40});  // D = 4, count 3
  EXPECT_EQ(Text(Decode(s).Data, 7), "wxyzwxy");
}

TEST(BlockFormat, StoredStreamCutShortReportsTheBytesRead) {
  Bytes s = Header(0xCC, 0xCC, 0, 12, 0);
  for (int i = 0; i < 10; ++i) s.push_back(static_cast<uint8_t>(i));
  const TDecoded d = Decode(s);
  EXPECT_EQ(d.Count, 10u);
  EXPECT_EQ(d.Data[9], 9);
}

TEST(BlockFormat, FileStandsBehindTheStream) {
  Bytes s = BlockStream(4, {0x80, 1, 2, 3, 4});
  const std::streamoff streamLength = static_cast<std::streamoff>(s.size());
  s.insert(s.end(), {9, 9, 9});
  EXPECT_EQ(static_cast<std::streamoff>(Decode(s).End), streamLength);
}

// ---- overlapping back references: the pattern-repeating copy ----

// A back reference of every short distance and every count, decoded from the pattern's
// own literals (or, with `split`, from a stored block before it), then either followed by
// a run, so that the decoder has room to copy in whole words, or ending the output, where
// it must copy exactly. The expectation repeats the last `distance` bytes one at a time,
// as the format defines.
struct TOverlapCase {
  int Distance;
  bool Split;
  bool AtEnd;
};

class OverlappingCopy : public testing::TestWithParam<TOverlapCase> {};

TEST_P(OverlappingCopy, RepeatsTheLastDistanceBytes) {
  const auto [distance, split, atEnd] = GetParam();
  for (int count = 3; count <= 18; ++count) {
    Bytes expected;
    for (int i = 0; i < distance; ++i) expected.push_back(static_cast<uint8_t>('a' + i));
    Bytes items;  // the second block's items after its flag byte
    unsigned control = 0;
    int itemCount = 0;
    if (!split) {
      items = expected;
      itemCount = distance;
    }
    // The match: D = distance, count - 3 in the low nibble.
    control |= 0x8000u >> itemCount++;
    items.push_back(static_cast<uint8_t>(distance >> 4));
    items.push_back(static_cast<uint8_t>(((distance & 15) << 4) | (count - 3)));
    for (int i = 0; i < count; ++i)
      expected.push_back(expected[expected.size() - static_cast<size_t>(distance)]);
    if (!atEnd) {  // a run of 40 'Z' behind it
      control |= 0x8000u >> itemCount++;
      items.insert(items.end(), {0x00, 0x00, 24, 'Z'});
      expected.insert(expected.end(), 40, 'Z');
    }
    ASSERT_LE(itemCount, 16);
    Bytes block{0x00, static_cast<uint8_t>(control >> 8), static_cast<uint8_t>(control)};
    block.insert(block.end(), items.begin(), items.end());
    Bytes s = Header(0xCC, 0xCC, 0, static_cast<uint32_t>(expected.size()), 1);
    if (split) {
      PutU32(s, static_cast<uint32_t>(distance + 1));
      s.push_back(0x80);
      s.insert(s.end(), expected.begin(), expected.begin() + distance);
    }
    PutU32(s, static_cast<uint32_t>(block.size()));
    s.insert(s.end(), block.begin(), block.end());
    const TDecoded d = Decode(s, expected.size() + (atEnd ? 0 : 64));
    EXPECT_EQ(Bytes(d.Data.begin(), d.Data.begin() + static_cast<std::ptrdiff_t>(expected.size())),
              expected)
        << "distance " << distance << ", count " << count;
    if (!atEnd) {
      EXPECT_EQ(d.Data[expected.size()], 0xEE) << "nothing written past the stream";
    }
  }
}

std::vector<TOverlapCase> OverlapCases() {
  std::vector<TOverlapCase> cases;
  for (int distance : {1, 2, 3, 4, 5, 7, 8, 9, 13}) {
    for (bool split : {false, true}) {
      for (bool atEnd : {false, true}) cases.push_back({distance, split, atEnd});
    }
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Distances, OverlappingCopy, testing::ValuesIn(OverlapCases()));

// Random valid block streams, written item by item with the output each item stands for
// worked out one byte at a time beside it: chains of short-distance matches (the decoder
// carries their pattern in a register), runs that leave little room in the middle of a
// control word, and blocks of every length, so that decoding switches between its checked
// and its unchecked items, and matches reach across block ends.
class RandomItems : public testing::TestWithParam<uint32_t> {
protected:
  std::mt19937 m_rng{GetParam()};
  Bytes m_expected;
  Bytes m_stream;
  Bytes m_items;  // the current block's items
  std::vector<bool> m_bits;

  size_t Pick(size_t lo, size_t hi) { return std::uniform_int_distribution<size_t>(lo, hi)(m_rng); }
  void Literal() {
    m_bits.push_back(false);
    m_items.push_back(static_cast<uint8_t>(m_rng()));
    m_expected.push_back(m_items.back());
  }
  void Copy(size_t distance, size_t count) {
    m_bits.push_back(true);
    m_items.push_back(static_cast<uint8_t>(distance >> 4));
    m_items.push_back(static_cast<uint8_t>(((distance & 15) << 4) | (count - 3)));
    for (size_t i = 0; i < count; ++i)
      m_expected.push_back(m_expected[m_expected.size() - distance]);
  }
  void Run(size_t count) {
    m_bits.push_back(true);
    const uint8_t v = static_cast<uint8_t>(m_rng());
    m_items.insert(m_items.end(), {0, static_cast<uint8_t>((count - 16) >> 8),
                                   static_cast<uint8_t>(count - 16), v});
    m_expected.insert(m_expected.end(), count, v);
  }
  // The block of the items so far: each control word before the items it governs.
  void EndBlock() {
    Bytes block{0x00};
    size_t at = 0;
    for (size_t first = 0; first < m_bits.size(); first += 16) {
      unsigned control = 0;
      for (size_t k = first; k < std::min(first + 16, m_bits.size()); ++k)
        control |= m_bits[k] ? 0x8000u >> (k - first) : 0;
      block.insert(block.end(),
                   {static_cast<uint8_t>(control >> 8), static_cast<uint8_t>(control)});
      for (size_t k = first; k < std::min(first + 16, m_bits.size()); ++k) {
        const size_t n = !m_bits[k] ? 1 : m_items[at] == 0 && (m_items[at + 1] >> 4) == 0 ? 4 : 2;
        block.insert(block.end(), m_items.begin() + static_cast<long>(at),
                     m_items.begin() + static_cast<long>(at + n));
        at += n;
      }
    }
    PutU32(m_stream, static_cast<uint32_t>(block.size()));
    m_stream.insert(m_stream.end(), block.begin(), block.end());
    m_items.clear();
    m_bits.clear();
  }
};

TEST_P(RandomItems, DecodeAsIfOneByteAtATime) {
  for (int i = 0; i < 8; ++i) Literal();
  size_t lastDistance = 1;
  for (int block = 0; block < 40; ++block) {
    const size_t items = Pick(1, 300);
    for (size_t i = 0; i < items; ++i) {
      const size_t kind = Pick(0, 99);
      if (kind < 15) {
        Literal();
      } else if (kind < 20) {
        Run(Pick(0, 9) == 0 ? Pick(16, 4111) : Pick(16, 40));
      } else {
        if (kind < 50)
          lastDistance =
              kind < 35 ? Pick(1, 8) : Pick(1, std::min<size_t>(m_expected.size(), 4095));
        Copy(lastDistance, Pick(3, 18));
      }
    }
    EndBlock();
  }
  // A run that leaves little room in the middle of a control word, short matches behind it
  // up to the very end of the output.
  for (int i = 0; i < 40; ++i) Literal();
  for (int i = 0; i < 6; ++i) Copy(Pick(1, 7), Pick(3, 18));
  Run(300);
  for (int i = 0; i < 9; ++i) Copy(Pick(1, 9), Pick(3, 18));
  EndBlock();
  Bytes s = Header(0xCC, 0xCC, 0, static_cast<uint32_t>(m_expected.size()), 1);
  s.insert(s.end(), m_stream.begin(), m_stream.end());
  const TDecoded d = Decode(s, m_expected.size());
  EXPECT_EQ(d.Data, m_expected);
}

// Photographs are mostly literals between short matches: stretches of 1 to 16 literals (the
// decoder copies a stretch at once) at every place in a control word, and blocks that end
// with a stretch, so that the last literals lie right at the block's end.
TEST_P(RandomItems, LiteralStretchesDecodeAsIfOneByteAtATime) {
  for (int i = 0; i < 8; ++i) Literal();
  for (int block = 0; block < 40; ++block) {
    const size_t stretches = Pick(1, 40);
    for (size_t i = 0; i < stretches; ++i) {
      Copy(Pick(1, std::min<size_t>(m_expected.size(), 4095)), Pick(3, 18));
      const size_t literals = Pick(1, 16);
      for (size_t k = 0; k < literals; ++k) Literal();
    }
    EndBlock();
  }
  Bytes s = Header(0xCC, 0xCC, 0, static_cast<uint32_t>(m_expected.size()), 1);
  s.insert(s.end(), m_stream.begin(), m_stream.end());
  const TDecoded d = Decode(s, m_expected.size());
  EXPECT_EQ(d.Data, m_expected);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomItems, testing::Range<uint32_t>(1, 25));

// ---- the zlib format and the magic ----

// zlib's own compress call on `data`, behind a zlib-format header; `damage` flips the last
// byte (the Adler-32 trailer).
Bytes ZlibStream(const Bytes& data, bool damage = false) {
  uLongf packedSize = compressBound(static_cast<uLong>(data.size()));
  Bytes packed(packedSize);
  EXPECT_EQ(compress(packed.data(), &packedSize, data.data(), static_cast<uLong>(data.size())),
            Z_OK);
  packed.resize(packedSize);
  if (damage) packed.back() ^= 0xFF;
  Bytes s =
      Header(0xCC, 0xDD, static_cast<uint32_t>(packedSize), static_cast<uint32_t>(data.size()), 0);
  s.insert(s.end(), packed.begin(), packed.end());
  return s;
}

TEST(ZlibFormat, ThreePixelsGiveNineBytes) {
  const Bytes rgb{10, 20, 30, 40, 50, 60, 70, 80, 90};
  const Bytes s = ZlibStream(rgb);
  const TDecoded d = Decode(s);
  EXPECT_EQ(d.Count, 9u);
  EXPECT_EQ(Bytes(d.Data.begin(), d.Data.begin() + 9), rgb);
  EXPECT_EQ(static_cast<size_t>(d.End), s.size());
}

TEST(ZlibFormat, DamagedDataIsReported) {
  EXPECT_NE(
      ErrorOf(ZlibStream({1, 2, 3, 4, 5, 6, 7, 8, 9}, true)).find("_BlockRead: Damaged zlib data"),
      std::string::npos);
}

TEST(ZlibFormat, DataLongerThanTheHeaderSaysIsRefused) {
  Bytes s = ZlibStream({1, 2, 3, 4, 5, 6});
  s[6] = 4;  // uncompressed size 4, the data holds 6
  EXPECT_NE(ErrorOf(s).find("Damaged zlib data"), std::string::npos);
}

TEST(ZlibFormat, DataShorterThanTheHeaderSaysReportsWhatCame) {
  Bytes s = ZlibStream({1, 2, 3, 4, 5});
  s[6] = 9;  // uncompressed size 9, the data holds 5
  EXPECT_EQ(Decode(s).Count, 5u);
}

TEST(ZlibFormat, BytesAfterTheZlibDataBelongToTheStream) {
  // A compressed size beyond what zlib could need for the data: the stream is read to
  // its end and the padding ignored, as before.
  const Bytes rgb{1, 2, 3, 4, 5, 6};
  Bytes s = ZlibStream(rgb);
  const uint32_t packed = static_cast<uint32_t>(s.size() - 11) + 100000;
  s[2] = static_cast<uint8_t>(packed);
  s[3] = static_cast<uint8_t>(packed >> 8);
  s[4] = static_cast<uint8_t>(packed >> 16);
  s.insert(s.end(), 100000, 0x77);
  const TDecoded d = Decode(s);
  EXPECT_EQ(Bytes(d.Data.begin(), d.Data.begin() + 6), rgb);
  EXPECT_EQ(static_cast<size_t>(d.End), s.size());
}

TEST(ZlibFormat, ShortFileRaisesTheReadError) {
  Bytes s = Header(0xCC, 0xDD, 1000000, 9, 0);
  s.insert(s.end(), 20, 0x55);
  EXPECT_THROW(Decode(s), EInOutError);
}

TEST(StreamMagic, UnknownMagicNamesItsBytesInHex) {
  EXPECT_EQ(ErrorOf(Header(0xCC, 0xDE, 0, 0, 0)), "_BlockRead: Unknown format (CCDE)");
  EXPECT_EQ(ErrorOf(Header(0x12, 0x34, 0, 0, 0)), "_BlockRead: Unknown format (1234)");
}

TEST(StreamMagic, HeaderCutShortRaisesTheReadError) {
  const Bytes s = Header(0xCC, 0xCC, 0, 0, 0);
  for (size_t n = 0; n < s.size(); ++n) {
    EXPECT_THROW(Decode(Bytes(s.begin(), s.begin() + static_cast<long>(n))), EInOutError) << n;
  }
}

// ---- damaged block streams: each is refused before anything lands outside its place ----

TEST(BlockDamage, StreamLargerThanTheDestinationIsRefused) {
  EXPECT_NE(
      ErrorOf(BlockStream(16, {0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x58}), 15).find("does not fit"),
      std::string::npos);
  EXPECT_EQ(Decode(BlockStream(16, {0x00, 0x80, 0x00, 0x00, 0x00, 0x00, 0x58}), 16).Count, 16u);
}

TEST(BlockDamage, BlockLengthAbove32768IsRefused) {
  Bytes s = Header(0xCC, 0xCC, 0, 4, 1);
  PutU32(s, 32769);
  s.insert(s.end(), 32769, 0x80);
  EXPECT_NE(ErrorOf(s).find("has the length 32769"), std::string::npos);
}

TEST(BlockDamage, BackReferenceBeforeTheStartIsRefused) {
  // literal 'A', then a copy from D = 2 with only 1 byte produced.
  EXPECT_NE(ErrorOf(BlockStream(5, {0x00, 0x40, 0x00, 0x41, 0x00, 0x21})).find("before the start"),
            std::string::npos);
}

TEST(BlockDamage, OutputBeyondTheUncompressedSizeIsRefused) {
  EXPECT_NE(ErrorOf(BlockStream(4, {0x00, 0x40, 0x00, 0x41, 0x00, 0x11})).find("beyond"),
            std::string::npos);
  EXPECT_NE(ErrorOf(BlockStream(3, {0x80, 1, 2, 3, 4})).find("beyond"), std::string::npos);
  EXPECT_NE(ErrorOf(BlockStream(273, {0x00, 0x80, 0x00, 0x00, 0x01, 0x02, 0x58})).find("beyond"),
            std::string::npos);
}

TEST(BlockDamage, ItemCutOffByTheBlockEndIsRefused) {
  EXPECT_NE(ErrorOf(BlockStream(5, {0x00, 0x40, 0x00, 0x41, 0x00})).find("cut off"),
            std::string::npos);
  EXPECT_NE(ErrorOf(BlockStream(16, {0x00, 0x80, 0x00, 0x00, 0x00, 0x00})).find("cut off"),
            std::string::npos);
  EXPECT_NE(ErrorOf(BlockStream(5, {0x00, 0x40})).find("cut off"), std::string::npos);
}

TEST(BlockDamage, EmptyBlockIsRefused) {
  EXPECT_NE(ErrorOf(BlockStream(5, {})).find("decodes to no data"), std::string::npos);
  EXPECT_NE(ErrorOf(BlockStream(5, {0x80})).find("decodes to no data"), std::string::npos);
}

TEST(BlockDamage, MissingBlockRaisesTheReadError) {
  EXPECT_THROW(Decode(Header(0xCC, 0xCC, 0, 5, 1)), EInOutError);
}

// ---- encoder round trips ----

Bytes RandomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& v : b) v = static_cast<uint8_t>(rng());
  return b;
}

// A 256 x 256 RGB texture of the kind the viewer shows: gradients, stripes and a little noise.
Bytes Texture(size_t side) {
  std::mt19937 rng(7);
  Bytes b;
  for (size_t y = 0; y < side; ++y) {
    for (size_t x = 0; x < side; ++x) {
      const bool stripe = ((x / 16) + (y / 16)) % 2 == 0;
      b.push_back(static_cast<uint8_t>(stripe ? 200 : x));
      b.push_back(static_cast<uint8_t>(stripe ? 60 : y));
      b.push_back(static_cast<uint8_t>(((x ^ y) & 0xF0) | (rng() & 3)));
    }
  }
  return b;
}

struct TRoundTripCase {
  const char* Name;
  Bytes Data;
};

class RoundTrip : public ::testing::TestWithParam<std::tuple<TStreamFormat, int>> {
public:
  static std::vector<TRoundTripCase> Cases() {
    Bytes ramp;
    for (int i = 0; i < 300000; ++i) ramp.push_back(static_cast<uint8_t>(i / 1000));
    Bytes pattern;
    for (int i = 0; i < 50000; ++i) pattern.push_back(static_cast<uint8_t>("abcabcabd"[i % 9]));
    return {{"empty", {}},
            {"one", {42}},
            {"three", {1, 2, 3}},
            {"random", RandomBytes(100000, 1)},
            {"flat", Bytes(256 * 256 * 3, 0x7F)},
            {"ramp", ramp},
            {"pattern", pattern},
            {"texture", Texture(256)}};
  }
};

TEST_P(RoundTrip, DecodesToTheInputExactly) {
  const auto [format, index] = GetParam();
  const TRoundTripCase c = Cases()[static_cast<size_t>(index)];
  const Bytes stream = EncodeStream(c.Data.data(), c.Data.size(), format);
  const TDecoded d = Decode(stream, c.Data.size() + 1);
  EXPECT_EQ(d.Count, c.Data.size()) << c.Name;
  EXPECT_EQ(Bytes(d.Data.begin(), d.Data.begin() + static_cast<long>(c.Data.size())), c.Data)
      << c.Name;
  EXPECT_EQ(static_cast<size_t>(d.End), stream.size()) << c.Name;
}

INSTANTIATE_TEST_SUITE_P(AllFormats, RoundTrip,
                         ::testing::Combine(::testing::Values(TStreamFormat::Blocks,
                                                              TStreamFormat::Stored,
                                                              TStreamFormat::Zlib),
                                            ::testing::Range(0, 8)));

TEST(BlockEncoder, CompressesRepetitiveDataAndKeepsBlocksWithinLimits) {
  const Bytes flat(1 << 20, 0x11);
  const Bytes s = EncodeStream(flat.data(), flat.size(), TStreamFormat::Blocks);
  EXPECT_LT(s.size(), 2000u);
  // Walk the blocks: every length within 32,768.
  size_t pos = kStreamHeaderSize, blocks = 0;
  while (pos < s.size()) {
    const uint32_t len =
        s[pos] | (s[pos + 1] << 8) | (s[pos + 2] << 16) | (static_cast<uint32_t>(s[pos + 3]) << 24);
    EXPECT_LE(len, kMaxBlockLength);
    pos += 4 + len;
    ++blocks;
  }
  EXPECT_EQ(pos, s.size());
  EXPECT_GE(blocks, (flat.size() + kMaxBlockOutput - 1) / kMaxBlockOutput);
  const Bytes texture = Texture(256);
  // A noisy texture: the LZ77 search must come within reach of deflate.
  const size_t packedSize =
      EncodeStream(texture.data(), texture.size(), TStreamFormat::Blocks).size();
  const size_t deflated = EncodeStream(texture.data(), texture.size(), TStreamFormat::Zlib).size();
  EXPECT_LT(packedSize, deflated * 13 / 10);
  EXPECT_LT(packedSize, texture.size() * 3 / 4);
}

TEST(BlockEncoder, RandomDataCostsLittleMoreThanStored) {
  const Bytes r = RandomBytes(200000, 3);
  const Bytes s = EncodeStream(r.data(), r.size(), TStreamFormat::Blocks);
  EXPECT_LT(s.size(), r.size() + r.size() / 100);
}

// Every proper prefix of a valid blocked stream fails; none decodes silently.
class BlockTruncation : public ::testing::TestWithParam<size_t> {};

TEST_P(BlockTruncation, EveryPrefixFails) {
  static const Bytes data = [] {
    Bytes b = Texture(16);
    b.insert(b.end(), 300, 0x33);
    return b;
  }();
  static const Bytes stream = EncodeStream(data.data(), data.size(), TStreamFormat::Blocks);
  const size_t cut = GetParam() * stream.size() / 200;
  if (cut >= stream.size()) GTEST_SKIP();
  const Bytes prefix(stream.begin(), stream.begin() + static_cast<long>(cut));
  bool failed = false;
  try {
    Decode(prefix, data.size());
  } catch (const EComprError&) {
    failed = true;
  } catch (const EInOutError&) {
    failed = true;
  }
  EXPECT_TRUE(failed) << "prefix of " << cut << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Prefixes, BlockTruncation, ::testing::Range<size_t>(0, 200));
