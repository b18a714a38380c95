#include "plugins/bsp/BspMesh.h"

#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "util/FileIo.h"
#include "util/Paths.h"

namespace bsp {

namespace {

template <typename T>
std::vector<T> DecodeArray(const std::vector<uint8_t>& bytes, const char* what,
                           const char* fileName) {
  static_assert(std::is_trivially_copyable_v<T>);
  // Counted as the editor's Load and "check" count: a part of a record is a damaged file.
  if (const std::string partial = PartialRecordText(fileName, bytes.size(), sizeof(T));
      !partial.empty()) {
    throw EBspError(kBspRecordFiles, "Record file " + partial);
  }
  const size_t count = bytes.size() / sizeof(T);
  if (count > static_cast<size_t>(MeshCapacity)) {
    throw EBspError(kBspTooLarge, std::string(what) + " holds " + std::to_string(count) +
                                      " records, more than " + std::to_string(MeshCapacity));
  }
  std::vector<T> out(count);
  if (count > 0) std::memcpy(out.data(), bytes.data(), count * sizeof(T));
  return out;
}

// Reads one record file, refusing sizes beyond what its array can hold before reading.
std::vector<uint8_t> ReadRecordFile(const std::string& name, size_t recordSize) {
  const std::string path = HomeFile(name);
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) {
    throw EBspError(kBspRecordFiles, "Cannot read record file \"" + path + "\": " + ec.message());
  }
  if (size / recordSize > static_cast<uintmax_t>(MeshCapacity)) {
    throw EBspError(kBspTooLarge, "Record file \"" + path + "\" holds more than " +
                                      std::to_string(MeshCapacity) + " records");
  }
  try {
    return ReadWholeFile(path);
  } catch (const Exception& e) {
    throw EBspError(kBspRecordFiles, e.Message());
  }
}

}  // namespace

TMesh DecodeRecords(const std::vector<uint8_t>& vert, const std::vector<uint8_t>& vtnm,
                    const std::vector<uint8_t>& fvrt, const std::vector<uint8_t>& face) {
  TMesh mesh;
  mesh.Vert = DecodeArray<TPoint3>(vert, "VERT", kVertFile);
  mesh.Vtnm = DecodeArray<TPoint3>(vtnm, "VTNM", kVtnmFile);
  mesh.Fvrt = DecodeArray<TFvrtRecord>(fvrt, "FVRT", kFvrtFile);
  mesh.Face = DecodeArray<TFaceRecord>(face, "FACE", kFaceFile);
  return mesh;
}

TMesh ReadRecordFiles() {
  std::string home;
  try {
    home = HomeFolder();
  } catch (const Exception& e) {
    throw EBspError(kBspRecordFiles, e.Message());
  }
  const auto vert = ReadRecordFile(kVertFile, sizeof(TPoint3));
  const auto vtnm = ReadRecordFile(kVtnmFile, sizeof(TPoint3));
  const auto fvrt = ReadRecordFile(kFvrtFile, sizeof(TFvrtRecord));
  const auto face = ReadRecordFile(kFaceFile, sizeof(TFaceRecord));
  TMesh mesh = DecodeRecords(vert, vtnm, fvrt, face);

  // The radius file is written only by a rip, so it may be missing or stale-sized;
  // a computed radius is a better default for a game model than a fixed 1.0.
  mesh.Radius = BoundingRadius(mesh);
  std::error_code ec;
  const std::string radi = home + kRadiFile;
  const uintmax_t radiBytes =
      std::filesystem::is_regular_file(radi, ec) ? std::filesystem::file_size(radi, ec) : 0;
  if (const std::string partial = PartialRecordText(kRadiFile, ec ? 0 : radiBytes, 4);
      !partial.empty()) {
    throw EBspError(kBspRecordFiles, "Record file " + partial);
  }
  if (!ec && radiBytes >= 4) {
    try {
      const auto bytes = ReadWholeFile(radi);
      if (bytes.size() >= 4) std::memcpy(&mesh.Radius, bytes.data(), 4);
    } catch (const Exception&) {
      // Unreadable radius: keep the computed one, as the editor keeps going without it.
    }
  }
  return mesh;
}

void ValidateMesh(const TMesh& mesh) {
  if (mesh.Face.empty()) throw EBspError(kBspMeshEmpty, "The mesh has no faces");
  if (mesh.Vert.empty()) throw EBspError(kBspMeshEmpty, "The mesh has no vertices");
  const int64_t numFvrt = static_cast<int64_t>(mesh.Fvrt.size());
  const int64_t numVert = static_cast<int64_t>(mesh.Vert.size());
  for (size_t f = 0; f < mesh.Face.size(); ++f) {
    const TFaceRecord& face = mesh.Face[f];
    const int64_t first = face.FirstFvrt;
    const int64_t count = face.FvrtCount;
    if (first < 0 || count < 0 || count > numFvrt - first) {
      throw EBspError(kBspInconsistent, "FACE " + std::to_string(f) + ": corners " +
                                            std::to_string(first) + " + " + std::to_string(count) +
                                            " lie outside FVRT (" + std::to_string(numFvrt) +
                                            " records)");
    }
    for (int64_t c = first; c < first + count; ++c) {
      const int64_t v = mesh.Fvrt[static_cast<size_t>(c)].Vert;
      if (v < 0 || v >= numVert) {
        throw EBspError(kBspInconsistent, "FVRT " + std::to_string(c) + " of FACE " +
                                              std::to_string(f) + ": vertex " + std::to_string(v) +
                                              " does not exist (" + std::to_string(numVert) +
                                              " vertices)");
      }
    }
  }
}

float BoundingRadius(const TMesh& mesh) {
  double best = 0;
  for (const TPoint3& v : mesh.Vert) {
    const double r = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
    if (std::isfinite(r) && r > best) best = r;
  }
  return static_cast<float>(best);
}

}  // namespace bsp
