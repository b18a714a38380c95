// The import's promises about a file's size, facing and references, its numbers, its commit
// and its limits: small files written here, each read through the real model reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <tuple>

#include "interchange/Interchange.h"
#include "mesh/MeshTestSupport.h"
#include "mesh/RecordFiles.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::WriteText;

// The model files lie in home/models, one folder below the home folder.
class ImportSafetyTest : public ::testing::Test {
protected:
  testsupport::TempDir home;
  TMeshDocument doc;

  void SetUp() override {
    doc.ShowData = false;
    fs::create_directory(home.File("models"));
  }
  std::string Model(const std::string& name) const { return home.File("models/" + name); }

  TImportReport Import(const std::string& name, const std::string& text,
                       TImportOptions options = {}) {
    WriteText(Model(name), text);
    return ImportModel(doc, Model(name), options);
  }

  // The message of an import that must be refused; the record files and the document are
  // as a first import of one triangle left them.
  std::string Refused(const std::string& name, const std::string& text,
                      TImportOptions options = {}) {
    if (doc.NumFace == 0) Import("start.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    const testsupport::Bytes vert = ReadBytes(home.File(kVertFile));
    std::string message;
    try {
      Import(name, text, options);
      ADD_FAILURE() << name << " was imported";
    } catch (const EInterchange& e) {
      message = e.what();
      EXPECT_NE(message.find(name), std::string::npos) << message;
    }
    EXPECT_EQ(doc.NumFace, 1) << name;
    EXPECT_EQ(ReadBytes(home.File(kVertFile)), vert) << name;
    return message;
  }

  std::tuple<float, float, float> Corner(int32_t fvrt) const {
    const TPoint3 p = doc.VERT[doc.FVRT[fvrt].Vert];
    return {p.x, p.y, p.z};
  }
};

// One triangle, counter-clockwise seen from +z, with the normal +z at every corner: the
// positions, then the normals, as floats.
void WriteTriangleBuffer(const std::string& path) {
  testsupport::Bytes b;
  for (float f :
       {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 1.f, 0.f, 0.f, 1.f})
    testsupport::PutF32(b, f);
  testsupport::WriteBytes(path, b);
}

// A glTF of that triangle, under the nodes given, its buffer at `uri`.
std::string TriangleGltf(const std::string& uri, const std::string& nodes = R"([{"mesh":0}])") {
  std::string sceneNodes = "[0";
  const size_t count = static_cast<size_t>(std::count(nodes.begin(), nodes.end(), '{'));
  for (size_t i = 1; i < count; ++i) sceneNodes += "," + std::to_string(i);
  return R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":)" + sceneNodes +
         R"(]}],"nodes":)" + nodes + R"(,
    "meshes":[{"primitives":[{"attributes":{"POSITION":0,"NORMAL":1}}]}],
    "buffers":[{"byteLength":72,"uri":")" +
         uri + R"("}],
    "bufferViews":[{"buffer":0,"byteLength":72}],
    "accessors":[
      {"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]},
      {"bufferView":0,"byteOffset":36,"componentType":5126,"count":3,"type":"VEC3"}]})";
}

// ---- True size and facing ------------------------------------------------------------

// The triangle plain and under a node mirrored in x and moved to x = 5. Mirrored, its
// corners run clockwise seen from +z; reversed (first corner kept) they face +z again, and
// the file's normal +z stays +z under the mirror's inverse transpose.
TEST_F(ImportSafetyTest, AMirroringTransformReversesTheCornerOrder) {
  WriteTriangleBuffer(Model("tri.bin"));
  Import(
      "mirror.gltf",
      TriangleGltf("tri.bin", R"([{"mesh":0},{"mesh":0,"translation":[5,0,0],"scale":[-1,1,1]}])"));
  ASSERT_EQ(doc.NumFace, 2);
  EXPECT_EQ(Corner(1), std::make_tuple(1.f, 0.f, 0.f));
  EXPECT_EQ(Corner(3), std::make_tuple(5.f, 0.f, 0.f));
  EXPECT_EQ(Corner(4), std::make_tuple(5.f, 1.f, 0.f));
  EXPECT_EQ(Corner(5), std::make_tuple(4.f, 0.f, 0.f));
  for (int32_t f = 0; f < 2; ++f) {
    const TPoint3 n = doc.VTNM[doc.FACE[f].Vtnm];
    EXPECT_EQ(std::make_tuple(n.x, n.y, n.z), std::make_tuple(0.f, 0.f, 1.f)) << f;
    // The file's corner normals agree with the face: one record.
    EXPECT_EQ(doc.FVRT[doc.FACE[f].FirstFvrt].Vtnm, doc.FACE[f].Vtnm) << f;
  }
}

