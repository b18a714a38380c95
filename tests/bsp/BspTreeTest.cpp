// The tree on meshes whose answer is known, and the invariants every tree must keep:
// no face lost, pieces covering exactly their original face, faces on the right side of
// every plane above them, and a well-formed tree.

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "bsp/BspTestSupport.h"
#include "plugins/bsp/BspScript.h"

using namespace bsp;
using namespace bsptest;

namespace {

// Structural checks shared by every tree: each node and leaf reached once from the root,
// each face of the tree's mesh named exactly once, corner ranges and indices valid.
void ExpectWellFormed(const TTree& t) {
  const TMesh& m = t.Mesh;
  ASSERT_EQ(t.Source.size(), m.Face.size());
  ASSERT_EQ(t.FaceIndex.size(), m.Face.size());
  std::vector<int> named(m.Face.size(), 0);
  std::vector<int> nodeSeen(t.Nodes.size(), 0), leafSeen(t.Leaves.size(), 0);
  auto nameFaces = [&](int32_t first, int32_t count) {
    ASSERT_GE(first, 0);
    ASSERT_LE(int64_t(first) + count, int64_t(t.FaceIndex.size()));
    for (int32_t i = first; i < first + count; ++i) {
      ASSERT_GE(t.FaceIndex[i], 0);
      ASSERT_LT(t.FaceIndex[i], int32_t(m.Face.size()));
      ++named[t.FaceIndex[i]];
    }
  };
  std::vector<int32_t> todo{t.Root};
  while (!todo.empty()) {
    const int32_t ref = todo.back();
    todo.pop_back();
    if (ref == kEmpty) continue;
    if (IsLeafRef(ref)) {
      ASSERT_LT(LeafOfRef(ref), int32_t(t.Leaves.size()));
      ++leafSeen[LeafOfRef(ref)];
      nameFaces(t.Leaves[LeafOfRef(ref)].FirstFace, t.Leaves[LeafOfRef(ref)].FaceCount);
    } else {
      ASSERT_LT(ref, int32_t(t.Nodes.size()));
      ++nodeSeen[ref];
      nameFaces(t.Nodes[ref].FirstFace, t.Nodes[ref].FaceCount);
      todo.push_back(t.Nodes[ref].Front);
      todo.push_back(t.Nodes[ref].Back);
    }
  }
  for (int n : named) EXPECT_EQ(n, 1);
  for (int n : nodeSeen) EXPECT_EQ(n, 1);
  for (int n : leafSeen) EXPECT_EQ(n, 1);

  int32_t nextFvrt = 0;
  for (const TFaceRecord& f : m.Face) {
    EXPECT_EQ(f.FirstFvrt, nextFvrt);  // every face has its own consecutive corners
    nextFvrt += f.FvrtCount;
  }
  EXPECT_EQ(size_t(nextFvrt), m.Fvrt.size());
  for (const TFvrtRecord& c : m.Fvrt) {
    ASSERT_GE(c.Vert, 0);
    ASSERT_LT(c.Vert, int32_t(m.Vert.size()));
  }
}

// Every face below a node lies on its side of the node's plane, within `tol`; the faces
// of the node lie in it.
void ExpectSides(const TTree& t, double tol, bool nodeFacesPlanar = true) {
  struct TItem {
    int32_t ref;
    std::vector<std::pair<int32_t, int>> constraints;  // node, +1 front / -1 back
  };
  auto check = [&](int32_t face, const std::vector<std::pair<int32_t, int>>& cs) {
    for (const TV& p : FacePoints(t.Mesh, t.Mesh.Face[face])) {
      for (const auto& [node, side] : cs) {
        const TNode& n = t.Nodes[node];
        const double d = n.Nx * p.x + n.Ny * p.y + n.Nz * p.z + n.D;
        EXPECT_GE(side * d, -tol) << "face " << face << " on the wrong side of node " << node;
      }
    }
  };
  std::vector<TItem> todo{{t.Root, {}}};
  while (!todo.empty()) {
    TItem it = std::move(todo.back());
    todo.pop_back();
    if (it.ref == kEmpty) continue;
    if (IsLeafRef(it.ref)) {
      const TLeaf& l = t.Leaves[LeafOfRef(it.ref)];
      for (int32_t i = l.FirstFace; i < l.FirstFace + l.FaceCount; ++i)
        check(t.FaceIndex[i], it.constraints);
      continue;
    }
    const TNode& n = t.Nodes[it.ref];
    EXPECT_NEAR(std::sqrt(n.Nx * n.Nx + n.Ny * n.Ny + n.Nz * n.Nz), 1.0, 1e-5);
    for (int32_t i = n.FirstFace; i < n.FirstFace + n.FaceCount; ++i) {
      const int32_t face = t.FaceIndex[i];
      check(face, it.constraints);
      if (!nodeFacesPlanar) continue;
      for (const TV& p : FacePoints(t.Mesh, t.Mesh.Face[face])) {
        EXPECT_NEAR(n.Nx * p.x + n.Ny * p.y + n.Nz * p.z + n.D, 0.0, tol);
      }
    }
    TItem f{n.Front, it.constraints}, b{n.Back, it.constraints};
    f.constraints.push_back({it.ref, +1});
    b.constraints.push_back({it.ref, -1});
    todo.push_back(std::move(f));
    todo.push_back(std::move(b));
  }
}

// Random points of every input face lie in exactly one piece made from it, and the
// pieces' areas add up to the face's area.
void ExpectPartition(const TMesh& in, const TTree& t, unsigned seed) {
  std::map<int32_t, std::vector<std::vector<TV>>> pieces;
  for (size_t f = 0; f < t.Mesh.Face.size(); ++f) {
    pieces[t.Source[f]].push_back(FacePoints(t.Mesh, t.Mesh.Face[f]));
  }
  ASSERT_EQ(pieces.size(), in.Face.size()) << "an input face has no piece";
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0, 1);
  int tested = 0;
  for (size_t f = 0; f < in.Face.size(); ++f) {
    const auto pts = FacePoints(in, in.Face[f]);
    const TV n = NewellNormal(pts);
    double area = 0;
    for (const auto& p : pieces[int32_t(f)]) area += Area(p);
    EXPECT_NEAR(area, Area(pts), 1e-4 * Area(pts) + 1e-6) << "face " << f;
    for (int k = 0; k < 20; ++k) {
      // A random point of the fan triangle 0, i, i+1.
      const size_t i = 1 + size_t(unit(rng) * double(pts.size() - 2)) % (pts.size() - 2);
      double a = unit(rng), b = unit(rng);
      if (a + b > 1) a = 1 - a, b = 1 - b;
      const TV p = {pts[0].x + a * (pts[i].x - pts[0].x) + b * (pts[i + 1].x - pts[0].x),
                    pts[0].y + a * (pts[i].y - pts[0].y) + b * (pts[i + 1].y - pts[0].y),
                    pts[0].z + a * (pts[i].z - pts[0].z) + b * (pts[i + 1].z - pts[0].z)};
      int inside = 0;
      bool ambiguous = false;
      for (const auto& piece : pieces[int32_t(f)]) {
        double margin;
        inside += Contains(piece, n, p, margin) ? 1 : 0;
        ambiguous |= margin < 1e-4;
      }
      if (ambiguous) continue;
      ++tested;
      EXPECT_EQ(inside, 1) << "face " << f << " point " << k;
    }
  }
  EXPECT_GT(tested, int(in.Face.size()) * 10);
}

