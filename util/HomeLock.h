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

#include <string>

#include "util/Exception.h"

TESSAVOR_DECLARE_EXCEPTION(EHomeInUse);

constexpr double kHomeLockWaitSeconds = 3.0;
constexpr const char* kHomeLockFile = "tessavor.lock";

class THomeLock {
public:
  // Takes the lock on HomeFolder(); raises EHomeInUse when another process keeps it for
  // `waitSeconds`, EInOutError when the lock file cannot be opened.
  explicit THomeLock(double waitSeconds = kHomeLockWaitSeconds);
  ~THomeLock();
  THomeLock(const THomeLock&) = delete;
  THomeLock& operator=(const THomeLock&) = delete;
};
