#pragma once
// The palette reduction the program had before its current quantizer, kept unchanged as the
// anchor of the benchmarks (time and quality): the exact colours when there are at most 256,
// else median cut over the means of the occupied cells of an 18-bit grid (6 bits a
// channel), every pixel mapped through its cell's nearest entry.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "images/Quantize.h"

namespace previousreduction {

// Median cut over the distinct colours of a picture: the box with the widest channel
// range is split at the median of that channel (weighted by pixel count) until there are
// `wanted` boxes; each box's entry is the weighted mean of its colours.
struct TColourCount {
  uint32_t Rgb;
  uint32_t Count;
};

inline int Channel(uint32_t rgb, int c) { return static_cast<int>((rgb >> (16 - 8 * c)) & 0xFF); }

inline std::vector<TPaletteEntry> MedianCut(std::vector<TColourCount> colours, size_t wanted) {
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

inline uint8_t NearestEntry(const std::vector<TPaletteEntry>& palette, uint32_t rgb) {
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

// Pixels as QuantizePixels takes them (3 or 4 bytes each, blue, green, red).
inline TIndexedPixels Reduce(const uint8_t* pixels, size_t count, int bytesPerPixel) {
  std::vector<uint8_t> out(count, 0);
  auto rgbAt = [&](size_t i) {
    const uint8_t* p = pixels + i * static_cast<size_t>(bytesPerPixel);
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
  return {std::move(palette), std::move(out)};
}

}  // namespace previousreduction
