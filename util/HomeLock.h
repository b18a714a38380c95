#pragma once
// One Tessavor process at a time on a home folder. Commands and the editor that read and
// write the record files hold an advisory lock (a POSIX record lock) on "tessavor.lock" in
// the home folder; without it two of them could interleave their Saves and rips, and one
// would fail half way with a misleading message about a file the other had just renamed.
//
// A process that finds the lock taken retries for a few seconds (kHomeLockWaitSeconds),
// then raises EHomeInUse "the home folder is in use by another Tessavor process (pid N)",
// N being the holder the system names. The lock goes with the process however it ends
// (a killed editor frees it), is not inherited by child processes, and is only advisory:
// other programs are not stopped. Holders nest within a process: the folder is released
// when the last THomeLock of the process goes.
//
// A holder that only reads (THomeAccess::Read) takes the same lock where it can, and works
// on a home it cannot write too: a read-only file system (a mounted game folder, a disc
// image) or a lock file of another user. There it takes a shared lock on the lock file, or
// none when there is no lock file and it cannot make one (nobody else can write there
// either), and ReadOnly() says so.

#include <string>

#include "util/Exception.h"

TESSAVOR_DECLARE_EXCEPTION(EHomeInUse);

constexpr double kHomeLockWaitSeconds = 3.0;
constexpr const char* kHomeLockFile = "tessavor.lock";

enum class THomeAccess { Write, Read };

class THomeLock {
public:
  // Takes the lock on HomeFolder(); raises EHomeInUse when another process keeps it for
  // `waitSeconds`, EInOutError when the lock file cannot be opened (a Write holder on a
  // home it may not write, a symbolic link at the lock file's name).
  explicit THomeLock(THomeAccess access = THomeAccess::Write,
                     double waitSeconds = kHomeLockWaitSeconds);
  ~THomeLock();
  THomeLock(const THomeLock&) = delete;
  THomeLock& operator=(const THomeLock&) = delete;

  // True when the home cannot be written here (only a Read holder gets such a lock).
  bool ReadOnly() const;
};
