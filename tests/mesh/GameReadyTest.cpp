// Game-ready imports: hand-made models through the whole import (faces rebuilt planar and
// convex, --fit to the record limits, textures into the material folder, objects by name),
// and the face rebuilding on its own.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <numbers>
#include <set>

#include "images/MatGraphic.h"
#include "interchange/GameReady.h"
#include "interchange/PolygonRebuild.h"
#include "mesh/FaceShape.h"
#include "mesh/MeshCheck.h"
#include "mesh/MeshTestSupport.h"
#include "mesh/Normals.h"
#include "support/ModelFiles.h"
#include "util/FileIo.h"

namespace {

using testsupport::ReadBytes;
using testsupport::SphereObj;
using testsupport::WriteText;

// Every face planar and convex against the plane its first three corners give, and D as
// "CALC D" computes it from that plane.
void ExpectGameFaces(const TMeshDocument& doc) {
  for (const std::string& line : CheckMesh(doc).Others) {
    EXPECT_EQ(line.find("FACE"), std::string::npos) << line;
  }
  TMeshDocument copy;
  copy.ShowData = false;
  for (int32_t i = 0; i < doc.NumVert; ++i) copy.AddVert(doc.VERT[i]);
  for (int32_t i = 0; i < doc.NumFvrt; ++i) copy.AddFvrt(doc.FVRT[i]);
  for (int32_t i = 0; i < doc.NumFace; ++i) copy.AddFace(doc.FACE[i]);
  CalcDRecords(copy);
  for (int32_t i = 0; i < doc.NumFace; ++i) EXPECT_EQ(copy.FACE[i].D, doc.FACE[i].D) << i;
}

struct TModelCase {
  const char* Name;
  const char* Obj;
  int32_t Faces, Corners;
};

// The house: a pentagon front and back (a square under a gable), two walls, two roof
// slopes and a floor, every face in triangles as glTF would carry it: 7 faces, 30 corners.
constexpr const char* kHouse =
    "v 0 0 0\nv 4 0 0\nv 4 3 0\nv 2 5 0\nv 0 3 0\n"
    "v 0 0 6\nv 4 0 6\nv 4 3 6\nv 2 5 6\nv 0 3 6\n"
    "f 1 3 2\nf 1 5 3\nf 5 4 3\n"    // front, seen from -z
    "f 6 7 8\nf 6 8 10\nf 10 8 9\n"  // back
    "f 2 3 8\nf 2 8 7\n"             // right wall
    "f 1 6 10\nf 1 10 5\n"           // left wall
    "f 3 4 9\nf 3 9 8\n"             // right slope
    "f 5 10 9\nf 5 9 4\n"            // left slope
    "f 1 2 7\nf 1 7 6\n";            // floor

const TModelCase kModels[] = {
    // One corner far off the plane of the others: two triangles.
    {"warped", "v 0 0 0\nv 4 0 0\nv 4 4 2\nv 0 4 0\nf 1 2 3 4\n", 2, 6},
    // A planar pentagon dented at one corner: a quad and a triangle.
    {"concave", "v 0 0 0\nv 4 0 0\nv 4 4 0\nv 2 3 0\nv 0 4 0\nf 1 2 3 4 5\n", 2, 7},
    // Dented so deep that no single cut mends it: three triangles.
    {"deep", "v 0 0 0\nv 4 0 0\nv 4 4 0\nv 2 1 0\nv 0 4 0\nf 1 2 3 4 5\n", 3, 9},
    {"house", kHouse, 7, 30},
    // A convex quad stays one face.
    {"quad", "v 0 0 0\nv 4 0 0\nv 4 4 0\nv 0 4 0\nf 1 2 3 4\n", 1, 4},
};

class GameReadyModels : public ::testing::TestWithParam<TModelCase> {
protected:
  testsupport::TempDir home;
  TMeshDocument doc;
};

TEST_P(GameReadyModels, ComeInAsPlanarConvexFaces) {
  const TModelCase& c = GetParam();
  const std::string file = home.File(std::string(c.Name) + ".obj");
  WriteText(file, c.Obj);
  doc.ShowData = false;
  ImportModel(doc, file);
  EXPECT_EQ(doc.NumFace, c.Faces);
  EXPECT_EQ(doc.NumFvrt, c.Corners);
  ExpectGameFaces(doc);
}

INSTANTIATE_TEST_SUITE_P(Table, GameReadyModels, ::testing::ValuesIn(kModels),
                         [](const auto& param) { return std::string(param.param.Name); });

TEST(GameReadyFit, ASphereOverTheLimitIsRefusedThenFittedWithBothMaterials) {
  testsupport::TempDir home;
  TMeshDocument doc;
  doc.ShowData = false;
  const std::string file = home.File("sphere.obj");
  WriteText(home.File("s.mtl"), "newmtl sky\nKd 0 0 1\nnewmtl sea\nKd 0 1 0\n");
  WriteText(file, SphereObj(100, 200));  // 19,802 vertices, 20,000 faces, 79,600 corners
  try {
    ImportModel(doc, file);
    FAIL() << "imported";
  } catch (const EModelTooLarge& e) {
    const std::string what = e.what();
    EXPECT_NE(what.find("VERT fits"), std::string::npos) << what;
    EXPECT_NE(what.find("--fit"), std::string::npos) << what;
    // FVRT is over: by the corners the smooth sphere needs past 32,769.
    EXPECT_NE(what.find("FVRT "), std::string::npos) << what;
  }
  EXPECT_EQ(doc.NumFace, 0);  // nothing was imported
  TImportOptions options;
  options.Fit = true;
  const TImportReport report = ImportModel(doc, file, options);
  EXPECT_LE(doc.NumFvrt, kTreeLimit);      // with room for the tree
  EXPECT_GT(doc.NumFvrt, kTreeLimit / 2);  // no more simplified than needed
  std::set<int32_t> mats;
  for (int32_t f = 0; f < doc.NumFace; ++f) mats.insert(doc.FACE[f].Mat);
  EXPECT_EQ(mats, (std::set<int32_t>{70000, 70001}));
  // The shape: every vertex still on the unit sphere, within what the report says it moved.
  for (int32_t v = 0; v < doc.NumVert; ++v) {
    const TPoint3& p = doc.VERT[v];
    EXPECT_NEAR(std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z), 1.0, 1e-5) << v;
  }
  // The equator (the material border) keeps its vertices but where the simplifier folded
  // it, and the two materials meet along it without a crack: the sphere stays closed, every
  // edge between two faces, one running each way.
  int equator = 0;
  for (int32_t v = 0; v < doc.NumVert; ++v) equator += std::abs(doc.VERT[v].y) < 1e-6;
  EXPECT_GT(equator, 190);
  std::map<std::pair<int32_t, int32_t>, int> edges;
  for (int32_t f = 0; f < doc.NumFace; ++f) {
    const TFaceRecord& face = doc.FACE[f];
    for (int32_t k = 0; k < face.FvrtCount; ++k)
      ++edges[{doc.FVRT[face.FirstFvrt + k].Vert,
               doc.FVRT[face.FirstFvrt + (k + 1) % face.FvrtCount].Vert}];
  }
  for (const auto& [edge, uses] : edges) {
    EXPECT_EQ(uses, 1) << edge.first << "-" << edge.second;
    EXPECT_EQ(edges.count({edge.second, edge.first}), 1u) << edge.first << "-" << edge.second;
  }
  ExpectGameFaces(doc);
  const std::string text = report.Text();
  EXPECT_NE(text.find("Fitted (--fit)"), std::string::npos) << text;
}

