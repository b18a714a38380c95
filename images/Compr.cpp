#include "images/Compr.h"

#if TESSAVOR_HAVE_LIBDEFLATE
#include <libdeflate.h>
#else
#include <zlib.h>
#endif
#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
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

#if TESSAVOR_HAVE_LIBDEFLATE
// The words zlib's zError uses for the same faults, so that messages stay as they were.
const char* InflateErrorText(libdeflate_result rc) {
  switch (rc) {
    case LIBDEFLATE_BAD_DATA:
      return "data error";
    case LIBDEFLATE_SHORT_OUTPUT:
    case LIBDEFLATE_INSUFFICIENT_SPACE:
      return "buffer error";
    default:
      return "stream error";
  }
}
#endif

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

[[noreturn]] void BlockError(size_t blockNumber, const std::string& what) {
  throw EComprError("_BlockRead: Block " + std::to_string(blockNumber) + ": " + what);
}

// ---- The block format ----

constexpr size_t kMaxCopy = 18;
constexpr size_t kMinRun = 16;

// Room the wide copies may write beyond the end of a match (the next items overwrite it):
// three 8-byte words from the match's start, or four pattern words 5 to 8 bytes apart.
constexpr size_t kCopySlack = 32;

// A control word whose 16 items (4 bytes at most each) all lie in the block and whose
// literals and copies all fit the output, slack included, is decoded without checking
// each item's input and room; a run, whose length the room cannot cover in advance, is
// still checked.
constexpr size_t kFastInput = 16 * 4;
constexpr size_t kFastRoom = 16 * kMaxCopy + kCopySlack;

// For a distance below 8, the largest multiple of it that is at most 8: an 8-byte word of
// the pattern stored every that many bytes continues the pattern without gaps.
constexpr uint8_t kPatternStride[8] = {0, 8, 8, 6, 8, 5, 6, 7};

// Keeps the first d bytes of a little-endian word.
constexpr uint64_t kPatternMask[8] = {
    0,
    0xFFull,
    0xFFFFull,
    0xFFFFFFull,
    0xFFFFFFFFull,
    0xFFFFFFFFFFull,
    0xFFFFFFFFFFFFull,
    0xFFFFFFFFFFFFFFull,
};

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

uint64_t LoadWord(const uint8_t* p) {
  uint64_t w;
  std::memcpy(&w, p, 8);
  return w;
}

void StoreWord(uint8_t* p, uint64_t w) { std::memcpy(p, &w, 8); }

// A back reference copies `count` bytes from `distance` bytes back as if one byte at a
// time, so a distance shorter than the count repeats the last `distance` bytes.
//
// Exact form, for the last bytes of the output: the pattern is copied in chunks that
// double (d, 2d, 4d, ... bytes), each from the pattern's start, so no chunk overlaps its
// own source.
void CopyMatchExact(uint8_t* out, size_t distance, size_t count) {
  const uint8_t* src = out - distance;
  size_t done = 0;
  while (done < count) {
    const size_t n = std::min(done + distance, count - done);
    std::memcpy(out + done, src, n);
    done += n;
  }
}

// The 8-byte word of a pattern of d < 8 bytes, repeated from its first byte. The pattern
// is gathered byte by byte (each byte load is served by the one earlier store that holds
// it, where a word load spanning several would wait for them all); bytes past it are read
// but masked off: they lie in the destination, inside the slack.
inline uint64_t GatherPattern(const uint8_t* src, size_t distance) {
  uint64_t word = 0;
  for (size_t i = 0; i < 7; ++i) word |= uint64_t{src[i]} << (8 * i);
  return (word & kPatternMask[distance]) * kPatternRepeat[distance];
}

// Shifts that turn a pattern word into the word of the same pattern `count` bytes further
// on: a rotation by count mod d bytes within the stride (its bits as a right shift and a
// left shift whose results agree where they overlap; a left shift of 64 stands as 0).
struct TPatternAdvance {
  uint8_t Right, Left;
};
constexpr auto kPatternAdvance = [] {
  std::array<std::array<TPatternAdvance, kMaxCopy + 1>, 8> table{};
  for (size_t d = 1; d < 8; ++d) {
    for (size_t count = 0; count <= kMaxCopy; ++count) {
      const size_t r = count % d;
      table[d][count] = {static_cast<uint8_t>(8 * r),
                         static_cast<uint8_t>((8 * (kPatternStride[d] - r)) & 63)};
    }
  }
  return table;
}();

