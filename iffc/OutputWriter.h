#pragma once
// The compiler's output file: written front to back with small writes, and patched in
// place when a block closes (the compiler seeks back to a header, rewrites it and seeks to
// the end again).
//
// The bytes are those of writing each piece straight into the file at the current
// position, but the writes gather in one window of memory that is written with a single
// system call when it fills, when a write lands outside it, or at Close. A header patch
// that falls inside the window costs no system call at all. Whole input files are copied
// in large blocks (CopyFrom), without passing through the window.
//
// Crash safety: the bytes go through the program's one safe writer (util/FileIo.h): a
// temporary file beside the target, which Close renames over the target, and the same
// refusals (a device, FIFO or folder is never replaced). An output that is never closed (the run
// ended with an exception) is removed and the previous file of that name stays as it was.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "util/FileIo.h"

class TOutputWriter {
public:
  TOutputWriter();
  ~TOutputWriter();
  TOutputWriter(const TOutputWriter&) = delete;
  TOutputWriter& operator=(const TOutputWriter&) = delete;

  // Creates the output (the previous file of that name stays until Close). Raises
  // EInOutError naming the file when it cannot be created. An open output is discarded
  // first.
  void Open(const std::string& path);
  // Writes what is pending and puts the file in place under its name. Raises EInOutError
  // when that fails; the writer is closed afterwards in any case.
  void Close();
  // Drops the output without putting it in place.
  void Discard();

  bool IsOpen() const { return m_file != nullptr; }
  const std::string& Path() const { return m_path; }

  // Writes at the current position and moves behind the bytes.
  void Write(const void* data, size_t size) {
    // Appending to the window with room left, nearly every write, is one copy (of at
    // least one byte: an empty write may come with no buffer at all).
    if (m_windowLen != 0 && m_pos == m_windowStart + static_cast<int64_t>(m_windowLen) &&
        size != 0 && size <= kWindowSize - m_windowLen) {
      std::memcpy(m_window.data() + m_windowLen, data, size);
      m_windowLen += size;
      m_pos += static_cast<int64_t>(size);
      if (m_pos > m_size) m_size = m_pos;
      return;
    }
    WriteAnywhere(data, size);
  }
  void WriteU32LE(uint32_t value);
  void WriteZeros(size_t count);

  int64_t Position() const { return m_pos; }
  // Moves the position to an offset not beyond the end of what was written.
  void Seek(int64_t position);
  int64_t Size() const { return m_size; }

  // Appends the whole content of the open file `fd` (read from its current offset to its
  // end) at the current position; returns the byte count. Raises EInOutError naming
  // `what` when reading fails.
  int64_t CopyFrom(int fd, const std::string& what);

  // System calls that wrote output so far (for the benchmarks and tests).
  uint64_t WriteCalls() const { return m_writeCalls; }

private:
  static constexpr size_t kWindowSize = 256 * 1024;

  void WriteAnywhere(const void* data, size_t size);
  void Flush();
  void WriteAt(int64_t offset, const uint8_t* data, size_t size);

  std::string m_path;
  std::unique_ptr<TAtomicFileWriter> m_file;
  int64_t m_pos = 0;
  int64_t m_size = 0;
  std::vector<uint8_t> m_window;
  int64_t m_windowStart = 0;  // file offset of m_window[0]
  size_t m_windowLen = 0;     // bytes of the window in use; 0 whenever no output is open
  uint64_t m_writeCalls = 0;
};
