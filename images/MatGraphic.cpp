#include "images/MatGraphic.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "iff/IffReader.h"
#include "iff/IffWriter.h"
#include "util/Paths.h"
#include "util/StrTools.h"

namespace {

// FBPP 2's large palette holds 393,217 bytes: a 4-byte entry count and 131,071 entries.
constexpr size_t kLargePaletteBytes = 0x60001 - 4;

// The open chunk's data from the current position to its end, or to the end of the file
// when that comes first. Read in steps, so a size field that claims more than the file holds
// costs no more memory than the file.
std::vector<uint8_t> ReadChunkData(TIffReader& reader) {
  const int64_t total = static_cast<int64_t>(reader.GetSize()) - (reader.GetPosition() - 8);
  std::vector<uint8_t> data;
  int64_t have = 0;
  while (have < total) {
    const int64_t step = std::min<int64_t>(total - have, std::max<int64_t>(have, 1 << 16));
    data.resize(static_cast<size_t>(have + step));
    const int32_t got = reader.Read(data.data() + have, static_cast<int32_t>(step));
    have += std::max(got, 0);
    if (got < step) break;
  }
  data.resize(static_cast<size_t>(have));
  return data;
}

int32_t I32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) |
                              (static_cast<uint32_t>(p[3]) << 24));
}

// The first `entries` (at most 256) red, green, blue triples of the open CMAP chunk.
std::vector<TPaletteEntry> ReadCmapEntries(TIffReader& reader, int32_t entries) {
  const int32_t n = std::clamp(entries, 0, 256);
  std::vector<uint8_t> raw(static_cast<size_t>(n) * 3, 0);
  reader.Read(raw.data(), n * 3);
  std::vector<TPaletteEntry> palette(static_cast<size_t>(n));
  for (int32_t i = 0; i < n; ++i) palette[i] = {raw[3 * i], raw[3 * i + 1], raw[3 * i + 2], 0};
  return palette;
}

[[noreturn]] void CannotHandle(int32_t fbpp) {
  throw EInvalidGraphic("Cannot handle this. FBPP = " + std::to_string(fbpp));
}

// A cursor over the RLE data: every read is checked against the bytes there, and one that
// runs past them fails as a read through the IFF reader would.
class TRleCursor {
public:
  explicit TRleCursor(const std::vector<uint8_t>& data) : m_data(data) {}
  bool HasTwo() const { return m_data.size() - m_pos >= 2; }
  size_t Pos() const { return m_pos; }
  unsigned Byte() {
    Need(1);
    return m_data[m_pos++];
  }
  unsigned Word() {
    Need(2);
    const unsigned v = m_data[m_pos] | (static_cast<unsigned>(m_data[m_pos + 1]) << 8);
    m_pos += 2;
    return v;
  }

private:
  void Need(size_t n) const {
    if (n > m_data.size() - m_pos) throw EIffReader("TIffReader: Read beyond end of chunk!");
  }
  const std::vector<uint8_t>& m_data;
  size_t m_pos = 0;
};

// Where decoded pixels go: a row and a byte column of the bitmap. A pixel beyond the
// row's end is dropped; passing the end of a row moves to the next one, and moving past
// the last row ends the decoding.
class TRleTarget {
public:
  TRleTarget(TBitmap& bitmap, int step)
      : m_bitmap(bitmap),
        m_rowEnd(int64_t{bitmap.Width()} * step),
        m_step(step),
        m_done(bitmap.Height() == 0) {}
  bool Done() const { return m_done; }
  void NextRow() {
    m_column = 0;
    if (++m_row >= m_bitmap.Height()) m_done = true;
  }
  // The next pixel's bytes, or nullptr when it falls beyond the row.
  uint8_t* Next() {
    uint8_t* p = m_column < m_rowEnd ? m_bitmap.ScanLine(m_row) + m_column : nullptr;
    Skip(1);
    return p;
  }
  // Skips `count` pixels; the rest of a count that passes the row is dropped.
  void Skip(unsigned count) {
    m_column += int64_t{count} * m_step;
    if (m_column > m_rowEnd) NextRow();
  }

private:
  TBitmap& m_bitmap;
  const int64_t m_rowEnd;
  const int m_step;
  int m_row = 0;
  int64_t m_column = 0;
  bool m_done;
};

