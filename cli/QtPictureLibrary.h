#pragma once
// BMP and PNG pictures for tessavor-cli through libtvqtimage.so, loaded from the program
// folder on the first use (see cli/qtimage/QtPictures.h for why it is a library of its own).
// A build without Qt, or a program folder without the library, refuses those pictures with
// an EInvalidGraphic that says so.

#include <string>

#include "images/Bitmap.h"

void LoadWithQt(const std::string& fileName, TBitmap& bitmap);
// Encodes `bitmap` as `ext` ("bmp" or "png") and writes it crash-safely to fileName.
void SaveWithQt(const std::string& fileName, const TBitmap& bitmap, const std::string& ext);
