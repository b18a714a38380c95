#include "util/FileSet.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "util/Exception.h"
#include "util/FileIo.h"
#include "util/Platform.h"

namespace {

TRenameFunction g_rename = nullptr;

int Rename(const char* from, const char* to) {
  return g_rename ? g_rename(from, to) : platform::RenameOver(from, to);
}

// A journal names a handful of files; anything larger is not one of ours.
constexpr uint64_t kMaxJournalBytes = 64 * 1024;

struct TEntry {
  std::string File, Temp, Backup;  // Backup "" when there was no previous file
};

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of(platform::kSeparators);
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  const size_t slash = path.find_last_of(platform::kSeparators);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The temporary file of `file` with its ".tmp-" replaced by `marker`.
std::string Sibling(const std::string& temp, const char* marker) {
  const size_t at = temp.rfind(".tmp-");
  return temp.substr(0, at) + marker + temp.substr(at + 5);
}

// "<base-or-its-start>.tmp-XXXXXX" (or ".old-") beside `file`.
bool IsHelperOf(const std::string& file, const std::string& helper, const char* marker) {
  if (FolderOf(file) != FolderOf(helper)) return false;
  const std::string base = BaseOf(file), name = BaseOf(helper);
  if (name.size() < 11 || name.compare(name.size() - 11, 5, marker) != 0) return false;
  const std::string stem = name.substr(0, name.size() - 11);
  // The writer shortens only a name that would not fit the 255-byte limit with the suffix.
  if (stem == base) return true;
  return base.size() + 11 > 255 && stem.size() == 255 - 11 &&
         base.compare(0, stem.size(), stem) == 0;
}

bool ParseJournal(const std::string& text, std::vector<TEntry>& entries) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) return false;
    const std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    const size_t t1 = line.find('\t');
    const size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    if (t2 == std::string::npos) return false;
    TEntry e{line.substr(0, t1), line.substr(t1 + 1, t2 - t1 - 1), line.substr(t2 + 1)};
    if (e.Backup == "-") e.Backup.clear();
    if (!IsHelperOf(e.File, e.Temp, ".tmp-")) return false;
    if (!e.Backup.empty() && !IsHelperOf(e.File, e.Backup, ".old-")) return false;
    entries.push_back(std::move(e));
  }
  return !entries.empty();
}

void RemoveBackups(const std::vector<TEntry>& entries) {
  for (const TEntry& e : entries) {
    if (!e.Backup.empty()) platform::RemoveFile(e.Backup);
  }
}

// Removes "<name>.tmp-XXXXXX" and "<name>.old-XXXXXX" of the set's names and its journal
// left by a killed run.
void RemoveStrays(const std::string& folder, const std::string& journalName,
                  const std::vector<TFileSetItem>& items) {
  std::vector<std::string> files{folder + "/" + journalName};
  for (const TFileSetItem& item : items) files.push_back(folder + "/" + BaseOf(item.Path));
  std::vector<std::string> doomed;
  for (const std::string& name : platform::FolderEntries(folder)) {
    const std::string path = folder + "/" + name;
    for (const std::string& file : files) {
      if (IsHelperOf(file, path, ".tmp-") || IsHelperOf(file, path, ".old-"))
        doomed.push_back(path);
    }
  }
  for (const std::string& p : doomed) platform::RemoveFile(p);
}

}  // namespace

void SetFileSetRenameForTests(TRenameFunction rename) { g_rename = rename; }

bool RecoverFileSet(const std::string& folder, const std::string& journalName) {
  const std::string journal = folder + "/" + journalName;
  if (!platform::Exists(journal)) return false;
  std::vector<TEntry> entries;
  bool valid = false;
  try {
    const std::vector<uint8_t> bytes = ReadWholeFile(journal, kMaxJournalBytes);
    valid = ParseJournal(std::string(bytes.begin(), bytes.end()), entries);
  } catch (const EInOutError&) {
    valid = false;
  }
  if (valid) {
    // A temporary file that is gone was renamed before the kill.
    for (const TEntry& e : entries) {
      if (platform::Exists(e.Temp) && Rename(e.Temp.c_str(), e.File.c_str()) != 0) {
        throw EInOutError("Cannot complete the saved files named in \"" + journal +
                          "\": cannot rename \"" + e.Temp + "\" to \"" + e.File +
                          "\": " + SystemErrorText(errno));
      }
    }
    SyncFolder(folder);
    RemoveBackups(entries);
  }
  platform::RemoveFile(journal);
  return true;
}

void WriteFileSet(const std::string& folder, const std::string& journalName,
                  const std::vector<TFileSetItem>& items) {
  RecoverFileSet(folder, journalName);
  RemoveStrays(folder, journalName, items);

  std::vector<std::unique_ptr<TAtomicFileWriter>> writers;
  std::vector<TEntry> entries;
  for (const TFileSetItem& item : items) {
    writers.push_back(std::make_unique<TAtomicFileWriter>(item.Path, TFileSync::Durable));
    TAtomicFileWriter& w = *writers.back();
    if (item.Size > 0) w.Write(item.Data, item.Size);
    w.Finish();
    TEntry e{w.TargetPath(), w.TempPath(), {}};
    const std::string backup = Sibling(e.Temp, ".old-");
    if (platform::HardLink(e.File, backup) == 0) e.Backup = backup;
    entries.push_back(std::move(e));
  }
  struct TCleanup {
    std::vector<TEntry>* entries;
    bool active = true;
    ~TCleanup() {
      if (active) RemoveBackups(*entries);
    }
  } cleanup{&entries};

  std::string journalText;
  for (const TEntry& e : entries) {
    journalText += e.File + "\t" + e.Temp + "\t" + (e.Backup.empty() ? "-" : e.Backup) + "\n";
  }
  const std::string journal = folder + "/" + journalName;
  WriteFileAtomic(journal, journalText.data(), journalText.size(), TFileSync::Durable);

  for (size_t i = 0; i < entries.size(); ++i) {
    if (Rename(entries[i].Temp.c_str(), entries[i].File.c_str()) == 0) continue;
    const int err = errno;
    // Put the renamed files back: the set stays the old one.
    for (size_t j = 0; j < i; ++j) {
      if (!entries[j].Backup.empty())
        platform::RenameOver(entries[j].Backup, entries[j].File);
      else
        platform::RemoveFile(entries[j].File);
    }
    for (size_t j = i; j < entries.size(); ++j) platform::RemoveFile(entries[j].Temp);
    platform::RemoveFile(journal);
    SyncFolder(folder);
    throw EInOutError("Cannot replace file \"" + entries[i].File + "\": " + SystemErrorText(err) +
                      "; the files replaced before it were put back");
  }
  SyncFolder(folder);
  platform::RemoveFile(journal);
}
