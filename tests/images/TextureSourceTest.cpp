// The material folder's texture of a number: ".gct", else ".mat", else ".bmp" (through the
// program's loader), or the extensions a viewer tries; the model viewer's read of a ".gct"
// into its fixed slot; and PNG out of the core bitmap.
#include "images/TextureSource.h"

#include <gtest/gtest.h>

#include "images/ImageFixtures.h"
#include "images/PngWriter.h"

namespace {

using imagefixtures::Bytes;

TEST(TextureSource, FindsGctBeforeMatBeforeBmpAndDecodesIt) {
  testsupport::TempDir dir;
  const std::string folder = dir.File("");
  EXPECT_EQ(FindMaterialTexture(folder, 42), "");
  testsupport::WriteText(dir.File("00000042.bmp"), "BM");
  EXPECT_EQ(FindMaterialTexture(folder, 42), folder + "00000042.bmp");
  testsupport::WriteText(dir.File("00000042.mat"), "FORM");
  EXPECT_EQ(FindMaterialTexture(folder, 42), folder + "00000042.mat");
  // The model viewer shows no ".mat": its ".bmp" stands.
  EXPECT_EQ(FindMaterialTexture(folder, 42, kModelViewerTextureExtensions),
            folder + "00000042.bmp");
  ASSERT_EQ(imagefixtures::WriteGctTexture(folder, 42, 1, 1, {10, 20, 30}),
            folder + "00000042.gct");
  ASSERT_EQ(FindMaterialTexture(folder, 42), folder + "00000042.gct");

  TBitmap bitmap;
  LoadTextureFile(FindMaterialTexture(folder, 42), bitmap);
  uint8_t r, g, b;
  bitmap.GetRgb(0, 0, r, g, b);
  EXPECT_EQ(r, 10);
  EXPECT_EQ(b, 30);

  // ".bmp" is the program's business: refused without a loader, handed over with one.
  EXPECT_THROW(LoadTextureFile(dir.File("00000042.bmp"), bitmap), EInvalidGraphic);
  std::string asked;
  LoadTextureFile(dir.File("00000042.bmp"), bitmap,
                  [&](const std::string& f, TBitmap&) { asked = f; });
  EXPECT_EQ(asked, dir.File("00000042.bmp"));
}

// The viewer's slot holds 12 bytes here: a wrong magic is told and the pixels read all the
// same; a header whose pixels would overrun the slot is told and nothing is read.
TEST(TextureSource, TheViewersGctReadTellsAWrongMagicAndRefusesAnOversizedTexture) {
  testsupport::TempDir dir;
  const std::string path = dir.File("t.gct");
  const Bytes rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  std::vector<std::string> told;
  auto warn = [&](const std::string& text) { told.push_back(text); };
  uint8_t slot[12] = {};

  imagefixtures::WriteGctParts(path, "XRGB-__1", 2, 2,
                               EncodeStream(rgb.data(), rgb.size(), TStreamFormat::Blocks));
  TGctTextureRead read = ReadGctTexture(path, slot, sizeof slot, warn);
  EXPECT_TRUE(read.Read);
  EXPECT_EQ(Bytes(slot, slot + 12), rgb);
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0], "LoadCompressedTextures (" + path + "): Invalid format: XRGB-__1");

  told.clear();
  std::fill(std::begin(slot), std::end(slot), 0xEE);
  imagefixtures::WriteGctParts(path, "CRGB____", 3, 2,
                               EncodeStream(rgb.data(), rgb.size(), TStreamFormat::Stored));
  read = ReadGctTexture(path, slot, sizeof slot, warn);
  EXPECT_FALSE(read.Read);
  EXPECT_EQ(read.Header.Width, 3);
  EXPECT_EQ(slot[0], 0xEE) << "nothing read";
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0], "LoadCompressedTextures (" + path +
                         "): texture of 3 x 2 pixels is too large (at most 12 bytes of RGB)");
}

// An 8-bit picture goes out through its palette, top row first.
TEST(PngWriter, EncodesPalettedPictureAsRgb) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(8);
  bitmap.SetSize(2, 2);
  bitmap.SetPalette({{0, 0, 0, 0}, {200, 100, 50, 0}});
  bitmap.ScanLine(0)[1] = 1;
  const imagefixtures::TPngPixels png = imagefixtures::DecodePng(EncodePng(bitmap));
  const Bytes expected = {0, 0, 0, 200, 100, 50, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(png.Rgb, expected);
  EXPECT_THROW(EncodePng(TBitmap{}), EInvalidGraphic);
}

}  // namespace
