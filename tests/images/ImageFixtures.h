#pragma once
// Builders for hand-made picture files. The IFF framing comes from support/IffBytes.h,
// independent of the program's IFF writer, so the MAT loader is tested against bytes whose
// meaning the test states itself.
#include <gtest/gtest.h>
#if TESSAVOR_HAVE_LIBPNG
#include <png.h>
#endif

#include <string>

#include "images/Gct.h"
#include "mesh/Materials.h"
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

// A ".gct" file from its raw parts: the 8 magic characters, width, height, the ignored
// byte, then `stream` as it stands, so that a test can state a header the writer refuses.
inline void WriteGctParts(const std::string& path, const char* magic, uint32_t w, uint32_t h,
                          const Bytes& stream) {
  Bytes bytes;
  testsupport::PutText(bytes, magic);
  testsupport::PutU32(bytes, w);
  testsupport::PutU32(bytes, h);
  bytes.push_back(0);
  bytes.insert(bytes.end(), stream.begin(), stream.end());
  testsupport::WriteBytes(path, bytes);
}

// The texture of material `mat` in `folder`, named as the program looks it up: a ".gct" of
// width × height RGB triples, top row first. Returns its path.
inline std::string WriteGctTexture(const std::string& folder, int32_t mat, int w, int h,
                                   const Bytes& rgb) {
  const std::string path = MaterialFileName(folder, mat, ".gct");
  WriteGctFile(path, w, h, rgb.data(), TStreamFormat::Zlib);
  return path;
}

#if TESSAVOR_HAVE_LIBPNG
// A PNG read back by libpng, an independent reader: its size and RGB triples, top row first.
struct TPngPixels {
  uint32_t Width = 0;
  uint32_t Height = 0;
  Bytes Rgb;
};
inline TPngPixels DecodePng(const Bytes& png) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  TPngPixels out;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) {
    ADD_FAILURE() << "no PNG: " << image.message;
    return out;
  }
  image.format = PNG_FORMAT_RGB;
  out.Rgb.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.Rgb.data(), 0, nullptr))
    ADD_FAILURE() << image.message;
  out.Width = image.width;
  out.Height = image.height;
  return out;
}
#endif

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
