// Meshes in and out through Assimp: small files written here in each format, the material
// number rules, refusals that change nothing, and round trips document -> file -> document.
#include "interchange/Interchange.h"

#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <map>
#include <set>
#include <tuple>

#include "images/ImageFixtures.h"
#include "mesh/MeshTestSupport.h"

namespace {

using testsupport::ReadBytes;
using testsupport::WriteText;

class InterchangeTest : public ::testing::Test {
protected:
  // The home folder of the test.
  testsupport::TempDir home;
  TMeshDocument doc;

  std::string File(const std::string& name) const { return home.File(name); }

  TImportReport Import(const std::string& name, const std::string& text,
                       int32_t firstNewMat = 70000) {
    WriteText(File(name), text);
    TImportOptions options;
    options.FirstNewMat = firstNewMat;
    return ImportModel(doc, File(name), options);
  }

  TPoint3 CornerPos(int32_t fvrt) const { return doc.VERT[doc.FVRT[fvrt].Vert]; }
};

void ExpectPoint(const TPoint3& p, float x, float y, float z) {
  EXPECT_FLOAT_EQ(p.x, x);
  EXPECT_FLOAT_EQ(p.y, y);
  EXPECT_FLOAT_EQ(p.z, z);
}

// A quad of material "1001" (a number as name), a triangle of "brick" whose picture is
// named with eight digits, a triangle of "glass" (neither: a new number), a line and a
// point. The quad's corners all have the normal (0, 0, 1), two of them written slightly
// off it, within the tolerance.
TEST_F(InterchangeTest, ObjWithMaterialsKeepsQuadsUvsAndMapsMaterialNumbers) {
  WriteText(File("two.mtl"),
            "newmtl 1001\nKd 1 1 1\n"
            "newmtl brick\nKd 1 0 0\nmap_Kd textures/00002002.png\n"
            "newmtl glass\nKd 0 0 1\n");
  const TImportReport report = Import("two.obj",
                                      "mtllib two.mtl\n"
                                      "v 0 0 0\nv 2 0 0\nv 2 2 0\nv 0 2 0\nv 1 1 5\n"
                                      "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
                                      "vn 0 0 1\nvn 0.00004 0 1\nvn 1 0 0\n"
                                      "usemtl 1001\nf 1/1/1 2/2/2 3/3/1 4/4/1\n"
                                      "usemtl brick\nf 1/1/3 2/2/3 5/3/3\n"
                                      "usemtl glass\nf 2/1/3 3/2/3 5/4/3\n"
                                      "l 1 5\np 3\n",
                                      500);
  ASSERT_EQ(doc.NumFace, 3);
  EXPECT_EQ(doc.NumVert, 5);
  EXPECT_EQ(doc.NumFvrt, 10);
  EXPECT_EQ(doc.FACE[0].FvrtCount, 4);
  EXPECT_EQ(doc.FACE[1].FirstFvrt, 4);
  ExpectPoint(CornerPos(2), 2, 2, 0);
  EXPECT_FLOAT_EQ(doc.FVRT[1].Tx, 1.0f);
  EXPECT_FLOAT_EQ(doc.FVRT[3].Ty, 1.0f);
  // The quad's corner normals are one record, and it is also the quad's face normal.
  for (int r = 0; r < 4; ++r) EXPECT_EQ(doc.FVRT[r].Vtnm, doc.FACE[0].Vtnm) << r;
  ExpectPoint(doc.VTNM[doc.FACE[0].Vtnm], 0, 0, 1);
  EXPECT_FLOAT_EQ(doc.FACE[0].D, 0.0f);  // the plane z = 0
  EXPECT_EQ(doc.FACE[0].Mat, 1001);
  EXPECT_EQ(doc.FACE[1].Mat, 2002);
  EXPECT_EQ(doc.FACE[2].Mat, 500);
  EXPECT_EQ(report.SkippedLines, 1);
  EXPECT_EQ(report.SkippedPoints, 1);
  EXPECT_FALSE(report.NormalsComputed);
  EXPECT_NE(report.Text().find("glass -> 500"), std::string::npos) << report.Text();
  EXPECT_FLOAT_EQ(doc.Radius, std::sqrt(27.0f));  // (1, 1, 5)
  // Saved as "Rip mesh" saves: the record files hold the import.
  EXPECT_EQ(ReadBytes(File(kFaceFile)).size(), 3u * sizeof(TFaceRecord));
}

// New numbers skip those the name and picture rules took, and a padded name is a number.
TEST_F(InterchangeTest, NewMaterialNumbersSkipTakenOnes) {
  WriteText(File("m.mtl"), "newmtl a\nnewmtl 00000071\nnewmtl b\n");
  Import("m.obj",
         "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
         "usemtl a\nf 1 2 3\nusemtl 00000071\nf 1 3 2\nusemtl b\nf 2 4 3\n",
         70);
  ASSERT_EQ(doc.NumFace, 3);
  EXPECT_EQ(doc.FACE[0].Mat, 70);
  EXPECT_EQ(doc.FACE[1].Mat, 71);
  EXPECT_EQ(doc.FACE[2].Mat, 72);
}

std::string Base64(const std::vector<uint8_t>& b) {
  static const char* k = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < b.size(); i += 3) {
    const uint32_t n = (uint32_t{b[i]} << 16) | (i + 1 < b.size() ? uint32_t{b[i + 1]} << 8 : 0) |
                       (i + 2 < b.size() ? b[i + 2] : 0);
    out += k[(n >> 18) & 63];
    out += k[(n >> 12) & 63];
    out += i + 1 < b.size() ? k[(n >> 6) & 63] : '=';
    out += i + 2 < b.size() ? k[n & 63] : '=';
  }
  return out;
}