// FBPP 1: byte codes, counts and values; the values are the 8-bit picture's palette
// indices. YTAB's row ends are byte offsets, matched in any order.
class TRle8 {
public:
  static constexpr int kStep = 1;
  explicit TRle8(std::vector<int64_t> rowEnds) : m_rowEnds(std::move(rowEnds)) {
    std::sort(m_rowEnds.begin(), m_rowEnds.end());
  }
  static unsigned Read(TRleCursor& in) { return in.Byte(); }
  bool RowEndsAt(size_t pos) {
    return std::binary_search(m_rowEnds.begin(), m_rowEnds.end(), static_cast<int64_t>(pos));
  }
  static void Put(uint8_t* p, unsigned value) { *p = static_cast<uint8_t>(value); }

private:
  std::vector<int64_t> m_rowEnds;
};

// FBPP 2: 16-bit little-endian codes, counts and values; a value indexes the large palette
// (red, green, blue) and gives a 24-bit pixel (blue, green, red), black beyond the palette.
// YTAB's row ends, in 2-byte units, are matched in their order.
class TRle16 {
public:
  static constexpr int kStep = 3;
  TRle16(std::vector<int64_t> rowEnds, const std::vector<uint8_t>& palette)
      : m_rowEnds(std::move(rowEnds)), m_palette(palette) {
    for (int64_t& end : m_rowEnds) end *= 2;
  }
  static unsigned Read(TRleCursor& in) { return in.Word(); }
  bool RowEndsAt(size_t pos) {
    if (m_next >= m_rowEnds.size() || m_rowEnds[m_next] != static_cast<int64_t>(pos)) return false;
    ++m_next;
    return true;
  }
  void Put(uint8_t* p, unsigned value) const {
    const size_t at = static_cast<size_t>(value) * 3;
    if (at + 3 > m_palette.size()) {
      p[0] = p[1] = p[2] = 0;
      return;
    }
    p[0] = m_palette[at + 2];
    p[1] = m_palette[at + 1];
    p[2] = m_palette[at];
  }

private:
  std::vector<int64_t> m_rowEnds;
  size_t m_next = 0;  // the first row end not yet reached
  const std::vector<uint8_t>& m_palette;
};

// The run-length codes of one format into the bitmap; an unknown code goes to `unknown`
// and decoding goes on.
template <class TFormat, class TUnknown>
void DecodeRle(TRleCursor& in, TFormat& format, TBitmap& bitmap, TUnknown unknown) {
  TRleTarget out(bitmap, TFormat::kStep);
  while (!out.Done() && in.HasTwo()) {
    if (format.RowEndsAt(in.Pos())) {
      out.NextRow();
      if (out.Done()) break;
    }
    const unsigned code = TFormat::Read(in);
    const unsigned count = TFormat::Read(in);
    switch (code) {
      case 0:  // literal
        for (unsigned i = 0; i < count && !out.Done(); ++i) {
          const unsigned value = TFormat::Read(in);
          if (uint8_t* p = out.Next()) format.Put(p, value);
        }
        break;
      case 1: {  // run
        const unsigned value = TFormat::Read(in);
        for (unsigned i = 0; i < count && !out.Done(); ++i) {
          if (uint8_t* p = out.Next()) format.Put(p, value);
        }
        break;
      }
      case 2:  // skip: the pixels stay 0
        out.Skip(count);
        break;
      default:
        unknown(static_cast<int>(code));
        break;
    }
  }
}

// Splits one row of 8-bit pixels into run codes (three or more equal pixels) and literal
// codes, counts 1 to 255.
void EncodeRow(const uint8_t* row, int width, std::vector<uint8_t>& out) {
  int i = 0;
  auto runAt = [&](int at) {
    int n = 1;
    while (at + n < width && n < 255 && row[at + n] == row[at]) ++n;
    return n;
  };
  while (i < width) {
    const int run = runAt(i);
    if (run >= 3) {
      out.insert(out.end(), {1, static_cast<uint8_t>(run), row[i]});
      i += run;
      continue;
    }
    int end = i + 1;
    while (end < width && end - i < 255 && runAt(end) < 3) ++end;
    out.push_back(0);
    out.push_back(static_cast<uint8_t>(end - i));
    out.insert(out.end(), row + i, row + end);
    i = end;
  }
}

}  // namespace

void TMATGraphic::ReportUnknown(int code) {
  if (OnUnknownCode)
    OnUnknownCode(code);
  else
    std::fprintf(stderr, "%d\n", code);
}

void TMATGraphic::LoadMatStream(TStream&) { throw Exception("Cannot load MAT from stream"); }

void TMATGraphic::LoadMatFile(const std::string& fileName) {
  TIffReader reader(fileName);
  LoadMatFromReader(reader);
}

