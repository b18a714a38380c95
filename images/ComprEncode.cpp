// Encoders of the compressed texture stream (see Compr.h for the layout).
//
// Block format: a greedy LZ77 coder. Runs of one byte of 16 or more become run items;
// otherwise the longest match of 3 to 18 bytes within the last 4,095 output bytes (hash
// chains over 3-byte prefixes, searched to a fixed depth) becomes a copy item, else the byte
// is a literal. Back references may reach into earlier blocks: the reader decodes every
// block into the same destination. A block is closed before it would pass 32,768 encoded
// bytes or 65,535 decoded bytes; a block that does not shrink is written stored.

#include "images/Compr.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr size_t kWindow = 4095;
constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 18;
constexpr size_t kMinRun = 16;
constexpr size_t kMaxRun = 4111;
constexpr int kHashBits = 15;
constexpr int kMaxChain = 48;

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void PutHeader(std::vector<uint8_t>& out, uint16_t magic, uint32_t packed, uint32_t size,
               uint8_t blocked) {
  out.push_back(static_cast<uint8_t>(magic));
  out.push_back(static_cast<uint8_t>(magic >> 8));
  PutU32(out, packed);
  PutU32(out, size);
  out.push_back(blocked);
}

uint32_t Hash3(const uint8_t* p) {
  const uint32_t v =
      (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
  return (v * 2654435761u) >> (32 - kHashBits);
}

// Builds one compressed block: control words are reserved when their first item comes and
// filled in as the items are added.
class TBlockBuilder {
public:
  void Start() {
    m_bytes.assign(1, 0x00);
    m_bitsUsed = 16;
    m_output = 0;
  }
  // Encoded bytes an item of `itemBytes` would add (a new control word included).
  size_t Cost(size_t itemBytes) const { return itemBytes + (m_bitsUsed == 16 ? 2 : 0); }
  size_t Size() const { return m_bytes.size(); }
  size_t Output() const { return m_output; }
  bool Empty() const { return m_output == 0; }

  void Literal(uint8_t v) {
    Bit(false);
    m_bytes.push_back(v);
    m_output += 1;
  }
  void Copy(size_t distance, size_t count) {
    Bit(true);
    m_bytes.push_back(static_cast<uint8_t>(distance >> 4));
    m_bytes.push_back(static_cast<uint8_t>(((distance & 15) << 4) | (count - 3)));
    m_output += count;
  }
  void Run(uint8_t v, size_t count) {
    Bit(true);
    const size_t n = count - 16;
    m_bytes.push_back(0);
    m_bytes.push_back(static_cast<uint8_t>(n >> 8));
    m_bytes.push_back(static_cast<uint8_t>(n));
    m_bytes.push_back(v);
    m_output += count;
  }
  const std::vector<uint8_t>& Bytes() const { return m_bytes; }

private:
  void Bit(bool set) {
    if (m_bitsUsed == 16) {
      m_controlAt = m_bytes.size();
      m_bytes.push_back(0);
      m_bytes.push_back(0);
      m_bitsUsed = 0;
    }
    if (set) {
      const unsigned bit = 15 - m_bitsUsed;
      m_bytes[m_controlAt + (bit >= 8 ? 0 : 1)] |= static_cast<uint8_t>(1u << (bit & 7));
    }
    ++m_bitsUsed;
  }

  std::vector<uint8_t> m_bytes;
  size_t m_controlAt = 0;
  int m_bitsUsed = 16;
  size_t m_output = 0;
};

void FlushBlock(std::vector<uint8_t>& out, const TBlockBuilder& block, const uint8_t* blockData) {
  const size_t n = block.Output();
  if (n + 1 <= kMaxBlockLength && n + 1 <= block.Size()) {
    PutU32(out, static_cast<uint32_t>(n + 1));
    out.push_back(0x80);
    out.insert(out.end(), blockData, blockData + n);
  } else {
    PutU32(out, static_cast<uint32_t>(block.Size()));
    out.insert(out.end(), block.Bytes().begin(), block.Bytes().end());
  }
}

// One item of the block format: a run of one byte, a copy from back in the output, or a
// literal byte.
struct TItem {
  enum TKind { Literal, Copy, Run } Kind;
  size_t Length;    // output bytes
  size_t Distance;  // Copy only

  size_t EncodedBytes() const { return Kind == Run ? 4 : Kind == Copy ? 2 : 1; }
};

// Hash chains over 3-byte prefixes of the input, for the longest earlier match. A chain
// link is needed only while its position is within the window, so the links live in a
// ring of window size (as in deflate's own encoders): memory stays fixed whatever the
// input's size, where one link per input byte took eight times the picture.
class TMatchFinder {
public:
  TMatchFinder(const uint8_t* data, size_t size)
      : m_data(data), m_size(size), m_head(size_t{1} << kHashBits, -1), m_prev(kRingSize, -1) {}

  void Insert(size_t pos) {
    if (m_size - pos < kMinMatch) return;
    const uint32_t h = Hash3(m_data + pos);
    m_prev[pos & kRingMask] = m_head[h];
    m_head[h] = static_cast<int64_t>(pos);
  }

  // The longest match of up to kMaxMatch bytes at pos within the window (the nearest of
  // equal length), searched to a fixed depth; length 0 when there is none. A link read
  // from the ring belongs to its position: a newer position in the same slot lies more
  // than the window behind that one's successors, and the walk stops at the window first.
  TItem LongestMatch(size_t pos) const {
    TItem best{TItem::Copy, 0, 0};
    if (m_size - pos < kMinMatch) return best;
    const size_t maxLen = std::min(kMaxMatch, m_size - pos);
    int64_t cand = m_head[Hash3(m_data + pos)];
    for (int chain = 0; cand >= 0 && chain < kMaxChain; ++chain) {
      const size_t c = static_cast<size_t>(cand);
      if (pos - c > kWindow) break;
      size_t len = 0;
      while (len < maxLen && m_data[c + len] == m_data[pos + len]) ++len;
      if (len > best.Length) {
        best.Length = len;
        best.Distance = pos - c;
        if (len == maxLen) break;
      }
      cand = m_prev[c & kRingMask];
    }
    return best;
  }

private:
  static constexpr size_t kRingSize = 4096;  // a power of two above the window
  static constexpr size_t kRingMask = kRingSize - 1;
  static_assert(kRingSize > kWindow);

  const uint8_t* m_data;
  size_t m_size;
  std::vector<int64_t> m_head;
  std::vector<int64_t> m_prev;
};

// The item to emit at pos (greedy): a run of kMinRun or more, else the longest match of
// kMinMatch or more, else a literal.
TItem ChooseItem(const uint8_t* data, size_t size, size_t pos, const TMatchFinder& matches) {
  size_t run = 1;
  while (run < kMaxRun && pos + run < size && data[pos + run] == data[pos]) ++run;
  if (run >= kMinRun) return {TItem::Run, run, 0};
  const TItem match = matches.LongestMatch(pos);
  if (match.Length >= kMinMatch) return match;
  return {TItem::Literal, 1, 0};
}

// The block format: items chosen one after another and packed into blocks, each closed
// before it would pass 32,768 encoded or 65,535 decoded bytes.
std::vector<uint8_t> EncodeBlocks(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  PutHeader(out, kStreamMagicBlocks, 0, static_cast<uint32_t>(size), 1);
  TMatchFinder matches(data, size);
  TBlockBuilder block;
  block.Start();
  size_t blockStart = 0;
  size_t pos = 0;
  while (pos < size) {
    TItem item = ChooseItem(data, size, pos, matches);
    // A run is shortened to end the block instead when that still leaves a run.
    if (item.Kind == TItem::Run && block.Output() + item.Length > kMaxBlockOutput &&
        kMaxBlockOutput - block.Output() >= kMinRun) {
      item.Length = kMaxBlockOutput - block.Output();
    }
    if (block.Size() + block.Cost(item.EncodedBytes()) > kMaxBlockLength ||
        block.Output() + item.Length > kMaxBlockOutput) {
      FlushBlock(out, block, data + blockStart);
      block.Start();
      blockStart = pos;
    }
    switch (item.Kind) {
      case TItem::Run:
        block.Run(data[pos], item.Length);
        break;
      case TItem::Copy:
        block.Copy(item.Distance, item.Length);
        break;
      case TItem::Literal:
        block.Literal(data[pos]);
        break;
    }
    for (const size_t end = pos + item.Length; pos < end; ++pos) matches.Insert(pos);
  }
  if (!block.Empty()) FlushBlock(out, block, data + blockStart);
  return out;
}

// The block format with blocked = 0: the bytes as they are.
std::vector<uint8_t> EncodeStored(const uint8_t* data, size_t size) {
  std::vector<uint8_t> out;
  PutHeader(out, kStreamMagicBlocks, 0, static_cast<uint32_t>(size), 0);
  out.insert(out.end(), data, data + size);
  return out;
}

// The zlib format: zlib's compress at the default level, which the files written so far
// were made with (the reader's inflater may differ; this stays).
std::vector<uint8_t> EncodeZlib(const uint8_t* data, size_t size) {
  uLongf packedSize = compressBound(static_cast<uLong>(size));
  std::vector<uint8_t> out(kStreamHeaderSize + packedSize);
  const int rc =
      compress(out.data() + kStreamHeaderSize, &packedSize, data, static_cast<uLong>(size));
  if (rc != Z_OK) throw EComprError(std::string("EncodeStream: zlib failed (") + zError(rc) + ")");
  out.resize(kStreamHeaderSize + packedSize);
  std::vector<uint8_t> header;
  PutHeader(header, kStreamMagicZlib, static_cast<uint32_t>(packedSize),
            static_cast<uint32_t>(size), 0);
  std::copy(header.begin(), header.end(), out.begin());
  return out;
}

}  // namespace

std::vector<uint8_t> EncodeStream(const uint8_t* data, size_t size, TStreamFormat format) {
  if (size > std::numeric_limits<uint32_t>::max()) {
    throw EComprError("EncodeStream: " + std::to_string(size) +
                      " bytes are too many for one stream");
  }
  static const uint8_t kNothing = 0;
  if (data == nullptr) data = &kNothing;
  switch (format) {
    case TStreamFormat::Blocks:
      return EncodeBlocks(data, size);
    case TStreamFormat::Stored:
      return EncodeStored(data, size);
    case TStreamFormat::Zlib:
      return EncodeZlib(data, size);
  }
  throw EComprError("EncodeStream: unknown format");
}
