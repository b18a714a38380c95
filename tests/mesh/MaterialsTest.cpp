#include "mesh/Materials.h"

#include <gtest/gtest.h>

#include "mesh/MeshTestSupport.h"

using namespace meshtest;

namespace {

TEST(MaterialNames, EightDigitsZeroPadded) {
  EXPECT_EQ(MaterialIdText(70000), "00070000");
  EXPECT_EQ(MaterialIdText(-5), "000000-5");
  EXPECT_EQ(MaterialIdText(123456789), "123456789");
  EXPECT_EQ(PadMaterialText("512"), "00000512");
  EXPECT_EQ(MaterialFileName("./", 512, ".bmp"), "./00000512.bmp");
  EXPECT_EQ(MaterialFileName("tex/", 70000, ".mat"), "tex/00070000.mat");
}

class TexCoordOps : public ::testing::Test {
protected:
  THomeFiles home;
  TMeshDocument doc;
  void SetUp() override { home.WriteEmpty(); }
};

TEST_F(TexCoordOps, RandAllOnSevenFvrts) {
  for (int i = 0; i < 7; ++i) doc.AddFvrt({i, 0, 0.9f, 0.9f});
  RandAllTexCoords(doc);
  const float expect[7][2] = {{0.1f, 0.1f}, {0.1f, 0.3f}, {0.3f, 0.3f}, {0.1f, 0.1f},
                              {0.1f, 0.3f}, {0.3f, 0.3f}, {0.1f, 0.1f}};
  ASSERT_EQ(doc.NumFvrt, 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(doc.FVRT[i].Tx, expect[i][0]) << i;
    EXPECT_EQ(doc.FVRT[i].Ty, expect[i][1]) << i;
  }
  EXPECT_EQ(doc.CornerLines.Line(1), "1, tx:0.1, ty:0.3");
}

TEST_F(TexCoordOps, RandAllWritesTheFirstGroupEvenWithoutFvrts) {
  RandAllTexCoordsInMemory(doc);
  EXPECT_EQ(doc.FVRT[2].Tx, 0.3f);
  EXPECT_EQ(doc.NumFvrt, 0);
}

TEST_F(TexCoordOps, RandAllNeverWritesPastTheCapacity) {
  doc.NumFvrt = MeshCapacity;  // 32769 = 3 * 10923: the last group starts at 32766 and fits
  RandAllTexCoordsInMemory(doc);
  EXPECT_EQ(doc.FVRT[MeshCapacity - 1].Tx, 0.3f);
  doc.NumFvrt = MeshCapacity - 1;
  RandAllTexCoordsInMemory(doc);  // under AddressSanitizer this proves no write beyond
}

TEST_F(TexCoordOps, AllZeroResetsEveryCorner) {
  doc.AddFvrt({0, 0, 0.5f, 0.25f});
  doc.AddFvrt({0, 0, -1.0f, 2.0f});
  ResetTexCoords(doc);
  EXPECT_EQ(doc.FVRT[0].Tx, 0.0f);
  EXPECT_EQ(doc.FVRT[1].Ty, 0.0f);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kFvrtFile)), FvrtBytes({{0, 0, 0, 0}, {0, 0, 0, 0}}));
}

TEST_F(TexCoordOps, SetAllMaterialsSavesAndRebuildsTheMaterialList) {
  doc.AddFace(Face(0, 0, 1));
  doc.AddFace(Face(0, 0, 2));
  SetAllMaterials(doc, kDefaultMaterial);
  EXPECT_EQ(doc.MaterialLines.Lines(), (std::vector<std::string>{"70000"}));
  TMeshDocument disk;
  disk.LoadRecordFiles();
  EXPECT_EQ(disk.FACE[1].Mat, 70000);
}

}  // namespace