// FBX counts in centimetres times its UnitScaleFactor; the game in metres. Here the unit is
// the inch (2.54 cm): 100 units are 2.54 m.
TEST_F(ImportSafetyTest, AnFbxFileComesInAtItsUnitsSize) {
  Import("inch.fbx", R"(; FBX 7.4.0 project file
FBXHeaderExtension:  {
	FBXHeaderVersion: 1003
	FBXVersion: 7400
}
GlobalSettings:  {
	Version: 1000
	Properties70:  {
		P: "UnitScaleFactor", "double", "Number", "",2.54
	}
}
Objects:  {
	Geometry: 2, "Geometry::tri", "Mesh" {
		Vertices: *9 {
			a: 0,0,0,100,0,0,0,100,0
		}
		PolygonVertexIndex: *3 {
			a: 0,1,-3
		}
	}
	Model: 1, "Model::tri", "Mesh" {
		Version: 232
	}
}
Connections:  {
	C: "OO",1,0
	C: "OO",2,1
}
)");
  ASSERT_EQ(doc.NumFace, 1);
  EXPECT_NEAR(std::get<0>(Corner(1)), 2.54f, 1e-5f);
  EXPECT_NEAR(std::get<1>(Corner(2)), 2.54f, 1e-5f);
  EXPECT_NEAR(doc.Radius, 2.54f, 1e-5f);
}

// --up z turns (x, y, z) to (x, z, -y), exactly; auto (the default) takes an STL file as y up.
TEST_F(ImportSafetyTest, TheUpAxisOptionTurnsAZUpFile) {
  const std::string stl =
      "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 1 2 3\n"
      "endloop\nendfacet\nendsolid t\n";
  Import("t.stl", stl);
  EXPECT_EQ(Corner(2), std::make_tuple(1.f, 2.f, 3.f));
  TImportOptions zUp;
  zUp.Up = TUpAxis::Z;
  Import("t.stl", stl, zUp);
  EXPECT_EQ(Corner(2), std::make_tuple(1.f, 3.f, -2.f));
  // A rotation, no mirror: the face normal (0, -3, 2) / sqrt(13) of the corners' turn is
  // turned with them, to (0, 2, 3) / sqrt(13).
  const TPoint3 n = doc.VTNM[doc.FACE[0].Vtnm];
  EXPECT_NEAR(n.x, 0.f, 1e-6f);
  EXPECT_NEAR(n.y, 2.f / std::sqrt(13.f), 1e-6f);
  EXPECT_NEAR(n.z, 3.f / std::sqrt(13.f), 1e-6f);
}

// ---- References stay in the model's folder --------------------------------------------

