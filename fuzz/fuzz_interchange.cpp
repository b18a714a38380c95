// The editor's side of a model import from hostile bytes: the scene the model reader's
// child process sends (interchange/SceneData.h) is checked, made game-ready (objects,
// faces rebuilt, the record arrays' capacity: interchange/GameReady.h), then built into a
// mesh with material numbers, normals and plane distances. Assimp itself reads files only in that
// child, where a crash or an endless loop ends in a message (util/Isolate.h).
#include <cstdint>
#include <string>
#include <string_view>

#include "interchange/GameReady.h"
#include "interchange/SceneData.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string name = "fuzz.obj";
  try {
    TGatheredScene scene =
        DecodeScene(std::string_view(reinterpret_cast<const char*>(data), size), name);
    TImportReport report;
    report.FileName = name;
    TImportOptions options;
    options.FirstNewMat = scene.Meshes;  // any number, so that the fuzzer reaches the limits
    // The first object when the scene names any, as --object does.
    if (!scene.Objects.empty() && (size & 1)) options.Objects.push_back(scene.Objects.front());
    PrepareScene(scene, options, report);
    const TImportedMesh mesh = BuildImportedMesh(scene, options, report);
    (void)report.Text();
  } catch (const Exception&) {
    // Malformed scenes and meshes the editor refuses are errors with a message.
  }
  return 0;
}
