#pragma once
// Whether a face is one the game draws and collides rightly: planar (every corner near the
// plane its first three corners give, the plane "Calc VTNM" and "CALC D" take) and convex.
// The import makes every face so (interchange/PolygonRebuild.h); "check" reports the others.

#include <array>
#include <span>
#include <vector>

#include "mesh/Records.h"

// Positions in double precision, for judging shapes without float round-off.
struct TVecD {
  double x, y, z;
};
inline TVecD Pos(const TPoint3& p) { return {p.x, p.y, p.z}; }
inline TVecD Sub(TVecD a, TVecD b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline TVecD Cross(TVecD a, TVecD b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Dot(TVecD a, TVecD b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Len(TVecD a);

// Newell's normal of a loop of `count` corners, `posOf(k)` the position of corner k: the way
// its area faces, twice the area long; zero when the corners enclose none.
template <typename TPosOf>
TVecD AreaNormal(int32_t count, TPosOf posOf) {
  TVecD n{0, 0, 0};
  for (int32_t k = 0; k < count; ++k) {
    const TVecD a = posOf(k), b = posOf((k + 1) % count);
    n.x += (a.y - b.y) * (a.z + b.z);
    n.y += (a.z - b.z) * (a.x + b.x);
    n.z += (a.x - b.x) * (a.y + b.y);
  }
  return n;
}

// A right-handed frame (u, v, w) whose w is `n` normalised, for working in a face's plane;
// false when `n` is zero.
bool PlaneFrame(TVecD n, TVecD& u, TVecD& v);

// A turn q -> r after p -> q that keeps a loop convex around `n`: to the left, or straight
// on (a corner on a straight edge), never back.
bool ConvexTurn(TVecD p, TVecD q, TVecD r, TVecD n);

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

// Triangles of a face for a format that holds only triangles, as corner indices in the
// face's turn: none of three corners on a line. A fan from the first corner would make one
// of every corner on a straight edge next to it, a sliver that comes back as a face
// without area; here an ear is cut only at a corner that turns, holding no other corner
// on or in it, and leaving corners that still turn. A face without area, or past
// kMaxSliverFreeCorners, or one that rounding leaves without such an ear, ends as a fan
// of what is left.
constexpr int32_t kMaxSliverFreeCorners = 256;
std::vector<std::array<int32_t, 3>> TriangulateWithoutSlivers(std::span<const TPoint3> loop);
