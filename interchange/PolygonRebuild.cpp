// Planar convex game faces from a model's polygons (the steps: PolygonRebuild.h).
//
// Method: each step reads the scene's faces and writes the faces it makes into a new corner
// and face array (TFaceSink), which then replace the old ones; positions are only ever
// added (at the crossings of a self-crossing polygon). MergeFaces grows faces greedily over
// their shared edges, the faces held as rings of corners (see TMergePass); the other steps
// work one face at a time.
//
// Invariants each step keeps and the next relies on: the corners of a face are contiguous
// and in order (face i + 1 starts where face i ends, the last ends at the last corner);
// a face has three corners or more; FaceObjects is empty or holds one object per face; a
// face made from another keeps its material, mesh and file face.
#include "interchange/PolygonRebuild.h"

#include <algorithm>
#include <cassert>
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

// Where two edges of a polygon cross: along the first of them, whose texture coordinates
// and normal the new corner there takes.
struct TCrossing {
  int32_t Edge;
  double T;
};

// Per edge of the polygon, the crossings along it past its start: (how far along, node).
using TNodesAlong = std::vector<std::vector<std::pair<double, int32_t>>>;

// Every pair of edges of the polygon `p` (in its plane) that cross, each crossing a node
// n + its index, entered along both its edges.
std::vector<TCrossing> FindCrossings(const std::vector<TPoint2>& p, TNodesAlong& along) {
  const auto n = static_cast<int32_t>(p.size());
  const auto at = [&](int32_t k) { return p[static_cast<size_t>(k % n)]; };
  std::vector<TCrossing> crossings;
  along.assign(static_cast<size_t>(n), {});
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
  return crossings;
}

// The polygon's edges cut at their crossings, as a plane graph: nodes 0 .. n - 1 are its
// corners, n + i its crossing i. Half-edges come in twin pairs (h and h ^ 1); each node's
// leaving half-edges are sorted by angle, `Slot` giving a half-edge's place among them.
struct TPlaneGraph {
  std::vector<TPoint2> Node;
  std::vector<int32_t> From, To;
  std::vector<std::vector<int32_t>> Leaving;
  std::vector<size_t> Slot;

  // The half-edge after `h` round the face on its left: the one before h's twin in the
  // turn round the node h reaches.
  size_t NextOnLeft(size_t h) const {
    const auto& list = Leaving[static_cast<size_t>(To[h])];
    return static_cast<size_t>(list[(Slot[h ^ 1] + list.size() - 1) % list.size()]);
  }
};

TPlaneGraph CutEdges(const std::vector<TPoint2>& p, const std::vector<TCrossing>& crossings,
                     TNodesAlong& along) {
  const auto n = static_cast<int32_t>(p.size());
  TPlaneGraph g;
  g.Node = p;
  for (const TCrossing& x : crossings) {
    const TPoint2 a = p[static_cast<size_t>(x.Edge)], b = p[static_cast<size_t>((x.Edge + 1) % n)];
    g.Node.push_back({a.x + x.T * (b.x - a.x), a.y + x.T * (b.y - a.y)});
  }
  for (int32_t e = 0; e < n; ++e) {
    auto& list = along[static_cast<size_t>(e)];
    std::sort(list.begin(), list.end());
    int32_t last = e;
    list.push_back({1.0, (e + 1) % n});
    for (const auto& [t, x] : list) {
      if (x == last) continue;
      g.From.insert(g.From.end(), {last, x});
      g.To.insert(g.To.end(), {x, last});
      last = x;
    }
  }
  const size_t halves = g.From.size();
  g.Leaving.resize(g.Node.size());
  for (size_t h = 0; h < halves; ++h)
    g.Leaving[static_cast<size_t>(g.From[h])].push_back(int32_t(h));
  g.Slot.resize(halves);
  for (auto& list : g.Leaving) {
    const auto angle = [&](int32_t h) {
      const TPoint2 a = g.Node[static_cast<size_t>(g.From[static_cast<size_t>(h)])];
      const TPoint2 b = g.Node[static_cast<size_t>(g.To[static_cast<size_t>(h)])];
      return std::atan2(b.y - a.y, b.x - a.x);
    };
    std::sort(list.begin(), list.end(), [&](int32_t a, int32_t b) { return angle(a) < angle(b); });
    for (size_t k = 0; k < list.size(); ++k) g.Slot[static_cast<size_t>(list[k])] = k;
  }
  return g;
}