TEST(BspTreeKnown, CubeNeedsNoCutAndKeepsItsMesh) {
  const TMesh cube = Cube(-1, 1);
  const TTree t = BuildTree(cube);
  ExpectWellFormed(t);
  EXPECT_EQ(t.CutCount, 0);
  ASSERT_EQ(t.Mesh.Face.size(), 6u);
  // A convex solid seen from outside needs no plane at all: one leaf with its six faces.
  EXPECT_TRUE(t.Nodes.empty());
  ASSERT_TRUE(IsLeafRef(t.Root));
  EXPECT_EQ(t.Leaves[LeafOfRef(t.Root)].FaceCount, 6);
  // Nothing was cut, so the tree's mesh is the input mesh record for record.
  ASSERT_EQ(t.Mesh.Vert.size(), cube.Vert.size());
  EXPECT_EQ(0, std::memcmp(t.Mesh.Vert.data(), cube.Vert.data(), cube.Vert.size() * 12));
  ASSERT_EQ(t.Mesh.Vtnm.size(), cube.Vtnm.size());
  ASSERT_EQ(t.Mesh.Fvrt.size(), cube.Fvrt.size());
  EXPECT_EQ(0, std::memcmp(t.Mesh.Fvrt.data(), cube.Fvrt.data(), cube.Fvrt.size() * 16));
  EXPECT_EQ(0, std::memcmp(t.Mesh.Face.data(), cube.Face.data(), cube.Face.size() * 28));
  EXPECT_EQ(t.Mesh.Radius, cube.Radius);
}

