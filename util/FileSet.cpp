#include "util/FileSet.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include "util/Exception.h"
#include "util/FileIo.h"
#include "util/Platform.h"
#include "util/StrTools.h"

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

// "<base-or-its-start>.tmp-XXXXXXXXXX" (or ".old-") beside `file`, the last part one that
// the writer makes (util/FileIo.h).
bool IsHelperOf(const std::string& file, const std::string& helper, const char* marker) {
  if (FolderOf(file) != FolderOf(helper)) return false;
  constexpr size_t kHelperBytes = 5 + kTempSuffixChars;
  const std::string base = BaseOf(file), name = BaseOf(helper);
  if (name.size() < kHelperBytes || name.compare(name.size() - kHelperBytes, 5, marker) != 0)
    return false;
  if (!IsTempSuffix(std::string_view(name).substr(name.size() - kTempSuffixChars))) return false;
  const std::string stem = name.substr(0, name.size() - kHelperBytes);
  // The writer shortens only a name that would not fit the 255-byte limit with the suffix.
  if (stem == base) return true;
  return base.size() + kHelperBytes > 255 && stem.size() == 255 - kHelperBytes &&
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

// A hard link keeps each previous file for putting it back.
void LinkBackups(std::vector<TEntry>& entries) {
  for (TEntry& e : entries) {
    const std::string backup = Sibling(e.Temp, ".old-");
    if (platform::HardLink(e.File, backup) == 0) e.Backup = backup;
  }
}

// Renames every temporary file into place. When one fails, the files renamed before it get
// their previous files back (or are removed when there was none), the temporary files left
// are removed, and so is the journal when there is one; then the error names the file.
void RenameAll(const std::vector<TEntry>& entries, const std::string& folder,
               const std::string& journal) {
  for (size_t i = 0; i < entries.size(); ++i) {
    if (Rename(entries[i].Temp.c_str(), entries[i].File.c_str()) == 0) continue;
    const int err = errno;
    for (size_t j = 0; j < i; ++j) {
      if (!entries[j].Backup.empty())
        platform::RenameOver(entries[j].Backup, entries[j].File);
      else
        platform::RemoveFile(entries[j].File);
    }
    for (size_t j = i; j < entries.size(); ++j) platform::RemoveFile(entries[j].Temp);
    if (!journal.empty()) {
      platform::RemoveFile(journal);
      SyncFolder(folder);
    }
    throw EInOutError("Cannot replace file \"" + QuotePathForMessage(entries[i].File) + "\": " +
                      SystemErrorText(err) + "; the files replaced before it were put back");
  }
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
        throw EInOutError("Cannot complete the saved files named in \"" +
                          QuotePathForMessage(journal) + "\": cannot rename \"" +
                          QuotePathForMessage(e.Temp) + "\" to \"" + QuotePathForMessage(e.File) +
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
    entries.push_back({w.TargetPath(), w.TempPath(), {}});
  }
  LinkBackups(entries);
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
  RenameAll(entries, folder, journal);
  SyncFolder(folder);
  platform::RemoveFile(journal);
}

void CommitTogether(const std::vector<TAtomicFileWriter*>& writers) {
  std::vector<TEntry> entries;
  for (TAtomicFileWriter* w : writers) {
    w->Finish();
    entries.push_back({w->TargetPath(), w->TempPath(), {}});
  }
  LinkBackups(entries);
  try {
    RenameAll(entries, {}, {});
  } catch (...) {
    RemoveBackups(entries);
    throw;
  }
  RemoveBackups(entries);
}
