#include "mesh/SavedState.h"

#include <bit>
#include <cstdint>

bool SameRecords(const TMeshSnapshot& a, const TMeshSnapshot& b) {
  if (std::bit_cast<uint32_t>(a.Radius) != std::bit_cast<uint32_t>(b.Radius)) return false;
  for (size_t i = 0; i < a.Arrays.size(); ++i)
    if (!SameBytes(a.Arrays[i], b.Arrays[i])) return false;
  return true;
}

void TSavedState::Holds(const TMeshDocument& doc, const std::vector<const TMeshSnapshot*>& share) {
  std::vector<const TMeshSnapshot*> candidates = share;
  if (m_disk) candidates.push_back(&*m_disk);
  m_disk = TakeSnapshot(doc, candidates);
  ++m_told;
}

void TSavedState::Forget() {
  m_disk.reset();
  ++m_told;
}

bool TSavedState::IsModified(const TMeshDocument& doc) const {
  return !m_disk || !SnapshotMatches(doc, *m_disk);
}

TDiskSides TSavedState::Begin() const { return {m_disk, std::nullopt, m_told}; }

void TSavedState::End(const TMeshStep& step, TDiskSides& sides) {
  if (FilesHoldRecords(step.FilesAfter, step.After)) {
    m_disk = step.After;  // a Save of these very records
  } else if (step.WritesFiles() && m_told == sides.Told) {
    // Files were written, and neither a Load nor a Save said what they now hold.
    m_disk.reset();
  } else if (m_disk && SameRecords(*m_disk, step.After)) {
    m_disk = step.After;  // the same records: keep one copy
  }
  sides.After = m_disk;
}

void TSavedState::Undone(const TMeshStep& step, const TDiskSides& sides, bool applied) {
  Moved(step, step.FilesBefore, sides.Before, applied);
}

void TSavedState::Redone(const TMeshStep& step, const TDiskSides& sides, bool applied) {
  Moved(step, step.FilesAfter, sides.After, applied);
}

void TSavedState::Moved(const TMeshStep& step, const TRecordFileSet& files,
                        const std::optional<TMeshSnapshot>& side, bool applied) {
  // A step that wrote no files moves memory alone; an incomplete file set is never written
  // back (TMeshStep), so the disk keeps what it holds.
  if (!step.WritesFiles() || !files.Complete) return;
  ++m_told;
  if (applied)
    m_disk = side;
  else
    m_disk.reset();
}
