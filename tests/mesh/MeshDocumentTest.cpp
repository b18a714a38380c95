#include "mesh/MeshDocument.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "mesh/MeshTestSupport.h"

using namespace meshtest;

namespace {

class LoadTest : public ::testing::Test {
protected:
  THomeFiles home;
  TMeshDocument doc;
  void SetUp() override { home.WriteEmpty(); }
};

// ---------------------------------------------------------------------------------------
// Partial records

TEST_F(LoadTest, ASecondLoadReplacesEveryLineOfTheFirst) {
  // A Load refills the lists in the buffers of the lines it replaces: a longer old line
  // must leave nothing behind, and lines beyond the new count must go.
  home.WriteVert(VertBytes({{-1234.5f, 2.0f, 3.25f}, {4.0f, 5.0f, 6.0f}, {7.0f, 8.0f, 9.0f}}));
  home.WriteFvrt(FvrtBytes({{12345, 0, 0.125f, 0.5f}, {2, 0, 0.0f, 1.0f}}));
  doc.LoadRecordFiles();
  ASSERT_EQ(doc.VertexLines.Count(), 3);
  home.WriteVert(VertBytes({{1.0f, 0.5f, 0.0f}}));
  home.WriteFvrt(FvrtBytes({{7, 0, 0.25f, 0.75f}}));
  doc.LoadRecordFiles();
  EXPECT_EQ(doc.VertexLines.Lines(), std::vector<std::string>{"1.000, 0.500, 0.000"});
  EXPECT_EQ(doc.CornerLines.Lines(), std::vector<std::string>{"7, tx:0.25, ty:0.75"});
}

// A file cut inside a record is refused with its name and counts; no record is made up
// from the missing bytes (a later Save would otherwise write the invented record in full).
TEST_F(LoadTest, FileEndingInsideARecordIsRefused) {
  Bytes vert = VertBytes({{1.0f, 2.0f, 3.0f}, {4.0f, 5.0f, 6.0f}});
  vert.push_back(0x01);
  Bytes face = FaceBytes({Face(0, 3, 7), Face(3, 3, 8)});
  face.insert(face.end(), {1, 2, 3, 4});
  Bytes fvrt = FvrtBytes({{5, 6, 0.5f, 0.25f}});
  fvrt.resize(fvrt.size() - 12);  // only the first field of the first record
  const struct {
    const char* Name;
    Bytes Data;
    const char* Expected;
  } cases[] = {
      {kVertFile, vert,
       "vert.kvt: 25 bytes, not a whole number of 12-byte records (2 records and 1 "
       "bytes more)"},
      {kFaceFile, face, "face.kvt: 60 bytes, not a whole number of 28-byte records (2 records"},
      {kFvrtFile, fvrt, "fvrt.kvt: 4 bytes, not a whole number of 16-byte records (0 records"},
      {kRadiFile, Bytes{0, 0, 0x80}, "radi.kvt: 3 bytes, not a whole number of 4-byte records"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    home.WriteEmpty();
    testsupport::WriteBytes(home.File(c.Name), c.Data);
    doc.Radius = 7.0f;
    try {
      doc.LoadRecordFiles();
      ADD_FAILURE() << "loaded";
    } catch (const EInOutError& e) {
      EXPECT_NE(e.Message().find(c.Expected), std::string::npos) << e.Message();
    }
    EXPECT_EQ(doc.NumVert + doc.NumVtnm + doc.NumFvrt + doc.NumFace, 0);
    EXPECT_EQ(doc.Radius, 7.0f) << "the radius is not patched from a part of a record";
  }
}

// ---------------------------------------------------------------------------------------
// Box and labels

TEST_F(LoadTest, AllNegativeAxisKeepsZeroAsMaximum) {
  home.WriteVert(VertBytes({{-5.0f, 1.0f, 2.0f}, {-1.0f, 3.0f, 2.0f}, {-3.0f, 2.0f, 2.0f}}));
  doc.LoadRecordFiles();
  EXPECT_EQ(doc.BoxMax().x, 0.0f);
  EXPECT_EQ(doc.BoxMin().x, -5.0f);
  EXPECT_EQ(doc.BoxMax().y, 3.0f);
  EXPECT_EQ(doc.BoxMin().y, 1.0f);
  EXPECT_EQ(doc.SizeLabel(), "x:5.0, y:2.0, z:0.0;");
}

TEST_F(LoadTest, EmptyVertFileLeavesTheStartBox) {
  doc.LoadRecordFiles();
  EXPECT_EQ(doc.BoxMin().x, 10000.0f);
  EXPECT_EQ(doc.BoxMax().z, 0.0f);
  EXPECT_EQ(doc.SizeLabel(), "x:-10000.0, y:-10000.0, z:-10000.0;");
}

TEST_F(LoadTest, SizeLabelWritesOneDecimal) {
  home.WriteVert(VertBytes({{0.0f, 0.0f, 0.0f}, {12.5f, 4.0f, 30.2f}}));
  doc.LoadRecordFiles();
  EXPECT_EQ(doc.SizeLabel(), "x:12.5, y:4.0, z:30.2;");
}

TEST(SizeLabel, RoundsToSevenSignificantDigitsFirst) {
  // 1234567.75 has eight significant digits; seven of them leave 1234568.
  EXPECT_EQ(MakeSizeLabel({0, 0, 0}, {1234567.75f, 0.25f, 100.0f}), "x:1234568.0, y:0.2, z:100.0;");
}

TEST_F(LoadTest, MissingRadiusFileGivesOne) {
  doc.Radius = 7.0f;
  doc.LoadRecordFiles();
  EXPECT_EQ(doc.Radius, 1.0f);
  EXPECT_EQ(doc.RadiusLabel(), "RADI=1");
}

TEST_F(LoadTest, EmptyRadiusFileKeepsThePreviousRadius) {
  home.WriteRadi({});
  doc.Radius = 7.25f;
  doc.LoadRecordFiles();
  EXPECT_EQ(doc.Radius, 7.25f);
  EXPECT_EQ(doc.RadiusLabel(), "RADI=7.2");  // 72.5 is a tie: to even
}

TEST_F(LoadTest, RadiusFileIsReadAndRounded) {
  home.WriteRadi(RadiBytes(11.26f));
  doc.LoadRecordFiles();
  EXPECT_EQ(doc.Radius, 11.26f);
  EXPECT_EQ(doc.RadiusLabel(), "RADI=11.3");
}

// ---------------------------------------------------------------------------------------
// Errors

TEST_F(LoadTest, MissingRecordFileNamesTheFile) {
  std::filesystem::remove(home.File(kFvrtFile));
  home.WriteVert(VertBytes({{1, 2, 3}}));
  try {
    doc.LoadRecordFiles();
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("fvrt.kvt"), std::string::npos) << e.what();
  }
  // The records read before the error stay, and live drawing stays off.
  EXPECT_EQ(doc.NumVert, 1);
  EXPECT_TRUE(doc.Loading());
}

TEST(MeshDocument, FullArrayRaisesAndDoesNotGrow) {
  TMeshDocument doc;
  for (int i = 0; i < MeshCapacity; ++i) doc.AddVert({float(i), 0, 0});
  EXPECT_EQ(doc.NumVert, MeshCapacity);
  try {
    doc.AddVert({1, 1, 1});
    FAIL() << "no error";
  } catch (const EMeshDocument& e) {
    EXPECT_STREQ(e.what(), "VERT is full: it holds at most 32769 records");
  }
  EXPECT_EQ(doc.NumVert, MeshCapacity);
  EXPECT_EQ(doc.VertexLines.Count(), MeshCapacity);
  EXPECT_EQ(doc.StoreVtnm({}), 0) << "VTNM is not full";
}

TEST(MeshDocument, EveryArrayReportsItsOwnName) {
  TMeshDocument doc;
  doc.NumVtnm = doc.NumFvrt = doc.NumFace = MeshCapacity;
  auto message = [](auto&& f) {
    try {
      f();
    } catch (const EMeshDocument& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message([&] { doc.AddVtnm({}); }).substr(0, 12), "VTNM is full");
  EXPECT_EQ(message([&] { doc.AddFvrt({}); }).substr(0, 12), "FVRT is full");
  EXPECT_EQ(message([&] { doc.AddFace({}); }).substr(0, 12), "FACE is full");
}

TEST_F(LoadTest, FileWithMoreRecordsThanTheCapacityStopsLoad) {
  std::vector<TPoint3> pts(MeshCapacity + 1, TPoint3{1, 2, 3});
  home.WriteVert(VertBytes(pts));
  EXPECT_THROW(doc.LoadRecordFiles(), EMeshDocument);
  EXPECT_EQ(doc.NumVert, MeshCapacity);
}

// ---------------------------------------------------------------------------------------
// Save

TEST_F(LoadTest, SaveThenLoadIsBitForBitAndLeavesRadiusFile) {
  const Bytes vert = VertBytes({{1.5f, -0.0f, 3e38f}, {-2.0f, 0.1f, 7.0f}});
  const Bytes vtnm = VertBytes({{0, 0, 1}});
  const Bytes fvrt = FvrtBytes({{0, 0, 0.1f, 0.2f}, {1, -1, 1.0f, 0.0f}, {0, 0, 0.5f, 0.5f}});
  const Bytes face =
      FaceBytes({{0, -4.2f, 70000, 0, 3, 123456, 0xDEADBEEF}, {0, 1.0f, 5, 1, 2, -1, 0x7F0096FF}});
  const Bytes radi{1, 2, 3, 4, 5, 6, 7, 8};  // two records: Save must not touch it
  home.WriteVert(vert);
  home.WriteVtnm(vtnm);
  home.WriteFvrt(fvrt);
  home.WriteFace(face);
  home.WriteRadi(radi);
  doc.LoadRecordFiles();
  // Remove the files so that Save has to write every one of them.
  for (const char* f : {kVertFile, kVtnmFile, kFvrtFile, kFaceFile})
    std::filesystem::remove(home.File(f));
  doc.SaveRecordFiles();
  EXPECT_EQ(testsupport::ReadBytes(home.File(kVertFile)), vert);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kVtnmFile)), vtnm);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kFvrtFile)), fvrt);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kFaceFile)), face);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kRadiFile)), radi);
  TMeshDocument again;
  again.LoadRecordFiles();
  ASSERT_EQ(again.NumFace, 2);
  EXPECT_EQ(again.FACE[0].Reserved1, 123456);
  EXPECT_EQ(again.FACE[0].Reserved2, 0xDEADBEEFu);
  EXPECT_EQ(again.FACE[1].Reserved1, -1);
}