void TMATGraphic::LoadMatFromReader(TIffReader& reader) {
  m_largePalette.clear();
  m_hasLargePalette = false;
  if (!reader.FormExists("FRAM"))
    throw EInvalidGraphic("This doesn't seem to be a mat (no FRAM form).");

  reader.OpenForm("FRAM");
  int32_t width = 0, height = 0;
  if (reader.ChunkExists("INFO")) {
    Compressed = false;
    FBPP = 1;
    reader.OpenChunk("INFO");
    reader.ReadLong(width);
    reader.ReadLong(height);
  } else {
    reader.OpenChunk("COMP");
    Compressed = true;
    reader.ReadLong(width);
    reader.ReadLong(height);
    reader.ReadLong(FBPP);
  }
  reader.CloseChunk();
  CheckPixelData(reader, width, height);
  if (FBPP == 1)
    SetPixelFormat(8);
  else if (FBPP == 2)
    SetPixelFormat(24);
  try {
    SetSize(width, height);
  } catch (const EInvalidGraphic& e) {
    throw EInvalidGraphic(reader.FileName() + ": " +
                          e.Message());  // the bitmap does not know the file
  }
  reader.CloseForm();

  if (reader.FormExists("PAL ")) ReadPalette(reader);
  reader.OpenForm("FRAM");
  // The frame's own palette is read second and so wins.
  if (reader.FormExists("PAL ")) ReadPalette(reader);
  if (!Compressed)
    ReadPxls(reader);
  else
    ReadRle(reader);
  reader.CloseForm();
}

void TMATGraphic::CheckPixelData(TIffReader& reader, int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || width > kMaxBitmapSide || height > kMaxBitmapSide)
    return;                                          // SetSize judges
  if (Compressed && FBPP != 1 && FBPP != 2) return;  // the pixel reader's own error
  const TIffId name = Compressed ? TIffId("RLE ") : TIffId("PXLS");
  if (!reader.ChunkExists(name)) return;  // the pixel reader's own error
  reader.OpenChunk(name);
  const int64_t dataStart = int64_t{reader.CurrentChunk()->Offset} + 8;
  const int64_t declared = reader.GetSize();
  const int64_t inFile = std::max<int64_t>(reader.StreamSize() - dataStart, 0);
  reader.CloseChunk();
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  if (declared > inFile) {
    throw EInvalidGraphic(reader.FileName() + ": TMATGraphic: the " + name.Text() +
                          " chunk at offset " + std::to_string(dataStart - 8) +
                          " is cut off: " + std::to_string(inFile) + " of its " +
                          std::to_string(declared) + " bytes are in the file");
  }
  // The most pixels the bytes can give: one byte each stored; a code and count of 2 bytes
  // (4 with FBPP 2) covering at most 255 (65,535) pixels run-length coded.
  const uint64_t reachable = !Compressed ? static_cast<uint64_t>(declared)
                             : FBPP == 2 ? static_cast<uint64_t>(declared) / 4 * 65535
                                         : static_cast<uint64_t>(declared) / 2 * 255;
  if (pixels > reachable) {
    throw EInvalidGraphic(reader.FileName() + ": TMATGraphic: the picture claims " +
                          std::to_string(width) + " x " + std::to_string(height) +
                          " pixels, but its " + std::to_string(declared) + " bytes of " +
                          name.Text() + " data can give at most " + std::to_string(reachable));
  }
}

void TMATGraphic::ReadPalette(TIffReader& reader) {
  reader.OpenForm("PAL ");
  std::unique_ptr<TIffReader> external;
  TIffReader* source = &reader;
  if (!reader.ChunkExists("CMAP")) {
    reader.OpenChunk("NAME");
    std::string name;
    reader.ReadZString(name);
    reader.CloseChunk();
    name = TrimControl(name);
    if (name.find_first_of("/\\") != std::string::npos) {
      throw EInvalidGraphic("TMATGraphic: palette name \"" + QuoteForMessage(name) +
                            "\" names another folder");
    }
    const std::string folder =
        PaletteDirectory.empty() ? ExeDirectory() + "pal/" : PaletteDirectory;
    external = std::make_unique<TIffReader>(folder + name + ".pal");
    source = external.get();
  }
  source->OpenChunk("CMAP");
  const int32_t size = std::max(source->GetSize(), 0);
  const int32_t entries = size / 3;
  if (FBPP == 1) {
    SetPalette(ReadCmapEntries(*source, entries));
  } else if (FBPP == 2) {
    const size_t bytes = std::min<size_t>(static_cast<size_t>(entries) * 3, kLargePaletteBytes);
    m_largePalette.assign(bytes, 0);
    source->Read(m_largePalette.data(), static_cast<int32_t>(bytes));
    m_hasLargePalette = true;
  } else {
    CannotHandle(FBPP);
  }
  source->CloseChunk();
  external.reset();
  reader.CloseForm();
}

