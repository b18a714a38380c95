#pragma once
// The records of a mesh as the game stores them in a model's VERT, VTNM, FVRT and FACE
// chunks and as the record files hold them (raw, no header, little-endian; this program
// only runs on little-endian machines, and the static_asserts pin the sizes). Readers of
// the record files that need no document (the tree builder) include only this.

#include <cstdint>
#include <string>

struct TPoint3 {
  float x, y, z;
};

// One corner of a face.
struct TFvrtRecord {
  int32_t Vert;  // index in VERT
  int32_t Vtnm;  // index in VTNM
  float Tx;      // texture u, 0 left .. 1 right
  float Ty;      // texture v, 0 bottom .. 1 top
};

// One polygon; its corners are FVRT records FirstFvrt .. FirstFvrt + FvrtCount - 1.
struct TFaceRecord {
  int32_t Vtnm;  // face normal, index in VTNM
  float D;       // plane distance: N.X + D = 0 for the points X of the face
  int32_t Mat;   // material id
  int32_t FirstFvrt;
  int32_t FvrtCount;
  int32_t Reserved1;   // carried unchanged; 0 on faces made in the editor
  uint32_t Reserved2;  // carried unchanged; kEditorReserved2 on faces made in the editor
};

static_assert(sizeof(TPoint3) == 12);
static_assert(sizeof(TFvrtRecord) == 16);
static_assert(sizeof(TFaceRecord) == 28);

// Records per array: a model never holds more of any kind.
constexpr int32_t MeshCapacity = 32769;
constexpr uint32_t kEditorReserved2 = 0x7F0096FF;

// The record file names in the home folder.
constexpr const char* kVertFile = "vert.kvt";
constexpr const char* kVtnmFile = "vtnm.kvt";
constexpr const char* kFvrtFile = "fvrt.kvt";
constexpr const char* kFaceFile = "face.kvt";
constexpr const char* kRadiFile = "radi.kvt";

// Every reader of the record files counts records the same way: the file's length divided
// by the record size, and a length that is not a whole number of records is a damaged file
// (a cut copy, a killed writer of another program), never a record with invented bytes.
// The text for such a file, "" for a sound one: "fvrt.kvt: 1588 bytes, not a whole number
// of 16-byte records (99 records and 4 bytes more)".
inline std::string PartialRecordText(const char* name, uint64_t bytes, uint64_t recordSize) {
  if (bytes % recordSize == 0) return {};
  return std::string(name) + ": " + std::to_string(bytes) + " bytes, not a whole number of " +
         std::to_string(recordSize) + "-byte records (" + std::to_string(bytes / recordSize) +
         " records and " + std::to_string(bytes % recordSize) + " bytes more)";
}