class GameReadyFiles : public ::testing::Test {
protected:
  testsupport::TempDir home;
  TMeshDocument doc;
  void SetUp() override { doc.ShowData = false; }
};

// Two objects; --list names them with their faces and materials, --object takes one.
TEST_F(GameReadyFiles, ObjectsAreListedAndPickedByName) {
  const std::string file = home.File("two.obj");
  WriteText(home.File("two.mtl"), "newmtl red\nnewmtl blue\n");
  WriteText(file,
            "mtllib two.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 5 0 0\nv 6 0 0\nv 6 1 0\nv 5 1 1\n"
            "o Left\nusemtl red\nf 1 2 3\n"
            "o Right\nusemtl blue\nf 4 5 6\nusemtl red\nf 4 6 7\n");
  std::vector<std::string> names;
  const std::string list = ListModelObjects(file, {}, &names);
  EXPECT_EQ(names, (std::vector<std::string>{"Left", "Right"}));
  EXPECT_EQ(list, "Left: 1 faces, materials red\nRight: 2 faces, materials blue, red\n");
  TImportOptions options;
  options.Objects = {"Right"};
  const TImportReport report = ImportModel(doc, file, options);
  EXPECT_EQ(doc.NumFace, 2);
  EXPECT_EQ(doc.NumVert, 4);  // the left triangle's positions are not carried
  EXPECT_EQ(report.Materials.size(), 2u);
  // Only the materials of the objects taken get numbers.
  options.Objects = {"Left"};
  const TImportReport left = ImportModel(doc, file, options);
  ASSERT_EQ(left.Materials.size(), 1u);
  EXPECT_EQ(left.Materials[0].first, "red");
  options.Objects = {"Middle"};
  EXPECT_THROW(ImportModel(doc, file, options), EInterchange);
  EXPECT_EQ(doc.NumFace, 1);
}

