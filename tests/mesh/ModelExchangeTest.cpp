// The exchange with the Blender add-on: a model's mesh out as JSON, the edited mesh back,
// and what an edit may change in the model. The box model is laid down byte by byte here;
// the edited documents are made from the JSON the way the add-on makes them.
#include "interchange/ModelExchange.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

#include "interchange/GameReady.h"
#include "support/IffBytes.h"
#include "support/RunProgram.h"

namespace {

using TJson = nlohmann::json;
using testsupport::Bytes;

// A box 4 x 2 x 2 (x from -2 to 2, y from 0 to 2, z from -1 to 1), its six faces
// counter-clockwise from outside with flat normals (N.X + D = 0), the front of material
// 1001, the rest 1002; a NAME chunk before the mesh and an odd-sized chunk after it, which
// every export must keep.
const float kVerts[8][3] = {{-2, 0, 1},  {2, 0, 1},  {2, 2, 1},  {-2, 2, 1},
                            {-2, 0, -1}, {2, 0, -1}, {2, 2, -1}, {-2, 2, -1}};
const float kNormals[6][3] = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
const int kCorners[6][4] = {{0, 1, 2, 3}, {5, 4, 7, 6}, {1, 5, 6, 2},
                            {4, 0, 3, 7}, {3, 2, 6, 7}, {4, 5, 1, 0}};
const float kD[6] = {-1, -1, -2, -2, -2, 0};

Bytes BoxModel() {
  using namespace iffbytes;
  using testsupport::PutF32;
  using testsupport::PutU32;
  Bytes vert, vtnm, fvrt, face, radi;
  for (const auto& v : kVerts)
    for (float c : v) PutF32(vert, c);
  for (const auto& n : kNormals)
    for (float c : n) PutF32(vtnm, c);
  const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (int f = 0; f < 6; ++f) {
    for (int k = 0; k < 4; ++k) {
      PutU32(fvrt, static_cast<uint32_t>(kCorners[f][k]));
      PutU32(fvrt, static_cast<uint32_t>(f));
      PutF32(fvrt, uv[k][0]);
      PutF32(fvrt, uv[k][1]);
    }
    PutU32(face, static_cast<uint32_t>(f));
    PutF32(face, kD[f]);
    PutU32(face, f == 0 ? 1001 : 1002);
    PutU32(face, static_cast<uint32_t>(4 * f));
    PutU32(face, 4);
    PutU32(face, 0);
    PutU32(face, kEditorReserved2);
  }
  PutF32(radi, 3.0f);
  return Form("MESH", {Chunk("NAME", Text(std::string("box\0", 4))),
                       Form("0001", {Chunk("VERT", vert), Chunk("VTNM", vtnm), Chunk("FVRT", fvrt),
                                     Chunk("FACE", face), Chunk("RADI", radi)}),
                       Chunk("INFO", Text("odd"))});
}

// The edited document the add-on makes of an unedited import: every vertex and face at its
// source index, materials named with their eight digits.
TJson EditOf(const TJson& mesh, const std::string& source) {
  TJson edit = {{"format", "tessavor-edit"},
                {"version", 1},
                {"source", source},
                {"radius", mesh["radius"]},
                {"vtnm", mesh["vtnm"]},
                {"vert", mesh["vert"]},
                {"vert_source", TJson::array()},
                {"materials", TJson::array()},
                {"faces", TJson::array()}};
  for (size_t i = 0; i < mesh["vert"].size(); ++i) edit["vert_source"].push_back(i);
  std::vector<int> numbers;
  for (size_t f = 0; f < mesh["face"].size(); ++f) {
    const TJson& face = mesh["face"][f];
    const int mat = face[2];
    auto it = std::find(numbers.begin(), numbers.end(), mat);
    if (it == numbers.end()) {
      numbers.push_back(mat);
      char name[16];
      std::snprintf(name, sizeof name, "%08d", mat);
      edit["materials"].push_back({{"name", name}, {"picture", ""}});
      it = numbers.end() - 1;
    }
    TJson corners = TJson::array();
    for (int r = face[3]; r < int(face[3]) + int(face[4]); ++r) {
      const TJson& c = mesh["fvrt"][static_cast<size_t>(r)];
      const TJson& n = mesh["vtnm"][static_cast<size_t>(int(c[1]))];
      corners.push_back({c[0], c[2], c[3], n[0], n[1], n[2], c[1]});
    }
    edit["faces"].push_back({{"material", it - numbers.begin()},
                             {"source", f},
                             {"vtnm", face[0]},
                             {"d", face[1]},
                             {"reserved", {face[5], face[6]}},
                             {"corners", corners}});
  }
  return edit;
}

class ModelExchangeTest : public ::testing::Test {
protected:
  const Bytes source = BoxModel();
  const TJson mesh = TJson::parse(ModelMeshJson(source, "box.iff"));
  TJson edit = EditOf(mesh, "box.iff");
  TImportOptions options;

