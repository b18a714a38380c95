#include "mesh/Snapshot.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "mesh/Geometry.h"
#include "mesh/Materials.h"
#include "mesh/MeshTestSupport.h"
#include "mesh/Normals.h"

using namespace meshtest;

namespace {

using TFileBytes = std::map<std::string, std::optional<Bytes>>;

// Every record file's bytes, or nullopt for a missing one.
TFileBytes Files(const THomeFiles& home) {
  TFileBytes out;
  for (const char* name : kRecordFileNames) {
    const std::string path = home.File(name);
    if (std::filesystem::exists(path))
      out[name] = testsupport::ReadBytes(path);
    else
      out[name] = std::nullopt;
  }
  return out;
}

struct TOperation {
  const char* Name;
  std::function<void(TMeshDocument&)> Run;
};

// A tetrahedron-like model with two triangles and a vertex no face uses. radi.kvt holds
// two records, as a rip of a model with a longer RADI chunk leaves it: no Save writes it.
class SnapshotStep : public ::testing::TestWithParam<TOperation> {
protected:
  void SetUp() override {
    Bytes vert = VertBytes({{0, 0, 0}, {4, 0, 0}, {0, 4, 0}, {0, 0, 4}});
    vert.insert(vert.end(), {0, 0, 0x80, 0x3F, 0, 0, 0, 0, 0, 0, 0, 0});  // (1, 0, 0)
    home.WriteVert(vert);
    home.WriteVtnm(VertBytes({{0, 0, 1}}));
    home.WriteFvrt(FvrtBytes({{0, 0, 0.25f, 0.5f},
                              {1, 0, 1, 0},
                              {2, 0, 0, 1},
                              {0, 0, 0, 0},
                              {1, 0, 1, 0},
                              {3, 0, 1, 1}}));
    home.WriteFace(FaceBytes({Face(0, 3, 70000, 1.5f), Face(3, 3, 512)}));
    home.WriteRadi({0, 0, 0x20, 0x40, 1, 2, 3, 4});
    doc.LoadRecordFiles();
  }
  THomeFiles home;
  TMeshDocument doc;
};

TEST_P(SnapshotStep, UndoGivesBackTheFilesAndRecordsAndRedoTheResult) {
  const TFileBytes original = Files(home);
  const TMeshSnapshot loaded = TakeSnapshot(doc);
  const TMeshStep step = RecordStep(doc, GetParam().Name, nullptr, [this] { GetParam().Run(doc); });
  ASSERT_TRUE(step.ChangesRecords());
  const TFileBytes result = Files(home);
  const TMeshSnapshot done = TakeSnapshot(doc);

  step.Undo(doc, step.FilesAfter);
  EXPECT_EQ(Files(home), original);
  EXPECT_TRUE(SnapshotMatches(doc, loaded));
  EXPECT_EQ(doc.VertexLines.Line(4), "1.000, 0.000, 0.000");
  EXPECT_EQ(doc.FaceLines.Count(), 2);

  step.Redo(doc, step.FilesBefore);
  EXPECT_EQ(Files(home), result);
  EXPECT_TRUE(SnapshotMatches(doc, done));
}

INSTANTIATE_TEST_SUITE_P(
    Operations, SnapshotStep,
    ::testing::Values(TOperation{"flipY", [](TMeshDocument& d) { FlipY(d); }},
                      TOperation{"flipZ", [](TMeshDocument& d) { FlipZ(d); }},
                      TOperation{"Scale", [](TMeshDocument& d) { ScaleModel(d, 50); }},
                      TOperation{"CalcVtnm", [](TMeshDocument& d) { CalcVtnm(d); }},
                      TOperation{"CalcD", [](TMeshDocument& d) { CalcD(d); }},
                      TOperation{"all0", [](TMeshDocument& d) { ResetTexCoords(d); }},
                      TOperation{"RandAll", [](TMeshDocument& d) { RandAllTexCoords(d); }},
                      TOperation{"CgAllMat", [](TMeshDocument& d) { SetAllMaterials(d, 9); }},
                      TOperation{"AddVert",
                                 [](TMeshDocument& d) { AddVertWithNormal(d, 1, 2, 3); }},
                      TOperation{"FlipVtnm", [](TMeshDocument& d) { FlipVtnm(d); }},
                      TOperation{"DelVt", [](TMeshDocument& d) { DeleteVtnm(d); }}),
    [](const ::testing::TestParamInfo<TOperation>& p) { return std::string(p.param.Name); });

TEST_F(SnapshotStep, InMemoryStepWritesNoFile) {
  const TMeshStep step = RecordStep(doc, "flip VTNM", nullptr, [this] { FlipVtnm(doc); });
  EXPECT_FALSE(step.WritesFiles());
  home.WriteVtnm({1, 2, 3});  // a later Save of something else: undo must not touch it
  step.Undo(doc, ReadRecordFileSet());
  EXPECT_EQ(testsupport::ReadBytes(home.File(kVtnmFile)), (Bytes{1, 2, 3}));
  EXPECT_EQ(doc.VTNM[0].z, 1.0f);
}

TEST_F(SnapshotStep, UndoOfLoadBringsBackTheUnsavedChange) {
  doc.FVRT[0].Tx = 7;
  const TMeshStep step = RecordStep(doc, "Load", nullptr, [this] { doc.LoadRecordFiles(); });
  EXPECT_EQ(doc.FVRT[0].Tx, 0.25f);
  EXPECT_FALSE(step.WritesFiles());
  step.Undo(doc, step.FilesAfter);
  EXPECT_EQ(doc.FVRT[0].Tx, 7.0f);
}

TEST_F(SnapshotStep, FailedActionPutsTheRecordsBack) {
  const TMeshSnapshot before = TakeSnapshot(doc);
  std::filesystem::remove(home.File(kFaceFile));
  // Load stops at the missing face file with the document half filled.
  EXPECT_THROW(RecordStep(doc, "Load", nullptr, [this] { doc.LoadRecordFiles(); }), EInOutError);
  EXPECT_TRUE(SnapshotMatches(doc, before));
  EXPECT_FALSE(doc.Loading());
  EXPECT_EQ(doc.FaceLines.Count(), 2);
}

TEST_F(SnapshotStep, ChangesAreNoticedDownToOneBit) {
  const TMeshSnapshot s = TakeSnapshot(doc);
  EXPECT_TRUE(SnapshotMatches(doc, s));
  doc.FVRT[5].Ty = -0.0f;  // was +0
  EXPECT_FALSE(SnapshotMatches(doc, s));
  doc.FVRT[5].Ty = 1.0f;
  EXPECT_TRUE(SnapshotMatches(doc, s));
  doc.Radius = 3;
  EXPECT_FALSE(SnapshotMatches(doc, s));
}

// The history's memory: a step keeps only what its action changed, shared with the step
// before it, so a hundred flips of a full model cost a hundred VERT arrays and nothing else.
TEST(SnapshotMemory, StepsShareEverythingTheyDidNotChange) {
  THomeFiles home;
  TMeshDocument doc;
  for (int i = 0; i < MeshCapacity; ++i) doc.AddVert({float(i), 1, 2});
  for (int i = 0; i < MeshCapacity; ++i) doc.AddFvrt({i, 0, 0, 0});
  doc.AddVtnm({0, 0, 1});
  doc.SaveRecordFiles();
  const TMeshStep first = RecordStep(doc, "flipY", nullptr, [&doc] { FlipY(doc); });
  const TMeshStep second = RecordStep(doc, "flipY", &first, [&doc] { FlipY(doc); });
  const size_t vertBytes = size_t{MeshCapacity} * sizeof(TPoint3);
  EXPECT_EQ(second.OwnBytes(&first), vertBytes);
  // The files just saved are the document's own arrays, not copies of them.
  EXPECT_EQ(second.FilesAfter.Files[0], second.After.Arrays[0]);
  EXPECT_EQ(second.FilesBefore.Files[2], first.Before.Arrays[2]);
  EXPECT_TRUE(FilesHoldRecords(second.FilesAfter, second.After));
}

}  // namespace