// A file of triangles lists the faces the import makes of them: a cube's twelve triangles
// are its six sides; two coplanar triangles of different objects stay one face each.
TEST_F(GameReadyFiles, TheListCountsTheFacesTheImportMakesOfTriangles) {
  const std::string file = home.File("crate.obj");
  WriteText(file,
            "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 0 0 1\nv 1 0 1\nv 1 1 1\nv 0 1 1\n"
            "v 3 0 0\nv 4 0 0\nv 4 1 0\nv 3 1 0\n"
            "o Crate\nf 1 4 3\nf 1 3 2\nf 5 6 7\nf 5 7 8\nf 1 2 6\nf 1 6 5\n"
            "f 4 8 7\nf 4 7 3\nf 1 5 8\nf 1 8 4\nf 2 3 7\nf 2 7 6\n"
            "o Left\nf 9 10 11\no Right\nf 9 11 12\n");
  EXPECT_EQ(ListModelObjects(file),
            "Crate: 6 faces, materials DefaultMaterial\nLeft: 1 faces, materials DefaultMaterial\n"
            "Right: 1 faces, materials DefaultMaterial\n");
  ImportModel(doc, file);
  EXPECT_EQ(doc.NumFace, 8) << "the list says what the import makes";
}

// Coordinates that give no finite normal are refused before the faces are rebuilt, but only
// in the objects taken: the other object comes in alone, counted as one mesh.
TEST_F(GameReadyFiles, FarCoordinatesRefuseOnlyTheObjectsTaken) {
  const std::string file = home.File("far.obj");
  WriteText(file,
            "o Near\nv 0 0 0\nv 1 0 0\nv 1 1 0\nf 1 2 3\n"
            "o Far\nv 3e38 0 0\nv 0 3e38 0\nv -3e38 0 0\nv 0 -3e38 1\nf 4 5 6 7\n");
  try {
    ImportModel(doc, file);
    ADD_FAILURE() << "taken";
  } catch (const EInterchange& e) {
    EXPECT_NE(std::string(e.what()).find("face 1 of mesh \"Far\" whose coordinates give a face "
                                         "normal that is not a finite number"),
              std::string::npos)
        << e.what();
  }
  TImportOptions options;
  options.Objects = {"Near"};
  const TImportReport report = ImportModel(doc, file, options);
  EXPECT_EQ(doc.NumFace, 1);
  EXPECT_EQ(report.Meshes, 1);
}

// The list of objects shows names from the file escaped and shortened: a line feed in a
// name makes no line of its own, and no escape sequence or C1 control reaches the terminal.
TEST(GameReadyObjects, TheListShowsNamesEscapedAndShortened) {
  const std::vector<TModelObject> objects = {{"door\nFake: 1 faces, materials x",
                                              2,
                                              {"\x1b[31mred",
                                               "a\xc2\x9b"
                                               "2J"}},
                                             {std::string(2021, 'w'), 1, {"\xc2\x85"}}};
  const std::string text = ObjectListText(objects);
  EXPECT_EQ(text,
            "door\\x0AFake: 1 faces, materials x: 2 faces, materials \\x1B[31mred, "
            "a\\xC2\\x9B2J\n" +
                std::string(200, 'w') + "...: 1 faces, materials \\xC2\\x85\n");
}