  TEditedModel Build(const Bytes& from) {
    return BuildEditedModel(ParseEditedMesh(edit.dump(), "edit.json"), from, ".", options);
  }
  TEditedModel Build() { return Build(source); }
  // The records of a model file as JSON, as the add-on reads them.
  static TJson Records(const Bytes& model) { return TJson::parse(ModelMeshJson(model, "out")); }
};

TEST_F(ModelExchangeTest, MeshJsonHoldsEveryRecordAsItIs) {
  ASSERT_EQ(mesh["vert"].size(), 8u);
  EXPECT_EQ(mesh["vert"][6], TJson({2.0, 2.0, -1.0}));
  ASSERT_EQ(mesh["fvrt"].size(), 24u);
  EXPECT_EQ(mesh["fvrt"][23], TJson({0, 5, 0.0, 1.0}));  // the bottom's last corner
  ASSERT_EQ(mesh["face"].size(), 6u);
  EXPECT_EQ(mesh["face"][5], TJson({5, 0.0, 1002, 20, 4, 0, kEditorReserved2}));
  EXPECT_EQ(mesh["radius"], 3.0);
}

TEST_F(ModelExchangeTest, UneditedGivesTheSourceByteForByte) {
  const TEditedModel out = Build();
  EXPECT_TRUE(out.KeptStructure);
  EXPECT_EQ(out.MovedVerts, 0);
  EXPECT_EQ(out.Bytes, source);
}

TEST_F(ModelExchangeTest, AMovedVertexChangesItsRecordAndTheFacesOnIt) {
  edit["vert"][2] = {2.0, 2.5, 1.5};
  const TEditedModel out = Build();
  EXPECT_EQ(out.MovedVerts, 1);
  const TJson back = Records(out.Bytes);
  for (size_t v = 0; v < 8; ++v) {
    if (v != 2) {
      EXPECT_EQ(back["vert"][v], mesh["vert"][v]) << "VERT " << v;
    }
  }
  EXPECT_EQ(back["vert"][2], TJson({2.0, 2.5, 1.5}));
  // Faces 0 (front), 2 (right) and 4 (top) use vertex 2; the others stay as they were, and
  // so does the right face, whose plane comes from its first three corners, not vertex 2.
  for (size_t f : {1u, 2u, 3u, 5u}) EXPECT_EQ(back["face"][f], mesh["face"][f]) << "FACE " << f;
  for (size_t f : {0u, 4u}) {
    const TJson& a = mesh["face"][f];
    const TJson& b = back["face"][f];
    EXPECT_EQ(std::vector<TJson>(a.begin() + 2, a.end()),
              std::vector<TJson>(b.begin() + 2, b.end()))
        << "FACE " << f << ": only its normal and D";
    EXPECT_TRUE(a[0] != b[0] && a[1] != b[1]) << "FACE " << f << ": a new plane";
  }
  for (size_t r = 0; r < 24; ++r) {
    const TJson& a = mesh["fvrt"][r];
    const TJson& b = back["fvrt"][r];
    EXPECT_TRUE(a[0] == b[0] && a[2] == b[2] && a[3] == b[3]) << "FVRT " << r;
    // The corners of the untouched faces keep their normals (flat corners follow their face).
    if (r / 4 % 2 == 1) {
      EXPECT_EQ(a[1], b[1]) << "FVRT " << r;
    } else {
      EXPECT_EQ(b[1], back["face"][r / 4][0]) << "FVRT " << r;
    }
  }
  // The old normals stay where they were; the new ones come after them.
  for (size_t n = 0; n < 6; ++n) EXPECT_EQ(back["vtnm"][n], mesh["vtnm"][n]);
  // The vertex moved past the radius: it grows to reach it.
  EXPECT_EQ(back["radius"], double{static_cast<float>(std::sqrt(12.5))});
  // The NAME before the mesh and the odd chunk after it are still there.
  const std::string text(out.Bytes.begin(), out.Bytes.end());
  EXPECT_NE(text.find(std::string("NAME\0\0\0\4box\0", 12)), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 12), std::string("INFO\0\0\0\3odd\0", 12));
}

