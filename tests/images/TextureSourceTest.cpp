// The material folder's texture of a number: ".gct", else ".mat", else ".bmp" (through the
// program's loader), and PNG out of the core bitmap.
#include "images/TextureSource.h"

#include <gtest/gtest.h>
#include <png.h>

#include "images/Gct.h"
#include "images/PngWriter.h"
#include "support/TestSupport.h"

namespace {

TEST(TextureSource, FindsGctBeforeMatBeforeBmpAndDecodesIt) {
  testsupport::TempDir dir;
  const std::string folder = dir.File("");
  EXPECT_EQ(FindMaterialTexture(folder, 42), "");
  testsupport::WriteText(dir.File("00000042.bmp"), "BM");
  EXPECT_EQ(FindMaterialTexture(folder, 42), folder + "00000042.bmp");
  testsupport::WriteText(dir.File("00000042.mat"), "FORM");
  EXPECT_EQ(FindMaterialTexture(folder, 42), folder + "00000042.mat");
  const uint8_t rgb[3] = {10, 20, 30};
  WriteGctFile(dir.File("00000042.gct"), 1, 1, rgb, TStreamFormat::Zlib);
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
  LoadTextureFile(dir.File("00000042.bmp"), bitmap, [&](const std::string& f, TBitmap&) { asked = f; });
  EXPECT_EQ(asked, dir.File("00000042.bmp"));
}

// An 8-bit picture goes out through its palette, top row first.
TEST(PngWriter, EncodesPalettedPictureAsRgb) {
  TBitmap bitmap;
  bitmap.SetPixelFormat(8);
  bitmap.SetSize(2, 2);
  bitmap.SetPalette({{0, 0, 0, 0}, {200, 100, 50, 0}});
  bitmap.ScanLine(0)[1] = 1;
  const std::vector<uint8_t> png = EncodePng(bitmap);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&image, png.data(), png.size()));
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
  const std::vector<uint8_t> expected = {0, 0, 0, 200, 100, 50, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(rgb, expected);
  EXPECT_THROW(EncodePng(TBitmap{}), EInvalidGraphic);
}

}  // namespace
