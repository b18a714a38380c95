#pragma once
// Whole-file reads and crash-safe whole-file writes. Every failure raises EInOutError with
// the file name and the system's reason.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Reads the whole file. Raises EInOutError when it cannot be opened or read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// Writes `size` bytes to `path` crash-safely: the bytes go to a temporary file in the same
// folder, which is flushed to disk and then renamed over `path`. A write that fails or is
// killed leaves the previous complete file (or none), never a torn one.
void WriteFileAtomic(const std::string& path, const void* data, size_t size);

// The same, for callers that produce a file in pieces: Write appends, Commit renames the
// finished file into place. Destroying an uncommitted writer removes the temporary file
// and leaves `path` untouched.
class TAtomicFileWriter {
public:
  explicit TAtomicFileWriter(const std::string& path);
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
};

// Text of errno for messages ("No such file or directory").
std::string SystemErrorText(int err);
