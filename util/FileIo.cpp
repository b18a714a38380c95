#include "util/FileIo.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

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
#include "util/StrTools.h"

std::string SystemErrorText(int err) { return std::strerror(err); }

std::string FileKindText(unsigned mode) {
  switch (mode & S_IFMT) {
    case S_IFDIR:
      return "a folder";
    case S_IFIFO:
      return "a FIFO";
    case S_IFCHR:
      return "a character device";
    case S_IFBLK:
      return "a block device";
    case S_IFSOCK:
      return "a socket";
    case S_IFLNK:
      return "a symbolic link";
    default:
      return "a regular file";
  }
}

namespace {

[[noreturn]] void Fail(const std::string& what, const std::string& path, int err) {
  throw EInOutError(what + " \"" + QuotePathForMessage(path) + "\": " + SystemErrorText(err));
}

[[noreturn]] void NotRegular(const std::string& what, const std::string& path, unsigned mode) {
  throw EInOutError(what + " \"" + QuotePathForMessage(path) + "\": it is " + FileKindText(mode) +
                    ", not a regular file");
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
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

std::string JoinPath(const std::string& folder, std::string_view name) {
  return (folder == "/" ? std::string() : folder) + "/" + std::string(name);
}

// Takes the lock that marks a file or folder of ours as in use, and checks that `path`
// still names what `fd` holds: a sweeper that took the lock between our create and our
// lock removes the name, and the caller then makes another. A file system without flock
// only loses the clean-up.
bool LockFresh(int fd, const std::string& path) {
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return errno != EWOULDBLOCK && errno != EINTR;
  struct stat held {};
  struct stat named {};
  return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

// Removes the temporary files "<base>.tmp-XXXXXXXXXX" in `folder` that no live writer holds
// (each writer keeps a lock on its own until the rename). Best effort: a file that cannot
// be opened or locked is left alone.
void RemoveStaleTemps(const std::string& folder, const std::string& base) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const std::string prefix = base + kTempMarker;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name.size() != prefix.size() + kTempSuffixChars || name.substr(0, prefix.size()) != prefix)
      continue;
    if (!IsTempSuffix(name.substr(prefix.size()))) continue;
    const std::string path = JoinPath(folder, name);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0)
      ::unlink(path.c_str());
    ::close(fd);
  }
  ::closedir(dir);
}

}  // namespace

