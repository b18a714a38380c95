// The core's BMP codec and its zlib-only PNG writer, which the builds without Qt or libpng
// (Windows) use. Expected bytes are worked out from the formats' layouts by hand.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "ImageFixtures.h"
#include "images/Bmp.h"
#include "images/PngWriter.h"
#include "support/TestSupport.h"

namespace {

using imagefixtures::ErrorMessageOf;

using testsupport::Bytes;

uint32_t U32(const Bytes& b, size_t at) {
  return static_cast<uint32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16)) |
         (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint32_t U32BE(const Bytes& b, size_t at) {
  return (static_cast<uint32_t>(b[at]) << 24) | static_cast<uint32_t>(b[at + 1] << 16) |
         static_cast<uint32_t>(b[at + 2] << 8) | b[at + 3];
}

// 3 x 2, 8 bits: indices 0 1 2 / 2 1 0 over red, green, blue.
TBitmap Indexed() {
  TBitmap b;
  b.SetPixelFormat(8);
  b.SetSize(3, 2);
  b.SetPalette({{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 255, 0}});
  const uint8_t rows[2][3] = {{0, 1, 2}, {2, 1, 0}};
  for (int y = 0; y < 2; ++y) std::copy(rows[y], rows[y] + 3, b.ScanLine(y));
  return b;
}

// 1 x 2, 24 bits: (r 1, g 2, b 3) above (r 4, g 5, b 6).
TBitmap Rgb() {
  TBitmap b;
  b.SetPixelFormat(24);
  b.SetSize(1, 2);
  const uint8_t top[3] = {3, 2, 1}, bottom[3] = {6, 5, 4};  // stored blue, green, red
  std::copy(top, top + 3, b.ScanLine(0));
  std::copy(bottom, bottom + 3, b.ScanLine(1));
  return b;
}

TEST(BmpEncode, IndexedPictureHasItsPaletteAndPaddedRowsBottomUp) {
  const Bytes bmp = EncodeBmp(Indexed());
  // 14 + 40 header bytes, 256 palette entries of 4 bytes, two rows of 3 bytes padded to 4.
  ASSERT_EQ(bmp.size(), 14u + 40u + 1024u + 8u);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[1], 'M');
  EXPECT_EQ(U32(bmp, 2), 1086u);
  EXPECT_EQ(U32(bmp, 10), 1078u);  // pixels after the palette
  EXPECT_EQ(U32(bmp, 14), 40u);
  EXPECT_EQ(U32(bmp, 18), 3u);
  EXPECT_EQ(U32(bmp, 22), 2u);
  EXPECT_EQ(bmp[28], 8);
  EXPECT_EQ(U32(bmp, 30), 0u);
  EXPECT_EQ(U32(bmp, 34), 8u);
  EXPECT_EQ(U32(bmp, 38), 2835u);
  EXPECT_EQ(U32(bmp, 46), 256u);
  // Palette entries blue, green, red, 0; entries past the bitmap's palette are black.
  EXPECT_EQ(Bytes(bmp.begin() + 54, bmp.begin() + 66),
            (Bytes{0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0}));
  EXPECT_EQ(Bytes(bmp.begin() + 66, bmp.begin() + 70), (Bytes{0, 0, 0, 0}));
  // The bottom row first.
  EXPECT_EQ(Bytes(bmp.begin() + 1078, bmp.end()), (Bytes{2, 1, 0, 0, 0, 1, 2, 0}));
}

TEST(BmpEncode, ColourPictureIsTwentyFourBitsBlueFirst) {
  const Bytes bmp = EncodeBmp(Rgb());
  ASSERT_EQ(bmp.size(), 54u + 8u);
  EXPECT_EQ(bmp[28], 24);
  EXPECT_EQ(U32(bmp, 10), 54u);
  EXPECT_EQ(U32(bmp, 46), 0u);
  EXPECT_EQ(Bytes(bmp.begin() + 54, bmp.end()), (Bytes{6, 5, 4, 0, 3, 2, 1, 0}));
}

TEST(BmpEncode, EmptyPictureIsRefused) { EXPECT_THROW(EncodeBmp(TBitmap()), EInvalidGraphic); }

TEST(BmpDecode, ReadsBackWhatWasWritten) {
  for (const TBitmap& original : {Indexed(), Rgb()}) {
    const Bytes bmp = EncodeBmp(original);
    TBitmap back;
    DecodeBmp(bmp.data(), bmp.size(), back, "x.bmp");
    ASSERT_EQ(back.Width(), original.Width());
    ASSERT_EQ(back.Height(), original.Height());
    ASSERT_EQ(back.BitsPerPixel(), original.BitsPerPixel());
    for (int y = 0; y < back.Height(); ++y)
      EXPECT_EQ(Bytes(back.ScanLine(y), back.ScanLine(y) + back.RowBytes()),
                Bytes(original.ScanLine(y), original.ScanLine(y) + original.RowBytes()));
  }
}