TEST(BspTreeKnown, RoomSeenFromInsideIsOneLeaf) {
  const TTree t = BuildTree(Cube(-5, 5, /*inward=*/true));
  ExpectWellFormed(t);
  EXPECT_EQ(t.CutCount, 0);
  EXPECT_TRUE(t.Nodes.empty());
  EXPECT_TRUE(IsLeafRef(t.Root));
}

TEST(BspTreeKnown, SphereIsOneLeafDespiteItsPoleSlivers) {
  // A sliver's noisy normal must not make it a splitter that cuts the whole sphere.
  const TMesh m = Sphere(24, 12);
  const TTree t = BuildTree(m);
  ExpectWellFormed(t);
  EXPECT_EQ(t.CutCount, 0);
  EXPECT_TRUE(t.Nodes.empty());
  ASSERT_TRUE(IsLeafRef(t.Root));
  EXPECT_EQ(t.Leaves[0].FaceCount, int32_t(m.Face.size()));
}

TEST(BspTreeKnown, TwoCubesAreSeparatedWithoutCuts) {
  TMesh m = Cube(0, 1);
  const TMesh second = Cube(3, 4);
  const int32_t vBase = int32_t(m.Vert.size()), nBase = int32_t(m.Vtnm.size()),
                cBase = int32_t(m.Fvrt.size());
  m.Vert.insert(m.Vert.end(), second.Vert.begin(), second.Vert.end());
  m.Vtnm.insert(m.Vtnm.end(), second.Vtnm.begin(), second.Vtnm.end());
  for (TFvrtRecord c : second.Fvrt) m.Fvrt.push_back({c.Vert + vBase, c.Vtnm + nBase, c.Tx, c.Ty});
  for (TFaceRecord f : second.Face) {
    f.Vtnm += nBase;
    f.FirstFvrt += cBase;
    m.Face.push_back(f);
  }
  const TTree t = BuildTree(m);
  ExpectWellFormed(t);
  EXPECT_EQ(t.CutCount, 0);
  EXPECT_EQ(t.Mesh.Face.size(), 12u);
  EXPECT_FALSE(t.Nodes.empty());
  ExpectSides(t, 1e-5);
}

class BspCrossingQuads : public ::testing::Test {
protected:
  void SetUp() override {
    // Quad A in the plane z = 0, quad B in the plane x = 0; each straddles the other's
    // plane. Texture coordinates are linear in the position, so an interpolated corner
    // must follow the same law.
    AddFace(m, {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}}, 1, TexA);
    AddFace(m, {{0, -1, -1}, {0, 1, -1}, {0, 1, 1}, {0, -1, 1}}, 2, TexB);
  }
  static void TexA(const TV& p, float& u, float& v) {
    u = float((p.x + 1) / 2);
    v = float((p.y + 1) / 4);
  }
  static void TexB(const TV& p, float& u, float& v) {
    u = float((p.z + 1) / 2);
    v = float(p.y + 1);
  }
  TMesh m;
};

