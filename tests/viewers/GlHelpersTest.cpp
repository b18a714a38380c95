// The GL helpers that compute without a context: the palette of palette displays, the
// transposed float texels of a picture texture, the light's defaults, material file names.
#include <gtest/gtest.h>

#include <QImage>

#include "viewers/GlLight.h"
#include "viewers/GlPalette.h"
#include "viewers/GlTexture.h"
#include "viewers/ModelViewer.h"

namespace {

// A classic 8-bit display: 3 bits red at bit 0, 3 bits green at bit 3, 2 bits blue at bit 6.
TPixelFormatDescription Format332() {
  TPixelFormatDescription f;
  f.Flags = kPfdNeedPalette | kPfdSupportOpenGl;
  f.ColorBits = 8;
  f.RedBits = 3;
  f.RedShift = 0;
  f.GreenBits = 3;
  f.GreenShift = 3;
  f.BlueBits = 2;
  f.BlueShift = 6;
  return f;
}

TEST(GlPalette, RequestIsTheViewersPixelFormat) {
  const TPixelFormatRequest r;
  EXPECT_EQ(r.Size, 40);
  EXPECT_EQ(r.Version, 1);
  EXPECT_EQ(r.Flags, 0x25u);
  EXPECT_EQ(r.ColorBits, 24);
  EXPECT_EQ(r.DepthBits, 32);
  EXPECT_EQ(r.PixelType, 0);
}

TEST(GlPalette, NoPaletteWithoutTheNeedPaletteFlag) {
  TPixelFormatDescription f = Format332();
  f.Flags = kPfdSupportOpenGl;
  EXPECT_TRUE(ComputeGlPalette(f).empty());
}

TEST(GlPalette, EightColourBitsGive256EntriesSpreadOverEachChannel) {
  const auto palette = ComputeGlPalette(Format332());
  ASSERT_EQ(palette.size(), 256u);
  EXPECT_EQ(palette[0], (TGlPaletteEntry{0, 0, 0, 0}));
  EXPECT_EQ(palette[255], (TGlPaletteEntry{255, 255, 255, 0}));
  // 5 = red 5 of 7: 5 * 255 / 7 = 182 (integer division).
  EXPECT_EQ(palette[5], (TGlPaletteEntry{182, 0, 0, 0}));
  // 0x98 = binary 10 011 000: blue 2 of 3 (170), green 3 of 7 (109), red 0.
  EXPECT_EQ(palette[0x98], (TGlPaletteEntry{0, 109, 170, 0}));
}

TEST(GlPalette, FewerColourBitsGiveFewerEntries) {
  TPixelFormatDescription f = Format332();
  f.ColorBits = 4;
  EXPECT_EQ(ComputeGlPalette(f).size(), 16u);
}

TEST(GlPalette, AChannelWithoutBitsIsZeroInsteadOfADivisionByZero) {
  TPixelFormatDescription f = Format332();
  f.BlueBits = 0;
  const auto palette = ComputeGlPalette(f);
  ASSERT_EQ(palette.size(), 256u);
  for (const auto& e : palette) EXPECT_EQ(e.Blue, 0);
  EXPECT_EQ(palette[7].Red, 255);
}

class GlTextureTexels : public ::testing::Test {
protected:
  static constexpr float kInvalidRed = -1.0f / 255.0f;
  TGlTexture texture{nullptr};
};

TEST_F(GlTextureTexels, CreateSetsRepeatAndNearestAndZeroTexels) {
  EXPECT_TRUE(texture.RepeatS());
  EXPECT_TRUE(texture.RepeatT());
  EXPECT_FALSE(texture.LinearMin());
  EXPECT_FALSE(texture.LinearMag());
  for (int i : {0, 1000, TGlTexture::kTexelCount - 1}) {
    for (int c = 0; c < 4; ++c) EXPECT_EQ(texture.Texel(i)[c], 0.0f);
  }
}

TEST_F(GlTextureTexels, APixelBecomesItsFloatColourAtTheTransposedIndex) {
  QImage picture(256, 256, QImage::Format_RGB32);
  picture.fill(qRgb(0, 0, 0));
  picture.setPixel(3, 7, qRgb(64, 128, 255));
  texture.LoadFromBitmap(picture);
  const float* t = texture.Texel(3 * 256 + 7);
  EXPECT_FLOAT_EQ(t[0], 64.0f / 255.0f);
  EXPECT_FLOAT_EQ(t[1], 128.0f / 255.0f);
  EXPECT_FLOAT_EQ(t[2], 1.0f);
  EXPECT_FLOAT_EQ(t[3], 1.0f);
  // The untransposed index holds a black pixel.
  EXPECT_FLOAT_EQ(texture.Texel(7 * 256 + 3)[0], 0.0f);
}

// A picture of another size is stretched over the whole texture, pixel by pixel: texture
// coordinates 0..1 mean the whole picture whatever its size.
TEST_F(GlTextureTexels, ASmallPictureCoversTheWholeTexture) {
  QImage picture(16, 16, QImage::Format_RGB32);
  picture.fill(qRgb(10, 20, 30));
  picture.setPixel(1, 0, qRgb(0, 255, 0));
  picture.setPixel(15, 15, qRgb(255, 0, 0));
  texture.LoadFromBitmap(picture);
  // Pixel (1, 0) becomes texels x 16..31, y 0..15; its neighbours stay the fill colour.
  for (int x : {16, 31}) {
    for (int y : {0, 15}) EXPECT_FLOAT_EQ(texture.Texel(x * 256 + y)[1], 1.0f) << x << "," << y;
  }
  for (int index : {15 * 256 + 0, 32 * 256 + 0, 16 * 256 + 16})
    EXPECT_FLOAT_EQ(texture.Texel(index)[1], 20.0f / 255.0f) << index;
  // The last pixel reaches the last texel: nothing is left black.
  EXPECT_FLOAT_EQ(texture.Texel(255 * 256 + 255)[0], 1.0f);
  EXPECT_FLOAT_EQ(texture.Texel(240 * 256 + 240)[0], 1.0f);
  EXPECT_FLOAT_EQ(texture.Texel(239 * 256 + 255)[0], 10.0f / 255.0f);
}

TEST_F(GlTextureTexels, ALargePictureIsShrunkNotCut) {
  // 512 x 300, its right half white: the texture's right half is white, its left half black.
  QImage picture(512, 300, QImage::Format_RGB32);
  picture.fill(qRgb(0, 0, 0));
  for (int y = 0; y < 300; ++y)
    for (int x = 256; x < 512; ++x) picture.setPixel(x, y, qRgb(255, 255, 255));
  texture.LoadFromBitmap(picture);
  for (int y : {0, 128, 255}) {
    EXPECT_FLOAT_EQ(texture.Texel(255 * 256 + y)[0], 1.0f) << "the right edge is kept, " << y;
    EXPECT_FLOAT_EQ(texture.Texel(128 * 256 + y)[0], 1.0f) << y;
    EXPECT_FLOAT_EQ(texture.Texel(127 * 256 + y)[0], 0.0f) << y;
  }
  EXPECT_EQ(TexturePicture(picture).size(), QSize(256, 256));
}

TEST_F(GlTextureTexels, ANullPictureGivesTheInvalidColourEverywhere) {
  texture.LoadFromBitmap(QImage());
  for (int index : {0, 16 * 256 + 0, 255 * 256 + 255}) {
    const float* t = texture.Texel(index);
    EXPECT_FLOAT_EQ(t[0], kInvalidRed) << index;
    EXPECT_FLOAT_EQ(t[1], 0.0f) << index;
    EXPECT_FLOAT_EQ(t[3], 1.0f) << index;
  }
}

TEST_F(GlTextureTexels, AnUnreadablePictureRaisesAndLeavesTheTexels) {
  QImage picture(1, 1, QImage::Format_RGB32);
  picture.fill(qRgb(255, 255, 255));
  texture.LoadFromBitmap(picture);
  EXPECT_THROW(texture.LoadPicture(QStringLiteral("/nonexistent/00000001.bmp")), EGlTexture);
  EXPECT_FLOAT_EQ(texture.Texel(0)[0], 1.0f);
}

TEST(GlLight, DefaultsAreTheStandardLight) {
  TGlLight light(nullptr, 0x4000);
  EXPECT_EQ(light.LightId, 0x4000);
  EXPECT_EQ(light.Ambient, (TGlLight::TVector4{0, 0, 0, 1}));
  EXPECT_EQ(light.Diffuse, (TGlLight::TVector4{1, 1, 1, 1}));
  EXPECT_EQ(light.Specular, (TGlLight::TVector4{1, 1, 1, 1}));
  EXPECT_EQ(light.Position, (TGlLight::TVector4{0, 0, 1, 0}));
  EXPECT_EQ(light.SpotDirection, (TGlLight::TVector4{0, 0, -1, 1}));
  EXPECT_EQ(light.SpotExponent, 0);
  EXPECT_EQ(light.SpotCutoff, 180);
  EXPECT_EQ(light.ConstantAttenuation, 1);
  EXPECT_EQ(light.LinearAttenuation, 0);
  EXPECT_EQ(light.QuadraticAttenuation, 0);
  light.SetPosition({1, 1, 3, 1});
  EXPECT_EQ(light.Position, (TGlLight::TVector4{1, 1, 3, 1}));
}

struct TDigitsCase {
  int32_t material;
  const char* digits;
};

class MaterialNames : public ::testing::TestWithParam<TDigitsCase> {};

TEST_P(MaterialNames, PaddedToEightCharacters) {
  EXPECT_EQ(MaterialDigits(GetParam().material).toStdString(), GetParam().digits);
}

INSTANTIATE_TEST_SUITE_P(Materials, MaterialNames,
                         ::testing::Values(TDigitsCase{7, "00000007"}, TDigitsCase{42, "00000042"},
                                           TDigitsCase{-5, "000000-5"},
                                           TDigitsCase{123456789, "123456789"},
                                           TDigitsCase{0, "00000000"},
                                           TDigitsCase{12345678, "12345678"}));

}  // namespace