// Wide form, with kCopySlack bytes of room behind the match: a fixed number of whole
// words whatever the count, so the copy takes no branch that depends on the data but the
// distance class. From 8 bytes back or more, three words in order: each word's source
// ends before its own destination starts, so a shorter distance repeats as it must.
inline void CopyWords(uint8_t* out, size_t distance) {
  const uint8_t* src = out - distance;
  StoreWord(out, LoadWord(src));
  StoreWord(out + 8, LoadWord(src + 8));
  StoreWord(out + 16, LoadWord(src + 16));
}

// A pattern word stored four times at the pattern's stride (5 to 8 bytes: at least the 18
// bytes of the longest match).
inline void StorePattern(uint8_t* out, uint64_t word, size_t distance) {
  const size_t stride = kPatternStride[distance];
  StoreWord(out, word);
  StoreWord(out + stride, word);
  StoreWord(out + 2 * stride, word);
  StoreWord(out + 3 * stride, word);
}

// One compressed block being decoded: its unread bytes, the output and its limits.
struct TBlockCursor {
  const uint8_t* In;
  const uint8_t* End;
  uint8_t* Out;
  uint8_t* Start;  // the destination's first byte: no back reference reaches before it
  uint8_t* Limit;  // one past the stream's uncompressed size
  size_t BlockNumber;
  // The last short pattern the fast loop wrote, advanced to where it ended: a match of the
  // same distance right behind it continues it from this register instead of loading its
  // bytes back from the stores just made (flat colours are chains of such matches).
  uint8_t* PatternEnd = nullptr;
  size_t PatternDistance = 0;
  uint64_t PatternWord = 0;

  [[noreturn]] void Fail(const std::string& what) const { BlockError(BlockNumber, what); }
  size_t Room() const { return static_cast<size_t>(Limit - Out); }
  size_t Left() const { return static_cast<size_t>(End - In); }

  void CheckReach(size_t distance) const {
    if (distance > static_cast<size_t>(Out - Start))
      Fail("back reference of " + std::to_string(distance) +
           " bytes before the start of the output");
  }
  // The run item whose bytes b0 = 0, b1 start at In: checked, since its length is up to 4111.
  void Run() {
    const size_t count = ((static_cast<size_t>(In[1] & 15u) << 8) | In[2]) + kMinRun;
    if (count > Room()) Fail("decodes beyond the stream's uncompressed size");
    std::memset(Out, In[3], count);
    Out += count;
    In += 4;
  }
};

// Items governed by the control bits in the top `bits` bits of `control`, each checked
// against the bytes left in the block, the room left in the output and, for a back
// reference, the bytes produced so far. Stops early where the block's bytes end.
void DecodeItemsChecked(TBlockCursor& c, unsigned control, int bits) {
  for (; bits > 0 && c.In < c.End; --bits, control <<= 1) {
    if ((control & 0x8000u) == 0) {
      if (c.Out == c.Limit) c.Fail("decodes beyond the stream's uncompressed size");
      *c.Out++ = *c.In++;
      continue;
    }
    if (c.Left() < 2) c.Fail("item cut off by the end of the block");
    const size_t distance = (size_t{c.In[0]} << 4) | (c.In[1] >> 4);
    if (distance == 0) {
      if (c.Left() < 4) c.Fail("item cut off by the end of the block");
      c.Run();
      continue;
    }
    const size_t count = (c.In[1] & 15u) + 3;
    c.In += 2;
    if (count > c.Room()) c.Fail("decodes beyond the stream's uncompressed size");
    c.CheckReach(distance);
    if (c.Room() >= count + kCopySlack) {
      if (distance >= 8) {
        CopyWords(c.Out, distance);
      } else {
        StorePattern(c.Out, GatherPattern(c.Out - distance, distance), distance);
      }
    } else {
      CopyMatchExact(c.Out, distance, count);
    }
    c.Out += count;
  }
}

