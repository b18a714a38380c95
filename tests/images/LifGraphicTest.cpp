// LIF pictures: the saved layout byte by byte, loading with and without a palette, and the
// answers to offsets and sizes that do not fit the file.
#include "images/LifGraphic.h"

#include <gtest/gtest.h>

#include "ImageFixtures.h"
#include "support/TestSupport.h"

using testsupport::Bytes;
using testsupport::PutU32;

namespace {

uint32_t U32At(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

TLifGraphic TwoByTwo() {
  TLifGraphic lif;
  lif.SetPixelFormat(8);
  lif.SetSize(2, 2);
  lif.SetPalette({{10, 20, 30, 99}, {40, 50, 60, 0}, {70, 80, 90, 0}});
  lif.ScanLine(0)[0] = 0;
  lif.ScanLine(0)[1] = 1;
  lif.ScanLine(1)[0] = 2;
  lif.ScanLine(1)[1] = 1;
  return lif;
}

Bytes Save(TLifGraphic lif) {
  TMemoryStream s;
  lif.SaveLifStream(s);
  return s.Data();
}

// A header as the layout describes it.
Bytes Header(int32_t width, int32_t height, uint32_t dataOffset, uint32_t paletteOffset) {
  Bytes b{'B', 'r', 'e', 'n', 'z', ' ', '7', 0};
  PutU32(b, 260);
  PutU32(b, 50);
  PutU32(b, static_cast<uint32_t>(width));
  PutU32(b, static_cast<uint32_t>(height));
  PutU32(b, 1);
  PutU32(b, 2);
  PutU32(b, dataOffset);
  PutU32(b, paletteOffset);
  PutU32(b, 0);
  PutU32(b, 0);
  return b;
}

TLifGraphic Load(const Bytes& bytes) {
  TMemoryStream s(bytes.data(), bytes.size());
  TLifGraphic lif;
  lif.LoadLifStream(s);
  return lif;
}

std::string ErrorOf(const Bytes& bytes) {
  return imagefixtures::ErrorMessageOf([&] { Load(bytes); });
}

}  // namespace

TEST(LifSave, TwoByTwoPictureIs1076Bytes) {
  const Bytes f = Save(TwoByTwo());
  ASSERT_EQ(f.size(), 1076u);
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 8), (Bytes{'B', 'r', 'e', 'n', 'z', ' ', '7', 0}));
  EXPECT_EQ(U32At(f, 8), 260u);
  EXPECT_EQ(U32At(f, 12), 50u);
  EXPECT_EQ(U32At(f, 16), 2u);
  EXPECT_EQ(U32At(f, 20), 2u);
  EXPECT_LE(U32At(f, 24), 2147483646u);
  EXPECT_LE(U32At(f, 28), 2147483646u);
  EXPECT_EQ(U32At(f, 32), 1072u);
  EXPECT_EQ(U32At(f, 36), 48u);
  EXPECT_EQ(U32At(f, 40), 0u);
  EXPECT_EQ(U32At(f, 44), 0u);
  // Palette entries red, green, blue, 0; the entries the picture lacks are zero.
  EXPECT_EQ(Bytes(f.begin() + 48, f.begin() + 60),
            (Bytes{10, 20, 30, 0, 40, 50, 60, 0, 70, 80, 90, 0}));
  EXPECT_EQ(Bytes(f.begin() + 60, f.begin() + 1072), Bytes(1012, 0));
  EXPECT_EQ(Bytes(f.begin() + 1072, f.end()), (Bytes{0, 1, 2, 1}));
}

TEST(LifSave, TwoSavesDifferOnlyInTheCheckValues) {
  const Bytes a = Save(TwoByTwo());
  const Bytes b = Save(TwoByTwo());
  ASSERT_EQ(a.size(), b.size());
  EXPECT_EQ(Bytes(a.begin(), a.begin() + 24), Bytes(b.begin(), b.begin() + 24));
  EXPECT_EQ(Bytes(a.begin() + 32, a.end()), Bytes(b.begin() + 32, b.end()));
  EXPECT_NE(Bytes(a.begin() + 24, a.begin() + 32), Bytes(b.begin() + 24, b.begin() + 32));
}

TEST(LifSave, HeaderIsRewrittenWhereItBegan) {
  TMemoryStream s;
  const Bytes prefix{1, 2, 3, 4, 5};
  s.Write(prefix.data(), 5);
  TLifGraphic lif = TwoByTwo();
  lif.SaveLifStream(s);
  const Bytes& f = s.Data();
  ASSERT_EQ(f.size(), 1081u);
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 5), prefix);
  EXPECT_EQ(U32At(f, 5 + 32), 1077u);
  EXPECT_EQ(U32At(f, 5 + 36), 53u);
  EXPECT_EQ(s.Position(), 1081);
  s.Seek(5);
  TLifGraphic back;
  back.LoadLifStream(s);
  EXPECT_EQ(back.ScanLine(1)[0], 2);
}

TEST(LifSave, TrueColourPictureBecomes8Bit) {
  TLifGraphic lif;
  lif.SetPixelFormat(32);
  lif.SetSize(2, 1);
  const uint8_t px[8] = {1, 2, 3, 0, 4, 5, 6, 0};
  std::copy(px, px + 8, lif.ScanLine(0));
  const Bytes f = Save(lif);
  const TLifGraphic back = Load(f);
  EXPECT_EQ(back.BitsPerPixel(), 8);
  uint8_t r, g, b;
  back.GetRgb(1, 0, r, g, b);
  EXPECT_EQ((std::array<int, 3>{r, g, b}), (std::array<int, 3>{6, 5, 4}));
}

