#include "mesh/Snapshot.h"

#include <fcntl.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "util/FileIo.h"
#include "util/Paths.h"

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

// Reads at most `limit` bytes of `path`; false when it cannot be opened or read. `whole` is
// cleared when the file is longer than the limit.
bool ReadBounded(const std::string& path, size_t limit, std::vector<uint8_t>& out, bool& whole) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out.assign(limit + 1, 0);
  size_t have = 0;
  bool ok = true;
  while (have < limit + 1) {
    const ssize_t n = ::read(fd, out.data() + have, limit + 1 - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0) break;
    have += static_cast<size_t>(n);
  }
  ::close(fd);
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
      : m_lists{&doc.ListBox1, &doc.ListBox2, &doc.ListBox3, &doc.ListBox4, &doc.ListBox5} {
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
      throw EInOutError("Cannot delete file \"" + path + "\": " + SystemErrorText(errno));
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

TMeshStep RecordStep(TMeshDocument& doc, std::string name, const TMeshStep* previous,
                     const std::function<void()>& action) {
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
  try {
    action();
  } catch (...) {
    if (!SnapshotMatches(doc, step.Before)) RestoreSnapshot(doc, step.Before);
    throw;
  }
  step.After = TakeSnapshot(doc, {&step.Before});
  AddCandidates(candidates, step.After);
  step.FilesAfter = ReadRecordFileSet(candidates);
  return step;
}
