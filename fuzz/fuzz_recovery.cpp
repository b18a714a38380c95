// The recovery file's reader on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "mesh/Recovery.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    const TRecovery r = ParseRecovery(data, size);
    volatile size_t sink = r.ModelName.size();
    for (const TBlob& b : r.Records.Arrays)
      if (b && !b->empty()) sink = sink ^ b->back();
  } catch (const Exception&) {}
  return 0;
}