// The 16 items of `control`, whose input and room were checked for all of them at once
// (kFastInput, kFastRoom). A run that leaves less room than that hands the items after it
// to the checked loop.
void DecodeItemsFast(TBlockCursor& c, unsigned control) {
  if (control == 0) {  // sixteen literals: the common case of detailed textures
    std::memcpy(c.Out, c.In, 16);
    c.Out += 16;
    c.In += 16;
    return;
  }
  for (int bits = 16; bits > 0; --bits, control <<= 1) {
    if ((control & 0x8000u) == 0) {
      // The literals up to the next match in one 16-byte copy (photographs are mostly
      // literals between short matches): the output has room for all 16 items; the input
      // is read 16 bytes ahead only where the block holds them.
      const int literals =
          std::min(bits, std::countl_zero(static_cast<uint16_t>(control & 0xFFFFu)));
      if (c.Left() >= 16) {
        std::memcpy(c.Out, c.In, 16);
      } else {
        std::memcpy(c.Out, c.In, static_cast<size_t>(literals));
      }
      c.Out += literals;
      c.In += literals;
      // The loop's own step takes the last of them.
      bits -= literals - 1;
      control <<= literals - 1;
      continue;
    }
    const size_t distance = (size_t{c.In[0]} << 4) | (c.In[1] >> 4);
    if (distance == 0) {
      c.Run();
      if (c.Room() < kFastRoom) return DecodeItemsChecked(c, control << 1, bits - 1);
      continue;
    }
    c.CheckReach(distance);
    const size_t count = (c.In[1] & 15u) + 3;
    c.In += 2;
    if (distance >= 8) {
      CopyWords(c.Out, distance);
    } else {
      uint64_t word = c.PatternWord;
      if (c.Out != c.PatternEnd || distance != c.PatternDistance)
        word = GatherPattern(c.Out - distance, distance);
      StorePattern(c.Out, word, distance);
      const TPatternAdvance a = kPatternAdvance[distance][count];
      c.PatternWord = (word >> a.Right) | (word << a.Left);
      c.PatternEnd = c.Out + count;
      c.PatternDistance = distance;
    }
    c.Out += count;
  }
}

// Decodes one compressed block (flag byte first) of `length` bytes into the output from
// `pos` on, and returns the new output position.
size_t DecodeCompressedBlock(const uint8_t* block, size_t length, uint8_t* dest, size_t pos,
                             size_t limit, size_t blockNumber) {
  TBlockCursor c{block + 1, block + length, dest + pos, dest, dest + limit, blockNumber};
  while (c.In < c.End) {
    if (c.Left() < 2) c.Fail("control word cut off by the end of the block");
    const unsigned control = (static_cast<unsigned>(c.In[0]) << 8) | c.In[1];
    c.In += 2;
    if (c.In == c.End) c.Fail("item cut off by the end of the block");
    if (c.Left() >= kFastInput && c.Room() >= kFastRoom) {
      DecodeItemsFast(c, control);
    } else {
      DecodeItemsChecked(c, control, 16);
    }
  }
  return static_cast<size_t>(c.Out - dest);
}

// Decodes one block of `length` bytes into dest[pos...limit) and returns the new output
// position: a stored block (flag 0x80) is its bytes, any other a compressed block.
size_t DecodeBlock(const uint8_t* block, size_t length, uint8_t* dest, size_t pos, size_t limit,
                   size_t blockNumber) {
  if (length == 0) return pos;
  if (block[0] != 0x80) return DecodeCompressedBlock(block, length, dest, pos, limit, blockNumber);
  const size_t n = length - 1;
  if (n > limit - pos) BlockError(blockNumber, "decodes beyond the stream's uncompressed size");
  std::memcpy(dest + pos, block + 1, n);
  return pos + n;
}

// The blocked stream: blocks until the uncompressed size is reached. Each block is read
// whole into one buffer (at most 32,768 bytes, not zeroed: every byte decoded is one read).
void ReadBlocks(std::istream& file, uint8_t* destination, uint32_t uncompressedSize) {
  const auto block = std::make_unique_for_overwrite<uint8_t[]>(kMaxBlockLength);
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
    const size_t got = ReadSome(file, block.get(), length);
    const size_t next =
        DecodeBlock(block.get(), got, destination, pos, uncompressedSize, blockNumber);
    // A block that yields nothing cannot come from a writer; taking it as damage also
    // keeps a run of empty blocks from being read to the end of the file.
    if (next == pos) BlockError(blockNumber, "decodes to no data");
    pos = next;
    ++blockNumber;
  }
}

// ---- The zlib format ----

// Packed bytes up to this size are read into a buffer that the thread keeps for the next
// texture: no allocation, and no fresh pages to fault in, per read. Larger ones get a
// buffer of their own, freed after the read.
constexpr size_t kKeptPackedBuffer = size_t{4} << 20;

