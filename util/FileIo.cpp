#include "util/FileIo.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <random>
#include <string_view>

#include "util/Exception.h"
#include "util/Platform.h"

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
  throw EInOutError(what + " \"" + path + "\": " + SystemErrorText(err));
}

[[noreturn]] void NotRegular(const std::string& what, const std::string& path, TFileKind kind) {
  throw EInOutError(what + " \"" + path + "\": it is " + platform::FileKindText(kind) +
                    ", not a regular file");
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
constexpr size_t kTempSuffixBytes = sizeof kTempMarker - 1 + 6;

std::string RandomSuffix() {
  static thread_local std::mt19937_64 generator{
      std::random_device{}() ^ (static_cast<uint64_t>(platform::ProcessId()) << 32)};
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::string s(6, 'x');
  for (char& c : s) c = kChars[generator() % (sizeof kChars - 1)];
  return s;
}

// Removes the temporary files "<base>.tmp-XXXXXX" in `folder` that no live writer holds
// (each writer keeps a lock on its own until the rename). Best effort: a file that cannot
// be opened or locked is left alone.
void RemoveStaleTemps(const std::string& folder, const std::string& base) {
  const std::string prefix = base + kTempMarker;
  for (const std::string& entry : platform::FolderEntries(folder)) {
    const std::string_view name(entry);
    if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix) continue;
    const bool suffixOk =
        std::all_of(name.begin() + static_cast<ptrdiff_t>(prefix.size()), name.end(),
                    [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
    if (!suffixOk) continue;
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
    m_tempPath = InFolder(folder, base + kTempMarker + RandomSuffix());
    m_fd = platform::CreateNewFile(m_tempPath);
    if (m_fd >= 0 || errno != EEXIST) break;
  }
  if (m_fd < 0) Fail("Cannot create file", errno);
  // Marks the file as in use for RemoveStaleTemps of other writers; a new file is never
  // locked already, and a file system without locks only loses the clean-up.
  platform::TryLockFile(m_fd);
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

void TAtomicFileWriter::Write(const void* data, size_t size) {
  if (m_fd < 0) Fail("Cannot write file", EBADF);
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
