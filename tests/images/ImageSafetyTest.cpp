// Pictures whose headers claim more than their bytes can hold are refused before the
// picture is allocated; cut-off pixel data is an error; messages name the file.
#include <gtest/gtest.h>

#include "images/Gct.h"
#include "images/ImageFixtures.h"
#include "images/LifGraphic.h"
#include "images/MatGraphic.h"
#include "support/PeakMemory.h"

using namespace imagefixtures;

namespace {

class ImageSafety : public ::testing::Test {
protected:
  testsupport::TempDir dir{false};
  std::string Write(const std::string& name, const Bytes& b) const {
    testsupport::WriteBytes(dir.File(name), b);
    return dir.File(name);
  }
  uint64_t peakBefore = testsupport::PeakMemoryBytes();
  void ExpectFewMegabytes() const {
    EXPECT_LT(testsupport::PeakMemoryBytes() - peakBefore, testsupport::kFewMegabytes);
  }
};

TEST_F(ImageSafety, A17ByteTextureClaiming8192x8192StaysUnderAFewMB) {
  Bytes gct = iffbytes::Text("CRGB____");
  testsupport::PutU32(gct, 8192);
  testsupport::PutU32(gct, 8192);
  gct.push_back(0);
  ASSERT_EQ(gct.size(), 17u);
  const std::string path = Write("huge.gct", gct);
  TBitmap bitmap;
  const std::string message = ErrorMessageOf([&] { LoadGctFile(path, bitmap); });
  EXPECT_NE(message.find(path), std::string::npos) << message;
  EXPECT_NE(message.find("Read beyond end of file"), std::string::npos) << message;

  // With a stream header that claims the whole picture but only a few bytes behind it.
  Bytes withStream = gct;
  withStream.insert(withStream.end(), {0xCC, 0xCC});
  testsupport::PutU32(withStream, 0);
  testsupport::PutU32(withStream, 8192u * 8192u * 3u);
  withStream.push_back(1);
  testsupport::PutU32(withStream, 4);
  withStream.insert(withStream.end(), {0x80, 1, 2, 3});
  const std::string path2 = Write("huge2.gct", withStream);
  EXPECT_THROW(LoadGctFile(path2, bitmap), EComprError);
  ExpectFewMegabytes();
}

// An 856-byte MAT (COMP, FBPP 2) claiming 8192 x 8192: its run-length data could give
// 65,535 pixels per 4 bytes at most, far from 67 million.
TEST_F(ImageSafety, ASmallMatClaimingAHugePictureIsRefusedBeforeAllocating) {
  Bytes rle;
  for (int i = 0; i < 200; ++i) rle.insert(rle.end(), {1, 0, 0xFF, 0xFF});  // runs of 65,535
  const Bytes file = Form("BITM", {Form("FRAM", {Chunk("COMP", Ints({8192, 8192, 2})),
                                                 Chunk("YTAB", Ints({0})), Chunk("RLE ", rle)})});
  const std::string path = Write("huge.mat", file);
  TMATGraphic mat;
  const std::string message = ErrorMessageOf([&] { mat.LoadMatFile(path); });
  EXPECT_NE(message.find(path), std::string::npos) << message;
  EXPECT_NE(message.find("8192 x 8192"), std::string::npos) << message;
  ExpectFewMegabytes();
}

TEST_F(ImageSafety, AMatWhosePixelDataIsCutOffIsRefused) {
  // 4 x 4 pixels: 16 bytes of PXLS, of which the file holds 10.
  Bytes file =
      Form("BITM", {Form("FRAM", {Chunk("INFO", Ints({4, 4, 4})), Chunk("PXLS", Bytes(16, 7))})});
  file.resize(file.size() - 6);
  const std::string path = Write("cut.mat", file);
  TMATGraphic mat;
  const std::string message = ErrorMessageOf([&] { mat.LoadMatFile(path); });
  EXPECT_NE(message.find("cut off"), std::string::npos) << message;
  EXPECT_NE(message.find(path), std::string::npos) << message;
}

TEST_F(ImageSafety, ALifCutShortNamesTheFileAndTheOffset) {
  Bytes lif(48, 0);
  lif.resize(30);
  const std::string path = Write("short.lif", lif);
  TLifGraphic picture;
  const std::string message = ErrorMessageOf([&] { picture.LoadFromFile(path); });
  EXPECT_EQ(message, path + ": Stream read error at offset 0: 48 bytes wanted, 30 there");
}

}  // namespace