TEST_F(LoadTest, SaveLeavesNoTemporaryFiles) {
  doc.AddVert({1, 2, 3});
  doc.SaveRecordFiles();
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(home.Dir().Path())) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 4);
  EXPECT_EQ(testsupport::ReadBytes(home.File(kVertFile)), VertBytes({{1, 2, 3}}));
}

// ---------------------------------------------------------------------------------------
// List lines

TEST(ListLines, VertexLineHasThreeDecimals) {
  EXPECT_EQ(TMeshDocument::VertLineText({1.5f, -0.25f, 0.0f}), "1.500, -0.250, 0.000");
  EXPECT_EQ(TMeshDocument::VertLineText({-0.0001f, -0.0f, 2.0005f}), "0.000, 0.000, 2.000");
}

TEST(ListLines, FvrtLineRoundsToThousandthsTiesToEven) {
  EXPECT_EQ(TMeshDocument::FvrtLineText({3, 0, 0.0625f, 0.5f}, true), "3, tx:0.062, ty:0.5");
  EXPECT_EQ(TMeshDocument::FvrtLineText({-1, 0, 0.12345f, 1.0f}, true), "-1, tx:0.123, ty:1");
  EXPECT_EQ(TMeshDocument::FvrtLineText({0, 0, 0.0f, -0.0001f}, true), "0, tx:0, ty:0");
  EXPECT_EQ(TMeshDocument::FvrtLineText({0, 0, 0.1875f, 0.0f}, false), ", ty:0");
}

