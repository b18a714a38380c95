#pragma once
// The texture of a material number, as the model viewer finds it: in the material folder,
// the file named after the number's eight digits (MaterialIdText) with ".gct", else ".mat",
// else ".bmp". The folder is a plain prefix, as the editor's MatPath is ("./" by default).
//
// ".gct" and ".mat" are decoded by the core's own decoders. The core has no BMP decoder
// (BMP goes through Qt in the window layer and in libtvqtimage.so for tessavor-cli): a
// program that wants ".bmp" textures passes a loader for them; without one a ".bmp"
// texture is reported as not readable.

#include <cstdint>
#include <functional>
#include <string>

#include "images/Bitmap.h"

// Loads a picture the core does not decode itself (a ".bmp" texture) into `bitmap`;
// raises the program's exceptions on failure.
using TForeignPictureLoader = std::function<void(const std::string& fileName, TBitmap& bitmap)>;

// The extensions tried, in order.
inline constexpr const char* kTextureExtensions[] = {".gct", ".mat", ".bmp"};

// The first existing texture file of `mat` in `folder`; "" when there is none.
std::string FindMaterialTexture(const std::string& folder, int32_t mat);

// Decodes a texture file found by FindMaterialTexture into `bitmap` (24 bits per pixel for
// ".gct", the picture's own depth otherwise). Raises the decoder's error (EInvalidGraphic,
// EComprError, EIffReader, EInOutError), or EInvalidGraphic for a ".bmp" without a loader.
void LoadTextureFile(const std::string& fileName, TBitmap& bitmap, const TForeignPictureLoader& foreign = {});
