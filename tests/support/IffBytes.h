#pragma once
// IFF files laid down byte by byte for the tests (never through the program's own writer),
// so that readers are checked against the container layout itself: big-endian sizes, a
// FORM's size counting its type, odd chunks padded with one zero byte.

#include <initializer_list>
#include <string>

#include "support/TestSupport.h"

namespace iffbytes {

using testsupport::Bytes;

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const auto& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

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

inline Bytes Form(const std::string& type, std::initializer_list<Bytes> children) {
  return Form(type, Cat(children));
}

// A FORM whose only chunk claims `claimed` data bytes while the file ends after `data`; the
// FORM's size covers the claim, so a reader accepts the tree and only reads come short.
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

}  // namespace iffbytes
