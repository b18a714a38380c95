#include "images/Bitmap.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>

namespace {

// Median cut over the distinct colours of a picture: the box with the widest channel
// range is split at the median of that channel (weighted by pixel count) until there are
// `wanted` boxes; each box's entry is the weighted mean of its colours.
struct TColourCount {
  uint32_t Rgb;
  uint32_t Count;
};

int Channel(uint32_t rgb, int c) { return static_cast<int>((rgb >> (16 - 8 * c)) & 0xFF); }

std::vector<TPaletteEntry> MedianCut(std::vector<TColourCount> colours, size_t wanted) {
  struct TBox {
    size_t Begin, End;
    int Axis;
    int Range;
  };
  auto measure = [&](TBox& box) {
    int lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
    for (size_t i = box.Begin; i < box.End; ++i) {
      for (int c = 0; c < 3; ++c) {
        const int v = Channel(colours[i].Rgb, c);
        lo[c] = std::min(lo[c], v);
        hi[c] = std::max(hi[c], v);
      }
    }
    box.Axis = 0;
    box.Range = -1;
    for (int c = 0; c < 3; ++c) {
      if (hi[c] - lo[c] > box.Range) {
        box.Range = hi[c] - lo[c];
        box.Axis = c;
      }
    }
  };
  std::vector<TBox> boxes{{0, colours.size(), 0, 0}};
  measure(boxes[0]);
  while (boxes.size() < wanted) {
    auto widest = std::max_element(boxes.begin(), boxes.end(),
                                   [](const TBox& a, const TBox& b) { return a.Range < b.Range; });
    if (widest->Range <= 0 || widest->End - widest->Begin < 2) break;
    const int axis = widest->Axis;
    std::sort(colours.begin() + widest->Begin, colours.begin() + widest->End,
              [axis](const TColourCount& a, const TColourCount& b) {
                return Channel(a.Rgb, axis) < Channel(b.Rgb, axis);
              });
    uint64_t total = 0;
    for (size_t i = widest->Begin; i < widest->End; ++i) total += colours[i].Count;
    uint64_t half = 0;
    size_t split = widest->Begin + 1;
    for (size_t i = widest->Begin; i < widest->End - 1; ++i) {
      half += colours[i].Count;
      split = i + 1;
      if (2 * half >= total) break;
    }
    TBox upper{split, widest->End, 0, 0};
    widest->End = split;
    measure(*widest);
    measure(upper);
    boxes.push_back(upper);
  }
  std::vector<TPaletteEntry> palette;
  for (const TBox& box : boxes) {
    uint64_t sum[3] = {0, 0, 0}, n = 0;
    for (size_t i = box.Begin; i < box.End; ++i) {
      for (int c = 0; c < 3; ++c)
        sum[c] += static_cast<uint64_t>(Channel(colours[i].Rgb, c)) * colours[i].Count;
      n += colours[i].Count;
    }
    palette.push_back({static_cast<uint8_t>((sum[0] + n / 2) / n),
                       static_cast<uint8_t>((sum[1] + n / 2) / n),
                       static_cast<uint8_t>((sum[2] + n / 2) / n), 0});
  }
  return palette;
}

uint8_t NearestEntry(const std::vector<TPaletteEntry>& palette, uint32_t rgb) {
  int best = 0;
  long bestDist = -1;
  for (size_t i = 0; i < palette.size(); ++i) {
    const long dr = static_cast<long>(Channel(rgb, 0)) - palette[i].Red;
    const long dg = static_cast<long>(Channel(rgb, 1)) - palette[i].Green;
    const long db = static_cast<long>(Channel(rgb, 2)) - palette[i].Blue;
    const long d = dr * dr + dg * dg + db * db;
    if (bestDist < 0 || d < bestDist) {
      bestDist = d;
      best = static_cast<int>(i);
    }
  }
  return static_cast<uint8_t>(best);
}

}  // namespace

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