TEST_F(ImportSafetyTest, ReferencesLeavingTheModelsFolderAreRefusedAndNamed) {
  WriteTriangleBuffer(home.File("tri.bin"));  // above the model's folder
  WriteTriangleBuffer(Model("tri.bin"));
  WriteText(home.File("x.mtl"), "newmtl 5\n");
  fs::create_symlink(home.File("tri.bin"), Model("link.bin"));
  const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n";
  const struct {
    const char *Name, *Reference;
    std::string Text;
  } cases[] = {
      {"up.gltf", "../tri.bin", TriangleGltf("../tri.bin")},
      {"deep.gltf", "../../../../etc/passwd", TriangleGltf("../../../../etc/passwd")},
      // Absolute, though it names the very file beside the model.
      {"abs.gltf", "/models/tri.bin", TriangleGltf(Model("tri.bin"))},
      {"url.gltf", "file://", TriangleGltf("file://" + Model("tri.bin"))},
      {"link.gltf", "link.bin", TriangleGltf("link.bin")},
      {"image.gltf", "../x.png",
       R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],
          "meshes":[{"primitives":[{"attributes":{"POSITION":0},"material":0}]}],
          "materials":[{"pbrMetallicRoughness":{"baseColorTexture":{"index":0}}}],
          "textures":[{"source":0}],"images":[{"uri":"../x.png"}],
          "buffers":[{"byteLength":36,"uri":"tri.bin"}],"bufferViews":[{"buffer":0,"byteLength":36}],
          "accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]}]})"},
      {"up.obj", "../x.mtl", "mtllib ../x.mtl\n" + tri},
      {"abs.obj", "/x.mtl", "mtllib " + home.File("x.mtl") + "\n" + tri},
  };
  for (const auto& c : cases) {
    const std::string message = Refused(c.Name, c.Text);
    EXPECT_NE(message.find("lies outside the model's folder"), std::string::npos) << message;
    EXPECT_NE(message.find(c.Reference), std::string::npos) << message;
  }
  // Within the folder, below it or through "..", that stays in it, the buffer is read.
  fs::create_directory(Model("sub"));
  WriteTriangleBuffer(Model("sub/tri.bin"));
  Import("ok.gltf", TriangleGltf("sub/../sub/tri.bin"));
  EXPECT_EQ(doc.NumFace, 1);
  EXPECT_EQ(Corner(1), std::make_tuple(1.f, 0.f, 0.f));
}

// ---- Numbers that are not finite ------------------------------------------------------

TEST_F(ImportSafetyTest, NonFiniteNumbersAreRefusedWithTheFirstElementNamed) {
  // Assimp's OBJ reader takes "nan" in a texture coordinate for 0: a glTF carries the bits.
  testsupport::Bytes uv;
  for (float f : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, NAN, 0.f, 1.f, 1.f})
    testsupport::PutF32(uv, f);
  testsupport::WriteBytes(Model("uv.bin"), uv);
  const std::string tri = "o thing\nv 0 0 0\nv 1 0 0\nv 0 1 0\n";
  const struct {
    const char* Name;
    std::string Text;
    const char* Expected;
  } cases[] = {
      {"n.obj", tri + "vn 0 0 1\nvn nan 0 1\nf 1//1 2//1 3//1\nf 1//1 3//2 2//1\n",
       "a normal that is not a finite number at corner 2 of face 2 of mesh \"thing\""},
      {"p.obj", tri + "v 0 nan 0\nf 1 2 3\nf 1 2 4\n",
       "a position that is not a finite number at corner 3 of face 2"},
      {"t.gltf",
       R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],"nodes":[{"mesh":0}],
          "meshes":[{"primitives":[{"attributes":{"POSITION":0,"TEXCOORD_0":1}}]}],
          "buffers":[{"byteLength":60,"uri":"uv.bin"}],"bufferViews":[{"buffer":0,"byteLength":60}],
          "accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]},
                       {"bufferView":0,"byteOffset":36,"componentType":5126,"count":3,"type":"VEC2"}]})",
       "a texture coordinate that is not a finite number at corner 2 of face 1"},
      // Finite, but the cross product of its edges is not.
      {"big.obj", tri + "v 3e38 0 0\nv 0 3e38 0\nf 1 2 3\nf 1 4 5\n",
       "face 2 of mesh \"thing\" whose coordinates give a face normal that is not a finite number"},
  };
  for (const auto& c : cases) {
    const std::string message = Refused(c.Name, c.Text);
    EXPECT_NE(message.find(c.Expected), std::string::npos) << message;
  }
}

// ---- Material names --------------------------------------------------------------------

// Blender's copy of "1001" is "1001.001"; ".000", four digits or a word stay names.
TEST_F(ImportSafetyTest, BlendersDuplicateSuffixKeepsTheMaterialNumber) {
  WriteText(Model("m.mtl"), "newmtl 1001.001\nnewmtl 1002.000\nnewmtl 1003.0001\nnewmtl a.002\n");
  Import("m.obj",
         "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\n"
         "usemtl 1001.001\nf 1 2 3\nusemtl 1002.000\nf 1 3 2\nusemtl 1003.0001\nf 2 4 3\n"
         "usemtl a.002\nf 2 3 4\n");
  ASSERT_EQ(doc.NumFace, 4);
  EXPECT_EQ(doc.FACE[0].Mat, 1001);
  EXPECT_EQ(doc.FACE[1].Mat, 70000);
  EXPECT_EQ(doc.FACE[2].Mat, 70001);
  EXPECT_EQ(doc.FACE[3].Mat, 70002);
}

