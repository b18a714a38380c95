#pragma once
// PNG encoding of the core bitmap through libpng, so that the core can hand pictures to
// other tools (mesh exports carry their textures as PNG) without the window layer.
//
// Every pixel format of TBitmap is written as 8-bit RGB (an 8-bit bitmap through its
// palette, the fourth byte of a 32-bit one dropped), rows top row first as PNG stores them.
// An empty bitmap raises EInvalidGraphic; libpng's own failures raise EInvalidGraphic
// with its message.

#include <cstdint>
#include <vector>

#include "images/Bitmap.h"

std::vector<uint8_t> EncodePng(const TBitmap& bitmap);

// The same picture written by our own encoder on zlib alone (the builds without libpng:
// Windows): signature, IHDR (8-bit RGB, no interlace), one IDAT of the rows with filter
// type 0 compressed by zlib, IEND, each chunk with its CRC-32. EncodePng uses it when the
// build has no libpng.
std::vector<uint8_t> EncodePngWithZlib(const TBitmap& bitmap);
