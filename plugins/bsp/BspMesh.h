#pragma once
// The tree builder's view of the mesh: the four record arrays (the editor's record types)
// and the radius, exactly as the record files hold them (raw little-endian records, no header),
// read from the home folder by the program's rule (util/Paths.h).
//
// The builder lives outside the editor, so it reads the record files itself instead of
// going through the editor's document (its list lines, live drawing and fixed arrays are
// of no use here).
//
// Reading rules, chosen to be strict where the geometry depends on it and lenient where
// the editor is lenient:
//  - vert.kvt, vtnm.kvt, fvrt.kvt and face.kvt must exist (missing -> EBspRecordFiles).
//  - A file that is not a whole number of records is refused (EBspRecordFiles with
//    PartialRecordText), as the editor's Load and "check" refuse it.
//  - radi.kvt is optional: its first 4 bytes are the radius; when it is missing or
//    empty, the radius is the largest distance of a vertex from the origin.
//  - A file with more records than an array of the editor can hold (32,769) is refused
//    before anything is allocated for it (EBspTooLarge).
//  - Face corner ranges and corner vertex indices are checked (EBspInconsistent): the
//    geometry cannot be computed without them. Normal indices are not checked here; the
//    builder reads a normal only when it is in range.

#include <cstdint>
#include <string>
#include <vector>

#include "mesh/Records.h"
#include "util/Exception.h"

namespace bsp {

struct TMesh {
  std::vector<TPoint3> Vert;
  std::vector<TPoint3> Vtnm;
  std::vector<TFvrtRecord> Fvrt;
  std::vector<TFaceRecord> Face;
  float Radius = 1.0f;
};

// Result codes of generate_bsp_tree, one per kind of failure (see GenerateBspTree.h).
enum TBspResult : int32_t {
  kBspOk = 0,
  kBspRecordFiles = 1,   // a record file is missing or unreadable
  kBspMeshEmpty = 2,     // no face or no vertex
  kBspScriptWrite = 3,   // the script cannot be written
  kBspInconsistent = 4,  // a face or corner names a record that does not exist
  kBspTooLarge = 5,      // input or tree's mesh beyond 32,769 records in an array
  kBspBadName = 6,       // the output file's name cannot be written in a script statement
  kBspInternal = 7,      // anything else (out of memory)
};

// An error of the builder with the result code it maps to.
class EBspError : public Exception {
public:
  EBspError(int32_t code, const std::string& message) : Exception(message), m_code(code) {}
  int32_t Code() const { return m_code; }
  const char* ClassName() const noexcept override { return "EBspError"; }

private:
  int32_t m_code;
};

// Decodes the four record arrays from raw file contents (radius: see ReadRecordFiles).
// Raises EBspError (kBspTooLarge) for more records than MeshCapacity.
TMesh DecodeRecords(const std::vector<uint8_t>& vert, const std::vector<uint8_t>& vtnm,
                    const std::vector<uint8_t>& fvrt, const std::vector<uint8_t>& face);

// Reads the five record files from the home folder. Raises EBspError with
// kBspRecordFiles or kBspTooLarge.
TMesh ReadRecordFiles();

// Checks what the builder relies on: every face's corner range lies inside FVRT, every
// corner of a face names an existing vertex, and there is at least one face and one
// vertex. Raises EBspError with kBspMeshEmpty or kBspInconsistent naming the record.
void ValidateMesh(const TMesh& mesh);

// Largest distance of a vertex from the origin (0 for no vertex; non-finite vertices
// are skipped).
float BoundingRadius(const TMesh& mesh);

}  // namespace bsp
