// ASC import from hostile text: parse, apply to a document, then the tools that follow the
// corner numbers it stores as they stand (Calc VTNM, OBJ text).
#include <cstdint>
#include <string_view>

#include "mesh/AscImport.h"
#include "mesh/Normals.h"
#include "mesh/ObjExport.h"
#include "util/Exception.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TMeshDocument doc;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const TAscMesh mesh = ParseAsc(text, "fuzz.asc");
    ApplyAsc(doc, mesh, 70000);
    CalcVtnmRecords(doc);
    (void)ObjText(doc);
  } catch (const Exception&) {
    // Numbers that do not parse and too many records are errors with a message.
  }
  return 0;
}
