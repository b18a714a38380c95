// Planar convex game faces from a model's polygons (see PolygonRebuild.h).
#include "interchange/PolygonRebuild.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "mesh/FaceShape.h"
#include "mesh/Normals.h"

namespace {

// The faces and corners being built: each face's corners are copied to the end.
struct TFaceSink {
  std::vector<TSceneCorner> Corners;
  std::vector<TSceneFace> Faces;
  std::vector<uint32_t> Objects;
  bool KeepObjects = false;

  void Begin() { m_first = static_cast<int32_t>(Corners.size()); }
  void Add(const TSceneCorner& c) { Corners.push_back(c); }
  // A piece keeps the material and, for messages, the file's face of the polygon it came
  // from (a merged face the one it grew from).
  void End(const TSceneFace& source, uint32_t object) {
    Faces.push_back({m_first, static_cast<int32_t>(Corners.size()) - m_first, source.Material,
                     source.Mesh, source.FileFace});
    if (KeepObjects) Objects.push_back(object);
  }
  void Triangle(const TSceneCorner& a, const TSceneCorner& b, const TSceneCorner& c,
                const TSceneFace& source, uint32_t object) {
    Begin();
    Add(a);
    Add(b);
    Add(c);
    End(source, object);
  }
  void Into(TGatheredScene& scene) {
    scene.Corners = std::move(Corners);
    scene.Faces = std::move(Faces);
    if (KeepObjects) scene.FaceObjects = std::move(Objects);
  }

private:
  int32_t m_first = 0;
};

uint32_t ObjectOf(const TGatheredScene& scene, size_t face) {
  return scene.FaceObjects.size() == scene.Faces.size() ? scene.FaceObjects[face] : 0;
}

struct TPoint2 {
  double x, y;
};

// Twice the signed area of a, b, c: positive when they turn left.
double Turn2(TPoint2 a, TPoint2 b, TPoint2 c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

// Triangles of a polygon by ear clipping in the plane of its area normal; a polygon
// without area, or too large for the quadratic search, goes as a fan.
void EarClip(const TGatheredScene& scene, const TSceneCorner* c, int32_t count, const TSceneFace& f,
             uint32_t object, TFaceSink& out) {
  const auto pos = [&](int32_t k) { return Pos(scene.Verts[static_cast<size_t>(c[k].Vert)]); };
  std::vector<int32_t> left(static_cast<size_t>(count));
  for (int32_t k = 0; k < count; ++k) left[static_cast<size_t>(k)] = k;
  constexpr int32_t kMaxEarClip = 4096;
  TVecD u, v;
  if (count <= kMaxEarClip && PlaneFrame(AreaNormal(count, pos), u, v)) {
    std::vector<TPoint2> p(static_cast<size_t>(count));
    for (int32_t k = 0; k < count; ++k) {
      const TVecD q = pos(k);
      p[static_cast<size_t>(k)] = {Dot(q, u), Dot(q, v)};
    }
    const auto cross2 = [&](int32_t a, int32_t b, int32_t d) {
      return Turn2(p[static_cast<size_t>(a)], p[static_cast<size_t>(b)], p[static_cast<size_t>(d)]);
    };
    while (left.size() > 3) {
      const size_t m = left.size();
      size_t ear = m;
      for (size_t i = 0; i < m && ear == m; ++i) {
        const int32_t a = left[(i + m - 1) % m], b = left[i], d = left[(i + 1) % m];
        if (cross2(a, b, d) <= 0.0) continue;
        bool empty = true;
        for (size_t j = 0; j < m && empty; ++j) {
          const int32_t q = left[j];
          if (q == a || q == b || q == d) continue;
          empty = !(cross2(a, b, q) >= 0.0 && cross2(b, d, q) >= 0.0 && cross2(d, a, q) >= 0.0);
        }
        if (empty) ear = i;
      }
      if (ear == m) break;  // rounding left no clean ear: the rest goes as a fan
      out.Triangle(c[left[(ear + m - 1) % m]], c[left[ear]], c[left[(ear + 1) % m]], f, object);
      left.erase(left.begin() + static_cast<std::ptrdiff_t>(ear));
    }
  }
  for (size_t k = 1; k + 1 < left.size(); ++k)
    out.Triangle(c[left[0]], c[left[k]], c[left[k + 1]], f, object);
}

// The crossings of a polygon's edges are looked for pair by pair: polygons past this many
// corners are clipped as they are.
constexpr int32_t kMaxCrossingScan = 1024;

// A polygon whose edges cross, cut into the regions it encloses: the edges are split at
// every crossing (a new position there, its texture coordinates and normal taken along the
// first edge), the faces of that plane graph are traced with the face on the left, and
// each one the polygon winds around (a winding number other than zero at a point inside
// it) becomes a piece, clipped into triangles. Every piece so faces the way the area
// normal of the polygon does. False, with nothing written, when no edges cross.
bool CutAtCrossings(TGatheredScene& scene, const TSceneCorner* c, int32_t n, const TSceneFace& f,
                    uint32_t object, TFaceSink& out) {
  if (n < 4 || n > kMaxCrossingScan) return false;
  const auto pos = [&](int32_t k) { return Pos(scene.Verts[static_cast<size_t>(c[k].Vert)]); };
  TVecD u, v;
  if (!PlaneFrame(AreaNormal(n, pos), u, v)) return false;
  std::vector<TPoint2> p(static_cast<size_t>(n));
  for (int32_t k = 0; k < n; ++k) p[static_cast<size_t>(k)] = {Dot(pos(k), u), Dot(pos(k), v)};
  const auto at = [&](int32_t k) { return p[static_cast<size_t>(k % n)]; };
  struct TCrossing {
    int32_t Edge;  // the first edge: the new corner's values are taken along it
    double T;      // where along it
  };
  std::vector<TCrossing> crossings;
  // Per edge, the nodes along it (by how far along) past its start.
  std::vector<std::vector<std::pair<double, int32_t>>> along(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) {
    for (int32_t j = i + 2; j < n; ++j) {
      if (i == 0 && j == n - 1) continue;  // neighbours through the first corner
      const TPoint2 a = at(i), b = at(i + 1), d = at(j), e = at(j + 1);
      const double d1 = Turn2(a, b, d), d2 = Turn2(a, b, e);
      const double d3 = Turn2(d, e, a), d4 = Turn2(d, e, b);
      if (!(((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) &&
            ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0))))
        continue;
      const int32_t node = n + static_cast<int32_t>(crossings.size());
      crossings.push_back({i, d3 / (d3 - d4)});
      along[static_cast<size_t>(i)].push_back({d3 / (d3 - d4), node});
      along[static_cast<size_t>(j)].push_back({d1 / (d1 - d2), node});
    }
  }
  if (crossings.empty()) return false;
  std::vector<TPoint2> node(p);
  for (const TCrossing& x : crossings) {
    const TPoint2 a = at(x.Edge), b = at(x.Edge + 1);
    node.push_back({a.x + x.T * (b.x - a.x), a.y + x.T * (b.y - a.y)});
  }
  // Half-edges in pairs (h and h ^ 1 are twins), each node's leaving ones by angle.
  std::vector<int32_t> from, to;
  for (int32_t e = 0; e < n; ++e) {
    auto& list = along[static_cast<size_t>(e)];
    std::sort(list.begin(), list.end());
    int32_t last = e;
    list.push_back({1.0, (e + 1) % n});
    for (const auto& [t, x] : list) {
      if (x == last) continue;
      from.insert(from.end(), {last, x});
      to.insert(to.end(), {x, last});
      last = x;
    }
  }
  const size_t halves = from.size();
  std::vector<std::vector<int32_t>> leaving(node.size());
  for (size_t h = 0; h < halves; ++h) leaving[static_cast<size_t>(from[h])].push_back(int32_t(h));
  std::vector<size_t> slot(halves);
  for (auto& list : leaving) {
    const auto angle = [&](int32_t h) {
      const TPoint2 a = node[static_cast<size_t>(from[static_cast<size_t>(h)])];
      const TPoint2 b = node[static_cast<size_t>(to[static_cast<size_t>(h)])];
      return std::atan2(b.y - a.y, b.x - a.x);
    };
    std::sort(list.begin(), list.end(), [&](int32_t a, int32_t b) { return angle(a) < angle(b); });
    for (size_t k = 0; k < list.size(); ++k) slot[static_cast<size_t>(list[k])] = k;
  }
  // The corner of each node, made for a crossing when a piece first needs it.
  std::vector<int32_t> cornerOf(node.size(), -1);
  std::vector<TSceneCorner> made;
  const auto cornerAt = [&](int32_t x) -> const TSceneCorner& {
    if (x < n) return c[x];
    int32_t& k = cornerOf[static_cast<size_t>(x)];
    if (k < 0) {
      const TCrossing& cr = crossings[static_cast<size_t>(x - n)];
      const TSceneCorner& a = c[cr.Edge];
      const TSceneCorner& b = c[(cr.Edge + 1) % n];
      const double t = cr.T;
      const auto mix = [t](double s, double q) { return static_cast<float>(s + t * (q - s)); };
      const TVecD pa = pos(cr.Edge), pb = pos((cr.Edge + 1) % n);
      scene.Verts.push_back({mix(pa.x, pb.x), mix(pa.y, pb.y), mix(pa.z, pb.z)});
      TSceneCorner m;
      m.Vert = static_cast<int32_t>(scene.Verts.size() - 1);
      m.Tx = mix(a.Tx, b.Tx);
      m.Ty = mix(a.Ty, b.Ty);
      TVecD nm{mix(a.Normal.x, b.Normal.x), mix(a.Normal.y, b.Normal.y),
               mix(a.Normal.z, b.Normal.z)};
      const double nl = Len(nm);
      if (nl > 0.0) m.Normal = {float(nm.x / nl), float(nm.y / nl), float(nm.z / nl)};
      k = static_cast<int32_t>(made.size());
      made.push_back(m);
    }
    return made[static_cast<size_t>(k)];
  };
  // The polygon's winding number around a point (counted over its own edges).
  const auto winding = [&](TPoint2 q) {
    int32_t w = 0;
    for (int32_t k = 0; k < n; ++k) {
      const TPoint2 a = at(k), b = at(k + 1);
      if (a.y <= q.y) {
        if (b.y > q.y && Turn2(a, b, q) > 0) ++w;
      } else if (b.y <= q.y && Turn2(a, b, q) < 0) {
        --w;
      }
    }
    return w;
  };
  std::vector<bool> traced(halves, false);
  std::vector<int32_t> ring;
  std::vector<TSceneCorner> piece;
  bool any = false;
  for (size_t start = 0; start < halves; ++start) {
    if (traced[start]) continue;
    ring.clear();
    size_t h = start;
    while (!traced[h] && ring.size() <= halves) {
      traced[h] = true;
      ring.push_back(from[h]);
      // The next edge: the one before the twin in the turn around the node reached.
      const auto& list = leaving[static_cast<size_t>(to[h])];
      h = static_cast<size_t>(list[(slot[h ^ 1] + list.size() - 1) % list.size()]);
    }
    const size_t m = ring.size();
    double area = 0.0;
    for (size_t k = 0; k < m; ++k)
      area += Turn2({0, 0}, node[static_cast<size_t>(ring[k])],
                    node[static_cast<size_t>(ring[(k + 1) % m])]);
    if (m < 3 || !(area > 0.0)) continue;  // the outside, or nothing
    // A point inside: the middle of an ear that holds no other node.
    const auto nodeAt = [&](size_t k) { return node[static_cast<size_t>(ring[k % m])]; };
    TPoint2 inside{0, 0};
    for (size_t k = 0; k < m; ++k) {
      const TPoint2 a = nodeAt(k + m - 1), b = nodeAt(k), d = nodeAt(k + 1);
      if (!(Turn2(a, b, d) > 0.0)) continue;
      bool empty = true;
      for (size_t j = 0; j < m && empty; ++j) {
        const TPoint2 q = nodeAt(j);
        if (j == k || j == (k + 1) % m || j == (k + m - 1) % m) continue;
        empty = !(Turn2(a, b, q) >= 0 && Turn2(b, d, q) >= 0 && Turn2(d, a, q) >= 0);
      }
      if (!empty) continue;
      inside = {(a.x + b.x + d.x) / 3, (a.y + b.y + d.y) / 3};
      break;
    }
    if (winding(inside) == 0) continue;
    piece.clear();
    for (const int32_t x : ring) piece.push_back(cornerAt(x));
    EarClip(scene, piece.data(), static_cast<int32_t>(piece.size()), f, object, out);
    any = true;
  }
  return any;
}

// The corner k at which corners k, k + 1, k + 2 span the largest triangle.
int32_t BestStart(const TGatheredScene& scene, const TSceneFace& f) {
  const auto pos = [&](int32_t k) {
    return Pos(scene.Verts[static_cast<size_t>(
        scene.Corners[static_cast<size_t>(f.First + k % f.Count)].Vert)]);
  };
  int32_t best = 0;
  double bestArea = -1.0;
  for (int32_t k = 0; k < f.Count; ++k) {
    const TVecD b = pos(k + 1);
    const double area = Len(Cross(Sub(pos(k), b), Sub(pos(k + 2), b)));
    if (area > bestArea) {
      bestArea = area;
      best = k;
    }
  }
  return best;
}

// Judged as "CALC D" will see it: from the best start. `loop` is scratch space.
bool PlanarConvex(const TGatheredScene& scene, const TSceneFace& f, double tolerance,
                  std::vector<TPoint3>& loop) {
  const int32_t start = BestStart(scene, f);
  loop.resize(static_cast<size_t>(f.Count));
  for (int32_t k = 0; k < f.Count; ++k) {
    const TSceneCorner& c = scene.Corners[static_cast<size_t>(f.First + (start + k) % f.Count)];
    loop[static_cast<size_t>(k)] = scene.Verts[static_cast<size_t>(c.Vert)];
  }
  const TFaceShape shape = JudgeFace(loop, tolerance);
  return shape.Planar && shape.Convex;
}

bool SameCorner(const TSceneCorner& a, const TSceneCorner& b) {
  const auto near = [](float p, float q) {
    return std::abs(double{p} - q) <= 1e-6 * std::max(1.0, std::abs(double{p}));
  };
  const auto nearNormal = [](float p, float q) {
    return std::abs(double{p} - q) <= kNormalTolerance;
  };
  return near(a.Tx, b.Tx) && near(a.Ty, b.Ty) && nearNormal(a.Normal.x, b.Normal.x) &&
         nearNormal(a.Normal.y, b.Normal.y) && nearNormal(a.Normal.z, b.Normal.z);
}

// Directed edges (from vertex, to vertex) -> the corner they start at; kShared when more
// than one corner starts such an edge (a non-manifold or inconsistently turned edge). The
// corners are bucketed by their first vertex (a counting sort): a look-up scans the few
// edges leaving one vertex, and neighbouring vertices of the file lie near in memory, which
// a hash of the pair would scatter.
class TEdgeTable {
public:
  static constexpr int32_t kNone = -1, kShared = -2;

