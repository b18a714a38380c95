#include "mesh/Normals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "mesh/Geometry.h"
#include "mesh/MeshTestSupport.h"
#include "mesh/Vector.h"

using namespace meshtest;

namespace {

// The straightforward algorithm, kept as the reference the linear one must equal bit for
// bit: every normal lookup scans VTNM from 0, every vertex walks all faces' corners and
// all FVRT records.
void ReferenceCalcVtnm(TMeshDocument& doc) {
  doc.NumVtnm = 0;
  for (int32_t f = 0; f < doc.NumFace; ++f) {
    TVec4 p1;
    TVec4 n = FacePlaneNormal(doc, doc.FACE[f], &p1);
    doc.FACE[f].D = Dot(n, p1);
    Negate(n, true, true, true);
    doc.FACE[f].Vtnm = FindOrAddVtnm(doc, ToPoint3(n));
  }
  for (int32_t i = 0; i < doc.NumVert; ++i) {
    TVec4 s = Make(0, 0, 0);
    int32_t c = 0;
    for (int32_t f = 0; f < doc.NumFace; ++f) {
      const TCornerRange corners = doc.FaceCorners(doc.FACE[f]);
      for (int32_t r = corners.First; r < corners.First + corners.Count; ++r) {
        if (doc.FVRT[r].Vert == i) {
          s = Sub(s, Make(doc.VTNM[doc.FACE[f].Vtnm]));
          ++c;
        }
      }
    }
    if (c > 0) {
      s.x = static_cast<float>(double{s.x} / c);
      s.y = static_cast<float>(double{s.y} / c);
      s.z = static_cast<float>(double{s.z} / c);
      Normalize(s);
    }
    Negate(s, true, true, true);
    for (int32_t r = 0; r < doc.NumFvrt; ++r) {
      if (doc.FVRT[r].Vert == i) doc.FVRT[r].Vtnm = FindOrAddVtnm(doc, ToPoint3(s));
    }
  }
}

void ExpectSameRecords(const TMeshDocument& a, const TMeshDocument& b) {
  ASSERT_EQ(a.NumVtnm, b.NumVtnm);
  for (int32_t i = 0; i < a.NumVtnm; ++i) {
    ASSERT_EQ(Bits(a.VTNM[i].x), Bits(b.VTNM[i].x)) << "VTNM " << i;
    ASSERT_EQ(Bits(a.VTNM[i].y), Bits(b.VTNM[i].y)) << "VTNM " << i;
    ASSERT_EQ(Bits(a.VTNM[i].z), Bits(b.VTNM[i].z)) << "VTNM " << i;
  }
  ASSERT_EQ(std::memcmp(a.FVRT.get(), b.FVRT.get(), sizeof(TFvrtRecord) * size_t(a.NumFvrt)), 0);
  ASSERT_EQ(std::memcmp(a.FACE.get(), b.FACE.get(), sizeof(TFaceRecord) * size_t(a.NumFace)), 0);
}

void Triangle(TMeshDocument& doc, TPoint3 a, TPoint3 b, TPoint3 c, int32_t mat = 0) {
  const int32_t v = doc.NumVert, r = doc.NumFvrt;
  for (const TPoint3& p : {a, b, c}) doc.AddVert(p);
  for (int k = 0; k < 3; ++k) doc.AddFvrt({v + k, 0, 0, 0});
  doc.AddFace(Face(r, 3, mat));
}

// ---------------------------------------------------------------------------------------
// Face normals and D

TEST(CalcVtnm, TriangleInTheXYPlane) {
  TMeshDocument doc;
  Triangle(doc, {0, 0, 0}, {1, 0, 0}, {0, 1, 0});
  Triangle(doc, {0, 0, 5}, {1, 0, 5}, {0, 1, 5});
  CalcVtnmRecords(doc);
  const TPoint3& n = doc.VTNM[doc.FACE[0].Vtnm];
  EXPECT_EQ(n.x, 0.0f);
  EXPECT_EQ(n.y, 0.0f);
  EXPECT_EQ(n.z, 1.0f);
  EXPECT_EQ(doc.FACE[0].D, 0.0f);
  EXPECT_EQ(doc.FACE[1].Vtnm, doc.FACE[0].Vtnm);
  EXPECT_EQ(doc.FACE[1].D, -5.0f);
  // N.X + D = 0 on the face.
  EXPECT_EQ(n.z * 5.0f + doc.FACE[1].D, 0.0f);
}

TEST(CalcVtnm, CollinearCornersGiveAZeroNormal) {
  TMeshDocument doc;
  Triangle(doc, {0, 0, 0}, {1, 1, 1}, {2, 2, 2});
  CalcVtnmRecords(doc);
  const TPoint3& n = doc.VTNM[doc.FACE[0].Vtnm];
  EXPECT_EQ(std::fabs(n.x) + std::fabs(n.y) + std::fabs(n.z), 0.0f);
  EXPECT_EQ(doc.FACE[0].D, 0.0f);
}

TEST(CalcVtnm, ToleranceJoinsCloseNormalsOnly) {
  TMeshDocument doc;
  doc.NumVtnm = 0;
  const int32_t a = FindOrAddVtnm(doc, {0.5f, 0.5f, 0.7f});
  EXPECT_EQ(FindOrAddVtnm(doc, {0.50005f, 0.5f, 0.7f}), a);
  EXPECT_NE(FindOrAddVtnm(doc, {0.501f, 0.5f, 0.7f}), a);
  EXPECT_EQ(doc.NumVtnm, 2);
  EXPECT_EQ(doc.NormalLines.Count(), 0) << "the lookup adds no list lines";
}

TEST(CalcVtnm, CubeHasSixFaceNormalsThenEightVertexNormals) {
  TMeshDocument doc;
  for (int i = 0; i < 8; ++i) doc.AddVert({float(i & 1), float((i >> 1) & 1), float((i >> 2) & 1)});
  const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                           {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  for (const auto& q : quads) {
    const int32_t first = doc.NumFvrt;
    for (int v : q) doc.AddFvrt({v, 0, 0, 0});
    doc.AddFace(Face(first, 4));
  }
  CalcVtnmRecords(doc);
  ASSERT_EQ(doc.NumVtnm, 14);
  for (int f = 0; f < 6; ++f) EXPECT_EQ(doc.FACE[f].Vtnm, f);
  const float c = static_cast<float>(1.0 / std::sqrt(3.0));
  for (int32_t r = 0; r < doc.NumFvrt; ++r) {
    const int v = doc.FVRT[r].Vert;
    const TPoint3& n = doc.VTNM[doc.FVRT[r].Vtnm];
    EXPECT_GE(doc.FVRT[r].Vtnm, 6);
    // Each corner's normal points away from the cube's centre along the diagonal.
    EXPECT_NEAR(n.x, (v & 1) ? c : -c, 1e-6) << "vertex " << v;
    EXPECT_NEAR(n.y, ((v >> 1) & 1) ? c : -c, 1e-6);
    EXPECT_NEAR(n.z, ((v >> 2) & 1) ? c : -c, 1e-6);
  }
  // The face normals point outward: face 1 lies at z = 1.
  EXPECT_EQ(doc.VTNM[1].z, 1.0f);
  EXPECT_EQ(doc.FACE[1].D, -1.0f);
}

TEST(CalcVtnm, BrokenIndicesStayInsideTheArrays) {
  TMeshDocument doc;
  doc.AddVert({0, 0, 0});
  doc.AddFvrt({-1, -1, 0, 0});
  doc.AddFvrt({5000, 0, 0, 0});
  doc.AddFace(Face(0, 2));             // two corners, third missing
  doc.AddFace(Face(-10, 2147483647));  // range mostly outside FVRT
  doc.AddFace(Face(40000, 3));         // wholly outside
  CalcVtnmRecords(doc);
  EXPECT_EQ(doc.FACE[0].D, 0.0f);
  EXPECT_EQ(doc.FVRT[0].Vtnm, -1) << "a corner with no vertex gets no vertex normal";
}

// ---------------------------------------------------------------------------------------
// Linear time equals the scan

struct TRandomMesh {
  const char* name;
  float coordRange;   // vertices in -range..range
  int nearTolerance;  // 1: faces share planes shifted by about the tolerance
  int specials;       // 1: NaN, infinite and -0 coordinates sprinkled in
};

class CalcVtnmMatchesReference : public ::testing::TestWithParam<TRandomMesh> {};

TEST_P(CalcVtnmMatchesReference, OnRandomMeshes) {
  const TRandomMesh& kind = GetParam();
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> coord(-kind.coordRange, kind.coordRange);
    TMeshDocument doc;
    const int verts = 5 + int(rng() % 60);
    for (int i = 0; i < verts; ++i) {
      TPoint3 p{coord(rng), coord(rng), coord(rng)};
      if (kind.nearTolerance) {
        // A few planes, each point nudged off by a few tolerances or less.
        const float nudge = float(int(rng() % 5) - 2) * 0.00004f;
        p.z = float(int(rng() % 3)) + nudge + p.x * 0.00003f;
      }
      if (kind.specials && rng() % 7 == 0) {
        const float specials[] = {std::numeric_limits<float>::quiet_NaN(),
                                  std::numeric_limits<float>::infinity(), -0.0f, 0.0f};
        p.y = specials[rng() % 4];
      }
      doc.AddVert(p);
    }
    const int faces = int(rng() % 40);
    for (int f = 0; f < faces; ++f) {
      const int32_t first = doc.NumFvrt;
      const int count = 1 + int(rng() % 5);
      for (int k = 0; k < count; ++k) {
        // Mostly good indices, sometimes -1 or past the vertices.
        int32_t v = int32_t(rng() % uint32_t(verts));
        if (rng() % 15 == 0) v = (rng() % 2) ? -1 : verts + 3;
        doc.AddFvrt({v, 0, 0, 0});
      }
      doc.AddFace(Face(rng() % 20 == 0 ? first - 2 : first, count));
    }
    // Corners that belong to no face still get their vertex's normal.
    doc.AddFvrt({0, 0, 0, 0});

    TMeshDocument ref;
    auto copy = [](const TMeshDocument& from, TMeshDocument& to) {
      to.NumVert = from.NumVert;
      to.NumFvrt = from.NumFvrt;
      to.NumFace = from.NumFace;
      std::copy_n(from.VERT.get(), from.NumVert, to.VERT.get());
      std::copy_n(from.FVRT.get(), from.NumFvrt, to.FVRT.get());
      std::copy_n(from.FACE.get(), from.NumFace, to.FACE.get());
    };
    copy(doc, ref);
    CalcVtnmRecords(doc);
    ReferenceCalcVtnm(ref);
    SCOPED_TRACE(std::string(kind.name) + " seed " + std::to_string(seed));
    ExpectSameRecords(doc, ref);
  }
}

INSTANTIATE_TEST_SUITE_P(Meshes, CalcVtnmMatchesReference,
                         ::testing::Values(TRandomMesh{"unit", 1.0f, 0, 0},
                                           TRandomMesh{"large", 1000.0f, 0, 0},
                                           TRandomMesh{"nearTolerance", 1.0f, 1, 0},
                                           TRandomMesh{"specials", 10.0f, 0, 1}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(VtnmLookup, FindsTheFirstMatchAcrossCellWalls) {
  // Normals straddling cell walls (multiples of 0.00025) in every axis, within and just
  // beyond the tolerance, looked up in both orders.
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    TMeshDocument fast, scan;
    std::vector<TPoint3> pts;
    const float wall = float(int(rng() % 8) - 4) * 0.00025f;
    for (int i = 0; i < 40; ++i) {
      auto off = [&] { return wall + float(int(rng() % 21) - 10) * 0.0000199f; };
      pts.push_back({off(), off(), off()});
    }
    fast.NumVtnm = scan.NumVtnm = 0;
    TVtnmLookup lookup(fast);
    for (const TPoint3& p : pts) ASSERT_EQ(lookup.FindOrAdd(p), FindOrAddVtnm(scan, p));
    ASSERT_EQ(fast.NumVtnm, scan.NumVtnm);
  }
}

TEST(VtnmLookup, NonFiniteNormalsNeverMatch) {
  TMeshDocument doc;
  TVtnmLookup lookup(doc);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(lookup.FindOrAdd({nan, 0, 0}), 0);
  EXPECT_EQ(lookup.FindOrAdd({nan, 0, 0}), 1);
  EXPECT_EQ(lookup.FindOrAdd({0, -0.0f, 0}), 2);
  EXPECT_EQ(lookup.FindOrAdd({0, 0.0f, 0}), 2) << "-0 and 0 are the same normal";
  EXPECT_EQ(lookup.FindOrAdd({std::numeric_limits<float>::infinity(), 0, 0}), 3);
  EXPECT_EQ(lookup.FindOrAdd({std::numeric_limits<float>::infinity(), 0, 0}), 4);
}

TEST(CalcVtnm, FullNormalArrayLeavesTheDocumentAsItWas) {
  // Faces over overlapping corner runs (face k uses corners k, k+1, k+2) of random
  // vertices: nearly every face normal and vertex normal is new, far more than VTNM holds.
  TMeshDocument doc;
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> coord(-1, 1);
  for (int i = 0; i < MeshCapacity; ++i) {
    doc.AddVert({coord(rng), coord(rng), coord(rng)});
    doc.AddFvrt({i, 0, 0, 0});
  }
  for (int k = 0; k + 2 < MeshCapacity; ++k) doc.AddFace(Face(k, 3));
  doc.StoreVtnm({9, 9, 9});
  const TFaceRecord before = doc.FACE[5];
  EXPECT_THROW(CalcVtnmRecords(doc), EMeshDocument);
  EXPECT_EQ(doc.NumVtnm, 1);
  EXPECT_EQ(doc.VTNM[0].x, 9.0f);
  EXPECT_EQ(std::memcmp(&doc.FACE[5], &before, sizeof before), 0);
}

// ---------------------------------------------------------------------------------------
// CALC D and the button forms that save and load

class SavingOps : public ::testing::Test {
protected:
  THomeFiles home;
  TMeshDocument doc;
  void SetUp() override {
    home.WriteEmpty();
    Triangle(doc, {0, 0, 5}, {1, 0, 5}, {0, 1, 5}, 70000);
  }
};

TEST_F(SavingOps, CalcDKeepsNormals) {
  doc.StoreVtnm({7, 7, 7});
  doc.FACE[0].Vtnm = 0;
  CalcD(doc);
  EXPECT_EQ(doc.FACE[0].D, -5.0f);
  EXPECT_EQ(doc.FACE[0].Vtnm, 0);
  EXPECT_EQ(doc.VTNM[0].x, 7.0f);
  EXPECT_EQ(doc.FaceLines.Line(0), "[0 1 2], mat: 70000, d=-5.000");
}

TEST_F(SavingOps, CalcVtnmSavesAndReloads) {
  CalcVtnm(doc);
  TMeshDocument disk;
  disk.LoadRecordFiles();
  EXPECT_EQ(disk.NumVtnm, 1) << "face normal and the three equal vertex normals share one entry";
  EXPECT_EQ(doc.NormalLines.Lines(), (std::vector<std::string>{"0.000, 0.000, 1.000"}));
}

TEST_F(SavingOps, ScaleHalvesAndHundredKeepsFiles) {
  doc.SaveRecordFiles();
  const Bytes original = testsupport::ReadBytes(home.File(kVertFile));
  ScaleModel(doc, 100.0f);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kVertFile)), original);
  ScaleModel(doc, 50.0f);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kVertFile)),
            VertBytes({{0, 0, 2.5f}, {0.5f, 0, 2.5f}, {0, 0.5f, 2.5f}}));
}

