// The script the tree builder writes: exact 32-bit values in the compiler's item syntax,
// names that reach the compiler unchanged, and the whole road (script -> compiler ->
// rip and IFF reader) giving back the tree's mesh and tree byte for byte.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "bsp/BspTestSupport.h"
#include "iff/IffReader.h"
#include "iffc/Compiler.h"
#include "mesh/Rip.h"
#include "plugins/bsp/BspScript.h"
#include "support/RunProgram.h"

using namespace bsp;
using namespace bsptest;
using testsupport::Bytes;
using testsupport::ReadBytes;
using testsupport::TempDir;

namespace {

float FromBits(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, 4);
  return f;
}

TEST(BspScriptElements, PlainFloatsAreWrittenAsFloatText) {
  EXPECT_EQ(FloatElement(1.5f).text, "1.5");
  EXPECT_STREQ(FloatElement(1.5f).item, "FLOAT");
  EXPECT_EQ(FloatElement(2.0f).text, "2.0");  // always with a decimal point
  EXPECT_EQ(FloatElement(-0.0f).text, "-0.0");
  EXPECT_EQ(FloatElement(0.1f).text, "0.1");  // shortest text that reads back exactly
  EXPECT_EQ(FloatElement(1.7320508f).text, "1.7320508");
}

TEST(BspScriptElements, OtherFloatsTravelAsTheirBitPattern) {
  EXPECT_STREQ(FloatElement(1e30f).item, "LONG");
  EXPECT_EQ(FloatElement(1e30f).text, "$7149F2CA");
  EXPECT_EQ(FloatElement(HUGE_VALF).text, "$7F800000");
  EXPECT_EQ(FloatElement(-HUGE_VALF).text, "$FF800000");
  EXPECT_EQ(FloatElement(FromBits(0x7FC00001u)).text, "$7FC00001");  // NaN payload kept
  EXPECT_EQ(FloatElement(FromBits(0x00000001u)).text, "$00000001");  // smallest denormal
}

TEST(BspScriptElements, TheValueNoLongCanCarryBecomesFourBytes) {
  // 0x00FFFFFF is the compiler's "not an integer" marker, as an int or as float bits.
  const TElement i = IntElement(0x00FFFFFF);
  EXPECT_STREQ(i.item, "BYTE");
  EXPECT_EQ(i.text, "255 255 255 0");
  EXPECT_EQ(i.count, 4);
  EXPECT_EQ(FloatElement(FromBits(0x00FFFFFFu)).text, "255 255 255 0");
  EXPECT_EQ(IntElement(-1).text, "-1");
  EXPECT_EQ(IntElement(0x00FFFFFE).text, "16777214");
}

TEST(BspScriptElements, FloatTextReadsBackToTheSameBits) {
  std::mt19937 rng(3);
  for (int i = 0; i < 20000; ++i) {
    const uint32_t bits = static_cast<uint32_t>(rng());
    const TElement e = FloatElement(FromBits(bits));
    if (std::string(e.item) != "FLOAT") continue;
    const float back = std::strtof(e.text.c_str(), nullptr);
    uint32_t got;
    std::memcpy(&got, &back, 4);
    EXPECT_EQ(got, bits) << e.text;
  }
}

TEST(BspScriptNames, SafeAndUnsafeNames) {
  EXPECT_TRUE(IsScriptSafeName("hull.iff"));
  EXPECT_TRUE(IsScriptSafeName("my hull.iff"));
  EXPECT_TRUE(IsScriptSafeName("$weird-name_1.iff"));
  for (const char* bad :
       {"", " a", "a ", "a  b", "a,b", "a(b", "a)b", "a\"b", "a\\b", "a//b", "a\tb", "a\x7f"}) {
    EXPECT_FALSE(IsScriptSafeName(bad)) << bad;
  }
}