  TEdgeTable(const TGatheredScene& scene, const std::vector<int32_t>& next)
      : m_first(scene.Verts.size() + 1, 0),
        m_corners(scene.Corners.size()),
        m_to(scene.Corners.size()) {
    for (const TSceneCorner& c : scene.Corners) ++m_first[static_cast<size_t>(c.Vert) + 1];
    for (size_t v = 1; v < m_first.size(); ++v) m_first[v] += m_first[v - 1];
    std::vector<int32_t> fill(m_first.begin(), m_first.end() - 1);
    for (size_t c = 0; c < scene.Corners.size(); ++c) {
      m_corners[static_cast<size_t>(fill[static_cast<size_t>(scene.Corners[c].Vert)]++)] =
          static_cast<int32_t>(c);
      m_to[c] = scene.Corners[static_cast<size_t>(next[c])].Vert;
    }
  }
  int32_t Find(int32_t from, int32_t to) const {
    int32_t found = kNone;
    const auto v = static_cast<size_t>(from);
    for (int32_t i = m_first[v]; i < m_first[v + 1]; ++i) {
      const int32_t c = m_corners[static_cast<size_t>(i)];
      if (m_to[static_cast<size_t>(c)] != to) continue;
      if (found != kNone) return kShared;
      found = c;
    }
    return found;
  }

private:
  std::vector<int32_t> m_first, m_corners, m_to;
};

}  // namespace

