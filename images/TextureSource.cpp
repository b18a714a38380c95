#include "images/TextureSource.h"

#include <sys/stat.h>

#include "images/Gct.h"
#include "images/MatGraphic.h"
#include "images/PictureFormats.h"
#include "mesh/Materials.h"

namespace {

bool IsRegularFile(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string FindMaterialTexture(const std::string& folder, int32_t mat) {
  const std::string stem = MaterialFileName(folder, mat, "");
  for (const char* ext : kTextureExtensions) {
    if (IsRegularFile(stem + ext)) return stem + ext;
  }
  return {};
}

void LoadTextureFile(const std::string& fileName, TBitmap& bitmap, const TForeignPictureLoader& foreign) {
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
    throw EInvalidGraphic("\"" + fileName + "\": no decoder for ." + ext + " pictures in this program");
  }
}
