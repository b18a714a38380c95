// Model import through Assimp from hostile bytes: the first byte picks the format Assimp
// tries first, the rest is the file. Everything our side does with Assimp's scene (node
// walk, index checks, capacity checks, normals, material numbers) runs on what it returns.
#include <cstdint>
#include <string>

#include "interchange/Interchange.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kHints[] = {"obj", "ply", "stl", "gltf", "glb",
                                       "dae", "3ds", "ase", "fbx"};
  if (size < 2) return 0;
  const std::string hint = kHints[data[0] % (sizeof kHints / sizeof kHints[0])];
  try {
    TImportReport report;
    const TImportedMesh mesh = ReadModelFromMemory(data + 1, size - 1, hint, {}, report);
    (void)report.Text();
  } catch (const Exception&) {
    // Files Assimp refuses and meshes we refuse are errors with a message.
  }
  return 0;
}