double SceneSize(const TGatheredScene& scene) { return PointsSize(scene.Verts); }

void SplitFaces(TGatheredScene& scene, double tolerance, bool allTriangles,
                TRebuildCounts& counts) {
  std::vector<TPoint3> loop;
  std::vector<bool> keeps(scene.Faces.size());
  bool all = true;
  for (size_t i = 0; i < scene.Faces.size(); ++i) {
    const TSceneFace& f = scene.Faces[i];
    keeps[i] = f.Count == 3 || PlanarConvex(scene, f, tolerance, loop);
    all = all && keeps[i] && (!allTriangles || f.Count == 3);
  }
  if (all) return;  // nothing to cut: the scene stays as it is
  TFaceSink out;
  out.KeepObjects = scene.FaceObjects.size() == scene.Faces.size();
  out.Corners.reserve(scene.Corners.size());
  out.Faces.reserve(scene.Faces.size());
  for (size_t i = 0; i < scene.Faces.size(); ++i) {
    const TSceneFace& f = scene.Faces[i];
    const uint32_t object = ObjectOf(scene, i);
    const bool keep = keeps[i];
    if (keep && (!allTriangles || f.Count == 3)) {
      out.Begin();
      for (int32_t k = 0; k < f.Count; ++k)
        out.Add(scene.Corners[static_cast<size_t>(f.First + k)]);
      out.End(f, object);
      continue;
    }
    if (!keep) ++counts.Split;
    const TSceneCorner* c = scene.Corners.data() + f.First;
    if (keep) {
      for (int32_t k = 1; k + 1 < f.Count; ++k) out.Triangle(c[0], c[k], c[k + 1], f, object);
    } else if (CutAtCrossings(scene, c, f.Count, f, object, out)) {
      ++counts.Crossing;
    } else {
      EarClip(scene, c, f.Count, f, object, out);
    }
  }
  out.Into(scene);
}

