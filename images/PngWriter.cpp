#include "images/PngWriter.h"

#if TESSAVOR_HAVE_LIBPNG
#include <png.h>
#endif
#include <zlib.h>

#include <string>

namespace {

// Rows of 8-bit RGB, top row first.
std::vector<uint8_t> RgbRows(const TBitmap& bitmap) {
  const int width = bitmap.Width(), height = bitmap.Height();
  // The bitmap's caps keep width x height x 3 far below size_t's range.
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
    for (int x = 0; x < width; ++x) bitmap.GetRgb(x, y, row[3 * x], row[3 * x + 1], row[3 * x + 2]);
  }
  return rgb;
}

void PutU32BE(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// Length, type, data and the CRC-32 of type and data.
void PutChunk(std::vector<uint8_t>& out, const char (&type)[5], const uint8_t* data, size_t size) {
  PutU32BE(out, static_cast<uint32_t>(size));
  const size_t typeAt = out.size();
  out.insert(out.end(), type, type + 4);
  if (size > 0) out.insert(out.end(), data, data + size);
  const uLong crc = crc32(0, out.data() + typeAt, static_cast<uInt>(size + 4));
  PutU32BE(out, static_cast<uint32_t>(crc));
}

}  // namespace

std::vector<uint8_t> EncodePngWithZlib(const TBitmap& bitmap) {
  if (bitmap.Empty()) throw EInvalidGraphic("PNG encoder: the picture is empty");
  const auto width = static_cast<size_t>(bitmap.Width());
  const auto height = static_cast<size_t>(bitmap.Height());
  const std::vector<uint8_t> rgb = RgbRows(bitmap);
  std::vector<uint8_t> raw;
  raw.reserve(height * (width * 3 + 1));
  for (size_t y = 0; y < height; ++y) {
    raw.push_back(0);  // filter type None
    raw.insert(raw.end(), rgb.begin() + static_cast<ptrdiff_t>(y * width * 3),
               rgb.begin() + static_cast<ptrdiff_t>((y + 1) * width * 3));
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()),
                Z_DEFAULT_COMPRESSION) != Z_OK)
    throw EInvalidGraphic("PNG encoder: out of memory");

  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  PutU32BE(header, static_cast<uint32_t>(width));
  PutU32BE(header, static_cast<uint32_t>(height));
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive, none
  PutChunk(out, "IHDR", header.data(), header.size());
  PutChunk(out, "IDAT", packed.data(), packedSize);
  PutChunk(out, "IEND", nullptr, 0);
  return out;
}

#if !TESSAVOR_HAVE_LIBPNG

std::vector<uint8_t> EncodePng(const TBitmap& bitmap) { return EncodePngWithZlib(bitmap); }

#else

namespace {

struct TPngSink {
  std::vector<uint8_t>* Out;
};

void WriteToVector(png_structp png, png_bytep data, png_size_t size) {
  auto* sink = static_cast<TPngSink*>(png_get_io_ptr(png));
  sink->Out->insert(sink->Out->end(), data, data + size);
}

void NoFlush(png_structp) {}

// libpng reports through longjmp by default; an exception from the error callback leaves
// its C frames just as cleanly, since they hold no resources of ours.
[[noreturn]] void ThrowPngError(png_structp, png_const_charp message) {
  throw EInvalidGraphic(std::string("PNG encoder: ") + message);
}

void IgnoreWarning(png_structp, png_const_charp) {}

}  // namespace

std::vector<uint8_t> EncodePng(const TBitmap& bitmap) {
  if (bitmap.Empty()) throw EInvalidGraphic("PNG encoder: the picture is empty");
  const int width = bitmap.Width(), height = bitmap.Height();
  const std::vector<uint8_t> rgb = RgbRows(bitmap);

  std::vector<uint8_t> out;
  TPngSink sink{&out};
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, ThrowPngError, IgnoreWarning);
  if (!png) throw EInvalidGraphic("PNG encoder: out of memory");
  png_infop info = png_create_info_struct(png);
  struct TRelease {
    png_structp* Png;
    png_infop* Info;
    ~TRelease() { png_destroy_write_struct(Png, Info); }
  } release{&png, &info};
  if (!info) throw EInvalidGraphic("PNG encoder: out of memory");
  png_set_write_fn(png, &sink, WriteToVector, NoFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    png_write_row(png, rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3);
  }
  png_write_end(png, nullptr);
  return out;
}

#endif
