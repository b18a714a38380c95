#include "mesh/Snapshot.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "util/FileIo.h"
#include "util/Paths.h"
#include "util/Platform.h"
#include "util/StrTools.h"

bool SameBytes(const TBlob& a, const TBlob& b) {
  if (a == b) return true;
  if (!a || !b) return false;
  return *a == *b;
}

TBlob ShareBlob(const void* data, size_t size, const std::vector<TBlob>& candidates) {
  for (const TBlob& c : candidates)
    if (c && c->size() == size && (size == 0 || std::memcmp(c->data(), data, size) == 0)) return c;
  const auto* bytes = static_cast<const uint8_t*>(data);
  return std::make_shared<const std::vector<uint8_t>>(bytes, bytes + size);
}

void AddCandidates(std::vector<TBlob>& out, const TMeshSnapshot& snap) {
  for (const TBlob& b : snap.Arrays)
    if (b) out.push_back(b);
}

void AddCandidates(std::vector<TBlob>& out, const TRecordFileSet& files) {
  for (const TBlob& b : files.Files)
    if (b) out.push_back(b);
}

namespace {

template <class T>
std::pair<const void*, size_t> ArrayBytes(const std::unique_ptr<T[]>& a, int32_t count) {
  return {a.get(), static_cast<size_t>(count < 0 ? 0 : count) * sizeof(T)};
}

std::array<std::pair<const void*, size_t>, 4> DocumentArrays(const TMeshDocument& doc) {
  return {ArrayBytes(doc.VERT, doc.NumVert), ArrayBytes(doc.VTNM, doc.NumVtnm),
          ArrayBytes(doc.FVRT, doc.NumFvrt), ArrayBytes(doc.FACE, doc.NumFace)};
}

bool SameFloatBits(float a, float b) {
  return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

// Hands every whole record of `blob` to `add`.
template <class TRecord, class TAdd>
void ForEachRecord(const TBlob& blob, TAdd add) {
  if (!blob) return;
  TRecord rec;
  for (size_t off = 0; off + sizeof(TRecord) <= blob->size(); off += sizeof(TRecord)) {
    std::memcpy(&rec, blob->data() + off, sizeof rec);
    add(rec);
  }
}

constexpr std::array<size_t, 5> kRecordSizes = {sizeof(TPoint3), sizeof(TPoint3),
                                                sizeof(TFvrtRecord), sizeof(TFaceRecord), 4};

}  // namespace

size_t ChangedRecords(const TBlob& before, const TBlob& after, size_t recordSize) {
  const size_t n0 = before ? before->size() / recordSize : 0;
  const size_t n1 = after ? after->size() / recordSize : 0;
  size_t changed = n0 > n1 ? n0 - n1 : n1 - n0;
  for (size_t i = 0; i < std::min(n0, n1); ++i) {
    if (std::memcmp(before->data() + i * recordSize, after->data() + i * recordSize, recordSize) !=
        0)
      ++changed;
  }
  return changed;
}

std::string ChangedRecordsText(const std::array<TBlob, 4>& before,
                               const std::array<TBlob, 4>& after) {
  static const char* const kOne[] = {"vertex", "normal", "corner", "face"};
  static const char* const kMany[] = {"vertices", "normals", "corners", "faces"};
  std::string text;
  for (size_t i = 0; i < 4; ++i) {
    const size_t n = ChangedRecords(before[i], after[i], kRecordSizes[i]);
    if (n == 0) continue;
    if (!text.empty()) text += ", ";
    text += std::to_string(n) + " " + (n == 1 ? kOne[i] : kMany[i]);
  }
  return text;
}

namespace {

// Reads at most `limit` bytes of `path`; false when it cannot be opened or read. `whole` is
// cleared when the file is longer than the limit.
bool ReadBounded(const std::string& path, size_t limit, std::vector<uint8_t>& out, bool& whole) {
  const int fd = platform::OpenRead(path);
  if (fd < 0) return false;
  out.assign(limit + 1, 0);
  size_t have = 0;
  bool ok = true;
  while (have < limit + 1) {
    const int64_t n = platform::ReadSome(fd, out.data() + have, limit + 1 - have);
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    have += static_cast<size_t>(n);
  }
  platform::Close(fd);
  if (have > limit) {
    whole = false;
    have = limit;
  }
  out.resize(have);
  return ok;
}

}  // namespace

TMeshSnapshot TakeSnapshot(const TMeshDocument& doc,
                           const std::vector<const TMeshSnapshot*>& share) {
  std::vector<TBlob> candidates;
  for (const TMeshSnapshot* s : share)
    if (s) AddCandidates(candidates, *s);
  TMeshSnapshot snap;
  const auto arrays = DocumentArrays(doc);
  for (size_t i = 0; i < arrays.size(); ++i)
    snap.Arrays[i] = ShareBlob(arrays[i].first, arrays[i].second, candidates);
  snap.Radius = doc.Radius;
  snap.BoxMin = doc.BoxMin();
  snap.BoxMax = doc.BoxMax();
  snap.SizeLabel = doc.SizeLabel();
  snap.RadiusLabel = doc.RadiusLabel();
  return snap;
}

bool SnapshotMatches(const TMeshDocument& doc, const TMeshSnapshot& snap) {
  if (!SameFloatBits(doc.Radius, snap.Radius)) return false;
  const auto arrays = DocumentArrays(doc);
  for (size_t i = 0; i < arrays.size(); ++i) {
    const TBlob& b = snap.Arrays[i];
    const size_t size = b ? b->size() : 0;
    if (size != arrays[i].second) return false;
    if (size != 0 && std::memcmp(b->data(), arrays[i].first, size) != 0) return false;
  }
  return true;
}

namespace {

// Ends the list updates even when a restore stops on an error, as a Load does.
class TListUpdates {
public:
  explicit TListUpdates(TMeshDocument& doc)
      : m_lists{&doc.VertexLines, &doc.NormalLines, &doc.CornerLines, &doc.FaceLines,
                &doc.MaterialLines} {
    for (TListLines* l : m_lists) l->BeginUpdate();
  }
  ~TListUpdates() {
    for (TListLines* l : m_lists) l->EndUpdate();
  }

private:
  std::array<TListLines*, 5> m_lists;
};

}  // namespace

void RestoreSnapshot(TMeshDocument& doc, const TMeshSnapshot& snap) {
  {
    TListUpdates updating(doc);
    // Clear() reports the emptied lists; the one report comes after the rebuild.
    {
      TSignalBlocker quiet(doc.OnListsChanged);
      doc.Clear();
    }
    {
      TMeshDocument::TLoadingScope loading(doc);
      ForEachRecord<TPoint3>(snap.Arrays[0], [&doc](const TPoint3& p) { doc.AddVert(p); });
      ForEachRecord<TPoint3>(snap.Arrays[1], [&doc](const TPoint3& n) { doc.AddVtnm(n); });
      ForEachRecord<TFvrtRecord>(snap.Arrays[2], [&doc](const TFvrtRecord& r) { doc.AddFvrt(r); });
      ForEachRecord<TFaceRecord>(snap.Arrays[3], [&doc](const TFaceRecord& f) { doc.AddFace(f); });
    }
    doc.Radius = snap.Radius;
    doc.RestoreLoadResults(snap.BoxMin, snap.BoxMax, snap.SizeLabel, snap.RadiusLabel);
  }
  doc.OnListsChanged.Emit();
  doc.OnRepaint.Emit();
}

bool TRecordFileSet::operator==(const TRecordFileSet& other) const {
  if (Complete != other.Complete) return false;
  for (size_t i = 0; i < Files.size(); ++i)
    if (!SameBytes(Files[i], other.Files[i])) return false;
  return true;
}

TRecordFileSet ReadRecordFileSet(const std::vector<TBlob>& candidates) {
  TRecordFileSet set;
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < kRecordFileNames.size(); ++i) {
    const size_t limit =
        i == 4 ? kMaxRadiBytes : (static_cast<size_t>(MeshCapacity) + 1) * kRecordSizes[i];
    if (ReadBounded(HomeFile(kRecordFileNames[i]), limit, bytes, set.Complete))
      set.Files[i] = ShareBlob(bytes.data(), bytes.size(), candidates);
  }
  return set;
}