namespace {

// One pass of MergeFaces. `consecutive`: a face grows only by the face that follows the last
// it took in the file's order, as the triangles of one polygon follow one another.
void MergePass(TGatheredScene& scene, double tolerance, bool consecutive, TRebuildCounts& counts) {
  const size_t numCorners = scene.Corners.size(), numFaces = scene.Faces.size();
  const auto vert = [&](int32_t c) { return scene.Corners[static_cast<size_t>(c)].Vert; };
  const auto pos = [&](int32_t c) { return Pos(scene.Verts[static_cast<size_t>(vert(c))]); };
  std::vector<int32_t> next(numCorners), prev(numCorners), faceOf(numCorners);
  std::vector<TVecD> normal(numFaces);
  std::vector<bool> flat(numFaces);
  for (size_t i = 0; i < numFaces; ++i) {
    const TSceneFace& f = scene.Faces[i];
    for (int32_t k = 0; k < f.Count; ++k) {
      const int32_t c = f.First + k, d = f.First + (k + 1) % f.Count;
      next[static_cast<size_t>(c)] = d;
      prev[static_cast<size_t>(d)] = c;
      faceOf[static_cast<size_t>(c)] = static_cast<int32_t>(i);
    }
    const TVecD n = AreaNormal(f.Count, [&](int32_t k) { return pos(f.First + k); });
    const double l = Len(n);
    flat[i] = l > 0.0;
    normal[i] = flat[i] ? TVecD{n.x / l, n.y / l, n.z / l} : TVecD{0, 0, 0};
  }
  const TEdgeTable edges(scene, next);
  const double halfTolerance = tolerance / 2;
  std::vector<int32_t> group(numFaces, -1);
  std::vector<int32_t> inPolygon(scene.Verts.size(), -1), tried(scene.Verts.size(), -1);
  int32_t trial = 0;
  std::vector<int32_t> stack;
  TFaceSink out;
  out.KeepObjects = scene.FaceObjects.size() == numFaces;
  out.Corners.reserve(numCorners);
  for (size_t i = 0; i < numFaces; ++i) {
    if (group[i] >= 0) continue;
    const auto id = static_cast<int32_t>(i);
    group[i] = id;
    const TSceneFace& seed = scene.Faces[i];
    const uint32_t object = ObjectOf(scene, i);
    bool simple = flat[i];
    for (int32_t k = 0; k < seed.Count && simple; ++k) {
      int32_t& mark = inPolygon[static_cast<size_t>(vert(seed.First + k))];
      simple = mark != id;
      mark = id;
    }
    const TVecD n = normal[i], origin = pos(seed.First);
    size_t last = i;  // the last face taken, in the file's order
    stack.clear();
    if (simple) {
      for (int32_t k = 0; k < seed.Count; ++k) stack.push_back(seed.First + k);
    }
    while (!stack.empty()) {
      const int32_t c = stack.back();
      stack.pop_back();
      const int32_t d = next[static_cast<size_t>(c)];
      const int32_t a = vert(c), b = vert(d);
      if (edges.Find(a, b) == TEdgeTable::kShared) continue;
      const int32_t t = edges.Find(b, a);
      if (t < 0) continue;
      const auto other = static_cast<size_t>(faceOf[static_cast<size_t>(t)]);
      if (group[other] >= 0 || !flat[other] || scene.Faces[other].Material != seed.Material ||
          ObjectOf(scene, other) != object || Dot(normal[other], n) <= 0.0 ||
          (consecutive && other != last + 1))
        continue;
      const int32_t ta = next[static_cast<size_t>(t)];
      if (!SameCorner(scene.Corners[static_cast<size_t>(c)],
                      scene.Corners[static_cast<size_t>(ta)]) ||
          !SameCorner(scene.Corners[static_cast<size_t>(d)], scene.Corners[static_cast<size_t>(t)]))
        continue;
      // The corners the neighbour brings: each a vertex new to the polygon, near its plane.
      ++trial;
      bool good = true;
      for (int32_t x = next[static_cast<size_t>(ta)]; x != t && good;
           x = next[static_cast<size_t>(x)]) {
        const auto v = static_cast<size_t>(vert(x));
        good = inPolygon[v] != id && tried[v] != trial &&
               std::abs(Dot(n, Sub(pos(x), origin))) <= halfTolerance;
        tried[v] = trial;
      }
      const int32_t x1 = next[static_cast<size_t>(ta)], xk = prev[static_cast<size_t>(t)];
      if (!good || !ConvexTurn(pos(prev[static_cast<size_t>(c)]), pos(c), pos(x1), n) ||
          !ConvexTurn(pos(xk), pos(d), pos(next[static_cast<size_t>(d)]), n))
        continue;
      next[static_cast<size_t>(c)] = x1;
      prev[static_cast<size_t>(x1)] = c;
      next[static_cast<size_t>(xk)] = d;
      prev[static_cast<size_t>(d)] = xk;
      for (int32_t x = x1;; x = next[static_cast<size_t>(x)]) {
        inPolygon[static_cast<size_t>(vert(x))] = id;
        stack.push_back(x);
        if (x == xk) break;
      }
      stack.push_back(c);
      group[other] = id;
      ++counts.Merged;
      if (consecutive) {
        // The next face may lie beside an edge passed over while it was not the next.
        last = other;
        stack.clear();
        int32_t x = seed.First;
        do {
          stack.push_back(x);
          x = next[static_cast<size_t>(x)];
        } while (x != seed.First);
      }
    }
    out.Begin();
    if (simple) {
      int32_t c = seed.First;
      do {
        out.Add(scene.Corners[static_cast<size_t>(c)]);
        c = next[static_cast<size_t>(c)];
      } while (c != seed.First);
    } else {
      for (int32_t k = 0; k < seed.Count; ++k)
        out.Add(scene.Corners[static_cast<size_t>(seed.First + k)]);
    }
    out.End(seed, object);
  }
  out.Into(scene);
}

}  // namespace

