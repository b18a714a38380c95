#pragma once
// Copies of the model for undo and redo, and the "unsaved changes" test.
//
// A step of the editor's history keeps the document's records before and after the action
// (TMeshSnapshot) and, when the action wrote the record files (every tool that ends with
// Save, "Rip mesh"), the files' bytes before and after (TRecordFileSet). Undo puts the
// records back and, for such a step, the files too, so that the files on disk match what
// the user sees again bit for bit; redo does the same with the "after" side.
//
// Memory. Every array and file is an immutable, shared blob. A new copy is shared with any
// candidate that holds the same bytes (the previous step's copies, the other side of the
// step, the file that was just saved from the array), so a step costs only the arrays its
// action really changed: "flipY" on a full model keeps one VERT array (393 KB), and a step
// that changes every array of a full model about 2.2 MB. More only when the document or the
// files changed outside the history between two steps (the tool window's rotations), or
// when the files hold bytes that are not the records (a short final record, a ripped
// radi.kvt). With the window layer's limit of kUndoSteps steps the history therefore stays
// near kUndoSteps x 2.2 MB at worst, and a few MB for ordinary editing.
//
// The record files are read bounded: at most one record more than the capacity (radi.kvt:
// kMaxRadiBytes). A file longer than that is marked incomplete and an undo never writes an
// incomplete set back; it leaves those files as they are.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mesh/MeshDocument.h"

constexpr int kUndoSteps = 100;
constexpr size_t kMaxRadiBytes = 4096;

using TBlob = std::shared_ptr<const std::vector<uint8_t>>;

// Whether two blobs hold the same bytes; two null blobs are equal, a null and an empty one
// are not (a missing file is not an empty one).
bool SameBytes(const TBlob& a, const TBlob& b);

// Makes a blob of `size` bytes at `data`, or returns the first candidate with those bytes.
TBlob ShareBlob(const void* data, size_t size, const std::vector<TBlob>& candidates);

struct TMeshSnapshot {
  std::array<TBlob, 4> Arrays;  // VERT, VTNM, FVRT, FACE: count x record size bytes
  float Radius = 1.0f;
  TPoint3 BoxMin{10000.0f, 10000.0f, 10000.0f};
  TPoint3 BoxMax{0.0f, 0.0f, 0.0f};
  std::string SizeLabel;
  std::string RadiusLabel;
};

// Copies the document's records; arrays equal to a candidate's are shared with it.
TMeshSnapshot TakeSnapshot(const TMeshDocument& doc,
                           const std::vector<const TMeshSnapshot*>& share = {});

// Puts the records back and rebuilds the five lists as a Load would (with the document's
// ShowData), restores the radius, box and labels, then calls OnListsChanged and OnRepaint.
// OnLoaded is not called: undo keeps the user's view.
void RestoreSnapshot(TMeshDocument& doc, const TMeshSnapshot& snap);

// Whether the document holds exactly the snapshot's records and radius.
bool SnapshotMatches(const TMeshDocument& doc, const TMeshSnapshot& snap);

// The five record files (table order of kRecordFileNames); a null blob for a missing file.
struct TRecordFileSet {
  std::array<TBlob, 5> Files;
  bool Complete = true;  // false when a file was longer than its read bound
  bool operator==(const TRecordFileSet& other) const;
};

inline constexpr std::array<const char*, 5> kRecordFileNames = {kVertFile, kVtnmFile, kFvrtFile,
                                                                kFaceFile, kRadiFile};

// Reads the record files of the home folder; blobs equal to a candidate are shared with it.
// A file that cannot be read counts as missing.
TRecordFileSet ReadRecordFileSet(const std::vector<TBlob>& candidates = {});

// Every blob of a snapshot or a file set, as candidates for sharing.
void AddCandidates(std::vector<TBlob>& out, const TMeshSnapshot& snap);
void AddCandidates(std::vector<TBlob>& out, const TRecordFileSet& files);

// One undoable change of the document.
struct TMeshStep {
  std::string Name;
  TMeshSnapshot Before, After;
  TRecordFileSet FilesBefore, FilesAfter;

  // Whether the action wrote record files (and undo/redo therefore write them back).
  bool WritesFiles() const { return !(FilesBefore == FilesAfter); }
  // Restore Before (or After) and, when the action wrote files, the files of that side
  // where they differ from `onDisk` (what the record files hold now). The files go through
  // the document's own Save when they hold exactly its records, so they change together as
  // a Save changes them; other bytes (a ripped radi.kvt, a short final record) are written
  // file by file. Raises EInOutError when a file cannot be written; the document then
  // already holds the restored records.
  void Undo(TMeshDocument& doc, const TRecordFileSet& onDisk) const {
    Apply(doc, Before, FilesBefore, onDisk);
  }
  void Redo(TMeshDocument& doc, const TRecordFileSet& onDisk) const {
    Apply(doc, After, FilesAfter, onDisk);
  }

  // Whether the action changed the document's records or radius.
  bool ChangesRecords() const;
  // Bytes of the blobs this step holds that `previous` (may be null) does not hold.
  size_t OwnBytes(const TMeshStep* previous) const;

private:
  void Apply(TMeshDocument& doc, const TMeshSnapshot& snap, const TRecordFileSet& files,
             const TRecordFileSet& current) const;
};

// Whether the files hold exactly the snapshot's records (what a Save of it writes).
bool FilesHoldRecords(const TRecordFileSet& files, const TMeshSnapshot& snap);

// Runs `action` as one step: reads the files and takes the records before, runs it, reads
// and takes them after; every blob is shared with `previous` (may be null) and across the
// step. When `action` raises, the document's records are put back as they were (files
// the action already wrote stay) and the error propagates.
TMeshStep RecordStep(TMeshDocument& doc, std::string name, const TMeshStep* previous,
                     const std::function<void()>& action);

// RecordStep in two halves, for a change that spans many events (the tool window's spin,
// from its start to its stop): BeginStep takes the records and files before, EndStep after.
TMeshStep BeginStep(const TMeshDocument& doc, std::string name, const TMeshStep* previous);
void EndStep(const TMeshDocument& doc, TMeshStep& step, const TMeshStep* previous);

// The records that differ between two states of one array of `recordSize`-byte records:
// those of `after` that are new or differ from `before`, plus those `before` had beyond the
// end of `after`. A null blob holds no records; bytes short of a whole record are no record.
size_t ChangedRecords(const TBlob& before, const TBlob& after, size_t recordSize);

// The undo's account of a change: "1 face", "3 vertices" for each of the arrays VERT,
// VTNM, FVRT and FACE (in that order) whose records differ, joined by ", "; empty when
// none does.
std::string ChangedRecordsText(const std::array<TBlob, 4>& before,
                               const std::array<TBlob, 4>& after);

// Makes every list line show its record as it is now: the lines of the records that
// differ from `before` are written anew (a replaced line keeps its place; lines the lists
// do not have, with "Show Data" off, stay absent), the material list gets the new ids,
// and when a vertex changed, the box and the size label are those of the vertices now.
void RefreshChangedLines(TMeshDocument& doc, const TMeshSnapshot& before);
