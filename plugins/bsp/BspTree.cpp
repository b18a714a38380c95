#include "plugins/bsp/BspTree.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <unordered_map>
#include <utility>

#include "plugins/bsp/BspConvex.h"

namespace bsp {

namespace {

struct TPlaneD {
  double n[3] = {0, 0, 0};
  double d = 0;
  bool valid = false;
};

// A corner of a face being built: an FVRT record whose Vert and Vtnm index the tree's
// vertex and normal arrays.
using TWCorner = TFvrtRecord;

struct TPoly {
  int32_t source = 0;  // input face
  int32_t plane = -1;  // index of the input face whose plane this face lies in, -1 = none
  int64_t seq = 0;     // creation order, keeps the pieces of one face in a stable order
  std::vector<TWCorner> corners;
};

enum TSide { kOn = 0, kFront = 1, kBack = 2, kStraddle = 3 };

struct TTask {
  std::vector<TPoly> polys;
  int32_t parent = -1;  // node whose child slot receives the result, -1 = the root
  bool front = false;
};

struct TKeyHash {
  size_t operator()(const std::pair<uint64_t, int32_t>& k) const {
    return std::hash<uint64_t>()(k.first * 0x9E3779B97F4A7C15ull ^ static_cast<uint32_t>(k.second));
  }
};
using TCutMap = std::unordered_map<std::pair<uint64_t, int32_t>, int32_t, TKeyHash>;

uint64_t PairKey(int32_t a, int32_t b) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32) | static_cast<uint32_t>(b);
}

class TBuilder {
public:
  TBuilder(const TMesh& mesh, const TBuildOptions& options) : m_in(mesh), m_opt(options) {
    m_verts = mesh.Vert;
    m_norms = mesh.Vtnm;
    m_eps = options.Epsilon > 0 ? options.Epsilon : AutoEpsilon();
    m_planes.reserve(mesh.Face.size());
    for (const TFaceRecord& f : mesh.Face) m_planes.push_back(FacePlane(f));
  }

  TTree Build() {
    if (static_cast<int64_t>(m_in.Face.size()) > m_opt.Capacity ||
        static_cast<int64_t>(m_in.Vert.size()) > m_opt.Capacity) {
      throw EBspError(kBspTooLarge,
                      "The mesh is larger than " + std::to_string(m_opt.Capacity) + " records");
    }
    TTask root;
    root.polys.reserve(m_in.Face.size());
    for (size_t f = 0; f < m_in.Face.size(); ++f) {
      const TFaceRecord& face = m_in.Face[f];
      TPoly p;
      p.source = static_cast<int32_t>(f);
      p.plane = m_planes[f].valid ? static_cast<int32_t>(f) : -1;
      p.seq = static_cast<int64_t>(f);
      p.corners.assign(m_in.Fvrt.begin() + face.FirstFvrt,
                       m_in.Fvrt.begin() + face.FirstFvrt + face.FvrtCount);
      root.polys.push_back(std::move(p));
    }
    m_nextSeq = static_cast<int64_t>(m_in.Face.size());
    m_faceCount = static_cast<int64_t>(m_in.Face.size());

    // Depth-first with an explicit stack: a hostile mesh controls the depth, not the
    // call stack.
    std::vector<TTask> stack;
    stack.push_back(std::move(root));
    while (!stack.empty()) {
      TTask task = std::move(stack.back());
      stack.pop_back();
      const int32_t ref = Process(task, stack);
      if (task.parent < 0) {
        m_tree.Root = ref;
      } else if (task.front) {
        m_tree.Nodes[static_cast<size_t>(task.parent)].Front = ref;
      } else {
        m_tree.Nodes[static_cast<size_t>(task.parent)].Back = ref;
      }
    }
    Finish();
    return std::move(m_tree);
  }

private:
  double AutoEpsilon() const {
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (const TPoint3& v : m_in.Vert) {
      const double c[3] = {v.x, v.y, v.z};
      if (!std::isfinite(c[0]) || !std::isfinite(c[1]) || !std::isfinite(c[2])) continue;
      for (int i = 0; i < 3; ++i) {
        lo[i] = std::min(lo[i], c[i]);
        hi[i] = std::max(hi[i], c[i]);
      }
    }
    double extent = 0;
    for (int i = 0; i < 3; ++i) {
      if (hi[i] >= lo[i]) extent = std::max(extent, hi[i] - lo[i]);
    }
    return std::max(1e-6, 1e-5 * extent);
  }

