// Load of the record files from hostile bytes, then the tools that follow indices stored in
// the records (Calc VTNM, CALC D, OBJ text, list lines of faces). Input layout: four
// little-endian uint16 sizes for vert.kvt, vtnm.kvt, fvrt.kvt and face.kvt (each cut to
// the bytes left), the four files' bytes, and whatever remains as radi.kvt.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "mesh/MeshDocument.h"
#include "mesh/Normals.h"
#include "mesh/ObjExport.h"
#include "util/Exception.h"

namespace {

const std::string& Home() {
  static const std::string home = [] {
    const std::string dir = (std::filesystem::temp_directory_path() /
                             ("tessavor-fuzz-recordfiles-" + std::to_string(::getpid())))
                                .string();
    std::filesystem::create_directories(dir);
    setenv("TESSAVOR_HOME", dir.c_str(), 1);
    return dir + "/";
  }();
  return home;
}

void Put(const char* name, const uint8_t* data, size_t size) {
  std::ofstream f(Home() + name, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TMeshDocument doc;
  Home();
  size_t sizes[4] = {0, 0, 0, 0};
  size_t pos = 0;
  for (size_t& s : sizes) {
    if (size - pos >= 2) {
      s = size_t{data[pos]} | (size_t{data[pos + 1]} << 8);
      pos += 2;
    }
  }
  const char* names[4] = {kVertFile, kVtnmFile, kFvrtFile, kFaceFile};
  for (int i = 0; i < 4; ++i) {
    const size_t n = sizes[i] < size - pos ? sizes[i] : size - pos;
    Put(names[i], data + pos, n);
    pos += n;
  }
  if (pos < size)
    Put(kRadiFile, data + pos, size - pos);
  else
    std::filesystem::remove(Home() + kRadiFile);

  try {
    doc.LoadRecordFiles();
    CalcDRecords(doc);
    const std::string obj = ObjText(doc);
    if (obj.empty()) std::abort();
    CalcVtnmRecords(doc);
    for (int32_t f = 0; f < doc.NumFace; ++f) (void)TMeshDocument::FaceLineText(doc.FACE[f]);
  } catch (const Exception&) {
    // A full array is a clear error, not a fault.
  }
  return 0;
}