TEST_F(BspCrossingQuads, OneQuadIsCutAndThePiecesCoverIt) {
  const TTree t = BuildTree(m);
  ExpectWellFormed(t);
  EXPECT_EQ(t.CutCount, 1);
  ASSERT_EQ(t.Mesh.Face.size(), 3u);
  ASSERT_EQ(t.Nodes.size(), 1u);
  EXPECT_EQ(t.Nodes[0].FaceCount, 1);  // the splitter itself stays with its node
  ExpectPartition(m, t, 1);
  ExpectSides(t, 1e-6);
  // Two new vertices, at the ends of the cut line (0, +-1, 0).
  ASSERT_EQ(t.Mesh.Vert.size(), m.Vert.size() + 2);
  for (size_t i = m.Vert.size(); i < t.Mesh.Vert.size(); ++i) {
    const TPoint3& v = t.Mesh.Vert[i];
    EXPECT_FLOAT_EQ(v.x, 0);
    EXPECT_FLOAT_EQ(v.z, 0);
    EXPECT_FLOAT_EQ(std::fabs(v.y), 1);
  }
  // Pieces keep the material and the face normal of their original.
  for (size_t f = 0; f < t.Mesh.Face.size(); ++f) {
    EXPECT_EQ(t.Mesh.Face[f].Mat, m.Face[t.Source[f]].Mat);
    EXPECT_EQ(t.Mesh.Face[f].Vtnm, m.Face[t.Source[f]].Vtnm);
    EXPECT_EQ(t.Mesh.Face[f].Reserved2, 0x7F0096FFu);
  }
}

TEST_F(BspCrossingQuads, TextureCoordinatesAreInterpolatedAtNewCorners) {
  const TTree t = BuildTree(m);
  for (size_t f = 0; f < t.Mesh.Face.size(); ++f) {
    const TFaceRecord& face = t.Mesh.Face[f];
    for (int32_t i = 0; i < face.FvrtCount; ++i) {
      const TFvrtRecord& c = t.Mesh.Fvrt[face.FirstFvrt + i];
      const TV p = ToV(t.Mesh.Vert[c.Vert]);
      float u, v;
      (t.Source[f] == 0 ? TexA : TexB)(p, u, v);
      EXPECT_NEAR(c.Tx, u, 1e-6);
      EXPECT_NEAR(c.Ty, v, 1e-6);
    }
  }
}

TEST_F(BspCrossingQuads, PiecesAreOrderedAfterTheirOriginal) {
  const TTree t = BuildTree(m);
  ASSERT_EQ(t.Source.size(), 3u);
  EXPECT_TRUE(std::is_sorted(t.Source.begin(), t.Source.end()));
}

TEST_F(BspCrossingQuads, CapacityLimitStopsTheBuild) {
  TBuildOptions o;
  o.Capacity = 2;  // the cut needs a third face
  try {
    BuildTree(m, o);
    FAIL() << "no error";
  } catch (const EBspError& e) {
    EXPECT_EQ(e.Code(), kBspTooLarge);
  }
}