// The winding number of the polygon `p` around `q`, counted over its own edges.
int32_t WindingNumber(const std::vector<TPoint2>& p, TPoint2 q) {
  const size_t n = p.size();
  int32_t w = 0;
  for (size_t k = 0; k < n; ++k) {
    const TPoint2 a = p[k], b = p[(k + 1) % n];
    if (a.y <= q.y) {
      if (b.y > q.y && Turn2(a, b, q) > 0) ++w;
    } else if (b.y <= q.y && Turn2(a, b, q) < 0) {
      --w;
    }
  }
  return w;
}

// A point inside the counter-clockwise ring of nodes: the middle of an ear that holds no
// other node; (0, 0) when rounding leaves none.
TPoint2 PointInside(const TPlaneGraph& g, const std::vector<int32_t>& ring) {
  const size_t m = ring.size();
  const auto nodeAt = [&](size_t k) { return g.Node[static_cast<size_t>(ring[k % m])]; };
  for (size_t k = 0; k < m; ++k) {
    const TPoint2 a = nodeAt(k + m - 1), b = nodeAt(k), d = nodeAt(k + 1);
    if (!(Turn2(a, b, d) > 0.0)) continue;
    bool empty = true;
    for (size_t j = 0; j < m && empty; ++j) {
      const TPoint2 q = nodeAt(j);
      if (j == k || j == (k + 1) % m || j == (k + m - 1) % m) continue;
      empty = !(Turn2(a, b, q) >= 0 && Turn2(b, d, q) >= 0 && Turn2(d, a, q) >= 0);
    }
    if (empty) return {(a.x + b.x + d.x) / 3, (a.y + b.y + d.y) / 3};
  }
  return {0, 0};
}

// Twice the signed area of a ring of nodes: positive when it turns counter-clockwise.
double RingArea(const TPlaneGraph& g, const std::vector<int32_t>& ring) {
  const size_t m = ring.size();
  double area = 0.0;
  for (size_t k = 0; k < m; ++k)
    area += Turn2({0, 0}, g.Node[static_cast<size_t>(ring[k])],
                  g.Node[static_cast<size_t>(ring[(k + 1) % m])]);
  return area;
}

