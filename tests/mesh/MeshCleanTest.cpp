// "clean" and the two checks that name what it mends (duplicate vertices, edges of more
// than two faces). The meshes are made here: a unit cube whose records carry each fault a
// modder's records can have, an open strip for the winding of an open part, and points at
// the weld distance and just past it.
#include "mesh/MeshClean.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "mesh/MeshCheck.h"
#include "mesh/Normals.h"
#include "mesh/RecordFiles.h"
#include "support/TestSupport.h"

namespace {

// The cube from -1 to 1: vertex i has x = bit 0, y = bit 1, z = bit 2 (0 is -1, 1 is +1).
// Each side as four vertices anticlockwise seen from outside, the way the game's normals
// point out (the import keeps that order).
const int kSides[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                          {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};

TPoint3 Corner(int i) { return {i & 1 ? 1.0f : -1.0f, i & 2 ? 1.0f : -1.0f, i & 4 ? 1.0f : -1.0f}; }

class MeshClean : public ::testing::Test {
protected:
  testsupport::TempDir home;
  TMeshDocument doc;

  void SetUp() override { doc.ShowData = false; }

  // A face over these vertices, corner k with texture coordinates (k, 10 * face).
  void AddFace(std::initializer_list<int32_t> verts, int32_t mat) {
    const int32_t first = doc.NumFvrt;
    int32_t k = 0;
    for (int32_t v : verts) {
      doc.AddFvrt({v, 0, static_cast<float>(k++), static_cast<float>(10 * doc.NumFace)});
    }
    doc.AddFace({0, 0.0f, mat, first, static_cast<int32_t>(verts.size()), 0, kEditorReserved2});
  }

  // The cube with every fault clean mends:
  //  - vertex 8 is vertex 5 moved by 1e-6 (far under 1e-4 of the size 2 sqrt 3), and side 1
  //    uses it instead of 5;
  //  - vertex 9 is used by no corner, normal 1 by no record;
  //  - side 2 runs the wrong way round;
  //  - a face over three vertices on one edge of the cube (no area);
  //  - side 5 twice, the copy starting at another corner;
  //  - vertex 10 is vertex 0 moved 1e-6: the zero-area face's middle corner is on it, so the
  //    weld leaves that face with a corner twice in a row.
  void MakeFaultyCube() {
    for (int i = 0; i < 8; ++i) doc.AddVert(Corner(i));
    doc.AddVert({1.0f + 1e-6f, -1.0f, 1.0f});    // 8: a copy of 5
    doc.AddVert({0.5f, 0.5f, 0.5f});             // 9: unused
    doc.AddVert({-1.0f, -1.0f, -1.0f + 1e-6f});  // 10: a copy of 0
    doc.AddVtnm({0.0f, 1.0f, 0.0f});
    doc.AddVtnm({1.0f, 0.0f, 0.0f});  // unused
    AddFace({0, 2, 3, 1}, 1001);
    AddFace({4, 8, 7, 6}, 1002);  // 5 as its copy
    AddFace({4, 5, 1, 0}, 1003);  // reversed from {0, 1, 5, 4}, first corner kept
    AddFace({2, 6, 7, 3}, 1004);
    AddFace({0, 4, 6, 2}, 1005);
    AddFace({1, 3, 7, 5}, 1006);
    AddFace({0, 10, 1}, 1007);    // no area once 10 is 0
    AddFace({7, 5, 1, 3}, 1008);  // side 5 again
  }

  // Every face's normal (from "Calc VTNM", in VTNM) points away from the cube's centre.
  void ExpectOutwards() {
    for (int32_t f = 0; f < doc.NumFace; ++f) {
      const TFaceRecord& face = doc.FACE[f];
      TPoint3 mid{0, 0, 0};
      for (int32_t k = 0; k < face.FvrtCount; ++k) {
        const TPoint3& p = doc.VERT[doc.FVRT[face.FirstFvrt + k].Vert];
        mid = {mid.x + p.x, mid.y + p.y, mid.z + p.z};
      }
      const TPoint3& n = doc.VTNM[face.Vtnm];
      EXPECT_GT(n.x * mid.x + n.y * mid.y + n.z * mid.z, 0.0f) << "FACE " << f;
    }
  }
};

TEST_F(MeshClean, MendsEveryFaultOfTheCubeAndCountsEach) {
  MakeFaultyCube();
  ASSERT_FALSE(CheckMesh(doc).Empty());
  const TCleanReport r = CleanRecords(doc);
  EXPECT_EQ(r.MergedVerts, 2);    // 8 into 5, 10 into 0
  EXPECT_EQ(r.MergedCorners, 1);  // the zero-area face's 10 after 0
  EXPECT_EQ(r.ZeroAreaFaces, 1);
  EXPECT_EQ(r.DuplicateFaces, 1);
  EXPECT_EQ(r.TurnedFaces, 1);
  EXPECT_EQ(r.UnusedVerts, 1);  // 9
  EXPECT_EQ(r.UnusedNormals, 1);
  EXPECT_EQ(r.UnusedCorners, 0);
  EXPECT_EQ(doc.NumVert, 8);
  EXPECT_EQ(doc.NumFace, 6);
  EXPECT_EQ(doc.NumFvrt, 24);
  const TMeshProblems after = CheckMesh(doc);
  EXPECT_TRUE(after.Empty()) << ProblemLines(after.Indices) << ProblemLines(after.Others);
  ExpectOutwards();
  // The vertices keep their order, the copies and the unused one gone.
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(doc.VERT[i].x, Corner(i).x) << i;
    EXPECT_EQ(doc.VERT[i].z, Corner(i).z) << i;
  }
  // Materials in face order; the turned face keeps its first corner and its corners'
  // texture coordinates go with them.
  const int32_t mats[] = {1001, 1002, 1003, 1004, 1005, 1006};
  for (int32_t f = 0; f < 6; ++f) EXPECT_EQ(doc.FACE[f].Mat, mats[f]);
  const TFaceRecord& turned = doc.FACE[2];
  const int32_t expectVerts[] = {4, 0, 1, 5};
  const float expectTx[] = {0, 3, 2, 1};
  for (int32_t k = 0; k < 4; ++k) {
    EXPECT_EQ(doc.FVRT[turned.FirstFvrt + k].Vert, expectVerts[k]) << k;
    EXPECT_EQ(doc.FVRT[turned.FirstFvrt + k].Tx, expectTx[k]) << k;
    EXPECT_EQ(doc.FVRT[turned.FirstFvrt + k].Ty, 20.0f) << k;
  }
  // D and the radius follow: every side lies at distance 1, the farthest vertex at sqrt 3.
  for (int32_t f = 0; f < 6; ++f) EXPECT_NEAR(std::fabs(doc.FACE[f].D), 1.0f, 1e-6f) << f;
  EXPECT_FLOAT_EQ(doc.Radius, std::sqrt(3.0f));
}

TEST_F(MeshClean, AnInsideOutCubeIsTurnedOutwardsWhole) {
  for (int i = 0; i < 8; ++i) doc.AddVert(Corner(i));
  doc.AddVtnm({0, 0, 0});
  for (const auto& s : kSides) AddFace({s[0], s[3], s[2], s[1]}, 1);
  const TCleanReport r = CleanRecords(doc);
  EXPECT_EQ(r.TurnedFaces, 6);
  ExpectOutwards();
}

TEST_F(MeshClean, AnOpenStripTurnsTheFewestFaces) {
  // Three squares in a row in the plane z = 0; the first is turned against the other two.
  for (int i = 0; i < 8; ++i)
    doc.AddVert({static_cast<float>(i / 2), static_cast<float>(i % 2), 0.0f});
  doc.AddVtnm({0, 0, 0});
  AddFace({0, 1, 3, 2}, 1);
  AddFace({2, 4, 5, 3}, 1);
  AddFace({4, 6, 7, 5}, 1);
  const TCleanReport r = CleanRecords(doc);
  EXPECT_EQ(r.TurnedFaces, 1);
  EXPECT_EQ(doc.FVRT[doc.FACE[0].FirstFvrt + 1].Vert, 2);  // 0 2 3 1 now
  for (int32_t f = 0; f < 3; ++f) EXPECT_GT(doc.VTNM[doc.FACE[f].Vtnm].z, 0.5f) << f;
}

TEST_F(MeshClean, WeldingPositionsKeepsTextureSeams) {
  // Two triangles meet along an edge whose vertices are each stored twice; the corners on
  // either side keep their own texture coordinates.
  doc.AddVert({0, 0, 0});
  doc.AddVert({1, 0, 0});
  doc.AddVert({0, 1, 0});
  doc.AddVert({1, 0, 0});  // 3: a copy of 1
  doc.AddVert({0, 1, 0});  // 4: a copy of 2
  doc.AddVert({1, 1, 0});
  doc.AddVtnm({0, 0, 0});
  AddFace({0, 1, 2}, 1);
  AddFace({3, 5, 4}, 1);
  CleanRecords(doc);
  ASSERT_EQ(doc.NumVert, 4);
  ASSERT_EQ(doc.NumFvrt, 6);
  EXPECT_EQ(doc.FVRT[3].Vert, 1);
  EXPECT_EQ(doc.FVRT[5].Vert, 2);
  for (int32_t c = 0; c < 6; ++c) {
    EXPECT_EQ(doc.FVRT[c].Tx, static_cast<float>(c % 3)) << c;
    EXPECT_EQ(doc.FVRT[c].Ty, c < 3 ? 0.0f : 10.0f) << c;
  }
}

TEST_F(MeshClean, RecordsItCannotMendAreRefusedAndLeftAsTheyWere) {
  MakeFaultyCube();
  doc.FVRT[5].Vert = 40;
  const int32_t verts = doc.NumVert, faces = doc.NumFace;
  try {
    CleanRecords(doc);
    FAIL() << "cleaned";
  } catch (const EMeshClean& e) {
    EXPECT_NE(std::string(e.what()).find("FVRT 5: vertex index 40 is out of range"),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(doc.NumVert, verts);
  EXPECT_EQ(doc.NumFace, faces);
  EXPECT_EQ(doc.FVRT[5].Vert, 40);
}

TEST_F(MeshClean, TheCommandSavesTheCleanedRecords) {
  MakeFaultyCube();
  doc.SaveRecordFiles();
  TMeshDocument loaded;
  loaded.ShowData = false;
  loaded.LoadRecordFiles();
  CleanMesh(loaded);
  TMeshDocument again;
  again.ShowData = false;
  again.LoadRecordFiles();
  EXPECT_EQ(again.NumVert, 8);
  EXPECT_EQ(again.NumFace, 6);
  EXPECT_FLOAT_EQ(again.Radius, std::sqrt(3.0f));
  EXPECT_TRUE(CheckMesh(again).Empty());
}

// The weld distance is inclusive: a point at exactly the distance merges, one a step
// beyond it does not, and a point merges into the first point near it, never into a point
// that merged itself (no chains).
TEST(WeldVertices, AtTheDistanceAndOneStepPast) {
  const float d = 0.25f;
  const std::vector<TPoint3> points = {
      {0, 0, 0}, {d, 0, 0}, {0, std::nextafter(d, 1.0f), 0}, {1.5f * d, 0, 0}, {0, 0, 0}};
  const std::vector<int32_t> into = WeldVertices(points, d);
  EXPECT_EQ(into, (std::vector<int32_t>{0, 0, 2, 3, 0}));
}

TEST(WeldVertices, DistanceZeroMergesOnlyEqualPositions) {
  const std::vector<TPoint3> points = {{1, 2, 3}, {1, 2, std::nextafter(3.0f, 4.0f)}, {1, 2, 3}};
  EXPECT_EQ(WeldVertices(points, 0.0), (std::vector<int32_t>{0, 1, 0}));
}

TEST_F(MeshClean, CheckNamesDuplicateVerticesAndEdgesOfMoreThanTwoFaces) {
  // Three triangles on the edge 0-1 (a fin), and vertex 4 a copy of vertex 2.
  doc.AddVert({0, 0, 0});
  doc.AddVert({1, 0, 0});
  doc.AddVert({0, 1, 0});
  doc.AddVert({0, 0, 1});
  doc.AddVert({0, 1, 0});
  doc.AddVtnm({0, 0, 0});
  AddFace({0, 1, 2}, 1);
  AddFace({1, 0, 3}, 1);
  AddFace({0, 1, 4}, 1);
  CalcVtnmRecords(doc);
  const std::vector<std::string>& lines = CheckMesh(doc).Others;
  const std::set<std::string> got(lines.begin(), lines.end());
  EXPECT_EQ(got.count("VERT 4: a duplicate of VERT 2 (within 0.0001732)"), 1u)
      << ProblemLines(lines);
  EXPECT_EQ(got.count("VERT 0 to VERT 1: an edge of 3 faces (FACE 0, FACE 1, FACE 2), more "
                      "than two"),
            1u)
      << ProblemLines(lines);
  EXPECT_EQ(lines.size(), 2u) << ProblemLines(lines);
}

}  // namespace
