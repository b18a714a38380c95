#include "util/HomeLock.h"

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "util/FileIo.h"
#include "util/Paths.h"
#include "util/Platform.h"
#include "util/StrTools.h"

namespace {

// The lock belongs to the process (util/Platform.h), and closing any descriptor of the
// file drops it: the process opens the file once and counts its holders.
std::mutex g_lock;
int g_fd = -1;
int g_holders = 0;
bool g_readOnly = false;  // a Read holder's shared lock, or none

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
  // writer. A link planted at its name is refused, not followed.
  platform::TFileStatus st;
  const bool known = platform::StatPath(path, st, false) == 0;
  if (known && st.Kind == platform::TFileKind::Link) {
    throw EInOutError("Cannot open the lock file \"" + QuotePathForMessage(path) +
                      "\": it is a symbolic link; the lock file must be a plain file (remove "
                      "the link)");
  }
  if (known && st.Kind != platform::TFileKind::Missing && st.Kind != platform::TFileKind::Regular) {
    throw EInOutError("Cannot open the lock file \"" + QuotePathForMessage(path) + "\": it is " +
                      platform::FileKindText(st.Kind) + ", not a regular file");
  }
  int fd = platform::OpenLockFile(path);
  bool readOnly = false;
  if (fd < 0) {
    int err = errno;
    if (access == THomeAccess::Read && (err == EROFS || err == EACCES || err == EPERM)) {
      readOnly = true;
      fd = platform::OpenRead(path);
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
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<int64_t>(waitSeconds * 1000));
  for (;;) {
    if (platform::TryLockForProcess(fd, readOnly) == 0) break;
    const int err = errno;
    if (err != EAGAIN && err != EINTR) {
      platform::Close(fd);
      throw EInOutError("Cannot lock \"" + QuotePathForMessage(path) +
                        "\": " + SystemErrorText(err));
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      const long holder = platform::LockHolder(fd, readOnly);
      platform::Close(fd);
      throw EHomeInUse("the home folder is in use by another Tessavor process (pid " +
                       (holder >= 0 ? std::to_string(holder) : std::string("unknown")) + ")");
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
    if (g_fd >= 0) platform::Close(g_fd);  // drops the lock
    g_fd = -1;
    g_readOnly = false;
  }
}

bool THomeLock::ReadOnly() const {
  std::lock_guard guard(g_lock);
  return g_readOnly;
}
