#pragma once
// What the record files on disk hold, kept apart from the position in the undo history.
//
// The document is "modified" when its records differ from those the record files hold (as
// a Load of them would give). Undo and redo move the records, and only some steps move the
// files with them: a step whose action wrote the record files (a Save, every tool that ends
// with Save and Load, "Rip mesh") writes its files back on undo and redo, every other step
// changes memory alone. So the records on disk are not the records of the undo position:
// "cg mat" (memory only), then "Scale!" (saves), then undo gives the unsaved "cg mat"
// records in memory beside the unscaled, un-"cg mat"-ed records on disk.
//
// Each step therefore remembers the disk's records on both of its sides (Begin, before the
// action; End, after it). Undoing or redoing a step that writes files sets the disk to that
// side; any other step leaves the disk as it is. A write back that failed half way leaves
// the disk unknown, and an unknown disk counts as modified until the next Load or Save.
//
// Every action that writes the record files leaves the document holding exactly what it
// wrote or what a Load of it gives (Save, or Save and Load); End relies on that.

#include <optional>

#include "mesh/Snapshot.h"

// The disk's records on both sides of one step (unknown: nullopt).
struct TDiskSides {
  std::optional<TMeshSnapshot> Before, After;
  unsigned Told = 0;  // how often the tracker had been told about the disk at Begin
};

class TSavedState {
public:
  // The disk holds exactly the document's records (after a Load or a Save). Blobs are
  // shared with `share` when equal.
  void Holds(const TMeshDocument& doc, const std::vector<const TMeshSnapshot*>& share = {});
  // Nothing is known about the disk (a write failed half way).
  void Forget();

  // Whether the document's records differ from the disk's (always, when it is unknown).
  bool IsModified(const TMeshDocument& doc) const;
  const std::optional<TMeshSnapshot>& Disk() const { return m_disk; }

  // Before an action that may become a step: the disk as it is now.
  TDiskSides Begin() const;
  // After it, with the recorded step. A Load or Save inside the action has already told
  // this object (Holds); files the action wrote itself are recognised in the step.
  void End(const TMeshStep& step, TDiskSides& sides);

  // After undo (or redo) of `step` put its records back: `applied` is false when writing
  // its files back failed.
  void Undone(const TMeshStep& step, const TDiskSides& sides, bool applied);
  void Redone(const TMeshStep& step, const TDiskSides& sides, bool applied);

private:
  void Moved(const TMeshStep& step, const TRecordFileSet& files,
             const std::optional<TMeshSnapshot>& side, bool applied);

  std::optional<TMeshSnapshot> m_disk;
  unsigned m_told = 0;  // counts Holds and Forget
};

// Whether two snapshots hold the same records and radius.
bool SameRecords(const TMeshSnapshot& a, const TMeshSnapshot& b);
