// The decompiler: every file the reader accepts comes back from its script byte for byte
// (corpus files, the demo model, a made tree, random trees); TRE archives through their
// block folder; damaged files write no script.

#include "iffc/Decompiler.h"

#include <filesystem>
#include <random>

#include "CompilerFixture.h"
#include "iff/IffReader.h"
#include "support/IffBytes.h"
#include "support/RunProgram.h"

namespace {

using testsupport::Bytes;

class Decompile : public iffctest::CompilerTest {
protected:
  // Decompiles the bytes, compiles the script and returns the compiled bytes.
  Bytes RoundTrip(const Bytes& bytes) {
    Compile(DecompileIffBytes(bytes, "back.iff"));
    for (const std::string& m : Diagnostics()) ADD_FAILURE() << m;
    return Output("back.iff");
  }
};

TEST_F(Decompile, CorpusAndDemoFilesComeBackIdentical) {
  const std::filesystem::path src(TESSAVOR_SOURCE_DIR);
  std::vector<std::string> files{std::string(TESSAVOR_BIN_DIR) + "/demo/demo.iff"};
  for (const char* folder : {"iff_reader", "iff_scan", "mat"}) {
    for (const auto& e : std::filesystem::directory_iterator(src / "fuzz/corpus" / folder))
      files.push_back(e.path());
  }
  int accepted = 0;
  for (const std::string& f : files) {
    try {
      const TIffReader check(f);
    } catch (const Exception&) {
      continue;  // only what the reader accepts has to come back
    }
    ++accepted;
    const Bytes bytes = testsupport::ReadBytes(f);
    EXPECT_EQ(RoundTrip(bytes), bytes) << f;
  }
  EXPECT_GE(accepted, 8);
}

TEST_F(Decompile, MeshChunksBecomeRecordLines) {
  Bytes fvrt, face;
  testsupport::PutU32(fvrt, 3);
  testsupport::PutU32(fvrt, 0xFFFFFF);  // 16777215 cannot be a LONG: the record goes as bytes
  testsupport::PutF32(fvrt, 0.5f);
  testsupport::PutF32(fvrt, 0.25f);
  testsupport::PutU32(fvrt, 4);
  testsupport::PutU32(fvrt, 5);
  testsupport::PutF32(fvrt, 0.1f);
  testsupport::PutF32(fvrt, -0.0f);
  Bytes vert;
  testsupport::PutF32(vert, 1.5f);
  testsupport::PutF32(vert, std::numeric_limits<float>::quiet_NaN());
  testsupport::PutF32(vert, 3.0f);
  testsupport::PutF32(vert, 1e-7f);
  testsupport::PutF32(vert, 16777216.0f);
  testsupport::PutF32(vert, -2.0f);
  const Bytes file = iffbytes::Form(
      "TEST",
      iffbytes::Cat({iffbytes::Chunk("FVRT", fvrt), iffbytes::Chunk("VERT", vert),
                     iffbytes::Chunk("NAME", iffbytes::Text(std::string("hull plate\0", 11)))}));
  const std::string script = DecompileIffBytes(file, "back.iff");
  EXPECT_NE(script.find("FVRT_RECORD 4 5 0.1 -0 // record 1\n"), std::string::npos) << script;
  EXPECT_NE(script.find("BYTE [16] 3 0 0 0 255 255 255 0 0 0 0 63 0 0 128 62 // record 0\n"),
            std::string::npos);
  EXPECT_NE(script.find("BYTE [12] 0 0 192 63 0 0 192 127 0 0 64 64 // record 0\n"),
            std::string::npos);
  EXPECT_NE(script.find("FLOAT [3] 1e-07 16777216 -2 // record 1\n"), std::string::npos);
  EXPECT_NE(script.find("CSTRING \"hull plate\"\n"), std::string::npos);
  EXPECT_EQ(RoundTrip(file), file);
}

TEST_F(Decompile, OddStructuresFallBackToBytesThatCompileTheSame) {
  using iffbytes::Cat;
  using iffbytes::Chunk;
  Bytes oddForm =
      iffbytes::Form("ODD ", Chunk("A\x01\"C", Bytes{1, 2, 3}));  // unspellable id, pad byte
  Bytes badType = iffbytes::Form(std::string("a,b\x05", 4), Chunk("DATA", Bytes{9}));
  Bytes gap = iffbytes::Form(
      "GAPS", Cat({Chunk("DATA", Bytes{1, 2}), Bytes{7, 7, 7, 7}}));  // bytes behind a child
  for (const Bytes& b : {oddForm, badType, gap}) EXPECT_EQ(RoundTrip(b), b);
}

// Random trees: nested FORMs and chunks with odd sizes, awkward ids and types, texts,
// floats, NaNs and bytes, some with garbage behind them.
class RandomTree {
public:
  explicit RandomTree(uint32_t seed) : m_rng(seed) {}

  Bytes Item(int depth) {
    if (depth < 5 && Pick(3) == 0) {
      Bytes children;
      const int n = static_cast<int>(Pick(4));
      for (int i = 0; i < n; ++i) {
        const Bytes c = Item(depth + 1);
        children.insert(children.end(), c.begin(), c.end());
      }
      if (Pick(8) == 0) children.push_back(static_cast<uint8_t>(Pick(256)));  // odd FORM
      return iffbytes::Form(Id(), children);
    }
    static const char* kIds[] = {"VERT", "VTNM", "FVRT", "FACE", "RADI", "NAME", "DATA"};
    std::string id = Pick(3) == 0 ? Id() : kIds[Pick(7)];
    return iffbytes::Chunk(id, Data());
  }

private:
  uint32_t Pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(m_rng); }

