// The core's BMP reader on arbitrary bytes: every size it accepts must be backed by the
// bytes present, so each row it hands out can be read to its end.
#include <cstddef>
#include <cstdint>

#include "images/Bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    TBitmap bitmap;
    DecodeBmp(data, size, bitmap, "fuzz.bmp");
    volatile uint8_t sink = 0;
    for (int y = 0; y < bitmap.Height(); ++y) {
      if (bitmap.RowBytes()) sink = sink ^ bitmap.ScanLine(y)[bitmap.RowBytes() - 1];
    }
  } catch (const Exception&) {}
  return 0;
}
