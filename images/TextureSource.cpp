#include "images/TextureSource.h"

#include <fstream>

#include "images/Gct.h"
#include "images/MatGraphic.h"
#include "images/PictureFormats.h"
#include "mesh/Materials.h"
#include "util/Platform.h"
#include "util/StrTools.h"

namespace {

// The magic's 8 bytes as text, each byte one character (Latin-1), in the program's UTF-8.
std::string MagicForMessage(const TGctHeader& header) {
  std::string text;
  for (const char c : header.MagicText()) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      text += c;
    } else {
      text += static_cast<char>(0xC0 | (b >> 6));
      text += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return text;
}

bool IsRegularFile(const std::string& path) {
  platform::TFileStatus st;
  return platform::StatPath(path, st) == 0 && st.Kind == platform::TFileKind::Regular;
}

}  // namespace

std::string FindMaterialTexture(const std::string& folder, int32_t mat,
                                std::span<const char* const> extensions) {
  const std::string stem = MaterialFileName(folder, mat, "");
  for (const char* ext : extensions) {
    if (IsRegularFile(stem + ext)) return stem + ext;
  }
  return {};
}

void LoadTextureFile(const std::string& fileName, TBitmap& bitmap,
                     const TForeignPictureLoader& foreign) {
  const std::string ext = PictureExtension(fileName);
  if (ext == "gct") {
    LoadGctFile(fileName, bitmap);
  } else if (ext == "mat") {
    TMATGraphic mat;
    mat.LoadMatFile(fileName);
    bitmap = static_cast<const TBitmap&>(mat);
  } else if (foreign) {
    foreign(fileName, bitmap);
  } else {
    throw EInvalidGraphic("\"" + QuotePathForMessage(fileName) + "\": no decoder for ." + ext +
                          " pictures in this program");
  }
}

TGctTextureRead ReadGctTexture(const std::string& path, uint8_t* pixels, size_t capacity,
                               const std::function<void(const std::string& text)>& warn) {
  std::ifstream file(path, std::ios::binary);  // closed by its destructor, also on errors
  if (!file) throw EInOutError("Cannot open file \"" + QuotePathForMessage(path) + "\"");
  return ReadGctTexture(file, path, pixels, capacity, warn);
}

TGctTextureRead ReadGctTexture(std::istream& file, const std::string& path, uint8_t* pixels,
                               size_t capacity,
                               const std::function<void(const std::string& text)>& warn) {
  TGctTextureRead result;
  result.Header = ReadGctHeader(file);
  const TGctHeader& header = result.Header;
  if (!header.MagicValid())
    warn("LoadCompressedTextures (" + path + "): Invalid format: " + MagicForMessage(header));
  // Two 31-bit sides multiply within 64 bits; the factor 3 goes on the capacity side, where
  // it cannot overflow.
  const bool fits =
      header.Width > 0 && header.Height > 0 &&
      static_cast<uint64_t>(header.Width) * static_cast<uint64_t>(header.Height) <= capacity / 3;
  if (!fits) {
    warn("LoadCompressedTextures (" + path + "): texture of " + std::to_string(header.Width) +
         " x " + std::to_string(header.Height) + " pixels is too large (at most " +
         std::to_string(capacity) + " bytes of RGB)");
    return result;
  }
  uint32_t count = 0;
  _BlockRead(file, pixels, static_cast<int64_t>(capacity) - 1, count);
  result.Read = true;
  return result;
}
