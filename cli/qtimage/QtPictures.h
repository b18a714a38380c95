#pragma once
// The C entry points of libtvqtimage.so: BMP and PNG pictures read and encoded through Qt's
// image readers and writers. tessavor-cli loads the library only when a picture of those
// formats is converted, so that every other command starts without the Qt libraries
// (mapping and relocating them was most of the program's start-up time).
//
// Only plain C types cross the library boundary: the library has its own copy of nothing
// from the core, and no C++ exception or allocator is shared with the program.

#include <cstddef>
#include <cstdint>

extern "C" {

// A picture as the core's bitmap keeps it: rows top row first without padding.
// BitsPerPixel 8: one palette index per pixel, PaletteCount entries of Palette (red,
// green, blue). BitsPerPixel 24: blue, green, red per pixel.
struct TQtPicture {
  int32_t Width;
  int32_t Height;
  int32_t BitsPerPixel;
  int32_t PaletteCount;
  uint8_t Palette[256][3];
  uint8_t* Pixels;  // from the library: free with tv_qt_free
};

// Reads `fileName`. Returns 0 and fills `picture`, or non-zero with a message in `error`
// (always terminated, at most errorSize bytes). Pictures larger than maxPixelBytes of
// pixel data are refused before their pixels are copied.
int tv_qt_read_picture(const char* fileName, uint64_t maxPixelBytes, TQtPicture* picture,
                       char* error, size_t errorSize);

// Encodes `picture` in `format` ("bmp" or "png") into a buffer the library allocates
// (*bytes, *size; free with tv_qt_free). Returns 0, or non-zero with a message in `error`.
int tv_qt_encode_picture(const TQtPicture* picture, const char* format, uint8_t** bytes,
                         size_t* size, char* error, size_t errorSize);

void tv_qt_free(void* memory);

// The types of the entry points, for dlsym.
using TQtReadPicture = int (*)(const char*, uint64_t, TQtPicture*, char*, size_t);
using TQtEncodePicture = int (*)(const TQtPicture*, const char*, uint8_t**, size_t*, char*, size_t);
using TQtFree = void (*)(void*);

}  // extern "C"
