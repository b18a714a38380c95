#include "util/FileIo.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string_view>

#include "util/Exception.h"
#include "util/Platform.h"
#include "util/StrTools.h"

using platform::TFileKind;
using platform::TFileStatus;

std::string SystemErrorText(int err) { return std::strerror(err); }

std::string platform::FileKindText(TFileKind kind) {
  switch (kind) {
    case TFileKind::Folder:
      return "a folder";
    case TFileKind::Fifo:
      return "a FIFO";
    case TFileKind::CharDevice:
      return "a character device";
    case TFileKind::BlockDevice:
      return "a block device";
    case TFileKind::Socket:
      return "a socket";
    case TFileKind::Link:
      return "a symbolic link";
    case TFileKind::Missing:
      return "a missing file";
    case TFileKind::Other:
      return "a special file";
    case TFileKind::Regular:
      break;
  }
  return "a regular file";
}

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
  throw EInOutError(what + " \"" + QuotePathForMessage(path) + "\": " + SystemErrorText(err));
}

[[noreturn]] void NotRegular(const std::string& what, const std::string& path, TFileKind kind) {
  throw EInOutError(what + " \"" + QuotePathForMessage(path) + "\": it is " +
                    platform::FileKindText(kind) + ", not a regular file");
}

size_t LastSeparator(const std::string& path) { return path.find_last_of(platform::kSeparators); }

std::string FolderOf(const std::string& path) {
  const size_t slash = LastSeparator(path);
  if (slash == std::string::npos) return ".";
  // The root keeps its separator: "/" and "C:\" (a bare "C:" is the drive's current folder).
  if (slash == 0 || (slash == 2 && platform::IsAbsolutePath(path.substr(0, 3))))
    return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

// "folder/name", without doubling the root's separator.
std::string InFolder(const std::string& folder, const std::string& name) {
  if (!folder.empty() && platform::IsSeparator(folder.back())) return folder + name;
  return folder + "/" + name;
}

// Linux's limit for one name in a folder.
constexpr size_t kMaxNameBytes = 255;
constexpr char kTempMarker[] = ".tmp-";
constexpr size_t kTempSuffixBytes = sizeof kTempMarker - 1 + kTempSuffixChars;
constexpr size_t kRandomChars = 6;
constexpr char kNameChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr uint32_t kNameCharCount = sizeof kNameChars - 1;

// The characters that follow the six random ones: a keyed hash (FNV-1a) of them, so that a
// name a user gives a file of their own ("house.glb.tmp-backup1234") passes only by a
// chance of one in 62^4, and then still only when nobody holds a lock on it.
std::string CheckChars(std::string_view random) {
  uint32_t h = 0x811C9DC5u;
  const auto mix = [&h](std::string_view text) {
    for (const char c : text) h = (h ^ static_cast<uint8_t>(c)) * 0x01000193u;
  };
  mix("Tessavor temporary name");
  mix(random);
  std::string out(kTempSuffixChars - kRandomChars, 'x');
  for (char& c : out) {
    c = kNameChars[h % kNameCharCount];
    h /= kNameCharCount;
  }
  return out;
}

// Takes the lock that marks a file or folder of ours as in use, and checks that `path`
// still names what `fd` holds: a sweeper that took the lock between our create and our
// lock removes the name, and the caller then makes another. A file system without flock
// only loses the clean-up.
bool LockFresh(int fd, const std::string& path) {
  if (platform::TryLockFile(fd) != 0) return errno != EAGAIN && errno != EINTR;
  return platform::SameFile(fd, path);
}

// Removes the temporary files "<base>.tmp-XXXXXXXXXX" in `folder` that no live writer holds
// (each writer keeps a lock on its own until the rename). Best effort: a file that cannot
// be opened or locked is left alone.
void RemoveStaleTemps(const std::string& folder, const std::string& base) {
  const std::string prefix = base + kTempMarker;
  for (const std::string& entry : platform::FolderEntries(folder)) {
    const std::string_view name(entry);
    if (name.size() != prefix.size() + kTempSuffixChars || name.substr(0, prefix.size()) != prefix)
      continue;
    if (!IsTempSuffix(name.substr(prefix.size()))) continue;
    const std::string path = InFolder(folder, entry);
    TFileStatus st;
    if (platform::StatPath(path, st, false) != 0 || st.Kind != TFileKind::Regular) continue;
    const int fd = platform::OpenRead(path);
    if (fd < 0) continue;
    if (platform::StatFd(fd, st) == 0 && st.Kind == TFileKind::Regular &&
        platform::TryLockFile(fd) == 0) {
      platform::RemoveFile(path);
    }
    platform::Close(fd);
  }
}

}  // namespace

