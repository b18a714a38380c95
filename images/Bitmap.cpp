#include "images/Bitmap.h"

#include <algorithm>
#include <string>

#include "images/Quantize.h"

void TBitmap::SetSize(int width, int height) {
  if (width < 0 || height < 0 || width > kMaxBitmapSide || height > kMaxBitmapSide ||
      static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4 > kMaxBitmapBytes) {
    throw EInvalidGraphic("Bitmap size " + std::to_string(width) + " x " + std::to_string(height) +
                          " is out of range (at most " + std::to_string(kMaxBitmapSide) +
                          " pixels a side)");
  }
  m_width = width;
  m_height = height;
  Reallocate();
}

void TBitmap::Reallocate() { m_pixels.assign(RowBytes() * static_cast<size_t>(m_height), 0); }

void TBitmap::FillZero() { std::fill(m_pixels.begin(), m_pixels.end(), 0); }

void TBitmap::SetPalette(std::vector<TPaletteEntry> palette) {
  if (palette.size() > 256) palette.resize(256);
  m_palette = std::move(palette);
}

void TBitmap::GetRgb(int x, int y, uint8_t& r, uint8_t& g, uint8_t& b) const {
  const uint8_t* row = ScanLine(y);
  if (m_bpp == 8) {
    const uint8_t index = row[x];
    if (index < m_palette.size()) {
      r = m_palette[index].Red;
      g = m_palette[index].Green;
      b = m_palette[index].Blue;
    } else {
      r = g = b = 0;
    }
    return;
  }
  const uint8_t* p = row + static_cast<size_t>(x) * (m_bpp / 8);
  b = p[0];
  g = p[1];
  r = p[2];
}

void TBitmap::SetPixelFormat(int bitsPerPixel, const TQuantizeOptions& reduction) {
  if (bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32) {
    throw EInvalidGraphic("Unsupported pixel format: " + std::to_string(bitsPerPixel) +
                          " bits per pixel");
  }
  if (bitsPerPixel == m_bpp) return;
  const size_t count = static_cast<size_t>(m_width) * static_cast<size_t>(m_height);
  const int newBytes = bitsPerPixel / 8;
  std::vector<uint8_t> out;
  if (bitsPerPixel != 8) {
    out.assign(count * static_cast<size_t>(newBytes), 0);
    for (int y = 0; y < m_height; ++y) {
      uint8_t* dst = out.data() + static_cast<size_t>(y) * m_width * newBytes;
      for (int x = 0; x < m_width; ++x) {
        uint8_t r, g, b;
        GetRgb(x, y, r, g, b);
        dst[0] = b;
        dst[1] = g;
        dst[2] = r;
        dst += newBytes;
      }
    }
  } else {
    TIndexedPixels reduced =
        QuantizePixels(m_pixels.data(), m_width, m_height, m_bpp / 8, reduction);
    m_palette = std::move(reduced.Palette);
    out = std::move(reduced.Indices);
  }
  m_bpp = bitsPerPixel;
  m_pixels = std::move(out);
}
