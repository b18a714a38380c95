// Export: every offered format reads back, our OBJ writer says what Assimp's says, a refused
// destination leaves the folder as it was, and the scene's bytes for the model writer are
// checked before use.
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <assimp/Exporter.hpp>
#include <filesystem>
#include <map>
#include <random>
#include <set>

#include "interchange/AiScene.h"
#include "interchange/ExportScene.h"
#include "interchange/Interchange.h"
#include "interchange/ObjWriter.h"
#include "mesh/MeshTestSupport.h"
#include "mesh/Rip.h"
#include "support/ModelFiles.h"
#include "support/RunProgram.h"
#include "util/FileIo.h"

namespace {

using testsupport::Statements;

namespace fs = std::filesystem;

struct TBox {
  TPoint3 Min{1e30f, 1e30f, 1e30f}, Max{-1e30f, -1e30f, -1e30f};
};

TBox BoxOf(const TMeshDocument& doc) {
  TBox box;
  for (int32_t i = 0; i < doc.NumVert; ++i) {
    const TPoint3& p = doc.VERT[i];
    box.Min = {std::min(box.Min.x, p.x), std::min(box.Min.y, p.y), std::min(box.Min.z, p.z)};
    box.Max = {std::max(box.Max.x, p.x), std::max(box.Max.y, p.y), std::max(box.Max.z, p.z)};
  }
  return box;
}

std::set<int32_t> MatsOf(const TMeshDocument& doc) {
  std::set<int32_t> mats;
  for (int32_t f = 0; f < doc.NumFace; ++f) mats.insert(doc.FACE[f].Mat);
  return mats;
}

void ExpectNear(const TPoint3& a, const TPoint3& b, const std::string& what) {
  EXPECT_NEAR(a.x, b.x, 1e-4) << what;
  EXPECT_NEAR(a.y, b.y, 1e-4) << what;
  EXPECT_NEAR(a.z, b.z, 1e-4) << what;
}

// The demo house, ripped into the test's home folder, and its textures' folder.
class DemoExportTest : public ::testing::Test {
protected:
  void SetUp() override {
    const std::string model = std::string(TESSAVOR_BIN_DIR) + "/demo/demo.iff";
    if (!fs::exists(model)) GTEST_SKIP() << "demo model not built: " << model;
    RipMesh(model);
    doc.ShowData = false;
    doc.LoadRecordFiles();
    options.MaterialFolder = std::string(TESSAVOR_BIN_DIR) + "/demo/";
    fs::create_directory(home.File("out"));
  }
  std::string Out(const std::string& name) const { return home.File("out/" + name); }

