// The core bitmap's size caps and pixel-format changes, and ".gct" files end to end.
#include "images/Bitmap.h"
#include "images/Gct.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "support/TestSupport.h"

using testsupport::Bytes;

TEST(Bitmap, SizeBeyondTheCapsIsRefusedAndLeavesTheBitmap) {
  TBitmap b;
  b.SetSize(3, 2);
  EXPECT_THROW(b.SetSize(kMaxBitmapSide + 1, 1), EInvalidGraphic);
  EXPECT_THROW(b.SetSize(-1, 1), EInvalidGraphic);
  EXPECT_THROW(b.SetSize(kMaxBitmapSide, kMaxBitmapSide), EInvalidGraphic);  // 1 GiB at 32 bits
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.PixelBytes(), 18u);
}

TEST(Bitmap, RowsHaveNoPadding) {
  TBitmap b;
  b.SetPixelFormat(24);
  b.SetSize(5, 3);
  EXPECT_EQ(b.RowBytes(), 15u);
  EXPECT_EQ(b.ScanLine(2) - b.ScanLine(0), 30);
  b.SetPixelFormat(8);
  EXPECT_EQ(b.RowBytes(), 5u);
  EXPECT_THROW(b.SetPixelFormat(16), EInvalidGraphic);
}

TEST(Bitmap, EightBitToTrueColourGoesThroughThePalette) {
  TBitmap b;
  b.SetPixelFormat(8);
  b.SetSize(3, 1);
  b.SetPalette({{1, 2, 3, 0}, {4, 5, 6, 0}});
  b.ScanLine(0)[0] = 1;
  b.ScanLine(0)[1] = 0;
  b.ScanLine(0)[2] = 200;  // beyond the palette: black
  b.SetPixelFormat(32);
  EXPECT_EQ(Bytes(b.ScanLine(0), b.ScanLine(0) + 12), (Bytes{6, 5, 4, 0, 3, 2, 1, 0, 0, 0, 0, 0}));
}

TEST(Bitmap, FewColoursBecomeAnExactPalette) {
  TBitmap b;
  b.SetPixelFormat(24);
  b.SetSize(4, 1);
  const Bytes px{9, 8, 7, 1, 2, 3, 9, 8, 7, 0, 0, 0};
  std::copy(px.begin(), px.end(), b.ScanLine(0));
  b.SetPixelFormat(8);
  EXPECT_EQ(b.Palette().size(), 3u);
  for (int x = 0; x < 4; ++x) {
    uint8_t r, g, bl;
    b.GetRgb(x, 0, r, g, bl);
    EXPECT_EQ(r, px[3 * x + 2]);
    EXPECT_EQ(g, px[3 * x + 1]);
    EXPECT_EQ(bl, px[3 * x]);
  }
}

TEST(Bitmap, ManyColoursAreReducedToNearby256) {
  TBitmap b;
  b.SetPixelFormat(24);
  b.SetSize(64, 64);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = static_cast<uint8_t>(x * 4);
      p[1] = static_cast<uint8_t>(y * 4);
      p[2] = static_cast<uint8_t>((x + y) * 2);
    }
  }
  const TBitmap before = b;
  b.SetPixelFormat(8);
  EXPECT_EQ(b.Palette().size(), 256u);
  int worst = 0;
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) {
      uint8_t r0, g0, b0, r1, g1, b1;
      before.GetRgb(x, y, r0, g0, b0);
      b.GetRgb(x, y, r1, g1, b1);
      worst = std::max({worst, std::abs(r0 - r1), std::abs(g0 - g1), std::abs(b0 - b1)});
    }
  }
  EXPECT_LT(worst, 40);
}

class GctFile : public ::testing::TestWithParam<TStreamFormat> {
protected:
  testsupport::TempDir m_dir;
};

TEST_P(GctFile, WrittenFileHasTheHeaderAndDecodesBack) {
  const int w = 33, h = 17;
  Bytes rgb;
  for (int i = 0; i < w * h; ++i) {
    rgb.push_back(static_cast<uint8_t>(i));
    rgb.push_back(static_cast<uint8_t>(i / 7));
    rgb.push_back(200);
  }
  const std::string path = m_dir.File("00000042.gct");
  WriteGctFile(path, w, h, rgb.data(), GetParam());
  const Bytes f = testsupport::ReadBytes(path);
  ASSERT_GE(f.size(), kGctHeaderSize + kStreamHeaderSize);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 8), "CRGB____");
  // Stored transposed: rows of h pixels (the picture's columns), w of them.
  EXPECT_EQ(f[8], h);
  EXPECT_EQ(f[12], w);
  EXPECT_EQ(f[16], 0);

  std::ifstream in(path, std::ios::binary);
  const TGctHeader header = ReadGctHeader(in);
  EXPECT_TRUE(header.MagicValid());
  EXPECT_EQ(header.Width, h);
  EXPECT_EQ(header.Height, w);
  // The viewer's way: a fixed buffer of 202,800 bytes; stored row x is picture column x.
  std::vector<uint8_t> pixels(202800);
  uint32_t count = 0;
  _BlockRead(in, pixels.data(), 202799, count);
  EXPECT_EQ(count, rgb.size());
  for (int x = 0; x < w; ++x) {
    for (int y = 0; y < h; ++y) {
      const auto stored = pixels.begin() + 3 * (x * h + y);
      const auto picture = rgb.begin() + 3 * (y * w + x);
      ASSERT_EQ(Bytes(stored, stored + 3), Bytes(picture, picture + 3)) << x << "," << y;
    }
  }

  // The loader gives the picture back, upright, every pixel with red and blue in place.
  TBitmap b;
  LoadGctFile(path, b);
  ASSERT_EQ(b.Width(), w);
  ASSERT_EQ(b.Height(), h);
  for (int i = 0; i < w * h; ++i) {
    uint8_t r, g, bl;
    b.GetRgb(i % w, i / w, r, g, bl);
    ASSERT_EQ(Bytes({r, g, bl}), Bytes(rgb.begin() + 3 * i, rgb.begin() + 3 * i + 3))
        << "pixel " << i;
  }
}

