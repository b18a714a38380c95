// Planar and convex faces (see FaceShape.h).
#include "mesh/FaceShape.h"

#include <algorithm>
#include <cmath>
#include <numbers>

double Len(TVecD a) { return std::sqrt(Dot(a, a)); }

bool PlaneFrame(TVecD n, TVecD& u, TVecD& v) {
  const double nl = Len(n);
  if (!(nl > 0.0)) return false;
  const TVecD w{n.x / nl, n.y / nl, n.z / nl};
  const TVecD helper = std::abs(w.x) < 0.6 ? TVecD{1, 0, 0} : TVecD{0, 1, 0};
  u = Cross(helper, w);
  const double ul = Len(u);
  u = {u.x / ul, u.y / ul, u.z / ul};
  v = Cross(w, u);
  return true;
}

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

std::vector<std::array<int32_t, 3>> TriangulateWithoutSlivers(std::span<const TPoint3> loop) {
  const auto n = static_cast<int32_t>(loop.size());
  std::vector<std::array<int32_t, 3>> out;
  std::vector<int32_t> left(static_cast<size_t>(n));
  for (int32_t k = 0; k < n; ++k) left[static_cast<size_t>(k)] = k;
  const TVecD normal = AreaNormal(n, [&](int32_t k) { return Pos(loop[static_cast<size_t>(k)]); });
  if (n > 3 && n <= kMaxSliverFreeCorners && Len(normal) > 0.0) {
    const auto at = [&](int32_t k) { return Pos(loop[static_cast<size_t>(k)]); };
    // The turn at b: positive to the left around the normal, relative to the edges' lengths
    // (the sine of the angle), so that straight corners count as none whatever the size.
    const auto turn = [&](int32_t a, int32_t b, int32_t d) {
      const TVecD e1 = Sub(at(b), at(a)), e2 = Sub(at(d), at(b));
      const double scale = Len(e1) * Len(e2) * Len(normal);
      return scale > 0.0 ? Dot(Cross(e1, e2), normal) / scale : 0.0;
    };
    constexpr double kStraight = 1e-6;
    const auto inOrOn = [&](int32_t a, int32_t b, int32_t d, int32_t q) {
      return turn(a, b, q) >= -kStraight && turn(b, d, q) >= -kStraight &&
             turn(d, a, q) >= -kStraight;
    };
    while (left.size() > 3) {
      const size_t m = left.size();
      size_t ear = m;
      for (size_t i = 0; i < m && ear == m; ++i) {
        const int32_t a = left[(i + m - 1) % m], b = left[i], d = left[(i + 1) % m];
        if (turn(a, b, d) <= kStraight) continue;
        bool good = true;
        for (size_t j = 0; j < m && good; ++j) {
          const int32_t q = left[j];
          if (q != a && q != b && q != d) good = !inOrOn(a, b, d, q);
        }
        // What is left must still turn somewhere, or its last triangle is a sliver.
        bool turns = false;
        for (size_t j = 0; j < m && good && !turns; ++j) {
          if (j == i) continue;
          const size_t before = (j + m - 1) % m == i ? (j + m - 2) % m : (j + m - 1) % m;
          const size_t after = (j + 1) % m == i ? (j + 2) % m : (j + 1) % m;
          turns = std::abs(turn(left[before], left[j], left[after])) > kStraight;
        }
        if (good && turns) ear = i;
      }
      if (ear == m) break;
      out.push_back({left[(ear + m - 1) % m], left[ear], left[(ear + 1) % m]});
      left.erase(left.begin() + static_cast<std::ptrdiff_t>(ear));
    }
  }
  for (size_t k = 1; k + 1 < left.size(); ++k) out.push_back({left[0], left[k], left[k + 1]});
  return out;
}
