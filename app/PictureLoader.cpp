#include "app/PictureLoader.h"

#include <QImageReader>

QImage LoadPictureFile(const QString& path) {
  QImageReader reader(path);
  reader.setDecideFormatFromContent(true);
  return reader.read();
}
