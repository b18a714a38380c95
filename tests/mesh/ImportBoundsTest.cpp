// The limits the import works to, each exactly at its edge and one past it: the counts of
// the bytes between the model reader and the editor, the indices a scene may hold, the
// records the arrays take, and the rows of the BMP pictures it writes.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "images/Bitmap.h"
#include "interchange/ByteCodec.h"
#include "interchange/Fit.h"
#include "interchange/GameReady.h"
#include "interchange/ImportTextures.h"
#include "interchange/SceneData.h"

namespace {

// ---- Counts in the byte stream ----------------------------------------------------------

struct TBadBytes {
  void operator()(const std::string& what) const { throw std::runtime_error(what); }
};

// A count of `n` followed by `n` bytes, so that only the limit can refuse it.
std::string CountedBytes(uint32_t n) {
  TByteWriter<uint32_t> out;
  out.PutText(std::string(n, 'x'));
  return out.Take();
}

TEST(ByteCounts, ACountAtTheLimitIsTakenAndOneOverIsRefusedThoughTheBytesAreThere) {
  const std::string atLimit = CountedBytes(16);
  TByteReader<uint32_t, TBadBytes> in(atLimit, {}, "cut short");
  EXPECT_EQ(in.GetText(16), std::string(16, 'x'));
  EXPECT_TRUE(in.AtEnd());

  const std::string over = CountedBytes(17);
  TByteReader<uint32_t, TBadBytes> refused(over, {}, "cut short");
  try {
    refused.GetText(16, "names");
    FAIL() << "17 bytes taken";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "17 names, more than 16");
  }
}

TEST(ByteCounts, ACountPastTheBytesLeftIsCutShort) {
  std::string bytes = CountedBytes(4);
  bytes.pop_back();
  TByteReader<uint32_t, TBadBytes> in(bytes, {}, "cut short");
  try {
    in.GetText(16);
    FAIL() << "read past the end";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "cut short");
  }
}

// ---- Indices of a decoded scene -----------------------------------------------------------

// One triangle over `verts` positions whose last corner names position `lastVert`.
TGatheredScene Triangle(int32_t verts, int32_t lastVert) {
  TGatheredScene scene;
  for (int32_t i = 0; i < verts; ++i) scene.Verts.push_back({float(i), float(i * i), 0});
  scene.Corners = {{0, 0, 0, {0, 0, 1}}, {1, 0, 0, {0, 0, 1}}, {lastVert, 0, 0, {0, 0, 1}}};
  scene.Faces = {{0, 3, 0, 0, 1}};
  scene.Materials.resize(1);
  scene.MeshNames = {"m"};
  scene.Meshes = 1;
  return scene;
}

TEST(SceneIndices, ACornerMayNameTheLastPositionButNotOnePast) {
  const TGatheredScene last = DecodeScene(EncodeScene(Triangle(4, 3)), "in.obj");
  EXPECT_EQ(last.Corners[2].Vert, 3);
  for (const int32_t bad : {4, -1}) {
    try {
      DecodeScene(EncodeScene(Triangle(4, bad)), "in.obj");
      ADD_FAILURE() << bad << " decoded";
    } catch (const EInterchange& e) {
      EXPECT_NE(std::string(e.what()).find("a corner past the positions"), std::string::npos)
          << e.what();
    }
  }
}

// ---- Records the arrays hold --------------------------------------------------------------

class RecordCapacity : public ::testing::TestWithParam<int> {};

// All three arrays exactly full fit; any one of them a record over does not, and the
// message says which and by how much.
TEST_P(RecordCapacity, FullFitsAndOneOverIsRefused) {
  TRecordCounts counts{MeshCapacity, MeshCapacity, MeshCapacity};
  EXPECT_TRUE(counts.Fit());
  EXPECT_NO_THROW(CheckRecordCapacity(counts, "big.obj"));
  const char* names[] = {"VERT", "FVRT", "FACE"};
  int64_t* fields[] = {&counts.Verts, &counts.Corners, &counts.Faces};
  ++*fields[GetParam()];
  EXPECT_FALSE(counts.Fit());
  try {
    CheckRecordCapacity(counts, "big.obj");
    FAIL() << "one over taken";
  } catch (const EModelTooLarge& e) {
    EXPECT_NE(std::string(e.what()).find(std::string(names[GetParam()]) + " 1 over (1.00 times)"),
              std::string::npos)
        << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(Arrays, RecordCapacity, ::testing::Values(0, 1, 2));

// ---- BMP rows -----------------------------------------------------------------------------

uint32_t Le32(const std::string& bytes, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= uint32_t{static_cast<uint8_t>(bytes[at + i])} << (8 * i);
  return v;
}

class BmpRows : public ::testing::TestWithParam<int> {};

// Each row of three-byte pixels is padded with zeros to a multiple of four bytes, bottom
// row first: widths 1, 2, 3 need 1, 2, 3 bytes of padding, 4 none.
TEST_P(BmpRows, ArePaddedToFourBytes) {
  const int width = GetParam(), height = 2;
  TBitmap bitmap;
  bitmap.SetSize(width, height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      uint8_t* p = bitmap.ScanLine(y) + 3 * x;
      p[0] = uint8_t(10 + x);   // blue
      p[1] = uint8_t(20 + y);   // green
      p[2] = uint8_t(200 + x);  // red
    }
  }
  const std::string bmp = EncodeBmp24(bitmap);
  const size_t row = (size_t(width) * 3 + 3) / 4 * 4;
  ASSERT_EQ(bmp.size(), 54 + row * height);
  EXPECT_EQ(Le32(bmp, 2), bmp.size());
  EXPECT_EQ(Le32(bmp, 10), 54u);
  EXPECT_EQ(Le32(bmp, 34), row * height);
  for (int y = 0; y < height; ++y) {
    const size_t start = 54 + size_t(height - 1 - y) * row;
    for (int x = 0; x < width; ++x) {
      EXPECT_EQ(uint8_t(bmp[start + 3 * x]), 10 + x);
      EXPECT_EQ(uint8_t(bmp[start + 3 * x + 1]), 20 + y);
      EXPECT_EQ(uint8_t(bmp[start + 3 * x + 2]), 200 + x);
    }
    for (size_t pad = size_t(width) * 3; pad < row; ++pad) EXPECT_EQ(bmp[start + pad], '\0');
  }
}

INSTANTIATE_TEST_SUITE_P(Widths, BmpRows, ::testing::Values(1, 2, 3, 4, 5));

}  // namespace
