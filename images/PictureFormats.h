#pragma once
// The picture formats of the program by file extension: the core's stand-in for a
// picture-loading layer that picks an image class by extension. RegisterImageFormats()
// runs at program start and registers, in this order,
//   "lif"  "Layered Image Format (Drevanth)"  TLifGraphic
//   "mat"  "Halcyra MAT"                       TMATGraphic
//   "iff"  "Halcyra MAT"                       TMATGraphic
//   "tga"  "Halcyra MAT"                       TMATGraphic  (a .tga file is read as MAT)
// (MAT pictures take their named palettes from the program folder's "pal/");
// UnregisterImageFormats() undoes that at program end. Other extensions (bmp, png) are not the
// core's business: the window layer and the command line hand them to Qt's image readers.
// Extensions are compared without regard to case and without the dot.

#include <functional>
#include <string>
#include <vector>

#include "images/Bitmap.h"

struct TPictureFormat {
  std::string Extension;    // "lif"
  std::string Description;  // shown in file dialogs
  std::function<void(const std::string& fileName, TBitmap& bitmap)> Load;
  std::function<void(const std::string& fileName, TBitmap& bitmap)> Save;
};

void RegisterPictureFormat(TPictureFormat format);
void UnregisterPictureFormat(const std::string& extension);
// In registration order.
std::vector<TPictureFormat> PictureFormats();
// The format for a file name's extension; false when none is registered.
bool FindPictureFormat(const std::string& fileName, TPictureFormat& format);

void RegisterImageFormats();
void UnregisterImageFormats();

// Loads a picture through the format of its extension. EInvalidGraphic
// "Unknown picture file extension (.xyz)" when none is registered.
void LoadPicture(const std::string& fileName, TBitmap& bitmap);

// The extension of a file name without the dot, lower case ("" when there is none).
std::string PictureExtension(const std::string& fileName);
