// The palette reduction on arbitrary pixels and options. Byte 0 is the width (1 to 256),
// byte 1 the options (bit 0: dither, bit 1: a fixed palette, bit 2: 4 bytes a pixel); with
// a fixed palette byte 2 is its entry count less one and its entries follow (red, green,
// blue). The rest are the pixels, as many whole rows as there are.
#include <cstddef>
#include <cstdint>
#include <set>

#include "images/Quantize.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const int width = data[0] + 1;
  const bool dither = data[1] & 1, fixed = data[1] & 2;
  const int bytesPerPixel = data[1] & 4 ? 4 : 3;
  size_t at = 2;
  TQuantizeOptions options;
  options.Dither = dither;
  if (fixed) {
    if (size < 3) return 0;
    const size_t entries = size_t{data[2]} + 1;
    at = 3;
    if (size - at < 3 * entries) return 0;
    for (size_t e = 0; e < entries; ++e, at += 3) {
      options.Palette.push_back({data[at], data[at + 1], data[at + 2], 0});
    }
  }
  const size_t rowBytes = static_cast<size_t>(width) * static_cast<size_t>(bytesPerPixel);
  const int height = static_cast<int>((size - at) / rowBytes);
  const TIndexedPixels out = QuantizePixels(data + at, width, height, bytesPerPixel, options);
  const size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (out.Indices.size() != pixels || out.Palette.size() > 256) __builtin_trap();
  for (uint8_t index : out.Indices) {
    if (index >= out.Palette.size()) __builtin_trap();
  }
  if (!fixed) {
    // Distinct entries; at most 256 colours are kept exactly.
    std::set<uint32_t> colours, entries;
    for (const TPaletteEntry& e : out.Palette)
      entries.insert(uint32_t(e.Red) << 16 | uint32_t(e.Green) << 8 | e.Blue);
    if (entries.size() != out.Palette.size()) __builtin_trap();
    for (size_t i = 0; i < pixels; ++i) {
      const uint8_t* p = data + at + i * static_cast<size_t>(bytesPerPixel);
      colours.insert(uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
    }
    if (colours.size() <= 256 && entries != colours) __builtin_trap();
  }
  return 0;
}