// A stored file from its bytes: two stored rows of one pixel each are the picture's two
// columns, so the picture is one row high, red left of blue.
TEST(GctLayout, StoredRowsAreThePicturesColumns) {
  testsupport::TempDir dir;
  Bytes f;
  testsupport::PutText(f, "CRGB____");
  testsupport::PutU32(f, 1);  // stored width
  testsupport::PutU32(f, 2);  // stored height
  f.push_back(0);
  const uint8_t stored[6] = {255, 0, 0, 0, 0, 255};
  const Bytes s = EncodeStream(stored, 6, TStreamFormat::Stored);
  f.insert(f.end(), s.begin(), s.end());
  const std::string path = dir.File("a.gct");
  testsupport::WriteBytes(path, f);
  TBitmap b;
  LoadGctFile(path, b);
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 1);
  uint8_t r, g, bl;
  b.GetRgb(0, 0, r, g, bl);
  EXPECT_EQ(Bytes({r, g, bl}), Bytes({255, 0, 0}));
  b.GetRgb(1, 0, r, g, bl);
  EXPECT_EQ(Bytes({r, g, bl}), Bytes({0, 0, 255}));
}

INSTANTIATE_TEST_SUITE_P(Formats, GctFile,
                         ::testing::Values(TStreamFormat::Blocks, TStreamFormat::Stored,
                                           TStreamFormat::Zlib));

TEST(GctHeader, WrongMagicIsReadAllTheSameButRefusedByTheLoader) {
  testsupport::TempDir dir;
  Bytes f;
  testsupport::PutText(f, "CRGB___X");
  testsupport::PutU32(f, 1);
  testsupport::PutU32(f, 1);
  f.push_back(0);
  const uint8_t rgb[3] = {1, 2, 3};
  const Bytes s = EncodeStream(rgb, 3, TStreamFormat::Stored);
  f.insert(f.end(), s.begin(), s.end());
  testsupport::WriteBytes(dir.File("a.gct"), f);
  std::ifstream in(dir.File("a.gct"), std::ios::binary);
  const TGctHeader h = ReadGctHeader(in);
  EXPECT_FALSE(h.MagicValid());
  EXPECT_EQ(h.MagicText(), "CRGB___X");
  TBitmap b;
  EXPECT_THROW(LoadGctFile(dir.File("a.gct"), b), EInvalidGraphic);
}

TEST(GctHeader, ShortFileIsAReadError) {
  std::istringstream in(std::string("CRGB____\1\0\0\0", 12));
  EXPECT_THROW(ReadGctHeader(in), EInOutError);
}

TEST(GctHeader, StreamShorterThanThePictureIsRefused) {
  testsupport::TempDir dir;
  Bytes f;
  testsupport::PutText(f, "CRGB____");
  testsupport::PutU32(f, 2);
  testsupport::PutU32(f, 2);
  f.push_back(0);
  const uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
  const Bytes s = EncodeStream(rgb, 6, TStreamFormat::Blocks);
  f.insert(f.end(), s.begin(), s.end());
  testsupport::WriteBytes(dir.File("s.gct"), f);
  TBitmap b;
  EXPECT_THROW(LoadGctFile(dir.File("s.gct"), b), EComprError);
}

// An unknown stream magic is named as such, before the sizes (which a foreign stream does
// not have) are judged.
TEST(GctHeader, UnknownStreamMagicIsNamedBeforeTheSizes) {
  testsupport::TempDir dir;
  Bytes f;
  testsupport::PutText(f, "CRGB____");
  testsupport::PutU32(f, 1);
  testsupport::PutU32(f, 1);
  f.push_back(0);
  f.insert(f.end(), {0xCC, 0xDE, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3});  // stream size 0
  testsupport::WriteBytes(dir.File("u.gct"), f);
  TBitmap b;
  try {
    LoadGctFile(dir.File("u.gct"), b);
    FAIL() << "loaded";
  } catch (const EComprError& e) {
    EXPECT_NE(std::string(e.what()).find("_BlockRead: Unknown format (CCDE)"), std::string::npos)
        << e.what();
  }
}