TEST(ListLines, FaceLineListsItsCorners) {
  EXPECT_EQ(TMeshDocument::FaceLineText(Face(12, 3, 70000, -4.2f)),
            "[12 13 14], mat: 70000, d=-4.200");
  EXPECT_EQ(TMeshDocument::FaceLineText(Face(12, 3, 70000, -4.2f), false),
            "[12 13 14], mat: 70000");
  EXPECT_EQ(TMeshDocument::FaceLineText(Face(5, 0, 1)), "[], mat: 1, d=0.000");
  EXPECT_EQ(TMeshDocument::FaceLineText(Face(0, -7, 1)), "[], mat: 1, d=0.000");
}

TEST(ListLines, HugeCornerCountIsCutShort) {
  const std::string line = TMeshDocument::FaceLineText(Face(2147483600, 2147483647, 3));
  EXPECT_LT(line.size(), 1000u);
  EXPECT_EQ(line.substr(0, 23), "[2147483600 2147483601 ");
  EXPECT_NE(line.find("2147483663 ...], mat: 3"), std::string::npos)
      << line;  // 64 corners, no wrap
}

TEST_F(LoadTest, ShowDataOffKeepsOnlyTheFvrtTails) {
  home.WriteVert(VertBytes({{1, 2, 3}}));
  home.WriteVtnm(VertBytes({{0, 0, 1}}));
  home.WriteFvrt(FvrtBytes({{0, 0, 0.3f, 0.0f}, {0, 0, 0.3f, 0.5f}, {0, 0, 0.3f, 1.0f}}));
  home.WriteFace(FaceBytes({Face(0, 3, 70000)}));
  doc.ShowData = false;
  doc.LoadRecordFiles();
  EXPECT_EQ(doc.CornerLines.Lines(), (std::vector<std::string>{", ty:0", ", ty:0.5", ", ty:1"}));
  EXPECT_EQ(doc.VertexLines.Count(), 0);
  EXPECT_EQ(doc.NormalLines.Count(), 0);
  EXPECT_EQ(doc.FaceLines.Count(), 0);
  EXPECT_EQ(doc.MaterialLines.Count(), 0);
  EXPECT_EQ(doc.NumFace, 1);
}

