#include "iffc/TreArchive.h"

#include <zlib.h>

#include <cerrno>
#include <cstring>

#include "util/FileIo.h"

namespace {

uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

// zlib cannot pack better than about 1032:1; a claimed unpacked size beyond that bound
// cannot be honest and is refused before the buffer is allocated.
constexpr uint64_t kMaxZlibRatio = 1032;

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
                      " bytes from offset 16), but the file has only " +
                      std::to_string(fileSize) + " bytes");
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
    const std::string where = "entry " + std::to_string(i) + " (at offset " + std::to_string(at) + ")";
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
  return dir;
}

std::vector<uint8_t> UnpackTreBlock(const TTreDirEntry& entry, std::span<const uint8_t> stored) {
  if (entry.Size > static_cast<uint64_t>(stored.size()) * kMaxZlibRatio + 1024) {
    throw ETreArchive("TRE block \"" + entry.Name + "\": " + std::to_string(stored.size()) +
                      " stored bytes cannot unpack to " + std::to_string(entry.Size) + " bytes");
  }
  std::vector<uint8_t> out(entry.Size);
  uLongf outLen = entry.Size;
  // zlib wants a non-null destination even for an empty result.
  uint8_t dummy = 0;
  const int rc = uncompress(out.empty() ? &dummy : out.data(), &outLen,
                            stored.empty() ? &dummy : stored.data(), stored.size());
  if (rc != Z_OK || outLen != entry.Size) {
    throw ETreArchive("TRE block \"" + entry.Name + "\": the " + std::to_string(stored.size()) +
                      " stored bytes are not a zlib stream of " + std::to_string(entry.Size) +
                      " bytes (" + (rc == Z_OK ? std::to_string(outLen) + " bytes unpacked"
                                               : std::string(zError(rc))) + ")");
  }
  return out;
}

TTreArchive::TTreArchive(const std::string& path) : m_path(path) {
  m_file = std::fopen(path.c_str(), "rb");
  if (!m_file) {
    throw EInOutError("Cannot open file \"" + path + "\": " + SystemErrorText(errno));
  }
  if (std::fseek(m_file, 0, SEEK_END) != 0) {
    const int err = errno;
    std::fclose(m_file);
    throw EInOutError("Cannot read file \"" + path + "\": " + SystemErrorText(err));
  }
  const long end = std::ftell(m_file);
  const uint64_t fileSize = end < 0 ? 0 : static_cast<uint64_t>(end);
  try {
    std::vector<uint8_t> head(kTreHeaderSize);
    if (fileSize >= kTreHeaderSize) ReadAt(0, head.data(), head.size());
    const uint64_t dirBytes = TreDirectoryBytes(head, fileSize, path);
    head.resize(kTreHeaderSize + dirBytes);
    ReadAt(kTreHeaderSize, head.data() + kTreHeaderSize, dirBytes);
    m_dir = ParseTreDirectory(head, fileSize, path);
  } catch (...) {
    std::fclose(m_file);
    throw;
  }
}

TTreArchive::~TTreArchive() {
  if (m_file) std::fclose(m_file);
}

void TTreArchive::ReadAt(uint64_t offset, void* dest, size_t count) const {
  if (count == 0) return;
  if (std::fseek(m_file, static_cast<long>(offset), SEEK_SET) != 0 ||
      std::fread(dest, 1, count, m_file) != count) {
    throw EInOutError("Cannot read file \"" + m_path + "\" at offset " + std::to_string(offset));
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
    throw ETreArchive("TRE entry name \"" + name + "\" refused: " + why);
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
    const std::string part = path.substr(start, slash == std::string::npos ? std::string::npos
                                                                           : slash - start);
    if (part.empty() || part == "." || part == "..") {
      refuse(part == ".." ? "leaves the target folder" : "empty or \".\" path component");
    }
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  return path;
}
