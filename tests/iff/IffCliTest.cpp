// tessavor-cli iff-tree and rip as a user runs them: output, exit status and the message of
// a reader error. Skipped when the program has not been built beside the tests.
#include <gtest/gtest.h>

#include <filesystem>

#include "iff/IffTestFiles.h"
#include "support/RunProgram.h"

using namespace ifftest;
using testsupport::TempDir;
using testsupport::TProgramResult;

namespace {

// Standard output and standard error together, as the user sees them.
TProgramResult RunCli(const std::vector<std::string>& args) {
  return testsupport::RunProgram("tessavor-cli", args, testsupport::TRunOptions().Merged());
}

class IffCliTest : public ::testing::Test {
protected:
  void SetUp() override {
    if (!testsupport::ProgramBuilt("tessavor-cli")) GTEST_SKIP() << "tessavor-cli not built";
  }
  std::string Make(const Bytes& data, const std::string& name) {
    const std::string path = m_files.File(name);
    testsupport::WriteBytes(path, data);
    return path;
  }
  TempDir m_home;
  TempDir m_files{false};
};

}  // namespace

TEST_F(IffCliTest, IffTreePrintsOneLinePerItem) {
  const std::string path = Make(
      Form("MESH", Cat({Form("GEOM", Chunk("VERT", Bytes(12, 1))), Chunk("ODD ", Bytes(3, 2))})),
      "t.iff");
  const TProgramResult r = RunCli({"iff-tree", path});
  EXPECT_EQ(r.status, 0);
  // MESH: 4 + GEOM (12 + 8 + 12) + ODD (8 + 3 + pad) = 48.
  EXPECT_EQ(r.out, "FORM MESH 0 48\n  FORM GEOM 12 24\n    VERT 24 12\n  ODD  44 4\n");
}

TEST_F(IffCliTest, IffTreeReportsReaderErrorsWithStatus2) {
  const std::string path = Make(Cat({Form("ONE ", {}), Form("TWO ", {})}), "two.iff");
  const TProgramResult r = RunCli({"iff-tree", path});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "TIffReader: " + path + ", error at offset 0000000C!\n");
}

TEST_F(IffCliTest, RipWritesTheRecordFilesAndPrintsTheCounts) {
  Bytes vert, radi;
  for (int i = 0; i < 9; ++i) testsupport::PutF32(vert, static_cast<float>(i));
  testsupport::PutF32(radi, 42.5f);
  const std::string path =
      Make(Form("MESH", Cat({Chunk("VERT", vert), Chunk("VTNM", {}), Chunk("FVRT", {}),
                             Chunk("FACE", {}), Chunk("RADI", radi)})),
           "m.iff");
  const TProgramResult r = RunCli({"rip", path});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("VERT 3, VTNM 0, FVRT 0, FACE 0, RADI=42.5"), std::string::npos) << r.out;
  EXPECT_EQ(testsupport::ReadBytes(m_home.File("vert.kvt")), vert);
}

TEST_F(IffCliTest, RipOfAModelWithoutMeshFailsWithStatus2) {
  const std::string path = Make(Form("MESH", Chunk("INFO", Bytes(2, 0))), "none.iff");
  const TProgramResult r = RunCli({"rip", path});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "Rip mesh: \"" + path + "\" has no VERT chunk; no record file was changed\n");
  EXPECT_FALSE(std::filesystem::exists(m_home.File("vert.kvt")));
}
