#pragma once
// The compressed texture stream of ".gct" files: its reader `_BlockRead` and the encoders
// that produce it.
//
// Stream layout (integers little-endian):
//   bytes 0-1   magic: CC CC block format, CC DD zlib format
//   bytes 2-5   compressed size (zlib format)
//   bytes 6-9   uncompressed size: the bytes the stream decodes to
//   byte  10    block format: non-zero = compressed blocks follow, 0 = the data follows stored
// Block format, blocked: blocks of a 32-bit length L (at most 32,768) and L bytes. A block
// whose first byte is 0x80 is stored (bytes 1..L-1 are output as they are); any other first
// byte starts a compressed block: big-endian 16-bit control words, each governing the next
// 16 items, most significant bit first. Bit 0: a literal byte. Bit 1: two bytes b0 b1 with
// D = b0*16 + (b1>>4); D != 0 copies (b1&15)+3 bytes from D bytes back in the output (one
// at a time, so an overlapping copy repeats), D == 0 takes two more bytes b2 b3 and outputs
// ((b1&15)*256 + b2) + 16 copies of b3. A block is decoded until its bytes are used up.
// Zlib format: the compressed size bytes of a zlib stream (header, deflate, Adler-32).
//
// Contract on bad input: `_BlockRead` never writes outside the destination nor reads
// outside what it read from the file. A stream whose uncompressed size exceeds the
// destination, a block longer than 32,768 bytes, an item cut off by the end of its block,
// a back reference before the start of the output, blocks that decode to more than the
// uncompressed size or to nothing at all, and zlib data that does not inflate cleanly raise
// EComprError. A file too short for the header, a block length or the zlib data raises
// EInOutError "Read beyond end of file". Stored data cut short is not an error: the byte
// count says how much came.

#include <cstddef>
#include <cstdint>
#include <istream>
#include <vector>

#include "util/Exception.h"

TESSAVOR_DECLARE_EXCEPTION(EComprError);

constexpr uint16_t kStreamMagicBlocks = 0xCCCC;
constexpr uint16_t kStreamMagicZlib = 0xDDCC;
constexpr size_t kStreamHeaderSize = 11;
constexpr size_t kMaxBlockLength = 32768;
constexpr size_t kMaxBlockOutput = 65535;

// Decodes the stream that starts at the file's position into `destination`, whose highest
// valid index is `highIndex` (its size minus 1), and sets `byteCount` to the bytes the
// stream stands for: the header's uncompressed size for blocks, the bytes actually read for
// stored data, the length zlib reports for the zlib format. On return the file stands
// behind the stream.
// NOLINTNEXTLINE(bugprone-reserved-identifier): the name the texture code has always used.
void _BlockRead(std::istream& file, uint8_t* destination, int64_t highIndex, uint32_t& byteCount);

// Raises "_BlockRead: Unknown format (XXXX)" (the first two bytes in hex) for a stream
// header whose magic is neither format's. Callers that judge the header's sizes before
// `_BlockRead` call it first, so that a foreign stream is named as one.
void CheckStreamMagic(const uint8_t* header);

// Which stream the encoder writes.
enum class TStreamFormat {
  Blocks,  // block format, compressed blocks (LZ77 search, runs; stored blocks where smaller)
  Stored,  // block format with blocked = 0
  Zlib,    // zlib format, zlib's compress at the default level
};

// Encodes `size` bytes as one complete stream, header included. `_BlockRead` gives the
// input back exactly. Sizes above 4 GiB - 1 raise EComprError.
std::vector<uint8_t> EncodeStream(const uint8_t* data, size_t size, TStreamFormat format);
