#pragma once
// The pixel format the OpenGL viewers ask for, and the logical palette a palette-based
// display needs for it. Pure computations without a window or a context, so that they can
// be tested anywhere; the viewers turn the request into their surface format.

#include <cstdint>
#include <vector>

// Pixel format flags of the request and of a chosen format's description.
constexpr uint32_t kPfdDoubleBuffer = 0x01;
constexpr uint32_t kPfdDrawToWindow = 0x04;
constexpr uint32_t kPfdSupportOpenGl = 0x20;
constexpr uint32_t kPfdNeedPalette = 0x80;

// What both viewers request: RGBA, 24 colour bits, 32 depth bits, double buffered, drawn
// to a window with OpenGL, main plane.
struct TPixelFormatRequest {
  uint16_t Size = 40;
  uint16_t Version = 1;
  uint32_t Flags = kPfdDrawToWindow | kPfdSupportOpenGl | kPfdDoubleBuffer;  // 0x25
  uint8_t PixelType = 0;                                                     // RGBA
  uint8_t ColorBits = 24;
  uint8_t DepthBits = 32;
  uint8_t LayerType = 0;  // main plane
};

// The part of a chosen format's description that decides its palette.
struct TPixelFormatDescription {
  uint32_t Flags = 0;
  uint8_t ColorBits = 0;
  uint8_t RedBits = 0, RedShift = 0;
  uint8_t GreenBits = 0, GreenShift = 0;
  uint8_t BlueBits = 0, BlueShift = 0;
};

struct TGlPaletteEntry {
  uint8_t Red = 0, Green = 0, Blue = 0, Flags = 0;
  bool operator==(const TGlPaletteEntry&) const = default;
};

// Logical palettes are built at version 0x300.
constexpr uint16_t kGlPaletteVersion = 0x300;
// A logical palette holds at most 256 entries; palette displays have at most 8 colour bits.
constexpr int kMaxGlPaletteEntries = 256;

// The palette for a chosen format: empty unless its flags contain kPfdNeedPalette; else
// 2^ColorBits entries (at most 256). Entry i gets, per channel, ((i >> shift) & mask) * 255
// / mask with mask = 2^bits - 1 taken as an 8-bit value, flags 0. A channel whose mask is 0
// (no bits) is 0 in every entry instead of a division by zero; shifts of 32 and more see
// no bits of i.
std::vector<TGlPaletteEntry> ComputeGlPalette(const TPixelFormatDescription& format);