// The box turned a quarter about y, (x, y, z) -> (z, y, -x): every vertex moved, and each
// face's new normal is one the table holds already (the front's is the right's), which it
// takes instead of adding one.
TEST_F(ModelExchangeTest, ATurnedFaceTakesTheNormalRecordItNowMatches) {
  for (auto& v : edit["vert"]) v = {v[2], v[1], -v[0].get<double>()};
  const TJson back = Records(Build().Bytes);
  EXPECT_EQ(back["vtnm"], mesh["vtnm"]);
  const int expected[6] = {2, 3, 1, 0, 4, 5};
  for (size_t f = 0; f < 6; ++f) EXPECT_EQ(back["face"][f][0], expected[f]) << "FACE " << f;
}

TEST_F(ModelExchangeTest, AVertexMovedInsideKeepsTheRadius) {
  edit["vert"][2] = {1.5, 1.5, 0.5};
  EXPECT_EQ(Records(Build().Bytes)["radius"], 3.0);
}

TEST_F(ModelExchangeTest, AnotherMaterialChangesThatFaceRecordsMaterialAlone) {
  edit["materials"].push_back({{"name", "00000007"}, {"picture", ""}});
  edit["faces"][3]["material"] = 2;
  const TEditedModel out = Build();
  ASSERT_EQ(out.Bytes.size(), source.size());
  std::vector<size_t> differ;
  for (size_t i = 0; i < source.size(); ++i) {
    if (source[i] != out.Bytes[i]) differ.push_back(i);
  }
  // FACE 3's Mat, 8 bytes into its record: 1002 (0x3EA) became 7, its low byte alone.
  const std::string text(source.begin(), source.end());
  const size_t face3 = text.find("FACE") + 8 + 3 * 28;
  EXPECT_EQ(differ, std::vector<size_t>({face3 + 8, face3 + 9}));
  EXPECT_EQ(Records(out.Bytes)["face"][3][2], 7);
}

TEST_F(ModelExchangeTest, ADeletedFaceLeavesTheRecordsBeforeIt) {
  edit["faces"].erase(5);  // the bottom, the last face
  const TEditedModel out = Build();
  EXPECT_FALSE(out.KeptStructure);
  EXPECT_EQ(out.DroppedFaces, 1);
  const TJson back = Records(out.Bytes);
  ASSERT_EQ(back["face"].size(), 5u);
  for (size_t f = 0; f < 5; ++f) EXPECT_EQ(back["face"][f], mesh["face"][f]);
  for (size_t r = 0; r < 20; ++r) EXPECT_EQ(back["fvrt"][r], mesh["fvrt"][r]);
  EXPECT_EQ(back["vert"], mesh["vert"]);
  EXPECT_EQ(back["radius"], 3.0);
}

