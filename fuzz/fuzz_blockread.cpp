// _BlockRead on arbitrary bytes, into a buffer of the viewer's size (202,800 bytes), and the
// same bytes as a whole ".gct" file read the viewer's way (header, size check, stream). The
// buffer is a separate allocation of exactly that size so AddressSanitizer sees any overrun.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "images/Compr.h"
#include "images/TextureSource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  constexpr size_t kBuffer = 202800;
  std::unique_ptr<uint8_t[]> dest(new uint8_t[kBuffer]);
  try {
    std::istringstream file(std::string(reinterpret_cast<const char*>(data), size));
    uint32_t count = 0;
    _BlockRead(file, dest.get(), kBuffer - 1, count);
    if (count > kBuffer) __builtin_trap();
  } catch (const Exception&) {}
  try {
    std::istringstream file(std::string(reinterpret_cast<const char*>(data), size));
    ReadGctTexture(file, "fuzz.gct", dest.get(), kBuffer, [](const std::string&) {});
  } catch (const Exception&) {}
  return 0;
}
