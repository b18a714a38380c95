#pragma once
// Windows bitmaps (.bmp) in the core, so that builds without Qt (Windows) read and write
// them, and every build writes the same bytes.
//
// Writing: an 8-bit bitmap as 8 bits per pixel with its palette (256 entries, the unused
// ones black), a 24- or 32-bit one as 24 bits per pixel; a BITMAPINFOHEADER (40 bytes),
// rows bottom-up, each padded to a multiple of 4 bytes, 2835 pixels per metre (72 dpi).
// An empty bitmap raises EInvalidGraphic.
//
// Reading: uncompressed 8-, 24- and 32-bit pictures with a header of 40 bytes or more,
// bottom-up or top-down (negative height). Every size is checked against the bytes really
// present and TBitmap's caps before anything is allocated; anything else (compression,
// 1/4/16 bits, a palette or pixel array beyond the file) raises EInvalidGraphic naming the
// file and what is wrong.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "images/Bitmap.h"

std::vector<uint8_t> EncodeBmp(const TBitmap& bitmap);
void DecodeBmp(const uint8_t* data, size_t size, TBitmap& bitmap, const std::string& name);

// The file forms (through the safe writer; reads bounded by kMaxBitmapBytes plus headers).
void SaveBmpFile(const std::string& fileName, const TBitmap& bitmap);
void LoadBmpFile(const std::string& fileName, TBitmap& bitmap);