TEST_F(ModelExchangeTest, ANewWarpedFaceIsMadeGameReadyAfterTheOthers) {
  // A quad over the top whose fourth corner lies off the plane of the first three: two
  // triangles, after the six faces, on the box's own vertices and one new one.
  edit["vert"].push_back({0.0, 3.0, 0.0});
  edit["vert_source"].push_back(-1);
  edit["faces"].push_back({{"material", 1},
                           {"source", -1},
                           {"vtnm", -1},
                           {"d", 0.0},
                           {"reserved", {0, 0}},
                           {"corners",
                            {{3, 0, 0, 0, 1, 0, -1},
                             {2, 1, 0, 0, 1, 0, -1},
                             {6, 1, 1, 0, 1, 0, -1},
                             {8, 0, 1, 0, 1, 0, -1}}}});
  const TEditedModel out = Build();
  EXPECT_EQ(out.NewFaces, 1);
  const TJson back = Records(out.Bytes);
  ASSERT_EQ(back["face"].size(), 8u);
  for (size_t f = 0; f < 6; ++f) EXPECT_EQ(back["face"][f], mesh["face"][f]);
  EXPECT_EQ(back["vert"].size(), 9u);
  for (size_t f = 6; f < 8; ++f) {
    EXPECT_EQ(back["face"][f][4], 3) << "a triangle";
    EXPECT_EQ(back["face"][f][2], 1002);
  }
  // The radius reaches the new vertex at height 3.
  EXPECT_EQ(back["radius"], 3.0);
}

TEST_F(ModelExchangeTest, WithoutASourceANewModelAsTheMeshScriptCompilesIt) {
  edit["source"] = "";
  edit["materials"][0]["name"] = "brick";
  edit["materials"][0]["picture"] = "pictures/00002002.png";
  edit["materials"][1]["name"] = "stone";
  const TEditedModel out = Build({});
  // FORM MESH of the five chunks, nothing else: 12 + 5 * 8 bytes of headers.
  const std::string text(out.Bytes.begin(), out.Bytes.end());
  ASSERT_GE(text.size(), 12u);
  EXPECT_EQ(text.substr(0, 4), "FORM");
  EXPECT_EQ(text.substr(8, 8), "MESHVERT");
  const TJson back = Records(out.Bytes);
  const size_t records = back["vert"].size() * 12 + back["vtnm"].size() * 12 +
                         back["fvrt"].size() * 16 + back["face"].size() * 28 + 4;
  EXPECT_EQ(out.Bytes.size(), 12 + 5 * 8 + records);
  EXPECT_EQ(back["face"].size(), 6u);
  EXPECT_EQ(back["face"][0][2], 2002) << "the eight-digit picture gives the number";
  EXPECT_EQ(back["face"][1][2], 70000) << "a new number";
  ASSERT_EQ(out.Mesh.Textures.size(), 1u);
  EXPECT_EQ(out.Mesh.Textures[0].first, 2002);
}

TEST_F(ModelExchangeTest, ASourceCutShortIsRefused) {
  Bytes cut(source.begin(), source.end() - 30);
  EXPECT_THROW(Build(cut), EModelExchange);
}

TEST_F(ModelExchangeTest, ANumberThatIsNotFiniteIsNotWrittenOut) {
  Bytes broken = source;
  const std::string text(source.begin(), source.end());
  const size_t vert = text.find("VERT") + 8;
  const uint32_t nan = 0x7FC00000;
  std::memcpy(broken.data() + vert + 12, &nan, 4);
  try {
    ModelMeshJson(broken, "nan.iff");
    FAIL() << "no refusal";
  } catch (const EModelExchange& e) {
    EXPECT_NE(std::string(e.what()).find("VERT 1 holds a number that is not finite"),
              std::string::npos)
        << e.what();
  }
}