  // The FVRT index of a face's corner, summed where it cannot overflow.
  static size_t Corner(const TFaceRecord& face, int32_t i) {
    return static_cast<size_t>(face.FirstFvrt) + static_cast<size_t>(i);
  }

  // Newell's plane through the corners, turned to agree with the face's own normal when
  // that normal exists, so that "front" is the side the face looks at.
  TPlaneD FacePlane(const TFaceRecord& face) const {
    TPlaneD pl;
    double n[3] = {0, 0, 0}, c[3] = {0, 0, 0};
    double longest = 0;
    const int32_t count = face.FvrtCount;
    for (int32_t i = 0; i < count; ++i) {
      const TPoint3& a = m_in.Vert[static_cast<size_t>(m_in.Fvrt[Corner(face, i)].Vert)];
      const TPoint3& b =
          m_in.Vert[static_cast<size_t>(m_in.Fvrt[Corner(face, (i + 1) % count)].Vert)];
      n[0] += (double(a.y) - b.y) * (double(a.z) + b.z);
      n[1] += (double(a.z) - b.z) * (double(a.x) + b.x);
      n[2] += (double(a.x) - b.x) * (double(a.y) + b.y);
      c[0] += a.x;
      c[1] += a.y;
      c[2] += a.z;
      const double e[3] = {double(b.x) - a.x, double(b.y) - a.y, double(b.z) - a.z};
      longest = std::max(longest, e[0] * e[0] + e[1] * e[1] + e[2] * e[2]);
    }
    // The Newell vector is twice the area. A face whose area is negligible against its
    // longest edge squared (two corners a rounding error apart, collinear corners) has a
    // normal made of rounding noise; as a splitter it would cut through the whole mesh.
    const double len = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    if (count < 3 || !std::isfinite(len) || !std::isfinite(longest) || len <= 1e-6 * longest ||
        len <= 1e-30) {
      return pl;
    }
    for (int i = 0; i < 3; ++i) {
      pl.n[i] = n[i] / len;
      c[i] /= count;
    }
    if (face.Vtnm >= 0 && static_cast<size_t>(face.Vtnm) < m_in.Vtnm.size()) {
      const TPoint3& fn = m_in.Vtnm[static_cast<size_t>(face.Vtnm)];
      if (pl.n[0] * fn.x + pl.n[1] * fn.y + pl.n[2] * fn.z < 0) {
        for (double& v : pl.n) v = -v;
      }
    }
    pl.d = -(pl.n[0] * c[0] + pl.n[1] * c[1] + pl.n[2] * c[2]);
    pl.valid = std::isfinite(pl.d);
    return pl;
  }

  // The tree's mesh must fit the editor's arrays; stopping early also bounds the work a
  // mesh made to cut itself to pieces can cause.
  void NeedRoom(int64_t records, const char* what) const {
    if (records > m_opt.Capacity) {
      throw EBspError(kBspTooLarge, "The tree's mesh needs more than " +
                                        std::to_string(m_opt.Capacity) + " " + what);
    }
  }

  double Dist(const TPlaneD& pl, int32_t vert) const {
    const TPoint3& v = m_verts[static_cast<size_t>(vert)];
    return pl.n[0] * v.x + pl.n[1] * v.y + pl.n[2] * v.z + pl.d;
  }

  int SideOf(double d) const { return d > m_eps ? 1 : (d < -m_eps ? -1 : 0); }

  TSide Classify(const TPoly& poly, int32_t planeIndex) const {
    if (poly.plane == planeIndex) return kOn;
    const TPlaneD& pl = m_planes[static_cast<size_t>(planeIndex)];
    bool front = false, back = false;
    for (const TWCorner& c : poly.corners) {
      const int s = SideOf(Dist(pl, c.Vert));  // NaN counts as "on": it never cuts
      front |= s > 0;
      back |= s < 0;
      if (front && back) return kStraddle;
    }
    return front ? kFront : (back ? kBack : kOn);
  }

  struct TScore {
    int64_t front = 0, back = 0, split = 0;
    bool Separates() const { return front + split > 0 && back + split > 0; }
  };