// The radius bounds the model: scaling the vertices scales it too, in memory, in radi.kvt and
// in the radius label, and always as a length (a negative percentage mirrors the model).
struct TRadiusCase {
  const char* Name;
  float Percent;
  float Before;
  float After;
  const char* Label;
};

class ScaleRadius : public SavingOps, public ::testing::WithParamInterface<TRadiusCase> {};

TEST_P(ScaleRadius, FollowsTheModel) {
  const TRadiusCase& c = GetParam();
  home.WriteRadi(RadiBytes(c.Before));
  doc.SaveRecordFiles();
  doc.LoadRecordFiles();
  ScaleModel(doc, c.Percent);
  EXPECT_EQ(doc.Radius, c.After);
  EXPECT_EQ(doc.RadiusLabel(), c.Label);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kRadiFile)), RadiBytes(c.After));
  TMeshDocument disk;
  disk.LoadRecordFiles();
  EXPECT_EQ(disk.Radius, c.After);
  EXPECT_EQ(disk.VERT[1].x, c.Percent / 100.0f) << "the vertices are scaled with the radius";
}

INSTANTIATE_TEST_SUITE_P(
    Percentages, ScaleRadius,
    ::testing::Values(TRadiusCase{"Double", 200, 7.5f, 15.0f, "RADI=15"},
                      TRadiusCase{"Half", 50, 7.5f, 3.75f, "RADI=3.8"},
                      TRadiusCase{"Same", 100, 7.5f, 7.5f, "RADI=7.5"},
                      TRadiusCase{"MirroredStaysPositive", -200, 7.5f, 15.0f, "RADI=15"},
                      TRadiusCase{"Zero", 0, 7.5f, 0.0f, "RADI=0"}),
    [](const ::testing::TestParamInfo<TRadiusCase>& p) { return std::string(p.param.Name); });

