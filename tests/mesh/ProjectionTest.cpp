#include "mesh/Projection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

struct P3 {
  float x, y, z;
};

// Records every drawing call as text so that tests can compare what was drawn.
class TRecordingCanvas : public TDrawCanvas {
public:
  std::vector<std::string> Calls;
  void SetPenColor(TColor c) override {
    Calls.push_back("color " + std::to_string(c.Red) + "," + std::to_string(c.Green) + "," +
                    std::to_string(c.Blue));
  }
  void SetPenStyle(TPenStyle s) override { Calls.push_back(s == TPenStyle::Dot ? "dot" : "solid"); }
  void Ellipse(int l, int t, int r, int b) override {
    Calls.push_back("ellipse " + std::to_string(l) + " " + std::to_string(t) + " " +
                    std::to_string(r) + " " + std::to_string(b));
  }
  void Polyline(const TPixel* p, size_t n) override {
    std::string s = "polyline";
    for (size_t i = 0; i < n; ++i) s += " " + std::to_string(p[i].X) + "," + std::to_string(p[i].Y);
    Calls.push_back(s);
  }
  void Line(TPixel a, TPixel b) override {
    Calls.push_back("line " + std::to_string(a.X) + "," + std::to_string(a.Y) + " " +
                    std::to_string(b.X) + "," + std::to_string(b.Y));
  }
};

class ProjectionTest : public ::testing::Test {
protected:
  TProjection proj;
  TRecordingCanvas canvas;
};

TEST_F(ProjectionTest, StartsWithDepthTwoScaleOneAnchorZero) {
  EXPECT_EQ(proj.DepthDivisor, 2.0f);
  EXPECT_EQ(proj.ViewScale, 1.0f);
  EXPECT_EQ(proj.AnchorX, 0.0f);
  EXPECT_EQ(proj.AnchorY, 0.0f);
  EXPECT_EQ(proj.DrawCanvas, nullptr);
}

TEST_F(ProjectionTest, ProjectShiftsByDepthThenScalesThenAnchors) {
  proj.SetScale(2.0f);
  proj.SetAnchor(100.0f, 50.0f);
  float x = 4.0f, y = -2.0f;
  proj.Project(x, y, 6.0f, false, false);
  // z/2 = 3 added to both: (7, 1); halved: (3.5, 0.5); anchored: (103.5, 50.5).
  EXPECT_FLOAT_EQ(x, 103.5f);
  EXPECT_FLOAT_EQ(y, 50.5f);
}

TEST_F(ProjectionTest, ProjectSkipsScaleAndAnchorOnRequest) {
  proj.SetScale(4.0f);
  proj.SetAnchor(10.0f, 10.0f);
  float x = 1.0f, y = 1.0f;
  proj.Project(x, y, 2.0f, true, true);
  EXPECT_FLOAT_EQ(x, 2.0f);
  EXPECT_FLOAT_EQ(y, 2.0f);
  x = 1.0f, y = 1.0f;
  proj.Project(x, y, 2.0f, false, true);
  EXPECT_FLOAT_EQ(x, 0.5f);
  x = 1.0f, y = 1.0f;
  proj.Project(x, y, 2.0f, true, false);
  EXPECT_FLOAT_EQ(x, 12.0f);
}

TEST_F(ProjectionTest, PointMarkerIsThreeByThreeAroundRoundedPixel) {
  proj.SetDrawCanvas(&canvas);
  proj.SetAnchor(10.0f, 20.0f);
  // 2.5 rounds to 2 (half to even), 3.5 rounds to 4.
  proj.DrawPointMarker(P3{2.5f, 3.5f, 0.0f});
  ASSERT_EQ(canvas.Calls.size(), 1u);
  EXPECT_EQ(canvas.Calls[0], "ellipse 11 23 13 25");
}

TEST_F(ProjectionTest, DrawingWithoutCanvasDrawsNothing) {
  proj.DrawPointMarker(P3{1, 1, 1});
  proj.DrawAxes();
  P3 pts[2] = {{0, 0, 0}, {1, 1, 0}};
  TPixel px[3];
  proj.DrawPolygon(pts, 2, px);
  EXPECT_TRUE(canvas.Calls.empty());
}

TEST_F(ProjectionTest, PolygonIsClosedByRepeatingTheFirstPoint) {
  proj.SetDrawCanvas(&canvas);
  P3 pts[3] = {{0, 0, 0}, {10, 0, 0}, {0, 10, 0}};
  TPixel px[4];
  proj.DrawPolygon(pts, 3, px);
  ASSERT_EQ(canvas.Calls.size(), 1u);
  EXPECT_EQ(canvas.Calls[0], "polyline 0,0 10,0 0,10 0,0");
}

TEST_F(ProjectionTest, TwoCornersDrawThereAndBackFewerDrawNothing) {
  proj.SetDrawCanvas(&canvas);
  P3 pts[2] = {{0, 0, 0}, {5, 5, 0}};
  TPixel px[3];
  proj.DrawPolygon(pts, 2, px);
  proj.DrawPolygon(pts, 1, px);
  proj.DrawPolygon(pts, 0, px);
  ASSERT_EQ(canvas.Calls.size(), 1u);
  EXPECT_EQ(canvas.Calls[0], "polyline 0,0 5,5 0,0");
}

