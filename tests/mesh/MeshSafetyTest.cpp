// Imports and rips that check before they commit, the mesh check and the OBJ export's
// refusal, and the command line's refusals of FIFOs and devices.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>

#include "mesh/AscImport.h"
#include "mesh/MeshCheck.h"
#include "mesh/MeshTestSupport.h"
#include "mesh/Normals.h"
#include "mesh/ObjExport.h"
#include "support/IffBytes.h"
#include "support/RunProgram.h"
#include "util/Paths.h"

using namespace meshtest;

namespace {

TEST(AscSafety, AFileWithoutAVertexListIsRefusedAndChangesNothing) {
  for (const std::string& text : {std::string(), std::string("v 0 0 0\nv 1 0 0\nf 1 2 3\n"),
                                  std::string("Vertex list:\rVertex 0: X:1 Y:2 Z:3\rFace list:\r"),
                                  std::string("\x7F"
                                              "ELF\x02\x01\x01",
                                              7)}) {
    EXPECT_THROW(ParseAsc(text, "scene.asc"), EAscImport) << text;
  }
  try {
    ParseAsc("", "scene.asc");
  } catch (const EAscImport& e) {
    EXPECT_NE(std::string(e.what()).find("scene.asc: no \"Vertex list:\" line"), std::string::npos)
        << e.what();
  }
}

TEST(AscSafety, ANumberBeyondTheFloatRangeIsAnErrorNamingFileAndLine) {
  const std::string text =
      "Vertex list:\nVertex 0: X:1 Y:2 Z:3\nVertex 1: X:1e39 Y:0 Z:0\nFace list:\nend\n";
  try {
    ParseAsc(text, "scene.asc");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(std::string(e.what()),
              "scene.asc, line 3: '1e39' is beyond the range of a floating point value");
  }
  // An offending field is quoted with at most 200 characters.
  const std::string longField =
      "Vertex list:\nVertex 0: X:" + std::string(5000, 'q') + " Y:0 Z:0\nFace list:\nend\n";
  try {
    ParseAsc(longField, "scene.asc");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_LT(std::string(e.what()).size(), 300u);
  }
}

class MeshCheckTest : public ::testing::Test {
protected:
  TMeshDocument doc;
  void SetUp() override {
    doc.ShowData = false;
    for (TPoint3 p : {TPoint3{0, 0, 0}, TPoint3{1, 0, 0}, TPoint3{0, 1, 0}, TPoint3{5, 5, 5}})
      doc.AddVert(p);
    doc.AddVtnm({0, 0, 1});
    for (int v : {0, 1, 2}) doc.AddFvrt({v, 0, 0, 0});
    doc.AddFace(Face(0, 3));
  }
};

TEST_F(MeshCheckTest, AWholeMeshHasOnlyItsUnusedVertex) {
  const TMeshProblems p = CheckMesh(doc);
  EXPECT_TRUE(p.Indices.empty());
  EXPECT_EQ(p.Others, std::vector<std::string>{"VERT 3: not used by any corner"});
}

TEST_F(MeshCheckTest, EveryProblemIsOneLineWithItsRecord) {
  doc.AddFvrt({9, -1, std::nanf(""), 0});  // FVRT 3
  doc.AddFvrt({1, 0, 0, 0});               // FVRT 4
  doc.AddFace(Face(6, 5));                 // FACE 1: corners 6..10, FVRT will have 8
  doc.AddFace(Face(3, 2));                 // FACE 2: two corners
  doc.AddFace(Face(0, 3, 0, INFINITY));    // FACE 3: D not finite
  doc.FACE[3].Vtnm = 7;
  doc.AddFvrt({0, 0, 0, 0});  // FVRT 5..7: a face over vertices 0, 1 and 0 again
  doc.AddFvrt({1, 0, 0, 0});
  doc.AddFvrt({0, 0, 0, 0});
  doc.AddFace(Face(5, 3));  // FACE 4: degenerate
  doc.VERT[3].x = INFINITY;
  const TMeshProblems p = CheckMesh(doc);
  EXPECT_EQ(p.Indices, (std::vector<std::string>{
                           "FVRT 3: vertex index 9 is out of range (VERT has 4 records)",
                           "FVRT 3: normal index -1 is out of range (VTNM has 1 records)",
                           "FACE 1: corners 6 to 10 lie outside FVRT (8 records)",
                           "FACE 3: normal index 7 is out of range (VTNM has 1 records)",
                       }));
  EXPECT_EQ(p.Others, (std::vector<std::string>{
                          "FACE 2: 2 corners, fewer than 3",
                          "FACE 3: D is not a finite number",
                          "FACE 4: degenerate: its corners enclose no area",
                          "VERT 3: not a finite number",
                          "FVRT 3: texture coordinate is not a finite number",
                          "FACE 3: repeats the corners of FACE 0",
                          "VERT 3: not used by any corner",
                      }));

  // The OBJ export refuses with the same lines and writes nothing.
  testsupport::TempDir dir(false);
  try {
    ExportObj(doc, dir.File("out.obj"));
    FAIL() << "exported";
  } catch (const EMeshCheck& e) {
    EXPECT_NE(std::string(e.what()).find(
                  "\nFVRT 3: vertex index 9 is out of range (VERT has 4 records)\n"),
              std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.obj")));
}

TEST(ProgramLibrary, WithoutAProgramFolderNoLibraryIsNamed) {
  EXPECT_EQ(ProgramLibraryPath("libbsp.so", "/no/such/proc/self/exe"), "");
  const std::string real = ProgramLibraryPath("libbsp.so");
  ASSERT_FALSE(real.empty());
  EXPECT_EQ(real.front(), '/');
}

// ---- The command line ------------------------------------------------------------------

class CliSafety : public ::testing::Test {
protected:
  THomeFiles home;
  void SetUp() override {
    if (!testsupport::ProgramBuilt("tessavor-cli")) GTEST_SKIP() << "tessavor-cli not built";
    home.WriteVert(VertBytes({{0, 0, 0}, {2, 0, 0}, {0, 1, 0}}));
    home.WriteVtnm(VertBytes({{0, 0, 1}}));
    home.WriteFvrt(FvrtBytes({{0, 0, 0, 0}, {1, 0, 1, 0}, {5, 0, 0, 1}}));
    home.WriteFace(FaceBytes({Face(0, 3)}));
  }
  static testsupport::TProgramResult Run(const std::vector<std::string>& args) {
    return testsupport::RunProgram("tessavor-cli", args, testsupport::TRunOptions().Merged());
  }
};

TEST_F(CliSafety, CheckListsProblemsAndExitsOneAndExportObjRefuses) {
  testsupport::TProgramResult r = Run({"check"});
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("FVRT 2: vertex index 5 is out of range (VERT has 3 records)\n"),
            std::string::npos)
      << r.out;
  r = Run({"export-obj", home.File("out.obj")});
  EXPECT_EQ(r.status, 2) << r.out;
  EXPECT_FALSE(std::filesystem::exists(home.File("out.obj")));
  home.WriteFvrt(FvrtBytes({{0, 0, 0, 0}, {1, 0, 1, 0}, {2, 0, 0, 1}}));
  r = Run({"check"});
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("No problems found"), std::string::npos) << r.out;
}

// A file cut inside a record is a problem of its own (the Load refuses it); a NaN radius
// is reported like any other value that is not a finite number.
TEST_F(CliSafety, CheckReportsCutRecordFilesAndANanRadius) {
  home.WriteFvrt(FvrtBytes({{0, 0, 0, 0}, {1, 0, 1, 0}, {2, 0, 0, 1}}));
  Bytes fvrt = testsupport::ReadBytes(home.File(kFvrtFile));
  fvrt.resize(fvrt.size() - 12);
  home.WriteFvrt(fvrt);
  testsupport::TProgramResult r = Run({"check"});
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("fvrt.kvt: 36 bytes, not a whole number of 16-byte records (2 records and "
                       "4 bytes more)\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(r.out.find("No problems found"), std::string::npos) << r.out;
  EXPECT_EQ(Run({"info"}).status, 2) << "the Load refuses what check reports";

  home.WriteFvrt(FvrtBytes({{0, 0, 0, 0}, {1, 0, 1, 0}, {2, 0, 0, 1}}));
  home.WriteRadi(RadiBytes(std::numeric_limits<float>::quiet_NaN()));
  r = Run({"check"});
  EXPECT_EQ(r.status, 1) << r.out;
  EXPECT_NE(r.out.find("RADI: not a finite number\n"), std::string::npos) << r.out;
}

TEST_F(CliSafety, AFifoAsInputOrOutputIsRefusedNotWaitedFor) {
  const std::string fifo = home.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(Run({"import-asc", fifo}).status, 2);
  EXPECT_EQ(Run({"export-obj", fifo}).status, 2);
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  std::filesystem::remove(home.File(kVertFile));
  ASSERT_EQ(::mkfifo(home.File(kVertFile).c_str(), 0600), 0);
  const testsupport::TProgramResult r = Run({"info"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("vert.kvt\": it is a FIFO, not a regular file"), std::string::npos) << r.out;
}

TEST_F(CliSafety, ARipOfMoreRecordsThanTheEditorHoldsChangesNothing) {
  const Bytes before = testsupport::ReadBytes(home.File(kVertFile));
  // A model whose VERT chunk holds 32,770 records.
  const Bytes model = iffbytes::Form(
      "MESH", {iffbytes::Chunk("VERT", Bytes(32770 * 12, 0)), iffbytes::Chunk("VTNM", Bytes(12, 0)),
               iffbytes::Chunk("FVRT", Bytes(16, 0)), iffbytes::Chunk("FACE", Bytes(28, 0)),
               iffbytes::Chunk("RADI", Bytes(4, 0))});
  testsupport::WriteBytes(home.File("big.iff"), model);
  const testsupport::TProgramResult r = Run({"rip", home.File("big.iff")});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.out.find("holds 32770 records, more than the 32769"), std::string::npos) << r.out;
  EXPECT_EQ(testsupport::ReadBytes(home.File(kVertFile)), before);
}

}  // namespace

// A warped quad, a concave pentagon and a quad whose first three corners lie on a line are
// each named with their record; a flat square with a straight corner is fine.
TEST_F(MeshCheckTest, FacesThatAreNotPlanarOrConvexAreNamed) {
  const auto face = [&](std::initializer_list<TPoint3> points) {
    const int32_t first = doc.NumFvrt;
    for (const TPoint3& p : points) {
      doc.AddVert(p);
      doc.AddFvrt({doc.NumVert - 1, 0, 0, 0});
    }
    doc.AddFace(Face(first, static_cast<int32_t>(points.size())));
  };
  face({{0, 0, 0}, {4, 0, 0}, {4, 4, 1}, {0, 4, 0}});             // FACE 1: one corner 1 up
  face({{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {2, 1, 0}, {0, 4, 0}});  // FACE 2: dented
  face({{0, 0, 0}, {2, 0, 0}, {4, 0, 0}, {4, 4, 0}});             // FACE 3: no plane
  face({{4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {0, 0, 0}, {2, 0, 0}});  // FACE 4: straight corner
  const TMeshProblems p = CheckMesh(doc);
  std::vector<std::string> shapes;
  for (const std::string& line : p.Others) {
    if (line.rfind("VERT", 0) != 0) shapes.push_back(line);
  }
  // The warped quad's plane comes from its first three corners; its fourth is off it by
  // 4 / sqrt(17) (the plane through (0,0,0), (4,0,0), (4,4,1)).
  EXPECT_EQ(shapes, (std::vector<std::string>{
                        "FACE 1: not planar: a corner lies 0.9701 off its plane",
                        "FACE 2: not convex",
                        "FACE 3: its first three corners lie on a line: no plane for \"CALC D\"",
                    }));
}

// A bow tie (its edges cross, its larger loop facing +z), a square turned the other way from its
// normal, a square whose normal is zero, and a face repeating FACE 0's corners from another start;
// a square with a straight corner whose edges only meet is fine.
TEST_F(MeshCheckTest, CrossingTurnedAndRepeatedFacesAreNamed) {
  const auto face = [&](std::initializer_list<TPoint3> points, int32_t vtnm = 0) {
    const int32_t first = doc.NumFvrt;
    for (const TPoint3& p : points) {
      doc.AddVert(p);
      doc.AddFvrt({doc.NumVert - 1, 0, 0, 0});
    }
    doc.AddFace(Face(first, static_cast<int32_t>(points.size())));
    doc.FACE[doc.NumFace - 1].Vtnm = vtnm;
  };
  doc.AddVtnm({0, 0, 0});                                         // VTNM 1: zero
  face({{0, 0, 0}, {6, 0, 0}, {0, 4, 0}, {2, 4, 0}});             // FACE 1: bow tie
  face({{0, 0, 0}, {0, 4, 0}, {4, 4, 0}, {4, 0, 0}});             // FACE 2: turned (-z)
  face({{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0}}, 1);          // FACE 3: zero normal
  face({{4, 0, 0}, {4, 4, 0}, {0, 4, 0}, {0, 0, 0}, {2, 0, 0}});  // FACE 4: fine
  for (int v : {1, 2, 0}) doc.AddFvrt({v, 0, 0, 0});              // FACE 5: FACE 0 again
  doc.AddFace(Face(doc.NumFvrt - 3, 3));
  for (int v : {2, 1, 0}) doc.AddFvrt({v, 0, 0, 0});  // FACE 6: its back, no repeat
  doc.AddFace(Face(doc.NumFvrt - 3, 3));
  doc.FACE[6].Vtnm = 1;
  std::vector<std::string> lines;
  for (const std::string& line : CheckMesh(doc).Others) {
    if (line.rfind("FACE", 0) == 0) lines.push_back(line);
  }
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "FACE 1: not convex",
                       "FACE 1: its edges cross each other",
                       "FACE 2: its normal points against its corner order",
                       "FACE 3: its normal points against its corner order",
                       "FACE 6: its normal points against its corner order",
                       "FACE 5: repeats the corners of FACE 0",
                   }));
}

// A face of coordinates near 1e-30 encloses an area, but "Calc VTNM" gives it a normal of
// zero length in single precision: check names that normal instead of passing it.
TEST_F(MeshCheckTest, ANormalOfZeroLengthIsNamed) {
  for (int v : {0, 1, 2}) {
    doc.VERT[v].x *= 1e-30f;
    doc.VERT[v].y *= 1e-30f;
  }
  CalcVtnmRecords(doc);
  ASSERT_GT(doc.NumVtnm, 0);
  const TMeshProblems p = CheckMesh(doc);
  for (int32_t i = 0; i < doc.NumVtnm; ++i) {
    const std::string line = "VTNM " + std::to_string(i) + ": zero length, no direction";
    EXPECT_NE(std::find(p.Others.begin(), p.Others.end(), line), p.Others.end())
        << ::testing::PrintToString(p.Others);
  }
  for (int32_t i = 0; i < doc.NumVtnm; ++i) doc.VTNM[i] = {0.0f, 0.0f, 1e-30f};  // a direction
  for (const std::string& line : CheckMesh(doc).Others)
    EXPECT_EQ(line.find("VTNM"), std::string::npos) << line;
}
