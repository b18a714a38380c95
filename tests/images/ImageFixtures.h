#pragma once
// Builders for hand-made picture files. The IFF framing comes from support/IffBytes.h,
// independent of the program's IFF writer, so the MAT loader is tested against bytes whose
// meaning the test states itself.
#include <string>

#include "util/Exception.h"

#include "support/IffBytes.h"
#include "support/TestSupport.h"

namespace imagefixtures {

using testsupport::Bytes;

using iffbytes::Chunk;
using iffbytes::Form;

inline Bytes Ints(std::initializer_list<int32_t> values) {
  Bytes b;
  for (int32_t v : values) testsupport::PutU32(b, static_cast<uint32_t>(v));
  return b;
}

inline Bytes Words(std::initializer_list<uint16_t> values) {
  Bytes b;
  for (uint16_t v : values) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
  }
  return b;
}

// A CMAP whose entry i is (i, 2i, 3i) modulo 256, `entries` long.
inline Bytes Cmap(int entries) {
  Bytes b;
  for (int i = 0; i < entries; ++i) {
    b.push_back(static_cast<uint8_t>(i));
    b.push_back(static_cast<uint8_t>(2 * i));
    b.push_back(static_cast<uint8_t>(3 * i));
  }
  return Chunk("CMAP", b);
}

// The message of the exception `f` throws, or "(no error)" when it returns.
template <class F>
std::string ErrorMessageOf(F f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

}  // namespace imagefixtures
