#include "cli/QtPictureLibrary.h"

#if TESSAVOR_HAVE_QTGUI
#include <dlfcn.h>
#endif

#include <algorithm>
#include <memory>
#include <vector>

#include "cli/qtimage/QtPictures.h"
#include "util/FileIo.h"
#include "util/Paths.h"
#include "util/StrTools.h"

namespace {

#if TESSAVOR_HAVE_QTGUI
constexpr char kLibraryName[] = "libtvqtimage.so";
#endif

[[noreturn]] void NoQt(const std::string& fileName, const std::string& why) {
  throw EInvalidGraphic("\"" + QuotePathForMessage(fileName) +
                        "\": BMP and PNG pictures need the build with Qt (" + why + ")");
}

struct TQtLibrary {
  TQtReadPicture Read = nullptr;
  TQtEncodePicture Encode = nullptr;
  TQtFree Free = nullptr;
};

// The library stays loaded until the program ends: a command converts one picture and
// exits, and unloading Qt early only risks its exit handlers running without it.
const TQtLibrary& Library(const std::string& fileName) {
#if TESSAVOR_HAVE_QTGUI
  static const TQtLibrary lib = [] {
    TQtLibrary l;
    const std::string path = ProgramLibraryPath(kLibraryName);
    if (path.empty()) return l;  // no program folder: never a library from elsewhere
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return l;
    l.Read = reinterpret_cast<TQtReadPicture>(dlsym(handle, "tv_qt_read_picture"));
    l.Encode = reinterpret_cast<TQtEncodePicture>(dlsym(handle, "tv_qt_encode_picture"));
    l.Free = reinterpret_cast<TQtFree>(dlsym(handle, "tv_qt_free"));
    if (!l.Read || !l.Encode || !l.Free) l = TQtLibrary{};
    return l;
  }();
  if (!lib.Read)
    NoQt(fileName, std::string(kLibraryName) + " in " + ExeDirectory() + " cannot be loaded");
  return lib;
#else
  NoQt(fileName, "this program was built without it");
#endif
}

}  // namespace

void LoadWithQt(const std::string& fileName, TBitmap& bitmap) {
  const TQtLibrary& lib = Library(fileName);
  // Qt opens the file by name: refuse a FIFO or device first, which would hang it.
  { const TInputFile check(fileName); }
  TQtPicture picture{};
  char error[512];
  if (lib.Read(fileName.c_str(), kMaxBitmapBytes, &picture, error, sizeof error) != 0)
    throw EInvalidGraphic(error);
  std::unique_ptr<uint8_t, TQtFree> pixels(picture.Pixels, lib.Free);
  bitmap.SetPixelFormat(picture.BitsPerPixel);
  bitmap.SetSize(picture.Width, picture.Height);  // refuses sizes beyond the core's limits
  if (picture.BitsPerPixel == 8) {
    std::vector<TPaletteEntry> palette;
    palette.reserve(static_cast<size_t>(std::max(picture.PaletteCount, 0)));
    for (int32_t i = 0; i < picture.PaletteCount; ++i) {
      palette.push_back({picture.Palette[i][0], picture.Palette[i][1], picture.Palette[i][2], 0});
    }
    bitmap.SetPalette(palette);
  }
  const size_t rowBytes = static_cast<size_t>(picture.Width) * (picture.BitsPerPixel / 8);
  for (int y = 0; y < picture.Height; ++y) {
    std::copy(pixels.get() + y * rowBytes, pixels.get() + (y + 1) * rowBytes, bitmap.ScanLine(y));
  }
}

void SaveWithQt(const std::string& fileName, const TBitmap& bitmap, const std::string& ext) {
  const TQtLibrary& lib = Library(fileName);
  TQtPicture picture{};
  picture.Width = bitmap.Width();
  picture.Height = bitmap.Height();
  std::vector<uint8_t> pixels;
  if (bitmap.BitsPerPixel() == 8) {
    picture.BitsPerPixel = 8;
    const auto& palette = bitmap.Palette();
    picture.PaletteCount = static_cast<int32_t>(std::min<size_t>(palette.size(), 256));
    for (int32_t i = 0; i < picture.PaletteCount; ++i) {
      picture.Palette[i][0] = palette[i].Red;
      picture.Palette[i][1] = palette[i].Green;
      picture.Palette[i][2] = palette[i].Blue;
    }
    pixels.reserve(static_cast<size_t>(bitmap.Width()) * bitmap.Height());
    for (int y = 0; y < bitmap.Height(); ++y) {
      pixels.insert(pixels.end(), bitmap.ScanLine(y), bitmap.ScanLine(y) + bitmap.Width());
    }
  } else {
    // Every other depth goes through the bitmap's own colour lookup, as 24-bit.
    picture.BitsPerPixel = 24;
    pixels.reserve(static_cast<size_t>(bitmap.Width()) * bitmap.Height() * 3);
    for (int y = 0; y < bitmap.Height(); ++y) {
      for (int x = 0; x < bitmap.Width(); ++x) {
        uint8_t r, g, b;
        bitmap.GetRgb(x, y, r, g, b);
        pixels.insert(pixels.end(), {b, g, r});
      }
    }
  }
  picture.Pixels = pixels.data();
  uint8_t* bytes = nullptr;
  size_t size = 0;
  char error[512];
  if (lib.Encode(&picture, ext.c_str(), &bytes, &size, error, sizeof error) != 0) {
    throw EInvalidGraphic("Cannot write picture \"" + QuotePathForMessage(fileName) +
                          "\": " + error);
  }
  std::unique_ptr<uint8_t, TQtFree> encoded(bytes, lib.Free);
  WriteFileAtomic(fileName, encoded.get(), size);
}
