// Faces without area, repeated corners and faces, and self-crossing polygons: hand-made OBJ
// files through the whole import, and the rebuilding steps on scenes of their own.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "interchange/GameReady.h"
#include "interchange/PolygonRebuild.h"
#include "mesh/FaceShape.h"
#include "mesh/MeshCheck.h"
#include "mesh/MeshTestSupport.h"
#include "mesh/Normals.h"

namespace {

using testsupport::WriteText;

struct TDropCase {
  const char* Name;
  const char* Obj;
  int32_t Faces, Corners;
  const char* Note;  // a line the report must hold
};

// Each file holds one good face (or two) besides what must go.
const TDropCase kDropCases[] = {
    // One good triangle and two whose corners lie on a line (one of them a mere speck).
    {"collinear",
     "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 5 5 0\nv 6 6 0\nv 7 7 0\nv 8 8 0\nv 8 8.00001 0\n"
     "f 1 2 3\nf 4 5 6\nf 7 8 4\n",
     1, 3, "Dropped 2 faces without area"},
    // A corner given twice in a row, and the last one again as the first.
    {"repeated-corner", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 2 3 4 1\n", 1, 4,
     "Dropped 2 corners that repeat a corner of their face"},
    // A square that lists its corners three times over: one face.
    {"thrice", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nf 1 2 3 4 1 2 3 4 1 2 3 4\n", 1, 4,
     "Dropped 2 faces that repeat another face's corners"},
    // The same triangle from another start; its mirror image (the back side) stays.
    {"duplicate", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\nf 2 3 1\nf 1 3 2\n", 2, 6,
     "Dropped 1 faces that repeat another face's corners"},
    // A spike out and back along one edge is no part of the face.
    {"spike", "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 3 0 0\nf 1 2 5 2 3 4\n", 1, 4,
     "corners that repeat a corner of their face"},
};

class DroppedFaces : public ::testing::TestWithParam<TDropCase> {
protected:
  testsupport::TempDir home;
  TMeshDocument doc;
};

TEST_P(DroppedFaces, LeaveOnlyFacesWithArea) {
  const TDropCase& c = GetParam();
  const std::string file = home.File(std::string(c.Name) + ".obj");
  WriteText(file, c.Obj);
  doc.ShowData = false;
  const std::string text = ImportModel(doc, file).Text();
  EXPECT_EQ(doc.NumFace, c.Faces) << text;
  EXPECT_EQ(doc.NumFvrt, c.Corners) << text;
  EXPECT_NE(text.find(c.Note), std::string::npos) << text;
  EXPECT_TRUE(CheckMesh(doc).Empty()) << ProblemLines(CheckMesh(doc).Others);
}

INSTANTIATE_TEST_SUITE_P(Table, DroppedFaces, ::testing::ValuesIn(kDropCases),
                         [](const auto& param) {
                           std::string name = param.param.Name;
                           std::erase(name, '-');
                           return name;
                         });

// A file whose every face has no area is refused with that reason, the mesh untouched.
TEST(DroppedFaces, AModelWithNothingLeftIsRefused) {
  testsupport::TempDir home;
  TMeshDocument doc;
  doc.ShowData = false;
  const std::string file = home.File("flat.obj");
  WriteText(file, "v 0 0 0\nv 1 0 0\nv 2 0 0\nv 3 0 0\nf 1 2 3\nf 2 3 4\nf 1 1 1\n");
  try {
    ImportModel(doc, file);
    FAIL() << "imported";
  } catch (const EInterchange& e) {
    EXPECT_NE(std::string(e.what()).find("has no face that encloses an area (all 3 polygons"),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(doc.NumFace, 0);
}

// The twice signed area of a face's loop, seen from +z.
double AreaZ(const TMeshDocument& doc, int32_t face) {
  const TFaceRecord& f = doc.FACE[face];
  double area = 0;
  for (int32_t k = 0; k < f.FvrtCount; ++k) {
    const TPoint3& a = doc.VERT[doc.FVRT[f.FirstFvrt + k].Vert];
    const TPoint3& b = doc.VERT[doc.FVRT[f.FirstFvrt + (k + 1) % f.FvrtCount].Vert];
    area += double{a.x} * b.y - double{b.x} * a.y;
  }
  return area;
}

// A five-pointed star drawn in one stroke: the five points and the pentagon inside, every
// piece facing +z as the star's area does, together covering the star once.
TEST(SelfCrossing, APentagramComesInAsItsRegionsAllFacingOneWay) {
  testsupport::TempDir home;
  TMeshDocument doc;
  doc.ShowData = false;
  std::string obj;
  for (int k = 0; k < 5; ++k) {
    const double angle = std::numbers::pi / 2 + 2 * std::numbers::pi * k / 5;
    obj += "v " + std::to_string(std::cos(angle)) + " " + std::to_string(std::sin(angle)) + " 0\n";
  }
  obj += "f 1 3 5 2 4\n";
  const std::string file = home.File("star.obj");
  WriteText(file, obj);
  const std::string text = ImportModel(doc, file).Text();
  EXPECT_NE(text.find("Cut 1 self-crossing polygons"), std::string::npos) << text;
  double total = 0;
  for (int32_t f = 0; f < doc.NumFace; ++f) {
    EXPECT_GT(AreaZ(doc, f), 0.0) << f;
    EXPECT_GT(doc.VTNM[doc.FACE[f].Vtnm].z, 0.99f) << f;
    total += AreaZ(doc, f) / 2;
  }
  // The star of a unit circle: the pentagon inside (radius r = sin 18 / sin 126 of the
  // outer) and five points, 10 triangles of the centre, outer and inner corner.
  const double r = std::sin(std::numbers::pi / 10) / std::sin(7 * std::numbers::pi / 10);
  EXPECT_NEAR(total, 10 * 0.5 * r * std::sin(std::numbers::pi / 5), 1e-5);
  EXPECT_GE(doc.NumFace, 2);
  EXPECT_TRUE(CheckMesh(doc).Empty()) << ProblemLines(CheckMesh(doc).Others);
}

// A scene of one material with the corners given; faces as lists of vertex indices.
TGatheredScene Scene(const std::vector<TPoint3>& verts,
                     const std::vector<std::vector<int32_t>>& faces) {
  TGatheredScene scene;
  scene.Verts = verts;
  scene.Materials.resize(1);
  scene.MeshNames = {"m"};
  for (const auto& face : faces) {
    const auto first = static_cast<int32_t>(scene.Corners.size());
    for (const int32_t v : face) scene.Corners.push_back({v, 0.0f, 0.0f, {0, 0, 1}});
    scene.Faces.push_back({first, static_cast<int32_t>(face.size()), 0});
  }
  return scene;
}

std::vector<std::vector<int32_t>> Loops(const TGatheredScene& scene) {
  std::vector<std::vector<int32_t>> loops;
  for (const TSceneFace& f : scene.Faces) {
    loops.emplace_back();
    for (int32_t k = 0; k < f.Count; ++k)
      loops.back().push_back(scene.Corners[static_cast<size_t>(f.First + k)].Vert);
  }
  return loops;
}

// A square with a corner M on its bottom edge, fanned from its first corner as a triangle
// format carries it: the triangle A M B has no area; M goes back into A B C, and the
// rebuild makes the square of five corners again.
TEST(StraightEdgeCorner, ATriangleOnALineGivesItsCornerBackToTheFaceBeside) {
  // A, M, B, C, D, and E below the bottom edge (the faces under it use M too).
  TGatheredScene scene = Scene({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {1, -1, 0}},
                               {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {1, 0, 5}, {2, 1, 5}});
  TRebuildCounts counts;
  DropFacesWithoutArea(scene, 1e-4, counts);
  EXPECT_EQ(counts.NoArea, 1);
  EXPECT_EQ(counts.GivenBack, 1);
  EXPECT_EQ(Loops(scene),
            (std::vector<std::vector<int32_t>>{{0, 1, 2, 3}, {0, 3, 4}, {1, 0, 5}, {2, 1, 5}}));
  RebuildPolygons(scene);
  ASSERT_EQ(scene.Faces.size(), 2u);
  EXPECT_EQ(scene.Faces[0].Count, 5);  // A M B C D, from its best start
}

// The long edge's far side holds nothing, or more than one face: the corner is not given.
TEST(StraightEdgeCorner, NoFaceOrTwoFacesAcrossTheEdgeTakeNothing) {
  // The face beside has the long edge the same way round: it is no neighbour across it.
  TGatheredScene alone =
      Scene({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 2, 0}}, {{0, 1, 2}, {0, 3, 2}});
  TRebuildCounts counts;
  DropFacesWithoutArea(alone, 1e-4, counts);
  EXPECT_EQ(counts.GivenBack, 0);
  EXPECT_EQ(Loops(alone), (std::vector<std::vector<int32_t>>{{0, 3, 2}}));
  TGatheredScene two = Scene({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 2, 0}, {2, -2, 0}},
                             {{0, 1, 2}, {0, 2, 3}, {0, 2, 4}});
  DropFacesWithoutArea(two, 1e-4, counts);
  EXPECT_EQ(counts.GivenBack, 0);
  EXPECT_EQ(two.Faces.size(), 2u);
}

// A triangle exactly as high as the tolerance goes; a little higher stays.
TEST(StraightEdgeCorner, TheToleranceIsAWidth) {
  const double limit = 0.0009765625;  // 2^-10: exact in floats
  for (const auto& [height, kept] : {std::pair{limit, 0u}, std::pair{0.00098, 1u}}) {
    TGatheredScene scene = Scene({{0, 0, 0}, {4, 0, 0}, {2, float(height), 0}}, {{0, 1, 2}});
    TRebuildCounts counts;
    // Twice the area over the loop's extent (its box's diagonal), with room for rounding.
    const double tolerance = 4 * limit / std::hypot(4.0, limit) * (1 + 1e-12);
    DropFacesWithoutArea(scene, tolerance, counts);
    EXPECT_EQ(scene.Faces.size(), kept) << height;
  }
}

// What the rebuild leaves, rebuilt again, stays as it is: a file written from an import
// comes back with the same faces.
TEST(MergeStability, ARebuiltSceneRebuildsToItself) {
  // A flat fan of twelve triangles round a centre, every third corner twice as far out:
  // no single face holds it, and the faces left meet along whole edges.
  std::vector<TPoint3> verts{{0, 0, 0}};
  std::vector<std::vector<int32_t>> faces;
  for (int k = 0; k < 12; ++k) {
    const double a = 2 * std::numbers::pi * k / 12;
    verts.push_back({float(std::cos(a) * (k % 3 == 0 ? 2 : 1)), float(std::sin(a)), 0});
  }
  for (int k = 0; k < 12; ++k) faces.push_back({0, 1 + k, 1 + (k + 1) % 12});
  TGatheredScene scene = Scene(verts, faces);
  RebuildPolygons(scene);
  TGatheredScene again = scene;
  const TRebuildCounts counts = RebuildPolygons(again);
  EXPECT_EQ(counts.Merged, 0);
  EXPECT_EQ(Loops(again), Loops(scene));
}

}  // namespace