  testsupport::TempDir home;
  TMeshDocument doc;
  TExportOptions options;
};

class FormatRoundTripTest : public DemoExportTest,
                            public ::testing::WithParamInterface<TFormatInfo> {};

// Every offered format: exported and imported again, the house has the same bounding box,
// and the same materials where the format carries them (one new number where it does not).
TEST_P(FormatRoundTripTest, DemoComesBackWithItsBoxAndMaterials) {
  const TFormatInfo& format = GetParam();
  const TExportFormat* traits = FindExportFormat(format.Id);
  ASSERT_NE(traits, nullptr);
  ASSERT_EQ(traits->WriteOnly, nullptr);
  const TBox box = BoxOf(doc);
  const std::set<int32_t> mats = MatsOf(doc);
  options.FormatId = format.Id;
  const TExportReport report = ExportModel(doc, Out("house." + format.Extension), options);
  EXPECT_EQ(report.Faces, doc.NumFace);
  EXPECT_TRUE(report.Warnings.empty()) << report.Text();

  TMeshDocument back;
  back.ShowData = false;
  ImportModel(back, Out("house." + format.Extension));
  const TBox got = BoxOf(back);
  ExpectNear(got.Min, box.Min, format.Id + " min");
  ExpectNear(got.Max, box.Max, format.Id + " max");
  if (traits->Textures == TTextureMode::None) {
    EXPECT_EQ(MatsOf(back).size(), 1u) << format.Id;
  } else {
    EXPECT_EQ(MatsOf(back), mats) << format.Id;
  }
}

INSTANTIATE_TEST_SUITE_P(Offered, FormatRoundTripTest, ::testing::ValuesIn(ExportFormats()),
                         [](const ::testing::TestParamInfo<TFormatInfo>& p) { return p.param.Id; });

// The write-only formats are written (pbrt once crashed the writer for want of metadata)
// in the folder asked for, however the writer treats Assimp's file system (3MF).
TEST_F(DemoExportTest, WriteOnlyFormatsLandWhereAsked) {
  const auto formats = WriteOnlyExportFormats();
  ASSERT_FALSE(formats.empty());
  for (const auto& [format, why] : formats) {
    EXPECT_FALSE(why.empty()) << format.Id;
    options.FormatId = format.Id;
    const std::string out = Out("house." + format.Extension);
    ASSERT_NO_THROW(ExportModel(doc, out, options)) << format.Id;
    EXPECT_GT(fs::file_size(out), 0u) << format.Id;
  }
  EXPECT_FALSE(fs::exists(home.File("house.3mf")));
}

TEST_F(DemoExportTest, RefusedWritersSayWhy) {
  for (const char* id : {"fbx", "gltf", "glb", "x3d"}) {
    options.FormatId = id;
    try {
      ExportModel(doc, Out("house.any"), options);
      ADD_FAILURE() << id << " was taken";
    } catch (const EInterchange& e) {
      EXPECT_NE(std::string(e.what()).find(RefusedExportFormat(id)), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(ExportFormatForFile("a/House.FBX"), "fbxa");
  EXPECT_EQ(ExportFormatForFile("house.glb"), "glb2");
  EXPECT_TRUE(fs::is_empty(Out("")));
}

// Z up: each point (x, y, z) leaves as (x, -z, y), so the box turns with it.
TEST_F(DemoExportTest, ZUpTurnsTheHouseAQuarterAboutX) {
  const TBox box = BoxOf(doc);
  options.ZUp = true;
  ExportModel(doc, Out("house.obj"), options);
  TMeshDocument back;
  back.ShowData = false;
  ImportModel(back, Out("house.obj"));
  const TBox got = BoxOf(back);
  ExpectNear(got.Min, {box.Min.x, -box.Max.z, box.Min.y}, "min");
  ExpectNear(got.Max, {box.Max.x, -box.Min.z, box.Max.y}, "max");
}

// ---- Destinations that are refused before anything is written -----------------------------

std::map<std::string, std::string> FolderState(const std::string& folder) {
  std::map<std::string, std::string> state;
  for (const fs::directory_entry& e : fs::directory_iterator(folder)) {
    const fs::file_status s = fs::symlink_status(e.path());
    std::string what = std::to_string(static_cast<int>(s.type())) + ":" +
                       std::to_string(static_cast<int>(s.permissions()));
    if (fs::is_regular_file(s)) what += ":" + testsupport::ReadText(e.path().string());
    if (fs::is_symlink(s)) what += ":" + fs::read_symlink(e.path()).string();
    state[e.path().filename().string()] = what;
  }
  return state;
}

struct TBadDestination {
  const char* Name;
  const char* File;  // what is made bad, in out/
  void (*Make)(const std::string& path);
};

void MakeFolder(const std::string& p) { fs::create_directory(p); }
void MakeFifo(const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0644), 0); }
void MakeReadOnly(const std::string& p) {
  testsupport::WriteText(p, "keep me");
  fs::permissions(p, fs::perms::owner_read);
}
void MakeDangling(const std::string& p) { fs::create_symlink("nowhere/at/all", p); }

class BadDestinationTest : public DemoExportTest,
                           public ::testing::WithParamInterface<TBadDestination> {};

// The model or one of its pictures cannot be written: nothing is, the folder is as it was
// (the .mtl and the other pictures beside it included).
TEST_P(BadDestinationTest, LeavesTheFolderAsItWas) {
  if (geteuid() == 0 && GetParam().Make == MakeReadOnly) GTEST_SKIP() << "root writes anyway";
  testsupport::WriteText(Out("house.mtl"), "the user's own library");
  testsupport::WriteText(Out("00001002.png"), "the user's own picture");
  GetParam().Make(Out(GetParam().File));
  const auto before = FolderState(Out(""));
  EXPECT_ANY_THROW(ExportModel(doc, Out("house.obj"), options));
  EXPECT_EQ(FolderState(Out("")), before);
}

INSTANTIATE_TEST_SUITE_P(
    Destinations, BadDestinationTest,
    ::testing::Values(TBadDestination{"ModelIsAFolder", "house.obj", MakeFolder},
                      TBadDestination{"ModelIsAFifo", "house.obj", MakeFifo},
                      TBadDestination{"ModelIsReadOnly", "house.obj", MakeReadOnly},
                      TBadDestination{"ModelIsADanglingLink", "house.obj", MakeDangling},
                      TBadDestination{"PictureIsAFolder", "00001003.png", MakeFolder},
                      TBadDestination{"PictureIsAFifo", "00001003.png", MakeFifo},
                      TBadDestination{"PictureIsReadOnly", "00001003.png", MakeReadOnly},
                      TBadDestination{"PictureIsADanglingLink", "00001004.png", MakeDangling}),
    [](const ::testing::TestParamInfo<TBadDestination>& p) { return p.param.Name; });

// A disk that fills while the files are made, at the last one (the model): the export
// fails and every file beside it is as it was, the pictures and the library included.
TEST_F(DemoExportTest, AFullDiskAtTheModelLeavesThePicturesAsTheyWere) {
  // What the export makes, and how many bytes, from a run into another folder.
  fs::create_directory(home.File("measure"));
  ExportModel(doc, home.File("measure/house.obj"), options);
  int64_t total = 0;
  for (const auto& e : fs::directory_iterator(home.File("measure"))) {
    total += static_cast<int64_t>(e.file_size());
    testsupport::WriteText(Out(e.path().filename().string()), "old");
  }
  ASSERT_GE(std::distance(fs::directory_iterator(Out("")), {}), 6);  // model, library, 4 pictures
  const auto before = FolderState(Out(""));
  SetFreeSpaceForTests(total - 1);
  try {
    ExportModel(doc, Out("house.obj"), options);
    ADD_FAILURE() << "exported on a full disk";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("house.obj\": No space left on device"), std::string::npos)
        << e.what();
  }
  SetFreeSpaceForTests(-1);
  EXPECT_EQ(FolderState(Out("")), before);
  // With room, all of them are the new ones.
  ExportModel(doc, Out("house.obj"), options);
  for (const auto& e : fs::directory_iterator(home.File("measure"))) {
    const std::string name = e.path().filename().string();
    EXPECT_EQ(testsupport::ReadBytes(Out(name)), testsupport::ReadBytes(e.path().string())) << name;
  }
}

TEST_F(DemoExportTest, DeviceIsRefusedForEveryFormat) {
  for (const char* id : {"obj", "glb2", "collada"}) {
    options.FormatId = id;
    EXPECT_THROW(ExportModel(doc, "/dev/null", options), EInOutError) << id;
  }
}

// ---- Our OBJ writer against Assimp's --------------------------------------------------------

class ObjWriterTest : public ::testing::Test {
protected:
  // A mesh that tries the writer's rules: positions from a small set (so that they repeat),
  // -0 next to 0, fractions that need all nine digits, huge and tiny values, polygons of
  // three to six corners, five materials taking turns, corners without a normal of their own.
  void BuildMesh(unsigned seed) {
    std::mt19937 rng(seed);
    const float values[] = {0.0f, -0.0f, 1.0f, -1.0f, 1.0f / 3.0f, 0.1f, 2.5e-7f, -1.0e20f, 6.5f};
    const auto pick = [&] { return values[rng() % std::size(values)]; };
    doc.ShowData = false;
    for (int i = 0; i < 40; ++i) doc.AddVert({pick(), pick(), pick()});
    for (int i = 0; i < 12; ++i) doc.StoreVtnm({pick(), pick(), pick()});
    for (int face = 0; face < 60; ++face) {
      const int first = doc.NumFvrt;
      const int count = 3 + static_cast<int>(rng() % 4);
      for (int c = 0; c < count; ++c)
        doc.AddFvrt({static_cast<int32_t>(rng() % 40), static_cast<int32_t>(rng() % 14) - 1, pick(),
                     pick()});
      doc.AddFace({static_cast<int32_t>(rng() % 12), 0.0f, 1000 + static_cast<int32_t>(rng() % 5),
                   first, count, 0, kEditorReserved2});
    }
  }
  TMeshDocument doc;
};

TEST_F(ObjWriterTest, SaysWhatAssimpsWriterSays) {
  for (unsigned seed : {1u, 2u, 3u}) {
    doc.Clear();
    BuildMesh(seed);
    for (const char* id : {"obj", "objnomtl"}) {
      TExportOptions options;
      options.MaterialFolder = "/nonexistent/";
      TExportReport report;
      TExportScene scene = BuildExportScene(doc, *FindExportFormat(id), options, report);
      scene.FormatId = id;
      scene.FileName = "m.obj";
      // Assimp's writer makes no texture references here, so give the scene one of its own.
      scene.Materials[1].Texture = "00001001.png";
      const bool library = std::string(id) == "obj";
      const std::unique_ptr<aiScene> ai = MakeAiScene(scene);
      Assimp::Exporter exporter;
      const aiExportDataBlob* blob = exporter.ExportToBlob(ai.get(), id);
      ASSERT_NE(blob, nullptr) << exporter.GetErrorString();
      const std::string theirs(static_cast<const char*>(blob->data), blob->size);
      // Assimp names the library after its blob ("$blobfile"): ours after the file.
      std::string ours = ObjModelText(scene, "$blobfile.obj", library);
      EXPECT_EQ(Statements(ours), Statements(theirs)) << "seed " << seed << " " << id;
      if (library) {
        ASSERT_NE(blob->next, nullptr);
        const std::string mtl(static_cast<const char*>(blob->next->data), blob->next->size);
        EXPECT_EQ(Statements(ObjLibraryText(scene)), Statements(mtl)) << "seed " << seed;
      }
    }
  }
}

TEST_F(ObjWriterTest, LibraryIsNamedAfterTheModel) {
  EXPECT_EQ(ObjLibraryName("a/house.obj"), "house.mtl");
  EXPECT_EQ(ObjLibraryName("house.v2.obj"), "house.v2.mtl");
  EXPECT_EQ(ObjLibraryName("house"), "house.mtl");
}

// ---- The scene's bytes for the model writer ---------------------------------------------------

TEST_F(ObjWriterTest, SceneBytesComeBackWhole) {
  BuildMesh(7);
  TExportOptions options;
  options.MaterialFolder = "/nonexistent/";
  TExportReport report;
  TExportScene scene = BuildExportScene(doc, *FindExportFormat("glb2"), options, report);
  scene.FileName = "m.glb";
  scene.Embedded.push_back({"00001000.png", {1, 2, 3}});
  scene.Materials[0].Texture = "*0";
  const std::string bytes = EncodeExportScene(scene);
  const TExportScene back = DecodeExportScene(bytes);
  EXPECT_EQ(EncodeExportScene(back), bytes);
  ASSERT_EQ(back.Meshes.size(), scene.Meshes.size());
  EXPECT_EQ(back.Meshes[0].FaceSizes, scene.Meshes[0].FaceSizes);
  EXPECT_EQ(back.Embedded[0].Png, (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(ObjWriterTest, DamagedSceneBytesAreRefused) {
  BuildMesh(8);
  TExportOptions options;
  options.MaterialFolder = "/nonexistent/";
  TExportReport report;
  TExportScene scene = BuildExportScene(doc, *FindExportFormat("collada"), options, report);
  scene.FileName = "m.dae";
  const std::string good = EncodeExportScene(scene);
  // Every cut is refused, never read past.
  for (size_t cut = 0; cut < good.size(); cut += 7)
    EXPECT_THROW(DecodeExportScene(good.substr(0, cut)), EInterchange) << cut;
  EXPECT_THROW(DecodeExportScene(good + "x"), EInterchange);

  const auto refused = [](TExportScene s, const char* what) {
    EXPECT_THROW(DecodeExportScene(EncodeExportScene(s)), EInterchange) << what;
  };
  TExportScene s = scene;
  s.FileName = "../escape.dae";
  refused(s, "a file name with a folder");
  s = scene;
  s.Materials[0].Texture = "/etc/passwd";
  refused(s, "a texture elsewhere");
  s = scene;
  s.Materials[0].Texture = "*0";
  refused(s, "an embedded picture that is not there");
  s = scene;
  s.Meshes[0].FaceSizes[0] += 1;
  refused(s, "faces past their corners");
  s = scene;
  s.Meshes[0].FaceSizes.back() = 2;
  refused(s, "a face of two corners");
  s = scene;
  s.Meshes[0].Material = static_cast<uint32_t>(s.Materials.size());
  refused(s, "a mesh without its material");
  s = scene;
  s.Meshes[0].Normals.pop_back();
  refused(s, "arrays of unequal length");
  s = scene;
  s.FormatId = "fbx";
  refused(s, "a format export does not take");
}

// ---- tessavor-cli export takes the editor's material folder ---------------------------------

TEST_F(DemoExportTest, CliTakesTexturesFromTheEditorsMaterialFolder) {
  if (!testsupport::ProgramBuilt("tessavor-cli")) GTEST_SKIP() << "tessavor-cli not built";
  // As the editor writes it: quoted.
  const std::string demo = std::string(TESSAVOR_BIN_DIR) + "/demo/";
  testsupport::WriteText(home.File("model.ini"), "[qorvex]\nloadok=1\nMatPath=\"" + demo + "\"\n");
  const auto run = testsupport::RunProgram("tessavor-cli", {"export", Out("house.obj")},
                                           testsupport::TRunOptions().Merged());
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out.find("no texture"), std::string::npos) << run.out;
  EXPECT_TRUE(fs::exists(Out("00001001.png")));
  // --textures still wins.
  const auto other = testsupport::RunProgram(
      "tessavor-cli", {"export", Out("h2.obj"), "--textures", home.File("none")},
      testsupport::TRunOptions().Merged());
  ASSERT_EQ(other.status, 0) << other.out;
  EXPECT_NE(other.out.find("no texture"), std::string::npos) << other.out;
  const auto bad = testsupport::RunProgram("tessavor-cli", {"export", Out("h3.obj"), "--up", "x"},
                                           testsupport::TRunOptions().Merged());
  EXPECT_NE(bad.status, 0);
  EXPECT_FALSE(fs::exists(Out("h3.obj")));
}

}  // namespace
