#pragma once
// LIF pictures: a 48-byte header, an optional 256-entry palette and raw rows.
//
//   bytes 0-7    magic "Brenz 7" and a zero byte (not read)
//   bytes 8-11   version, 260 when written here (not read)
//   bytes 12-15  flags, 50 when written here (not read)
//   bytes 16-19  width            bytes 20-23  height
//   bytes 24-31  two check values, random numbers 0..2,147,483,646 (not read)
//   bytes 32-35  data offset: stream position of the first row
//   bytes 36-39  palette offset: stream position of the palette, 0 = none
//   bytes 40-47  reserved, 0
// Palette: 256 × (red, green, blue, fourth byte written 0 and ignored). Rows top row first,
// no padding: Width bytes (palette indices) with a palette, else Width × 4 bytes copied
// unchanged into a 32-bit bitmap row (blue, green, red, fourth byte). Offsets are absolute
// stream positions. Integers little-endian.
//
// Loading does not judge the magic: any file is read as LIF. On bad input: a size outside
// the bitmap's caps raises EInvalidGraphic before anything is allocated, and so does a
// palette or pixel area that does not lie wholly inside the stream ("TLifGraphic: ...");
// a header cut short raises EInOutError "Stream read error at offset N: ...". LoadFromFile's
// messages start with the file name.
// Saving writes a palette entry the bitmap's palette lacks as 0, 0, 0, 0.

#include <string>

#include "iff/Stream.h"
#include "images/Bitmap.h"

constexpr size_t kLifHeaderSize = 48;

class TLifGraphic : public TBitmap {
public:
  // Reads a LIF picture from the stream's current position.
  void LoadLifStream(TStream& stream);
  // Writes the picture as LIF at the stream's position; the bitmap becomes 8 bits per
  // pixel first. The header is written twice: with zero offsets, then with the real ones.
  void SaveLifStream(TStream& stream);

  void LoadFromFile(const std::string& fileName);
  // Crash-safe: the file appears complete or not at all.
  void SaveToFile(const std::string& fileName);
};
