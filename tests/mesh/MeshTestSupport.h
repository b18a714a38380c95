#pragma once
// Helpers for the mesh tests: record files written byte by byte, and small documents.

#include <cstring>
#include <string>
#include <vector>

#include "mesh/MeshDocument.h"
#include "support/TestSupport.h"

namespace meshtest {

using testsupport::Bytes;

inline Bytes VertBytes(const std::vector<TPoint3>& pts) {
  Bytes b;
  for (const TPoint3& p : pts) {
    testsupport::PutF32(b, p.x);
    testsupport::PutF32(b, p.y);
    testsupport::PutF32(b, p.z);
  }
  return b;
}

inline Bytes FvrtBytes(const std::vector<TFvrtRecord>& recs) {
  Bytes b;
  for (const TFvrtRecord& r : recs) {
    testsupport::PutU32(b, static_cast<uint32_t>(r.Vert));
    testsupport::PutU32(b, static_cast<uint32_t>(r.Vtnm));
    testsupport::PutF32(b, r.Tx);
    testsupport::PutF32(b, r.Ty);
  }
  return b;
}

inline Bytes FaceBytes(const std::vector<TFaceRecord>& recs) {
  Bytes b;
  for (const TFaceRecord& f : recs) {
    testsupport::PutU32(b, static_cast<uint32_t>(f.Vtnm));
    testsupport::PutF32(b, f.D);
    testsupport::PutU32(b, static_cast<uint32_t>(f.Mat));
    testsupport::PutU32(b, static_cast<uint32_t>(f.FirstFvrt));
    testsupport::PutU32(b, static_cast<uint32_t>(f.FvrtCount));
    testsupport::PutU32(b, static_cast<uint32_t>(f.Reserved1));
    testsupport::PutU32(b, f.Reserved2);
  }
  return b;
}

inline Bytes RadiBytes(float r) {
  Bytes b;
  testsupport::PutF32(b, r);
  return b;
}

inline TFaceRecord Face(int32_t first, int32_t count, int32_t mat = 0, float d = 0.0f) {
  return TFaceRecord{0, d, mat, first, count, 0, kEditorReserved2};
}

inline uint32_t Bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
}

// A home folder with record files; each Write* replaces one file.
class THomeFiles {
public:
  const testsupport::TempDir& Dir() const { return m_dir; }
  std::string File(const char* name) const { return m_dir.File(name); }
  void WriteVert(const Bytes& b) const { testsupport::WriteBytes(File(kVertFile), b); }
  void WriteVtnm(const Bytes& b) const { testsupport::WriteBytes(File(kVtnmFile), b); }
  void WriteFvrt(const Bytes& b) const { testsupport::WriteBytes(File(kFvrtFile), b); }
  void WriteFace(const Bytes& b) const { testsupport::WriteBytes(File(kFaceFile), b); }
  void WriteRadi(const Bytes& b) const { testsupport::WriteBytes(File(kRadiFile), b); }
  // Four empty record files and no radius file.
  void WriteEmpty() const {
    WriteVert({});
    WriteVtnm({});
    WriteFvrt({});
    WriteFace({});
  }

private:
  testsupport::TempDir m_dir;
};

}  // namespace meshtest
