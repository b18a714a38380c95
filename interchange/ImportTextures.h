#pragma once
// The pictures of an imported model's materials into the material folder, where the viewers
// and the game look for them: for each numbered material with a picture (embedded in the
// file, or a file the model names, looked for under the model's folder), "<8 digits>.mat"
// through the program's own MAT writer (palette reduced as it does) and "<8 digits>.bmp"
// (24 bits) for the lists that take ".bmp". A number that already has a texture in the folder
// (any of ".gct", ".mat", ".bmp") keeps it unless ReplaceTextures. Every texture written or
// kept, and every picture that could not be read, is a line of the report; none of it stops
// the import, which has been committed before.

#include <string>

#include "images/Bitmap.h"
#include "interchange/Interchange.h"
#include "interchange/SceneData.h"

// Takes the pictures of `scene`'s materials, numbered as `report` lists them, into `mesh`.
void AttachTextures(TImportedMesh& mesh, const TGatheredScene& scene, const TImportReport& report,
                    const std::string& modelPath);

// An uncompressed 24-bit BMP of `bitmap` (8-bit pictures through their palette).
std::string EncodeBmp24(const TBitmap& bitmap);
