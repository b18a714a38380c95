#include "util/HomeLock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "util/FileIo.h"
#include "util/Paths.h"
#include "util/StrTools.h"

namespace {

// POSIX record locks belong to the process, and closing any descriptor of the file drops
// them: the process opens the file once and counts its holders.
std::mutex g_lock;
int g_fd = -1;
int g_holders = 0;
bool g_readOnly = false;  // a Read holder's shared lock, or none

struct flock WholeFile(short type) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  return fl;
}

}  // namespace

THomeLock::THomeLock(THomeAccess access, double waitSeconds) {
  std::lock_guard guard(g_lock);
  if (g_holders > 0) {
    if (g_readOnly && access == THomeAccess::Write)
      throw EInOutError("Cannot write in the home folder \"" + QuotePathForMessage(HomeFolder()) +
                        "\": this process opened it read-only");
    ++g_holders;
    return;
  }
  const std::string path = HomeFile(kHomeLockFile);
  // The lock file holds nothing; it is made once and never written, so it needs no safe
  // writer. O_NOFOLLOW: a link planted at its name is not followed.
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  bool readOnly = false;
  if (fd < 0) {
    int err = errno;
    struct stat st {};
    if (err == ELOOP && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
      throw EInOutError("Cannot open the lock file \"" + QuotePathForMessage(path) +
                        "\": it is a symbolic link; the lock file must be a plain file (remove "
                        "the link)");
    }
    if (access == THomeAccess::Read && (err == EROFS || err == EACCES || err == EPERM)) {
      readOnly = true;
      fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
      err = errno;
      if (fd < 0 && err == ENOENT) {  // no lock file, and none can be made: nobody writes
        g_readOnly = true;
        g_holders = 1;
        return;
      }
    }
    if (fd < 0) {
      throw EInOutError("Cannot open the lock file \"" + QuotePathForMessage(path) +
                        "\": " + SystemErrorText(err));
    }
  }
  const short type = readOnly ? F_RDLCK : F_WRLCK;
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<int64_t>(waitSeconds * 1000));
  for (;;) {
    struct flock fl = WholeFile(type);
    if (::fcntl(fd, F_SETLK, &fl) == 0) break;
    const int err = errno;
    if (err != EACCES && err != EAGAIN && err != EINTR) {
      ::close(fd);
      throw EInOutError("Cannot lock \"" + QuotePathForMessage(path) +
                        "\": " + SystemErrorText(err));
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      struct flock holder = WholeFile(type);
      const bool known = ::fcntl(fd, F_GETLK, &holder) == 0 && holder.l_type != F_UNLCK;
      ::close(fd);
      throw EHomeInUse("the home folder is in use by another Tessavor process (pid " +
                       (known ? std::to_string(holder.l_pid) : std::string("unknown")) + ")");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  g_fd = fd;
  g_readOnly = readOnly;
  g_holders = 1;
}

THomeLock::~THomeLock() {
  std::lock_guard guard(g_lock);
  if (--g_holders == 0) {
    if (g_fd >= 0) ::close(g_fd);  // drops the lock
    g_fd = -1;
    g_readOnly = false;
  }
}

bool THomeLock::ReadOnly() const {
  std::lock_guard guard(g_lock);
  return g_readOnly;
}