TEST_F(ProjectionTest, PolygonOfMoreThanSixCornersIsDrawnWhole) {
  proj.SetDrawCanvas(&canvas);
  std::vector<P3> pts;
  for (int i = 0; i < 9; ++i) pts.push_back({static_cast<float>(i), 0, 0});
  std::vector<TPixel> px(pts.size() + 1);
  proj.DrawPolygon(pts.data(), pts.size(), px.data());
  ASSERT_EQ(canvas.Calls.size(), 1u);
  EXPECT_EQ(canvas.Calls[0], "polyline 0,0 1,0 2,0 3,0 4,0 5,0 6,0 7,0 8,0 0,0");
}

TEST_F(ProjectionTest, AxesAreDottedThroughTheAnchor) {
  proj.SetDrawCanvas(&canvas);
  proj.SetAnchor(30.0f, 40.0f);
  proj.DrawAxes();
  // Depth line: (30, 40, -10000) shifted by -5000 and anchored: (-4940, -4920).
  const std::vector<std::string> want = {"dot", "line 30,0 30,10000", "line 0,40 10000,40",
                                         "line 30,40 -4940,-4920", "solid"};
  EXPECT_EQ(canvas.Calls, want);
}

TEST_F(ProjectionTest, FitViewFillsTheAreaLessItsMarginAndCentresTheBox) {
  // 200 wide and 100 high with no depth in 216 x 180: 200 model units over 216 - 16 pixels.
  proj.FitView(-100, -50, 0, 100, 50, 0, 216, 180);
  EXPECT_FLOAT_EQ(proj.ViewScale, 1.0f);
  EXPECT_FLOAT_EQ(proj.AnchorX, 108.0f);
  EXPECT_FLOAT_EQ(proj.AnchorY, 90.0f);
  // The box's corners land exactly the margin inside the left and right edges.
  EXPECT_EQ(proj.ProjectPixel(-100, 0, 0).X, TProjection::kFitMargin);
  EXPECT_EQ(proj.ProjectPixel(100, 0, 0).X, 216 - TProjection::kFitMargin);
}

TEST_F(ProjectionTest, FitViewCentresAModelAwayFromTheZeroPoint) {
  // A box from x 2 to 4 (an object centred at x = 3): its middle goes to the middle.
  proj.FitView(2, -1, 0, 4, 1, 0, 116, 116);
  EXPECT_FLOAT_EQ(proj.ViewScale, 2.0f / 100.0f);
  EXPECT_EQ(proj.ProjectPixel(3, 0, 0), (TPixel{58, 58}));
  EXPECT_EQ(proj.ProjectPixel(2, -1, 0), (TPixel{8, 8}));
  EXPECT_EQ(proj.ProjectPixel(4, 1, 0), (TPixel{108, 108}));
}

TEST_F(ProjectionTest, FitViewUsesHeightWhenTaller) {
  // Depth widens both axes: projected y extent 40 + 10 = 50 > x extent 10 + 10 = 20.
  proj.FitView(0, 0, 0, 10, 40, 20, 116, 41);
  EXPECT_FLOAT_EQ(proj.ViewScale, 2.0f);
}

TEST_F(ProjectionTest, FitPointsFramesTheProjectedPointsNotTheirBox) {
  // Two points whose box would project 4 units wider: (0, 0, 8) and (4, 0, 0) project to
  // x 4 and 4, so only y spreads (4 .. 0).
  struct P {
    float x, y, z;
  };
  const P pts[] = {{0, 0, 8}, {4, 0, 0}};
  proj.FitPoints(pts, 2, 20, 20);
  EXPECT_FLOAT_EQ(proj.ViewScale, 1.0f);
  EXPECT_EQ(proj.ProjectPixel(0, 0, 8), (TPixel{10, 12}));
  EXPECT_EQ(proj.ProjectPixel(4, 0, 0), (TPixel{10, 8}));
  // No points, or only non-finite ones: nothing changes.
  const P nan[] = {{std::nanf(""), 0, 0}};
  proj.FitPoints(nan, 1, 100, 100);
  proj.FitPoints(pts, 0, 100, 100);
  EXPECT_FLOAT_EQ(proj.AnchorX, 10.0f - 4.0f);
}

TEST_F(ProjectionTest, FitViewOfBoxWithoutExtentKeepsUsableScale) {
  proj.SetScale(3.0f);
  proj.FitView(1, 1, 1, 1, 1, 1, 200, 200);
  EXPECT_FLOAT_EQ(proj.ViewScale, 3.0f);
  // The single point is in the middle.
  EXPECT_EQ(proj.ProjectPixel(1, 1, 1), (TPixel{100, 100}));
  // The empty model's box (max 0, min 10000) is inverted: still no zero or negative scale,
  // and the zero point in the middle.
  proj.FitView(10000, 10000, 10000, 0, 0, 0, 200, 200);
  EXPECT_FLOAT_EQ(proj.ViewScale, 3.0f);
  const TPixel p = proj.ProjectPixel(3, 3, 0);
  EXPECT_EQ(p.X, 101);
}

