// The handle-table scanner on arbitrary bytes: walk every item, find a few identifiers from
// the start and release the handle. A scan must end (every step moves forward).
#include <cstddef>
#include <cstdint>

#include "iff/IffReader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream stream(data, size);
  const int h = IffRegisterStream(&stream);
  try {
    TIffItemHeader item;
    int64_t last = -1;
    while (IffReadItemHeader(h, item)) {
      if (item.Offset <= last) __builtin_trap();  // the scan went backwards
      last = item.Offset;
      if (item.Size < 0 || (item.HeaderLen != 8 && item.HeaderLen != 12)) __builtin_trap();
    }
  } catch (const Exception&) {}
  for (const char* id : {"VERT", "VTNM", "FVRT", "FACE", "RADI"}) {
    try {
      IffRewind(h);
      TIffItemHeader item;
      if (!IffFindItem(h, item, id) && (item.Offset != -1 || item.Size != -1)) __builtin_trap();
    } catch (const Exception&) {}
  }
  IffCloseHandle(h);
  return 0;
}