TEST(BspScriptText, CubeScriptHasTheDocumentedLayout) {
  const TTree t = BuildTree(Cube(-1, 1));
  const std::string s = ComposeScript(t, "cube.iff");
  // Order of the blocks: the IFF statement, the mesh chunks, then the tree's FORM.
  std::vector<size_t> at;
  for (const char* mark :
       {"IFF \"cube.iff\"\n{\n", "FORM MESH\n{\n", "CHUNK VERT\n", "CHUNK VTNM\n", "CHUNK FVRT\n",
        "CHUNK FACE\n", "CHUNK RADI\n", "FORM TREE\n{\n", "CHUNK INFO\n", "CHUNK NODE\n",
        "CHUNK LEAF\n", "CHUNK FIDX\n"}) {
    at.push_back(s.find(mark));
    ASSERT_NE(at.back(), std::string::npos) << mark;
  }
  EXPECT_TRUE(std::is_sorted(at.begin(), at.end()));
  // One record per line: the first vertex and the first face.
  EXPECT_NE(s.find("CHUNK VERT\n{\nFLOAT [3] -1.0 -1.0 -1.0\n"), std::string::npos);
  EXPECT_NE(s.find("CHUNK FACE\n{\nLONG [1] 0\nFLOAT [1] 0.0\nLONG [5] 7 0 4 0 2130745087\n"),
            std::string::npos);
  EXPECT_NE(s.find("CHUNK LEAF\n{\nLONG [2] 0 6\n}\n"), std::string::npos);
  // Braces balance and the script ends with the IFF's closing brace.
  EXPECT_EQ(std::count(s.begin(), s.end(), '{'), std::count(s.begin(), s.end(), '}'));
  EXPECT_EQ(s.substr(s.size() - 6), "}\n}\n}\n");
}

// Compiles a tree's script and reads the result back with the program's own readers.
class BspCompiledTree : public ::testing::Test {
protected:
  void Compile(const TTree& t) {
    const std::string script = home.File("tree.iff.txt");
    testsupport::WriteText(script, ComposeScript(t, "tree.iff"));
    const TMessageSink previous = CompilerMessageHook;
    CompilerMessageHook = [&](const std::string& m) { messages.push_back(m); };
    CompileFile(script);
    CompilerMessageHook = previous;
    for (const std::string& m : messages) EXPECT_EQ(m.find("error"), std::string::npos) << m;
  }

  template <typename T>
  Bytes Raw(const std::vector<T>& v) {
    Bytes b(v.size() * sizeof(T));
    if (!b.empty()) std::memcpy(b.data(), v.data(), b.size());
    return b;
  }

  Bytes Chunk(TIffReader& r, const char* id) {
    r.OpenChunk(id);
    Bytes b(static_cast<size_t>(r.GetSize()));
    EXPECT_EQ(r.Read(b.data(), int32_t(b.size())), int32_t(b.size()));
    r.CloseChunk();
    return b;
  }

  // The rip gives the tree's mesh; the TREE form gives the tree; every face it names exists.
  void ExpectRoundTrip(const TTree& t) {
    Compile(t);
    const std::string iff = home.File("tree.iff");
    RipMesh(iff);  // into this test's home folder
    EXPECT_EQ(ReadBytes(home.File("vert.kvt")), Raw(t.Mesh.Vert));
    EXPECT_EQ(ReadBytes(home.File("vtnm.kvt")), Raw(t.Mesh.Vtnm));
    EXPECT_EQ(ReadBytes(home.File("fvrt.kvt")), Raw(t.Mesh.Fvrt));
    EXPECT_EQ(ReadBytes(home.File("face.kvt")), Raw(t.Mesh.Face));
    Bytes radius;
    testsupport::PutF32(radius, t.Mesh.Radius);
    EXPECT_EQ(ReadBytes(home.File("radi.kvt")), radius);

    TIffReader r(iff);
    r.OpenForm("TREE");
    const Bytes info = Chunk(r, "INFO");
    Bytes want;
    for (int32_t v : {1, t.Root, int32_t(t.Nodes.size()), int32_t(t.Leaves.size()),
                      int32_t(t.FaceIndex.size())}) {
      testsupport::PutU32(want, uint32_t(v));
    }
    EXPECT_EQ(info, want);
    EXPECT_EQ(Chunk(r, "NODE"), Raw(t.Nodes));
    EXPECT_EQ(Chunk(r, "LEAF"), Raw(t.Leaves));
    const Bytes fidx = Chunk(r, "FIDX");
    EXPECT_EQ(fidx, Raw(t.FaceIndex));
    const size_t faces = ReadBytes(home.File("face.kvt")).size() / 28;
    for (size_t i = 0; i + 4 <= fidx.size(); i += 4) {
      int32_t f;
      std::memcpy(&f, fidx.data() + i, 4);
      EXPECT_GE(f, 0);
      EXPECT_LT(size_t(f), faces);
    }
  }