  TScore Score(const std::vector<TPoly>& polys, int32_t planeIndex) const {
    TScore s;
    for (const TPoly& p : polys) {
      switch (Classify(p, planeIndex)) {
        case kFront:
          ++s.front;
          break;
        case kBack:
          ++s.back;
          break;
        case kStraddle:
          ++s.split;
          break;
        case kOn:
          break;
      }
    }
    return s;
  }

  // Every face lies on or behind every plane of the set, or every face on or in front of
  // every plane: such a set is drawn correctly in any order, so it ends the splitting.
  // Tested on the set's distinct vertices, which a closed mesh shares between faces.
  bool IsConvexSet(const std::vector<TPoly>& polys, const std::vector<int32_t>& planes) const {
    std::vector<int32_t> verts;
    for (const TPoly& p : polys) {
      for (const TWCorner& c : p.corners) verts.push_back(c.Vert);
    }
    std::sort(verts.begin(), verts.end());
    verts.erase(std::unique(verts.begin(), verts.end()), verts.end());
    std::vector<TPoint3> points;
    points.reserve(verts.size());
    for (int32_t v : verts) points.push_back(m_verts[static_cast<size_t>(v)]);
    std::vector<TPlane> tested;
    tested.reserve(planes.size());
    for (int32_t pi : planes) {
      const TPlaneD& pl = m_planes[static_cast<size_t>(pi)];
      tested.push_back({{pl.n[0], pl.n[1], pl.n[2]}, pl.d});
    }
    return (m_opt.OneSideTest ? m_opt.OneSideTest : AllOnOneSide)(tested, points, m_eps);
  }

  int32_t MakeLeaf(std::vector<TPoly>& polys) {
    const int32_t leaf = static_cast<int32_t>(m_tree.Leaves.size());
    m_tree.Leaves.emplace_back();
    for (TPoly& p : polys) m_placed.push_back({std::move(p), LeafRef(leaf)});
    return LeafRef(leaf);
  }

  int32_t Process(TTask& task, std::vector<TTask>& stack) {
    std::vector<TPoly>& polys = task.polys;
    if (polys.empty()) return kEmpty;

    // The distinct planes of the set, and an evenly spread sample of them to score.
    std::vector<int32_t> planes;
    for (const TPoly& p : polys) {
      if (p.plane >= 0) planes.push_back(p.plane);
    }
    std::sort(planes.begin(), planes.end());
    planes.erase(std::unique(planes.begin(), planes.end()), planes.end());
    if (planes.empty()) return MakeLeaf(polys);

    const size_t want = static_cast<size_t>(std::max(1, m_opt.CandidateCount));
    const size_t step = std::max<size_t>(1, planes.size() / want);
    int32_t best = -1;
    int64_t bestCost = 0;
    bool bestSeparates = false;
    for (size_t i = 0; i < planes.size(); i += step) {
      const TScore s = Score(polys, planes[i]);
      const bool separates = s.Separates();
      const int64_t cost = int64_t(m_opt.SplitWeight) * s.split + std::llabs(s.front - s.back);
      if (best < 0 || (separates && !bestSeparates) ||
          (separates == bestSeparates && cost < bestCost)) {
        best = planes[i];
        bestCost = cost;
        bestSeparates = separates;
      }
    }
    if (!bestSeparates && IsConvexSet(polys, planes)) return MakeLeaf(polys);

    // A node for the chosen plane. Even when it separates nothing it consumes the plane,
    // so the build always ends.
    const int32_t node = static_cast<int32_t>(m_tree.Nodes.size());
    const TPlaneD& pl = m_planes[static_cast<size_t>(best)];
    TNode n;
    n.Nx = static_cast<float>(pl.n[0]);
    n.Ny = static_cast<float>(pl.n[1]);
    n.Nz = static_cast<float>(pl.n[2]);
    n.D = static_cast<float>(pl.d);
    m_tree.Nodes.push_back(n);

    TTask front, back;
    front.parent = back.parent = node;
    front.front = true;
    for (TPoly& p : polys) {
      switch (Classify(p, best)) {
        case kOn:
          m_placed.push_back({std::move(p), node});
          break;
        case kFront:
          front.polys.push_back(std::move(p));
          break;
        case kBack:
          back.polys.push_back(std::move(p));
          break;
        case kStraddle: {
          TPoly f, b;
          Cut(p, best, f, b);
          front.polys.push_back(std::move(f));
          back.polys.push_back(std::move(b));
          break;
        }
      }
    }
    polys.clear();
    polys.shrink_to_fit();
    stack.push_back(std::move(back));
    stack.push_back(std::move(front));
    return node;
  }