TEST_F(SavingOps, ScaleWithoutRadiusFileStartsFromTheLoadedOne) {
  doc.SaveRecordFiles();
  doc.LoadRecordFiles();  // no radi.kvt: the radius is 1
  ScaleModel(doc, 300);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kRadiFile)), RadiBytes(3.0f));
}

TEST_F(SavingOps, ScaleKeepsTheBytesAfterTheRadius) {
  home.WriteRadi({0, 0, 0x20, 0x40, 1, 2, 3});  // 2.5f, then three bytes of a longer chunk
  doc.SaveRecordFiles();
  doc.LoadRecordFiles();
  ScaleModel(doc, 200);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kRadiFile)), (Bytes{0, 0, 0xA0, 0x40, 1, 2, 3}));
}

TEST_F(SavingOps, ScaleRefusesAnOversizedRadiusFileAndWritesNothing) {
  doc.SaveRecordFiles();
  const Bytes vert = testsupport::ReadBytes(home.File(kVertFile));
  const Bytes radi(TMeshDocument::kMaxRadiFileBytes + 1, 0);
  home.WriteRadi(radi);
  EXPECT_THROW(ScaleModel(doc, 200), EInOutError);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kVertFile)), vert);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kRadiFile)), radi);
}

TEST_F(SavingOps, FlipsLeaveTheRadiusFile) {
  const Bytes radi{0, 0, 0x20, 0x40, 1, 2, 3};
  home.WriteRadi(radi);
  FlipY(doc);
  FlipZ(doc);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kRadiFile)), radi);
  EXPECT_EQ(doc.Radius, 2.5f);
}