  TempDir home;
  std::vector<std::string> messages;
};

TEST_F(BspCompiledTree, CubeRoundTrip) { ExpectRoundTrip(BuildTree(Cube(-1, 1))); }

TEST_F(BspCompiledTree, RandomMeshWithCutsRoundTrip) {
  const TTree t = BuildTree(RandomTriangles(200, 77));
  ASSERT_GT(t.CutCount, 0);
  ExpectRoundTrip(t);
}

TEST_F(BspCompiledTree, AwkwardValuesRoundTrip) {
  // Values that plain decimal text cannot carry, and the compiler's "not an integer".
  TMesh m = Cube(-1, 1);
  m.Vtnm[0] = {1e30f, -1e-30f, FromBits(0x00FFFFFFu)};
  m.Vtnm[1] = {std::nanf(""), HUGE_VALF, -0.0f};
  m.Face[0].Mat = 0x00FFFFFF;
  m.Face[1].Reserved1 = INT32_MIN;
  m.Face[2].Reserved2 = 0x00FFFFFFu;
  m.Face[3].D = 123456789.0f;
  m.Fvrt[5].Tx = 3.4e38f;
  m.Radius = 1e-40f;
  ExpectRoundTrip(BuildTree(m));
}

// Runs `tessavor-cli make-tree OUT` on this test's home folder; returns the exit status
// (-1 when it did not exit normally) with standard output and error in `output`.
int RunMakeTree(const TempDir& home, const std::string& out, std::string& output) {
  const testsupport::TProgramResult r = testsupport::RunProgram(
      "tessavor-cli", {"make-tree", out},
      testsupport::TRunOptions().Set("TESSAVOR_HOME", home.Path().string()).Merged());
  output += r.out;
  return r.status;
}

TEST_F(BspCompiledTree, TheCommandLineBuildsAndCompiles) {
  WriteRecordFiles(RandomTriangles(40, 9), home);
  const std::string out = home.File("cli model.iff");
  std::string output;
  EXPECT_EQ(RunMakeTree(home, out, output), 0) << output;
  const size_t banner = output.find("TREE Builder");
  const size_t created = output.find("iff compiler script created - will try to compile it...");
  const size_t done = output.find("iffc returned without exceptions");
  ASSERT_NE(banner, std::string::npos) << output;
  ASSERT_NE(created, std::string::npos) << output;
  ASSERT_NE(done, std::string::npos) << output;
  EXPECT_LT(banner, created);
  EXPECT_LT(created, done);
  EXPECT_TRUE(std::filesystem::exists(out + ".txt"));
  TIffReader r(out);
  EXPECT_TRUE(r.FormExists("TREE"));
  EXPECT_TRUE(r.ChunkExists("VERT"));
}

TEST_F(BspCompiledTree, TheCommandLineReportsABuilderFailure) {
  // No record files in the home folder: code 1, nothing compiled, exit status 2.
  const std::string out = home.File("none.iff");
  std::string output;
  EXPECT_EQ(RunMakeTree(home, out, output), 2) << output;
  EXPECT_NE(output.find("generate_bsp_tree failed with error code: 1"), std::string::npos)
      << output;
  EXPECT_NE(output.find("vert.kvt"), std::string::npos) << "the reason names the file";
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_FALSE(std::filesystem::exists(out + ".txt"));
}

}  // namespace