std::vector<TPaletteEntry> LoadPaletteFromReader(TIffReader& reader) {
  reader.OpenChunk("CMAP");
  std::vector<TPaletteEntry> palette = ReadCmapEntries(reader, std::max(reader.GetSize(), 0) / 3);
  reader.CloseChunk();
  if (palette.empty()) throw EInvalidGraphic(reader.FileName() + ": the palette has no colours");
  return palette;
}

std::vector<TPaletteEntry> LoadPaletteFile(const std::string& fileName) {
  TIffReader reader(fileName);
  return LoadPaletteFromReader(reader);
}

void TMATGraphic::ReadPxls(TIffReader& reader) {
  SaveCompressed = false;
  reader.OpenChunk("PXLS");
  for (int y = 0; y < Height(); ++y) {
    if (reader.Read(ScanLine(y), Width()) != Width()) {
      throw EInvalidGraphic(reader.FileName() + ": TMATGraphic: the pixel data ends in row " +
                            std::to_string(y) + " of " + std::to_string(Height()));
    }
  }
  reader.CloseChunk();
}

void TMATGraphic::ReadRle(TIffReader& reader) {
  if (FBPP != 1 && FBPP != 2) CannotHandle(FBPP);
  SaveCompressed = true;
  reader.OpenChunk("YTAB");
  const std::vector<uint8_t> ytab = ReadChunkData(reader);
  reader.CloseChunk();
  std::vector<int64_t> rowEnds;
  rowEnds.reserve(ytab.size() / 4);
  for (size_t i = 0; i + 4 <= ytab.size(); i += 4) rowEnds.push_back(I32(&ytab[i]));

  FillZero();
  reader.OpenChunk("RLE ");
  const std::vector<uint8_t> data = ReadChunkData(reader);
  reader.CloseChunk();
  TRleCursor in(data);
  auto unknown = [this](int code) { ReportUnknown(code); };
  if (FBPP == 1) {
    TRle8 format(std::move(rowEnds));
    DecodeRle(in, format, *this, unknown);
  } else {
    TRle16 format(std::move(rowEnds), m_largePalette);
    DecodeRle(in, format, *this, unknown);
  }
  m_largePalette.clear();
  m_hasLargePalette = false;
}

void TMATGraphic::SaveMatFile(const std::string& fileName) {
  // Mode 0 collects the file in memory and saves it by temporary file and rename, so a
  // failed save leaves the previous file as it was.
  TIffWriter writer(fileName, 0);
  SetPixelFormat(8);
  writer.OpenForm("BITM");
  writer.OpenForm("FRAM");
  writer.OpenChunk(SaveCompressed ? "COMP" : "INFO");
  writer.WriteLong(Width());
  writer.WriteLong(Height());
  writer.WriteLong(SaveCompressed ? 1 : 4);
  writer.CloseChunk();

  writer.OpenForm("PAL ");
  writer.OpenChunk("CMAP");
  uint8_t cmap[768] = {};
  for (size_t i = 0; i < Palette().size() && i < 256; ++i) {
    cmap[3 * i] = Palette()[i].Red;
    cmap[3 * i + 1] = Palette()[i].Green;
    cmap[3 * i + 2] = Palette()[i].Blue;
  }
  writer.Write(cmap, sizeof cmap);
  writer.CloseChunk();
  writer.CloseForm();

  if (!SaveCompressed) {
    writer.OpenChunk("PXLS");
    for (int y = 0; y < Height(); ++y) writer.Write(ScanLine(y), Width());
    writer.CloseChunk();
  } else {
    std::vector<uint8_t> rle;
    std::vector<int32_t> offsets;
    for (int y = 0; y < Height(); ++y) {
      EncodeRow(ScanLine(y), Width(), rle);
      if (rle.size() > INT32_MAX)
        throw EInvalidGraphic("TMATGraphic: run-length data beyond 2 GiB");
      offsets.push_back(static_cast<int32_t>(rle.size()));
    }
    writer.OpenChunk("YTAB");
    for (int32_t offset : offsets) writer.WriteLong(offset);
    writer.CloseChunk();
    writer.OpenChunk("RLE ");
    writer.Write(rle.data(), static_cast<int32_t>(rle.size()));
    writer.CloseChunk();
  }
  writer.CloseForm();
  writer.CloseForm();
  writer.Destroy();
}
