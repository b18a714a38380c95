#include "mesh/Geometry.h"

#include <gtest/gtest.h>

#include "mesh/MeshTestSupport.h"
#include "mesh/Vector.h"

using namespace meshtest;

namespace {

TEST(Vector, MakeSetsWAndCrossFollowsTheRightHand) {
  const TVec4 v = Make(1, 2, 3);
  EXPECT_EQ(v.w, 1.0f);
  const TVec4 c = Cross(Make(1, 0, 0), Make(0, 1, 0));
  EXPECT_EQ(c.z, 1.0f);
  EXPECT_EQ(Dot(Make(1, 2, 3), Make(4, 5, 6)), 32.0f);
  EXPECT_EQ(Length(Make(3, 4, 0)), 5.0f);
  TVec4 z = Make(0, 0, 0);
  Normalize(z);
  EXPECT_EQ(z.x, 0.0f);
  TVec4 n = Make(1, 2, 3);
  Negate(n, true, false, true);
  EXPECT_EQ(n.x, -1.0f);
  EXPECT_EQ(n.y, 2.0f);
  EXPECT_EQ(n.z, -3.0f);
  Add(n, Make(1, 1, 1));
  EXPECT_EQ(n.x, 0.0f);
  const TVec4 pn = PlaneNormal(Make(0, 0, 0), Make(1, 0, 0), Make(0, 1, 0));
  EXPECT_EQ(pn.z, -1.0f);
}

TEST(AddRecords, VertexComesWithAZeroNormal) {
  TMeshDocument doc;
  AddVertWithNormal(doc, 1.5f, 2, 3);
  EXPECT_EQ(doc.NumVert, 1);
  EXPECT_EQ(doc.NumVtnm, 1);
  EXPECT_EQ(doc.NormalLines.Line(0), "0.000, 0.000, 0.000");
  doc.NumVtnm = MeshCapacity;
  EXPECT_THROW(AddVertWithNormal(doc, 1, 1, 1), EMeshDocument);
  EXPECT_EQ(doc.NumVert, 1) << "no vertex without its normal";
}

TEST(AddRecords, CornerUsesTheCurrentLinesOrMinusOne) {
  TMeshDocument doc;
  AddFvrtFromCurrentLines(doc);
  EXPECT_EQ(doc.FVRT[0].Vert, -1);
  EXPECT_EQ(doc.FVRT[0].Vtnm, -1);
  for (int i = 0; i < 3; ++i) AddVertWithNormal(doc, float(i), 0, 0);
  doc.VertexLines.SetCurrent(2);
  doc.NormalLines.SetCurrent(1);
  AddFvrtFromCurrentLines(doc);
  EXPECT_EQ(doc.FVRT[1].Vert, 2);
  EXPECT_EQ(doc.FVRT[1].Vtnm, 1);
  EXPECT_EQ(doc.CornerLines.Line(1), "2, tx:0, ty:0");
}

class AddFace : public ::testing::Test {
protected:
  TMeshDocument doc;
  void SetUp() override {
    for (int i = 0; i < 10; ++i) doc.AddFvrt({i, i, 0, 0});
  }
  void Select(std::initializer_list<int> lines, int focused) {
    for (int l : lines) doc.CornerLines.SetSelected(l, true);
    doc.CornerLines.SetCurrent(focused);
  }
};

TEST_F(AddFace, ConsecutiveSelection) {
  Select({4, 5, 6}, 4);
  ASSERT_TRUE(AddFaceFromSelection(doc));
  EXPECT_EQ(doc.FACE[0].FirstFvrt, 4);
  EXPECT_EQ(doc.FACE[0].FvrtCount, 3);
  EXPECT_EQ(doc.FACE[0].Reserved2, 0x7F0096FFu);
  EXPECT_EQ(doc.FaceLines.Line(0), "[4 5 6], mat: 0, d=0.000");
}

TEST_F(AddFace, SpreadSelectionStillTakesConsecutiveCorners) {
  Select({4, 5, 9}, 4);
  ASSERT_TRUE(AddFaceFromSelection(doc));
  EXPECT_EQ(doc.FACE[0].FirstFvrt, 4);
  EXPECT_EQ(doc.FACE[0].FvrtCount, 3);
}

TEST_F(AddFace, FewerThanThreeChangesNothing) {
  Select({4, 5}, 4);
  EXPECT_FALSE(AddFaceFromSelection(doc));
  EXPECT_EQ(doc.NumFace, 0);
  EXPECT_EQ(doc.FaceLines.Count(), 0);
}

TEST(DeleteVtnm, ForgetsNormalsButNotTheirLines) {
  TMeshDocument doc;
  doc.AddVtnm({1, 0, 0});
  DeleteVtnm(doc);
  EXPECT_EQ(doc.NumVtnm, 0);
  EXPECT_EQ(doc.NormalLines.Count(), 1);
  doc.AddVtnm({0, 1, 0});
  EXPECT_EQ(doc.VTNM[0].y, 1.0f);
}

}  // namespace
