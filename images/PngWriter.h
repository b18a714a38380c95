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