// Reads `compressedSize` packed bytes into a buffer of that size (not zeroed). A size that
// no writer can produce for `uncompressedSize` bytes (more than zlib's bound plus a margin)
// is read in growing steps instead, so that a field claiming more than the file has fails
// with the read error before it allocates much.
const uint8_t* ReadPacked(std::istream& file, uint32_t compressedSize, uint32_t uncompressedSize,
                          std::unique_ptr<uint8_t[]>& own) {
  const size_t sane = static_cast<size_t>(compressBound(uncompressedSize)) + (size_t{1} << 16);
  if (compressedSize > sane) {
    std::vector<uint8_t> grown;
    size_t have = 0;
    while (have < compressedSize) {
      const size_t step = std::min<size_t>(compressedSize - have, std::max<size_t>(have, 1 << 16));
      grown.resize(have + step);
      ReadExact(file, grown.data() + have, step);
      have += step;
    }
    own = std::make_unique_for_overwrite<uint8_t[]>(grown.size());
    std::memcpy(own.get(), grown.data(), grown.size());
    return own.get();
  }
  static thread_local std::unique_ptr<uint8_t[]> kept;
  static thread_local size_t keptSize = 0;
  uint8_t* buffer;
  if (compressedSize <= kKeptPackedBuffer) {
    if (keptSize < compressedSize || !kept) {
      kept.reset();
      keptSize = std::max<size_t>(compressedSize, size_t{1} << 16);
      kept = std::make_unique_for_overwrite<uint8_t[]>(keptSize);
    }
    buffer = kept.get();
  } else {
    own = std::make_unique_for_overwrite<uint8_t[]>(compressedSize);
    buffer = own.get();
  }
  ReadExact(file, buffer, compressedSize);
  return buffer;
}

// Inflates the packed bytes straight into the destination and returns the bytes produced.
uint32_t ReadZlib(std::istream& file, uint8_t* destination, uint32_t compressedSize,
                  uint32_t uncompressedSize) {
  std::unique_ptr<uint8_t[]> own;
  const uint8_t* packed = ReadPacked(file, compressedSize, uncompressedSize, own);
#if TESSAVOR_HAVE_LIBDEFLATE
  // libdeflate inflates the same streams as zlib's uncompress (header, deflate data,
  // Adler-32 all checked) several times faster, since the decoded size is known.
  static thread_local std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)>
      inflater(libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
  if (!inflater) throw std::bad_alloc();
  static uint8_t sink = 0;
  size_t consumed = 0, produced = 0;
  const libdeflate_result rc = libdeflate_zlib_decompress_ex(
      inflater.get(), packed, compressedSize, uncompressedSize ? destination : &sink,
      uncompressedSize, &consumed, &produced);
  if (rc != LIBDEFLATE_SUCCESS) {
    // Damaged data would otherwise pass for a complete texture.
    throw EComprError(std::string("_BlockRead: Damaged zlib data (") + InflateErrorText(rc) + ")");
  }
  return static_cast<uint32_t>(produced);
#else
  // zlib's inflate, one call into the known room: the same bytes and the same words for
  // the same faults as the libdeflate build.
  static uint8_t sink = 0;
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) throw std::bad_alloc();
  stream.next_in = const_cast<Bytef*>(packed);
  stream.avail_in = compressedSize;
  stream.next_out = uncompressedSize ? destination : &sink;
  stream.avail_out = uncompressedSize;
  const int rc = inflate(&stream, Z_FINISH);
  const uLong produced = stream.total_out;
  const bool full = stream.avail_out == 0;
  inflateEnd(&stream);
  if (rc != Z_STREAM_END) {
    const char* why = rc == Z_BUF_ERROR && full ? "buffer error" : "data error";
    throw EComprError(std::string("_BlockRead: Damaged zlib data (") + why + ")");
  }
  return static_cast<uint32_t>(produced);
#endif
}

}  // namespace

void CheckStreamMagic(const uint8_t* header) {
  const uint16_t magic = static_cast<uint16_t>(header[0] | (header[1] << 8));
  if (magic != kStreamMagicBlocks && magic != kStreamMagicZlib) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "%02X%02X", header[0], header[1]);
    throw EComprError(std::string("_BlockRead: Unknown format (") + hex + ")");
  }
}

// NOLINTNEXTLINE(bugprone-reserved-identifier): the name the texture code has always used.
void _BlockRead(std::istream& file, uint8_t* destination, int64_t highIndex, uint32_t& byteCount) {
  uint8_t header[kStreamHeaderSize];
  ReadExact(file, header, sizeof header);
  const uint16_t magic = static_cast<uint16_t>(header[0] | (header[1] << 8));
  const uint32_t compressedSize = U32(header + 2);
  const uint32_t uncompressedSize = U32(header + 6);
  const bool blocked = header[10] != 0;

  CheckStreamMagic(header);
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

  if (magic == kStreamMagicZlib) {
    byteCount = ReadZlib(file, destination, compressedSize, uncompressedSize);
  } else if (!blocked) {
    byteCount = static_cast<uint32_t>(ReadSome(file, destination, uncompressedSize));
  } else {
    ReadBlocks(file, destination, uncompressedSize);
    byteCount = uncompressedSize;
  }
}
