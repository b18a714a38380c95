// Planar and convex faces (see FaceShape.h).
#include "mesh/FaceShape.h"

#include <algorithm>
#include <cmath>
#include <numbers>

double Len(TVecD a) { return std::sqrt(Dot(a, a)); }

bool ConvexTurn(TVecD p, TVecD q, TVecD r, TVecD n) {
  const TVecD e1 = Sub(q, p), e2 = Sub(r, q);
  const double s = Dot(Cross(e1, e2), n), scale = 1e-6 * Len(e1) * Len(e2);
  if (s < -scale) return false;
  return s > scale || Dot(e1, e2) > 0.0;
}

TFaceShape JudgeFace(std::span<const TPoint3> loop, double tolerance) {
  const auto n = static_cast<int32_t>(loop.size());
  if (n < 3) return {false, false, false, 0.0};
  const auto at = [&](int32_t k) { return Pos(loop[static_cast<size_t>((k % n + n) % n)]); };
  // As "Calc VTNM" takes it: (p1 - p2) x (p3 - p2).
  TVecD normal = Cross(Sub(at(0), at(1)), Sub(at(2), at(1)));
  const double length = Len(normal);
  if (!(length > 0.0)) return {false, false, false, 0.0};
  normal = {normal.x / length, normal.y / length, normal.z / length};
  TFaceShape shape;
  for (int32_t k = 0; k < n; ++k) {
    shape.Off = std::max(shape.Off, std::abs(Dot(normal, Sub(at(k), at(1)))));
  }
  // The loop turns left around -normal at its second corner; every turn the same way, and
  // one full turn in all.
  // Judged in the plane: a corner off it turns as its shadow on it does.
  const TVecD up{-normal.x, -normal.y, -normal.z};
  const TVecD origin = at(1);
  const auto flat = [&](int32_t k) {
    const TVecD p = at(k);
    const double d = Dot(normal, Sub(p, origin));
    return TVecD{p.x - d * normal.x, p.y - d * normal.y, p.z - d * normal.z};
  };
  double turning = 0.0;
  for (int32_t k = 0; k < n; ++k) {
    const TVecD p = flat(k - 1), q = flat(k), r = flat(k + 1);
    if (!ConvexTurn(p, q, r, up)) shape.Convex = false;
    const TVecD e1 = Sub(q, p), e2 = Sub(r, q);
    if (Len(e1) > 0.0 && Len(e2) > 0.0) turning += std::atan2(Dot(Cross(e1, e2), up), Dot(e1, e2));
  }
  if (std::abs(turning - 2.0 * std::numbers::pi) > 1e-3) shape.Convex = false;
  shape.Planar = shape.Off <= tolerance;
  return shape;
}

bool EnclosesArea(std::span<const TPoint3> loop) {
  double nx = 0, ny = 0, nz = 0, scale = 0;
  for (size_t k = 0; k < loop.size(); ++k) {
    const TPoint3& a = loop[k];
    const TPoint3& b = loop[(k + 1) % loop.size()];
    nx += (double{a.y} - b.y) * (double{a.z} + b.z);
    ny += (double{a.z} - b.z) * (double{a.x} + b.x);
    nz += (double{a.x} - b.x) * (double{a.y} + b.y);
    scale += (double{a.x} - b.x) * (double{a.x} - b.x) + (double{a.y} - b.y) * (double{a.y} - b.y) +
             (double{a.z} - b.z) * (double{a.z} - b.z);
  }
  // Relative to the size of the face, so that rounding of collinear corners counts as none.
  return std::sqrt(nx * nx + ny * ny + nz * nz) > 1e-7 * scale;
}

double PointsSize(std::span<const TPoint3> points) {
  if (points.empty()) return 1.0;
  TVecD lo = Pos(points[0]), hi = lo;
  for (const TPoint3& p : points) {
    lo = {std::min(lo.x, double{p.x}), std::min(lo.y, double{p.y}), std::min(lo.z, double{p.z})};
    hi = {std::max(hi.x, double{p.x}), std::max(hi.y, double{p.y}), std::max(hi.z, double{p.z})};
  }
  const double size = Len(Sub(hi, lo));
  return std::isfinite(size) && size > 0.0 ? size : 1.0;
}
