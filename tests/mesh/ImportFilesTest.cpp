// Files other tools write, as the import meets them: references beside the model read from
// any current folder, refusals in plain words with nothing of the reader's own printing,
// the texture folder made when it is missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "images/MatGraphic.h"
#include "interchange/Interchange.h"
#include "mesh/MeshTestSupport.h"
#include "mesh/RecordFiles.h"
#include "support/RunProgram.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadBytes;
using testsupport::WriteText;

// An Ogre XML mesh of one square whose material lies beside it in "BlockMat.material": the
// reader looks for the material first under its bare name, then in the model's folder.
constexpr const char* kOgreMesh =
    R"(<mesh><submeshes><submesh material="BlockMat" usesharedvertices="false">
<faces count="2"><face v1="0" v2="1" v3="2" /><face v1="0" v2="2" v3="3" /></faces>
<geometry vertexcount="4"><vertexbuffer positions="true">
<vertex><position x="0" y="0" z="0" /></vertex><vertex><position x="1" y="0" z="0" /></vertex>
<vertex><position x="1" y="1" z="0" /></vertex><vertex><position x="0" y="1" z="0" /></vertex>
</vertexbuffer></geometry></submesh></submeshes></mesh>)";
constexpr const char* kOgreMaterial =
    "material BlockMat\n{\n technique\n {\n  pass\n  {\n   diffuse 1 0 0 1\n  }\n }\n}\n";

class ImportFilesTest : public ::testing::Test {
protected:
  testsupport::TempDir home;
  TMeshDocument doc;
  void SetUp() override {
    doc.ShowData = false;
    fs::create_directories(home.File("models"));
    fs::create_directories(home.File("elsewhere"));
  }
  testsupport::TProgramResult Cli(const std::vector<std::string>& args,
                                  const std::string& cwd = {}) {
    testsupport::TRunOptions options;
    options.Set("TESSAVOR_HOME", home.Path().string());
    if (!cwd.empty()) options.In(cwd);
    return testsupport::RunProgram("tessavor-cli", args, options);
  }
};

// From another folder, by a relative and by an absolute path: the material beside the
// model is read, and its first try under the bare name is no refusal.
TEST_F(ImportFilesTest, AReferenceBesideTheModelIsFoundFromAnyFolder) {
  WriteText(home.File("models/box.mesh.xml"), kOgreMesh);
  WriteText(home.File("models/BlockMat.material"), kOgreMaterial);
  for (const std::string& model :
       {std::string("../models/box.mesh.xml"), home.File("models/box.mesh.xml")}) {
    const auto run = Cli({"import", model}, home.File("elsewhere"));
    EXPECT_EQ(run.status, 0) << model << "\n" << run.err;
    EXPECT_NE(run.out.find("BlockMat -> 70000"), std::string::npos) << run.out;
  }
  // In-process too, where the current folder is the test's own.
  ImportModel(doc, home.File("models/box.mesh.xml"));
  EXPECT_EQ(doc.NumFace, 1);
}

// A reference that really leaves the folder is still refused and named, from any folder.
TEST_F(ImportFilesTest, AReferenceLeavingTheFolderIsRefusedFromAnyFolder) {
  WriteText(home.File("x.mtl"), "newmtl 5\n");
  WriteText(home.File("models/up.obj"), "mtllib ../x.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  const auto run = Cli({"import", "../models/up.obj"}, home.File("elsewhere"));
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("refers to \"../x.mtl\", which lies outside the model's folder"),
            std::string::npos)
      << run.err;
}

struct TRefusalCase {
  const char* Name;
  const char* Text;
  const char* Why;     // in plain words
  const char* Detail;  // Assimp's own, on a line of its own
};

const TRefusalCase kRefusals[] = {
    // Points only: Assimp's check finds a mesh without faces.
    {"points.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n", "the file holds no meshes", "no faces"},
    {"empty.obj", "", "the file is empty or cut short", "too small"},
    // A node whose braces do not close: the parser prints a line of its own on the way.
    {"broken.ogex",
     "Metric {float {1.0}}\nGeometryNode $node1 { Name {string {\"x\"}} ObjectRef {ref "
     "{$geometry1}}}\n}}}\n",
     "the file is damaged or not what its name says", "Validation failed"},
};

class PlainRefusals : public ImportFilesTest, public ::testing::WithParamInterface<TRefusalCase> {};

TEST_P(PlainRefusals, SayWhyWithTheLibrarysWordsOnlyAsADetail) {
  const TRefusalCase& c = GetParam();
  WriteText(home.File(std::string("models/") + c.Name), c.Text);
  const auto run = Cli({"import", home.File(std::string("models/") + c.Name)});
  EXPECT_EQ(run.status, 2);
  const std::string first = run.err.substr(0, run.err.find('\n'));
  EXPECT_EQ(first,
            "Cannot import \"" + home.File(std::string("models/") + c.Name) + "\": " + c.Why);
  const size_t detail = run.err.find("\n  (the model library said: ");
  ASSERT_NE(detail, std::string::npos) << run.err;
  EXPECT_NE(run.err.find(c.Detail, detail), std::string::npos) << run.err;
  // Nothing but the message: no line the reader printed on its own.
  EXPECT_EQ(run.err.find("DDLNode"), std::string::npos) << run.err;
  EXPECT_EQ(run.out, "");
}

INSTANTIATE_TEST_SUITE_P(Table, PlainRefusals, ::testing::ValuesIn(kRefusals),
                         [](const auto& param) {
                           std::string name = param.param.Name;
                           return name.substr(0, name.find('.'));
                         });

// A model with one textured material, its picture beside it.
class TextureFolderTest : public ImportFilesTest {
protected:
  std::string model;
  void SetUp() override {
    ImportFilesTest::SetUp();
    TMATGraphic picture;
    picture.SetPixelFormat(24);
    picture.SetSize(2, 2);
    picture.SaveMatFile(home.File("models/brick.mat"));
    WriteText(home.File("models/m.mtl"), "newmtl brick\nmap_Kd brick.mat\n");
    model = home.File("models/m.obj");
    WriteText(model, "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nusemtl brick\nf 1 2 3\n");
  }
};

TEST_F(TextureFolderTest, AMissingFolderIsMadeWithItsParents) {
  TImportOptions options;
  options.MaterialFolder = home.File("mats/new/");
  const TImportReport report = ImportModel(doc, model, options);
  EXPECT_TRUE(fs::is_regular_file(home.File("mats/new/00070000.mat"))) << report.Text();
  EXPECT_TRUE(fs::is_regular_file(home.File("mats/new/00070000.bmp")));
}

// Where a plain file stands in the way, nothing is imported: the records stay as they were.
TEST_F(TextureFolderTest, AFolderThatCannotBeMadeRefusesTheImportFirst) {
  ImportModel(doc, model);
  const testsupport::Bytes face = ReadBytes(home.File(kFaceFile));
  WriteText(home.File("models/mtl2"), "not a folder");
  TImportOptions options;
  options.MaterialFolder = home.File("models/mtl2/mats/");
  WriteText(model,
            "mtllib m.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nusemtl brick\n"
            "f 1 2 3\nf 2 4 3\n");
  try {
    ImportModel(doc, model, options);
    FAIL() << "imported";
  } catch (const EInterchange& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot make the texture folder \"" +
                                         home.File("models/mtl2/mats") + "\""),
              std::string::npos)
        << e.what();
  }
  EXPECT_EQ(ReadBytes(home.File(kFaceFile)), face);
  EXPECT_EQ(doc.NumFvrt, 3);
}

}  // namespace