// A picture the model names beside it that is a link out of the model's folder is not read,
// as the reader refuses such references.
TEST_F(GameReadyFiles, APictureLinkedFromOutsideTheModelsFolderIsNotRead) {
  std::filesystem::create_directories(home.File("model"));
  std::filesystem::create_directories(home.File("mats"));
  TMATGraphic picture;
  picture.SetPixelFormat(24);
  picture.SetSize(2, 2);
  picture.SaveMatFile(home.File("secret.mat"));
  std::filesystem::create_symlink(home.File("secret.mat"), home.File("model/brick.mat"));
  WriteText(home.File("model/m.mtl"), "newmtl brick\nmap_Kd brick.mat\n");
  const std::string file = home.File("model/m.obj");
  WriteText(file, "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl brick\nf 1 2 3\n");
  TImportOptions options;
  options.MaterialFolder = home.File("mats/");
  const TImportReport report = ImportModel(doc, file, options);
  EXPECT_EQ(doc.NumFace, 1);
  ASSERT_EQ(report.Notes.size(), 2u);
  EXPECT_NE(report.Notes[1].find("not written"), std::string::npos) << report.Notes[1];
  EXPECT_NE(report.Notes[1].find("outside the model's folder"), std::string::npos)
      << report.Notes[1];
  EXPECT_TRUE(std::filesystem::is_empty(home.File("mats")));
}

// A material's picture beside the model becomes the material folder's .mat and .bmp of its
// number; an existing texture is kept unless replacing is asked for.
TEST_F(GameReadyFiles, TexturesGoIntoTheMaterialFolderWithoutReplacing) {
  TMATGraphic picture;
  picture.SetPixelFormat(24);
  picture.SetSize(4, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 12; ++x) picture.ScanLine(y)[x] = static_cast<uint8_t>(40 * y + x);
  }
  std::filesystem::create_directories(home.File("model"));
  std::filesystem::create_directories(home.File("mats"));
  picture.SaveMatFile(home.File("model/brick.mat"));
  // The name leads out of the model's folder: it is looked for beside the model.
  WriteText(home.File("model/m.mtl"), "newmtl brick\nmap_Kd ../../../brick.mat\n");
  const std::string file = home.File("model/m.obj");
  WriteText(file, "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl brick\nf 1 2 3\n");
  TImportOptions options;
  options.MaterialFolder = home.File("mats/");
  TImportReport report = ImportModel(doc, file, options);
  const std::string mat = home.File("mats/00070000.mat"), bmp = home.File("mats/00070000.bmp");
  TMATGraphic back;
  back.LoadMatFile(mat);
  EXPECT_EQ(back.Width(), 4);
  EXPECT_EQ(back.Height(), 2);
  const testsupport::Bytes bmpBytes = ReadBytes(bmp);
  // 54 header bytes, then two rows of 12 bytes (already a multiple of 4).
  ASSERT_EQ(bmpBytes.size(), 54u + 2 * 12);
  EXPECT_EQ(bmpBytes[0], 'B');
  ASSERT_EQ(report.Notes.size(), 2u);
  EXPECT_NE(report.Notes[1].find("00070000 written"), std::string::npos) << report.Notes[1];

  WriteText(bmp, "mine");
  report = ImportModel(doc, file, options);
  EXPECT_NE(report.Notes[1].find("kept"), std::string::npos) << report.Notes[1];
  EXPECT_EQ(ReadBytes(bmp).size(), 4u);
  options.ReplaceTextures = true;
  ImportModel(doc, file, options);
  EXPECT_EQ(ReadBytes(bmp).size(), bmpBytes.size());
}

