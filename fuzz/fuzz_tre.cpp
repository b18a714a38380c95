// Fuzz target for the TRE directory reader: header and directory checks, per-entry bounds,
// and the unpacking of packed blocks, all on the input held in memory.
#include <cstddef>
#include <cstdint>
#include <span>

#include "iffc/TreArchive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> file(data, size);
  try {
    const TTreDirectory dir = ParseTreDirectory(file, size, "fuzz");
    for (const TTreDirEntry& e : dir.Entries) {
      if (!e.Problem.empty() || e.NeverWritten()) continue;
      // The reader promised these bounds; reading through them is what a sanitizer checks.
      const std::span<const uint8_t> stored = file.subspan(e.Offset, e.BytesInFile());
      if (e.IsPacked()) {
        try {
          (void)UnpackTreBlock(e, stored);
        } catch (const ETreArchive&) {}
      }
      try {
        (void)SafeTreRelativePath(e.Name);
      } catch (const ETreArchive&) {}
    }
  } catch (const ETreArchive&) {}
  return 0;
}
