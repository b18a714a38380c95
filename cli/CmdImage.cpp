// image convert: converts a picture between the program's formats by file extension.
//   reads  mat, iff, tga (MAT pictures), lif, gct, bmp, png
//   writes mat (plain; --rle run-length), lif, gct (block format; --zlib the zlib format),
//          bmp, png
// --palette FILE maps every pixel to the nearest colour of a palette file (a path, or the
// name of one of the program folder's pal/ palettes, with or without ".pal"), so that a set
// of textures can share one palette; --dither diffuses the error of the reduction to 256
// colours (or to that palette). Both apply to every output format: the picture is reduced
// before it is written.
// BMP is written by the core's encoder (images/Bmp.h) and PNG read and written through Qt's
// QImage, which needs no display, in a library loaded only for them
// (cli/QtPictureLibrary.h). A build without Qt reads BMP with the core, writes PNG with the
// core's encoder and refuses to read PNG with a message. Saves are
// crash-safe: the output appears complete or not at all.
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "cli/Commands.h"
#include "cli/QtPictureLibrary.h"
#include "images/Bmp.h"
#include "images/Gct.h"
#include "images/MatGraphic.h"
#include "images/PictureFormats.h"
#include "images/PngWriter.h"
#include "util/FileIo.h"
#include "util/Paths.h"
#include "util/Platform.h"
#include "util/StrTools.h"

namespace {

constexpr const char* kUsage = "image convert IN OUT [--rle] [--zlib] [--dither] [--palette FILE]";

struct TConvertOptions {
  bool Rle = false;
  bool Zlib = false;
};

// This command's handlers, registered over the core registry's for the run: its MAT
// formats (whatever extensions the registry reads as MAT) report unknown run-length codes
// and write --rle; ".gct" and the Qt formats, which the registry leaves to programs, join.
void RegisterConvertFormats(const TConvertOptions& options) {
  RegisterImageFormats();
  std::vector<TPictureFormat> formats;
  TPictureFormat mat;
  if (FindPictureFormat("a.mat", mat)) {
    for (const TPictureFormat& f : PictureFormats()) {
      if (f.Description != mat.Description) continue;
      formats.push_back({f.Extension, f.Description,
                         [](const std::string& fileName, TBitmap& bitmap) {
                           TMATGraphic graphic;
                           graphic.OnUnknownCode = [&](int code) {
                             std::fprintf(stderr, "%s: unknown run-length code %d\n",
                                          fileName.c_str(), code);
                           };
                           graphic.LoadMatFile(fileName);
                           bitmap = graphic;
                         },
                         [rle = options.Rle](const std::string& fileName, TBitmap& bitmap) {
                           TMATGraphic graphic;
                           static_cast<TBitmap&>(graphic) = bitmap;
                           graphic.SaveCompressed = rle;
                           graphic.SaveMatFile(fileName);
                         }});
    }
  }
  const TStreamFormat stream = options.Zlib ? TStreamFormat::Zlib : TStreamFormat::Blocks;
  formats.push_back({"gct", "compressed texture", LoadGctFile,
                     [stream](const std::string& fileName, TBitmap& bitmap) {
                       SaveGctFile(fileName, bitmap, stream);
                     }});
  // BMP is written by the core in every build (the same bytes everywhere) and read by Qt
  // where the build has it (every kind of BMP), else by the core (the uncompressed kinds).
#if TESSAVOR_HAVE_QTGUI
  formats.push_back({"bmp", "Windows bitmap", LoadWithQt, SaveBmpFile});
  formats.push_back({"png", "PNG", LoadWithQt, [](const std::string& fileName, TBitmap& bitmap) {
                       SaveWithQt(fileName, bitmap, "png");
                     }});
#else
  formats.push_back({"bmp", "Windows bitmap", LoadBmpFile, SaveBmpFile});
  formats.push_back({"png", "PNG", LoadWithQt, [](const std::string& fileName, TBitmap& bitmap) {
                       const std::vector<uint8_t> bytes = EncodePng(bitmap);
                       WriteFileAtomic(fileName, bytes.data(), bytes.size());
                     }});
#endif
  for (TPictureFormat& f : formats) {
    UnregisterPictureFormat(f.Extension);
    RegisterPictureFormat(std::move(f));
  }
}

// The palette file `name` stands for: the file itself when it exists, else, for a bare
// name, the program folder's pal/<name>[.pal].
std::string PaletteFileFor(const std::string& name) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::is_regular_file(platform::ToPath(name), error) ||
      name.find_first_of(platform::kSeparators) != std::string::npos)
    return name;
  const std::string shipped = ExeDirectory() + "pal/" + name;
  const bool hasExtension = PictureExtension(name) == "pal";
  return hasExtension ? shipped : shipped + ".pal";
}

// The extensions of the registered formats, for the refusal of any other.
std::string FormatList() {
  std::string list;
  for (const TPictureFormat& f : PictureFormats()) list += (list.empty() ? "" : ", ") + f.Extension;
  return list;
}

int Image(const std::vector<std::string>& args) {
  std::vector<std::string> names;
  bool rle = false, zlib = false;
  TQuantizeOptions reduction;
  std::string paletteName;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--rle")
      rle = true;
    else if (a == "--zlib")
      zlib = true;
    else if (a == "--dither")
      reduction.Dither = true;
    else if (a == "--palette") {
      if (i + 1 == args.size()) UsageError("image: --palette needs a palette file");
      paletteName = args[++i];
    } else if (a.size() > 1 && a[0] == '-')
      UsageError("image: unknown option " + a);
    else
      names.push_back(a);
  }
  if (names.size() != 3 || names[0] != "convert")
    UsageError("image: expected: " + std::string(kUsage));
  RegisterConvertFormats({rle, zlib});
  TPictureFormat out;
  if (!FindPictureFormat(names[2], out)) {
    throw EInvalidGraphic("Cannot write pictures of the extension \"." +
                          PictureExtension(names[2]) + "\" (" + FormatList() + ")");
  }
  if (!paletteName.empty()) reduction.Palette = LoadPaletteFile(PaletteFileFor(paletteName));
  TBitmap bitmap;
  LoadPicture(names[1], bitmap);
  if (reduction.Dither || !reduction.Palette.empty()) {
    // A picture that already has a palette is mapped from its colours to the other one.
    if (!reduction.Palette.empty() && bitmap.BitsPerPixel() == 8) bitmap.SetPixelFormat(24);
    bitmap.SetPixelFormat(8, reduction);
  }
  out.Save(names[2], bitmap);
  std::printf("%s (%d x %d, %d bits per pixel) -> %s\n", QuotePathForMessage(names[1]).c_str(),
              bitmap.Width(), bitmap.Height(), bitmap.BitsPerPixel(), names[2].c_str());
  UnregisterImageFormats();
  return 0;
}

const TCommandRegistrar kImage(
    {"image", kUsage,
     "convert a picture by extension: reads mat/iff/tga, lif, gct, bmp, png; "
     "writes mat (--rle: run-length), lif, gct (--zlib: zlib stream), bmp, png; "
     "--palette FILE maps the colours to a palette file or a shipped palette (pal/NAME), "
     "--dither diffuses the error of the reduction to a palette",
     Image, false});

}  // namespace