void MergeFaces(TGatheredScene& scene, double tolerance, TRebuildCounts& counts) {
  // First each run of faces that follow one another in the file, then any neighbours: a
  // triangle format writes each polygon's triangles together, and a triangle of the face
  // beside it could otherwise be taken first, leaving the rest of that face in pieces.
  MergePass(scene, tolerance, true, counts);
  MergePass(scene, tolerance, false, counts);
}

void FinishFaces(TGatheredScene& scene, double tolerance, TRebuildCounts& counts) {
  bool anySplit = false;
  std::vector<TPoint3> loop;
  std::vector<bool> split(scene.Faces.size(), false);
  for (size_t i = 0; i < scene.Faces.size(); ++i) {
    const TSceneFace& f = scene.Faces[i];
    const auto first = scene.Corners.begin() + f.First;
    std::rotate(first, first + BestStart(scene, f), first + f.Count);
    split[i] = f.Count > 3 && !PlanarConvex(scene, f, tolerance, loop);
    anySplit = anySplit || split[i];
  }
  if (!anySplit) return;
  TFaceSink out;
  out.KeepObjects = scene.FaceObjects.size() == scene.Faces.size();
  for (size_t i = 0; i < scene.Faces.size(); ++i) {
    const TSceneFace& f = scene.Faces[i];
    if (split[i]) {
      ++counts.Split;
      EarClip(scene, scene.Corners.data() + f.First, f.Count, f, ObjectOf(scene, i), out);
    } else {
      out.Begin();
      for (int32_t k = 0; k < f.Count; ++k)
        out.Add(scene.Corners[static_cast<size_t>(f.First + k)]);
      out.End(f, ObjectOf(scene, i));
    }
  }
  out.Into(scene);
  // The triangles start where they were cut; give them their best start too.
  for (TSceneFace& f : scene.Faces) {
    const auto first = scene.Corners.begin() + f.First;
    std::rotate(first, first + BestStart(scene, f), first + f.Count);
  }
}

