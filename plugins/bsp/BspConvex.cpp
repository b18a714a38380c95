#include "plugins/bsp/BspConvex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace bsp {

namespace {

// Points per box, and boxes per group of boxes.
constexpr size_t kLeafSize = 32;
constexpr size_t kGroupSize = 32;
// Relative margin on a box's bound. The rounding of the point's distance and of the
// bound are each a few units in the last place (about 1e-16) of the terms' magnitudes.
constexpr double kMargin = 1e-9;

struct TBox {
  double c[3] = {0, 0, 0};      // centre
  double h[3] = {0, 0, 0};      // half extents
  size_t first = 0, count = 0;  // points (leaf) or boxes (group)
};

double Distance(const TPlane& pl, const TPoint3& v) {
  return pl.n[0] * v.x + pl.n[1] * v.y + pl.n[2] * v.z + pl.d;
}

int SideOf(double d, double eps) { return d > eps ? 1 : (d < -eps ? -1 : 0); }

TBox BoxOf(const double lo[3], const double hi[3], size_t first, size_t count) {
  TBox b;
  for (int i = 0; i < 3; ++i) {
    b.c[i] = 0.5 * (lo[i] + hi[i]);
    b.h[i] = 0.5 * (hi[i] - lo[i]);
  }
  b.first = first;
  b.count = count;
  return b;
}

// Spreads the low 10 bits of v to every third bit (Morton order).
uint32_t Spread(uint32_t v) {
  v &= 0x3FF;
  v = (v | (v << 16)) & 0x030000FF;
  v = (v | (v << 8)) & 0x0300F00F;
  v = (v | (v << 4)) & 0x030C30C3;
  v = (v | (v << 2)) & 0x09249249;
  return v;
}

class TBoxes {
public:
  TBoxes(const std::vector<TPoint3>& points) {
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    std::vector<const TPoint3*> finite;
    finite.reserve(points.size());
    for (const TPoint3& p : points) {
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
        Loose.push_back(p);
        continue;
      }
      finite.push_back(&p);
      const double c[3] = {p.x, p.y, p.z};
      for (int i = 0; i < 3; ++i) {
        lo[i] = std::min(lo[i], c[i]);
        hi[i] = std::max(hi[i], c[i]);
      }
    }
    // Points near in space end up in the same box.
    std::vector<std::pair<uint32_t, const TPoint3*>> keyed;
    keyed.reserve(finite.size());
    for (const TPoint3* p : finite) {
      const double c[3] = {p->x, p->y, p->z};
      uint32_t key = 0;
      for (int i = 0; i < 3; ++i) {
        const double span = hi[i] - lo[i];
        const double q = span > 0 ? (c[i] - lo[i]) / span * 1023.0 : 0.0;
        key |= Spread(static_cast<uint32_t>(std::clamp(q, 0.0, 1023.0))) << i;
      }
      keyed.emplace_back(key, p);
    }
    std::sort(keyed.begin(), keyed.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    Points.reserve(keyed.size());
    for (const auto& k : keyed) Points.push_back(*k.second);

    for (size_t first = 0; first < Points.size(); first += kLeafSize) {
      const size_t count = std::min(kLeafSize, Points.size() - first);
      double blo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, bhi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
      for (size_t k = first; k < first + count; ++k) {
        const double c[3] = {Points[k].x, Points[k].y, Points[k].z};
        for (int i = 0; i < 3; ++i) {
          blo[i] = std::min(blo[i], c[i]);
          bhi[i] = std::max(bhi[i], c[i]);
        }
      }
      Leaves.push_back(BoxOf(blo, bhi, first, count));
    }
    for (size_t first = 0; first < Leaves.size(); first += kGroupSize) {
      const size_t count = std::min(kGroupSize, Leaves.size() - first);
      double glo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, ghi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
      for (size_t k = first; k < first + count; ++k) {
        for (int i = 0; i < 3; ++i) {
          glo[i] = std::min(glo[i], Leaves[k].c[i] - Leaves[k].h[i]);
          ghi[i] = std::max(ghi[i], Leaves[k].c[i] + Leaves[k].h[i]);
        }
      }
      Groups.push_back(BoxOf(glo, ghi, first, count));
    }
  }

  std::vector<TPoint3> Points;  // the finite points, box by box
  std::vector<TPoint3> Loose;   // points with a non-finite coordinate: always tested one by one
  std::vector<TBox> Leaves;
  std::vector<TBox> Groups;
};

// Whether a box may hold a point in front of or behind the plane: false only
// when its bound, widened by the margin, keeps every point inside on the other side.
struct TBoxSides {
  bool mayFront, mayBack;
};

TBoxSides SidesOf(const TPlane& pl, const TBox& b, double eps) {
  double centre = pl.d, reach = 0, size = std::fabs(pl.d);
  for (int i = 0; i < 3; ++i) {
    centre += pl.n[i] * b.c[i];
    reach += std::fabs(pl.n[i]) * b.h[i];
    size += std::fabs(pl.n[i]) * (std::fabs(b.c[i]) + b.h[i]);
  }
  const double margin = kMargin * size + 1e-300;
  // Written so that NaN or infinity anywhere leaves both sides possible.
  return {!(centre + reach + margin <= eps), !(centre - reach - margin >= -eps)};
}

}  // namespace

bool AllOnOneSide(const std::vector<TPlane>& planes, const std::vector<TPoint3>& points,
                  double eps) {
  bool allBack = true, allFront = true;
  // Every point with its exact side; false once both answers are lost.
  auto test = [&](const TPlane& pl, const TPoint3& v) {
    const int s = SideOf(Distance(pl, v), eps);
    allBack &= s <= 0;
    allFront &= s >= 0;
    return allBack || allFront;
  };
  if (planes.size() * points.size() <= kLeafSize * kGroupSize) {
    for (const TPlane& pl : planes) {
      for (const TPoint3& v : points) {
        if (!test(pl, v)) return false;
      }
    }
    return true;
  }
  const TBoxes boxes(points);
  // A box needs its points tested when it may hold a point on a side still in question.
  auto needs = [&](const TPlane& pl, const TBox& b) {
    const TBoxSides s = SidesOf(pl, b, eps);
    return (allBack && s.mayFront) || (allFront && s.mayBack);
  };
  for (const TPlane& pl : planes) {
    for (const TBox& g : boxes.Groups) {
      if (!needs(pl, g)) continue;
      for (size_t l = g.first; l < g.first + g.count; ++l) {
        const TBox& leaf = boxes.Leaves[l];
        if (!needs(pl, leaf)) continue;
        for (size_t k = leaf.first; k < leaf.first + leaf.count; ++k) {
          if (!test(pl, boxes.Points[k])) return false;
        }
      }
    }
    for (const TPoint3& v : boxes.Loose) {
      if (!test(pl, v)) return false;
    }
  }
  return true;
}

}  // namespace bsp