TEST(LifLoad, RoundTripKeepsPixelsAndPalette) {
  const TLifGraphic back = Load(Save(TwoByTwo()));
  EXPECT_EQ(back.BitsPerPixel(), 8);
  ASSERT_EQ(back.Palette().size(), 256u);
  EXPECT_EQ(back.Palette()[1], (TPaletteEntry{40, 50, 60, 0}));
  EXPECT_EQ(back.Palette()[0].Flags, 0) << "the fourth byte is not kept";
  EXPECT_EQ(back.ScanLine(0)[1], 1);
  EXPECT_EQ(back.ScanLine(1)[0], 2);
}

TEST(LifLoad, NoPaletteGivesA32BitPicture) {
  Bytes f = Header(2, 1, 60, 0);
  f.resize(60, 0xAA);
  f.insert(f.end(), {1, 2, 3, 4, 5, 6, 7, 8});
  const TLifGraphic lif = Load(f);
  EXPECT_EQ(lif.BitsPerPixel(), 32);
  EXPECT_EQ(Bytes(lif.ScanLine(0), lif.ScanLine(0) + 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(LifLoad, PaletteOutsideTheFileIsRefused) {
  Bytes f = Header(1, 1, 48, 100);
  f.resize(600, 0);
  EXPECT_NE(ErrorOf(f).find("the palette of 1024 bytes at offset 100 lies outside"),
            std::string::npos)
      << ErrorOf(f);
  Bytes g = Header(1, 1, 48, 0xFFFFFFFF);
  g.push_back(0);
  EXPECT_NE(ErrorOf(g).find("lies outside"), std::string::npos);
}

TEST(LifLoad, PixelsOutsideTheFileAreRefused) {
  Bytes f = Header(4, 4, 48, 0);
  f.resize(48 + 63, 0);  // one byte short of 4 x 4 x 4
  EXPECT_NE(ErrorOf(f).find("the pixel data of 64 bytes at offset 48 lies outside"),
            std::string::npos);
  Bytes g = Header(1, 1, 0xFFFFFFF0, 0);
  EXPECT_NE(ErrorOf(g).find("lies outside"), std::string::npos);
}

TEST(LifLoad, SizesOutsideTheCapsAreRefused) {
  EXPECT_NE(ErrorOf(Header(-1, 1, 48, 0)).find("out of range"), std::string::npos);
  EXPECT_NE(ErrorOf(Header(100000, 100000, 48, 0)).find("out of range"), std::string::npos);
  // Sides within the cap whose pixels pass the byte cap are the bitmap's refusal too, not
  // a matter of the file's bytes.
  EXPECT_NE(ErrorOf(Header(kMaxBitmapSide, kMaxBitmapSide, 48, 0)).find("out of range"),
            std::string::npos);
}

// The one size check every decoder and the bitmap share, at each of its edges.
TEST(BitmapSize, FitsUpToEachCapAndNotOnePast) {
  constexpr int64_t side = kMaxBitmapSide;
  constexpr int64_t rowsAtByteCap = static_cast<int64_t>(kMaxBitmapBytes / 4 / side);
  EXPECT_TRUE(BitmapSizeFits(0, 0));
  EXPECT_TRUE(BitmapSizeFits(side, 1));
  EXPECT_TRUE(BitmapSizeFits(1, side));
  EXPECT_FALSE(BitmapSizeFits(side + 1, 1));
  EXPECT_FALSE(BitmapSizeFits(1, side + 1));
  EXPECT_FALSE(BitmapSizeFits(-1, 1));
  EXPECT_FALSE(BitmapSizeFits(1, -1));
  EXPECT_TRUE(BitmapSizeFits(side, rowsAtByteCap));
  EXPECT_FALSE(BitmapSizeFits(side, rowsAtByteCap + 1));
  EXPECT_EQ(BitmapSizeRefusal(-1, 5), "Bitmap size -1 x 5 is out of range (at most " +
                                          std::to_string(side) + " pixels a side)");
  TBitmap bitmap;
  EXPECT_NO_THROW(bitmap.SetSize(side, 1));
  EXPECT_THROW(bitmap.SetSize(side, static_cast<int>(rowsAtByteCap + 1)), EInvalidGraphic);
  EXPECT_EQ(bitmap.Width(), side);  // unchanged by the refusal
}

TEST(LifLoad, ShortHeaderIsAReadError) { EXPECT_THROW(Load(Bytes(47, 0)), EInOutError); }

class LifTruncation : public ::testing::TestWithParam<int> {};

TEST_P(LifTruncation, EveryPrefixFails) {
  static const Bytes full = Save(TwoByTwo());
  const size_t cut = static_cast<size_t>(GetParam()) * full.size() / 300;
  EXPECT_THROW(Load(Bytes(full.begin(), full.begin() + static_cast<long>(cut))), Exception) << cut;
}

INSTANTIATE_TEST_SUITE_P(Prefixes, LifTruncation, ::testing::Range(0, 300));