std::string MakeTempSuffix() {
  static thread_local std::mt19937_64 generator{
      std::random_device{}() ^ (static_cast<uint64_t>(platform::ProcessId()) << 32)};
  std::string s(kRandomChars, 'x');
  for (char& c : s) c = kNameChars[generator() % kNameCharCount];
  return s + CheckChars(s);
}

bool IsTempSuffix(std::string_view chars) {
  if (chars.size() != kTempSuffixChars) return false;
  const bool plain = std::all_of(chars.begin(), chars.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
  });
  return plain && chars.substr(kRandomChars) == CheckChars(chars.substr(0, kRandomChars));
}

// ---------------------------------------------------------------------------------------
// Reading

TInputFile::TInputFile(const std::string& path) : m_path(path) {
  // O_NONBLOCK: opening a FIFO with no writer would otherwise wait forever. It changes
  // nothing for the regular files that are all this class accepts.
  m_fd = platform::OpenRead(path);
  if (m_fd < 0) Fail("Cannot open file", path, errno);
  TFileStatus st;
  if (platform::StatFd(m_fd, st) != 0) {
    const int err = errno;
    platform::Close(m_fd);
    Fail("Cannot open file", path, err);
  }
  if (st.Kind != TFileKind::Regular) {
    platform::Close(m_fd);
    m_fd = -1;
    NotRegular("Cannot read file", path, st.Kind);
  }
  m_size = st.Size;
}

TInputFile::~TInputFile() {
  if (m_fd >= 0) platform::Close(m_fd);
}

int TInputFile::Release() {
  const int fd = m_fd;
  m_fd = -1;
  return fd;
}

std::vector<uint8_t> TInputFile::ReadUpTo(size_t limit) {
  // Room for what fstat saw, not for the limit: a file shorter than a caller's cap costs
  // only its own bytes. Past that, a small probe finds the end (or a file that grew).
  std::vector<uint8_t> data(static_cast<size_t>(std::min<uint64_t>(limit, m_size)));
  size_t have = 0;
  auto readSome = [&](uint8_t* into, size_t n) -> size_t {
    const int64_t got = platform::ReadSome(m_fd, into, n);
    if (got < 0) Fail("Cannot read file", m_path, errno);
    return static_cast<size_t>(got);
  };
  while (have < data.size()) {
    const size_t n = readSome(data.data() + have, data.size() - have);
    if (n == 0) break;
    have += n;
  }
  uint8_t probe[4096];
  while (have == data.size() && have < limit) {
    const size_t n = readSome(probe, std::min(sizeof probe, limit - have));
    if (n == 0) break;
    data.insert(data.end(), probe, probe + n);
    have += n;
  }
  data.resize(have);
  return data;
}