  // Cuts a face in two along a plane (Sutherland-Hodgman: corners in the plane go to
  // both pieces, every edge that crosses the plane gets one new corner in both).
  void Cut(const TPoly& p, int32_t planeIndex, TPoly& front, TPoly& back) {
    const TPlaneD& pl = m_planes[static_cast<size_t>(planeIndex)];
    ++m_tree.CutCount;
    NeedRoom(++m_faceCount, "faces");
    front.source = back.source = p.source;
    front.plane = back.plane = p.plane;
    front.seq = m_nextSeq++;
    back.seq = m_nextSeq++;
    const size_t n = p.corners.size();
    for (size_t i = 0; i < n; ++i) {
      const TWCorner& a = p.corners[i];
      const TWCorner& b = p.corners[(i + 1) % n];
      const int sa = SideOf(Dist(pl, a.Vert));
      const int sb = SideOf(Dist(pl, b.Vert));
      if (sa >= 0) front.corners.push_back(a);
      if (sa <= 0) back.corners.push_back(a);
      if (sa * sb < 0) {
        const TWCorner c = CutEdge(a, b, planeIndex);
        front.corners.push_back(c);
        back.corners.push_back(c);
      }
    }
  }

  // The corner where the edge a-b crosses the plane. The edge is taken from its
  // lower-numbered vertex so that both faces sharing it compute the identical vertex,
  // and that vertex is made once per edge and plane.
  TWCorner CutEdge(TWCorner a, TWCorner b, int32_t planeIndex) {
    if (b.Vert < a.Vert) std::swap(a, b);
    const TPlaneD& pl = m_planes[static_cast<size_t>(planeIndex)];
    const double da = Dist(pl, a.Vert), db = Dist(pl, b.Vert);
    const double t = da / (da - db);  // da and db have opposite signs beyond eps

    TWCorner c{};
    c.Tx = static_cast<float>(a.Tx + t * (double(b.Tx) - a.Tx));
    c.Ty = static_cast<float>(a.Ty + t * (double(b.Ty) - a.Ty));

    const auto vkey = std::make_pair(PairKey(a.Vert, b.Vert), planeIndex);
    auto vit = m_cutVerts.find(vkey);
    if (vit == m_cutVerts.end()) {
      NeedRoom(static_cast<int64_t>(m_verts.size()) + 1, "vertices");
      const TPoint3 pa = m_verts[static_cast<size_t>(a.Vert)];
      const TPoint3 pb = m_verts[static_cast<size_t>(b.Vert)];
      TPoint3 v{};
      v.x = static_cast<float>(pa.x + t * (double(pb.x) - pa.x));
      v.y = static_cast<float>(pa.y + t * (double(pb.y) - pa.y));
      v.z = static_cast<float>(pa.z + t * (double(pb.z) - pa.z));
      m_verts.push_back(v);
      vit = m_cutVerts.emplace(vkey, static_cast<int32_t>(m_verts.size() - 1)).first;
    }
    c.Vert = vit->second;

    const bool haveA = a.Vtnm >= 0 && static_cast<size_t>(a.Vtnm) < m_norms.size();
    const bool haveB = b.Vtnm >= 0 && static_cast<size_t>(b.Vtnm) < m_norms.size();
    if (a.Vtnm == b.Vtnm || !haveA || !haveB) {
      c.Vtnm = a.Vtnm;  // nothing to interpolate, or a normal we must not read
      return c;
    }
    const auto nkey = std::make_pair(PairKey(a.Vtnm, b.Vtnm), c.Vert);
    auto nit = m_cutNorms.find(nkey);
    if (nit == m_cutNorms.end()) {
      NeedRoom(static_cast<int64_t>(m_norms.size()) + 1, "normals");
      const TPoint3 na = m_norms[static_cast<size_t>(a.Vtnm)];
      const TPoint3 nb = m_norms[static_cast<size_t>(b.Vtnm)];
      double m[3] = {na.x + t * (double(nb.x) - na.x), na.y + t * (double(nb.y) - na.y),
                     na.z + t * (double(nb.z) - na.z)};
      const double len = std::sqrt(m[0] * m[0] + m[1] * m[1] + m[2] * m[2]);
      if (std::isfinite(len) && len > 0) {
        for (double& x : m) x /= len;
      }
      m_norms.push_back(
          {static_cast<float>(m[0]), static_cast<float>(m[1]), static_cast<float>(m[2])});
      nit = m_cutNorms.emplace(nkey, static_cast<int32_t>(m_norms.size() - 1)).first;
    }
    c.Vtnm = nit->second;
    return c;
  }

