// The home lock as another process sees it: held while any holder of this process lives.
#include "util/HomeLock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/TestSupport.h"
#include "util/Paths.h"

namespace {

// Whether a process other than this one could take the lock now. A forked child holds none
// of its parent's record locks, so its attempt meets them as any other process would.
bool AnotherProcessCouldTakeIt() {
  const std::string path = HomeFile(kHomeLockFile);
  const pid_t child = ::fork();
  if (child == 0) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    ::_exit(fd >= 0 && ::fcntl(fd, F_SETLK, &fl) == 0 ? 0 : 1);
  }
  int status = 0;
  EXPECT_EQ(::waitpid(child, &status, 0), child);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(HomeLock, NestedHoldersKeepTheFolderUntilTheLastOneGoes) {
  testsupport::TempDir home;
  {
    const THomeLock outer;
    EXPECT_FALSE(AnotherProcessCouldTakeIt());
    {
      const THomeLock inner;
      EXPECT_FALSE(AnotherProcessCouldTakeIt());
    }
    // The inner holder going must not free what the outer one still holds.
    EXPECT_FALSE(AnotherProcessCouldTakeIt());
  }
  EXPECT_TRUE(AnotherProcessCouldTakeIt());
  // Taken again after the last holder went, it is held again.
  const THomeLock again;
  EXPECT_FALSE(AnotherProcessCouldTakeIt());
}

}  // namespace
