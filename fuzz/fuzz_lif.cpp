// The LIF loader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "images/LifGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    TMemoryStream stream(data, size);
    TLifGraphic lif;
    lif.LoadLifStream(stream);
    volatile uint8_t sink = 0;
    for (int y = 0; y < lif.Height(); ++y) {
      if (lif.RowBytes()) sink = sink ^ lif.ScanLine(y)[lif.RowBytes() - 1];
    }
  } catch (const Exception&) {}
  return 0;
}
