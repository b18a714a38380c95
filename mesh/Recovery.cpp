#include "mesh/Recovery.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "util/FileIo.h"
#include "util/Paths.h"
#include "util/Platform.h"

namespace {

constexpr char kMagic[8] = {'T', 'V', 'R', 'E', 'C', 'O', 'V', 1};
constexpr size_t kRecordSizes[4] = {sizeof(TPoint3), sizeof(TPoint3), sizeof(TFvrtRecord),
                                    sizeof(TFaceRecord)};
constexpr const char* kArrayNames[4] = {"VERT", "VTNM", "FVRT", "FACE"};
constexpr uint64_t kMaxRecoveryBytes =
    sizeof kMagic + 4 + kMaxRecoveryName + 4 + 16 +
    uint64_t{MeshCapacity} * (12 + 12 + sizeof(TFvrtRecord) + sizeof(TFaceRecord));

void Put(std::vector<uint8_t>& out, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  out.insert(out.end(), p, p + size);
}

// Reads from a bounded buffer; every read checks what is left first.
class TReader {
public:
  TReader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  size_t Left() const { return m_size - m_at; }
  void Take(void* out, size_t n, const char* what) {
    if (n > Left()) throw ERecovery(std::string("Recovery file ends inside ") + what);
    if (n > 0) std::memcpy(out, m_data + m_at, n);
    m_at += n;
  }
  const uint8_t* Skip(size_t n, const char* what) {
    if (n > Left()) throw ERecovery(std::string("Recovery file ends inside ") + what);
    const uint8_t* p = m_data + m_at;
    m_at += n;
    return p;
  }

private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_at = 0;
};

}  // namespace

std::vector<uint8_t> RecoveryBytes(const TMeshDocument& doc, const std::string& modelName) {
  const std::string name = modelName.substr(0, kMaxRecoveryName);
  const uint32_t counts[4] = {static_cast<uint32_t>(std::clamp(doc.NumVert, 0, MeshCapacity)),
                              static_cast<uint32_t>(std::clamp(doc.NumVtnm, 0, MeshCapacity)),
                              static_cast<uint32_t>(std::clamp(doc.NumFvrt, 0, MeshCapacity)),
                              static_cast<uint32_t>(std::clamp(doc.NumFace, 0, MeshCapacity))};
  std::vector<uint8_t> out;
  out.reserve(sizeof kMagic + 28 + name.size() + counts[0] * 12 + counts[1] * 12 +
              counts[2] * sizeof(TFvrtRecord) + counts[3] * sizeof(TFaceRecord));
  Put(out, kMagic, sizeof kMagic);
  const auto nameSize = static_cast<uint32_t>(name.size());
  Put(out, &nameSize, 4);
  Put(out, name.data(), name.size());
  Put(out, &doc.Radius, 4);
  Put(out, counts, sizeof counts);
  Put(out, doc.VERT.get(), counts[0] * sizeof(TPoint3));
  Put(out, doc.VTNM.get(), counts[1] * sizeof(TPoint3));
  Put(out, doc.FVRT.get(), counts[2] * sizeof(TFvrtRecord));
  Put(out, doc.FACE.get(), counts[3] * sizeof(TFaceRecord));
  return out;
}

TRecovery ParseRecovery(const uint8_t* data, size_t size) {
  TReader in(data, size);
  char magic[sizeof kMagic];
  in.Take(magic, sizeof magic, "its signature");
  if (std::memcmp(magic, kMagic, sizeof magic) != 0)
    throw ERecovery("Recovery file: not a recovery file of this program");
  uint32_t nameSize = 0;
  in.Take(&nameSize, 4, "the model name");
  if (nameSize > kMaxRecoveryName) {
    throw ERecovery("Recovery file: a model name of " + std::to_string(nameSize) +
                    " bytes (at most " + std::to_string(kMaxRecoveryName) + ")");
  }
  TRecovery r;
  const uint8_t* name = in.Skip(nameSize, "the model name");
  r.ModelName.assign(reinterpret_cast<const char*>(name), nameSize);
  in.Take(&r.Records.Radius, 4, "the radius");
  uint32_t counts[4];
  in.Take(counts, sizeof counts, "the record counts");
  for (int i = 0; i < 4; ++i) {
    if (counts[i] > uint32_t{MeshCapacity}) {
      throw ERecovery("Recovery file: " + std::to_string(counts[i]) + " " + kArrayNames[i] +
                      " records (at most " + std::to_string(MeshCapacity) + ")");
    }
  }
  for (int i = 0; i < 4; ++i) {
    const size_t bytes = size_t{counts[i]} * kRecordSizes[i];
    const uint8_t* p = in.Skip(bytes, kArrayNames[i]);
    r.Records.Arrays[static_cast<size_t>(i)] = ShareBlob(p, bytes, {});
  }
  if (in.Left() != 0) {
    throw ERecovery("Recovery file: " + std::to_string(in.Left()) + " bytes after the last record");
  }
  // The box and labels as Load makes them: the maximum starts at zero, the minimum at 10000.
  TPoint3 lo{10000.0f, 10000.0f, 10000.0f}, hi{0.0f, 0.0f, 0.0f};
  const auto& verts = *r.Records.Arrays[0];
  for (size_t i = 0; i < counts[0]; ++i) {
    TPoint3 p;
    std::memcpy(&p, verts.data() + i * sizeof p, sizeof p);
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
  }
  r.Records.BoxMin = lo;
  r.Records.BoxMax = hi;
  r.Records.SizeLabel = MakeSizeLabel(lo, hi);
  r.Records.RadiusLabel = MakeRadiusLabel(r.Records.Radius);
  return r;
}

void WriteRecoveryFile(const TMeshDocument& doc, const std::string& modelName) {
  const std::vector<uint8_t> bytes = RecoveryBytes(doc, modelName);
  WriteFileAtomic(HomeFile(kRecoveryFile), bytes.data(), bytes.size());
}

std::optional<TRecovery> ReadRecoveryFile() {
  if (!RecoveryFileExists()) return std::nullopt;
  const std::vector<uint8_t> bytes = ReadWholeFile(HomeFile(kRecoveryFile), kMaxRecoveryBytes);
  return ParseRecovery(bytes.data(), bytes.size());
}

bool RecoveryFileExists() {
  std::error_code ec;
  return std::filesystem::symlink_status(platform::ToPath(HomeFile(kRecoveryFile)), ec).type() !=
         std::filesystem::file_type::not_found;
}

void RemoveRecoveryFile() {
  std::error_code ec;
  std::filesystem::remove(platform::ToPath(HomeFile(kRecoveryFile)), ec);
}