// Two primitives of one mesh (two materials, no normals in the file) under a node moved by
// (10, 0, 0) and scaled by 2: the first triangle is vertices 0-2, the second 1-3 of the
// same buffer (byte offset 12).
TEST_F(InterchangeTest, GltfPrimitivesUnderNodeTransformWithComputedNormals) {
  testsupport::Bytes buffer;
  for (float f : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 1.f, 1.f, 0.f})
    testsupport::PutF32(buffer, f);
  const std::string json = R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],
    "nodes":[{"mesh":0,"translation":[10,0,0],"scale":[2,2,2]}],
    "meshes":[{"primitives":[{"attributes":{"POSITION":0},"material":0},
                             {"attributes":{"POSITION":1},"material":1}]}],
    "materials":[{"name":"roof"},{"name":"1003"}],
    "buffers":[{"byteLength":48,"uri":"data:application/octet-stream;base64,)" +
                           Base64(buffer) + R"("}],
    "bufferViews":[{"buffer":0,"byteLength":48}],
    "accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]},
                 {"bufferView":0,"byteOffset":12,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]}]})";
  const TImportReport report = Import("two.gltf", json, 900);
  ASSERT_EQ(doc.NumFace, 2);
  EXPECT_EQ(doc.NumVert, 4);
  ExpectPoint(CornerPos(1), 12, 0, 0);
  ExpectPoint(CornerPos(5), 12, 2, 0);
  EXPECT_EQ(doc.FACE[0].Mat, 900);
  EXPECT_EQ(doc.FACE[1].Mat, 1003);
  EXPECT_TRUE(report.NormalsComputed);
  // Counter-clockwise seen from +z: Calc VTNM's face normal points to +z.
  ExpectPoint(doc.VTNM[doc.FACE[0].Vtnm], 0, 0, 1);
}

TEST_F(InterchangeTest, PlyAndStlWithoutMaterials) {
  Import("q.ply",
         "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\nproperty "
         "float z\n"
         "element face 1\nproperty list uchar int vertex_indices\nend_header\n"
         "0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 0 1 2 3\n");
  ASSERT_EQ(doc.NumFace, 1);
  EXPECT_EQ(doc.FACE[0].FvrtCount, 4);
  EXPECT_EQ(doc.FACE[0].Mat, 70000);
  Import(
      "t.stl",
      "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 3 0 0\nvertex 0 3 0\nendloop\n"
      "endfacet\nendsolid t\n");
  ASSERT_EQ(doc.NumFace, 1);
  EXPECT_EQ(doc.NumVert, 3);
  ExpectPoint(CornerPos(1), 3, 0, 0);
}

