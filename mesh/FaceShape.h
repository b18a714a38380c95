#pragma once
// Whether a face is one the game draws and collides rightly: planar (every corner near the
// plane its first three corners give, the plane "Calc VTNM" and "CALC D" take) and convex.
// The import makes every face so (interchange/PolygonRebuild.h); "check" reports the others.

#include <span>

#include "mesh/Records.h"

// A corner may lie this far off its face's plane, relative to the model's size (the
// diagonal of the box around its vertices).
constexpr double kPlanarTolerance = 1e-4;

struct TFaceShape {
  bool Plane = true;   // the first three corners span a plane
  bool Planar = true;  // every corner within the tolerance of it
  bool Convex = true;  // every turn to the same side (straight on allowed), one turn in all
  double Off = 0.0;    // the largest distance of a corner from the plane
};

// The shape of a loop of corner positions; a loop whose first three corners span no plane
// is none of the three.
TFaceShape JudgeFace(std::span<const TPoint3> loop, double tolerance);

// The diagonal of the box around `points`; 1 when that is zero or there are none.
double PointsSize(std::span<const TPoint3> points);
