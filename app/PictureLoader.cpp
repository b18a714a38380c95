#include "app/PictureLoader.h"

#include <QImageReader>

#include "images/Bitmap.h"
#include "images/PictureFormats.h"

QImage BitmapImage(const TBitmap& bitmap) {
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
  for (int y = 0; y < bitmap.Height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < bitmap.Width(); ++x) {
      uint8_t r, g, b;
      bitmap.GetRgb(x, y, r, g, b);
      row[x] = qRgb(r, g, b);
    }
  }
  return image;
}

QImage LoadPictureFile(const QString& path) {
  static const bool registered = [] {
    RegisterImageFormats();
    return true;
  }();
  (void)registered;
  const std::string name = path.toStdString();
  TPictureFormat format;
  if (FindPictureFormat(name, format)) {
    TBitmap bitmap;
    LoadPicture(name, bitmap);  // a damaged file raises its error for the error box
    return BitmapImage(bitmap);
  }
  QImageReader reader(path);
  reader.setDecideFormatFromContent(true);
  // The caps of every picture (images/Bitmap.h), checked from the header; Qt's own cap
  // (128 MB in Qt 6.4) would refuse pictures within them, so it is set above them (a 16-bit
  // picture is decoded at 8 bytes a pixel).
  const QSize size = reader.size();
  if (size.isValid() && (size.width() > kMaxBitmapSide || size.height() > kMaxBitmapSide ||
                         uint64_t(size.width()) * uint64_t(size.height()) * 4 > kMaxBitmapBytes))
    return {};
  QImageReader::setAllocationLimit(static_cast<int>((2 * kMaxBitmapBytes) >> 20) + 1);
  return reader.read();
}
