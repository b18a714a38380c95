#include "util/HomeLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "util/FileIo.h"
#include "util/Paths.h"

namespace {

// POSIX record locks belong to the process, and closing any descriptor of the file drops
// them: the process opens the file once and counts its holders.
std::mutex g_lock;
int g_fd = -1;
int g_holders = 0;

struct flock WholeFile(short type) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  return fl;
}

}  // namespace

THomeLock::THomeLock(double waitSeconds) {
  std::lock_guard guard(g_lock);
  if (g_holders > 0) {
    ++g_holders;
    return;
  }
  const std::string path = HomeFile(kHomeLockFile);
  // The lock file holds nothing; it is made once and never written, so it needs no safe
  // writer. O_NOFOLLOW: a link planted at its name is not followed.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    throw EInOutError("Cannot open the lock file \"" + path + "\": " + SystemErrorText(errno));
  }
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<int64_t>(waitSeconds * 1000));
  for (;;) {
    struct flock fl = WholeFile(F_WRLCK);
    if (::fcntl(fd, F_SETLK, &fl) == 0) break;
    const int err = errno;
    if (err != EACCES && err != EAGAIN && err != EINTR) {
      ::close(fd);
      throw EInOutError("Cannot lock \"" + path + "\": " + SystemErrorText(err));
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      struct flock holder = WholeFile(F_WRLCK);
      const bool known = ::fcntl(fd, F_GETLK, &holder) == 0 && holder.l_type != F_UNLCK;
      ::close(fd);
      throw EHomeInUse("the home folder is in use by another Tessavor process (pid " +
                       (known ? std::to_string(holder.l_pid) : std::string("unknown")) + ")");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  g_fd = fd;
  g_holders = 1;
}

THomeLock::~THomeLock() {
  std::lock_guard guard(g_lock);
  if (--g_holders == 0) {
    ::close(g_fd);  // drops the lock
    g_fd = -1;
  }
}
