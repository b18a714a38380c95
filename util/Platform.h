#pragma once
// The few operating-system calls the core makes, with one side for POSIX systems
// (util/PlatformPosix.cpp) and one for Windows (util/PlatformWindows.cpp); the build
// compiles the side of its target. Everything above this layer (the safe writer, the home
// lock, the record files' journal, the paths) is written once against it.
//
// Conventions of both sides:
//  - paths are UTF-8 (the Windows side converts them to the system's UTF-16);
//  - files are C runtime descriptors (int), opened in binary mode and not inherited by
//    child processes;
//  - a failure returns -1 (or false) and leaves the reason in errno, the Windows side
//    translating the system's error codes, so that messages read the same everywhere.
//
// Where Windows differs in what it promises:
//  - Replace: MoveFileEx with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH. A reader
//    sees the old file or the new one as on POSIX, but a file another program holds open
//    without sharing cannot be replaced (the call fails and the old file stays);
//  - file modes: only the read-only attribute exists; a replaced read-only file is refused
//    as on POSIX, and a new file is writable;
//  - links: symbolic links (reparse points) are followed to their final target;
//  - locks (LockFileEx) are mandatory for other programs' reads of the locked range, and
//    the holder of a lock is not known (EHomeInUse then says "pid unknown").

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace platform {

enum class TFileKind {
  Missing,
  Regular,
  Folder,
  Fifo,
  CharDevice,
  BlockDevice,
  Socket,
  Link,
  Other
};

struct TFileStatus {
  TFileKind Kind = TFileKind::Missing;
  uint64_t Size = 0;
  unsigned Mode = 0;  // permission bits (POSIX); 0444 or 0666 on Windows
};

// "a folder", "a FIFO", ...: what a file of that kind is, for messages.
std::string FileKindText(TFileKind kind);

// Opening. OpenRead never blocks on a FIFO or device (O_NONBLOCK on POSIX).
int OpenRead(const std::string& path);
// Read and write, created (and emptied) when `create`.
int OpenReadWrite(const std::string& path, bool create);
// A new file that must not exist yet, never through a symbolic link; `mode` less the umask
// on POSIX (Windows keeps a new file writable).
int CreateNewFile(const std::string& path, unsigned mode = 0666);
// A file kept only to be locked: opened read-write, created (0644) when missing, never
// through a symbolic link.
int OpenLockFile(const std::string& path);
int Close(int fd);
// A second descriptor of the same open file (not inherited by child processes).
int Duplicate(int fd);

// Reads and writes; the counts may be short; -1 with errno on failure (EINTR retried).
int64_t ReadSome(int fd, void* buffer, size_t size);
int64_t ReadAt(int fd, void* buffer, size_t size, uint64_t offset);
int64_t WriteSome(int fd, const void* data, size_t size);
int64_t WriteAt(int fd, const void* data, size_t size, uint64_t offset);

// The file's data on disk (fsync, FlushFileBuffers).
int SyncFile(int fd);
// A folder's entries on disk after renames; best effort (Windows needs none: the rename
// is written through).
void SyncFolder(const std::string& folder);

int StatFd(int fd, TFileStatus& status);
// With `followLinks` false a symbolic link reports Kind Link. A missing file returns 0
// with Kind Missing; -1 is any other failure.
int StatPath(const std::string& path, TFileStatus& status, bool followLinks = true);
// The target a symbolic link names (as written in it); false when `path` is no link.
bool ReadLink(const std::string& path, std::string& target);
// Gives a file the permission bits `mode` (the read-only attribute on Windows).
int SetMode(int fd, unsigned mode);
// True when the process may write the file (or create files in the folder).
bool CanWrite(const std::string& path);

// Puts `from` in the place of `to`, replacing it, in one step.
int RenameOver(const std::string& from, const std::string& to);
int RemoveFile(const std::string& path);
// A second name for an existing file on the same volume.
int HardLink(const std::string& existing, const std::string& newName);
bool Exists(const std::string& path);
// The names in a folder, without "." and ".."; empty when it cannot be read.
std::vector<std::string> FolderEntries(const std::string& folder);

// An exclusive lock on the whole file through this descriptor, taken without waiting:
// 0, or -1 with errno EAGAIN when another descriptor holds it (in any process). Released
// when the descriptor (and every copy of it) is closed.
int TryLockFile(int fd);
// The same for a lock that belongs to the process (POSIX record locks): the holder can be
// named, but closing any descriptor of the file in the process drops it, so the file is
// opened once. A `shared` lock (which a read-only descriptor can take) lets other shared
// locks in and keeps exclusive ones out.
int TryLockForProcess(int fd, bool shared = false);
// The process that holds a lock in the way of the one TryLockForProcess could not take;
// -1 when it cannot be known.
long LockHolder(int fd, bool shared = false);
// True when the open file `fd` is the one `path` names now (not following a link there):
// a name removed and made again between an open and a lock is another file.
bool SameFile(int fd, const std::string& path);
// True when the open file belongs to the user running the process (always on Windows,
// whose temporary folder is the user's own).
bool OwnedByCurrentUser(int fd);

// The folder for temporary files: $TMPDIR, else /tmp; on Windows GetTempPath's.
std::string TempFolder();
// A new folder only its owner may enter (0700 on POSIX); -1 with EEXIST when it exists.
int MakePrivateFolder(const std::string& path);
// A folder opened to be held (and locked where the system can: Windows cannot lock a
// folder, so a folder of ours there is never taken for a stale one), not through a link.
int OpenFolder(const std::string& path);

long ProcessId();

// The local time of `t` (thread-safe).
void LocalTime(std::time_t t, std::tm& local);

// The calling thread's system id, and a thread's priority as a nice value (-20 highest,
// 19 idle; Windows takes the nearest of its thread priorities). Best effort: a priority
// the process may not take is left as it is.
long CurrentThreadId();
void SetThreadNice(long threadId, int nice);

// The running program's own file, absolute; "" when it cannot be found.
std::string ExecutablePath();
// Where the home folder is when TESSAVOR_HOME is not set: $XDG_DATA_HOME/tessavor, else
// ~/.local/share/tessavor on POSIX; %APPDATA%\Tessavor on Windows.
std::string DefaultHomeFolder();
// An environment variable as UTF-8; "" when it is not set.
std::string Environment(const char* name);
// The file name of a shared library called `stem` ("bsp": libbsp.so, bsp.dll).
std::string SharedLibraryName(const std::string& stem);

// Shared libraries: nullptr when the library cannot be loaded, `error` then saying why.
void* OpenLibrary(const std::string& path, std::string& error);
void* FindSymbol(void* library, const char* name);
void CloseLibrary(void* library);

// The command line as UTF-8 (Windows passes main() the ANSI code page's bytes) and the
// standard streams in binary mode, so that the programs' output has the same bytes on
// every system. Called first thing by each program's main.
std::vector<std::string> StartProgram(int argc, char** argv);

// std::filesystem paths from and to UTF-8 (a plain std::string would take the ANSI code
// page on Windows).
inline std::filesystem::path ToPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string FromPath(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(s.begin(), s.end());
}

// True when `path` is absolute on this system ("/x"; "C:\x", "C:/x", "\\server\x").
bool IsAbsolutePath(const std::string& path);
// The folder separators of this system ("/"; "/" and "\\" on Windows), for find_last_of.
#ifdef _WIN32
inline constexpr const char* kSeparators = "/\\";
#else
inline constexpr const char* kSeparators = "/";
#endif
// True for a separator of this system.
bool IsSeparator(char c);

}  // namespace platform