std::string MakeTempSuffix() {
  static thread_local std::mt19937_64 generator{std::random_device{}() ^
                                                (static_cast<uint64_t>(::getpid()) << 32)};
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
  m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (m_fd < 0) Fail("Cannot open file", path, errno);
  struct stat st {};
  if (::fstat(m_fd, &st) != 0) {
    const int err = errno;
    ::close(m_fd);
    Fail("Cannot open file", path, err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(m_fd);
    m_fd = -1;
    NotRegular("Cannot read file", path, st.st_mode);
  }
  m_size = static_cast<uint64_t>(st.st_size);
}

TInputFile::~TInputFile() {
  if (m_fd >= 0) ::close(m_fd);
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
    for (;;) {
      const ssize_t got = ::read(m_fd, into, n);
      if (got >= 0) return static_cast<size_t>(got);
      if (errno != EINTR) Fail("Cannot read file", m_path, errno);
    }
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
    const ssize_t n = ::pread(m_fd, p + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
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
    struct stat st {};
    if (::lstat(at.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return at;
    std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
    const ssize_t n = ::readlink(at.c_str(), buf.data(), buf.size());
    if (n < 0) Fail("Cannot create file", path, errno);
    const std::string link(buf.data(), static_cast<size_t>(n));
    if (link.empty() || link[0] != '/') {
      at = FolderOf(at).append("/").append(link);
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
  mode_t Mode = 0;
};

TTargetInfo InspectTarget(const std::string& path, TLinkRule links = TLinkRule::Follow) {
  if (path.empty() || path.back() == '/') Fail("Cannot create file", path, EISDIR);
  TTargetInfo info;
  struct stat st {};
  if (links == TLinkRule::Refuse) {
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
      NotRegular("Cannot replace file", path, st.st_mode);
    info.Target = path;
  } else {
    info.Target = ResolveOutputPath(path);
  }
  if (::stat(info.Target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) NotRegular("Cannot replace file", path, st.st_mode);
    if (::access(info.Target.c_str(), W_OK) != 0) Fail("Cannot write file", path, errno);
    info.Exists = true;
    info.Mode = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    Fail("Cannot create file", path, errno);
  }
  return info;
}

}  // namespace

void CheckOutputTarget(const std::string& path) {
  const TTargetInfo info = InspectTarget(path);
  if (!info.Exists && ::access(FolderOf(info.Target).c_str(), W_OK | X_OK) != 0) {
    Fail("Cannot create file", path, errno);
  }
}

TAtomicFileWriter::TAtomicFileWriter(const std::string& path, TFileSync sync, TLinkRule links)
    : m_path(path), m_sync(sync) {
  const TTargetInfo info = InspectTarget(path, links);
  m_target = info.Target;
  const std::string folder = FolderOf(m_target);
  std::string base = m_target.substr(
      m_target.find_last_of('/') == std::string::npos ? 0 : m_target.find_last_of('/') + 1);
  if (base.size() + kTempSuffixBytes > kMaxNameBytes) base.resize(kMaxNameBytes - kTempSuffixBytes);
  RemoveStaleTemps(folder, base);
  for (int attempt = 0; attempt < 100; ++attempt) {
    m_tempPath = JoinPath(folder, base + kTempMarker + MakeTempSuffix());
    m_fd = ::open(m_tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (m_fd < 0) {
      if (errno == EEXIST) continue;
      break;
    }
    // The lock marks the file as in use for the sweep of other writers. A sweep that saw
    // the file before the lock removes it: we take another name.
    if (LockFresh(m_fd, m_tempPath)) break;
    ::close(m_fd);
    m_fd = -1;
    errno = EEXIST;
  }
  if (m_fd < 0) Fail("Cannot create file", errno);
  // The replaced file's permission bits, so that a private file stays private. (A new file
  // has 0666 less the umask from the open above.)
  if (info.Exists) ::fchmod(m_fd, info.Mode);
}

TAtomicFileWriter::~TAtomicFileWriter() { Discard(); }

void TAtomicFileWriter::Fail(const char* what, int err) { ::Fail(what, m_path, err); }

void TAtomicFileWriter::Discard() {
  if (m_fd >= 0) ::close(m_fd);
  if (m_fd >= 0 || m_finished) ::unlink(m_tempPath.c_str());
  if (m_lockFd >= 0) ::close(m_lockFd);
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
    const ssize_t n = ::write(m_fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write file", errno);
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
}

void TAtomicFileWriter::WriteAt(uint64_t offset, const void* data, size_t size) {
  if (m_fd < 0) Fail("Cannot write file", EBADF);
  if (DiskFullForTests(size)) Fail("Cannot write file", ENOSPC);
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(m_fd, p, size, static_cast<off_t>(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail("Cannot write file", errno);
    }
    p += n;
    offset += static_cast<uint64_t>(n);
    size -= static_cast<size_t>(n);
  }
}

void TAtomicFileWriter::Finish() {
  if (m_finished) return;
  if (m_fd < 0) Fail("Cannot write file", EBADF);
  if (m_sync == TFileSync::Durable && ::fsync(m_fd) != 0) {
    const int err = errno;
    Discard();
    Fail("Cannot write file", err);
  }
  const int fd = m_fd;
  m_fd = -1;
  m_lockFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);  // the lock lives on in the duplicate
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(m_tempPath.c_str());
    Fail("Cannot close file", err);
  }
  m_finished = true;
}

void TAtomicFileWriter::Commit() {
  Finish();
  m_finished = false;
  const int renamed = ::rename(m_tempPath.c_str(), m_target.c_str());
  const int err = errno;
  if (m_lockFd >= 0) ::close(m_lockFd);
  m_lockFd = -1;
  if (renamed != 0) {
    ::unlink(m_tempPath.c_str());
    Fail("Cannot replace file", err);
  }
}

void WriteFileAtomic(const std::string& path, const void* data, size_t size, TFileSync sync) {
  TAtomicFileWriter w(path, sync);
  w.Write(data, size);
  w.Commit();
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// ---------------------------------------------------------------------------------------
// Private temporary folders and files

namespace {

constexpr std::string_view kPrivatePrefix = "tessavor-";

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? std::string(tmp) : std::string("/tmp");
}

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
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    if (IsPrivateTempName(entry->d_name)) names.emplace_back(entry->d_name);
  }
  ::closedir(dir);
  for (const std::string& name : names) {
    const std::string path = JoinPath(folder, name);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_uid == ::geteuid() &&
        (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      std::error_code ec;
      std::filesystem::remove_all(path, ec);
    }
    ::close(fd);
  }
}

}  // namespace

TPrivateTemp::TPrivateTemp(TKind type, const std::string& kind, const std::string& ending)
    : m_type(type) {
  const std::string folder = TempFolder();
  RemoveStalePrivateTemps(folder);
  int err = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    m_path = JoinPath(folder, std::string(kPrivatePrefix) + kind + "-" + MakeTempSuffix() + ending);
    if (type == TKind::Folder) {
      if (::mkdir(m_path.c_str(), 0700) != 0) {
        err = errno;
        if (err == EEXIST) continue;
        break;
      }
      m_fd = ::open(m_path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } else {
      m_fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    }
    if (m_fd < 0) {
      err = errno;
      if (err == EEXIST || err == ENOENT) continue;  // ENOENT: a sweep took the new folder
      break;
    }
    if (LockFresh(m_fd, m_path)) return;
    ::close(m_fd);  // a sweep saw it before the lock and removes it
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
    std::filesystem::remove_all(m_path, ec);
  else
    ::unlink(m_path.c_str());
  ::close(m_fd);
}
