// generate_bsp_tree as the editor and tessavor-cli call it: the real libbsp.so from the
// program folder, loaded with dlopen, reading the record files of a scratch home folder.

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "bsp/BspTestSupport.h"
#include "plugins/bsp/GenerateBspTree.h"

using namespace bsp;
using namespace bsptest;
using testsupport::ReadText;
using testsupport::TempDir;

namespace {

class GenerateBspTree : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    s_lib = dlopen(TESSAVOR_BIN_DIR "/libbsp.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(s_lib, nullptr) << dlerror();
    s_generate = reinterpret_cast<TGenerateBspTreeFn>(dlsym(s_lib, "generate_bsp_tree"));
    s_text = reinterpret_cast<TBspErrorTextFn>(dlsym(s_lib, "generate_bsp_tree_error_text"));
    s_last = reinterpret_cast<TBspLastMessageFn>(dlsym(s_lib, "generate_bsp_tree_last_message"));
  }
  static void TearDownTestSuite() {
    if (s_lib) dlclose(s_lib);
    s_lib = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(s_generate, nullptr);
    ASSERT_NE(s_text, nullptr);
    ASSERT_NE(s_last, nullptr);
  }

  int32_t Run(const std::string& script) { return s_generate(script.c_str()); }
  std::string Script() const { return home.File("hull.iff.txt"); }
  bool Exists(const std::string& p) const { return std::filesystem::exists(p); }
  // Nothing but the record files and what the test made itself may be in the folder.
  size_t FileCount() const {
    return size_t(std::distance(std::filesystem::directory_iterator(home.Path()),
                                std::filesystem::directory_iterator()));
  }

  TempDir home;
  static void* s_lib;
  static TGenerateBspTreeFn s_generate;
  static TBspErrorTextFn s_text;
  static TBspLastMessageFn s_last;
};

void* GenerateBspTree::s_lib = nullptr;
TGenerateBspTreeFn GenerateBspTree::s_generate = nullptr;
TBspErrorTextFn GenerateBspTree::s_text = nullptr;
TBspLastMessageFn GenerateBspTree::s_last = nullptr;

TEST_F(GenerateBspTree, OnlyTheEntryPointsAreExported) {
  // The core is linked in privately: its symbols must not clash with the host's own.
  EXPECT_EQ(dlsym(s_lib, "_ZN3bsp9BuildTreeERKNS_5TMeshERKNS_13TBuildOptionsE"), nullptr);
  EXPECT_EQ(dlsym(s_lib, "_Z12HomeFolderv"), nullptr);
}

TEST_F(GenerateBspTree, WritesAScriptNamingTheOutputFile) {
  WriteRecordFiles(Cube(-1, 1), home);
  ASSERT_EQ(Run(Script()), 0) << s_last();
  EXPECT_STREQ(s_last(), "");
  const std::string text = ReadText(Script());
  EXPECT_NE(text.find("\nIFF \"hull.iff\"\n{\nFORM MESH\n{\nCHUNK VERT\n{\n"), std::string::npos);
  EXPECT_NE(text.find("FORM TREE\n{\nCHUNK INFO\n{\nLONG [5] 1 -2 0 1 6\n}\n"), std::string::npos)
      << "a cube is one leaf (root -2) with six faces";
  // The radius file's value travels unchanged: sqrt(3) as a float.
  EXPECT_NE(text.find("CHUNK RADI\n{\nFLOAT [1] 1.7320508\n}\n"), std::string::npos);
  EXPECT_EQ(FileCount(), 6u) << "no temporary file may be left behind";
}

TEST_F(GenerateBspTree, ScriptNameWithoutTxtGetsIff) {
  WriteRecordFiles(Cube(-1, 1), home);
  ASSERT_EQ(Run(home.File("model")), 0);
  EXPECT_NE(ReadText(home.File("model")).find("IFF \"model.iff\""), std::string::npos);
}

TEST_F(GenerateBspTree, NameWithBlankIsQuoted) {
  WriteRecordFiles(Cube(-1, 1), home);
  ASSERT_EQ(Run(home.File("my hull.iff.txt")), 0);
  EXPECT_NE(ReadText(home.File("my hull.iff.txt")).find("IFF \"my hull.iff\""), std::string::npos);
}

TEST_F(GenerateBspTree, MissingRadiusFileGivesTheBoundingRadius) {
  WriteRecordFiles(Cube(-2, 2), home, /*radius=*/false);
  ASSERT_EQ(Run(Script()), 0);
  // sqrt(12) = 3.4641016 as the shortest float text.
  EXPECT_NE(ReadText(Script()).find("CHUNK RADI\n{\nFLOAT [1] 3.4641016\n}\n"), std::string::npos);
}

struct TFailure {
  const char* name;
  int32_t code;
  void (*prepare)(const TempDir& home);
};

class GenerateBspTreeFails : public GenerateBspTree,
                             public ::testing::WithParamInterface<TFailure> {};

