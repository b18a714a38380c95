// The Texturing tab's panel without a display: the face shown with its boxes and outline,
// the mouse in texture space, and corners picked and typed.
#include "mesh/TexturePanel.h"

#include <gtest/gtest.h>

#include "mesh/MeshTestSupport.h"

namespace {

using TPixels = std::vector<TTexturePixel>;

// Two triangles: face 0 on FVRTs 0-2, face 1 on FVRTs 3-5, whose last corner sits at
// (0.0625, 0.5); records 6 and 7 are spare corners for a larger face.
class TexturePanelTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (int i = 0; i < 4; ++i) doc.AddVert({static_cast<float>(i), 0, 0});
    const TFvrtRecord fvrts[] = {{0, 0, 0, 0}, {1, 0, 1, 0},          {2, 0, 1, 1}, {0, 0, 0, 0},
                                 {2, 0, 1, 1}, {3, 0, 0.0625f, 0.5f}, {3, 0, 0, 0}, {3, 0, 0, 0}};
    for (const TFvrtRecord& r : fvrts) doc.AddFvrt(r);
    doc.AddFace(meshtest::Face(0, 3, 70000));
    doc.AddFace(meshtest::Face(3, 3, 70001));
  }
  void Pick(int x, int y) {
    panel.MouseMove(x, y);
    panel.LeftClick();
  }

  TMeshDocument doc;
  TTexturePanel panel{doc};
};

TEST_F(TexturePanelTest, ShowsAFaceWithItsCornersBoxesAndClosedOutline) {
  EXPECT_EQ(MaterialBoxEntries(doc), (std::vector<std::string>{"0", "00070000", "00070001"}));
  ASSERT_TRUE(panel.ShowFace(1));
  EXPECT_EQ(panel.FaceLabel(), "FACE: 1, FVRTs: 3 4 5 ");
  EXPECT_EQ(panel.BoxText(2, false), "0.062");
  EXPECT_EQ(panel.BoxText(2, true), "0.500");
  EXPECT_EQ(panel.BoxText(3, false), "");
  EXPECT_FALSE(panel.FourthBoxEnabled());
  EXPECT_EQ(panel.PickTarget, 3);
  EXPECT_EQ(panel.Outline(), (TPixels{{0, 256}, {256, 0}, {16, 128}, {0, 256}}));
  // A face the document does not have shows nothing and cannot be picked.
  EXPECT_FALSE(panel.ShowFace(2));
  EXPECT_EQ(panel.Face(), -1);
  EXPECT_TRUE(panel.Outline().empty());
  panel.MouseMove(10, 10);
  EXPECT_TRUE(panel.LeftClick().empty());
  EXPECT_EQ(doc.FVRT[0].Tx, 0.0f);
}

TEST_F(TexturePanelTest, PickingTheTrianglesCornersWritesThemWhenTheLastIsPicked) {
  panel.ShowFace(1);
  EXPECT_EQ(panel.MouseMove(64, 192), "(64,192): Tx=0.25, Ty=0.25");
  EXPECT_EQ(panel.LeftClick(), (TPixels{{64, 192}, {64, 192}}));
  Pick(192, 192);
  EXPECT_FALSE(panel.Completed());
  EXPECT_FLOAT_EQ(doc.FVRT[3].Tx, 0.0f) << "nothing is written before the last corner";
  Pick(64, 64);
  EXPECT_TRUE(panel.Completed());
  EXPECT_EQ(panel.PickCount, 0);
  EXPECT_FLOAT_EQ(doc.FVRT[3].Ty, 0.25f);
  EXPECT_FLOAT_EQ(doc.FVRT[4].Tx, 0.75f);
  EXPECT_FLOAT_EQ(doc.FVRT[5].Ty, 0.75f);
  EXPECT_EQ(panel.PickText(1, false), "0.75");
  EXPECT_FLOAT_EQ(doc.FVRT[0].Tx, 0.0f) << "face 0 keeps its corners";
}

TEST_F(TexturePanelTest, AFaceOfFiveCornersIsPickedWhole) {
  doc.FACE[1].FvrtCount = 5;
  panel.ShowFace(1);
  EXPECT_TRUE(panel.FourthBoxEnabled());
  for (int i = 0; i < 5; ++i) Pick(32 * i, 128);
  EXPECT_TRUE(panel.Completed());
  EXPECT_FLOAT_EQ(doc.FVRT[7].Tx, 0.5f);
  EXPECT_FLOAT_EQ(doc.FVRT[7].Ty, 0.5f);
}

TEST_F(TexturePanelTest, TypedValuesAndMaterialsGoToTheFace) {
  panel.ShowFace(1);
  panel.UvBoxEnter(1, false, "0.125");
  EXPECT_FLOAT_EQ(doc.FVRT[4].Tx, 0.125f);
  EXPECT_THROW(panel.UvBoxEnter(1, true, "x"), Exception);
  EXPECT_FLOAT_EQ(doc.FVRT[4].Ty, 1.0f) << "a non-number changes nothing";
  EXPECT_TRUE(panel.ApplyMaterial("123"));
  EXPECT_EQ(doc.FACE[1].Mat, 123);
  // The line keeps the face's plane distance (D 0 here), as the FACE tab's line does.
  EXPECT_EQ(panel.FaceLine(), "[3 4 5], mat: 123, d=0.000");
  panel.ApplyMaterial("brick");
  EXPECT_EQ(doc.FACE[1].Mat, 0);
}

}  // namespace
