// The edited mesh the Blender add-on sends: hostile JSON through the parser, and what it
// takes through the records it makes, as a new model (no source file) and written back into
// a small model of our own. Besides not crashing, every model made must hold whole records
// that the JSON writer reads back.

#include <cstdint>
#include <string_view>
#include <vector>

#include "interchange/GameReady.h"
#include "interchange/ModelExchange.h"

namespace {

// FORM MESH with one vertex, no normals, corners or faces, and a radius: the source the
// fuzzed documents are written back into.
std::vector<uint8_t> SmallModel() {
  std::vector<uint8_t> b = {'F', 'O', 'R', 'M', 0, 0, 0, 60, 'M', 'E', 'S', 'H'};
  const auto chunk = [&](const char* id, std::vector<uint8_t> data) {
    b.insert(b.end(), id, id + 4);
    b.insert(b.end(), {0, 0, 0, static_cast<uint8_t>(data.size())});
    b.insert(b.end(), data.begin(), data.end());
  };
  chunk("VERT", std::vector<uint8_t>(12, 0));
  chunk("VTNM", {});
  chunk("FVRT", {});
  chunk("FACE", {});
  chunk("RADI", {0, 0, 0x80, 0x3F});
  return b;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  TEditedMesh mesh;
  try {
    mesh = ParseEditedMesh(text, "fuzz.json");
  } catch (const EModelExchange&) {
    return 0;
  }
  static const std::vector<uint8_t> source = SmallModel();
  TImportOptions options;
  for (const bool withSource : {false, true}) {
    try {
      const TEditedModel made = BuildEditedModel(
          mesh, withSource ? std::span<const uint8_t>(source) : std::span<const uint8_t>(), ".",
          options);
      (void)ModelMeshJson(made.Bytes, "made.iff");
    } catch (const EInterchange&) {
    } catch (const EModelExchange&) {}
  }
  return 0;
}
