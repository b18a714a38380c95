#include "iffc/TreArchive.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "util/FileIo.h"
#include "util/StrTools.h"

namespace {

uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// zlib cannot pack better than about 1032:1; a claimed unpacked size beyond that bound
// cannot be honest and is refused before the buffer is allocated.
constexpr uint64_t kMaxZlibRatio = 1032;

// An entry whose block starts inside the block of an entry before it (in file order) gets a
// Problem: a hundred entries over one block would otherwise be written a hundred times.
void MarkOverlaps(TTreDirectory& dir) {
  std::vector<size_t> order;
  for (size_t i = 0; i < dir.Entries.size(); ++i) {
    const TTreDirEntry& e = dir.Entries[i];
    if (e.Problem.empty() && !e.NeverWritten() && e.BytesInFile() > 0) order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return dir.Entries[a].Offset < dir.Entries[b].Offset;
  });
  uint64_t reach = 0;
  size_t owner = 0;
  for (size_t i : order) {
    TTreDirEntry& e = dir.Entries[i];
    const uint64_t end = uint64_t{e.Offset} + e.BytesInFile();
    if (e.Offset < reach) {
      e.Problem = "entry " + std::to_string(i) + ": block at offset " + std::to_string(e.Offset) +
                  " overlaps the block of entry " + std::to_string(owner);
      continue;
    }
    reach = end;
    owner = i;
  }
}

}  // namespace

uint64_t TreDirectoryBytes(std::span<const uint8_t> header, uint64_t fileSize,
                           const std::string& what) {
  if (fileSize < kTreHeaderSize || header.size() < kTreHeaderSize) {
    throw ETreArchive("TRE archive " + what + ": the file has " + std::to_string(fileSize) +
                      " bytes, fewer than the 16-byte header");
  }
  const uint32_t count = GetU32(header.data());
  const uint32_t version = GetU32(header.data() + 4);
  if (version != 1) {
    throw ETreArchive("TRE archive " + what + ": not a TRE archive (header word at offset 4 is " +
                      std::to_string(version) + ", expected 1)");
  }
  const uint64_t dirBytes = static_cast<uint64_t>(count) * kTreEntrySize;
  if (dirBytes > fileSize - kTreHeaderSize) {
    throw ETreArchive("TRE archive " + what + ": the header announces " + std::to_string(count) +
                      " directory entries (" + std::to_string(dirBytes) +
                      " bytes from offset 16), but the file has only " + std::to_string(fileSize) +
                      " bytes");
  }
  return dirBytes;
}

TTreDirectory ParseTreDirectory(std::span<const uint8_t> head, uint64_t fileSize,
                                const std::string& what) {
  const uint64_t dirBytes = TreDirectoryBytes(head, fileSize, what);
  if (dirBytes > head.size() - kTreHeaderSize) {
    throw ETreArchive("TRE archive " + what + ": directory truncated");
  }
  TTreDirectory dir;
  dir.Count = GetU32(head.data());
  dir.Version = GetU32(head.data() + 4);
  dir.FileSize = fileSize;
  const uint64_t dataStart = kTreHeaderSize + dirBytes;
  dir.Entries.reserve(dir.Count);
  for (uint32_t i = 0; i < dir.Count; ++i) {
    const uint64_t at = kTreHeaderSize + static_cast<uint64_t>(i) * kTreEntrySize;
    const uint8_t* p = head.data() + at;
    TTreDirEntry e;
    e.Crc = GetU32(p);
    e.Size = GetU32(p + 4);
    e.Offset = GetU32(p + 8);
    e.StoredSize = GetU32(p + 12);
    const auto* name = reinterpret_cast<const char*>(p + 16);
    const void* nul = std::memchr(name, 0, kTreNameSize);
    e.Name.assign(name, nul ? static_cast<const char*>(nul) - name : kTreNameSize);
    const std::string where =
        "entry " + std::to_string(i) + " (at offset " + std::to_string(at) + ")";
    if (!nul) {
      e.Problem = where + ": name has no terminating zero byte";
    } else if (!e.NeverWritten()) {
      const uint64_t bytes = e.BytesInFile();
      if (e.Offset > fileSize || bytes > fileSize - e.Offset) {
        e.Problem = where + ": block of " + std::to_string(bytes) + " bytes at offset " +
                    std::to_string(e.Offset) + " lies outside the file of " +
                    std::to_string(fileSize) + " bytes";
      } else if (bytes > 0 && e.Offset < dataStart) {
        e.Problem = where + ": block at offset " + std::to_string(e.Offset) +
                    " overlaps the header or directory (data starts at " +
                    std::to_string(dataStart) + ")";
      }
    }
    dir.Entries.push_back(std::move(e));
  }
  MarkOverlaps(dir);
  return dir;
}

