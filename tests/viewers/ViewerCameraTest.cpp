// The model viewer's camera and its change detection, without a display: where model points
// land in the window and in depth, in both projections.
#include "viewers/ViewerCamera.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "viewers/DrawnMeshCopy.h"

namespace {

using TPoint = std::array<float, 3>;

// Twice the signed area of a triangle in the window (x right, y up): negative when its
// corners run clockwise there.
float WindowArea(const TViewerCamera& c, const TPoint& a, const TPoint& b, const TPoint& d) {
  const auto pa = c.Project(a.data()), pb = c.Project(b.data()), pd = c.Project(d.data());
  return (pb[0] - pa[0]) * (pd[1] - pa[1]) - (pb[1] - pa[1]) * (pd[0] - pa[0]);
}

class CameraInBothProjections : public ::testing::TestWithParam<bool> {
protected:
  void SetUp() override { camera.Perspective = GetParam(); }
  TViewerCamera camera;
};

// As in Blender (right-handed, the eye looking along -z): the side of larger z is in front,
// x runs right and y up, and a face facing the eye has its corners counter-clockwise in the
// window. The perspective view must agree, or the model is drawn inside out there.
TEST_P(CameraInBothProjections, TheEyeIsOnTheSideOfLargerZAsInBlender) {
  const TPoint nearer{0, 0, 0.5f}, farther{0, 0, -0.5f};
  EXPECT_LT(camera.Project(nearer.data())[2], camera.Project(farther.data())[2]);
  const TPoint right{0.5f, 0, 0}, up{0, 0.5f, 0};
  EXPECT_GT(camera.Project(right.data())[0], 0);
  EXPECT_GT(camera.Project(up.data())[1], 0);
  camera.AngleY = 20;
  camera.AngleX = -10;
  EXPECT_LT(camera.Project(nearer.data())[2], camera.Project(farther.data())[2]);
  // A triangle in the plane z = 0.5 facing +z: counter-clockwise seen from +z (and so in
  // the game's own order: its stored normal is +z, see mesh/Normals.h).
  const float area =
      WindowArea(camera, {-0.5f, -0.5f, 0.5f}, {0.5f, -0.5f, 0.5f}, {0.5f, 0.5f, 0.5f});
  EXPECT_GT(area, 0) << "its corners run counter-clockwise in the window";
  EXPECT_GT(camera.Project(nearer.data())[3], 0) << "in front of the eye";
}

TEST_P(CameraInBothProjections, APointOnTheMiddlePlaneKeepsItsPlace) {
  // At u.z = 0 the perspective's cross-section is the window's -1..1, as orthographic.
  camera.Zoom = 0.5f;
  camera.PanX = 0.25f;
  const TPoint p{1, -1, 0};
  const auto w = camera.Project(p.data());
  EXPECT_NEAR(w[0], 0.75f, 1e-5);
  EXPECT_NEAR(w[1], -0.5f, 1e-5);
}

TEST_P(CameraInBothProjections, FrameCentresAndFitsTheBoxWhateverTheRotation) {
  const float lo[3] = {10, 0, -3}, hi[3] = {14, 8, 1};  // a model built up from y = 0
  for (float angle : {0.0f, 35.0f, 90.0f, 200.0f}) {
    camera.AngleX = angle / 2;
    camera.AngleY = angle;
    camera.Frame(lo, hi);
    const TPoint centre{12, 4, -1};
    const auto c = camera.Project(centre.data());
    EXPECT_NEAR(c[0], 0, 1e-5) << angle;
    EXPECT_NEAR(c[1], 0, 1e-5) << angle;
    for (int k = 0; k < 8; ++k) {
      const TPoint corner{(k & 1) ? hi[0] : lo[0], (k & 2) ? hi[1] : lo[1],
                          (k & 4) ? hi[2] : lo[2]};
      const auto w = camera.Project(corner.data());
      EXPECT_LT(std::fabs(w[0]), 1) << angle << " corner " << k;
      EXPECT_LT(std::fabs(w[1]), 1) << angle << " corner " << k;
      EXPECT_LT(std::fabs(w[2]), 1) << angle << " corner " << k << " inside the depth range";
    }
  }
}

TEST_P(CameraInBothProjections, WheelZoomKeepsTheWindowsCentre) {
  const float lo[3] = {2, 2, 2}, hi[3] = {4, 4, 4};
  camera.AngleY = 30;
  camera.Frame(lo, hi);
  const TPoint centre{3, 3, 3}, corner{4, 4, 4};
  const float before = camera.Project(corner.data())[0];
  camera.ZoomWheel(120);
  EXPECT_NEAR(camera.Project(centre.data())[0], 0, 1e-5);
  EXPECT_NEAR(camera.Project(centre.data())[1], 0, 1e-5);
  EXPECT_GT(std::fabs(camera.Project(corner.data())[0]), std::fabs(before));
  camera.ZoomWheel(-120);
  EXPECT_NEAR(camera.Project(corner.data())[0], before, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(Projections, CameraInBothProjections, ::testing::Bool(),
                         [](const auto& param) {
                           return param.param ? std::string("Perspective")
                                              : std::string("Orthographic");
                         });

// Each side view turns the named side towards the eye (the smallest depth) and keeps the
// picture upright, as Blender's keypad does: the front (+z) sees +x right and +y up, the
// right side (+x) sees -z right, the top (+y) sees +x right and +z down.
TEST(ViewerCamera, SideViewsShowTheirSide) {
  struct TCase {
    TViewSide Side;
    TPoint Towards;  // the unit direction that must point at the eye
    TPoint Right;    // and the one that must point right in the window
  };
  const TCase cases[] = {
      {TViewSide::Front, {0, 0, 1}, {1, 0, 0}},  {TViewSide::Back, {0, 0, -1}, {-1, 0, 0}},
      {TViewSide::Right, {1, 0, 0}, {0, 0, -1}}, {TViewSide::Left, {-1, 0, 0}, {0, 0, 1}},
      {TViewSide::Top, {0, 1, 0}, {1, 0, 0}},    {TViewSide::Bottom, {0, -1, 0}, {1, 0, 0}},
  };
  for (const TCase& c : cases) {
    TViewerCamera camera;
    camera.AngleZ = 45;  // LookFrom sets all three angles
    camera.LookFrom(c.Side);
    const auto eye = camera.Project(c.Towards.data());
    EXPECT_NEAR(eye[0], 0, 1e-5) << static_cast<int>(c.Side);
    EXPECT_NEAR(eye[1], 0, 1e-5) << static_cast<int>(c.Side);
    EXPECT_NEAR(eye[2], -1, 1e-5) << static_cast<int>(c.Side);
    const auto right = camera.Project(c.Right.data());
    EXPECT_NEAR(right[0], 1, 1e-5) << static_cast<int>(c.Side);
  }
  TViewerCamera top;
  top.LookFrom(TViewSide::Top);
  const TPoint farSide{0, 0, 1};
  EXPECT_NEAR(top.Project(farSide.data())[1], -1, 1e-5) << "seen from the top, +z is down";
}

TEST(ViewerCamera, AnUnusableBoxFramesTheOrigin) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float point[3] = {5, 5, 5}, lo[3] = {0, nan, 0}, hi[3] = {1, 1, 1};
  for (const auto& box : {std::pair{point, point}, std::pair{lo, hi}}) {
    TViewerCamera camera;
    camera.Zoom = 3;
    camera.PanX = 0.5f;
    camera.Frame(box.first, box.second);
    EXPECT_EQ(camera.Zoom, 1);
    EXPECT_TRUE(camera.CentresOrigin());
  }
}

TEST(DrawnMeshCopy, TellsEveryChangeToWhatIsDrawn) {
  TMeshDocument doc;
  TDrawnMeshCopy empty;
  empty.Take(doc);
  EXPECT_TRUE(empty.Matches(doc)) << "an empty model is a model too";
  doc.AddVert({0, 0, 0});
  doc.AddVtnm({0, 0, 1});
  doc.AddFvrt({0, 0, 0.5f, 0.5f});
  doc.AddFace({0, 0, 7, 0, 1, 0, kEditorReserved2});
  TDrawnMeshCopy snapshot;
  EXPECT_FALSE(snapshot.Matches(doc)) << "nothing taken yet";
  snapshot.Take(doc);
  EXPECT_TRUE(snapshot.Matches(doc));

  const auto changes = {
      +[](TMeshDocument& d) { d.VERT[0].y = 1; },      +[](TMeshDocument& d) { d.VTNM[0].x = 1; },
      +[](TMeshDocument& d) { d.FVRT[0].Tx = 0.25f; }, +[](TMeshDocument& d) { d.FACE[0].Mat = 8; },
      +[](TMeshDocument& d) { d.NumFace = 0; },        +[](TMeshDocument& d) { d.AddVert({}); },
  };
  int n = 0;
  for (auto change : changes) {
    change(doc);
    EXPECT_FALSE(snapshot.Matches(doc)) << "change " << n;
    snapshot.Take(doc);
    EXPECT_TRUE(snapshot.Matches(doc)) << "change " << n;
    ++n;
  }
  // A record past the counts is not drawn, so it is no change.
  doc.VERT[5].x = 9;
  EXPECT_TRUE(snapshot.Matches(doc));
  snapshot.Forget();
  EXPECT_FALSE(snapshot.Matches(doc));
}

}  // namespace
