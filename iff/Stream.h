#pragma once
// The byte streams the IFF reader and writer work on: an abstract seekable stream, a file
// stream on a POSIX descriptor and a growable memory stream. Positions and sizes are 64-bit
// byte offsets from the start of the stream.
//
// Errors: opening, reading, writing and seeking a file raise EInOutError (util/Exception.h)
// naming the file and the system's reason. A read at or past the end is not an error: it
// returns the number of bytes that were there (possibly 0).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class TStream {
public:
  virtual ~TStream() = default;
  // Reads up to `count` bytes at the current position and advances by the number read.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  // Writes `count` bytes at the current position and advances; returns the number written.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves to the absolute position `pos` (>= 0; positions past the end are allowed, a read
  // there returns nothing) and returns it. A negative position raises EInOutError.
  virtual int64_t Seek(int64_t pos) = 0;
  virtual int64_t Position() const = 0;
  virtual int64_t Size() const = 0;
};

class TFileStream : public TStream {
public:
  enum class TMode {
    OpenRead,       // an existing file, reading only
    OpenReadWrite,  // an existing file, reading and writing
    Create,         // created or truncated, reading and writing
  };
  // Other openers may read and write the file at the same time (no locks are taken).
  TFileStream(const std::string& fileName, TMode mode);
  ~TFileStream() override;
  TFileStream(const TFileStream&) = delete;
  TFileStream& operator=(const TFileStream&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t pos) override;
  int64_t Position() const override { return m_pos; }
  int64_t Size() const override;
  const std::string& FileName() const { return m_fileName; }

private:
  std::string m_fileName;
  int m_fd = -1;
  int64_t m_pos = 0;
};

class TMemoryStream : public TStream {
public:
  TMemoryStream() = default;
  // A stream holding a copy of `size` bytes at `data`, positioned at 0.
  TMemoryStream(const void* data, size_t size);

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t pos) override;
  int64_t Position() const override { return m_pos; }
  int64_t Size() const override { return static_cast<int64_t>(m_data.size()); }

  const std::vector<uint8_t>& Data() const { return m_data; }
  // Writes the whole content to `fileName` crash-safely (temporary file, then rename).
  void SaveToFile(const std::string& fileName) const;

private:
  std::vector<uint8_t> m_data;
  int64_t m_pos = 0;
};