// Every refusal leaves the document and the record files as they were.
TEST_F(InterchangeTest, RefusalsChangeNothing) {
  Import("start.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  const testsupport::Bytes faceFile = ReadBytes(File(kFaceFile));
  const auto refused = [&](const std::string& name, const std::string& text,
                           const std::string& expected) {
    try {
      Import(name, text);
      ADD_FAILURE() << name << " was imported";
    } catch (const EInterchange& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
    }
    EXPECT_EQ(doc.NumFace, 1) << name;
    EXPECT_EQ(ReadBytes(File(kFaceFile)), faceFile) << name;
  };
  refused("lines.obj", "v 0 0 0\nv 1 0 0\nl 1 2\n", "has no polygons");
  refused("junk.glb", "glTF junk that is no binary glTF at all", "Cannot import");
  refused("missing.obj", "", "Cannot import");  // an empty file
  // Assimp's PLY reader would never return from a header without its end.
  refused("open.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\n0\n1\n2\n",
          "end_header");
  std::string big;
  // Each triangle's corners a step along x and 100,000 apart across it, so that every one
  // has area for the model's size (faces narrower than 1e-4 of it are dropped first).
  for (int i = 0; i < MeshCapacity + 1; ++i)
    big += "v " + std::to_string(i) +
           (i % 3 == 1   ? " 100000 0\n"
            : i % 3 == 2 ? " 0 100000\n"
                         : " 0 0\n");
  for (int i = 1; i + 2 <= MeshCapacity + 1; i += 3)
    big +=
        "f " + std::to_string(i) + " " + std::to_string(i + 1) + " " + std::to_string(i + 2) + "\n";
  big += "f 32768 32769 32770\n";
  refused("big.obj", big, "needs 32770 vertices");
}

// Files that once made Assimp crash, leak or read for ever. The reader runs in a child
// process: each ends in a refusal naming the file while this process lives on, the one
// that loops at the time limit.
TEST_F(InterchangeTest, HostileFilesEndInARefusal) {
  Import("start.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  const testsupport::Bytes faceFile = ReadBytes(File(kFaceFile));
  TImportOptions options;
  options.TimeLimitSeconds = 1.5;
  int files = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(TESSAVOR_SOURCE_DIR "/tests/mesh/hostile-models")) {
    const std::string name = entry.path().filename().string();
    try {
      ImportModel(doc, entry.path().string(), options);
      ADD_FAILURE() << name << " was imported";
    } catch (const EInterchange& e) {
      EXPECT_NE(std::string(e.what()).find(name), std::string::npos) << e.what();
      if (name == "ply-header-of-unknown-words.ply") {
        EXPECT_NE(std::string(e.what()).find("did not finish within its time limit of 1 seconds"),
                  std::string::npos)
            << e.what();
      }
    }
    EXPECT_EQ(ReadBytes(File(kFaceFile)), faceFile) << name;
    ++files;
  }
  EXPECT_EQ(files, 5);
}

// ---------------------------------------------------------------------------------------
// Round trips

// A quad of material 1001 with a texture (.gct) and a triangle of 1002 without one.
class RoundTripTest : public InterchangeTest, public ::testing::WithParamInterface<const char*> {
protected:
  void SetUp() override {
    for (TPoint3 p : {TPoint3{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}, {1, 1, 3}}) doc.AddVert(p);
    doc.AddVtnm({0, 0, 1});
    doc.AddVtnm({0, -0.6f, 0.8f});
    const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
    for (int i = 0; i < 4; ++i) doc.AddFvrt({i, 0, uv[i][0], uv[i][1]});
    doc.AddFvrt({0, 1, 0.25f, 0.5f});
    doc.AddFvrt({1, 1, 0.75f, 0.5f});
    doc.AddFvrt({4, 1, 0.5f, 0.875f});
    doc.AddFace({0, 0.0f, 1001, 0, 4, 0, kEditorReserved2});
    doc.AddFace({1, 0.0f, 1002, 4, 3, 0, kEditorReserved2});
    std::filesystem::create_directory(File("tex"));
    imagefixtures::WriteGctTexture(
        File("tex/"), 1001, 3, 2,
        {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9, 90, 90, 90, 200, 200, 200});
    std::filesystem::create_directory(File("out"));
  }

  // Per face: Mat and its corners (position, texture coordinates), for polygon formats.
  using TCorner = std::tuple<float, float, float, float, float>;
  std::vector<std::pair<int32_t, std::vector<TCorner>>> Faces() const {
    std::vector<std::pair<int32_t, std::vector<TCorner>>> out;
    for (int32_t f = 0; f < doc.NumFace; ++f) {
      std::vector<TCorner> corners;
      for (int32_t r = doc.FACE[f].FirstFvrt; r < doc.FACE[f].FirstFvrt + doc.FACE[f].FvrtCount;
           ++r) {
        const TPoint3 p = CornerPos(r);
        corners.emplace_back(p.x, p.y, p.z, doc.FVRT[r].Tx, doc.FVRT[r].Ty);
      }
      out.emplace_back(doc.FACE[f].Mat, corners);
    }
    return out;
  }
  // The distinct corners with their face's Mat, for formats that triangulate.
  std::set<std::pair<int32_t, TCorner>> CornerSet() const {
    std::set<std::pair<int32_t, TCorner>> out;
    for (const auto& [mat, corners] : Faces()) {
      for (const TCorner& c : corners) out.insert({mat, c});
    }
    return out;
  }
};

TEST_P(RoundTripTest, GeometryUvsAndMaterialsSurvive) {
  const std::string ext = GetParam();
  const bool materials = ext != "ply" && ext != "stl";
  const bool triangles = ext == "gltf" || ext == "glb" || ext == "stl";
  const auto faces = Faces();
  const auto cornerSet = CornerSet();
  TExportOptions options;
  options.MaterialFolder = File("tex/");
  const std::string out = File("out/m." + ext);
  const TExportReport report = ExportModel(doc, out, options);
  EXPECT_EQ(report.Faces, 2);
  if (materials) {
    // 1002 has no texture: said, and the export goes on.
    ASSERT_EQ(report.Warnings.size(), 1u);
    EXPECT_NE(report.Warnings[0].find("1002"), std::string::npos);
  }
  ImportModel(doc, out);
  if (triangles) {
    EXPECT_EQ(doc.NumFace, 2);  // the quad rebuilt from the two triangles it went out as
    auto back = CornerSet();
    if (!materials) {
      std::set<std::pair<int32_t, TCorner>> plain;
      for (const auto& [mat, c] : cornerSet)
        plain.insert({70000, {std::get<0>(c), std::get<1>(c), std::get<2>(c), 0.f, 0.f}});
      for (const auto& [mat, c] : back) EXPECT_EQ(mat, 70000);
      back.clear();
      for (const auto& [mat, c] : CornerSet())
        back.insert({70000, {std::get<0>(c), std::get<1>(c), std::get<2>(c), 0.f, 0.f}});
      EXPECT_EQ(back, plain);
    } else {
      EXPECT_EQ(back, cornerSet);
    }
  } else if (materials) {
    EXPECT_EQ(Faces(), faces);
  } else {
    const auto back = Faces();
    ASSERT_EQ(back.size(), faces.size());
    for (size_t f = 0; f < faces.size(); ++f) EXPECT_EQ(back[f].second, faces[f].second) << f;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, RoundTripTest,
                         ::testing::Values("obj", "gltf", "glb", "ply", "stl", "dae"));

// The quad's texture leaves as a PNG of the .gct's pixels: beside an OBJ, inside a GLB.
TEST_F(RoundTripTest, TexturesLeaveAsPng) {
  TExportOptions options;
  options.MaterialFolder = File("tex/");
  ExportModel(doc, File("out/m.obj"), options);
  EXPECT_NE(testsupport::ReadText(File("out/m.mtl")).find("map_Kd 00001001.png"),
            std::string::npos);
  const testsupport::Bytes png = ReadBytes(File("out/00001001.png"));
  const imagefixtures::TPngPixels pixels = imagefixtures::DecodePng(png);
  EXPECT_EQ(pixels.Width, 3u);
  EXPECT_EQ(pixels.Height, 2u);
  // Top row first in both: red first, the grey 200 last.
  ASSERT_EQ(pixels.Rgb.size(), 18u);
  EXPECT_EQ(pixels.Rgb[0], 255);
  EXPECT_EQ(pixels.Rgb[1], 0);
  EXPECT_EQ(pixels.Rgb[15], 200);

  ExportModel(doc, File("out/m.glb"), options);
  EXPECT_FALSE(std::filesystem::exists(File("out/m.bin")));
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(File("out/m.glb"), 0);
  ASSERT_NE(scene, nullptr) << importer.GetErrorString();
  ASSERT_EQ(scene->mNumTextures, 1u);
  EXPECT_EQ(scene->mTextures[0]->mWidth, png.size());  // compressed: mWidth is its byte count
}

TEST_F(RoundTripTest, UnknownFormatAndEmptyMeshAreRefused) {
  EXPECT_THROW(ExportModel(doc, File("out/m.xyz")), EInterchange);
  TExportOptions options;
  options.FormatId = "nonsense";
  EXPECT_THROW(ExportModel(doc, File("out/m.obj"), options), EInterchange);
  doc.Clear();
  EXPECT_THROW(ExportModel(doc, File("out/m.obj")), EInterchange);
  EXPECT_FALSE(std::filesystem::exists(File("out/m.obj")));
  EXPECT_EQ(ExportFormatForFile("a/B.GLTF"), "gltf2");
}

}  // namespace
