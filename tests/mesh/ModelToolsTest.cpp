// The geometry tools keep a model the game can use: after every one of them each face's
// stored normal and D agree with its corners, faces still face outwards, and "check" finds
// nothing; and "check" names a face whose D disagrees.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "mesh/Geometry.h"
#include "mesh/MeshCheck.h"
#include "mesh/MeshTestSupport.h"
#include "mesh/Normals.h"
#include "mesh/Vector.h"

namespace {

// A tetrahedron away from the origin (so that no D is 0), each triangle turned to face
// outwards, with normals and D from "Calc VTNM".
void MakeTetrahedron(TMeshDocument& doc) {
  const TPoint3 p[4] = {{2, 3, 4}, {3, 3, 4}, {2, 4, 4}, {2, 3, 5}};
  for (const TPoint3& v : p) doc.AddVert(v);
  const int tri[4][3] = {{0, 1, 2}, {0, 1, 3}, {0, 2, 3}, {1, 2, 3}};
  const TVec4 centre = Make(2.25f, 3.25f, 4.25f);
  for (int f = 0; f < 4; ++f) {
    int a = tri[f][0], b = tri[f][1], c = tri[f][2];
    // The stored normal is minus PlaneNormal of the first three corners: turn the face
    // when that would point into the body.
    const TVec4 n = PlaneNormal(Make(p[a]), Make(p[b]), Make(p[c]));
    if (Dot(n, Sub(Make(p[a]), centre)) > 0) std::swap(b, c);
    for (int v : {a, b, c}) doc.AddFvrt({v, 0, float(v) / 4, 0.5f});
    doc.AddFace({0, 0.0f, 1000, f * 3, 3, 0, kEditorReserved2});
  }
  CalcVtnmRecords(doc);
}

TVec4 Centre(const TMeshDocument& doc) {
  TVec4 c = Make(0, 0, 0);
  for (int32_t i = 0; i < doc.NumVert; ++i) Add(c, Make(doc.VERT[i]));
  return Make(c.x / float(doc.NumVert), c.y / float(doc.NumVert), c.z / float(doc.NumVert));
}

// Every face: its stored normal is the one "Calc VTNM" gives its corners, its D the one
// "CALC D" gives, and the normal points away from the body.
void ExpectFacesTrue(const TMeshDocument& doc) {
  const TVec4 centre = Centre(doc);
  for (int32_t f = 0; f < doc.NumFace; ++f) {
    const TFaceRecord& face = doc.FACE[f];
    TVec4 p1;
    TVec4 n = FacePlaneNormal(doc, face, &p1);
    EXPECT_NEAR(face.D, Dot(n, p1), 1e-4) << "face " << f;
    Negate(n, true, true, true);
    ASSERT_NE(doc.VtnmAt(face.Vtnm), nullptr) << "face " << f;
    const TPoint3& stored = doc.VTNM[face.Vtnm];
    EXPECT_NEAR(stored.x, n.x, 1e-4) << "face " << f;
    EXPECT_NEAR(stored.y, n.y, 1e-4) << "face " << f;
    EXPECT_NEAR(stored.z, n.z, 1e-4) << "face " << f;
    EXPECT_GT(Dot(Make(stored), Sub(p1, centre)), 0.0f) << "face " << f << " faces inwards";
  }
  for (const std::string& line : CheckMesh(doc).Others)
    EXPECT_EQ(line.find(": D is"), std::string::npos) << line;
}

struct TToolCase {
  const char* Name;
  std::function<void(TMeshDocument&)> Apply;
};

class ModelTools : public ::testing::TestWithParam<TToolCase> {};

TEST_P(ModelTools, LeaveNormalsDAndRadiusTrue) {
  TMeshDocument doc;
  MakeTetrahedron(doc);
  ExpectFacesTrue(doc);
  GetParam().Apply(doc);
  ExpectFacesTrue(doc);
}

INSTANTIATE_TEST_SUITE_P(
    EveryTool, ModelTools,
    ::testing::Values(
        TToolCase{"Scale200", [](TMeshDocument& d) { ScaleVerts(d, 200); }},
        TToolCase{"Scale50", [](TMeshDocument& d) { ScaleVerts(d, 50); }},
        TToolCase{"ScaleMinus150", [](TMeshDocument& d) { ScaleVerts(d, -150); }},
        TToolCase{"MirrorY", [](TMeshDocument& d) { MirrorRecords(d, false, true, false); }},
        TToolCase{"MirrorZ", [](TMeshDocument& d) { MirrorRecords(d, false, false, true); }},
        TToolCase{"RotateX", [](TMeshDocument& d) { RotateModel(d, 0.05f, 0, 0); }},
        TToolCase{"RotateZQuarter", [](TMeshDocument& d) { RotateModel(d, 0, 0, 1.6f); }},
        TToolCase{"SpinStepsY",
                  [](TMeshDocument& d) {
                    for (int i = 0; i < 40; ++i) RotateModelStep(d, 0.05f, false, true, false);
                  }},
        TToolCase{"SetVertex",
                  [](TMeshDocument& d) {
                    SetVertex(d, 3, {2.5f, 3.5f, 7});
                  }}),
    [](const ::testing::TestParamInfo<TToolCase>& p) { return p.param.Name; });

TEST(ModelTools, ScaleMultipliesDAndKeepsTheWallWhereTheVerticesAre) {
  // A wall at z = 3 facing +z: N = (0, 0, 1), D = -3. Doubled, it lies at z = 6: D = -6.
  TMeshDocument doc;
  MakeTetrahedron(doc);
  for (int32_t f = 0; f < doc.NumFace; ++f) doc.FACE[f].D = 1.5f * float(f + 1);
  ScaleVerts(doc, 200);
  for (int32_t f = 0; f < doc.NumFace; ++f) EXPECT_EQ(doc.FACE[f].D, 3.0f * float(f + 1));
  ScaleVerts(doc, -50);
  for (int32_t f = 0; f < doc.NumFace; ++f) EXPECT_EQ(doc.FACE[f].D, 1.5f * float(f + 1));
}

TEST(ReverseFaceCorners, KeepsTheFirstCornerAndReversesTheRest) {
  TMeshDocument doc;
  for (int i = 0; i < 9; ++i) doc.AddFvrt({i, 0, 0, 0});
  doc.AddFace(meshtest::Face(0, 4));
  doc.AddFace(meshtest::Face(0, 4));  // the same run: reversed once, not back again
  doc.AddFace(meshtest::Face(4, 3));
  doc.AddFace(meshtest::Face(7, 3));  // runs past FVRT's end: left as it is
  ReverseFaceCorners(doc);
  const int expected[9] = {0, 3, 2, 1, 4, 6, 5, 7, 8};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(doc.FVRT[i].Vert, expected[i]) << "FVRT " << i;
}

TEST(SetVertex, RefusesAVertexThatDoesNotExist) {
  TMeshDocument doc;
  MakeTetrahedron(doc);
  EXPECT_THROW(SetVertex(doc, 4, {0, 0, 0}), EMeshDocument);
  EXPECT_THROW(SetVertex(doc, -1, {0, 0, 0}), EMeshDocument);
  EXPECT_EQ(doc.VERT[3].z, 5.0f);
}

TEST(SetVertex, GivesItsCornersTheAverageOfItsFaceNormals) {
  TMeshDocument doc;
  MakeTetrahedron(doc);
  SetVertex(doc, 0, {2, 3, 4});  // where it is: the normals must come out as Calc VTNM's
  TMeshDocument fresh;
  MakeTetrahedron(fresh);
  for (int32_t r = 0; r < doc.NumFvrt; ++r) {
    if (doc.FVRT[r].Vert != 0) continue;
    const TPoint3& got = doc.VTNM[doc.FVRT[r].Vtnm];
    const TPoint3& want = fresh.VTNM[fresh.FVRT[r].Vtnm];
    EXPECT_NEAR(got.x, want.x, 1e-6);
    EXPECT_NEAR(got.y, want.y, 1e-6);
    EXPECT_NEAR(got.z, want.z, 1e-6);
  }
}

class CheckFaceD : public ::testing::Test {
protected:
  TMeshDocument doc;
  void SetUp() override { MakeTetrahedron(doc); }
  std::vector<std::string> DLines() const {
    std::vector<std::string> lines;
    for (const std::string& line : CheckMesh(doc).Others)
      if (line.find(": D is") != std::string::npos) lines.push_back(line);
    return lines;
  }
};

TEST_F(CheckFaceD, NamesTheFaceAndBothValues) {
  // Face 0 lies in z = 4 (the stored normal is (0, 0, -1)): D = 4.
  ASSERT_EQ(doc.FACE[0].D, 4.0f);
  doc.FACE[0].D = 8.0f;
  EXPECT_EQ(DLines(), std::vector<std::string>{"FACE 0: D is 8.000, its corners give 4.000"});
}

TEST_F(CheckFaceD, ToleranceIsThePlanarOneOfTheMeshSize) {
  // The box is 1 x 1 x 1: the tolerance is 1e-4 of its diagonal, 1.73e-4.
  doc.FACE[3].D += 0.00015f;
  EXPECT_TRUE(DLines().empty());
  doc.FACE[3].D += 0.00004f;
  EXPECT_EQ(DLines().size(), 1u);
}

}  // namespace