// ---- What a step changed, as the undo counts it ----------------------------------------

namespace {

TBlob Blob(std::vector<uint8_t> bytes) {
  return std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
}

// Four-byte records 0, 1, 2, ... with record `changed` (when in range) given another value.
TBlob Records(size_t count, size_t changed = SIZE_MAX) {
  std::vector<uint8_t> bytes(count * 4, 0);
  for (size_t i = 0; i < count; ++i) bytes[i * 4] = static_cast<uint8_t>(i == changed ? 200 : i);
  return Blob(std::move(bytes));
}

TEST(ChangedRecords, CountsTheFirstAndLastRecordAndWhatOneSideHasBeyondTheOther) {
  EXPECT_EQ(ChangedRecords(Records(5), Records(5), 4), 0u);
  EXPECT_EQ(ChangedRecords(Records(5), Records(5, 0), 4), 1u);
  EXPECT_EQ(ChangedRecords(Records(5), Records(5, 4), 4), 1u);
  EXPECT_EQ(ChangedRecords(Records(5), Records(3), 4), 2u);     // two removed
  EXPECT_EQ(ChangedRecords(Records(3), Records(5), 4), 2u);     // two added
  EXPECT_EQ(ChangedRecords(Records(3), Records(5, 0), 4), 3u);  // and one changed
  EXPECT_EQ(ChangedRecords(nullptr, Records(2), 4), 2u);
  EXPECT_EQ(ChangedRecords(Records(2), nullptr, 4), 2u);
  // A record differing only in its last byte is changed; a short tail is no record.
  TBlob lastByte = Blob({0, 0, 0, 0, 1, 0, 0, 0});
  EXPECT_EQ(ChangedRecords(Blob({0, 0, 0, 0, 1, 0, 0, 9}), lastByte, 4), 1u);
  EXPECT_EQ(ChangedRecords(Records(2), Blob({0, 0, 0, 0, 1, 0, 0, 0, 7, 7}), 4), 0u);
}

TEST(ChangedRecords, AreNamedPerArrayInTheirOrderWithOneOrMany) {
  const auto vert = [](size_t n) { return Blob(std::vector<uint8_t>(n * sizeof(TPoint3), 1)); };
  const auto face = [](size_t n) { return Blob(std::vector<uint8_t>(n * sizeof(TFaceRecord), 1)); };
  const std::array<TBlob, 4> before{vert(2), nullptr, nullptr, face(1)};
  EXPECT_EQ(ChangedRecordsText(before, before), "");
  EXPECT_EQ(ChangedRecordsText(before, {vert(3), nullptr, nullptr, face(3)}), "1 vertex, 2 faces");
  const TBlob corner = Blob(std::vector<uint8_t>(sizeof(TFvrtRecord), 1));
  EXPECT_EQ(ChangedRecordsText(before, {vert(4), vert(1), corner, face(0)}),
            "2 vertices, 1 normal, 1 corner, 1 face");
}

}  // namespace
