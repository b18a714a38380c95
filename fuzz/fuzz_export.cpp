// The export path on hostile input, without Assimp (which writes only in the model
// writer's child process):
//  - the bytes as a document's record arrays: the export scene is built from them (faces
//    with corner runs anywhere, indices out of range, any float), goes through its bytes
//    for the model writer and back unchanged, and our OBJ writer writes it;
//  - the bytes as a scene for the model writer: refused with a message, or written;
//  - the bytes as the editor's settings file, for the material folder.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "interchange/ExportScene.h"
#include "interchange/ObjWriter.h"
#include "util/IniValue.h"

namespace {

template <typename T>
int32_t FillArray(const uint8_t*& data, size_t& size, T* out, int32_t want) {
  const auto n =
      static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(want), size / sizeof(T)));
  if (n > 0) std::memcpy(out, data, static_cast<size_t>(n) * sizeof(T));
  data += static_cast<size_t>(n) * sizeof(T);
  size -= static_cast<size_t>(n) * sizeof(T);
  return n;
}

void ExportDocument(const uint8_t* data, size_t size) {
  if (size < 5) return;
  const auto& table = ExportFormatTable();
  const TExportFormat& format = table[data[0] % table.size()];
  const bool zUp = (data[0] & 0x80) != 0;
  // The share of the bytes each array takes (at most 255 records each: small, fast runs).
  const int32_t counts[4] = {data[1], data[2], data[3], data[4]};
  data += 5;
  size -= 5;
  static TMeshDocument doc;
  doc.ShowData = false;
  doc.Clear();
  doc.NumVert = FillArray(data, size, doc.VERT.get(), counts[0]);
  doc.NumVtnm = FillArray(data, size, doc.VTNM.get(), counts[1]);
  doc.NumFvrt = FillArray(data, size, doc.FVRT.get(), counts[2]);
  doc.NumFace = FillArray(data, size, doc.FACE.get(), counts[3]);
  TExportOptions options;
  options.MaterialFolder = "/nonexistent-fuzz-folder/";
  options.ZUp = zUp;
  TExportReport report;
  try {
    TExportScene scene = BuildExportScene(doc, format, options, report);
    scene.FileName = "fuzz.out";
    const std::string bytes = EncodeExportScene(scene);
    const TExportScene back = DecodeExportScene(bytes);
    if (EncodeExportScene(back) != bytes) __builtin_trap();
    (void)ObjModelText(back, scene.FileName, true);
    (void)ObjLibraryText(back);
    (void)report.Text();
  } catch (const EInterchange&) {
    // A mesh past the corners an export carries: refused with a message.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ExportDocument(data, size);
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const TExportScene scene = DecodeExportScene(text);
    (void)ObjModelText(scene, scene.FileName, true);
  } catch (const EInterchange&) {}
  (void)IniTextValue(text, "qorvex", "MatPath");
  return 0;
}
