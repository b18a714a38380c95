#include "images/Bmp.h"

#include <algorithm>

#include "util/FileIo.h"

namespace {

constexpr size_t kFileHeaderBytes = 14;
constexpr size_t kInfoHeaderBytes = 40;
constexpr uint32_t kPixelsPerMetre = 2835;

void PutU16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

uint32_t U16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }

uint32_t U32(const uint8_t* p) { return U16(p) | (U16(p + 2) << 16); }

[[noreturn]] void Bad(const std::string& name, const std::string& what) {
  throw EInvalidGraphic("Cannot read picture \"" + name + "\": " + what);
}

}  // namespace

std::vector<uint8_t> EncodeBmp(const TBitmap& bitmap) {
  if (bitmap.Empty()) throw EInvalidGraphic("BMP encoder: the picture is empty");
  const bool indexed = bitmap.BitsPerPixel() == 8;
  const auto width = static_cast<uint64_t>(bitmap.Width());
  const auto height = static_cast<uint64_t>(bitmap.Height());
  const uint64_t rowBytes = ((width * (indexed ? 1 : 3)) + 3) / 4 * 4;
  const uint64_t paletteBytes = indexed ? 256 * 4 : 0;
  const uint64_t offset = kFileHeaderBytes + kInfoHeaderBytes + paletteBytes;
  // TBitmap's caps keep this far below 4 GB.
  const uint64_t fileSize = offset + rowBytes * height;

  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(fileSize));
  out.push_back('B');
  out.push_back('M');
  PutU32(out, static_cast<uint32_t>(fileSize));
  PutU32(out, 0);
  PutU32(out, static_cast<uint32_t>(offset));
  PutU32(out, kInfoHeaderBytes);
  PutU32(out, static_cast<uint32_t>(width));
  PutU32(out, static_cast<uint32_t>(height));
  PutU16(out, 1);
  PutU16(out, indexed ? 8 : 24);
  PutU32(out, 0);  // no compression
  PutU32(out, static_cast<uint32_t>(rowBytes * height));
  PutU32(out, kPixelsPerMetre);
  PutU32(out, kPixelsPerMetre);
  PutU32(out, indexed ? 256 : 0);
  PutU32(out, 0);
  if (indexed) {
    const std::vector<TPaletteEntry>& palette = bitmap.Palette();
    for (size_t i = 0; i < 256; ++i) {
      const TPaletteEntry e = i < palette.size() ? palette[i] : TPaletteEntry{};
      out.insert(out.end(), {e.Blue, e.Green, e.Red, 0});
    }
  }
  for (uint64_t y = height; y-- > 0;) {
    const size_t start = out.size();
    if (indexed) {
      const uint8_t* row = bitmap.ScanLine(static_cast<int>(y));
      out.insert(out.end(), row, row + width);
    } else {
      for (uint64_t x = 0; x < width; ++x) {
        uint8_t r = 0, g = 0, b = 0;
        bitmap.GetRgb(static_cast<int>(x), static_cast<int>(y), r, g, b);
        out.insert(out.end(), {b, g, r});
      }
    }
    out.resize(start + static_cast<size_t>(rowBytes), 0);
  }
  return out;
}

void DecodeBmp(const uint8_t* data, size_t size, TBitmap& bitmap, const std::string& name) {
  if (size < kFileHeaderBytes + kInfoHeaderBytes) Bad(name, "too short for a bitmap's headers");
  if (data[0] != 'B' || data[1] != 'M') Bad(name, "no bitmap signature \"BM\"");
  const uint32_t offset = U32(data + 10);
  const uint32_t headerBytes = U32(data + 14);
  if (headerBytes < kInfoHeaderBytes || headerBytes > size - kFileHeaderBytes)
    Bad(name, "header size " + std::to_string(headerBytes) + " is not supported");
  const auto width = static_cast<int32_t>(U32(data + 18));
  const auto rawHeight = static_cast<int32_t>(U32(data + 22));
  const uint32_t bits = U16(data + 28);
  const uint32_t compression = U32(data + 30);
  uint32_t colours = U32(data + 46);
  if (compression != 0) Bad(name, "compressed bitmaps are not supported");
  if (bits != 8 && bits != 24 && bits != 32)
    Bad(name, std::to_string(bits) + " bits per pixel are not supported");
  if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN)
    Bad(name,
        "size " + std::to_string(width) + " x " + std::to_string(rawHeight) + " is not a picture");
  const bool topDown = rawHeight < 0;
  const int32_t height = topDown ? -rawHeight : rawHeight;
  if (width > kMaxBitmapSide || height > kMaxBitmapSide)
    Bad(name, std::to_string(width) + " x " + std::to_string(height) + " pixels is too large");

  const uint64_t rowBytes = (static_cast<uint64_t>(width) * (bits / 8) + 3) / 4 * 4;
  const uint64_t pixelBytes = rowBytes * static_cast<uint64_t>(height);
  if (offset > size || pixelBytes > size - offset)
    Bad(name, "the pixels (" + std::to_string(pixelBytes) + " bytes at offset " +
                  std::to_string(offset) + ") go beyond the file's " + std::to_string(size) +
                  " bytes");
  std::vector<TPaletteEntry> palette;
  if (bits == 8) {
    if (colours == 0) colours = 256;
    const uint64_t paletteAt = kFileHeaderBytes + uint64_t{headerBytes};
    if (colours > 256 || paletteAt + uint64_t{colours} * 4 > offset)
      Bad(name,
          "a palette of " + std::to_string(colours) + " colours does not fit before the pixels");
    for (uint32_t i = 0; i < colours; ++i) {
      const uint8_t* e = data + paletteAt + i * 4;
      palette.push_back({e[2], e[1], e[0], 0});
    }
  }
  bitmap.SetSize(0, 0);  // nothing of a previous picture is converted
  bitmap.SetPixelFormat(bits == 8 ? 8 : 24);
  bitmap.SetSize(width, height);
  if (bits == 8) bitmap.SetPalette(palette);
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* src =
        data + offset + static_cast<uint64_t>(topDown ? y : height - 1 - y) * rowBytes;
    uint8_t* dst = bitmap.ScanLine(y);
    if (bits == 8) {
      std::copy(src, src + width, dst);
    } else {
      const size_t step = bits / 8;
      for (int32_t x = 0; x < width; ++x)
        std::copy(src + x * step, src + x * step + 3, dst + x * 3);
    }
  }
}

void SaveBmpFile(const std::string& fileName, const TBitmap& bitmap) {
  const std::vector<uint8_t> bytes = EncodeBmp(bitmap);
  WriteFileAtomic(fileName, bytes.data(), bytes.size());
}

void LoadBmpFile(const std::string& fileName, TBitmap& bitmap) {
  // The largest picture TBitmap takes, with its padding, palette and headers.
  const uint64_t cap = kMaxBitmapBytes + kMaxBitmapSide * uint64_t{4} + 64 * 1024;
  const std::vector<uint8_t> bytes = ReadWholeFile(fileName, cap);
  DecodeBmp(bytes.data(), bytes.size(), bitmap, fileName);
}
