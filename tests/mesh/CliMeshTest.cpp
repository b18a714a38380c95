// tessavor-cli's mesh commands as a user runs them, on record files made by hand in a
// TESSAVOR_HOME folder. Skipped when the program has not been built.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "mesh/MeshTestSupport.h"
#include "support/RunProgram.h"
#include "util/HomeLock.h"

using namespace meshtest;
using testsupport::TProgramResult;

namespace {

class CliMesh : public ::testing::Test {
protected:
  THomeFiles home;

  void SetUp() override {
    if (!testsupport::ProgramBuilt("tessavor-cli")) GTEST_SKIP() << "tessavor-cli not built";
  }
  // Standard output and standard error together, as the user sees them.
  static TProgramResult Run(const std::vector<std::string>& args) {
    return testsupport::RunProgram("tessavor-cli", args, testsupport::TRunOptions().Merged());
  }
  void WriteTriangle() const {
    home.WriteVert(VertBytes({{0, 0, 0}, {2, 0, 0}, {0, 1, 0.5f}}));
    home.WriteVtnm(VertBytes({{0, 0, 1}}));
    home.WriteFvrt(FvrtBytes({{0, 0, 0, 0}, {1, 0, 1, 0}, {2, 0, 0.0625f, 1}}));
    home.WriteFace(FaceBytes({Face(0, 3, 70000, -4.2f)}));
    home.WriteRadi(RadiBytes(11.26f));
  }
};

TEST_F(CliMesh, InfoOnAnEmptyHomeSaysSoAndNamesTheFolder) {
  const TProgramResult r = Run({"info"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("no record files"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find(home.Dir().Path().string()), std::string::npos) << r.out;
}

TEST_F(CliMesh, InfoShowsCountsAndLabels) {
  WriteTriangle();
  const TProgramResult r = Run({"info"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("VERT 3, VTNM 1, FVRT 3, FACE 1"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("x:2.0, y:1.0, z:0.5;"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("RADI=11.3"), std::string::npos) << r.out;
}

TEST_F(CliMesh, ListsWithAndWithoutData) {
  WriteTriangle();
  EXPECT_EQ(Run({"lists"}).out,
            "[ListBox1]\n0.000, 0.000, 0.000\n2.000, 0.000, 0.000\n0.000, 1.000, 0.500\n"
            "[ListBox2]\n0.000, 0.000, 1.000\n"
            "[ListBox3]\n0, tx:0, ty:0\n1, tx:1, ty:0\n2, tx:0.062, ty:1\n"
            "[ListBox4]\n[0 1 2], mat: 70000, d=-4.200\n"
            "[ListBox5]\n70000\n");
  EXPECT_EQ(Run({"lists", "--hide-data"}).out,
            "[ListBox1]\n[ListBox2]\n[ListBox3]\n, ty:0\n, ty:0\n, ty:1\n[ListBox4]\n[ListBox5]\n");
}

TEST_F(CliMesh, MissingRecordFileIsNamed) {
  WriteTriangle();
  std::filesystem::remove(home.File(kFaceFile));
  const TProgramResult r = Run({"lists"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("face.kvt"), std::string::npos) << r.out;
}

TEST_F(CliMesh, BadTypedNumberChangesNothing) {
  WriteTriangle();
  const Bytes before = testsupport::ReadBytes(home.File(kVertFile));
  TProgramResult r = Run({"scale", "5O"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("'5O'"), std::string::npos) << r.out;
  r = Run({"set-mat", "7x"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("'7x'"), std::string::npos) << r.out;
  EXPECT_EQ(testsupport::ReadBytes(home.File(kVertFile)), before);
  EXPECT_EQ(Run({"scale", "50"}).status, 0);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kVertFile)),
            VertBytes({{0, 0, 0}, {1, 0, 0}, {0, 0.5f, 0.25f}}));
}

TEST_F(CliMesh, ScaleScalesTheRadiusAndFlipsLeaveIt) {
  WriteTriangle();
  home.WriteRadi(RadiBytes(7.5f));
  ASSERT_EQ(Run({"scale", "200"}).status, 0);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kRadiFile)), RadiBytes(15.0f));
  ASSERT_EQ(Run({"flip-y"}).status, 0);
  ASSERT_EQ(Run({"flip-z"}).status, 0);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kRadiFile)), RadiBytes(15.0f));
  EXPECT_NE(Run({"info"}).out.find("RADI=15"), std::string::npos);
}

