// image convert: converts a picture between the program's formats by file extension.
//   reads  mat, iff, tga (MAT pictures), lif, gct, bmp, png
//   writes mat (plain; --rle run-length), lif, gct (block format; --zlib the zlib format),
//          bmp, png
// BMP and PNG go through Qt's QImage, which needs no display; a build without Qt refuses
// them with a message. Saves are crash-safe: the output appears complete or not at all.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "images/Gct.h"
#include "images/LifGraphic.h"
#include "images/MatGraphic.h"
#include "images/PictureFormats.h"
#include "util/FileIo.h"

#if TESSAVOR_HAVE_QTGUI
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#endif

namespace {

bool IsMat(const std::string& ext) { return ext == "mat" || ext == "iff" || ext == "tga"; }
bool IsQtFormat(const std::string& ext) { return ext == "bmp" || ext == "png"; }

#if TESSAVOR_HAVE_QTGUI

void LoadWithQt(const std::string& fileName, TBitmap& bitmap) {
  QImageReader reader(QString::fromStdString(fileName));
  QImage image = reader.read();
  if (image.isNull()) {
    throw EInvalidGraphic("Cannot read picture \"" + fileName + "\": " + reader.errorString().toStdString());
  }
  if (image.format() == QImage::Format_Indexed8) {
    std::vector<TPaletteEntry> palette;
    for (QRgb c : image.colorTable()) {
      palette.push_back({static_cast<uint8_t>(qRed(c)), static_cast<uint8_t>(qGreen(c)), static_cast<uint8_t>(qBlue(c)), 0});
    }
    bitmap.SetPixelFormat(8);
    bitmap.SetSize(image.width(), image.height());
    bitmap.SetPalette(palette);
    for (int y = 0; y < image.height(); ++y) {
      const uchar* src = image.constScanLine(y);
      std::copy(src, src + image.width(), bitmap.ScanLine(y));
    }
    return;
  }
  image = image.convertToFormat(QImage::Format_RGB32);
  bitmap.SetPixelFormat(24);
  bitmap.SetSize(image.width(), image.height());
  for (int y = 0; y < image.height(); ++y) {
    const QRgb* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    uint8_t* dst = bitmap.ScanLine(y);
    for (int x = 0; x < image.width(); ++x, dst += 3) {
      dst[0] = static_cast<uint8_t>(qBlue(src[x]));
      dst[1] = static_cast<uint8_t>(qGreen(src[x]));
      dst[2] = static_cast<uint8_t>(qRed(src[x]));
    }
  }
}

void SaveWithQt(const std::string& fileName, const TBitmap& bitmap, const std::string& ext) {
  QImage image;
  if (bitmap.BitsPerPixel() == 8) {
    image = QImage(bitmap.Width(), bitmap.Height(), QImage::Format_Indexed8);
    QList<QRgb> table;
    for (const TPaletteEntry& e : bitmap.Palette()) table.push_back(qRgb(e.Red, e.Green, e.Blue));
    // Indices beyond the palette show black, as they do everywhere else in the program.
    while (table.size() < 256) table.push_back(qRgb(0, 0, 0));
    image.setColorTable(table);
    for (int y = 0; y < bitmap.Height(); ++y) {
      std::copy(bitmap.ScanLine(y), bitmap.ScanLine(y) + bitmap.Width(), image.scanLine(y));
    }
  } else {
    image = QImage(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
    for (int y = 0; y < bitmap.Height(); ++y) {
      QRgb* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
      for (int x = 0; x < bitmap.Width(); ++x) {
        uint8_t r, g, b;
        bitmap.GetRgb(x, y, r, g, b);
        dst[x] = qRgb(r, g, b);
      }
    }
  }
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, ext.c_str());
  if (!writer.write(image)) {
    throw EInvalidGraphic("Cannot write picture \"" + fileName + "\": " + writer.errorString().toStdString());
  }
  WriteFileAtomic(fileName, bytes.constData(), static_cast<size_t>(bytes.size()));
}

#else

[[noreturn]] void NoQt(const std::string& fileName) {
  throw EInvalidGraphic("\"" + fileName + "\": BMP and PNG pictures need the build with Qt");
}
void LoadWithQt(const std::string& fileName, TBitmap&) { NoQt(fileName); }
void SaveWithQt(const std::string& fileName, const TBitmap&, const std::string&) { NoQt(fileName); }

#endif

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
