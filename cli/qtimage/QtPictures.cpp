#include "cli/qtimage/QtPictures.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#define TV_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

int Fail(const std::string& text, char* error, size_t errorSize) {
  if (error && errorSize > 0) {
    const size_t n = std::min(text.size(), errorSize - 1);
    std::memcpy(error, text.data(), n);
    error[n] = '\0';
  }
  return 1;
}

}  // namespace

TV_EXPORT int tv_qt_read_picture(const char* fileName, uint64_t maxPixelBytes, TQtPicture* picture,
                                 char* error, size_t errorSize) {
  try {
    *picture = TQtPicture{};
    QImageReader reader(QString::fromUtf8(fileName));
    // The caps (16,384 pixels a side, maxPixelBytes at 4 bytes a pixel) are checked from the
    // header first; Qt's own cap (128 MB in Qt 6.4) would refuse pictures within them, so it
    // is set above them (a 16-bit picture is decoded at 8 bytes a pixel).
    constexpr int kMaxSide = 16384;
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > kMaxSide || size.height() > kMaxSide ||
                           uint64_t(size.width()) * uint64_t(size.height()) * 4 > maxPixelBytes)) {
      return Fail("Cannot read picture \"" + std::string(fileName) + "\": " +
                      std::to_string(size.width()) + " x " + std::to_string(size.height()) +
                      " pixels is too large (at most 16384 a side and " +
                      std::to_string(maxPixelBytes >> 20) + " MiB at 4 bytes a pixel)",
                  error, errorSize);
    }
    QImageReader::setAllocationLimit(static_cast<int>((2 * maxPixelBytes) >> 20) + 1);
    QImage image = reader.read();
    if (image.isNull()) {
      return Fail("Cannot read picture \"" + std::string(fileName) +
                      "\": " + reader.errorString().toStdString(),
                  error, errorSize);
    }
    const bool indexed = image.format() == QImage::Format_Indexed8;
    if (!indexed) image = image.convertToFormat(QImage::Format_RGB32);
    const uint64_t w = static_cast<uint64_t>(image.width());
    const uint64_t h = static_cast<uint64_t>(image.height());
    const uint64_t bytes = w * h * (indexed ? 1 : 3);
    if (bytes > maxPixelBytes) {
      return Fail("Cannot read picture \"" + std::string(fileName) + "\": " + std::to_string(w) +
                      " x " + std::to_string(h) + " pixels is too large",
                  error, errorSize);
    }
    auto* pixels = static_cast<uint8_t*>(std::malloc(bytes ? bytes : 1));
    if (!pixels)
      return Fail("Out of memory reading \"" + std::string(fileName) + "\"", error, errorSize);
    picture->Width = image.width();
    picture->Height = image.height();
    picture->Pixels = pixels;
    if (indexed) {
      picture->BitsPerPixel = 8;
      const QList<QRgb> table = image.colorTable();
      picture->PaletteCount = static_cast<int32_t>(std::min<qsizetype>(table.size(), 256));
      for (int32_t i = 0; i < picture->PaletteCount; ++i) {
        picture->Palette[i][0] = static_cast<uint8_t>(qRed(table[i]));
        picture->Palette[i][1] = static_cast<uint8_t>(qGreen(table[i]));
        picture->Palette[i][2] = static_cast<uint8_t>(qBlue(table[i]));
      }
      for (int y = 0; y < image.height(); ++y) {
        std::memcpy(pixels + static_cast<size_t>(y) * w, image.constScanLine(y), w);
      }
    } else {
      picture->BitsPerPixel = 24;
      uint8_t* dst = pixels;
      for (int y = 0; y < image.height(); ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (uint64_t x = 0; x < w; ++x, dst += 3) {
          dst[0] = static_cast<uint8_t>(qBlue(src[x]));
          dst[1] = static_cast<uint8_t>(qGreen(src[x]));
          dst[2] = static_cast<uint8_t>(qRed(src[x]));
        }
      }
    }
    return 0;
  } catch (const std::exception& e) {
    std::free(picture->Pixels);
    *picture = TQtPicture{};
    return Fail("Cannot read picture \"" + std::string(fileName) + "\": " + e.what(), error,
                errorSize);
  }
}

TV_EXPORT int tv_qt_encode_picture(const TQtPicture* picture, const char* format, uint8_t** bytes,
                                   size_t* size, char* error, size_t errorSize) {
  *bytes = nullptr;
  *size = 0;
  try {
    QImage image;
    const int w = picture->Width, h = picture->Height;
    if (picture->BitsPerPixel == 8) {
      image = QImage(w, h, QImage::Format_Indexed8);
      QList<QRgb> table;
      const int32_t count = std::clamp<int32_t>(picture->PaletteCount, 0, 256);
      for (int32_t i = 0; i < count; ++i) {
        table.push_back(
            qRgb(picture->Palette[i][0], picture->Palette[i][1], picture->Palette[i][2]));
      }
      // Indices beyond the palette show black, as they do everywhere else in the program.
      while (table.size() < 256) table.push_back(qRgb(0, 0, 0));
      image.setColorTable(table);
      for (int y = 0; y < h; ++y) {
        std::memcpy(image.scanLine(y), picture->Pixels + static_cast<size_t>(y) * w,
                    static_cast<size_t>(w));
      }
    } else if (picture->BitsPerPixel == 24) {
      image = QImage(w, h, QImage::Format_RGB32);
      const uint8_t* src = picture->Pixels;
      for (int y = 0; y < h; ++y) {
        QRgb* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x, src += 3) dst[x] = qRgb(src[2], src[1], src[0]);
      }
    } else {
      return Fail(
          "Cannot write " + std::to_string(picture->BitsPerPixel) + "-bit pictures as " + format,
          error, errorSize);
    }
    if (w > 0 && h > 0 && image.isNull())
      return Fail("Out of memory encoding the picture", error, errorSize);
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image)) return Fail(writer.errorString().toStdString(), error, errorSize);
    auto* out = static_cast<uint8_t*>(
        std::malloc(encoded.size() ? static_cast<size_t>(encoded.size()) : 1));
    if (!out) return Fail("Out of memory encoding the picture", error, errorSize);
    std::memcpy(out, encoded.constData(), static_cast<size_t>(encoded.size()));
    *bytes = out;
    *size = static_cast<size_t>(encoded.size());
    return 0;
  } catch (const std::exception& e) {
    return Fail(e.what(), error, errorSize);
  }
}

TV_EXPORT void tv_qt_free(void* memory) { std::free(memory); }