size_t TMeshStep::OwnBytes(const TMeshStep* previous) const {
  std::unordered_set<const void*> seen;
  auto mark = [&seen](const TBlob& b) {
    if (b) seen.insert(b.get());
  };
  if (previous) {
    for (const TBlob& b : previous->Before.Arrays) mark(b);
    for (const TBlob& b : previous->After.Arrays) mark(b);
    for (const TBlob& b : previous->FilesBefore.Files) mark(b);
    for (const TBlob& b : previous->FilesAfter.Files) mark(b);
  }
  size_t bytes = 0;
  auto count = [&](const TBlob& b) {
    if (b && seen.insert(b.get()).second) bytes += b->size();
  };
  for (const TBlob& b : Before.Arrays) count(b);
  for (const TBlob& b : After.Arrays) count(b);
  for (const TBlob& b : FilesBefore.Files) count(b);
  for (const TBlob& b : FilesAfter.Files) count(b);
  return bytes;
}

void TMeshStep::Apply(TMeshDocument& doc, const TMeshSnapshot& snap, const TRecordFileSet& files,
                      const TRecordFileSet& current) const {
  RestoreSnapshot(doc, snap);
  // An incomplete set (a file beyond its read bound) is never written back.
  if (!WritesFiles() || files == current || !files.Complete) return;
  std::array<bool, 5> written{};
  bool fourAreRecords = true;
  for (size_t i = 0; i < 4; ++i)
    fourAreRecords = fourAreRecords && SameBytes(files.Files[i], snap.Arrays[i]);
  if (fourAreRecords) {
    doc.SaveRecordFiles();
    written = {true, true, true, true, false};
  }
  for (size_t i = 0; i < files.Files.size(); ++i) {
    if (written[i] || SameBytes(files.Files[i], current.Files[i])) continue;
    const std::string path = HomeFile(kRecordFileNames[i]);
    if (files.Files[i]) {
      WriteFileAtomic(path, files.Files[i]->data(), files.Files[i]->size());
    } else if (std::remove(path.c_str()) != 0 && errno != ENOENT) {
      throw EInOutError("Cannot delete file \"" + QuotePathForMessage(path) +
                        "\": " + SystemErrorText(errno));
    }
  }
}