TEST_F(SavingOps, FlipsMirrorOneAxis) {
  FlipY(doc);
  EXPECT_EQ(doc.VERT[2].y, -1.0f);
  FlipZ(doc);
  EXPECT_EQ(doc.VERT[0].z, -5.0f);
  EXPECT_EQ(doc.VERT[1].x, 1.0f);
  TMeshDocument disk;
  disk.LoadRecordFiles();
  EXPECT_EQ(disk.VERT[2].y, -1.0f);
  EXPECT_EQ(disk.VERT[2].z, -5.0f);
}

TEST_F(SavingOps, FlipVtnmStaysInMemory) {
  doc.AddVtnm({0, 0.5f, -1});
  doc.SaveRecordFiles();
  FlipVtnm(doc);
  EXPECT_EQ(doc.VTNM[0].y, -0.5f);
  EXPECT_EQ(doc.VTNM[0].z, 1.0f);
  EXPECT_EQ(doc.NormalLines.Line(0), "0.000, 0.500, -1.000") << "the list keeps the old values";
  TMeshDocument disk;
  disk.LoadRecordFiles();
  EXPECT_EQ(disk.VTNM[0].y, 0.5f);
}

}  // namespace

namespace {

// A fin of no thickness: two triangles in the plane z = 0 over the edge 0-1, one each way
// round, so the faces' normals cancel at 0 and 1. Those corners take their face's normal,
// the zero normal goes, and the corners at 2 and 3 (one face each) keep theirs.
TEST(FaceNormalsForCornersWithout, AFinsSharedCornersTakeTheirFacesNormal) {
  TMeshDocument doc;
  for (const TPoint3& p :
       {TPoint3{0, 0, 0}, TPoint3{1, 0, 0}, TPoint3{0.5f, 1, 0}, TPoint3{0.5f, 2, 0}})
    doc.AddVert(p);
  for (int32_t v : {0, 1, 2, 1, 0, 3}) doc.AddFvrt({v, 0, 0, 0});
  doc.AddFace(Face(0, 3));
  doc.AddFace(Face(3, 3));
  CalcVtnmRecords(doc);
  const auto isZero = [](const TPoint3& n) { return n.x == 0 && n.y == 0 && n.z == 0; };
  ASSERT_TRUE(isZero(doc.VTNM[doc.FVRT[0].Vtnm]));  // what the fin gives without the mend
  const int32_t atTwo = doc.FVRT[2].Vtnm;
  const TPoint3 two = doc.VTNM[atTwo];
  EXPECT_EQ(FaceNormalsForCornersWithout(doc), 4);
  for (int32_t n = 0; n < doc.NumVtnm; ++n) EXPECT_FALSE(isZero(doc.VTNM[n])) << n;
  for (int32_t r = 0; r < 6; ++r) {
    const int32_t face = r / 3;
    if (doc.FVRT[r].Vert >= 2) continue;
    EXPECT_EQ(doc.FVRT[r].Vtnm, doc.FACE[face].Vtnm) << "FVRT " << r;
  }
  EXPECT_EQ(doc.VTNM[doc.FVRT[2].Vtnm].z, two.z);
  EXPECT_NE(doc.VTNM[doc.FACE[0].Vtnm].z, doc.VTNM[doc.FACE[1].Vtnm].z);
  // Nothing left without a direction: a second pass changes nothing.
  const int32_t count = doc.NumVtnm;
  EXPECT_EQ(FaceNormalsForCornersWithout(doc), 0);
  EXPECT_EQ(doc.NumVtnm, count);
}

}  // namespace