TEST_F(LoadTest, ListsShowEveryRecordInOrder) {
  home.WriteVert(VertBytes({{1.5f, -0.25f, 0}, {2, 3, 4}}));
  home.WriteVtnm(VertBytes({{0, 0, 1}}));
  home.WriteFvrt(FvrtBytes({{1, 0, 0.0625f, 0.5f}}));
  home.WriteFace(FaceBytes({Face(0, 1, 70000, -4.2f), Face(0, 1, 70001), Face(0, 1, 70000)}));
  doc.LoadRecordFiles();
  EXPECT_EQ(doc.VertexLines.Lines(),
            (std::vector<std::string>{"1.500, -0.250, 0.000", "2.000, 3.000, 4.000"}));
  EXPECT_EQ(doc.NormalLines.Lines(), (std::vector<std::string>{"0.000, 0.000, 1.000"}));
  EXPECT_EQ(doc.CornerLines.Lines(), (std::vector<std::string>{"1, tx:0.062, ty:0.5"}));
  EXPECT_EQ(doc.FaceLines.Line(0), "[0], mat: 70000, d=-4.200");
  EXPECT_EQ(doc.MaterialLines.Lines(), (std::vector<std::string>{"70000", "70001"}));
}

TEST_F(LoadTest, LoadReplacesEverythingAndResetsCurrentLines) {
  home.WriteVert(VertBytes({{1, 1, 1}}));
  home.WriteFace(FaceBytes({Face(0, 0, 9)}));
  doc.LoadRecordFiles();
  doc.VertexLines.SetCurrent(0);
  doc.LoadRecordFiles();
  EXPECT_EQ(doc.NumVert, 1);
  EXPECT_EQ(doc.VertexLines.Count(), 1);
  EXPECT_EQ(doc.VertexLines.Current(), -1);
  EXPECT_EQ(doc.MaterialLines.Count(), 1);
}

// ---------------------------------------------------------------------------------------
// Hooks and notifications

