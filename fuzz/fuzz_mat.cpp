// The MAT loader, and the palette-file reader, on arbitrary container bytes. Named palettes are
// looked up in a folder that does not exist, so every NAME ends in the stream layer's error.
#include <cstddef>
#include <cstdint>

#include "iff/IffReader.h"
#include "images/MatGraphic.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    TMemoryStream stream(data, size);
    TIffReader reader(stream, "fuzz.mat");
    TMATGraphic mat;
    mat.PaletteDirectory = "/nonexistent-tessavor-fuzz/pal/";
    mat.OnUnknownCode = [](int) {};
    mat.LoadMatFromReader(reader);
    // Every row the loader claims must be there.
    volatile uint8_t sink = 0;
    for (int y = 0; y < mat.Height(); ++y) {
      if (mat.RowBytes()) sink = sink ^ mat.ScanLine(y)[mat.RowBytes() - 1];
    }
  } catch (const Exception&) {}
  // The same bytes as a palette file (--palette of image convert).
  try {
    TMemoryStream stream(data, size);
    TIffReader reader(stream, "fuzz.pal");
    if (LoadPaletteFromReader(reader).size() > 256) __builtin_trap();
  } catch (const Exception&) {}
  return 0;
}
