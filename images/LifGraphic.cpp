#include "images/LifGraphic.h"

#include <cstring>
#include <mutex>
#include <random>
#include <string>

namespace {

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void ReadBuffer(TStream& stream, void* buffer, int64_t count) {
  const int64_t at = stream.Position();
  const int64_t got = stream.Read(buffer, count);
  if (got != count) {
    throw EInOutError("Stream read error at offset " + std::to_string(at) + ": " +
                      std::to_string(count) + " bytes wanted, " + std::to_string(got) + " there");
  }
}

void WriteBuffer(TStream& stream, const void* buffer, int64_t count) {
  if (stream.Write(buffer, count) != count) throw EInOutError("Stream write error");
}

// The check values: one generator, seeded once per run.
uint32_t CheckValue() {
  static std::mutex lock;
  static std::mt19937 generator{std::random_device{}()};
  std::lock_guard<std::mutex> guard(lock);
  return std::uniform_int_distribution<uint32_t>(0, 2147483646u)(generator);
}

[[noreturn]] void Outside(const char* what, uint64_t offset, uint64_t bytes, int64_t size) {
  throw EInvalidGraphic(std::string("TLifGraphic: ") + what + " of " + std::to_string(bytes) +
                        " bytes at offset " + std::to_string(offset) +
                        " lies outside the file of " + std::to_string(size) + " bytes");
}

}  // namespace

void TLifGraphic::LoadLifStream(TStream& stream) {
  uint8_t header[kLifHeaderSize];
  ReadBuffer(stream, header, sizeof header);
  const int32_t width = static_cast<int32_t>(U32(header + 16));
  const int32_t height = static_cast<int32_t>(U32(header + 20));
  const uint32_t dataOffset = U32(header + 32);
  const uint32_t paletteOffset = U32(header + 36);
  const bool hasPalette = paletteOffset != 0;

  // Everything is checked against the stream before the bitmap is touched.
  if (!BitmapSizeFits(width, height)) {
    throw EInvalidGraphic("TLifGraphic: Bitmap size " + std::to_string(width) + " x " +
                          std::to_string(height) + " is out of range");
  }
  const int64_t size = stream.Size();
  const uint64_t rowBytes = static_cast<uint64_t>(width) * (hasPalette ? 1 : 4);
  const uint64_t pixelBytes = rowBytes * static_cast<uint64_t>(height);
  if (hasPalette && (paletteOffset > static_cast<uint64_t>(size) ||
                     1024 > static_cast<uint64_t>(size) - paletteOffset)) {
    Outside("the palette", paletteOffset, 1024, size);
  }
  if (pixelBytes > 0 && (dataOffset > static_cast<uint64_t>(size) ||
                         pixelBytes > static_cast<uint64_t>(size) - dataOffset)) {
    Outside("the pixel data", dataOffset, pixelBytes, size);
  }

  SetPixelFormat(hasPalette ? 8 : 32);
  SetSize(width, height);
  if (hasPalette) {
    uint8_t raw[1024];
    stream.Seek(paletteOffset);
    ReadBuffer(stream, raw, sizeof raw);
    std::vector<TPaletteEntry> palette(256);
    for (int i = 0; i < 256; ++i) palette[i] = {raw[4 * i], raw[4 * i + 1], raw[4 * i + 2], 0};
    SetPalette(std::move(palette));
  }
  stream.Seek(dataOffset);
  for (int y = 0; y < height; ++y) ReadBuffer(stream, ScanLine(y), static_cast<int64_t>(rowBytes));
}

void TLifGraphic::SaveLifStream(TStream& stream) {
  SetPixelFormat(8);
  const int64_t start = stream.Position();
  uint8_t header[kLifHeaderSize] = {'B', 'r', 'e', 'n', 'z', ' ', '7', 0};
  PutU32(header + 8, 260);
  PutU32(header + 12, 50);
  PutU32(header + 16, static_cast<uint32_t>(Width()));
  PutU32(header + 20, static_cast<uint32_t>(Height()));
  PutU32(header + 24, CheckValue());
  PutU32(header + 28, CheckValue());
  WriteBuffer(stream, header, sizeof header);

  const int64_t paletteOffset = stream.Position();
  uint8_t raw[1024] = {};
  for (size_t i = 0; i < Palette().size() && i < 256; ++i) {
    raw[4 * i] = Palette()[i].Red;
    raw[4 * i + 1] = Palette()[i].Green;
    raw[4 * i + 2] = Palette()[i].Blue;
  }
  WriteBuffer(stream, raw, sizeof raw);

  const int64_t dataOffset = stream.Position();
  for (int y = 0; y < Height(); ++y)
    WriteBuffer(stream, ScanLine(y), static_cast<int64_t>(RowBytes()));
  const int64_t end = stream.Position();

  if (dataOffset > UINT32_MAX) throw EInvalidGraphic("TLifGraphic: stream position beyond 4 GiB");
  PutU32(header + 32, static_cast<uint32_t>(dataOffset));
  PutU32(header + 36, static_cast<uint32_t>(paletteOffset));
  // Back to where this header began (not to position 0, which may hold someone else's data).
  stream.Seek(start);
  WriteBuffer(stream, header, sizeof header);
  stream.Seek(end);
}

void TLifGraphic::LoadFromFile(const std::string& fileName) {
  TFileStream stream(fileName, TFileStream::TMode::OpenRead);
  // The stream's messages do not know the file; the user needs it.
  try {
    LoadLifStream(stream);
  } catch (const EInvalidGraphic& e) {
    throw EInvalidGraphic(fileName + ": " + e.Message());
  } catch (const EInOutError& e) {
    throw EInOutError(fileName + ": " + e.Message());
  }
}

void TLifGraphic::SaveToFile(const std::string& fileName) {
  TMemoryStream stream;
  SaveLifStream(stream);
  stream.SaveToFile(fileName);
}