TEST(BmpDecode, TopDownThirtyTwoBitRowsKeepTheirOrderAndLoseTheFourthByte) {
  Bytes bmp = EncodeBmp(Rgb());
  // Rewritten by hand as 32 bits per pixel, height -2 (top row first).
  bmp.resize(54);
  bmp[28] = 32;
  const uint32_t minusTwo = 0xFFFFFFFEu;
  for (int i = 0; i < 4; ++i) bmp[22 + i] = static_cast<uint8_t>(minusTwo >> (8 * i));
  bmp.insert(bmp.end(), {3, 2, 1, 99, 6, 5, 4, 99});
  TBitmap back;
  DecodeBmp(bmp.data(), bmp.size(), back, "x.bmp");
  ASSERT_EQ(back.BitsPerPixel(), 24);
  uint8_t r = 0, g = 0, b = 0;
  back.GetRgb(0, 0, r, g, b);
  EXPECT_EQ((Bytes{r, g, b}), (Bytes{1, 2, 3}));
  back.GetRgb(0, 1, r, g, b);
  EXPECT_EQ((Bytes{r, g, b}), (Bytes{4, 5, 6}));
}

struct TBadBmp {
  const char* Name;
  size_t At;       // byte changed (or, with Cut, the size kept)
  uint32_t Value;  // little-endian 32-bit value written at At
  bool Cut;
  const char* Expected;
};

class BmpDecodeRefuses : public ::testing::TestWithParam<TBadBmp> {};

TEST_P(BmpDecodeRefuses, NamesWhatIsWrong) {
  const TBadBmp& bad = GetParam();
  Bytes bmp = EncodeBmp(Indexed());
  if (bad.Cut) {
    bmp.resize(bad.At);
  } else {
    for (int i = 0; i < 4; ++i) bmp[bad.At + i] = static_cast<uint8_t>(bad.Value >> (8 * i));
  }
  TBitmap back;
  const std::string message =
      ErrorMessageOf([&] { DecodeBmp(bmp.data(), bmp.size(), back, "bad.bmp"); });
  EXPECT_NE(message.find("\"bad.bmp\""), std::string::npos) << message;
  EXPECT_NE(message.find(bad.Expected), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BmpDecodeRefuses,
    ::testing::Values(TBadBmp{"PixelsOneByteShort", 1085, 0, true, "go beyond the file"},
                      TBadBmp{"HeadersCut", 53, 0, true, "too short"},
                      TBadBmp{"Compressed", 30, 1, false, "compressed"},
                      TBadBmp{"SixteenBits", 28, 16, false, "16 bits per pixel"},
                      TBadBmp{"TooManyColours", 46, 257, false, "palette of 257"},
                      TBadBmp{"TooWide", 18, kMaxBitmapSide + 1, false, "too large"},
                      TBadBmp{"OldHeader", 14, 12, false, "header size 12"},
                      TBadBmp{"OffsetPastEnd", 10, 0xFFFFFFF0u, false, "go beyond the file"}),
    [](const ::testing::TestParamInfo<TBadBmp>& p) { return std::string(p.param.Name); });

TEST(BmpDecode, PixelsExactlyToTheEndAreEnough) {
  const Bytes bmp = EncodeBmp(Indexed());
  TBitmap back;
  EXPECT_NO_THROW(DecodeBmp(bmp.data(), bmp.size(), back, "x.bmp"));
}

TEST(PngWithZlib, ChunksAreLaidOutWithTheirChecksums) {
  const Bytes png = EncodePngWithZlib(Rgb());
  ASSERT_GE(png.size(), 8u + 25u + 12u + 12u);
  EXPECT_EQ(Bytes(png.begin(), png.begin() + 8),
            (Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}));
  EXPECT_EQ(U32BE(png, 8), 13u);
  EXPECT_EQ(std::string(png.begin() + 12, png.begin() + 16), "IHDR");
  EXPECT_EQ(U32BE(png, 16), 1u);
  EXPECT_EQ(U32BE(png, 20), 2u);
  EXPECT_EQ(Bytes(png.begin() + 24, png.begin() + 29), (Bytes{8, 2, 0, 0, 0}));
  // IEND's checksum is the same in every PNG.
  EXPECT_EQ(Bytes(png.end() - 12, png.end()),
            (Bytes{0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82}));
  // IDAT inflates to the rows, each behind filter type 0, top row first.
  const uint32_t idatSize = U32BE(png, 33);
  EXPECT_EQ(std::string(png.begin() + 37, png.begin() + 41), "IDAT");
  Bytes raw(16);
  uLongf rawSize = raw.size();
  ASSERT_EQ(uncompress(raw.data(), &rawSize, png.data() + 41, idatSize), Z_OK);
  raw.resize(rawSize);
  EXPECT_EQ(raw, (Bytes{0, 1, 2, 3, 0, 4, 5, 6}));
  EXPECT_EQ(U32BE(png, 41 + idatSize),
            static_cast<uint32_t>(crc32(0, png.data() + 37, idatSize + 4)));
}

#if TESSAVOR_HAVE_LIBPNG
TEST(PngWithZlib, LibpngReadsTheSamePixelsAsFromItsOwnEncoder) {
  const TBitmap picture = Indexed();
  const imagefixtures::TPngPixels ours = imagefixtures::DecodePng(EncodePngWithZlib(picture));
  const imagefixtures::TPngPixels theirs = imagefixtures::DecodePng(EncodePng(picture));
  EXPECT_EQ(ours.Width, 3u);
  EXPECT_EQ(ours.Height, 2u);
  EXPECT_EQ(ours.Rgb, theirs.Rgb);
  EXPECT_EQ(ours.Rgb, (Bytes{255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0}));
}
#endif

}  // namespace
