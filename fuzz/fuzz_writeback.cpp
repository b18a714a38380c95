// Write-back of hostile record files into a hostile model. Input layout: five little-endian
// uint16 sizes for the VERT, VTNM, FVRT, FACE and RADI record data (each cut to the bytes
// left), those bytes, and whatever remains as the model.
// Besides not crashing, a write-back that succeeded must be a fixed point: writing the same
// records into its result again gives the same bytes (the chunks already hold them and
// every FORM size already fits).

#include <array>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "mesh/WriteBack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::array<size_t, 5> sizes{};
  size_t pos = 0;
  for (size_t& s : sizes) {
    if (size - pos >= 2) {
      s = size_t{data[pos]} | (size_t{data[pos + 1]} << 8);
      pos += 2;
    }
  }
  std::array<std::vector<uint8_t>, 5> records;
  for (size_t i = 0; i < records.size(); ++i) {
    const size_t n = sizes[i] < size - pos ? sizes[i] : size - pos;
    records[i].assign(data + pos, data + pos + n);
    pos += n;
  }
  const std::span<const uint8_t> model(data + pos, size - pos);
  std::vector<uint8_t> once;
  try {
    once = WriteBackBytes(model, records, "model");
  } catch (const EWriteBack&) {
    return 0;  // refused: a clear error, not a fault
  }
  try {
    if (WriteBackBytes(once, records, "result") != once) std::abort();
  } catch (const EWriteBack&) {
    std::abort();
  }
  return 0;
}
