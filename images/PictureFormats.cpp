#include "images/PictureFormats.h"

#include <algorithm>
#include <cctype>
#include <mutex>

#include "images/LifGraphic.h"
#include "images/MatGraphic.h"

namespace {

// One registry for the process, as picture loading by extension is the process's: formats
// are registered at start (the window layer adds its own) and read by any thread, hence the
// lock.
std::mutex g_lock;
std::vector<TPictureFormat> g_formats;

// The loaders fill a picture class of their own and hand its pixels to the caller's bitmap.
void LoadLif(const std::string& fileName, TBitmap& bitmap) {
  TLifGraphic lif;
  lif.LoadFromFile(fileName);
  bitmap = lif;
}

void SaveLif(const std::string& fileName, TBitmap& bitmap) {
  TLifGraphic lif;
  static_cast<TBitmap&>(lif) = bitmap;
  lif.SaveToFile(fileName);
}

void LoadMat(const std::string& fileName, TBitmap& bitmap) {
  TMATGraphic mat;
  mat.LoadMatFile(fileName);
  bitmap = mat;
}

void SaveMat(const std::string& fileName, TBitmap& bitmap) {
  TMATGraphic mat;
  static_cast<TBitmap&>(mat) = bitmap;
  mat.SaveMatFile(fileName);
}

}  // namespace

std::string PictureExtension(const std::string& fileName) {
  const size_t slash = fileName.find_last_of("/\\");
  const size_t dot = fileName.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = fileName.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  return ext;
}

void RegisterPictureFormat(TPictureFormat format) {
  std::lock_guard<std::mutex> guard(g_lock);
  std::transform(format.Extension.begin(), format.Extension.end(), format.Extension.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  g_formats.push_back(std::move(format));
}

void UnregisterPictureFormat(const std::string& extension) {
  std::lock_guard<std::mutex> guard(g_lock);
  const std::string ext = PictureExtension("." + extension);
  std::erase_if(g_formats, [&](const TPictureFormat& f) { return f.Extension == ext; });
}

std::vector<TPictureFormat> PictureFormats() {
  std::lock_guard<std::mutex> guard(g_lock);
  return g_formats;
}

bool FindPictureFormat(const std::string& fileName, TPictureFormat& format) {
  const std::string ext = PictureExtension(fileName);
  std::lock_guard<std::mutex> guard(g_lock);
  for (const TPictureFormat& f : g_formats) {
    if (f.Extension == ext) {
      format = f;
      return true;
    }
  }
  return false;
}

void RegisterImageFormats() {
  RegisterPictureFormat({"lif", "Layered Image Format (Drevanth)", LoadLif, SaveLif});
  RegisterPictureFormat({"mat", "Halcyra MAT", LoadMat, SaveMat});
  RegisterPictureFormat({"iff", "Halcyra MAT", LoadMat, SaveMat});
  RegisterPictureFormat({"tga", "Halcyra MAT", LoadMat, SaveMat});
}

void UnregisterImageFormats() {
  for (const char* ext : {"lif", "mat", "iff", "tga"}) UnregisterPictureFormat(ext);
}

void LoadPicture(const std::string& fileName, TBitmap& bitmap) {
  TPictureFormat format;
  if (!FindPictureFormat(fileName, format)) {
    throw EInvalidGraphic("Unknown picture file extension (." + PictureExtension(fileName) + ")");
  }
  format.Load(fileName, bitmap);
}
