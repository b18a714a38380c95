#include "viewers/GlPalette.h"

#include <cstddef>

namespace {

uint8_t Channel(uint32_t index, uint8_t bits, uint8_t shift) {
  // 2^bits - 1 kept to 8 bits, as the palette entry it feeds: 8 or more bits give 255.
  const uint32_t mask = bits >= 8 ? 0xFFu : ((1u << bits) - 1u);
  if (mask == 0) return 0;
  const uint32_t shifted = shift >= 32 ? 0 : index >> shift;
  return static_cast<uint8_t>((shifted & mask) * 255u / mask);
}

}  // namespace

std::vector<TGlPaletteEntry> ComputeGlPalette(const TPixelFormatDescription& format) {
  std::vector<TGlPaletteEntry> palette;
  if (!(format.Flags & kPfdNeedPalette)) return palette;
  const int count = format.ColorBits >= 8 ? kMaxGlPaletteEntries : (1 << format.ColorBits);
  palette.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const uint32_t index = static_cast<uint32_t>(i);
    palette[static_cast<size_t>(i)] = {Channel(index, format.RedBits, format.RedShift),
                                       Channel(index, format.GreenBits, format.GreenShift),
                                       Channel(index, format.BlueBits, format.BlueShift), 0};
  }
  return palette;
}