// A texture's .mat and .bmp are both written or neither: a disk that fills at the .bmp
// leaves no .mat; and a lone .mat (an import killed between the two) is no texture to keep,
// so the next import makes the pair whole.
TEST_F(GameReadyFiles, ATexturesMatAndBmpAreWrittenAsAPair) {
  TMATGraphic picture;
  picture.SetPixelFormat(24);
  picture.SetSize(4, 2);
  std::filesystem::create_directories(home.File("model"));
  picture.SaveMatFile(home.File("model/brick.mat"));
  WriteText(home.File("model/m.mtl"), "newmtl brick\nmap_Kd brick.mat\n");
  const std::string file = home.File("model/m.obj");
  WriteText(file, "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl brick\nf 1 2 3\n");
  TImportReport report;
  const TImportedMesh mesh = ReadModel(file, {}, report);
  TImportOptions options;
  // The sizes of the two files, from a first run.
  options.MaterialFolder = home.File("measure/");
  std::filesystem::create_directories(options.MaterialFolder);
  WriteImportTextures(mesh, options, report);
  const auto matBytes =
      static_cast<int64_t>(std::filesystem::file_size(home.File("measure/00070000.mat")));
  const auto bmpBytes =
      static_cast<int64_t>(std::filesystem::file_size(home.File("measure/00070000.bmp")));

  options.MaterialFolder = home.File("mats/");
  std::filesystem::create_directories(options.MaterialFolder);
  // Room for the .mat (made once in a private folder, once beside its target), not the .bmp.
  SetFreeSpaceForTests(2 * matBytes + bmpBytes - 1);
  report.Notes.clear();
  WriteImportTextures(mesh, options, report);
  SetFreeSpaceForTests(-1);
  ASSERT_EQ(report.Notes.size(), 1u);
  EXPECT_NE(report.Notes[0].find("not written"), std::string::npos) << report.Notes[0];
  EXPECT_NE(report.Notes[0].find("No space left on device"), std::string::npos) << report.Notes[0];
  EXPECT_TRUE(std::filesystem::is_empty(options.MaterialFolder));

  WriteText(home.File("mats/00070000.mat"), "half");
  report.Notes.clear();
  WriteImportTextures(mesh, options, report);
  ASSERT_EQ(report.Notes.size(), 1u);
  EXPECT_NE(report.Notes[0].find("written"), std::string::npos) << report.Notes[0];
  EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(home.File("mats/00070000.mat"))),
            matBytes);
  EXPECT_EQ(static_cast<int64_t>(std::filesystem::file_size(home.File("mats/00070000.bmp"))),
            bmpBytes);
}

// --fit on a model whose triangles all have no area says so, not that its borders hold it.
TEST(GameReadyFit, AModelOfDegenerateTrianglesSaysWhyItCannotBeFitted) {
  TGatheredScene scene;
  scene.Materials.resize(1);
  scene.MeshNames = {"line"};
  scene.Meshes = 1;
  for (int t = 0; t < MeshCapacity + 100; ++t) {
    const auto first = static_cast<int32_t>(scene.Corners.size());
    for (int k = 0; k < 3; ++k) {
      scene.Corners.push_back({static_cast<int32_t>(scene.Verts.size()), 0.0f, 0.0f, {0, 0, 1}});
      scene.Verts.push_back({static_cast<float>(t), static_cast<float>(k), 0.0f});  // on x = t
    }
    scene.Faces.push_back({first, 3, 0});
  }
  TImportOptions options;
  options.Fit = true;
  TImportReport report;
  report.FileName = "line.obj";
  try {
    PrepareScene(scene, options, report);
    FAIL() << "fitted";
  } catch (const EInterchange& e) {
    EXPECT_NE(std::string(e.what()).find("all its 32869 triangles are degenerate"),
              std::string::npos)
        << e.what();
  }
}

// The rebuilding on a scene: a grid of triangles of one material is one face, but not
// across a texture seam, a change of material or a fold.
TEST(PolygonRebuild, TrianglesMergeOnlyWhereTheFaceStaysWhole) {
  TGatheredScene scene;
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 3; ++x) scene.Verts.push_back({float(x), float(y), 0.0f});
  }
  scene.Materials.resize(2);
  const auto tri = [&](int a, int b, int c, uint32_t mat, float tx) {
    const auto first = static_cast<int32_t>(scene.Corners.size());
    for (int v : {a, b, c}) scene.Corners.push_back({v, tx, 0.0f, {0, 0, 1}});
    scene.Faces.push_back({first, 3, mat});
  };
  // Left column of squares: material 0; right column: material 0 with its own texture
  // coordinates (a seam along x = 1), but the top right square of material 1.
  tri(0, 1, 4, 0, 0);
  tri(0, 4, 3, 0, 0);
  tri(3, 4, 7, 0, 0);
  tri(3, 7, 6, 0, 0);
  tri(1, 2, 5, 0, 1);
  tri(1, 5, 4, 0, 1);
  tri(4, 5, 8, 1, 0);
  tri(4, 8, 7, 1, 0);
  TRebuildCounts counts;
  MergeFaces(scene, 1e-4, counts);
  FinishFaces(scene, 1e-4, counts);
  std::vector<int32_t> sizes;
  for (const TSceneFace& f : scene.Faces) sizes.push_back(f.Count);
  // The left column: a 1 x 2 rectangle with a straight corner at (0, 1) and (1, 1).
  EXPECT_EQ(sizes, (std::vector<int32_t>{6, 4, 4}));
  EXPECT_EQ(counts.Merged, 5);
}

}  // namespace
