#pragma once
// Reader of the TRE archives the compiler writes: a 16-byte header (entry count, 1, 0, 0,
// little-endian 32-bit words), a directory of fixed 272-byte entries, then the blocks' bytes.
//
// Directory entry: name checksum, size, absolute offset, stored size (each 32 bits), then
// 256 bytes of name padded with zeros. A block occupies `StoredSize` bytes at `Offset` when
// the stored size is not 0 (the block was written with a SIZE that differs from the bytes
// written, typically the unpacked size of a compressed input), else `Size` bytes. An entry
// whose block never came holds 0 in size, offset and stored size.
//
// Safe for untrusted files: the entry count is checked against the bytes really present
// before the directory is read or allocated, and every entry's offset and size are checked
// against the file size with overflow-free comparisons. A broken entry is kept in the
// directory with its `Problem` text; its bytes are never read. So is an entry whose block
// overlaps the block of an entry before it in the file (an archive bomb: a hundred entries
// over one block would unpack it a hundred times); the compiler never writes such entries.
// Unpacking follows the data, not the directory: it stops with an error as soon as a block
// unpacks to more than its entry's size, and the output grows only as bytes come.

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "util/Exception.h"

TESSAVOR_DECLARE_EXCEPTION(ETreArchive);

constexpr uint32_t kTreHeaderSize = 16;
constexpr uint32_t kTreEntrySize = 272;
constexpr uint32_t kTreNameSize = 256;

struct TTreDirEntry {
  uint32_t Crc = 0;
  uint32_t Size = 0;
  uint32_t Offset = 0;
  uint32_t StoredSize = 0;
  std::string Name;
  std::string Problem;  // empty when the entry can be read

  // Bytes the block occupies in the file.
  uint32_t BytesInFile() const { return StoredSize != 0 ? StoredSize : Size; }
  // The block was declared but never written (all fields 0).
  bool NeverWritten() const { return Size == 0 && Offset == 0 && StoredSize == 0; }
  // The stored bytes are a packed form of `Size` bytes.
  bool IsPacked() const { return StoredSize != 0 && StoredSize != Size; }
};

struct TTreDirectory {
  uint32_t Count = 0;    // header word 0
  uint32_t Version = 0;  // header word 1 (always 1)
  uint64_t FileSize = 0;
  std::vector<TTreDirEntry> Entries;
};

// Checks the 16-byte header against the file size and returns the number of directory bytes
// that follow it. Raises ETreArchive (message names `what` and the offending values).
uint64_t TreDirectoryBytes(std::span<const uint8_t> header, uint64_t fileSize,
                           const std::string& what);

// Parses header and directory from `head` (at least the header and the directory bytes the
// header announces) of a file of `fileSize` bytes. Raises ETreArchive for a header that
// cannot belong to an archive; per-entry faults go to the entries' `Problem`.
TTreDirectory ParseTreDirectory(std::span<const uint8_t> head, uint64_t fileSize,
                                const std::string& what);

// Unpacks a packed block (zlib stream) to exactly `entry.Size` bytes. Raises ETreArchive
// when the stored bytes are not a zlib stream of that size.
std::vector<uint8_t> UnpackTreBlock(const TTreDirEntry& entry, std::span<const uint8_t> stored);
// The same, handing the bytes to `sink` piece by piece as they are unpacked.
void UnpackTreBlockTo(const TTreDirEntry& entry, std::span<const uint8_t> stored,
                      const std::function<void(const uint8_t* data, size_t size)>& sink);

// An archive on disk. Only the header and directory are read when it is opened; blocks are
// read one at a time on request.
class TTreArchive {
public:
  // Raises ETreArchive for a file that is not an archive, EInOutError when it cannot be read.
  explicit TTreArchive(const std::string& path);
  ~TTreArchive();
  TTreArchive(const TTreArchive&) = delete;
  TTreArchive& operator=(const TTreArchive&) = delete;

  const TTreDirectory& Directory() const { return m_dir; }
  const std::string& Path() const { return m_path; }

  // The block's bytes as stored. Raises ETreArchive for an entry with a Problem.
  std::vector<uint8_t> ReadStored(size_t index) const;
  // The block's bytes, unpacked when the entry says it is packed.
  std::vector<uint8_t> ReadBlock(size_t index) const;

private:
  void ReadAt(uint64_t offset, void* dest, size_t count) const;

  std::string m_path;
  std::unique_ptr<class TInputFile> m_file;
  TTreDirectory m_dir;
};

// Checks a name from a directory entry for extraction below a folder and returns it as a
// relative path with "/" separators ("\" in names counts as a separator). Raises
// ETreArchive for a name that is empty, absolute (leading separator or drive letter), has
// an empty, "." or ".." component, or holds a control character.
std::string SafeTreRelativePath(const std::string& name);
