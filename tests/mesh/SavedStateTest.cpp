// The saved-state tracking against the disk itself: after every edit, undo, redo, Save and
// Load of a sequence, "modified" must say whether the document differs from what a Load of
// the record files would give. The history here does what the main window's does: every
// action is one recorded step, pushed when it changed the records.
#include "mesh/SavedState.h"

#include <gtest/gtest.h>

#include <string>

#include "mesh/Geometry.h"
#include "mesh/MeshTestSupport.h"

using namespace meshtest;

namespace {

struct THistoryEntry {
  TMeshStep Step;
  TDiskSides Disk;
};

class TEditorModel {
public:
  TEditorModel() {
    m_loaded = doc.OnLoaded.Connect([this] { saved.Holds(doc); });
    doc.LoadRecordFiles();
  }

  // One letter of a sequence:
  //   e  "cg mat" on face 0: a new material, in memory only
  //   t  "Scale!" 200: a tool that ends with Save and Load
  //   s  Save
  //   l  Load
  //   u  undo, r  redo
  void Run(char op) {
    switch (op) {
      case 'e':
        Edit("cg mat", [this] { doc.FACE[0].Mat = ++m_nextMat; });
        break;
      case 't':
        Edit("Scale!", [this] { ScaleModel(doc, 200.0f); });
        break;
      case 's':
        Edit("Save", [this] {
          doc.SaveRecordFiles();
          saved.Holds(doc);
        });
        break;
      case 'l':
        Edit("Load", [this] { doc.LoadRecordFiles(); });
        break;
      case 'u':
        ASSERT_GT(m_index, 0u);
        --m_index;
        Apply(m_history[m_index], true);
        break;
      case 'r':
        ASSERT_LT(m_index, m_history.size());
        Apply(m_history[m_index], false);
        ++m_index;
        break;
      default:
        FAIL() << "unknown operation " << op;
    }
  }

  // Whether the document differs from a Load of the record files as they are.
  bool DiffersFromDisk() const {
    TMeshDocument probe;
    probe.LoadRecordFiles();
    return !SnapshotMatches(doc, TakeSnapshot(probe));
  }

  TMeshDocument doc;
  TSavedState saved;

private:
  void Edit(const char* name, const std::function<void()>& action) {
    TDiskSides disk = saved.Begin();
    const TMeshStep* previous = m_index > 0 ? &m_history[m_index - 1].Step : nullptr;
    TMeshStep step = RecordStep(doc, name, previous, action);
    saved.End(step, disk);
    if (!step.ChangesRecords()) return;
    m_history.resize(m_index);
    m_history.push_back({std::move(step), std::move(disk)});
    m_index = m_history.size();
  }

  void Apply(const THistoryEntry& entry, bool undo) {
    std::vector<TBlob> candidates;
    AddCandidates(candidates, entry.Step.FilesBefore);
    AddCandidates(candidates, entry.Step.FilesAfter);
    const TRecordFileSet onDisk = ReadRecordFileSet(candidates);
    if (undo) {
      entry.Step.Undo(doc, onDisk);
      saved.Undone(entry.Step, entry.Disk, true);
    } else {
      entry.Step.Redo(doc, onDisk);
      saved.Redone(entry.Step, entry.Disk, true);
    }
  }