TEST_F(LoadTest, LiveDrawingHooksAreQuietWhileLoading) {
  home.WriteVert(VertBytes({{1, 1, 1}, {2, 2, 2}}));
  home.WriteFace(FaceBytes({Face(0, 0)}));
  int verts = 0, faces = 0, loaded = 0;
  TConnection onVert = doc.OnVertAdded.Connect([&](int32_t) { ++verts; });
  TConnection onFace = doc.OnFaceAdded.Connect([&](int32_t) { ++faces; });
  TConnection onLoaded = doc.OnLoaded.Connect([&] { ++loaded; });
  doc.LoadRecordFiles();
  EXPECT_EQ(verts, 0);
  EXPECT_EQ(faces, 0);
  EXPECT_EQ(loaded, 1);
  int lastFace = -1;
  onFace = doc.OnFaceAdded.Connect([&](int32_t i) { lastFace = i, ++faces; });
  doc.AddVert({3, 3, 3});
  doc.AddFace(Face(0, 0));
  EXPECT_EQ(verts, 1);
  EXPECT_EQ(faces, 1);
  EXPECT_EQ(lastFace, 1);
}

TEST_F(LoadTest, LoadSendsOneResetPerList) {
  home.WriteVert(VertBytes({{1, 1, 1}, {2, 2, 2}}));
  std::vector<std::pair<TListChange, int>> before, after;
  TConnection onBefore =
      doc.VertexLines.OnAboutToChange.Connect([&](TListChange k, int first, int) {
        before.push_back({k, first});
      });
  TConnection onAfter = doc.VertexLines.OnChanged.Connect([&](TListChange k, int first, int) {
    after.push_back({k, first});
  });
  doc.LoadRecordFiles();
  ASSERT_EQ(before.size(), 1u);
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(before[0].first, TListChange::Reset);
  EXPECT_EQ(after[0].first, TListChange::Reset);
  before.clear();
  after.clear();
  doc.AddVert({5, 5, 5});
  ASSERT_EQ(before.size(), 1u);
  EXPECT_EQ(before[0], std::make_pair(TListChange::Insert, 2));
  ASSERT_EQ(after.size(), 1u);
  EXPECT_EQ(after[0], std::make_pair(TListChange::Insert, 2));
}

// ---------------------------------------------------------------------------------------
// Current lines, selection, safe access

TEST(ListLines, CurrentLineOutsideTheListIsNone) {
  TListLines l;
  l.Append("a");
  l.Append("b");
  l.SetCurrent(1);
  EXPECT_EQ(l.Current(), 1);
  l.SetCurrent(5);
  EXPECT_EQ(l.Current(), -1);
  EXPECT_EQ(l.Line(-1), "");
  l.ReplaceLine(7, "x");
  l.ReplaceLine(0, "c");
  EXPECT_EQ(l.Lines(), (std::vector<std::string>{"c", "b"}));
}

TEST(ListLines, FocusMovesWithoutChangingTheSelection) {
  TListLines l;
  for (int i = 0; i < 10; ++i) l.Append(std::to_string(i));
  l.SetSelected(4, true);
  l.SetSelected(5, true);
  l.SetSelected(9, true);
  l.SetSelected(12, true);  // not a line
  l.SetCurrent(4);
  EXPECT_EQ(l.SelectedCount(), 3);
  EXPECT_EQ(l.Current(), 4);
  l.Clear();
  EXPECT_EQ(l.SelectedCount(), 0);
  EXPECT_EQ(l.Current(), -1);
}

TEST(MeshDocument, RecordsAreReachedOnlyInsideTheCounts) {
  TMeshDocument doc;
  doc.AddVert({1, 2, 3});
  EXPECT_NE(doc.VertAt(0), nullptr);
  EXPECT_EQ(doc.VertAt(1), nullptr);
  EXPECT_EQ(doc.VertAt(-1), nullptr);
  EXPECT_EQ(doc.VtnmAt(0), nullptr);
  for (int i = 0; i < 5; ++i) doc.AddFvrt({0, 0, 0, 0});
  auto range = doc.FaceCorners(Face(3, 4));
  EXPECT_EQ(range.First, 3);
  EXPECT_EQ(range.Count, 2);
  range = doc.FaceCorners(Face(-2, 3));
  EXPECT_EQ(range.First, 0);
  EXPECT_EQ(range.Count, 1);
  range = doc.FaceCorners(Face(2147483647, 2147483647));
  EXPECT_EQ(range.Count, 0);
  range = doc.FaceCorners(Face(-2147483647 - 1, -5));
  EXPECT_EQ(range.Count, 0);
}

}  // namespace
