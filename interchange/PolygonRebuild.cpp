// Planar convex game faces from a model's polygons (see PolygonRebuild.h).
#include "interchange/PolygonRebuild.h"

#include <algorithm>
#include <cmath>

#include "mesh/FaceShape.h"
#include "mesh/Normals.h"

namespace {

// The area normal (Newell's) of a loop, not normalised.
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

// Triangles of a polygon by ear clipping in the plane of its area normal; a polygon
// without area, or too large for the quadratic search, goes as a fan.
void EarClip(const TGatheredScene& scene, const TSceneFace& f, uint32_t object, TFaceSink& out) {
  const TSceneCorner* c = scene.Corners.data() + f.First;
  const auto pos = [&](int32_t k) { return Pos(scene.Verts[static_cast<size_t>(c[k].Vert)]); };
  const TVecD n = AreaNormal(f.Count, pos);
  const double nl = Len(n);
  std::vector<int32_t> left(static_cast<size_t>(f.Count));
  for (int32_t k = 0; k < f.Count; ++k) left[static_cast<size_t>(k)] = k;
  constexpr int32_t kMaxEarClip = 4096;
  if (nl > 0.0 && f.Count <= kMaxEarClip) {
    const TVecD w{n.x / nl, n.y / nl, n.z / nl};
    const TVecD helper = std::abs(w.x) < 0.6 ? TVecD{1, 0, 0} : TVecD{0, 1, 0};
    TVecD u = Cross(helper, w);
    const double ul = Len(u);
    u = {u.x / ul, u.y / ul, u.z / ul};
    const TVecD v = Cross(w, u);
    std::vector<std::pair<double, double>> p(static_cast<size_t>(f.Count));
    for (int32_t k = 0; k < f.Count; ++k) {
      const TVecD q = pos(k);
      p[static_cast<size_t>(k)] = {Dot(q, u), Dot(q, v)};
    }
    const auto cross2 = [&](int32_t a, int32_t b, int32_t d) {
      const auto [ax, ay] = p[static_cast<size_t>(a)];
      const auto [bx, by] = p[static_cast<size_t>(b)];
      const auto [dx, dy] = p[static_cast<size_t>(d)];
      return (bx - ax) * (dy - ay) - (by - ay) * (dx - ax);
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
    if (keep) {
      const TSceneCorner* c = scene.Corners.data() + f.First;
      for (int32_t k = 1; k + 1 < f.Count; ++k) out.Triangle(c[0], c[k], c[k + 1], f, object);
    } else {
      EarClip(scene, f, object, out);
    }
  }
  out.Into(scene);
}

void MergeFaces(TGatheredScene& scene, double tolerance, TRebuildCounts& counts) {
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
          ObjectOf(scene, other) != object || Dot(normal[other], n) <= 0.0)
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
      EarClip(scene, f, ObjectOf(scene, i), out);
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

void RebuildGameFaces(TGatheredScene& scene, double tolerance, TRebuildCounts& counts) {
  MergeFaces(scene, tolerance, counts);
  FinishFaces(scene, tolerance, counts);
}

TRebuildCounts RebuildPolygons(TGatheredScene& scene) {
  const double tolerance = kPlanarTolerance * SceneSize(scene);
  TRebuildCounts counts;
  SplitFaces(scene, tolerance, false, counts);
  RebuildGameFaces(scene, tolerance, counts);
  return counts;
}
