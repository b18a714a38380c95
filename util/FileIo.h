#pragma once
// Every file the program reads or writes goes through here.
//
// Reading. Files are opened without blocking (O_NONBLOCK), so that opening a FIFO or a
// device never waits for a writer, and anything that is not a regular file (a folder, FIFO,
// device or socket) is refused with EInOutError naming it. Whole-file reads take the bytes
// really present and stop at a documented cap: a file larger than the cap is refused with a
// message that says so. Nothing is allocated for what a file only claims.
//
// Writing. An output is written to a temporary file beside its target, flushed and renamed
// over the target, so a write that fails or is killed leaves the previous complete file (or
// none), never a torn one. The target rules, in one place:
//  - an existing target that is not a regular file (a device such as /dev/null, a FIFO, a
//    socket, a folder) is refused with an error naming it; nothing is created;
//  - a symbolic link is followed: the file it points to is replaced, the link stays;
//  - a target the user may not write (mode 0444) is refused, as is a folder the user may
//    not create files in; the rename never works around a permission;
//  - the replaced file keeps its permission bits; a new file gets 0666 less the umask;
//  - the temporary name ("<name>.tmp-XXXXXXXXXX", the name shortened when needed) fits the
//    255-byte limit of a file name. Its last ten characters are six random ones and four
//    that check them (MakeTempSuffix), so no name a user gives a file is taken for one of
//    ours. The writer holds a lock (flock) on its temporary file from its creation to the
//    rename, so a temporary file of the same target that nobody holds was left by a writer
//    that died (a killed export): each new writer removes those first, never a live one.
// Every failure raises EInOutError with the file name and the system's reason.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The cap of a whole-file read when the caller names none: no script, include file or
// data file the program reads whole comes near it.
constexpr uint64_t kMaxWholeFileBytes = 1ull << 30;

// An open regular file for reading (see the top of this file). Raises EInOutError when the
// file cannot be opened or is not a regular file.
class TInputFile {
public:
  explicit TInputFile(const std::string& path);
  ~TInputFile();
  TInputFile(const TInputFile&) = delete;
  TInputFile& operator=(const TInputFile&) = delete;

  int Fd() const { return m_fd; }
  // The size when the file was opened.
  uint64_t Size() const { return m_size; }
  const std::string& Path() const { return m_path; }
  // Hands the descriptor to the caller, who closes it.
  int Release();

  // Reads from the current offset up to `limit` bytes: fewer when the file ends first.
  std::vector<uint8_t> ReadUpTo(size_t limit);
  // Reads up to `size` bytes at `offset`; returns the count read (short at the end).
  size_t ReadAt(uint64_t offset, void* buffer, size_t size);

private:
  std::string m_path;
  int m_fd = -1;
  uint64_t m_size = 0;
};

// Reads the whole file, at most `maxBytes` of it: a larger file raises EInOutError
// ("... is too large: N bytes, at most M").
std::vector<uint8_t> ReadWholeFile(const std::string& path, uint64_t maxBytes = kMaxWholeFileBytes);

// How far a crash-safe write protects the new file.
//  - Durable: the temporary file is flushed to disk (fsync) before the rename, so the new
//    file survives a power cut once the call returns. For the user's own data.
//  - Replace: no flush. A reader, or a crash of this process, still sees the old complete
//    file or the new complete one, never a torn one; only a power cut right after the call
//    may lose the new file. For files made from other data that one command makes again
//    (an export), where the flush would cost more than all the work before it.
enum class TFileSync { Durable, Replace };

// What a write does with a symbolic link at the target's own name.
//  - Follow: the file it points to is replaced (the rule above).
//  - Refuse: for names that come from a file (an archive's entries), where a link planted
//    at such a name would send the data elsewhere: the link is refused with an error
//    naming it, and the rename replaces the name itself, so a link made meanwhile is
//    replaced rather than written through.
enum class TLinkRule { Follow, Refuse };

// Writes `size` bytes to `path` crash-safely (see the top of this file).
void WriteFileAtomic(const std::string& path, const void* data, size_t size,
                     TFileSync sync = TFileSync::Durable);

// The same, for callers that produce a file in pieces: Write appends, WriteAt patches what
// was written, Commit renames the finished file into place. Destroying an uncommitted
// writer removes the temporary file and leaves `path` untouched. The constructor applies
// the target rules and raises before anything is created.
class TAtomicFileWriter {
public:
  explicit TAtomicFileWriter(const std::string& path, TFileSync sync = TFileSync::Durable,
                             TLinkRule links = TLinkRule::Follow);
  ~TAtomicFileWriter();
  TAtomicFileWriter(const TAtomicFileWriter&) = delete;
  TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;

  void Write(const void* data, size_t size);
  void WriteAt(uint64_t offset, const void* data, size_t size);
  // Flushes (Durable) and closes the temporary file without putting it in place; for
  // writers of several files that rename them together (util/FileSet.h).
  void Finish();
  // Finish, then the rename.
  void Commit();
  // Removes the temporary file; nothing is put in place.
  void Discard();

  const std::string& Path() const { return m_path; }
  // The file that is replaced: Path() with symbolic links followed.
  const std::string& TargetPath() const { return m_target; }
  const std::string& TempPath() const { return m_tempPath; }

private:
  [[noreturn]] void Fail(const char* what, int err);

  std::string m_path;
  std::string m_target;
  std::string m_tempPath;
  int m_fd = -1;
  int m_lockFd = -1;  // keeps the temporary file's lock from Finish to the rename
  bool m_finished = false;
  TFileSync m_sync;
};

// The file a write to `path` replaces: symbolic links followed (relative ones against the
// link's folder). Raises EInOutError for a loop of links.
std::string ResolveOutputPath(const std::string& path);

// Checks the target rules for `path` without writing; raises EInOutError as the writer
// would. For callers that must refuse before they start any work.
void CheckOutputTarget(const std::string& path);

// The characters after ".tmp-" (or ".old-") in the names of our temporary files: six random
// ones and four that check them.
constexpr size_t kTempSuffixChars = 10;
std::string MakeTempSuffix();
// True for characters MakeTempSuffix could have made.
bool IsTempSuffix(std::string_view chars);

// A private folder or file of this process under the temporary folder ($TMPDIR, else
// /tmp), "tessavor-<kind>-XXXXXXXXXX<ending>", removed with all it holds when the object
// goes. The process holds a lock (flock) on it for the object's life, so one that a killed
// process left, which nobody holds, is removed when the next one is made; one whose owner
// still runs never is. Raises EInOutError when it cannot be made.
class TPrivateTemp {
public:
  enum class TKind { Folder, File };
  // `kind` a lower-case word ("export"); `ending` of a file, such as ".png".
  TPrivateTemp(TKind type, const std::string& kind, const std::string& ending = {});
  ~TPrivateTemp();
  TPrivateTemp(const TPrivateTemp&) = delete;
  TPrivateTemp& operator=(const TPrivateTemp&) = delete;
  const std::string& Path() const { return m_path; }
  // A file's descriptor, open for writing (the object closes it).
  int Fd() const { return m_fd; }

private:
  std::string m_path;
  TKind m_type;
  int m_fd = -1;
};

// Test hook: a disk with `bytes` free for the safe writer's temporary files; a write beyond
// them fails with ENOSPC ("No space left on device"). A negative count: no limit.
void SetFreeSpaceForTests(int64_t bytes);

// Flushes a folder's entries (after renames) to disk; failures are ignored.
void SyncFolder(const std::string& folder);

// Text of errno for messages ("No such file or directory").
std::string SystemErrorText(int err);
