#pragma once
// The core bitmap: width, height, 8, 24 or 32 bits per pixel, a palette of up to 256
// colours, direct access to each row. Rows are stored top row first without padding; a
// 24-bit pixel is blue, green, red and a 32-bit pixel blue, green, red, fourth byte, as
// the picture formats of the program store them.
//
// Size contract: SetSize refuses (EInvalidGraphic) dimensions that are negative, wider or
// taller than kMaxBitmapSide, or whose pixel bytes at 32 bits per pixel would exceed
// kMaxBitmapBytes, before anything is allocated. Every decoder can therefore set the size
// a file claims and rely on ScanLine(row) holding RowBytes() bytes.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "util/Exception.h"

// A picture file that cannot be read as the format it claims to be.
TESSAVOR_DECLARE_EXCEPTION(EInvalidGraphic);

// Largest width or height accepted, and the largest pixel buffer (at 4 bytes per pixel).
// Game textures are a few hundred pixels wide; these caps keep a hostile header from
// asking for gigabytes.
constexpr int kMaxBitmapSide = 16384;
constexpr uint64_t kMaxBitmapBytes = 256ull << 20;

struct TPaletteEntry {
  uint8_t Red = 0;
  uint8_t Green = 0;
  uint8_t Blue = 0;
  uint8_t Flags = 0;
  bool operator==(const TPaletteEntry&) const = default;
};

// How a true-colour picture becomes 8 bits per pixel (images/Quantize.h says how each is
// done). The default is the program's own palette of at most 256 colours, without
// dithering: game textures are seen up close and mip-mapped, where a dither pattern shows.
struct TQuantizeOptions {
  // Floyd-Steinberg error diffusion when mapping the pixels to the palette.
  bool Dither = false;
  // A fixed palette (at most 256 entries are used) every pixel is mapped to, nearest
  // colour first; empty: the palette is made for the picture.
  std::vector<TPaletteEntry> Palette;
};

class TBitmap {
public:
  TBitmap() = default;
  virtual ~TBitmap() = default;

  int Width() const { return m_width; }
  int Height() const { return m_height; }
  int BitsPerPixel() const { return m_bpp; }
  bool Empty() const { return m_width == 0 || m_height == 0; }

  // Bytes of one row: Width × bytes per pixel.
  size_t RowBytes() const { return static_cast<size_t>(m_width) * static_cast<size_t>(m_bpp / 8); }

  // New dimensions; the pixels become all zero. Raises EInvalidGraphic for sizes outside
  // the caps above (the bitmap is then unchanged).
  void SetSize(int width, int height);

  // Switches to 8, 24 or 32 bits per pixel, converting the pixels: 8 → 24/32 through the
  // palette (an index beyond the palette gives black), 24 ↔ 32 keeps the colour (the
  // fourth byte becomes 0), 24/32 → 8 reduces the colours as `reduction` asks
  // (QuantizePixels in images/Quantize.h): by default the exact colours when there are at
  // most 256 of them, else 256 entries that are all used. `reduction` matters only for
  // 24/32 → 8; a bitmap already at 8 bits keeps its palette. Any other value raises
  // EInvalidGraphic.
  void SetPixelFormat(int bitsPerPixel, const TQuantizeOptions& reduction = {});

  uint8_t* ScanLine(int row) { return m_pixels.data() + static_cast<size_t>(row) * RowBytes(); }
  const uint8_t* ScanLine(int row) const {
    return m_pixels.data() + static_cast<size_t>(row) * RowBytes();
  }
  uint8_t* Pixels() { return m_pixels.data(); }
  const uint8_t* Pixels() const { return m_pixels.data(); }
  size_t PixelBytes() const { return m_pixels.size(); }
  void FillZero();

  // At most 256 entries; longer palettes are cut to 256.
  const std::vector<TPaletteEntry>& Palette() const { return m_palette; }
  void SetPalette(std::vector<TPaletteEntry> palette);

  // Colour of a pixel as red, green, blue (through the palette for 8 bits per pixel).
  void GetRgb(int x, int y, uint8_t& r, uint8_t& g, uint8_t& b) const;

private:
  void Reallocate();

  int m_width = 0;
  int m_height = 0;
  int m_bpp = 24;
  std::vector<uint8_t> m_pixels;
  std::vector<TPaletteEntry> m_palette;
};
