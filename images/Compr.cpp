#include "images/Compr.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
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

// The words zlib's zError uses for the same faults, so that messages stay as they were.
const char* InflateErrorText(libdeflate_result rc) {
  switch (rc) {
    case LIBDEFLATE_BAD_DATA: return "data error";
    case LIBDEFLATE_SHORT_OUTPUT:
    case LIBDEFLATE_INSUFFICIENT_SPACE: return "buffer error";
    default: return "stream error";
  }
}

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

[[noreturn]] void BlockError(size_t blockNumber, const std::string& what) {
  throw EComprError("_BlockRead: Block " + std::to_string(blockNumber) + ": " + what);
}

// A back reference copies `count` bytes from `distance` bytes back as if one byte at a
// time, so a distance shorter than the count repeats the last `distance` bytes.
//
// Exact form: the pattern is copied in chunks that double (d, 2d, 4d, ... bytes), each
// from the pattern's start, so no chunk overlaps its own source.
inline void CopyMatchExact(uint8_t* out, size_t distance, size_t count) {
  const uint8_t* src = out - distance;
  if (distance >= count) {
    std::memcpy(out, src, count);
    return;
  }
  size_t done = 0;
  while (done < count) {
    const size_t n = std::min(done + distance, count - done);
    std::memcpy(out + done, src, n);
    done += n;
  }
}

// Room the wide copy may write beyond the end of the match.
constexpr size_t kWideCopySlack = 8;

// For a distance below 8, the largest multiple of it that is at most 8: an 8-byte word of
// the pattern stored every that many bytes continues the pattern without gaps.
constexpr uint8_t kPatternStride[8] = {0, 8, 8, 6, 8, 5, 6, 7};

// Multiplying a pattern of d bytes by this repeats it through a 64-bit word (its copies
// do not overlap, so nothing carries).
constexpr uint64_t kPatternRepeat[8] = {
    0,
    0x0101010101010101ull,
    0x0001000100010001ull,
    0x0001000001000001ull,
    0x0000000100000001ull,
    0x0000010000000001ull,
    0x0001000000000001ull,
    0x0100000000000001ull,
};

// Wide form, for matches with room behind them: whole 8-byte words, writing up to
// kWideCopySlack bytes past the match (the next items overwrite them). A short pattern is
// gathered byte by byte (each load then comes from one earlier store, which the processor
// forwards) and repeated in a register by one multiplication.
inline void CopyMatchWide(uint8_t* out, size_t distance, size_t count) {
  if (distance < 8) {
    const uint8_t* src = out - distance;
    uint64_t word = src[0];
    for (size_t i = 1; i < 7; ++i) {
      if (i < distance) word |= uint64_t{src[i]} << (8 * i);
    }
    word *= kPatternRepeat[distance];
    const size_t stride = kPatternStride[distance];
    for (size_t i = 0; i < count; i += stride) std::memcpy(out + i, &word, 8);
    return;
  }
  for (size_t i = 0; i < count; i += 8) std::memcpy(out + i, out + i - distance, 8);
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
        const size_t room = static_cast<size_t>(outEnd - out);
        if (count > room) BlockError(blockNumber, "decodes beyond the stream's uncompressed size");
        if (distance > static_cast<size_t>(out - dest))
          BlockError(blockNumber, "back reference of " + std::to_string(distance) +
                                      " bytes before the start of the output");
        if (room >= count + kWideCopySlack) {
          CopyMatchWide(out, distance, count);
        } else {
          CopyMatchExact(out, distance, count);
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

  // Zlib format. The packed bytes are read into one buffer of the size the header gives,
  // without zeroing it first. A size that no writer can produce for this many bytes (more
  // than zlib's bound plus a margin) is read in growing steps instead, so that a field
  // claiming more than the file has fails with the read error before it allocates much.
  const size_t sane = static_cast<size_t>(compressBound(uncompressedSize)) + (size_t{1} << 16);
  std::unique_ptr<uint8_t[]> packed;
  if (compressedSize <= sane) {
    packed.reset(new uint8_t[std::max<size_t>(compressedSize, 1)]);
    ReadExact(file, packed.get(), compressedSize);
  } else {
    std::vector<uint8_t> grown;
    size_t have = 0;
    while (have < compressedSize) {
      const size_t step = std::min<size_t>(compressedSize - have, std::max<size_t>(have, 1 << 16));
      grown.resize(have + step);
      ReadExact(file, grown.data() + have, step);
      have += step;
    }
    packed.reset(new uint8_t[grown.size()]);
    std::memcpy(packed.get(), grown.data(), grown.size());
  }
  // libdeflate inflates the same streams as zlib's uncompress (header, deflate data,
  // Adler-32 all checked) several times faster, since the decoded size is known.
  static thread_local std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)>
      inflater(libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
  if (!inflater) throw std::bad_alloc();
  static uint8_t sink = 0;
  size_t consumed = 0, produced = 0;
  const libdeflate_result rc = libdeflate_zlib_decompress_ex(
      inflater.get(), packed.get(), compressedSize, uncompressedSize ? destination : &sink,
      uncompressedSize, &consumed, &produced);
  if (rc != LIBDEFLATE_SUCCESS) {
    // Damaged data would otherwise pass for a complete texture.
    throw EComprError(std::string("_BlockRead: Damaged zlib data (") + InflateErrorText(rc) + ")");
  }
  byteCount = static_cast<uint32_t>(produced);
}