TEST_P(GenerateBspTreeFails, ReturnsItsCodeAndWritesNothing) {
  GetParam().prepare(home);
  // An older script of the same name must survive a failed build untouched.
  testsupport::WriteText(Script(), "old script");
  const size_t before = FileCount();
  EXPECT_EQ(Run(Script()), GetParam().code);
  EXPECT_STRNE(s_last(), "");
  EXPECT_EQ(ReadText(Script()), "old script");
  EXPECT_EQ(FileCount(), before);
  EXPECT_STRNE(s_text(GetParam().code), s_text(0));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, GenerateBspTreeFails,
    ::testing::Values(TFailure{"NoRecordFiles", kBspRecordFiles, [](const TempDir&) {}},
                      TFailure{"NoFaceFile", kBspRecordFiles,
                               [](const TempDir& h) {
                                 WriteRecordFiles(Cube(-1, 1), h);
                                 std::filesystem::remove(h.File("face.kvt"));
                               }},
                      TFailure{"RecordFileIsAFolder", kBspRecordFiles,
                               [](const TempDir& h) {
                                 WriteRecordFiles(Cube(-1, 1), h);
                                 std::filesystem::remove(h.File("vert.kvt"));
                                 std::filesystem::create_directory(h.File("vert.kvt"));
                               }},
                      TFailure{"NoFaces", kBspMeshEmpty,
                               [](const TempDir& h) {
                                 TMesh m = Cube(-1, 1);
                                 m.Face.clear();
                                 WriteRecordFiles(m, h);
                               }},
                      TFailure{"OnlyAPartialFace", kBspRecordFiles,
                               [](const TempDir& h) {
                                 WriteRecordFiles(Cube(-1, 1), h);
                                 testsupport::WriteBytes(h.File("face.kvt"),
                                                         testsupport::Bytes(27, 0));
                               }},
                      TFailure{"CornersOutsideFvrt", kBspInconsistent,
                               [](const TempDir& h) {
                                 TMesh m = Cube(-1, 1);
                                 m.Face[5].FvrtCount = 5;  // one corner past the end of FVRT
                                 WriteRecordFiles(m, h);
                               }},
                      TFailure{"NegativeFirstCorner", kBspInconsistent,
                               [](const TempDir& h) {
                                 TMesh m = Cube(-1, 1);
                                 m.Face[0].FirstFvrt = -1;
                                 WriteRecordFiles(m, h);
                               }},
                      TFailure{"HugeCornerCount", kBspInconsistent,
                               [](const TempDir& h) {
                                 TMesh m = Cube(-1, 1);
                                 m.Face[2].FirstFvrt = 0x7FFFFFF0;
                                 m.Face[2].FvrtCount = 0x7FFFFFF0;
                                 WriteRecordFiles(m, h);
                               }},
                      TFailure{"VertexMissing", kBspInconsistent,
                               [](const TempDir& h) {
                                 TMesh m = Cube(-1, 1);
                                 m.Fvrt[3].Vert = 8;
                                 WriteRecordFiles(m, h);
                               }},
                      TFailure{"TooManyFaces", kBspTooLarge,
                               [](const TempDir& h) {
                                 WriteRecordFiles(Cube(-1, 1), h);
                                 testsupport::WriteBytes(
                                     h.File("face.kvt"),
                                     testsupport::Bytes(size_t(MeshCapacity + 1) * 28, 0));
                               }}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(GenerateBspTree, UnwritableScriptGivesCodeThree) {
  WriteRecordFiles(Cube(-1, 1), home);
  EXPECT_EQ(Run(home.File("no-such-folder/hull.iff.txt")), kBspScriptWrite);
  EXPECT_FALSE(Exists(home.File("no-such-folder")));
  EXPECT_EQ(Run(""), kBspScriptWrite);
  EXPECT_EQ(s_generate(nullptr), kBspScriptWrite);
  EXPECT_EQ(Run(home.File("") + "/"), kBspScriptWrite);
}

TEST_F(GenerateBspTree, NameTheCompilerWouldMangleIsRefused) {
  WriteRecordFiles(Cube(-1, 1), home);
  for (const char* bad : {"a,b.iff.txt", "a(1).iff.txt", "q\"uote.iff.txt", "back\\slash.iff.txt",
                          "two  blanks.iff.txt", " lead.iff.txt", "tab\t.iff.txt"}) {
    const std::string path = home.File(bad);
    EXPECT_EQ(Run(path), kBspBadName) << bad;
    EXPECT_FALSE(Exists(path)) << bad;
  }
}

TEST_F(GenerateBspTree, ErrorTextsAreDistinct) {
  std::set<std::string> texts;
  for (int32_t c = 0; c <= kBspInternal; ++c) texts.insert(s_text(c));
  EXPECT_EQ(texts.size(), size_t(kBspInternal) + 1);
  EXPECT_STREQ(s_text(99), "unknown error code");
}

}  // namespace
