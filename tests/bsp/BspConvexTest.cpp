// The convexity test against its definition (every plane against every point), on sets
// large enough for the boxed search: points on a sphere with its tangent planes, one
// point moved to either side of the tolerance, non-finite points.
#include "plugins/bsp/BspConvex.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

using bsp::AllOnOneSide;
using bsp::TPlane;

bool Plain(const std::vector<TPlane>& planes, const std::vector<TPoint3>& points, double eps) {
  bool allBack = true, allFront = true;
  for (const TPlane& pl : planes) {
    for (const TPoint3& v : points) {
      const double d = pl.n[0] * v.x + pl.n[1] * v.y + pl.n[2] * v.z + pl.d;
      allBack &= !(d > eps);
      allFront &= !(d < -eps);
    }
  }
  return allBack || allFront;
}

class ConvexSphere : public testing::Test {
protected:
  // 2,000 points on a sphere of radius 10 and the plane tangent at each, facing out (or in).
  void Make(bool inward) {
    std::mt19937 rng(4);
    std::normal_distribution<double> g;
    for (int i = 0; i < 2000; ++i) {
      double n[3] = {g(rng), g(rng), g(rng)};
      const double l = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
      for (double& c : n) c /= l;
      const TPoint3 p{float(10 * n[0]), float(10 * n[1]), float(10 * n[2])};
      points.push_back(p);
      TPlane pl{{n[0], n[1], n[2]}, -(n[0] * p.x + n[1] * p.y + n[2] * p.z)};
      if (inward) {
        for (double& c : pl.n) c = -c;
        pl.d = -pl.d;
      }
      planes.push_back(pl);
    }
  }
  // Moves point 0 along its own plane's normal to the given signed distance from it.
  void Push(double distance) {
    const TPlane& pl = planes[0];
    const double now = pl.n[0] * points[0].x + pl.n[1] * points[0].y + pl.n[2] * points[0].z + pl.d;
    points[0].x = float(points[0].x + pl.n[0] * (distance - now));
    points[0].y = float(points[0].y + pl.n[1] * (distance - now));
    points[0].z = float(points[0].z + pl.n[2] * (distance - now));
  }
  std::vector<TPlane> planes;
  std::vector<TPoint3> points;
  const double eps = 1e-3;
};

TEST_F(ConvexSphere, OutwardAndInwardSpheresAreConvex) {
  for (bool inward : {false, true}) {
    planes.clear();
    points.clear();
    Make(inward);
    ASSERT_TRUE(Plain(planes, points, eps));
    EXPECT_TRUE(AllOnOneSide(planes, points, eps)) << "inward " << inward;
  }
}

TEST_F(ConvexSphere, APointJustBeyondTheToleranceIsFoundLikeThePlainTest) {
  Make(false);
  // Distances around eps on both sides; float rounding of the moved point decides the
  // exact value, and the plain test tells what the answer must be.
  for (double distance : {0.5e-3, 0.999e-3, 1.001e-3, 2e-3, 0.1, -0.5}) {
    std::vector<TPoint3> saved = points;
    Push(distance);
    EXPECT_EQ(AllOnOneSide(planes, points, eps), Plain(planes, points, eps)) << distance;
    points = saved;
  }
  Push(0.1);
  EXPECT_FALSE(AllOnOneSide(planes, points, eps));
}

TEST_F(ConvexSphere, NonFinitePointsAreTestedOneByOne) {
  Make(false);
  points.push_back(
      {std::numeric_limits<float>::quiet_NaN(), 0, 0});  // NaN distance: "in the plane"
  EXPECT_EQ(AllOnOneSide(planes, points, eps), Plain(planes, points, eps));
  EXPECT_TRUE(AllOnOneSide(planes, points, eps));
  points.push_back({std::numeric_limits<float>::infinity(), 0, 0});
  EXPECT_EQ(AllOnOneSide(planes, points, eps), Plain(planes, points, eps));
  EXPECT_FALSE(AllOnOneSide(planes, points, eps));
}

}  // namespace