  TConnection m_loaded;
  std::vector<THistoryEntry> m_history;
  size_t m_index = 0;
  int32_t m_nextMat = 2000;  // none of them is the file's 1001
};

struct TSequence {
  const char* Ops;
  const char* Why;
};

class SavedStateSequence : public ::testing::TestWithParam<TSequence> {
protected:
  void SetUp() override {
    home.WriteVert(VertBytes({{0, 0, 0}, {4, 0, 0}, {0, 4, 0}}));
    home.WriteVtnm(VertBytes({{0, 0, 1}}));
    home.WriteFvrt(FvrtBytes({{0, 0, 0, 0}, {1, 0, 1, 0}, {2, 0, 0, 1}}));
    home.WriteFace(FaceBytes({Face(0, 3, 1001)}));
    home.WriteRadi(RadiBytes(4.0f));
  }
  THomeFiles home;
};

TEST_P(SavedStateSequence, ModifiedExactlyWhenTheDocumentDiffersFromTheDisk) {
  TEditorModel editor;
  EXPECT_FALSE(editor.saved.IsModified(editor.doc)) << "right after the first Load";
  const std::string ops = GetParam().Ops;
  for (size_t i = 0; i < ops.size(); ++i) {
    ASSERT_NO_FATAL_FAILURE(editor.Run(ops[i]));
    EXPECT_EQ(editor.saved.IsModified(editor.doc), editor.DiffersFromDisk())
        << "after \"" << ops.substr(0, i + 1) << "\" (" << GetParam().Why << ")";
  }
}

// The letters are those of TEditorModel::Run.
INSTANTIATE_TEST_SUITE_P(
    EditUndoRedoSave, SavedStateSequence,
    ::testing::Values(
        TSequence{"etu", "a saving tool undone puts back the disk without the unsaved edit"},
        TSequence{"etuu", "both undone: memory and disk agree again"},
        TSequence{"etuurr", "redone in turn"},
        TSequence{"esu", "a Save is no step: undoing the edit leaves it on disk"},
        TSequence{"esur", "and redo makes memory match the disk again"},
        TSequence{"ese", "an edit after a Save"}, TSequence{"tu", "a saving tool alone, undone"},
        TSequence{"tur", "and redone"}, TSequence{"el", "a Load drops the edit"},
        TSequence{"elu", "undoing that Load brings the unsaved edit back, unsaved"},
        TSequence{"elur", "redoing the Load"},
        TSequence{"eteu", "an edit on top of a saving tool, undone"},
        TSequence{"etetuu", "two saving tools each after an edit, the later two steps undone"},
        TSequence{"etesuuurrr", "everything undone and redone across a Save"},
        TSequence{"eeutu", "undo, then a saving tool drops the redo branch"}),
    [](const ::testing::TestParamInfo<TSequence>& p) { return std::string("ops_") + p.param.Ops; });

TEST(SavedState, AFailedWriteBackCountsAsModifiedUntilTheNextSave) {
  THomeFiles home;
  home.WriteVert(VertBytes({{1, 2, 3}}));
  home.WriteVtnm({});
  home.WriteFvrt({});
  home.WriteFace({});
  TMeshDocument doc;
  TSavedState saved;
  doc.LoadRecordFiles();
  saved.Holds(doc);
  TDiskSides disk = saved.Begin();
  TMeshStep step = RecordStep(doc, "flipY", nullptr, [&] {
    FlipY(doc);
    saved.Holds(doc);  // the tool's Load
  });
  saved.End(step, disk);
  ASSERT_TRUE(step.WritesFiles());
  step.Undo(doc, ReadRecordFileSet());
  saved.Undone(step, disk, false);
  EXPECT_TRUE(saved.IsModified(doc)) << "the files may hold either side or a mix";
  doc.SaveRecordFiles();
  saved.Holds(doc);
  EXPECT_FALSE(saved.IsModified(doc));
}

TEST(SavedState, FilesWrittenWithoutALoadOrSaveLeaveTheDiskUnknown) {
  THomeFiles home;
  home.WriteVert(VertBytes({{1, 2, 3}}));
  home.WriteVtnm({});
  home.WriteFvrt({});
  home.WriteFace({});
  TMeshDocument doc;
  TSavedState saved;
  doc.LoadRecordFiles();
  saved.Holds(doc);
  TDiskSides disk = saved.Begin();
  // Writes a vertex file that is not the document's records, as a stray tool might.
  TMeshStep step = RecordStep(doc, "stray", nullptr, [&] {
    home.WriteVert(VertBytes({{9, 9, 9}, {1, 1, 1}}));
  });
  saved.End(step, disk);
  EXPECT_TRUE(saved.IsModified(doc));
}

TEST(RefreshChangedLines, RewritesTheLinesOfChangedRecordsAndTheSizeLabel) {
  THomeFiles home;
  home.WriteVert(VertBytes({{1, 2, 3}, {4, 5, 6}}));
  home.WriteVtnm({});
  home.WriteFvrt(FvrtBytes({{0, 0, 0, 0}, {1, 0, 0, 0}, {0, 0, 0, 0}}));
  home.WriteFace(FaceBytes({Face(0, 3, 1001, -4.2f)}));
  TMeshDocument doc;
  doc.LoadRecordFiles();
  const TMeshSnapshot before = TakeSnapshot(doc);
  doc.VERT[1] = {-8, 5, 6};
  doc.FVRT[2].Tx = 0.5f;
  doc.FACE[0].Mat = 1004;
  RefreshChangedLines(doc, before);
  EXPECT_EQ(doc.VertexLines.Line(0), "1.000, 2.000, 3.000");
  EXPECT_EQ(doc.VertexLines.Line(1), "-8.000, 5.000, 6.000");
  EXPECT_EQ(doc.CornerLines.Line(2), "0, tx:0.5, ty:0");
  EXPECT_EQ(doc.FaceLines.Line(0), "[0 1 2], mat: 1004, d=-4.200") << "D stays on the line";
  ASSERT_EQ(doc.MaterialLines.Count(), 2);
  EXPECT_EQ(doc.MaterialLines.Line(1), "1004");
  EXPECT_EQ(doc.SizeLabel(), MakeSizeLabel({-8, 2, 3}, {1, 5, 6}));
}

}  // namespace