// ---- The commit --------------------------------------------------------------------------

int g_renamesLeft = 0;
int FailingRename(const char* from, const char* to) {
  if (g_renamesLeft-- <= 0) {
    errno = ENOSPC;
    return -1;
  }
  return std::rename(from, to);
}

// The five record files are one set: a rename failing at any of them leaves all five as
// they were (the radius too), the document as it was, and a message naming the file.
TEST_F(ImportSafetyTest, AnImportWhoseNthRenameFailsChangesNoRecordFile) {
  Import("start.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  const char* files[] = {kVertFile, kVtnmFile, kFvrtFile, kFaceFile, kRadiFile};
  std::vector<testsupport::Bytes> before;
  for (const char* name : files) before.push_back(ReadBytes(home.File(name)));
  const std::string quad = "v 0 0 0\nv 4 0 0\nv 4 4 0\nv 0 4 0\nv 2 2 9\nf 1 2 3 4\nf 1 2 5\n";
  TImportReport report;
  WriteText(Model("quad.obj"), quad);
  const TImportedMesh mesh = ReadModel(Model("quad.obj"), {}, report);
  for (int n = 0; n < 5; ++n) {
    g_renamesLeft = n;
    SetFileSetRenameForTests(FailingRename);
    try {
      CommitImport(doc, mesh);
      ADD_FAILURE() << "rename " << n << " failed unnoticed";
    } catch (const EInOutError& e) {
      EXPECT_NE(std::string(e.what()).find(files[n]), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("The import was not saved"), std::string::npos);
    }
    SetFileSetRenameForTests(nullptr);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(ReadBytes(home.File(files[i])), before[i]) << n;
    EXPECT_EQ(doc.NumFace, 1) << n;
    EXPECT_FALSE(fs::exists(home.File(kRecordJournal))) << n;
  }
  CommitImport(doc, mesh);
  EXPECT_EQ(doc.NumFace, 2);
  EXPECT_FLOAT_EQ(doc.Radius, std::sqrt(2.f * 2.f * 2.f + 81.f));
}

// ---- The reader's limits ---------------------------------------------------------------

TEST(ImportLimits, MemoryFollowsTheFilesSize) {
  constexpr uint64_t kMiB = uint64_t{1} << 20, kGiB = uint64_t{1} << 30;
  EXPECT_EQ(ImportMemoryLimit(0), kGiB);
  EXPECT_EQ(ImportMemoryLimit(kMiB), kGiB + 64 * kMiB);
  EXPECT_EQ(ImportMemoryLimit(48 * kMiB - 1), 4 * kGiB - 64);
  EXPECT_EQ(ImportMemoryLimit(48 * kMiB), 4 * kGiB);
  EXPECT_EQ(ImportMemoryLimit(kMaxModelFileSize), 4 * kGiB);
  EXPECT_EQ(TImportOptions{}.TimeLimitSeconds, 60.0);
}

// A binary FBX node: its end offset, property count and length, name, properties, and
// children closed by a null record (the layout of FBX 7.x binary files).
struct TFbxNode {
  std::string Name;
  testsupport::Bytes Properties;
  uint32_t PropertyCount = 0;
  std::vector<TFbxNode> Children;
};

void PutFbxNode(testsupport::Bytes& out, const TFbxNode& node) {
  const size_t start = out.size();
  testsupport::PutU32(out, 0);  // the end offset, set below
  testsupport::PutU32(out, node.PropertyCount);
  testsupport::PutU32(out, static_cast<uint32_t>(node.Properties.size()));
  out.push_back(static_cast<uint8_t>(node.Name.size()));
  testsupport::PutText(out, node.Name);
  out.insert(out.end(), node.Properties.begin(), node.Properties.end());
  for (const TFbxNode& child : node.Children) PutFbxNode(out, child);
  if (!node.Children.empty()) out.insert(out.end(), 13, 0);
  const auto end = static_cast<uint32_t>(out.size());
  std::memcpy(out.data() + start, &end, 4);
}

testsupport::Bytes FbxInt64(int64_t v) {
  testsupport::Bytes b{'L'};
  for (int i = 0; i < 8; ++i)
    b.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
  return b;
}
testsupport::Bytes FbxText(const std::string& text) {
  testsupport::Bytes b{'S'};
  testsupport::PutU32(b, static_cast<uint32_t>(text.size()));
  testsupport::PutText(b, text);
  return b;
}
testsupport::Bytes Join(std::initializer_list<testsupport::Bytes> parts) {
  testsupport::Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// A mesh whose vertex array claims 536,870,910 doubles (4 GB), "zlib-compressed" into four
// bytes: Assimp sizes the array from the claim before it inflates anything.
testsupport::Bytes FbxClaimingFourGigabytes() {
  testsupport::Bytes vertices{'d'};
  testsupport::PutU32(vertices, 536870910);  // count, a multiple of three
  testsupport::PutU32(vertices, 1);          // encoding: zlib
  testsupport::PutU32(vertices, 4);          // compressed length
  testsupport::PutU32(vertices, 0);
  testsupport::Bytes indices{'i'};
  for (uint32_t v : {3u, 0u, 12u, 0u, 1u, 0xFFFFFFFDu}) testsupport::PutU32(indices, v);
  testsupport::Bytes modelVersion{'I'};
  testsupport::PutU32(modelVersion, 232);
  testsupport::Bytes out;
  testsupport::PutText(out, std::string("Kaydara FBX Binary  \0\x1a\0", 23));
  testsupport::PutU32(out, 7400);
  const TFbxNode objects{
      "Objects",
      {},
      0,
      {{"Model",
        Join({FbxInt64(1), FbxText(std::string("m\0\x01Model", 8)), FbxText("Mesh")}),
        3,
        {{"Version", modelVersion, 1, {}}}},
       {"Geometry",
        Join({FbxInt64(2), FbxText(std::string("g\0\x01Geometry", 11)), FbxText("Mesh")}),
        3,
        {{"Vertices", vertices, 1, {}}, {"PolygonVertexIndex", indices, 1, {}}}}}};
  const TFbxNode connections{"Connections",
                             {},
                             0,
                             {{"C", Join({FbxText("OO"), FbxInt64(1), FbxInt64(0)}), 3, {}},
                              {"C", Join({FbxText("OO"), FbxInt64(2), FbxInt64(1)}), 3, {}}}};
  testsupport::Bytes version{'I'};
  testsupport::PutU32(version, 7400);
  PutFbxNode(out, {"FBXHeaderExtension", {}, 0, {{"FBXVersion", version, 1, {}}}});
  PutFbxNode(out, objects);
  PutFbxNode(out, connections);
  out.insert(out.end(), 13, 0);
  return out;
}

// A glTF whose node i has node i + 1 twice as its children: 2^40 paths to the last node,
// which Assimp builds as as many nodes.
std::string GltfWithAnExponentialNodeGraph() {
  std::string nodes;
  for (int i = 0; i < 40; ++i)
    nodes += R"({"children":[)" + std::to_string(i + 1) + "," + std::to_string(i + 1) + "]},";
  return TriangleGltf("tri.bin", "[" + nodes + R"({"mesh":0}])");
}

// Small files that claim or build far more than they hold end at the reader's memory
// limit, with a message that says so; a low limit here keeps the test light.
TEST_F(ImportSafetyTest, SmallHostileFilesEndAtTheMemoryLimit) {
  WriteTriangleBuffer(Model("tri.bin"));
  testsupport::WriteBytes(Model("claim.fbx"), FbxClaimingFourGigabytes());
  WriteText(Model("graph.gltf"), GltfWithAnExponentialNodeGraph());
  TImportOptions options;
  options.MemoryLimitBytes = uint64_t{256} << 20;
  for (const char* name : {"claim.fbx", "graph.gltf"}) {
    const std::string message = Refused(name, testsupport::ReadText(Model(name)), options);
    EXPECT_NE(message.find("needed more than its memory limit of 256 MB"), std::string::npos)
        << message;
  }
}

}  // namespace