TEST(BspTreeCuts, SharedEdgeGetsOneNewVertexAndInterpolatedNormal) {
  // Two triangles sharing the edge (0,-1,0)-(0,1,0)... turned so the edge crosses the
  // plane z = 0 of a splitter quad: both triangles are cut along their shared edge.
  TMesh m;
  AddFace(m, {{-4, -4, 0}, {4, -4, 0}, {4, 4, 0}, {-4, 4, 0}}, 0, NoTex);  // splitter z = 0
  // Triangles in the plane y = 0 sharing the edge from (0,0,-1) to (0,0,1).
  const int32_t base = int32_t(m.Vert.size());
  m.Vert.push_back({0, 0, -1});
  m.Vert.push_back({0, 0, 1});
  m.Vert.push_back({-1, 0, 0.5f});
  m.Vert.push_back({1, 0, 0.5f});
  m.Vtnm.push_back({1, 0, 0});
  m.Vtnm.push_back({0, 1, 0});
  const int32_t n0 = int32_t(m.Vtnm.size()) - 2;
  auto tri = [&](int32_t a, int32_t b, int32_t c) {
    TFaceRecord f{};
    f.Vtnm = n0;
    f.FirstFvrt = int32_t(m.Fvrt.size());
    f.FvrtCount = 3;
    m.Fvrt.push_back({base + a, a == 0 ? n0 : n0 + 1, 0, 0});
    m.Fvrt.push_back({base + b, b == 0 ? n0 : n0 + 1, 0, 0});
    m.Fvrt.push_back({base + c, c == 0 ? n0 : n0 + 1, 0, 0});
    m.Face.push_back(f);
  };
  tri(0, 1, 2);
  tri(1, 0, 3);
  TBuildOptions o;
  o.CandidateCount = 1;  // score only the first plane: the big quad
  const TTree t = BuildTree(m, o);
  ExpectWellFormed(t);
  EXPECT_EQ(t.CutCount, 2);
  ExpectPartition(m, t, 2);
  // The shared edge crosses z = 0 once: exactly one new vertex for it, shared by both
  // triangles' pieces; the other two edges that cross are not shared (two more).
  std::set<int32_t> newVerts;
  for (const TFvrtRecord& c : t.Mesh.Fvrt) {
    if (c.Vert >= int32_t(m.Vert.size())) newVerts.insert(c.Vert);
  }
  EXPECT_EQ(newVerts.size(), 3u);
  EXPECT_EQ(t.Mesh.Vert.size(), m.Vert.size() + 3);
  bool sawShared = false;
  for (int32_t v : newVerts) {
    const TPoint3& p = t.Mesh.Vert[v];
    if (p.x != 0) continue;
    sawShared = true;
    EXPECT_FLOAT_EQ(p.z, 0);
    // Its corner normal lies halfway between the two ends' normals, normalised.
    for (const TFvrtRecord& c : t.Mesh.Fvrt) {
      if (c.Vert != v) continue;
      const TPoint3& n = t.Mesh.Vtnm[c.Vtnm];
      EXPECT_NEAR(n.x, std::sqrt(0.5), 1e-6);
      EXPECT_NEAR(n.y, std::sqrt(0.5), 1e-6);
    }
  }
  EXPECT_TRUE(sawShared);
}

class BspRandomMesh : public ::testing::TestWithParam<int> {};

TEST_P(BspRandomMesh, PartitionsEveryFaceAndKeepsSides) {
  const TMesh m =
      RandomTriangles(GetParam(), 1000u + unsigned(GetParam()), GetParam() < 20 ? 20 : 4);
  const TTree t = BuildTree(m);
  ExpectWellFormed(t);
  if (GetParam() >= 60) {
    EXPECT_GT(t.CutCount, 0);  // this dense, some always cross
  }
  EXPECT_EQ(t.Mesh.Face.size(), m.Face.size() + size_t(t.CutCount));
  ExpectPartition(m, t, 7u + unsigned(GetParam()));
  ExpectSides(t, 1e-3);
  // Input vertices come first, unchanged.
  EXPECT_EQ(0, std::memcmp(t.Mesh.Vert.data(), m.Vert.data(), m.Vert.size() * 12));
}

INSTANTIATE_TEST_SUITE_P(Sizes, BspRandomMesh, ::testing::Values(2, 10, 60, 300, 1500));

