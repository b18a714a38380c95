// image convert: converts a picture between the program's formats by file extension.
//   reads  mat, iff, tga (MAT pictures), lif, gct, bmp, png
//   writes mat (plain; --rle run-length), lif, gct (block format; --zlib the zlib format),
//          bmp, png
// BMP and PNG go through Qt's QImage, which needs no display, in a library loaded only for
// them (cli/QtPictureLibrary.h); a build without Qt refuses them with a message. Saves are
// crash-safe: the output appears complete or not at all.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "cli/QtPictureLibrary.h"
#include "images/Gct.h"
#include "images/LifGraphic.h"
#include "images/MatGraphic.h"
#include "images/PictureFormats.h"
#include "util/FileIo.h"

namespace {

bool IsMat(const std::string& ext) { return ext == "mat" || ext == "iff" || ext == "tga"; }
bool IsQtFormat(const std::string& ext) { return ext == "bmp" || ext == "png"; }

void LoadAny(const std::string& fileName, TBitmap& bitmap) {
  const std::string ext = PictureExtension(fileName);
  if (IsMat(ext)) {
    TMATGraphic mat;
    mat.OnUnknownCode = [&](int code) {
      std::fprintf(stderr, "%s: unknown run-length code %d\n", fileName.c_str(), code);
    };
    mat.LoadMatFile(fileName);
    bitmap = mat;
  } else if (ext == "gct") {
    LoadGctFile(fileName, bitmap);
  } else if (IsQtFormat(ext)) {
    LoadWithQt(fileName, bitmap);
  } else {
    LoadPicture(fileName, bitmap);  // lif, and whatever else is registered
  }
}

void SaveAny(const std::string& fileName, const TBitmap& bitmap, bool rle, bool zlib) {
  const std::string ext = PictureExtension(fileName);
  if (IsMat(ext)) {
    TMATGraphic mat;
    static_cast<TBitmap&>(mat) = bitmap;
    mat.SaveCompressed = rle;
    mat.SaveMatFile(fileName);
  } else if (ext == "lif") {
    TLifGraphic lif;
    static_cast<TBitmap&>(lif) = bitmap;
    lif.SaveToFile(fileName);
  } else if (ext == "gct") {
    SaveGctFile(fileName, bitmap, zlib ? TStreamFormat::Zlib : TStreamFormat::Blocks);
  } else if (IsQtFormat(ext)) {
    SaveWithQt(fileName, bitmap, ext);
  } else {
    throw EInvalidGraphic("Cannot write pictures of the extension \"." + ext + "\" (mat, iff, tga, lif, gct, bmp, png)");
  }
}

int Image(const std::vector<std::string>& args) {
  std::vector<std::string> names;
  bool rle = false, zlib = false;
  for (const std::string& a : args) {
    if (a == "--rle") rle = true;
    else if (a == "--zlib") zlib = true;
    else if (a.size() > 1 && a[0] == '-') UsageError("image: unknown option " + a);
    else names.push_back(a);
  }
  if (names.size() != 3 || names[0] != "convert") UsageError("image: expected: image convert IN OUT [--rle] [--zlib]");
  RegisterImageFormats();
  TBitmap bitmap;
  LoadAny(names[1], bitmap);
  SaveAny(names[2], bitmap, rle, zlib);
  std::printf("%s (%d x %d, %d bits per pixel) -> %s\n", names[1].c_str(), bitmap.Width(), bitmap.Height(),
              bitmap.BitsPerPixel(), names[2].c_str());
  UnregisterImageFormats();
  return 0;
}

const TCommandRegistrar kImage({"image", "image convert IN OUT [--rle] [--zlib]",
                                "convert a picture by extension: reads mat/iff/tga, lif, gct, bmp, png; "
                                "writes mat (--rle: run-length), lif, gct (--zlib: zlib stream), bmp, png",
                                Image});

}  // namespace