namespace {

struct TLoop {
  std::vector<TSceneCorner> Corners;
  size_t Source = 0;  // the scene's face it came from
  bool Alive = true;
};

uint64_t EdgeKey(int32_t from, int32_t to) {
  return (uint64_t{static_cast<uint32_t>(from)} << 32) | static_cast<uint32_t>(to);
}

// The loops of each face: a corner repeating the one before goes, and where the polygon
// comes back to a corner it passed, the loop since then is closed off. Faces that leave
// no loop of three corners count as faces without area.
std::vector<TLoop> CornerLoops(const TGatheredScene& scene, TRebuildCounts& counts) {
  std::vector<TLoop> loops;
  loops.reserve(scene.Faces.size());
  std::vector<int32_t> onStack(scene.Verts.size(), -1);
  std::vector<TSceneCorner> stack;
  for (size_t i = 0; i < scene.Faces.size(); ++i) {
    const TSceneFace& f = scene.Faces[i];
    const size_t before = loops.size();
    const auto close = [&](size_t from) {
      for (size_t k = from + 1; k < stack.size(); ++k)
        onStack[static_cast<size_t>(stack[k].Vert)] = -1;
      if (stack.size() - from >= 3) {
        loops.push_back({{stack.begin() + static_cast<std::ptrdiff_t>(from), stack.end()}, i});
      } else {
        counts.RepeatedCorners += static_cast<int64_t>(stack.size() - from);
      }
      stack.resize(from + 1);
    };
    stack.clear();
    for (int32_t k = 0; k < f.Count; ++k) {
      const TSceneCorner& c = scene.Corners[static_cast<size_t>(f.First + k)];
      if (!stack.empty() && stack.back().Vert == c.Vert) {
        ++counts.RepeatedCorners;
        continue;
      }
      int32_t& mark = onStack[static_cast<size_t>(c.Vert)];
      if (mark >= 0) {
        close(static_cast<size_t>(mark));
        continue;
      }
      mark = static_cast<int32_t>(stack.size());
      stack.push_back(c);
    }
    if (!stack.empty()) {
      close(0);
      onStack[static_cast<size_t>(stack[0].Vert)] = -1;
    }
    if (loops.size() == before) ++counts.NoArea;
  }
  return loops;
}

// Drops every loop that repeats the corners of one before it, in the same turn from any
// start.
void DropRepeatedLoops(std::vector<TLoop>& loops, TRebuildCounts& counts) {
  const auto canonical = [](const TLoop& loop) {
    const auto& c = loop.Corners;
    size_t low = 0;
    for (size_t k = 1; k < c.size(); ++k) {
      if (c[k].Vert < c[low].Vert) low = k;
    }
    std::vector<int32_t> verts(c.size());
    for (size_t k = 0; k < c.size(); ++k) verts[k] = c[(low + k) % c.size()].Vert;
    return verts;
  };
  const auto hash = [](const std::vector<int32_t>& verts) {
    uint64_t h = 1469598103934665603ull;
    for (const int32_t v : verts) h = (h ^ static_cast<uint32_t>(v)) * 1099511628211ull;
    return h;
  };
  std::unordered_map<uint64_t, std::vector<size_t>> seen;
  std::vector<std::vector<int32_t>> keys(loops.size());
  for (size_t i = 0; i < loops.size(); ++i) {
    keys[i] = canonical(loops[i]);
    auto& same = seen[hash(keys[i])];
    if (std::any_of(same.begin(), same.end(), [&](size_t j) { return keys[j] == keys[i]; })) {
      loops[i].Alive = false;
      ++counts.Repeated;
    } else {
      same.push_back(i);
    }
  }
}

// The directed edges of the live loops -> the loop; -2 where more than one has the edge.
class TLoopEdges {
public:
  explicit TLoopEdges(const std::vector<TLoop>& loops) {
    for (size_t i = 0; i < loops.size(); ++i) {
      if (loops[i].Alive) Add(loops[i], static_cast<int32_t>(i));
    }
  }
  void Add(const TLoop& loop, int32_t owner) {
    const auto& c = loop.Corners;
    for (size_t k = 0; k < c.size(); ++k) Add(c[k].Vert, c[(k + 1) % c.size()].Vert, owner);
  }
  void Add(int32_t from, int32_t to, int32_t owner) {
    const auto [at, added] = m_owner.try_emplace(EdgeKey(from, to), owner);
    if (!added && at->second != owner) at->second = -2;
  }
  void Remove(int32_t from, int32_t to, int32_t owner) {
    const auto at = m_owner.find(EdgeKey(from, to));
    if (at != m_owner.end() && at->second == owner) m_owner.erase(at);
  }
  void Remove(const TLoop& loop, int32_t owner) {
    const auto& c = loop.Corners;
    for (size_t k = 0; k < c.size(); ++k) Remove(c[k].Vert, c[(k + 1) % c.size()].Vert, owner);
  }
  int32_t Owner(int32_t from, int32_t to) const {
    const auto at = m_owner.find(EdgeKey(from, to));
    return at == m_owner.end() ? -1 : at->second;
  }

private:
  std::unordered_map<uint64_t, int32_t> m_owner;
};

// A loop without area whose corners lie on a line, going out along it and back in one
// edge (or out in one edge and back along it): the corners between its ends go to the one
// live loop across that edge, between the same two ends, with that loop's texture
// coordinates and normals taken along the edge. True when they went.
bool GiveBackCorners(const TGatheredScene& scene, std::vector<TLoop>& loops, size_t index,
                     double tolerance, TLoopEdges& edges) {
  const auto& c = loops[index].Corners;
  const size_t m = c.size();
  const auto pos = [&](const TSceneCorner& x) {
    return Pos(scene.Verts[static_cast<size_t>(x.Vert)]);
  };
  const auto farthest = [&](size_t from) {
    size_t best = from;
    double bestDistance = -1.0;
    for (size_t k = 0; k < m; ++k) {
      const TVecD d = Sub(pos(c[k]), pos(c[from]));
      if (Dot(d, d) > bestDistance) {
        bestDistance = Dot(d, d);
        best = k;
      }
    }
    return best;
  };
  const size_t a = farthest(0), b = farthest(a);
  const TVecD pa = pos(c[a]), line = Sub(pos(c[b]), pa);
  const double length2 = Dot(line, line);
  if (!(length2 > 0.0)) return false;
  for (const TSceneCorner& x : c) {
    if (Len(Cross(Sub(pos(x), pa), line)) > tolerance * std::sqrt(length2)) return false;
  }
  // Out from a to b along the corners between, back in one edge; or the other way.
  size_t from = a, to = b;
  if ((b + 1) % m != a) {
    if ((a + 1) % m != b) return false;  // corners between on both ways
    std::swap(from, to);
  }
  std::vector<TSceneCorner> between;
  for (size_t k = (from + 1) % m; k != to; k = (k + 1) % m) between.push_back(c[k]);
  const int32_t vFrom = c[from].Vert, vTo = c[to].Vert;
  const int32_t owner = edges.Owner(vFrom, vTo);
  if (owner < 0 || static_cast<size_t>(owner) == index || !loops[static_cast<size_t>(owner)].Alive)
    return false;
  auto& n = loops[static_cast<size_t>(owner)].Corners;
  size_t at = n.size();
  for (size_t k = 0; k < n.size(); ++k) {
    for (const TSceneCorner& x : between) {
      if (n[k].Vert == x.Vert) return false;  // it would pass a corner twice
    }
    if (n[k].Vert == vFrom && n[(k + 1) % n.size()].Vert == vTo) at = k;
  }
  if (at == n.size()) return false;
  const TSceneCorner start = n[at], end = n[(at + 1) % n.size()];
  const TVecD p0 = pos(start), p1 = pos(end);
  const TVecD edge = Sub(p1, p0);
  const double edge2 = Dot(edge, edge);
  for (TSceneCorner& x : between) {
    const double t = std::clamp(Dot(Sub(pos(x), p0), edge) / edge2, 0.0, 1.0);
    const auto mix = [t](float s, float q) {
      return static_cast<float>(double{s} + t * (double{q} - s));
    };
    x.Tx = mix(start.Tx, end.Tx);
    x.Ty = mix(start.Ty, end.Ty);
    TVecD normal{mix(start.Normal.x, end.Normal.x), mix(start.Normal.y, end.Normal.y),
                 mix(start.Normal.z, end.Normal.z)};
    const double l = Len(normal);
    x.Normal = l > 0.0 ? TPoint3{float(normal.x / l), float(normal.y / l), float(normal.z / l)}
                       : TPoint3{0, 0, 0};
  }
  edges.Remove(vFrom, vTo, owner);
  int32_t last = vFrom;
  for (const TSceneCorner& x : between) {
    edges.Add(last, x.Vert, owner);
    last = x.Vert;
  }
  edges.Add(last, vTo, owner);
  n.insert(n.begin() + static_cast<std::ptrdiff_t>(at + 1), between.begin(), between.end());
  return true;
}

}  // namespace