// The corner at a crossing: a new position there, texture coordinates and normal taken
// along the crossing's first edge of the polygon's corners `c`.
TSceneCorner CornerAtCrossing(TGatheredScene& scene, const TSceneCorner* c, int32_t n,
                              const TCrossing& crossing) {
  const TSceneCorner& a = c[crossing.Edge];
  const TSceneCorner& b = c[(crossing.Edge + 1) % n];
  const double t = crossing.T;
  const auto mix = [t](double s, double q) { return static_cast<float>(s + t * (q - s)); };
  const TVecD pa = Pos(scene.Verts[static_cast<size_t>(a.Vert)]);
  const TVecD pb = Pos(scene.Verts[static_cast<size_t>(b.Vert)]);
  scene.Verts.push_back({mix(pa.x, pb.x), mix(pa.y, pb.y), mix(pa.z, pb.z)});
  TSceneCorner m;
  m.Vert = static_cast<int32_t>(scene.Verts.size() - 1);
  m.Tx = mix(a.Tx, b.Tx);
  m.Ty = mix(a.Ty, b.Ty);
  TVecD nm{mix(a.Normal.x, b.Normal.x), mix(a.Normal.y, b.Normal.y), mix(a.Normal.z, b.Normal.z)};
  const double nl = Len(nm);
  if (nl > 0.0) m.Normal = {float(nm.x / nl), float(nm.y / nl), float(nm.z / nl)};
  return m;
}

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
  TNodesAlong along;
  const std::vector<TCrossing> crossings = FindCrossings(p, along);
  if (crossings.empty()) return false;
  const TPlaneGraph graph = CutEdges(p, crossings, along);
  // The corner of each crossing, made when a piece first needs it.
  std::vector<int32_t> cornerOf(crossings.size(), -1);
  std::vector<TSceneCorner> made;
  const auto cornerAt = [&](int32_t x) -> const TSceneCorner& {
    if (x < n) return c[x];
    int32_t& k = cornerOf[static_cast<size_t>(x - n)];
    if (k < 0) {
      k = static_cast<int32_t>(made.size());
      made.push_back(CornerAtCrossing(scene, c, n, crossings[static_cast<size_t>(x - n)]));
    }
    return made[static_cast<size_t>(k)];
  };
  const size_t halves = graph.From.size();
  std::vector<bool> traced(halves, false);
  std::vector<int32_t> ring;
  std::vector<TSceneCorner> piece;
  bool any = false;
  for (size_t start = 0; start < halves; ++start) {
    if (traced[start]) continue;
    ring.clear();
    for (size_t h = start; !traced[h] && ring.size() <= halves; h = graph.NextOnLeft(h)) {
      traced[h] = true;
      ring.push_back(graph.From[h]);
    }
    // The outside turns clockwise; a ring without area is nothing.
    if (ring.size() < 3 || !(RingArea(graph, ring) > 0.0)) continue;
    if (WindingNumber(p, PointInside(graph, ring)) == 0) continue;
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

// MergeFaces grows faces by rings of corners, as a half-edge structure without its own
// records: every corner of the scene stays where it is, and `Next`/`Prev` say which corner
// follows and precedes it in the ring of the face that now holds it. Joining a neighbour
// across a shared edge (growing corner `edgeStart` -> `edgeEnd`, the neighbour's twin
// `twinStart` -> `twinEnd` between the same two vertices the other way) is a splice of four
// links: edgeStart -> the neighbour's corners after twinEnd ... before twinStart -> edgeEnd.
// The twin's two corners drop out; every other corner of both rings stays in the grown one.
//
// Invariants:
//  - the faces' corners are contiguous and in order (First of each face is where the one
//    before it ended), so that the rings can be linked from First and Count alone;
//  - a ring is closed and doubly linked (Next[Prev[c]] == c) after every splice;
//  - a growing face holds each vertex once (`inGrowing`): a ring passing a vertex twice
//    would be no simple loop;
//  - a face is taken by one growing face at most (`grownInto`), and only while it still is
//    its own ring, so the twin found through the edge table is a ring of the scene's faces.
struct TCornerRings {
  std::vector<int32_t> Next, Prev;
  std::vector<int32_t> FaceOf;  // the face each corner came in
  std::vector<TVecD> Normal;    // each face's unit area normal; zero for a face without area
  std::vector<bool> HasArea;
};

TCornerRings LinkRings(const TGatheredScene& scene) {
  const size_t numCorners = scene.Corners.size(), numFaces = scene.Faces.size();
  TCornerRings rings{std::vector<int32_t>(numCorners), std::vector<int32_t>(numCorners),
                     std::vector<int32_t>(numCorners), std::vector<TVecD>(numFaces),
                     std::vector<bool>(numFaces)};
  const auto pos = [&](int32_t c) {
    return Pos(scene.Verts[static_cast<size_t>(scene.Corners[static_cast<size_t>(c)].Vert)]);
  };
  int32_t following = 0;
  for (size_t i = 0; i < numFaces; ++i) {
    const TSceneFace& f = scene.Faces[i];
    assert(f.First == following && f.Count >= 3 && "a face's corners follow the one before");
    following = f.First + f.Count;
    for (int32_t k = 0; k < f.Count; ++k) {
      const int32_t c = f.First + k, d = f.First + (k + 1) % f.Count;
      rings.Next[static_cast<size_t>(c)] = d;
      rings.Prev[static_cast<size_t>(d)] = c;
      rings.FaceOf[static_cast<size_t>(c)] = static_cast<int32_t>(i);
    }
    const TVecD n = AreaNormal(f.Count, [&](int32_t k) { return pos(f.First + k); });
    const double l = Len(n);
    rings.HasArea[i] = l > 0.0;
    rings.Normal[i] = rings.HasArea[i] ? TVecD{n.x / l, n.y / l, n.z / l} : TVecD{0, 0, 0};
  }
  assert(static_cast<size_t>(following) == numCorners && "every corner is a face's");
  (void)following;
  return rings;
}

// One pass of MergeFaces. `consecutive`: a face grows only by the face that follows the last
// it took in the file's order, as the triangles of one polygon follow one another.
class TMergePass {
public:
  TMergePass(TGatheredScene& scene, double tolerance, bool consecutive, TRebuildCounts& counts)
      : m_scene(scene),
        m_rings(LinkRings(scene)),
        m_edges(scene, m_rings.Next),
        // Half the tolerance: the grown face is judged in the end (FinishFaces) against the
        // plane of its own best three corners, which may tilt from the seed's plane that the
        // corners are held to here; the other half is the room for that tilt.
        m_planeSlack(tolerance / 2),
        m_consecutive(consecutive),
        m_counts(counts),
        m_grownInto(scene.Faces.size(), -1),
        m_inGrowing(scene.Verts.size(), -1),
        m_tried(scene.Verts.size(), -1) {}

  void Run() {
    TFaceSink out;
    out.KeepObjects = m_scene.FaceObjects.size() == m_scene.Faces.size();
    out.Corners.reserve(m_scene.Corners.size());
    for (size_t i = 0; i < m_scene.Faces.size(); ++i) {
      if (m_grownInto[i] >= 0) continue;
      m_grownInto[i] = static_cast<int32_t>(i);
      const bool simple = StartGrowing(i);
      if (simple) Grow();
      Emit(simple, out);
    }
    out.Into(m_scene);
  }

private:
  int32_t Vert(int32_t c) const { return m_scene.Corners[static_cast<size_t>(c)].Vert; }
  TVecD PosOf(int32_t c) const { return Pos(m_scene.Verts[static_cast<size_t>(Vert(c))]); }
  int32_t& Next(int32_t c) { return m_rings.Next[static_cast<size_t>(c)]; }
  int32_t& Prev(int32_t c) { return m_rings.Prev[static_cast<size_t>(c)]; }

  // Makes face `i` the growing one; false when it cannot grow (no area, or a vertex twice),
  // and it then goes out as it came.
  bool StartGrowing(size_t i) {
    m_seed = i;
    m_id = static_cast<int32_t>(i);
    m_object = ObjectOf(m_scene, i);
    m_lastTaken = i;
    m_growingCount = m_scene.Faces[i].Count;
    const TSceneFace& seed = m_scene.Faces[i];
    bool simple = m_rings.HasArea[i];
    for (int32_t k = 0; k < seed.Count && simple; ++k) {
      int32_t& mark = m_inGrowing[static_cast<size_t>(Vert(seed.First + k))];
      simple = mark != m_id;
      mark = m_id;
    }
    m_normal = m_rings.Normal[i];
    m_origin = PosOf(seed.First);
    m_edgesToTry.clear();
    if (simple) {
      for (int32_t k = 0; k < seed.Count; ++k) m_edgesToTry.push_back(seed.First + k);
    }
    return simple;
  }

  // Tries every edge of the growing ring, and again the edges a join changed or brought.
  void Grow() {
    while (!m_edgesToTry.empty()) {
      const int32_t edgeStart = m_edgesToTry.back();
      m_edgesToTry.pop_back();
      const int32_t twinStart = JoinableTwin(edgeStart);
      if (twinStart < 0 || !BroughtCornersFit(edgeStart, twinStart)) continue;
      Join(edgeStart, twinStart);
      if (m_consecutive) {
        // The next face may lie beside an edge passed over while it was not the next.
        m_edgesToTry.clear();
        int32_t c = m_scene.Faces[m_seed].First;
        do {
          m_edgesToTry.push_back(c);
          c = Next(c);
        } while (c != m_scene.Faces[m_seed].First);
      }
    }
  }

  // The neighbour's corner starting the twin of the growing ring's edge from `edgeStart`,
  // when that neighbour may join: a free face with area, of the same material and object,
  // facing the same way, next in the file in a consecutive pass, meeting the edge with the
  // same texture coordinates and normals at both ends. -1 otherwise.
  int32_t JoinableTwin(int32_t edgeStart) {
    const int32_t edgeEnd = Next(edgeStart);
    const int32_t fromVert = Vert(edgeStart), toVert = Vert(edgeEnd);
    // Two corners starting the same edge: a non-manifold or inconsistently turned edge.
    if (m_edges.Find(fromVert, toVert) == TEdgeTable::kShared) return -1;
    const int32_t twinStart = m_edges.Find(toVert, fromVert);
    if (twinStart < 0) return -1;
    const auto other = static_cast<size_t>(m_rings.FaceOf[static_cast<size_t>(twinStart)]);
    const TSceneFace& seed = m_scene.Faces[m_seed];
    if (m_grownInto[other] >= 0 || !m_rings.HasArea[other] ||
        m_scene.Faces[other].Material != seed.Material || ObjectOf(m_scene, other) != m_object ||
        Dot(m_rings.Normal[other], m_normal) <= 0.0 || (m_consecutive && other != m_lastTaken + 1))
      return -1;
    const int32_t twinEnd = Next(twinStart);
    assert(Vert(twinStart) == toVert && Vert(twinEnd) == fromVert && "the twin edge is reversed");
    const auto corner = [&](int32_t c) { return m_scene.Corners[static_cast<size_t>(c)]; };
    if (!SameCorner(corner(edgeStart), corner(twinEnd)) ||
        !SameCorner(corner(edgeEnd), corner(twinStart)))
      return -1;
    return twinStart;
  }

  // Whether the corners the neighbour brings (after its twinEnd, up to before its twinStart)
  // keep the growing ring a simple loop near the seed's plane, turning convexly where they
  // meet it.
  bool BroughtCornersFit(int32_t edgeStart, int32_t twinStart) {
    const int32_t edgeEnd = Next(edgeStart), twinEnd = Next(twinStart);
    ++m_trial;
    bool fits = true;
    for (int32_t x = Next(twinEnd); x != twinStart && fits; x = Next(x)) {
      const auto v = static_cast<size_t>(Vert(x));
      fits = m_inGrowing[v] != m_id && m_tried[v] != m_trial &&
             std::abs(Dot(m_normal, Sub(PosOf(x), m_origin))) <= m_planeSlack;
      m_tried[v] = m_trial;
    }
    const int32_t firstBrought = Next(twinEnd), lastBrought = Prev(twinStart);
    return fits &&
           ConvexTurn(PosOf(Prev(edgeStart)), PosOf(edgeStart), PosOf(firstBrought), m_normal) &&
           ConvexTurn(PosOf(lastBrought), PosOf(edgeEnd), PosOf(Next(edgeEnd)), m_normal);
  }

  void Join(int32_t edgeStart, int32_t twinStart) {
    const int32_t edgeEnd = Next(edgeStart);
    const int32_t firstBrought = Next(Next(twinStart)), lastBrought = Prev(twinStart);
    assert(firstBrought != twinStart && "a neighbour brings at least one corner");
    Next(edgeStart) = firstBrought;
    Prev(firstBrought) = edgeStart;
    Next(lastBrought) = edgeEnd;
    Prev(edgeEnd) = lastBrought;
    for (int32_t x = firstBrought;; x = Next(x)) {
      m_inGrowing[static_cast<size_t>(Vert(x))] = m_id;
      m_edgesToTry.push_back(x);
      ++m_growingCount;
      if (x == lastBrought) break;
    }
    assert(Prev(Next(edgeStart)) == edgeStart && Next(Prev(edgeEnd)) == edgeEnd);
    m_edgesToTry.push_back(edgeStart);
    const auto other = static_cast<size_t>(m_rings.FaceOf[static_cast<size_t>(twinStart)]);
    m_grownInto[other] = m_id;
    m_lastTaken = other;
    ++m_counts.Merged;
  }

  void Emit(bool simple, TFaceSink& out) {
    const TSceneFace& seed = m_scene.Faces[m_seed];
    out.Begin();
    if (simple) {
      int32_t c = seed.First;
      int32_t emitted = 0;
      do {
        out.Add(m_scene.Corners[static_cast<size_t>(c)]);
        ++emitted;
        c = Next(c);
      } while (c != seed.First);
      assert(emitted == m_growingCount && "the grown ring holds every corner it took");
      (void)emitted;
    } else {
      for (int32_t k = 0; k < seed.Count; ++k)
        out.Add(m_scene.Corners[static_cast<size_t>(seed.First + k)]);
    }
    out.End(seed, m_object);
  }

  TGatheredScene& m_scene;
  TCornerRings m_rings;
  const TEdgeTable m_edges;
  const double m_planeSlack;
  const bool m_consecutive;
  TRebuildCounts& m_counts;
  std::vector<int32_t> m_grownInto;  // per face: the face it grew into, -1 while free
  std::vector<int32_t> m_inGrowing;  // per vertex: the growing face that holds it
  std::vector<int32_t> m_tried;      // per vertex: the last join that looked at it
  int32_t m_trial = 0;
  // The growing face: the face it started from, its plane, and the corners of its ring.
  size_t m_seed = 0, m_lastTaken = 0;
  int32_t m_id = 0, m_growingCount = 0;
  uint32_t m_object = 0;
  TVecD m_normal{0, 0, 0}, m_origin{0, 0, 0};
  std::vector<int32_t> m_edgesToTry;  // corners starting edges of the ring to look across
};

}  // namespace