// Every command's text starts in one column; a usage too long for it stands on its own line
// with its text below, at that column.
TEST_F(CliMesh, HelpTextsStartInOneColumn) {
  const TProgramResult r = Run({"--help"});
  ASSERT_EQ(r.status, 0);
  std::istringstream in(r.out.substr(r.out.find("Commands:\n") + 10));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line) && !line.empty();) lines.push_back(line);
  ASSERT_GT(lines.size(), 20u) << r.out;
  size_t column = 0;
  bool longUsageSeen = false;
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    ASSERT_EQ(line.rfind("  ", 0), 0u) << line;
    const size_t gap = line.find("  ", 2);
    size_t text = 0;
    if (gap != std::string::npos) {
      text = line.find_first_not_of(' ', gap);
    } else {
      longUsageSeen = true;
      ASSERT_LT(i + 1, lines.size()) << "a usage alone on the last line: " << line;
      text = lines[++i].find_first_not_of(' ');
    }
    if (column == 0) column = text;
    EXPECT_EQ(text, column) << lines[i];
  }
  EXPECT_TRUE(longUsageSeen) << "no usage is longer than the column: the test checks no wrap";
}

TEST_F(CliMesh, ImportCalcAndExport) {
  testsupport::WriteText(
      home.File("test.asc"),
      "Vertex list:\nVertex 0: X:0 Y:0 Z:5\nVertex 1: X:1 Y:0 Z:5\nVertex 2: X:0 Y:1 Z:5\n"
      "Face list:\nFace 0: A:0 B:1 C:2 AB:1 BC:1 CA:1\nSmoothing: 1\nend\n");
  ASSERT_EQ(Run({"import-asc", "--mat", "512"}).status, 0);
  ASSERT_EQ(Run({"calc-vtnm"}).status, 0);
  const TProgramResult r = Run({"export-obj", home.File("out.obj")});
  ASSERT_EQ(r.status, 0) << r.out;
  const std::string obj = testsupport::ReadText(home.File("out.obj"));
  // The face normal is -(0, 0, -1): its zero components are negative zeros, which "%.7f"
  // writes with their sign.
  EXPECT_NE(obj.find("# ... 1 normals ...\r\nvn -0.0000000 -0.0000000 1.0000000\r\n"),
            std::string::npos)
      << obj;
  EXPECT_NE(obj.find("f 1/1/1 2/2/1 3/3/1 \r\n"), std::string::npos) << obj;
  TMeshDocument doc;
  doc.LoadRecordFiles();
  EXPECT_EQ(doc.FACE[0].Mat, 512);
  EXPECT_EQ(doc.FACE[0].D, -5.0f);
}

// Two processes on one home: while this one holds the lock, a command waits, then names
// the holder and leaves the files alone; once it is free, the command runs.
TEST_F(CliMesh, ASecondProcessOnTheHomeIsToldWhoHoldsIt) {
  WriteTriangle();
  {
    const THomeLock held;
    const TProgramResult r = Run({"scale", "200"});
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("the home folder is in use by another Tessavor process (pid " +
                         std::to_string(::getpid()) + ")"),
              std::string::npos)
        << r.out;
    // A command on named files only does not wait for the home.
    const TProgramResult other = Run({"tre-list", home.File("none.tre")});
    EXPECT_EQ(other.out.find("in use"), std::string::npos) << other.out;
  }
  EXPECT_EQ(testsupport::ReadBytes(home.File(kVertFile)),
            VertBytes({{0, 0, 0}, {2, 0, 0}, {0, 1, 0.5f}}));
  EXPECT_EQ(Run({"scale", "200"}).status, 0);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kVertFile)),
            VertBytes({{0, 0, 0}, {4, 0, 0}, {0, 2, 1}}));
}

}  // namespace

