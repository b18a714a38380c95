// The POSIX side of util/Platform.h.
#ifndef _WIN32

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "util/Platform.h"

namespace platform {

namespace {

TFileKind KindOf(mode_t mode) {
  switch (mode & S_IFMT) {
    case S_IFREG:
      return TFileKind::Regular;
    case S_IFDIR:
      return TFileKind::Folder;
    case S_IFIFO:
      return TFileKind::Fifo;
    case S_IFCHR:
      return TFileKind::CharDevice;
    case S_IFBLK:
      return TFileKind::BlockDevice;
    case S_IFSOCK:
      return TFileKind::Socket;
    case S_IFLNK:
      return TFileKind::Link;
    default:
      return TFileKind::Other;
  }
}

void Fill(const struct stat& st, TFileStatus& status) {
  status.Kind = KindOf(st.st_mode);
  status.Size = static_cast<uint64_t>(st.st_size);
  status.Mode = static_cast<unsigned>(st.st_mode & 07777);
}

}  // namespace

int OpenRead(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
}

int OpenReadWrite(const std::string& path, bool create) {
  int flags = O_CLOEXEC | O_NONBLOCK | O_RDWR;
  if (create) flags |= O_CREAT | O_TRUNC;
  return ::open(path.c_str(), flags, 0666);
}

int CreateNewFile(const std::string& path, unsigned mode) {
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                static_cast<mode_t>(mode));
}

int OpenLockFile(const std::string& path) {
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
}

int Close(int fd) { return ::close(fd); }

int Duplicate(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); }

int64_t ReadSome(int fd, void* buffer, size_t size) {
  for (;;) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

int64_t ReadAt(int fd, void* buffer, size_t size, uint64_t offset) {
  for (;;) {
    const ssize_t n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
    if (n >= 0 || errno != EINTR) return n;
  }
}

int64_t WriteSome(int fd, const void* data, size_t size) {
  for (;;) {
    const ssize_t n = ::write(fd, data, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

int64_t WriteAt(int fd, const void* data, size_t size, uint64_t offset) {
  for (;;) {
    const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
    if (n >= 0 || errno != EINTR) return n;
  }
}

int SyncFile(int fd) { return ::fsync(fd); }

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

int StatFd(int fd, TFileStatus& status) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return -1;
  Fill(st, status);
  return 0;
}

int StatPath(const std::string& path, TFileStatus& status, bool followLinks) {
  struct stat st {};
  const int rc = followLinks ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
  if (rc != 0) {
    if (errno != ENOENT) return -1;
    status = TFileStatus{};
    return 0;
  }
  Fill(st, status);
  return 0;
}

bool ReadLink(const std::string& path, std::string& target) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return false;
  std::vector<char> buf(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
  const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
  if (n < 0) return false;
  target.assign(buf.data(), static_cast<size_t>(n));
  return true;
}

int SetMode(int fd, unsigned mode) { return ::fchmod(fd, static_cast<mode_t>(mode)); }

bool CanWrite(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return ::access(path.c_str(), W_OK | X_OK) == 0;
  return ::access(path.c_str(), W_OK) == 0;
}

int RenameOver(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str());
}

int RemoveFile(const std::string& path) { return ::unlink(path.c_str()); }

int HardLink(const std::string& existing, const std::string& newName) {
  return ::link(existing.c_str(), newName.c_str());
}

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  return names;
}

int TryLockFile(int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
  if (errno == EWOULDBLOCK) errno = EAGAIN;
  return -1;
}

// POSIX record locks, not flock: the holder's pid can be asked for. They belong to the
// process, and closing any descriptor of the file drops them (callers open it once).
int TryLockForProcess(int fd, bool shared) {
  struct flock fl {};
  fl.l_type = shared ? F_RDLCK : F_WRLCK;
  fl.l_whence = SEEK_SET;
  if (::fcntl(fd, F_SETLK, &fl) == 0) return 0;
  if (errno == EACCES) errno = EAGAIN;
  return -1;
}

long LockHolder(int fd, bool shared) {
  struct flock fl {};
  fl.l_type = shared ? F_RDLCK : F_WRLCK;
  fl.l_whence = SEEK_SET;
  if (::fcntl(fd, F_GETLK, &fl) != 0 || fl.l_type == F_UNLCK) return -1;
  return static_cast<long>(fl.l_pid);
}

bool SameFile(int fd, const std::string& path) {
  struct stat held {};
  struct stat named {};
  return ::fstat(fd, &held) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

bool OwnedByCurrentUser(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid();
}

std::string TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? std::string(tmp) : std::string("/tmp");
}

int MakePrivateFolder(const std::string& path) { return ::mkdir(path.c_str(), 0700); }

int OpenFolder(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

long ProcessId() { return static_cast<long>(::getpid()); }

void LocalTime(std::time_t t, std::tm& local) { ::localtime_r(&t, &local); }

long CurrentThreadId() { return static_cast<long>(::syscall(SYS_gettid)); }

void SetThreadNice(long threadId, int nice) {
  (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), nice);
}

std::string ExecutablePath() {
  std::string target;
  if (!ReadLink("/proc/self/exe", target)) return "";
  return target;
}

std::string DefaultHomeFolder() {
  if (const std::string x = Environment("XDG_DATA_HOME"); !x.empty()) return x + "/tessavor";
  if (const std::string home = Environment("HOME"); !home.empty())
    return home + "/.local/share/tessavor";
  return "./tessavor-home";
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

std::string SharedLibraryName(const std::string& stem) { return "lib" + stem + ".so"; }

void* OpenLibrary(const std::string& path, std::string& error) {
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = ::dlerror();
    error = why ? why : "unknown error";
  }
  return handle;
}

void* FindSymbol(void* library, const char* name) { return ::dlsym(library, name); }

void CloseLibrary(void* library) { ::dlclose(library); }

std::vector<std::string> StartProgram(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

bool IsSeparator(char c) { return c == '/'; }

}  // namespace platform

#endif  // !_WIN32