void DropFacesWithoutArea(TGatheredScene& scene, double tolerance, TRebuildCounts& counts) {
  std::vector<TLoop> loops = CornerLoops(scene, counts);
  DropRepeatedLoops(loops, counts);
  // Narrower than the tolerance: twice the area (the length of Newell's normal) at most the
  // tolerance times the loop's extent, as a triangle whose height is the tolerance.
  std::vector<bool> noArea(loops.size(), false);
  for (size_t i = 0; i < loops.size(); ++i) {
    const auto& c = loops[i].Corners;
    const auto pos = [&](int32_t k) {
      return Pos(scene.Verts[static_cast<size_t>(c[static_cast<size_t>(k)].Vert)]);
    };
    TVecD lo = pos(0), hi = lo;
    for (int32_t k = 1; k < static_cast<int32_t>(c.size()); ++k) {
      const TVecD q = pos(k);
      lo = {std::min(lo.x, q.x), std::min(lo.y, q.y), std::min(lo.z, q.z)};
      hi = {std::max(hi.x, q.x), std::max(hi.y, q.y), std::max(hi.z, q.z)};
    }
    noArea[i] =
        Len(AreaNormal(static_cast<int32_t>(c.size()), pos)) <= tolerance * Len(Sub(hi, lo));
  }
  TLoopEdges edges(loops);
  for (size_t i = 0; i < loops.size(); ++i) {
    if (!noArea[i] || !loops[i].Alive) continue;
    if (GiveBackCorners(scene, loops, i, tolerance, edges)) ++counts.GivenBack;
    edges.Remove(loops[i], static_cast<int32_t>(i));
    loops[i].Alive = false;
    ++counts.NoArea;
  }
  TFaceSink out;
  out.KeepObjects = scene.FaceObjects.size() == scene.Faces.size();
  out.Corners.reserve(scene.Corners.size());
  out.Faces.reserve(loops.size());
  for (const TLoop& loop : loops) {
    if (!loop.Alive) continue;
    out.Begin();
    for (const TSceneCorner& c : loop.Corners) out.Add(c);
    out.End(scene.Faces[loop.Source], ObjectOf(scene, loop.Source));
  }
  out.Into(scene);
}

TRebuildCounts RebuildPolygons(TGatheredScene& scene) {
  const double tolerance = kPlanarTolerance * SceneSize(scene);
  TRebuildCounts counts;
  DropFacesWithoutArea(scene, tolerance, counts);
  SplitFaces(scene, tolerance, false, counts);
  MergeFaces(scene, tolerance, counts);
  FinishFaces(scene, tolerance, counts);
  return counts;
}
