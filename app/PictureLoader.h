#pragma once
// Reads a picture file for display: the game's own formats through the core's picture
// registry (by extension), anything else through Qt's image readers. A file of a registered
// format that is damaged raises the format's error; other unreadable files give a null image.

#include <QImage>
#include <QString>

QImage LoadPictureFile(const QString& path);

class TBitmap;
// A core picture as an RGB image.
QImage BitmapImage(const TBitmap& bitmap);