void TBitmap::SetPixelFormat(int bitsPerPixel) {
  if (bitsPerPixel != 8 && bitsPerPixel != 24 && bitsPerPixel != 32) {
    throw EInvalidGraphic("Unsupported pixel format: " + std::to_string(bitsPerPixel) +
                          " bits per pixel");
  }
  if (bitsPerPixel == m_bpp) return;
  const size_t count = static_cast<size_t>(m_width) * static_cast<size_t>(m_height);
  const int newBytes = bitsPerPixel / 8;
  std::vector<uint8_t> out(count * static_cast<size_t>(newBytes), 0);

  if (bitsPerPixel != 8) {
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
    const int oldBytes = m_bpp / 8;
    auto rgbAt = [&](size_t i) {
      const uint8_t* p = m_pixels.data() + i * oldBytes;
      return (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[0];
    };
    // Collect the distinct colours; a picture with at most 256 keeps them exactly. The
    // count stops at the 257th colour: a photograph can have millions.
    std::unordered_map<uint32_t, uint32_t> counts;
    bool few = true;
    for (size_t i = 0; i < count && few; ++i) {
      ++counts[rgbAt(i)];
      few = counts.size() <= 256;
    }
    std::vector<TPaletteEntry> palette;
    if (few) {
      std::vector<TColourCount> colours;
      colours.reserve(counts.size());
      for (const auto& [rgb, n] : counts) colours.push_back({rgb, n});
      std::sort(colours.begin(), colours.end(), [](const TColourCount& a, const TColourCount& b) {
        return a.Count != b.Count ? a.Count > b.Count : a.Rgb < b.Rgb;
      });
      std::unordered_map<uint32_t, uint8_t> indexOf;
      for (const TColourCount& c : colours) {
        indexOf[c.Rgb] = static_cast<uint8_t>(palette.size());
        palette.push_back({static_cast<uint8_t>(c.Rgb >> 16), static_cast<uint8_t>(c.Rgb >> 8),
                           static_cast<uint8_t>(c.Rgb), 0});
      }
      for (size_t i = 0; i < count; ++i) out[i] = indexOf[rgbAt(i)];
    } else {
      // More than 256 colours: median cut over a histogram of 18-bit colours (6 bits a
      // channel), each cell standing for the mean of its pixels, and every pixel mapped
      // through its cell's nearest entry. Time and memory no longer follow the number of
      // distinct colours, only the number of pixels.
      struct TCell {
        uint64_t Sum[3] = {0, 0, 0};
        uint32_t Count = 0;
      };
      auto cellOf = [](uint32_t rgb) {
        return ((rgb >> 6) & 0x3F000) | ((rgb >> 4) & 0xFC0) | ((rgb >> 2) & 0x3F);
      };
      std::vector<TCell> cells(size_t{1} << 18);
      for (size_t i = 0; i < count; ++i) {
        const uint32_t rgb = rgbAt(i);
        TCell& cell = cells[cellOf(rgb)];
        for (int c = 0; c < 3; ++c) cell.Sum[c] += static_cast<uint32_t>(Channel(rgb, c));
        ++cell.Count;
      }
      std::vector<TColourCount> colours;
      std::vector<uint32_t> meanOf(cells.size(), 0);
      for (size_t k = 0; k < cells.size(); ++k) {
        const TCell& cell = cells[k];
        if (cell.Count == 0) continue;
        uint32_t rgb = 0;
        for (int c = 0; c < 3; ++c) {
          rgb = (rgb << 8) | static_cast<uint32_t>((cell.Sum[c] + cell.Count / 2) / cell.Count);
        }
        meanOf[k] = rgb;
        colours.push_back({rgb, cell.Count});
      }
      palette = MedianCut(colours, 256);
      std::vector<uint8_t> entryOf(cells.size(), 0);
      for (size_t k = 0; k < cells.size(); ++k) {
        if (cells[k].Count != 0) entryOf[k] = NearestEntry(palette, meanOf[k]);
      }
      for (size_t i = 0; i < count; ++i) out[i] = entryOf[cellOf(rgbAt(i))];
    }
    m_palette = std::move(palette);
  }
  m_bpp = bitsPerPixel;
  m_pixels = std::move(out);
}
