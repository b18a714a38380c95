#pragma once
// Reads a picture file for display: the game's own formats through the core's picture
// registry (by extension), anything else through Qt's image readers. A file that cannot be
// read gives a null image.

#include <QImage>
#include <QString>

QImage LoadPictureFile(const QString& path);
