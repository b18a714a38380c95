#include "util/FileIo.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <random>
#include <string_view>

#include "util/Exception.h"

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
  throw EInOutError(what + " \"" + path + "\": " + SystemErrorText(err));
}

[[noreturn]] void NotRegular(const std::string& what, const std::string& path, unsigned mode) {
  throw EInOutError(what + " \"" + path + "\": it is " + FileKindText(mode) +
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
constexpr size_t kTempSuffixBytes = sizeof kTempMarker - 1 + 6;

std::string RandomSuffix() {
  static thread_local std::mt19937_64 generator{std::random_device{}() ^
                                                (static_cast<uint64_t>(::getpid()) << 32)};
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string s(6, 'x');
  for (char& c : s) c = kChars[generator() % (sizeof kChars - 1)];
  return s;
}

// Removes the temporary files "<base>.tmp-XXXXXX" in `folder` that no live writer holds
// (each writer keeps a lock on its own until the rename). Best effort: a file that cannot
// be opened or locked is left alone.
void RemoveStaleTemps(const std::string& folder, const std::string& base) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const std::string prefix = base + kTempMarker;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix) continue;
    const bool suffixOk =
        std::all_of(name.begin() + static_cast<ptrdiff_t>(prefix.size()), name.end(),
                    [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
    if (!suffixOk) continue;
    const std::string path = (folder == "/" ? std::string() : folder) + "/" + std::string(name);
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
      throw EInOutError("Cannot read file \"" + m_path + "\" at offset " +
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
    throw EInOutError("File \"" + path + "\" is too large: " + std::to_string(size) +
                      " bytes, at most " + std::to_string(maxBytes) + " are read");
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
    m_tempPath =
        (folder == "/" ? std::string() : folder) + "/" + base + kTempMarker + RandomSuffix();
    m_fd = ::open(m_tempPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (m_fd >= 0 || errno != EEXIST) break;
  }
  if (m_fd < 0) Fail("Cannot create file", errno);
  // Marks the file as in use for RemoveStaleTemps of other writers; a new file is never
  // locked already, and a file system without flock only loses the clean-up.
  ::flock(m_fd, LOCK_EX | LOCK_NB);
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

void TAtomicFileWriter::Write(const void* data, size_t size) {
  if (m_fd < 0) Fail("Cannot write file", EBADF);
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