void UnpackTreBlockTo(const TTreDirEntry& entry, std::span<const uint8_t> stored,
                      const std::function<void(const uint8_t* data, size_t size)>& sink) {
  const std::string name = "TRE block \"" + QuoteForMessage(entry.Name) + "\": ";
  if (entry.Size > static_cast<uint64_t>(stored.size()) * kMaxZlibRatio + 1024) {
    throw ETreArchive(name + std::to_string(stored.size()) + " stored bytes cannot unpack to " +
                      std::to_string(entry.Size) + " bytes");
  }
  z_stream z{};
  if (inflateInit(&z) != Z_OK) throw ETreArchive(name + "cannot start unpacking");
  struct TEnd {
    z_stream* z;
    ~TEnd() { inflateEnd(z); }
  } end{&z};
  uint8_t dummy = 0;
  z.next_in = const_cast<Bytef*>(stored.empty() ? &dummy : stored.data());
  z.avail_in = static_cast<uInt>(stored.size());
  std::vector<uint8_t> piece(256 * 1024);
  uint64_t total = 0;
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    z.next_out = piece.data();
    z.avail_out = static_cast<uInt>(piece.size());
    rc = inflate(&z, Z_NO_FLUSH);
    const size_t got = piece.size() - z.avail_out;
    if (rc != Z_OK && rc != Z_STREAM_END && !(rc == Z_BUF_ERROR && got > 0)) {
      throw ETreArchive(
          name + "the " + std::to_string(stored.size()) +
          " stored bytes are not a zlib stream of " + std::to_string(entry.Size) + " bytes (" +
          (rc == Z_BUF_ERROR
               ? std::string("cut off after ") + std::to_string(total + got) + " bytes"
               : std::string(zError(rc))) +
          ")");
    }
    total += got;
    if (total > entry.Size) {
      throw ETreArchive(name + "unpacks to more than the " + std::to_string(entry.Size) +
                        " bytes its directory entry says; stopped");
    }
    if (got > 0) sink(piece.data(), got);
  }
  if (total != entry.Size) {
    throw ETreArchive(name + "the " + std::to_string(stored.size()) +
                      " stored bytes are not a zlib stream of " + std::to_string(entry.Size) +
                      " bytes (" + std::to_string(total) + " bytes unpacked)");
  }
}

std::vector<uint8_t> UnpackTreBlock(const TTreDirEntry& entry, std::span<const uint8_t> stored) {
  std::vector<uint8_t> out;
  UnpackTreBlockTo(entry, stored, [&](const uint8_t* data, size_t size) {
    out.insert(out.end(), data, data + size);
  });
  return out;
}

TTreArchive::TTreArchive(const std::string& path) : m_path(path) {
  // Without blocking, only a regular file (util/FileIo.h).
  m_file = std::make_unique<TInputFile>(path);
  const uint64_t fileSize = m_file->Size();
  std::vector<uint8_t> head(kTreHeaderSize);
  if (fileSize >= kTreHeaderSize) ReadAt(0, head.data(), head.size());
  const uint64_t dirBytes = TreDirectoryBytes(head, fileSize, path);
  head.resize(kTreHeaderSize + dirBytes);
  ReadAt(kTreHeaderSize, head.data() + kTreHeaderSize, dirBytes);
  m_dir = ParseTreDirectory(head, fileSize, path);
}

TTreArchive::~TTreArchive() = default;

void TTreArchive::ReadAt(uint64_t offset, void* dest, size_t count) const {
  if (count == 0) return;
  if (m_file->ReadAt(offset, dest, count) != count) {
    throw EInOutError("Cannot read file \"" + QuotePathForMessage(m_path) + "\" at offset " +
                      std::to_string(offset) + ": the file ends before " + std::to_string(count) +
                      " bytes");
  }
}

std::vector<uint8_t> TTreArchive::ReadStored(size_t index) const {
  if (index >= m_dir.Entries.size()) {
    throw ETreArchive("TRE archive " + m_path + ": no entry " + std::to_string(index));
  }
  const TTreDirEntry& e = m_dir.Entries[index];
  if (!e.Problem.empty()) throw ETreArchive("TRE archive " + m_path + ": " + e.Problem);
  std::vector<uint8_t> data(e.NeverWritten() ? 0 : e.BytesInFile());
  ReadAt(e.Offset, data.data(), data.size());
  return data;
}

std::vector<uint8_t> TTreArchive::ReadBlock(size_t index) const {
  std::vector<uint8_t> stored = ReadStored(index);
  const TTreDirEntry& e = m_dir.Entries[index];
  if (!e.IsPacked()) return stored;
  return UnpackTreBlock(e, stored);
}

std::string SafeTreRelativePath(const std::string& name) {
  auto refuse = [&](const std::string& why) -> std::string {
    throw ETreArchive("TRE entry name \"" + QuoteForMessage(name) + "\" refused: " + why);
  };
  if (name.empty()) refuse("empty name");
  for (unsigned char c : name) {
    if (c < 32 || c == 127) refuse("control character in name");
  }
  std::string path = name;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  if (path[0] == '/') refuse("absolute path");
  if (path.size() >= 2 && path[1] == ':') refuse("drive letter");
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find('/', start);
    const std::string part =
        path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (part.empty() || part == "." || part == "..") {
      refuse(part == ".." ? "leaves the target folder" : "empty or \".\" path component");
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return path;
}