  std::string Id() {
    static const std::string kChars = "ABCZaz09 ,()\"$/\\\x01\x7f\xe9";
    std::string id;
    for (int i = 0; i < 4; ++i)
      id += Pick(6) == 0 ? static_cast<char>(Pick(4) == 0 ? 0 : Pick(256)) : kChars[Pick(6)];
    return id;
  }

  Bytes Data() {
    Bytes d;
    const int pieces = static_cast<int>(Pick(6));
    for (int p = 0; p < pieces; ++p) {
      switch (Pick(4)) {
        case 0: {
          const std::string t = Pick(2) ? "wood/oak (dark), \"x\"" : "texture_07.mat";
          d.insert(d.end(), t.begin(), t.end());
          d.push_back(0);
          break;
        }
        case 1:
          for (int i = 0; i < 5; ++i) {
            const float f = Pick(5) == 0
                                ? std::numeric_limits<float>::quiet_NaN()
                                : std::uniform_real_distribution<float>(-1e4f, 1e4f)(m_rng);
            testsupport::PutF32(d, f);
          }
          break;
        default:
          for (uint32_t i = 0, n = Pick(40); i < n; ++i)
            d.push_back(static_cast<uint8_t>(Pick(256)));
      }
    }
    return d;
  }

  std::mt19937 m_rng;
};

TEST_F(Decompile, RandomTreesComeBackIdentical) {
  for (uint32_t seed = 1; seed <= 200; ++seed) {
    RandomTree tree(seed);
    Bytes file = tree.Item(0);
    if (seed % 7 == 0)
      file.insert(file.end(), {0, 0, 0, 0, 1, 2});  // the reader stops at a zero id
    ASSERT_EQ(RoundTrip(file), file) << "seed " << seed;
  }
}

TEST_F(Decompile, DamagedFileWritesNoScript) {
  const std::string path = dir.File("broken.iff");
  // Two top-level items: the reader names the second one's offset.
  testsupport::WriteBytes(path, iffbytes::Cat({iffbytes::Chunk("AAAA", Bytes{1, 2}),
                                               iffbytes::Chunk("BBBB", Bytes{})}));
  EXPECT_THROW(DecompileFile(path), EIffReader);
  EXPECT_FALSE(std::filesystem::exists(path + ".txt"));
}

TEST_F(Decompile, TreArchivesComeBackThroughTheirBlockFolder) {
  testsupport::WriteText(dir.File("a.bin"), std::string(3000, 'a') + "tail");
  testsupport::WriteText(dir.File("b.txt"), "plain block");
  Compile("$PATH " + dir.Path().string() +
          "\nTRE pack.tre\n{\nTREFILE sub\\a.bin\nTREFILE b.txt\nTREFILE never\n"
          "BLOCK sub\\a.bin 3004\n{\nFILE.Z a.bin\n}\nBLOCK b.txt\n{\nFILE b.txt\n}\n}\n");
  const Bytes original = Output("pack.tre");
  ASSERT_GT(original.size(), 16u + 3 * 272u);

  std::filesystem::create_directory(dir.File("re"));
  const TDecompileResult r = DecompileFile(dir.File("pack.tre"), dir.File("re/pack.tre.txt"));
  EXPECT_TRUE(r.IsTre);
  EXPECT_TRUE(r.Identical);
  EXPECT_EQ(testsupport::ReadText(dir.File("re/pack.tre.blocks/sub_a.bin")),
            std::string(3000, 'a') + "tail");
  all.clear();
  CompileScript(dir.File("re/pack.tre.txt"));
  EXPECT_EQ(testsupport::ReadBytes(dir.File("re/pack.tre")), original);

  // Packed by another packer (zlib at level 1 here): the same names and unpacked contents,
  // not the same bytes, and the result says so.
  Bytes other = original;
  const uint32_t offset =
      other[16 + 8] | other[16 + 9] << 8 | other[16 + 10] << 16 | other[16 + 11] << 24;
  other[offset + 1] = 0x01;
  other[offset] = 0x78;
  testsupport::WriteBytes(dir.File("other.tre"), other);
  const TDecompileResult o = DecompileFile(dir.File("other.tre"), dir.File("re/other.tre.txt"));
  EXPECT_FALSE(o.Identical);
  EXPECT_EQ(testsupport::ReadText(dir.File("re/other.tre.blocks/sub_a.bin")),
            std::string(3000, 'a') + "tail");
}

TEST_F(Decompile, MadeTreeComesBackIdentical) {
  if (!testsupport::ProgramBuilt("tessavor-cli")) GTEST_FAIL() << "build tessavor-cli first";
  const auto opts =
      testsupport::TRunOptions().In(dir.Path().string()).Set("TESSAVOR_HOME", dir.Path().string());
  ASSERT_EQ(testsupport::RunProgram("tessavor-cli",
                                    {"rip", std::string(TESSAVOR_BIN_DIR) + "/demo/demo.iff"}, opts)
                .status,
            0);
  const auto made =
      testsupport::RunProgram("tessavor-cli", {"make-tree", dir.File("tree.iff")}, opts);
  ASSERT_EQ(made.status, 0) << made.err;
  const Bytes tree = Output("tree.iff");
  EXPECT_EQ(RoundTrip(tree), tree);
}

TEST(FloatScriptText, ShortestTextOrNothing) {
  std::string t;
  EXPECT_TRUE(FloatScriptText(0.1f, t));
  EXPECT_EQ(t, "0.1");
  EXPECT_TRUE(FloatScriptText(1e-45f, t));  // the smallest subnormal still reads back
  EXPECT_FALSE(FloatScriptText(std::numeric_limits<float>::infinity(), t));
  EXPECT_FALSE(FloatScriptText(-std::numeric_limits<float>::quiet_NaN(), t));
}

}  // namespace
