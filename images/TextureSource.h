#pragma once
// The textures of material numbers, for every program that shows or exports them: the file
// named after the number's eight digits (MaterialIdText) in the material folder, a plain
// prefix as the editor's MatPath is ("./" by default). Each user tries its own extensions in
// order: the export every kind (".gct", else ".mat", else ".bmp"), the model viewer ".gct"
// else ".bmp", the GL viewer ".bmp"; the Texturing tab shows the ".mat" of its box's text.
//
// ".gct" and ".mat" are decoded by the core's own decoders. The core has no BMP decoder
// (BMP goes through Qt in the window layer and in libtvqtimage.so for tessavor-cli): a
// program that wants ".bmp" textures passes a loader for them; without one a ".bmp"
// texture is reported as not readable.

#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "images/Bitmap.h"
#include "images/Gct.h"

// Loads a picture the core does not decode itself (a ".bmp" texture) into `bitmap`;
// raises the program's exceptions on failure.
using TForeignPictureLoader = std::function<void(const std::string& fileName, TBitmap& bitmap)>;

// The extensions tried, in order: every kind; the model viewer's, and its slots'; the GL
// viewer's.
inline constexpr const char* kTextureExtensions[] = {".gct", ".mat", ".bmp"};
inline constexpr const char* kModelViewerTextureExtensions[] = {".gct", ".bmp"};
inline constexpr const char* kCompressedTextureExtensions[] = {".gct"};
inline constexpr const char* kPictureTextureExtensions[] = {".bmp"};

// The first texture file of `mat` in `folder` that exists as a regular file, trying
// `extensions` in order; "" when there is none.
std::string FindMaterialTexture(const std::string& folder, int32_t mat,
                                std::span<const char* const> extensions = kTextureExtensions);

// Decodes a texture file found by FindMaterialTexture into `bitmap` (24 bits per pixel for
// ".gct", the picture's own depth otherwise). Raises the decoder's error (EInvalidGraphic,
// EComprError, EIffReader, EInOutError), or EInvalidGraphic for a ".bmp" without a loader.
void LoadTextureFile(const std::string& fileName, TBitmap& bitmap,
                     const TForeignPictureLoader& foreign = {});

// A ".gct" texture read as the model viewer reads it, into a buffer of `capacity` bytes: a
// wrong magic is reported through `warn` ("LoadCompressedTextures (" + path + "): Invalid
// format: " + the 8 characters) and the file is read on; a size whose RGB bytes do not fit
// the buffer (or is not positive) is reported through `warn` and nothing more is read
// (Read false). The stream fills the buffer as far as it goes; its errors propagate, as does
// EInOutError "Cannot open file \"path\"" and a header cut short.
struct TGctTextureRead {
  TGctHeader Header;
  bool Read = false;
};
TGctTextureRead ReadGctTexture(const std::string& path, uint8_t* pixels, size_t capacity,
                               const std::function<void(const std::string& text)>& warn);
// The same on a file already open; `path` only names it in the messages.
TGctTextureRead ReadGctTexture(std::istream& file, const std::string& path, uint8_t* pixels,
                               size_t capacity,
                               const std::function<void(const std::string& text)>& warn);