size_t TInputFile::ReadAt(uint64_t offset, void* buffer, size_t size) {
  auto* p = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < size) {
    const int64_t n = platform::ReadAt(m_fd, p + done, size - done, offset + done);
    if (n < 0) {
      // platform::ReadAt retries EINTR itself.
      throw EInOutError("Cannot read file \"" + QuotePathForMessage(m_path) + "\" at offset " +
                        std::to_string(offset + done) + ": " + SystemErrorText(errno));
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

std::vector<uint8_t> ReadWholeFile(const std::string& path, uint64_t maxBytes) {
  TInputFile file(path);
  auto tooLarge = [&](uint64_t size) {
    throw EInOutError("File \"" + QuotePathForMessage(path) +
                      "\" is too large: " + std::to_string(size) + " bytes, at most " +
                      std::to_string(maxBytes) + " are read");
  };
  if (file.Size() > maxBytes) tooLarge(file.Size());
  // One byte beyond the cap tells a file that grew past it since fstat.
  const size_t limit = static_cast<size_t>(std::min<uint64_t>(maxBytes + 1, SIZE_MAX));
  std::vector<uint8_t> data = file.ReadUpTo(limit);
  if (data.size() > maxBytes) tooLarge(data.size());
  return data;
}

// ---------------------------------------------------------------------------------------
// Writing

std::string ResolveOutputPath(const std::string& path) {
  std::string at = path;
  for (int hops = 0; hops < 40; ++hops) {
    std::string link;
    if (!platform::ReadLink(at, link)) return at;
    if (link.empty() || !platform::IsAbsolutePath(link)) {
      at = InFolder(FolderOf(at), link);
    } else {
      at = link;
    }
  }
  Fail("Cannot create file", path, ELOOP);
}

namespace {

struct TTargetInfo {
  std::string Target;
  bool Exists = false;
  unsigned Mode = 0;
};

TTargetInfo InspectTarget(const std::string& path, TLinkRule links = TLinkRule::Follow) {
  if (path.empty() || platform::IsSeparator(path.back())) Fail("Cannot create file", path, EISDIR);
  TTargetInfo info;
  TFileStatus st;
  if (links == TLinkRule::Refuse) {
    if (platform::StatPath(path, st, false) == 0 && st.Kind == TFileKind::Link)
      NotRegular("Cannot replace file", path, st.Kind);
    info.Target = path;
  } else {
    info.Target = ResolveOutputPath(path);
  }
  if (platform::StatPath(info.Target, st) != 0) Fail("Cannot create file", path, errno);
  if (st.Kind != TFileKind::Missing) {
    if (st.Kind != TFileKind::Regular) NotRegular("Cannot replace file", path, st.Kind);
    if (!platform::CanWrite(info.Target)) Fail("Cannot write file", path, errno);
    info.Exists = true;
    info.Mode = st.Mode;
  }
  return info;
}

}  // namespace

void CheckOutputTarget(const std::string& path) {
  const TTargetInfo info = InspectTarget(path);
  if (!info.Exists && !platform::CanWrite(FolderOf(info.Target))) {
    Fail("Cannot create file", path, errno);
  }
}

TAtomicFileWriter::TAtomicFileWriter(const std::string& path, TFileSync sync, TLinkRule links)
    : m_path(path), m_sync(sync) {
  const TTargetInfo info = InspectTarget(path, links);
  m_target = info.Target;
  const std::string folder = FolderOf(m_target);
  const size_t slash = LastSeparator(m_target);
  std::string base = m_target.substr(slash == std::string::npos ? 0 : slash + 1);
  if (base.size() + kTempSuffixBytes > kMaxNameBytes) base.resize(kMaxNameBytes - kTempSuffixBytes);
  RemoveStaleTemps(folder, base);
  for (int attempt = 0; attempt < 100; ++attempt) {
    m_tempPath = InFolder(folder, base + kTempMarker + MakeTempSuffix());
    m_fd = platform::CreateNewFile(m_tempPath);
    if (m_fd < 0) {
      if (errno == EEXIST) continue;
      break;
    }
    // The lock marks the file as in use for the sweep of other writers. A sweep that saw
    // the file before the lock removes it: we take another name.
    if (LockFresh(m_fd, m_tempPath)) break;
    platform::Close(m_fd);
    m_fd = -1;
    errno = EEXIST;
  }
  if (m_fd < 0) Fail("Cannot create file", errno);
  // The replaced file's permission bits, so that a private file stays private. (A new file
  // has 0666 less the umask from the open above.)
  if (info.Exists) platform::SetMode(m_fd, info.Mode);
}

TAtomicFileWriter::~TAtomicFileWriter() { Discard(); }

void TAtomicFileWriter::Fail(const char* what, int err) { ::Fail(what, m_path, err); }

void TAtomicFileWriter::Discard() {
  if (m_fd >= 0) platform::Close(m_fd);
  if (m_fd >= 0 || m_finished) platform::RemoveFile(m_tempPath);
  if (m_lockFd >= 0) platform::Close(m_lockFd);
  m_lockFd = -1;
  m_fd = -1;
  m_finished = false;
}

namespace {

std::atomic<int64_t> g_freeSpaceForTests{-1};

// The test hook's full disk: true when `size` more bytes do not fit.
bool DiskFullForTests(size_t size) {
  int64_t left = g_freeSpaceForTests.load();
  while (left >= 0) {
    if (static_cast<uint64_t>(left) < size) return true;
    if (g_freeSpaceForTests.compare_exchange_weak(left, left - static_cast<int64_t>(size)))
      return false;
  }
  return false;
}

}  // namespace

void SetFreeSpaceForTests(int64_t bytes) { g_freeSpaceForTests = bytes; }

void TAtomicFileWriter::Write(const void* data, size_t size) {
  if (m_fd < 0) Fail("Cannot write file", EBADF);
  if (DiskFullForTests(size)) Fail("Cannot write file", ENOSPC);
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const int64_t n = platform::WriteSome(m_fd, p, size);
    if (n < 0) Fail("Cannot write file", errno);
    p += n;
    size -= static_cast<size_t>(n);
  }
}

void TAtomicFileWriter::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (m_fd < 0) Fail("Cannot write file", EBADF);
  if (DiskFullForTests(size)) Fail("Cannot write file", ENOSPC);
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const int64_t n = platform::WriteAt(m_fd, p, size, offset);
    if (n < 0) Fail("Cannot write file", errno);
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
}

void TAtomicFileWriter::Finish() {
  if (m_finished) return;
  if (m_fd < 0) Fail("Cannot write file", EBADF);
  if (m_sync == TFileSync::Durable && platform::SyncFile(m_fd) != 0) {
    const int err = errno;
    Discard();
    Fail("Cannot write file", err);
  }
  const int fd = m_fd;
  m_fd = -1;
  m_lockFd = platform::Duplicate(fd);  // the lock lives on in the duplicate (POSIX)
  if (platform::Close(fd) != 0) {
    const int err = errno;
    platform::RemoveFile(m_tempPath);
    Fail("Cannot close file", err);
  }
  m_finished = true;
}

