#pragma once
// The tree builder's convexity test: do all points lie on one side of all planes?
//
// A set of faces needs no further splitting when every corner lies on or behind the plane
// of every face, or every corner on or in front of every plane. Asked plainly that is a
// test of every plane against every point: quadratic, and on a closed convex mesh (where
// the answer is yes and nothing ends the scan early) the whole cost of the build.
//
// The answer here is exactly the plain test's, point for point. A point's distance to a
// plane is n.x * x + n.y * y + n.z * z + d, computed in double in that order; above eps
// is "in front", below -eps "behind", anything else (NaN included) lies in the plane.
// Points are grouped into boxes; a box whose distance bound (with a margin far above the
// rounding of either computation) settles the question for every point inside is
// skipped, the others are tested point by point.

#include <vector>

#include "plugins/bsp/BspMesh.h"

namespace bsp {

struct TPlane {
  double n[3] = {0, 0, 0};
  double d = 0;
};

// True when no point is in front of any plane, or no point is behind any plane.
bool AllOnOneSide(const std::vector<TPlane>& planes, const std::vector<TPoint3>& points,
                  double eps);

}  // namespace bsp