namespace {

// A home the user cannot write (here another user's, the user being "nobody"; the same
// answer as a read-only file system): the commands that only read work, under a shared
// lock on the lock file or none when there is none; a command that writes is refused.
TEST_F(CliMesh, AHomeTheUserCannotWriteStillReads) {
  if (::geteuid() != 0 || !std::filesystem::exists("/usr/bin/setpriv"))
    GTEST_SKIP() << "needs root and setpriv to run as another user";
  WriteTriangle();
  ASSERT_EQ(Run({"info"}).status, 0);  // makes the lock file, owned by root
  const auto asNobody = [](const std::vector<std::string>& args) {
    std::vector<std::string> all{"--reuid=65534", "--regid=65534", "--clear-groups",
                                 testsupport::ProgramPath("tessavor-cli")};
    all.insert(all.end(), args.begin(), args.end());
    return testsupport::RunPath("/usr/bin/setpriv", all, testsupport::TRunOptions().Merged());
  };
  for (bool lockFile : {true, false}) {
    if (!lockFile) std::filesystem::remove(home.File(kHomeLockFile));
    const TProgramResult info = asNobody({"info"});
    EXPECT_EQ(info.status, 0) << info.out;
    EXPECT_NE(info.out.find("VERT 3, VTNM 1, FVRT 3, FACE 1"), std::string::npos) << info.out;
    EXPECT_EQ(asNobody({"lists"}).status, 0);
    EXPECT_NE(asNobody({"check"}).status, 2);
    const TProgramResult scale = asNobody({"scale", "200"});
    EXPECT_EQ(scale.status, 2) << scale.out;
    EXPECT_NE(scale.out.find("Permission denied"), std::string::npos) << scale.out;
  }
  EXPECT_EQ(testsupport::ReadBytes(home.File(kVertFile)),
            VertBytes({{0, 0, 0}, {2, 0, 0}, {0, 1, 0.5f}}));
}

struct TNamedCommand {
  const char* Name;
  const char* Program;
  std::vector<std::string> Before, After;  // the arguments around the file name
};

class EscapedNames : public ::testing::TestWithParam<TNamedCommand> {
protected:
  void SetUp() override {  // a mesh to export
    home.WriteVert(VertBytes({{0, 0, 0}, {2, 0, 0}, {0, 1, 0}}));
    home.WriteVtnm(VertBytes({{0, 0, 1}}));
    home.WriteFvrt(FvrtBytes({{0, 0, 0, 0}, {1, 0, 1, 0}, {2, 0, 0, 1}}));
    home.WriteFace(FaceBytes({Face(0, 3, 70000, 0)}));
  }
  THomeFiles home;
};

// A file name with an escape sequence, a line feed and 10,000 more characters is shown
// escaped and shortened by every command that names it: no control character reaches the
// terminal and no line runs on.
TEST_P(EscapedNames, AFileNameIsShownEscapedAndShortened) {
  if (!testsupport::ProgramBuilt(GetParam().Program)) GTEST_SKIP() << "not built";
  const std::string name =
      home.Dir().File("missing/no\x1b[2J\nfake line " + std::string(10000, 'n') + ".obj");
  std::vector<std::string> args = GetParam().Before;
  args.push_back(name);
  args.insert(args.end(), GetParam().After.begin(), GetParam().After.end());
  const TProgramResult r =
      testsupport::RunProgram(GetParam().Program, args, testsupport::TRunOptions().Merged());
  EXPECT_NE(r.status, 0) << r.out.substr(0, 300);
  EXPECT_NE(r.out.find("no\\x1B[2J\\x0Afake line"), std::string::npos) << r.out.substr(0, 300);
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_LE(line.size(), 1300u);
    for (const char c : line) {
      EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << int(c);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, EscapedNames,
    ::testing::Values(TNamedCommand{"Rip", "tessavor-cli", {"rip"}, {}},
                      TNamedCommand{"WriteBack", "tessavor-cli", {"write-back"}, {"out.iff"}},
                      TNamedCommand{"TreList", "tessavor-cli", {"tre-list"}, {}},
                      TNamedCommand{"Import", "tessavor-cli", {"import"}, {}},
                      TNamedCommand{"Export", "tessavor-cli", {"export"}, {}},
                      TNamedCommand{"UnknownCommand", "tessavor-cli", {}, {}},
                      TNamedCommand{"Decompile", "iffc", {"--decompile"}, {}}),
    [](const ::testing::TestParamInfo<TNamedCommand>& p) { return std::string(p.param.Name); });

// The home folder's name is the user's too: info shows it escaped.
TEST_F(CliMesh, InfoShowsTheHomeFolderEscaped) {
  const std::string odd = home.Dir().File("h\x1b]0;title\a");
  const TProgramResult r = testsupport::RunProgram(
      "tessavor-cli", {"info"}, testsupport::TRunOptions().Set("TESSAVOR_HOME", odd).Merged());
  EXPECT_NE(r.out.find("h\\x1B]0;title\\x07"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
}

}  // namespace
