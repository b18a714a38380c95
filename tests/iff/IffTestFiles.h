#pragma once
// Hand-built IFF fixtures for the reader tests. Bytes are laid down directly (not through
// TIffWriter), so the reader is checked against the format itself, not against the writer.

#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"

namespace ifftest {

using testsupport::Bytes;

// A chunk: identifier, big-endian size, data, and a zero pad byte when the size is odd.
inline Bytes Chunk(const std::string& id, const Bytes& data) {
  Bytes b;
  testsupport::PutText(b, id.substr(0, 4));
  testsupport::PutU32BE(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  if (data.size() % 2) b.push_back(0);
  return b;
}

// A FORM around already-built items: size = 4 (type) + the items' bytes.
inline Bytes Form(const std::string& type, const Bytes& items) {
  Bytes b;
  testsupport::PutText(b, "FORM");
  testsupport::PutU32BE(b, static_cast<uint32_t>(4 + items.size()));
  testsupport::PutText(b, type.substr(0, 4));
  b.insert(b.end(), items.begin(), items.end());
  return b;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const auto& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A FORM whose only chunk claims `claimed` data bytes while the file ends after `data`; the
// FORM's size covers the claim, so the reader accepts the tree and only reads come short.
inline Bytes FormWithTruncatedChunk(const std::string& type, const std::string& id,
                                    uint32_t claimed, const Bytes& data) {
  Bytes b;
  testsupport::PutText(b, "FORM");
  testsupport::PutU32BE(b, 4 + 8 + claimed);
  testsupport::PutText(b, type.substr(0, 4));
  testsupport::PutText(b, id.substr(0, 4));
  testsupport::PutU32BE(b, claimed);
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

// Runs `f` and expects an exception of class E carrying exactly `message`.
template <class E, class F>
void ExpectError(F f, const std::string& message) {
  try {
    f();
    ADD_FAILURE() << "no exception, expected: " << message;
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

}  // namespace ifftest