bool TMeshStep::ChangesRecords() const {
  if (!SameFloatBits(Before.Radius, After.Radius)) return true;
  for (size_t i = 0; i < Before.Arrays.size(); ++i)
    if (!SameBytes(Before.Arrays[i], After.Arrays[i])) return true;
  return false;
}

bool FilesHoldRecords(const TRecordFileSet& files, const TMeshSnapshot& snap) {
  for (size_t i = 0; i < 4; ++i)
    if (!SameBytes(files.Files[i], snap.Arrays[i])) return false;
  return files.Complete;
}

TMeshStep BeginStep(const TMeshDocument& doc, std::string name, const TMeshStep* previous) {
  TMeshStep step;
  step.Name = std::move(name);
  std::vector<TBlob> candidates;
  if (previous) {
    AddCandidates(candidates, previous->After);
    AddCandidates(candidates, previous->FilesAfter);
  }
  step.Before = TakeSnapshot(doc, {previous ? &previous->After : nullptr});
  AddCandidates(candidates, step.Before);
  step.FilesBefore = ReadRecordFileSet(candidates);
  return step;
}

void EndStep(const TMeshDocument& doc, TMeshStep& step, const TMeshStep* previous) {
  std::vector<TBlob> candidates;
  if (previous) AddCandidates(candidates, previous->FilesAfter);
  AddCandidates(candidates, step.Before);
  AddCandidates(candidates, step.FilesBefore);
  step.After = TakeSnapshot(doc, {&step.Before});
  AddCandidates(candidates, step.After);
  step.FilesAfter = ReadRecordFileSet(candidates);
}

TMeshStep RecordStep(TMeshDocument& doc, std::string name, const TMeshStep* previous,
                     const std::function<void()>& action) {
  TMeshStep step = BeginStep(doc, std::move(name), previous);
  try {
    action();
  } catch (...) {
    if (!SnapshotMatches(doc, step.Before)) RestoreSnapshot(doc, step.Before);
    throw;
  }
  EndStep(doc, step, previous);
  return step;
}

namespace {

// Calls `changed(i)` for every record i of the document's array that is new or differs
// from the same record in `before`.
template <class TRecord, class TChanged>
void ForEachChanged(const std::unique_ptr<TRecord[]>& records, int32_t count, const TBlob& before,
                    TChanged changed) {
  const size_t old = before ? before->size() / sizeof(TRecord) : 0;
  for (int32_t i = 0; i < count; ++i) {
    const auto at = static_cast<size_t>(i);
    if (at >= old ||
        std::memcmp(&records[i], before->data() + at * sizeof(TRecord), sizeof(TRecord)) != 0)
      changed(i);
  }
}

void ReplaceIfDifferent(TListLines& list, int i, std::string text) {
  if (i < list.Count() && list.Line(i) != text) list.ReplaceLine(i, std::move(text));
}

}  // namespace

void RefreshChangedLines(TMeshDocument& doc, const TMeshSnapshot& before) {
  bool vertexChanged = false;
  ForEachChanged(doc.VERT, doc.NumVert, before.Arrays[0], [&](int32_t i) {
    vertexChanged = true;
    ReplaceIfDifferent(doc.VertexLines, i, TMeshDocument::VertLineText(doc.VERT[i]));
  });
  ForEachChanged(doc.VTNM, doc.NumVtnm, before.Arrays[1], [&](int32_t i) {
    ReplaceIfDifferent(doc.NormalLines, i, TMeshDocument::VertLineText(doc.VTNM[i]));
  });
  ForEachChanged(doc.FVRT, doc.NumFvrt, before.Arrays[2], [&](int32_t i) {
    ReplaceIfDifferent(doc.CornerLines, i, TMeshDocument::FvrtLineText(doc.FVRT[i], doc.ShowData));
  });
  ForEachChanged(doc.FACE, doc.NumFace, before.Arrays[3], [&](int32_t i) {
    ReplaceIfDifferent(doc.FaceLines, i, TMeshDocument::FaceLineText(doc.FACE[i]));
    if (doc.ShowData) doc.AddMaterialLine(doc.FACE[i].Mat);
  });
  const size_t oldVerts = before.Arrays[0] ? before.Arrays[0]->size() / sizeof(TPoint3) : 0;
  if (!vertexChanged && oldVerts == static_cast<size_t>(std::max(0, doc.NumVert))) return;
  // The box as Load computes it: the maximum starts at zero, the minimum at 10000.
  TPoint3 lo{10000.0f, 10000.0f, 10000.0f}, hi{0.0f, 0.0f, 0.0f};
  for (int32_t i = 0; i < doc.NumVert; ++i) {
    const TPoint3& p = doc.VERT[i];
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
  }
  doc.RestoreLoadResults(lo, hi, MakeSizeLabel(lo, hi), doc.RadiusLabel());
}