  // Lays out the tree's mesh (faces in input order, pieces in the order they were made)
  // and the face lists of nodes and leaves.
  void Finish() {
    std::vector<size_t> order(m_placed.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t x, size_t y) {
      const TPoly& a = m_placed[x].poly;
      const TPoly& b = m_placed[y].poly;
      return a.source != b.source ? a.source < b.source : a.seq < b.seq;
    });

    TMesh& out = m_tree.Mesh;
    out.Vert = std::move(m_verts);
    out.Vtnm = std::move(m_norms);
    out.Radius = m_in.Radius;
    out.Face.reserve(order.size());
    m_tree.Source.reserve(order.size());
    int64_t corners = 0;
    for (size_t i : order) corners += static_cast<int64_t>(m_placed[i].poly.corners.size());
    NeedRoom(corners, "face corners");
    out.Fvrt.reserve(static_cast<size_t>(corners));

    // Where each output face goes: slot 0..nodes-1 for nodes, then the leaves.
    const size_t nodeCount = m_tree.Nodes.size();
    std::vector<int32_t> slotOfFace;
    slotOfFace.reserve(order.size());
    std::vector<int32_t> perSlot(nodeCount + m_tree.Leaves.size(), 0);
    for (size_t i : order) {
      const TPoly& p = m_placed[i].poly;
      TFaceRecord face = m_in.Face[static_cast<size_t>(p.source)];
      face.FirstFvrt = static_cast<int32_t>(out.Fvrt.size());
      face.FvrtCount = static_cast<int32_t>(p.corners.size());
      out.Fvrt.insert(out.Fvrt.end(), p.corners.begin(), p.corners.end());
      out.Face.push_back(face);
      m_tree.Source.push_back(p.source);
      const int32_t where = m_placed[i].where;
      const int32_t slot =
          IsLeafRef(where) ? static_cast<int32_t>(nodeCount) + LeafOfRef(where) : where;
      slotOfFace.push_back(slot);
      ++perSlot[static_cast<size_t>(slot)];
    }

    std::vector<int32_t> start(perSlot.size(), 0);
    for (size_t s = 1; s < perSlot.size(); ++s) start[s] = start[s - 1] + perSlot[s - 1];
    for (size_t s = 0; s < perSlot.size(); ++s) {
      if (s < nodeCount) {
        m_tree.Nodes[s].FirstFace = start[s];
        m_tree.Nodes[s].FaceCount = perSlot[s];
      } else {
        m_tree.Leaves[s - nodeCount].FirstFace = start[s];
        m_tree.Leaves[s - nodeCount].FaceCount = perSlot[s];
      }
    }
    m_tree.FaceIndex.assign(slotOfFace.size(), 0);
    std::vector<int32_t> fill = start;
    for (size_t f = 0; f < slotOfFace.size(); ++f) {
      m_tree.FaceIndex[static_cast<size_t>(fill[static_cast<size_t>(slotOfFace[f])]++)] =
          static_cast<int32_t>(f);
    }
  }

  struct TPlaced {
    TPoly poly;
    int32_t where;  // node index or leaf reference
  };

  const TMesh& m_in;
  TBuildOptions m_opt;
  double m_eps = 0;
  std::vector<TPoint3> m_verts;
  std::vector<TPoint3> m_norms;
  std::vector<TPlaneD> m_planes;
  TCutMap m_cutVerts;
  TCutMap m_cutNorms;
  int64_t m_nextSeq = 0;
  int64_t m_faceCount = 0;
  std::vector<TPlaced> m_placed;
  TTree m_tree;
};

}  // namespace

TTree BuildTree(const TMesh& mesh, const TBuildOptions& options) {
  return TBuilder(mesh, options).Build();
}

}  // namespace bsp
