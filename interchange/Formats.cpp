// The formats Assimp reads.
#include "interchange/Interchange.h"

#include <assimp/importerdesc.h>
#include <algorithm>
#include <assimp/Importer.hpp>

std::vector<TFormatInfo> ImportFormats() {
  Assimp::Importer importer;
  std::vector<TFormatInfo> formats;
  for (size_t i = 0; i < importer.GetImporterCount(); ++i) {
    const aiImporterDesc* d = importer.GetImporterInfo(i);
    if (!d || !d->mFileExtensions) continue;
    // A space-separated list ("gltf glb").
    std::string list = d->mFileExtensions;
    size_t pos = 0;
    while (pos < list.size()) {
      const size_t end = std::min(list.find(' ', pos), list.size());
      std::string ext = list.substr(pos, end - pos);
      std::transform(ext.begin(), ext.end(), ext.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      if (!ext.empty()) formats.push_back({"", ext, d->mName ? d->mName : ""});
      pos = end + 1;
    }
  }
  std::stable_sort(formats.begin(), formats.end(), [](const TFormatInfo& a, const TFormatInfo& b) {
    return a.Extension < b.Extension;
  });
  formats.erase(std::unique(formats.begin(), formats.end(),
                            [](const TFormatInfo& a, const TFormatInfo& b) {
                              return a.Extension == b.Extension;
                            }),
                formats.end());
  return formats;
}
