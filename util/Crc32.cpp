#include "util/Crc32.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "util/Exception.h"
#include "util/FileIo.h"

uint32_t Crc32Update(uint32_t crc, const void* data, size_t count) {
  // zlib's crc32 inverts the register on entry and exit; undoing both gives the plain
  // register update the program's checksum is defined by. zlib returns 0 for a null
  // buffer, so an empty input never reaches it.
  if (count == 0 || data == nullptr) return crc;
  const auto* p = static_cast<const Bytef*>(data);
  uLong reg = crc ^ 0xFFFFFFFFu;
  while (count > 0) {
    const uInt chunk = static_cast<uInt>(std::min<size_t>(count, 1u << 30));
    reg = crc32(reg, p, chunk);
    p += chunk;
    count -= chunk;
  }
  return static_cast<uint32_t>(reg) ^ 0xFFFFFFFFu;
}

uint32_t Crc32Buffer(const void* data, int64_t count) {
  if (count < 1) return 0;
  return Crc32Update(0, data, static_cast<size_t>(count));
}

uint32_t StrCrc32(std::string_view s) {
  return Crc32Update(0, s.data(), std::min<size_t>(s.size(), 255));
}

uint32_t FileCrc32(const std::string& fileName) {
  const std::vector<uint8_t> data = ReadWholeFile(fileName);
  return Crc32Update(0, data.data(), data.size());
}
