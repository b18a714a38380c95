#include "images/Compr.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

[[noreturn]] void ReadBeyondEnd() { throw EInOutError("Read beyond end of file"); }

// Reads exactly `size` bytes or raises the file layer's read error.
void ReadExact(std::istream& file, void* buffer, size_t size) {
  file.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
  if (static_cast<size_t>(file.gcount()) != size) ReadBeyondEnd();
}

// Reads up to `size` bytes; returns how many came. End of file is not an error here.
size_t ReadSome(std::istream& file, void* buffer, size_t size) {
  file.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
  const size_t got = static_cast<size_t>(file.gcount());
  if (got < size) file.clear(file.rdstate() & ~(std::ios::failbit | std::ios::eofbit));
  return got;
}

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

[[noreturn]] void BlockError(size_t blockNumber, const std::string& what) {
  throw EComprError("_BlockRead: Block " + std::to_string(blockNumber) + ": " + what);
}

// Decodes one block of `length` bytes into dest[pos...limit) and returns the new output
// position. Every item is checked against the bytes left in the block, the room left in
// the output and, for a back reference, the bytes produced so far.
size_t DecodeBlock(const uint8_t* block, size_t length, uint8_t* dest, size_t pos, size_t limit,
                   size_t blockNumber) {
  if (length == 0) return pos;
  if (block[0] == 0x80) {
    const size_t n = length - 1;
    if (n > limit - pos) BlockError(blockNumber, "decodes beyond the stream's uncompressed size");
    std::memcpy(dest + pos, block + 1, n);
    return pos + n;
  }
  const uint8_t* in = block + 1;
  const uint8_t* const end = block + length;
  uint8_t* out = dest + pos;
  uint8_t* const outEnd = dest + limit;
  unsigned control = 0;
  int bitsLeft = 0;
  while (in < end) {
    if (bitsLeft == 0) {
      if (end - in < 2) BlockError(blockNumber, "control word cut off by the end of the block");
      control = (static_cast<unsigned>(in[0]) << 8) | in[1];
      in += 2;
      bitsLeft = 16;
      // Sixteen literals in a row with input and room for all of them: the common case of
      // detailed textures, copied without a test per byte.
      if (control == 0 && end - in >= 16 && outEnd - out >= 16) {
        std::memcpy(out, in, 16);
        out += 16;
        in += 16;
        bitsLeft = 0;
        continue;
      }
      if (in == end) BlockError(blockNumber, "item cut off by the end of the block");
    }
    if ((control & 0x8000u) == 0) {
      if (out == outEnd) BlockError(blockNumber, "decodes beyond the stream's uncompressed size");
      *out++ = *in++;
    } else {
      if (end - in < 2) BlockError(blockNumber, "item cut off by the end of the block");
      const unsigned b0 = in[0], b1 = in[1];
      const size_t distance = (b0 << 4) | (b1 >> 4);
      if (distance != 0) {
        in += 2;
        const size_t count = (b1 & 15u) + 3;
        if (count > static_cast<size_t>(outEnd - out))
          BlockError(blockNumber, "decodes beyond the stream's uncompressed size");
        if (distance > static_cast<size_t>(out - dest))
          BlockError(blockNumber, "back reference of " + std::to_string(distance) +
                                      " bytes before the start of the output");
        const uint8_t* src = out - distance;
        if (distance >= count) {
          std::memcpy(out, src, count);
        } else if (distance == 1) {
          std::memset(out, *src, count);
        } else {
          for (size_t i = 0; i < count; ++i) out[i] = src[i];
        }
        out += count;
      } else {
        if (end - in < 4) BlockError(blockNumber, "item cut off by the end of the block");
        const size_t count = ((static_cast<size_t>(b1 & 15u) << 8) | in[2]) + 16;
        if (count > static_cast<size_t>(outEnd - out))
          BlockError(blockNumber, "decodes beyond the stream's uncompressed size");
        std::memset(out, in[3], count);
        out += count;
        in += 4;
      }
    }
    control <<= 1;
    --bitsLeft;
  }
  return static_cast<size_t>(out - dest);
}

}  // namespace

void _BlockRead(std::istream& file, uint8_t* destination, int64_t highIndex, uint32_t& byteCount) {
  uint8_t header[kStreamHeaderSize];
  ReadExact(file, header, sizeof header);
  const uint16_t magic = static_cast<uint16_t>(header[0] | (header[1] << 8));
  const uint32_t compressedSize = U32(header + 2);
  const uint32_t uncompressedSize = U32(header + 6);
  const bool blocked = header[10] != 0;

  if (magic != kStreamMagicBlocks && magic != kStreamMagicZlib) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "%02X%02X", header[0], header[1]);
    throw EComprError(std::string("_BlockRead: Unknown format (") + hex + ")");
  }
  // The destination is never overrun: a stream claiming more than it holds is refused
  // before anything is written.
  const uint64_t capacity = highIndex < 0 ? 0 : static_cast<uint64_t>(highIndex) + 1;
  if (uncompressedSize > capacity) {
    throw EComprError("_BlockRead: Stream of " + std::to_string(uncompressedSize) +
                      " bytes does not fit the buffer of " + std::to_string(capacity) + " bytes");
  }
  if (uncompressedSize > 0 && destination == nullptr) {
    throw EComprError("_BlockRead: No destination buffer");
  }

  if (magic == kStreamMagicBlocks) {
    byteCount = uncompressedSize;
    if (!blocked) {
      byteCount = static_cast<uint32_t>(ReadSome(file, destination, uncompressedSize));
      return;
    }
    std::vector<uint8_t> block(kMaxBlockLength);
    size_t pos = 0;
    size_t blockNumber = 0;
    while (pos < uncompressedSize) {
      uint8_t lengthBytes[4];
      ReadExact(file, lengthBytes, 4);
      const uint32_t length = U32(lengthBytes);
      if (length > kMaxBlockLength) {
        throw EComprError("_BlockRead: Block " + std::to_string(blockNumber) + " has the length " +
                          std::to_string(length) + " (at most 32768)");
      }
      const size_t got = ReadSome(file, block.data(), length);
      const size_t next = DecodeBlock(block.data(), got, destination, pos, uncompressedSize, blockNumber);
      // A block that yields nothing cannot come from a writer; taking it as damage also
      // keeps a run of empty blocks from being read to the end of the file.
      if (next == pos) BlockError(blockNumber, "decodes to no data");
      pos = next;
      ++blockNumber;
    }
    return;
  }

  // Zlib format. The compressed bytes are read in growing steps, so a size field that
  // claims more than the file has fails with the read error before it allocates much.
  std::vector<uint8_t> packed;
  size_t have = 0;
  while (have < compressedSize) {
    const size_t step = std::min<size_t>(compressedSize - have, std::max<size_t>(have, 1 << 16));
    packed.resize(have + step);
    ReadExact(file, packed.data() + have, step);
    have += step;
  }
  static const uint8_t kNothing = 0;
  uLongf produced = uncompressedSize;
  static uint8_t sink = 0;
  const int rc = uncompress(uncompressedSize ? destination : &sink, &produced,
                            packed.empty() ? &kNothing : packed.data(), static_cast<uLong>(packed.size()));
  if (rc != Z_OK) {
    // Damaged data would otherwise pass for a complete texture.
    throw EComprError(std::string("_BlockRead: Damaged zlib data (") + zError(rc) + ")");
  }
  byteCount = static_cast<uint32_t>(produced);
}