TEST_F(ProjectionTest, FitViewInAWindowSmallerThanItsMarginsStillScales) {
  proj.FitView(0, 0, 0, 10, 10, 0, 10, 10);
  EXPECT_FLOAT_EQ(proj.ViewScale, 10.0f);
}

TEST_F(ProjectionTest, PickTakesLastHitWithinTwoPixels) {
  std::vector<P3> pts = {{10, 10, 0}, {50, 50, 0}, {11, 10, 0}};
  EXPECT_EQ(PickPoint(proj, pts.data(), pts.size(), 10.5f, 10.0f), 2);
  EXPECT_EQ(PickPoint(proj, pts.data(), pts.size(), 49.0f, 51.0f), 1);
  // Exactly 2 pixels away is outside.
  EXPECT_EQ(PickPoint(proj, pts.data(), pts.size(), 52.0f, 50.0f), -1);
  EXPECT_EQ(PickPoint(proj, pts.data(), pts.size(), 200.0f, 200.0f), -1);
}

TEST(ProjectionZoom, PositionsMapToScale) {
  EXPECT_FLOAT_EQ(ZoomScale(-100), 1.0f);
  EXPECT_FLOAT_EQ(ZoomScale(-1), 0.01f);
  EXPECT_FLOAT_EQ(ZoomScale(-10000), 100.0f);
  EXPECT_FLOAT_EQ(ZoomScale(-96), 0.96f);
}

TEST(ProjectionRound, HalvesToEvenAndClamps) {
  EXPECT_EQ(RoundPixel(0.5f), 0);
  EXPECT_EQ(RoundPixel(1.5f), 2);
  EXPECT_EQ(RoundPixel(-2.5f), -2);
  EXPECT_EQ(RoundPixel(NAN), 0);
  EXPECT_EQ(RoundPixel(1e20f), INT_MAX);
  EXPECT_EQ(RoundPixel(-1e20f), INT_MIN);
}

TEST(ProjectionRotate, QuarterTurnAboutEachAxis) {
  const float h = static_cast<float>(M_PI / 2);
  P3 p{1, 2, 3};
  RotatePoints(&p, 1, h, 0, 0);  // (y, z) -> (-z, y)
  EXPECT_NEAR(p.x, 1, 1e-5);
  EXPECT_NEAR(p.y, -3, 1e-5);
  EXPECT_NEAR(p.z, 2, 1e-5);
  p = {1, 2, 3};
  RotatePoints(&p, 1, 0, h, 0);  // (x, z) -> (-z, x)
  EXPECT_NEAR(p.x, -3, 1e-5);
  EXPECT_NEAR(p.z, 1, 1e-5);
  p = {1, 2, 3};
  RotatePoints(&p, 1, 0, 0, h);  // (x, y) -> (-y, x)
  EXPECT_NEAR(p.x, -2, 1e-5);
  EXPECT_NEAR(p.y, 1, 1e-5);
  EXPECT_NEAR(p.z, 3, 1e-5);
}

TEST(ProjectionRotate, ButtonSevenTurnsAboutZByOnePointSix) {
  P3 p{1, 0, 7};
  RotatePoints(&p, 1, 0, 0, 1.6f);
  EXPECT_NEAR(p.x, std::cos(1.6), 1e-6);
  EXPECT_NEAR(p.y, std::sin(1.6), 1e-6);
  EXPECT_EQ(p.z, 7.0f);
}

TEST(ProjectionRotate, AxesApplyInOrderXThenYThenZ) {
  const float h = static_cast<float>(M_PI / 2);
  P3 p{1, 2, 3};
  RotatePoints(&p, 1, h, h, 0);
  // x first: (1, -3, 2); then y: (x, z) -> (-z, x) = (-2, -3, 1).
  EXPECT_NEAR(p.x, -2, 1e-5);
  EXPECT_NEAR(p.y, -3, 1e-5);
  EXPECT_NEAR(p.z, 1, 1e-5);
}

TEST(ProjectionRotate, ThreadStepReadsTheStoredPointInEveryFormula) {
  const float h = static_cast<float>(M_PI / 2);
  P3 p{1, 2, 3};
  RotateStep(&p, 1, h, true, true, false);
  // x formula from stored v: r.y = -3, r.z = 2; y formula from stored v: r.x = -3, r.z = 1.
  EXPECT_NEAR(p.x, -3, 1e-5);
  EXPECT_NEAR(p.y, -3, 1e-5);
  EXPECT_NEAR(p.z, 1, 1e-5);
  P3 q{1, 2, 3};
  RotateStep(&q, 1, h, false, false, false);
  EXPECT_EQ(q.x, 1.0f);
  EXPECT_EQ(q.y, 2.0f);
  EXPECT_EQ(q.z, 3.0f);
}

}  // namespace