TEST(BspTreeHostile, NonFiniteAndDegenerateFacesAreKept) {
  TMesh m = RandomTriangles(20, 5);
  const float nan = std::nanf("");
  const float inf = HUGE_VALF;
  AddFace(m, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, 0, NoTex);  // collinear: no plane
  m.Vert.back() = {nan, 0, 0};
  AddFace(m, {{0, 0, 0}, {0, 1, 0}, {0, 0, 1}}, 0, NoTex);
  m.Vert.back() = {inf, -inf, 1};
  TFaceRecord empty{};  // a face with no corners at all
  empty.FirstFvrt = 0;
  empty.FvrtCount = 0;
  m.Face.push_back(empty);
  const TTree t = BuildTree(m);
  ExpectWellFormed(t);
  std::set<int32_t> sources(t.Source.begin(), t.Source.end());
  EXPECT_EQ(sources.size(), m.Face.size());
}

TEST(BspTreeHostile, EveryFaceWithoutAPlaneMakesOneLeaf) {
  TMesh m;
  for (int i = 0; i < 5; ++i) AddFace(m, {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, i, NoTex);
  const TTree t = BuildTree(m);
  ExpectWellFormed(t);
  ASSERT_TRUE(IsLeafRef(t.Root));
  EXPECT_EQ(t.Leaves[LeafOfRef(t.Root)].FaceCount, 5);
}

TEST(BspTreeHostile, ManyCoplanarAndStackedFacesDoNotRecurse) {
  // 4,000 parallel quads facing up, stacked 1 apart, plus 1,000 in one plane: the
  // worst case for depth if the build followed the faces' order.
  TMesh m;
  for (int i = 0; i < 4000; ++i) {
    const double z = i;
    AddFace(m, {{0, 0, z}, {1, 0, z}, {1, 1, z}, {0, 1, z}}, i, NoTex);
  }
  for (int i = 0; i < 1000; ++i) {
    const double x = 2 + i;
    AddFace(m, {{x, 0, -1}, {x + 1, 0, -1}, {x + 1, 1, -1}, {x, 1, -1}}, i, NoTex);
  }
  const TTree t = BuildTree(m);
  ExpectWellFormed(t);
  EXPECT_EQ(t.CutCount, 0);
  ExpectSides(t, 1e-3);
}

// The builder takes its convexity test from the options: a test given there is the one
// asked (a builder that ignored it would let the benchmark time the boxed test twice), and
// the plain test the boxes replaced builds the same tree, record for record, on closed,
// open, room-like and cut-apart meshes.
int g_plainCalls = 0;

bool PlainOneSide(const std::vector<TPlane>& planes, const std::vector<TPoint3>& points,
                  double eps) {
  ++g_plainCalls;
  bool allBack = true, allFront = true;
  for (const TPlane& pl : planes) {
    for (const TPoint3& v : points) {
      const double d = pl.n[0] * v.x + pl.n[1] * v.y + pl.n[2] * v.z + pl.d;
      allBack &= !(d > eps);
      allFront &= !(d < -eps);
    }
  }
  return allBack || allFront;
}

TEST(BspTreeOneSideTest, ThePlainTestGivenInTheOptionsBuildsTheSameTree) {
  const std::pair<const char*, TMesh> meshes[] = {
      {"sphere", Sphere(40, 25)},
      {"terrain", Grid(30, 20,
                       [](double u, double v) {
                         return TV{30 * u, 20 * v, std::sin(9 * u) * std::cos(7 * v)};
                       })},
      {"room", Cube(0, 10, true)},
      {"soup", RandomTriangles(300, 5, 1.5)},
  };
  for (const auto& [name, mesh] : meshes) {
    SCOPED_TRACE(name);
    TBuildOptions plain;
    plain.OneSideTest = PlainOneSide;
    g_plainCalls = 0;
    const TTree expected = BuildTree(mesh);
    EXPECT_EQ(g_plainCalls, 0);
    const TTree got = BuildTree(mesh, plain);
    EXPECT_GT(g_plainCalls, 0);
    EXPECT_EQ(got.Root, expected.Root);
    EXPECT_EQ(got.CutCount, expected.CutCount);
    EXPECT_EQ(got.Source, expected.Source);
    EXPECT_EQ(ComposeScript(got, "tree.iff"), ComposeScript(expected, "tree.iff"));
  }
}

}  // namespace