void MergeFaces(TGatheredScene& scene, double tolerance, TRebuildCounts& counts) {
  // First each run of faces that follow one another in the file, then any neighbours: a
  // triangle format writes each polygon's triangles together, and a triangle of the face
  // beside it could otherwise be taken first, leaving the rest of that face in pieces.
  TMergePass(scene, tolerance, true, counts).Run();
  TMergePass(scene, tolerance, false, counts).Run();
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

void RebuildGameFaces(TGatheredScene& scene, double tolerance, TRebuildCounts& counts) {
  MergeFaces(scene, tolerance, counts);
  FinishFaces(scene, tolerance, counts);
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

// The two corners of a loop farthest apart, when all its corners lie within `tolerance` of
// the line through them; false otherwise.
bool OnALine(const TGatheredScene& scene, const std::vector<TSceneCorner>& c, double tolerance,
             size_t& a, size_t& b) {
  const auto pos = [&](const TSceneCorner& x) {
    return Pos(scene.Verts[static_cast<size_t>(x.Vert)]);
  };
  const auto farthest = [&](size_t from) {
    size_t best = from;
    double bestDistance = -1.0;
    for (size_t k = 0; k < c.size(); ++k) {
      const TVecD d = Sub(pos(c[k]), pos(c[from]));
      if (Dot(d, d) > bestDistance) {
        bestDistance = Dot(d, d);
        best = k;
      }
    }
    return best;
  };
  a = farthest(0);
  b = farthest(a);
  const TVecD pa = pos(c[a]), line = Sub(pos(c[b]), pa);
  const double length2 = Dot(line, line);
  if (!(length2 > 0.0)) return false;
  for (const TSceneCorner& x : c) {
    if (Len(Cross(Sub(pos(x), pa), line)) > tolerance * std::sqrt(length2)) return false;
  }
  return true;
}

// Gives the corners `between`, on the edge from `start` to `end`, the texture coordinates
// and normals found where they lie along it.
void TakeValuesAlongEdge(const TGatheredScene& scene, const TSceneCorner& start,
                         const TSceneCorner& end, std::vector<TSceneCorner>& between) {
  const auto pos = [&](const TSceneCorner& x) {
    return Pos(scene.Verts[static_cast<size_t>(x.Vert)]);
  };
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
}

// A loop without area whose corners lie on a line, going out along it and back in one
// edge (or out in one edge and back along it): the corners between its ends go to the one
// live loop across that edge, between the same two ends, with that loop's texture
// coordinates and normals taken along the edge. True when they went.
bool GiveBackCorners(const TGatheredScene& scene, std::vector<TLoop>& loops, size_t index,
                     double tolerance, TLoopEdges& edges) {
  const auto& c = loops[index].Corners;
  const size_t m = c.size();
  size_t a = 0, b = 0;
  if (!OnALine(scene, c, tolerance, a, b)) return false;
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
  TakeValuesAlongEdge(scene, n[at], n[(at + 1) % n.size()], between);
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
  RebuildGameFaces(scene, tolerance, counts);
  return counts;
}
