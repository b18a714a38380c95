#include "util/HomeLock.h"

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "util/FileIo.h"
#include "util/Paths.h"
#include "util/Platform.h"

namespace {

// The lock belongs to the process (util/Platform.h), and closing any descriptor of the
// file drops it: the process opens the file once and counts its holders.
std::mutex g_lock;
int g_fd = -1;
int g_holders = 0;

}  // namespace

THomeLock::THomeLock(double waitSeconds) {
  std::lock_guard guard(g_lock);
  if (g_holders > 0) {
    ++g_holders;
    return;
  }
  const std::string path = HomeFile(kHomeLockFile);
  // The lock file holds nothing; it is made once and never written, so it needs no safe
  // writer. A link planted at its name is refused, not followed.
  platform::TFileStatus st;
  if (platform::StatPath(path, st, false) == 0 && st.Kind != platform::TFileKind::Missing &&
      st.Kind != platform::TFileKind::Regular) {
    throw EInOutError("Cannot open the lock file \"" + path + "\": it is " +
                      platform::FileKindText(st.Kind) + ", not a regular file");
  }
  const int fd = platform::OpenLockFile(path);
  if (fd < 0) {
    throw EInOutError("Cannot open the lock file \"" + path + "\": " + SystemErrorText(errno));
  }
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<int64_t>(waitSeconds * 1000));
  for (;;) {
    if (platform::TryLockForProcess(fd) == 0) break;
    const int err = errno;
    if (err != EAGAIN && err != EINTR) {
      platform::Close(fd);
      throw EInOutError("Cannot lock \"" + path + "\": " + SystemErrorText(err));
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      const long holder = platform::LockHolder(fd);
      platform::Close(fd);
      throw EHomeInUse("the home folder is in use by another Tessavor process (pid " +
                       (holder >= 0 ? std::to_string(holder) : std::string("unknown")) + ")");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  g_fd = fd;
  g_holders = 1;
}

THomeLock::~THomeLock() {
  std::lock_guard guard(g_lock);
  if (--g_holders == 0) {
    platform::Close(g_fd);  // drops the lock
    g_fd = -1;
  }
}
