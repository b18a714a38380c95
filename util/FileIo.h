#pragma once
// Whole-file reads and crash-safe whole-file writes. Every failure raises EInOutError with
// the file name and the system's reason.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads the whole file. Raises EInOutError when it cannot be opened or read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// How far a crash-safe write protects the new file.
//  - Durable: the temporary file is flushed to disk (fsync) before the rename, so the new
//    file survives a power cut once the call returns. For the user's own data.
//  - Replace: no flush. A reader, or a crash of this process, still sees the old complete
//    file or the new complete one, never a torn one; only a power cut right after the call
//    may lose the new file. For files made from other data that one command makes again
//    (an export), where the flush would cost more than all the work before it.
enum class TFileSync { Durable, Replace };

// Writes `size` bytes to `path` crash-safely: the bytes go to a temporary file in the same
// folder, which is then renamed over `path`. A write that fails or is killed leaves the
// previous complete file (or none), never a torn one.
void WriteFileAtomic(const std::string& path, const void* data, size_t size,
                     TFileSync sync = TFileSync::Durable);

// The same, for callers that produce a file in pieces: Write appends, Commit renames the
// finished file into place. Destroying an uncommitted writer removes the temporary file
// and leaves `path` untouched.
class TAtomicFileWriter {
public:
  explicit TAtomicFileWriter(const std::string& path, TFileSync sync = TFileSync::Durable);
  ~TAtomicFileWriter();
  TAtomicFileWriter(const TAtomicFileWriter&) = delete;
  TAtomicFileWriter& operator=(const TAtomicFileWriter&) = delete;

  void Write(const void* data, size_t size);
  void Commit();
  const std::string& Path() const { return m_path; }

private:
  std::string m_path;
  std::string m_tempPath;
  int m_fd = -1;
  TFileSync m_sync;
};

// Text of errno for messages ("No such file or directory").
std::string SystemErrorText(int err);
