#include "images/PngWriter.h"

#include <png.h>

#include <string>

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
  // The bitmap's caps keep width x height x 3 far below size_t's range.
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(width) * 3;
    for (int x = 0; x < width; ++x) bitmap.GetRgb(x, y, row[3 * x], row[3 * x + 1], row[3 * x + 2]);
  }

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