void TAtomicFileWriter::Commit() {
  Finish();
  m_finished = false;
  const int renamed = platform::RenameOver(m_tempPath, m_target);
  const int err = errno;
  if (m_lockFd >= 0) platform::Close(m_lockFd);
  m_lockFd = -1;
  if (renamed != 0) {
    platform::RemoveFile(m_tempPath);
    Fail("Cannot replace file", err);
  }
}

void WriteFileAtomic(const std::string& path, const void* data, size_t size, TFileSync sync) {
  TAtomicFileWriter w(path, sync);
  w.Write(data, size);
  w.Commit();
}

void SyncFolder(const std::string& folder) { platform::SyncFolder(folder); }

// ---------------------------------------------------------------------------------------
// Private temporary folders and files

namespace {

constexpr std::string_view kPrivatePrefix = "tessavor-";

// "tessavor-<kind>-XXXXXXXXXX" and an ending of at most eight characters: ours only.
bool IsPrivateTempName(std::string_view name) {
  if (name.substr(0, kPrivatePrefix.size()) != kPrivatePrefix) return false;
  name.remove_prefix(kPrivatePrefix.size());
  const size_t dash = name.find('-');
  if (dash == 0 || dash == std::string_view::npos) return false;
  if (!std::all_of(name.begin(), name.begin() + static_cast<ptrdiff_t>(dash),
                   [](char c) { return c >= 'a' && c <= 'z'; }))
    return false;
  name.remove_prefix(dash + 1);
  if (name.size() < kTempSuffixChars || !IsTempSuffix(name.substr(0, kTempSuffixChars)))
    return false;
  const std::string_view ending = name.substr(kTempSuffixChars);
  return ending.empty() || (ending[0] == '.' && ending.size() <= 9);
}

// Removes what killed processes left: entries of ours that belong to this user and that
// nobody holds. Best effort, like the sweep of temporary files.
void RemoveStalePrivateTemps(const std::string& folder) {
  for (const std::string& name : platform::FolderEntries(folder)) {
    if (!IsPrivateTempName(name)) continue;
    const std::string path = InFolder(folder, name);
    TFileStatus named;
    if (platform::StatPath(path, named, false) != 0) continue;
    const bool isFolder = named.Kind == TFileKind::Folder;
    if (!isFolder && named.Kind != TFileKind::Regular) continue;
    const int fd = isFolder ? platform::OpenFolder(path) : platform::OpenRead(path);
    if (fd < 0) continue;
    TFileStatus st;
    if (platform::StatFd(fd, st) == 0 && st.Kind == named.Kind &&
        platform::OwnedByCurrentUser(fd) && platform::TryLockFile(fd) == 0) {
      std::error_code ec;
      std::filesystem::remove_all(platform::ToPath(path), ec);
    }
    platform::Close(fd);
  }
}

}  // namespace

TPrivateTemp::TPrivateTemp(TKind type, const std::string& kind, const std::string& ending)
    : m_type(type) {
  const std::string folder = platform::TempFolder();
  RemoveStalePrivateTemps(folder);
  int err = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    m_path = InFolder(folder, std::string(kPrivatePrefix) + kind + "-" + MakeTempSuffix() + ending);
    if (type == TKind::Folder) {
      if (platform::MakePrivateFolder(m_path) != 0) {
        err = errno;
        if (err == EEXIST) continue;
        break;
      }
      m_fd = platform::OpenFolder(m_path);
    } else {
      m_fd = platform::CreateNewFile(m_path, 0600);
    }
    if (m_fd < 0) {
      err = errno;
      if (err == EEXIST || err == ENOENT) continue;  // ENOENT: a sweep took the new folder
      break;
    }
    if (LockFresh(m_fd, m_path)) return;
    platform::Close(m_fd);  // a sweep saw it before the lock and removes it
    m_fd = -1;
    err = EEXIST;
  }
  throw EInOutError("Cannot create a temporary " +
                    std::string(type == TKind::Folder ? "folder" : "file") + " in \"" +
                    QuotePathForMessage(folder) + "\": " + SystemErrorText(err));
}

TPrivateTemp::~TPrivateTemp() {
  // Removed before the lock goes, so that no sweep finds it unheld.
  std::error_code ec;
  if (m_type == TKind::Folder)
    std::filesystem::remove_all(platform::ToPath(m_path), ec);
  else
    platform::RemoveFile(m_path);
  platform::Close(m_fd);
}
