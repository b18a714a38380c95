#pragma once
// Writing IFF containers in one forward pass: the caller opens FORMs and chunks, writes
// data and closes them; each size field is written as a placeholder and patched, big-endian,
// when its item is closed. Odd chunks get a zero pad byte that the chunk's size does not
// count and every enclosing FORM's size does.
//
// Lifecycle: construct (Create) -> OpenForm ... CloseForm -> Destroy(). Destroy() checks
// that no FORM is open and then Flush()es: a mode-0 writer collects the file in memory and
// saves it to FileName() only then (crash-safely, by temporary file and rename); a mode-1
// writer writes straight into FileName(), created at construction. Discard() drops the
// output and deletes FileName() if it exists.
// A writer that is destroyed without Destroy() or Discard() (an exception passed) writes
// nothing more: a mode-0 writer leaves the disk untouched, a mode-1 writer removes its
// incomplete file.
//
// Caller errors the writer refuses (EIffWriter, nothing written): a chunk outside a FORM or
// inside a chunk, a FORM inside a chunk, closing what is not open, CloseForm while a chunk is
// open, an item growing past 2^31 - 1 bytes. Write with no FORM open writes the bytes without
// counting them anywhere.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "iff/IffId.h"
#include "iff/Stream.h"
#include "util/Exception.h"

TESSAVOR_DECLARE_EXCEPTION(EIffWriter);

// The operations of a writer; the typed writes all go through the virtual Write.
class TBasicWriter {
public:
  // Mode 0: output collected in memory, saved by Flush. Mode 1: a file stream from the start.
  TBasicWriter(const std::string& fileName, uint8_t mode) : m_fileName(fileName), m_mode(mode) {}
  virtual ~TBasicWriter() = default;
  TBasicWriter(const TBasicWriter&) = delete;
  TBasicWriter& operator=(const TBasicWriter&) = delete;

  virtual void Flush() = 0;
  virtual int32_t GetPosition() const;
  // Drops the output without checks or Flush and deletes FileName() if it exists. The
  // writer accepts no further calls afterwards.
  virtual void Discard() = 0;
  virtual int32_t OpenChunk(TIffId name) = 0;
  virtual int32_t CloseChunk() = 0;
  virtual int32_t OpenForm(TIffId type) = 0;
  // The integer's bytes in memory order (least significant first) are the type.
  virtual int32_t OpenForm(uint32_t type) = 0;
  virtual int32_t CloseForm() = 0;
  virtual int32_t Write(const void* buffer, int32_t count) = 0;

  // Writes `count` bytes compressed as one zlib stream (header and Adler-32 trailer,
  // default level), without any length prefix.
  virtual int32_t WriteCompressed(const void* buffer, int32_t count);
  virtual int32_t WriteLong(int32_t value);               // 4 bytes, little-endian
  virtual int32_t WriteFloat(float value);                // IEEE single, little-endian
  virtual int32_t WriteCRC(const std::string& text);      // StrCrc32(text), little-endian
  virtual int32_t WriteZString(const std::string& text);  // characters and one zero byte

  const std::string& FileName() const { return m_fileName; }
  uint8_t Mode() const { return m_mode; }

protected:
  std::string m_fileName;
  uint8_t m_mode;
  std::unique_ptr<TStream> m_stream;
};

class TIffWriter : public TBasicWriter {
public:
  // Mode 0 or 1 (see above); any other mode raises EIffWriter. Mode 1 raises the stream
  // layer's error when the file cannot be created.
  TIffWriter(const std::string& fileName, uint8_t mode);
  ~TIffWriter() override;

  // Raises "TIffWriter.Destroy: Form X still open!" (nothing flushed, writer still usable)
  // when a FORM is open; otherwise flushes and closes the output. Accepts no further calls.
  void Destroy();
  void Flush() override;
  void Discard() override;
  // Each returns the offset at which the item's header starts.
  int32_t OpenChunk(TIffId name) override;
  int32_t OpenForm(TIffId type) override;
  int32_t OpenForm(uint32_t type) override;
  // Each returns the position at which writing continues.
  int32_t CloseChunk() override;
  int32_t CloseForm() override;
  int32_t Write(const void* buffer, int32_t count) override;

private:
  // An open item.
  struct TOpenItem {
    TIffId Id;
    int32_t Offset = 0;
    // Running size: a chunk starts at 0, a FORM at 4 (its type). An enclosing FORM counts
    // the bytes of an open inner FORM only once that one closes.
    int64_t Size = 0;
  };

  void RequireStream(const char* operation) const;
  void AddToInnermostForm(int64_t count);
  void PatchSize(int32_t offset, int64_t size);
  void WriteRaw(const void* data, int64_t count);

  std::optional<TOpenItem> m_chunk;
  std::vector<TOpenItem> m_forms;  // innermost last
  bool m_finished = false;         // Destroy or Discard ran
};