// Each damaged document is refused with the element named; the one next to it is taken.
struct TDamage {
  const char* Name;
  void (*Break)(TJson& edit);
  const char* Message;
};

void PrintTo(const TDamage& damage, std::ostream* out) { *out << damage.Name; }

class ModelExchangeDamageTest : public ModelExchangeTest,
                                public ::testing::WithParamInterface<TDamage> {};

TEST_P(ModelExchangeDamageTest, IsRefusedNamingTheElement) {
  GetParam().Break(edit);
  try {
    ParseEditedMesh(edit.dump(), "edit.json");
    FAIL() << "taken";
  } catch (const EModelExchange& e) {
    EXPECT_NE(std::string(e.what()).find(GetParam().Message), std::string::npos) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Documents, ModelExchangeDamageTest,
    ::testing::Values(
        TDamage{"TwoCorners",
                [](TJson& e) {
                  e["faces"][0]["corners"].erase(0);
                  e["faces"][0]["corners"].erase(0);
                },
                "face 0 has fewer than 3 corners"},
        TDamage{"VertexPastTheEnd", [](TJson& e) { e["faces"][1]["corners"][2][0] = 8; },
                "corner 2 of face 1 vertex is 8, not within 0..7"},
        TDamage{"MaterialPastTheEnd", [](TJson& e) { e["faces"][0]["material"] = 2; },
                "face 0 material is 2, not within 0..1"},
        TDamage{"ReservedPastThirtyTwoBits",
                [](TJson& e) { e["faces"][0]["reserved"][1] = 4294967296ll; },
                "face 0 reserved is 4294967296"},
        TDamage{"FloatPastTheRange", [](TJson& e) { e["vert"][0][1] = 1e39; },
                "vert 0 is not a finite number"},
        TDamage{"SourcesNotOneAVertex", [](TJson& e) { e["vert_source"].erase(7); },
                "vert_source does not have one entry a vertex"},
        TDamage{"AnotherVersion", [](TJson& e) { e["version"] = 2; }, "\"version\" is not 1"},
        TDamage{"NoFaces", [](TJson& e) { e.erase("faces"); }, "\"faces\" is missing"}),
    [](const auto& test) { return std::string(test.param.Name); });

// The limits themselves are taken: three corners, the last vertex and material, all 32 bits
// of the reserved word.
TEST_F(ModelExchangeTest, TheLimitsThemselvesAreTaken) {
  edit["faces"][0]["corners"].erase(3);
  edit["faces"][1]["corners"][2][0] = 7;
  edit["faces"][0]["material"] = 1;
  edit["faces"][0]["reserved"][1] = 4294967295ll;
  const TEditedMesh m = ParseEditedMesh(edit.dump(), "edit.json");
  EXPECT_EQ(m.Faces[0].Count, 3);
  EXPECT_EQ(m.Faces[0].Reserved2, 0xFFFFFFFFu);
  EXPECT_EQ(m.Corners[static_cast<size_t>(m.Faces[1].First + 2)].Vert, 7);
}

// A strip of triangles of two materials in turn (so that none merge), as many as the corner
// array holds (three corners each, 10,923 of them: 32,769 corners), and one more.
TEditedMesh Strip(int32_t triangles) {
  TEditedMesh m;
  m.Materials = {{"1001", ""}, {"1002", ""}};
  for (int32_t i = 0; i < triangles + 2; ++i) {
    m.Verts.push_back({static_cast<float>(i / 2), 0.0f, static_cast<float>(i % 2)});
    m.VertSources.push_back(-1);
  }
  for (int32_t t = 0; t < triangles; ++t) {
    const int32_t a = t % 2 == 0 ? t : t + 1, b = t % 2 == 0 ? t + 1 : t;
    TEditedFace f;
    f.Material = t % 2;
    f.First = static_cast<int32_t>(m.Corners.size());
    f.Count = 3;
    m.Faces.push_back(f);
    for (const int32_t v : {a, b, t + 2}) m.Corners.push_back({v, 0.0f, 0.0f, {0, 1, 0}, -1});
  }
  return m;
}

TEST_F(ModelExchangeTest, ANewModelAsLargeAsTheArraysIsTakenOneFaceMoreIsRefused) {
  const TEditedModel full = BuildEditedModel(Strip(10923), {}, ".", options);
  EXPECT_EQ(full.Report.NumFvrt, MeshCapacity);
  try {
    BuildEditedModel(Strip(10924), {}, ".", options);
    FAIL() << "taken";
  } catch (const EModelTooLarge& e) {
    EXPECT_NE(std::string(e.what()).find("FVRT 3 over"), std::string::npos) << e.what();
  }
}

// The document of a mesh, as the add-on writes it.
TJson DocumentOf(const TEditedMesh& m) {
  TJson doc = {{"format", "tessavor-edit"},    {"version", 1},
               {"source", m.Source},           {"radius", nullptr},
               {"vtnm", TJson::array()},       {"vert", TJson::array()},
               {"vert_source", m.VertSources}, {"materials", TJson::array()},
               {"faces", TJson::array()}};
  for (const TPoint3& v : m.Verts) doc["vert"].push_back({v.x, v.y, v.z});
  for (const TEditedMaterial& mat : m.Materials)
    doc["materials"].push_back({{"name", mat.Name}, {"picture", mat.Picture}});
  for (const TEditedFace& f : m.Faces) {
    TJson corners = TJson::array();
    for (int32_t k = 0; k < f.Count; ++k) {
      const TEditedCorner& c = m.Corners[static_cast<size_t>(f.First + k)];
      corners.push_back({c.Vert, c.Tx, c.Ty, c.Normal.x, c.Normal.y, c.Normal.z, c.Vtnm});
    }
    doc["faces"].push_back({{"material", f.Material},
                            {"source", f.Source},
                            {"vtnm", f.Vtnm},
                            {"d", f.D},
                            {"reserved", {f.Reserved1, f.Reserved2}},
                            {"corners", corners}});
  }
  return doc;
}

// tessavor-cli mesh-from-json as the add-on runs it: a refusal is exit status 2 with the
// message worded for the export, and nothing written; the model that fits is written.
TEST_F(ModelExchangeTest, TheCommandRefusesAModelOverTheArraysWritingNothing) {
  testsupport::TempDir dir;
  testsupport::WriteText(dir.File("over.json"), DocumentOf(Strip(10924)).dump());
  const testsupport::TProgramResult over = testsupport::RunProgram(
      "tessavor-cli", {"mesh-from-json", dir.File("over.json"), dir.File("over.iff")});
  EXPECT_EQ(over.status, 2);
  EXPECT_NE(over.err.find("nothing was written"), std::string::npos) << over.err;
  EXPECT_NE(over.err.find("(\"Fit\" in Blender's export)"), std::string::npos) << over.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("over.iff")));

  testsupport::WriteText(dir.File("fits.json"), DocumentOf(Strip(10923)).dump());
  const testsupport::TProgramResult fits = testsupport::RunProgram(
      "tessavor-cli", {"mesh-from-json", dir.File("fits.json"), dir.File("fits.iff")});
  EXPECT_EQ(fits.status, 0) << fits.err;
  EXPECT_EQ(Records(testsupport::ReadBytes(dir.File("fits.iff")))["fvrt"].size(),
            static_cast<size_t>(MeshCapacity));
}

TEST_F(ModelExchangeTest, TextThatIsNotJsonIsRefused) {
  EXPECT_THROW(ParseEditedMesh("{\"format\": ", "edit.json"), EModelExchange);
  EXPECT_THROW(ParseEditedMesh("[]", "edit.json"), EModelExchange);
}

}  // namespace
