// Import through Assimp (see Interchange.h for the rules).
#include "interchange/Interchange.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <assimp/Importer.hpp>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "mesh/Materials.h"
#include "mesh/Normals.h"
#include "mesh/Vector.h"
#include "util/FileIo.h"
#include "util/Paths.h"

namespace {

// Assimp checks its own result (indices in range, counts consistent) before we see it;
// nothing else: polygons stay polygons and vertices stay per corner.
constexpr unsigned kImportFlags = aiProcess_ValidateDataStructure;

// A node graph is a tree in every importer, but the walk does not rely on it.
constexpr int64_t kMaxNodeVisits = 1000000;

// A material name or file stem that is a number. Leading zeros are padding (the material
// file rule pads to eight digits, "000000-5" included).
bool ParseMaterialNumber(std::string_view text, int32_t& mat) {
  if (text.empty()) return false;
  size_t zeros = 0;
  while (zeros < text.size() && text[zeros] == '0') ++zeros;
  text.remove_prefix(zeros);
  if (text.empty()) {
    mat = 0;
    return true;
  }
  int32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return false;
  mat = value;
  return true;
}

// The eight-digit stem of a texture path ("textures/00001001.png" -> 1001).
bool TextureFileNumber(std::string path, int32_t& mat) {
  const size_t slash = path.find_last_of("/\\");
  if (slash != std::string::npos) path.erase(0, slash + 1);
  const size_t dot = path.find('.');
  if (dot != std::string::npos) path.erase(dot);
  if (path.size() != 8) return false;
  for (char c : path) {
    if (c < '0' || c > '9') return false;
  }
  return ParseMaterialNumber(path, mat);
}

bool DiffuseTextureNumber(const aiScene& scene, const aiMaterial& material, int32_t& mat) {
  for (aiTextureType type : {aiTextureType_DIFFUSE, aiTextureType_BASE_COLOR}) {
    aiString path;
    if (material.GetTexture(type, 0, &path) != AI_SUCCESS) continue;
    if (TextureFileNumber(path.C_Str(), mat)) return true;
    // An embedded picture ("*0") may still carry the name it had.
    if (const aiTexture* texture = scene.GetEmbeddedTexture(path.C_Str())) {
      if (TextureFileNumber(texture->mFilename.C_Str(), mat)) return true;
    }
  }
  return false;
}

bool Finite(const aiVector3D& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

struct TPositionKey {
  uint32_t x, y, z;
  bool operator==(const TPositionKey&) const = default;
};
struct TPositionHash {
  size_t operator()(const TPositionKey& k) const {
    return (size_t{k.x} * 0x9E3779B97F4A7C15ull) ^ (size_t{k.y} * 0xC2B2AE3D27D4EB4Full) ^
           (size_t{k.z} + 0x165667B19E3779F9ull);
  }
};

class TSceneConverter {
public:
  TSceneConverter(const aiScene& scene, const TImportOptions& options, TImportReport& report)
      : m_scene(scene), m_options(options), m_report(report) {}

  TImportedMesh Run() {
    WalkNodes();
    if (m_faces.empty()) {
      std::string what = "has no polygons";
      if (m_report.SkippedPoints > 0 || m_report.SkippedLines > 0) {
        what += " (only " + std::to_string(m_report.SkippedPoints) + " points and " +
                std::to_string(m_report.SkippedLines) + " lines)";
      }
      Refuse(what);
    }
    CheckCapacity();
    MapMaterials();
    return Build();
  }

private:
  [[noreturn]] void Refuse(const std::string& what) const {
    throw EInterchange("\"" + m_report.FileName + "\" " + what + "; nothing was imported");
  }

  void WalkNodes() {
    if (!m_scene.mRootNode) return;
    std::vector<std::pair<const aiNode*, aiMatrix4x4>> stack{
        {m_scene.mRootNode, m_scene.mRootNode->mTransformation}};
    int64_t visits = 0;
    while (!stack.empty()) {
      if (++visits > kMaxNodeVisits)
        Refuse("has more than " + std::to_string(kMaxNodeVisits) + " nodes");
      const auto [node, transform] = stack.back();
      stack.pop_back();
      for (unsigned i = 0; i < node->mNumMeshes; ++i) {
        if (node->mMeshes[i] < m_scene.mNumMeshes)
          AddMesh(*m_scene.mMeshes[node->mMeshes[i]], transform);
      }
      // Children pushed in reverse, so meshes come in the file's depth-first order.
      for (unsigned i = node->mNumChildren; i-- > 0;) {
        const aiNode* child = node->mChildren[i];
        if (child) stack.push_back({child, transform * child->mTransformation});
      }
    }
  }

  void AddMesh(const aiMesh& mesh, const aiMatrix4x4& transform) {
    if (!mesh.HasPositions()) return;
    aiMatrix3x3 normalMatrix(transform);
    if (normalMatrix.Determinant() != 0.0f)
      normalMatrix = aiMatrix3x3(normalMatrix).Inverse().Transpose();
    const bool hasNormals = mesh.HasNormals();
    const bool hasUv = mesh.HasTextureCoords(0);
    bool any = false;
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      const aiFace& face = mesh.mFaces[f];
      if (face.mNumIndices == 1) ++m_report.SkippedPoints;
      if (face.mNumIndices == 2) ++m_report.SkippedLines;
      if (face.mNumIndices < 3) continue;
      any = true;
      const int64_t first = static_cast<int64_t>(m_corners.size());
      for (unsigned k = 0; k < face.mNumIndices; ++k) {
        const unsigned i = face.mIndices[k];
        if (i >= mesh.mNumVertices)
          Refuse("has a corner index " + std::to_string(i) + " past its mesh's vertices");
        const aiVector3D p = transform * mesh.mVertices[i];
        if (!Finite(p)) Refuse("has a vertex position that is not a finite number");
        TCorner c;
        c.Vert = VertIndex({p.x, p.y, p.z});
        if (hasUv) {
          const aiVector3D& uv = mesh.mTextureCoords[0][i];
          if (!std::isfinite(uv.x) || !std::isfinite(uv.y))
            Refuse("has a texture coordinate that is not a finite number");
          c.Tx = uv.x;
          c.Ty = uv.y;
        }
        if (hasNormals) {
          aiVector3D n = normalMatrix * mesh.mNormals[i];
          n.NormalizeSafe();
          c.Normal = {n.x, n.y, n.z};
        }
        m_corners.push_back(c);
      }
      m_faces.push_back({first, static_cast<int64_t>(face.mNumIndices), mesh.mMaterialIndex});
      if (m_firstUse.insert(mesh.mMaterialIndex).second)
        m_materialOrder.push_back(mesh.mMaterialIndex);
    }
    if (any) {
      ++m_report.Meshes;
      if (!hasNormals) m_missingNormals = true;
    }
  }

  int64_t VertIndex(const TPoint3& p) {
    TPositionKey key;
    std::memcpy(&key.x, &p.x, 4);
    std::memcpy(&key.y, &p.y, 4);
    std::memcpy(&key.z, &p.z, 4);
    const auto [it, added] = m_vertIndex.try_emplace(key, static_cast<int64_t>(m_verts.size()));
    if (added) m_verts.push_back(p);
    return it->second;
  }

  void CheckCapacity() const {
    const auto over = [](size_t n) { return n > static_cast<size_t>(MeshCapacity); };
    if (over(m_verts.size()) || over(m_corners.size()) || over(m_faces.size())) {
      Refuse("needs " + std::to_string(m_verts.size()) + " vertices, " +
             std::to_string(m_corners.size()) + " face corners and " +
             std::to_string(m_faces.size()) + " faces; the arrays hold at most " +
             std::to_string(MeshCapacity) + " records each");
    }
  }

  void MapMaterials() {
    std::unordered_map<unsigned, int32_t> known;
    std::unordered_set<int32_t> taken;
    for (unsigned index : m_materialOrder) {
      int32_t mat = 0;
      const aiMaterial* material =
          index < m_scene.mNumMaterials ? m_scene.mMaterials[index] : nullptr;
      if (material && (ParseMaterialNumber(material->GetName().C_Str(), mat) ||
                       DiffuseTextureNumber(m_scene, *material, mat))) {
        known[index] = mat;
        taken.insert(mat);
      }
    }
    int64_t next = m_options.FirstNewMat;
    for (unsigned index : m_materialOrder) {
      int32_t mat;
      if (const auto it = known.find(index); it != known.end()) {
        mat = it->second;
      } else {
        while (taken.count(static_cast<int32_t>(next)) && next < INT32_MAX) ++next;
        if (next > INT32_MAX)
          Refuse("has more materials than numbers are left above " +
                 std::to_string(m_options.FirstNewMat));
        mat = static_cast<int32_t>(next++);
        taken.insert(mat);
      }
      m_mats[index] = mat;
      const aiMaterial* material =
          index < m_scene.mNumMaterials ? m_scene.mMaterials[index] : nullptr;
      m_report.Materials.emplace_back(material ? material->GetName().C_Str() : "", mat);
    }
  }

  TImportedMesh Build() {
    // The document's arrays do the normal and plane work, so the import computes exactly
    // what "Calc VTNM" and "CALC D" would; it is a scratch document, not the user's.
    auto scratch = std::make_unique<TMeshDocument>();
    TMeshDocument& doc = *scratch;
    doc.ShowData = false;
    doc.NumVert = static_cast<int32_t>(m_verts.size());
    std::copy(m_verts.begin(), m_verts.end(), doc.VERT.get());
    doc.NumFvrt = static_cast<int32_t>(m_corners.size());
    for (size_t i = 0; i < m_corners.size(); ++i) {
      const TCorner& c = m_corners[i];
      doc.FVRT[i] = {static_cast<int32_t>(c.Vert), 0, c.Tx, c.Ty};
    }
    doc.NumFace = static_cast<int32_t>(m_faces.size());
    for (size_t i = 0; i < m_faces.size(); ++i) {
      const TFace& f = m_faces[i];
      doc.FACE[i] = {0,
                     0.0f,
                     m_mats[f.Material],
                     static_cast<int32_t>(f.First),
                     static_cast<int32_t>(f.Count),
                     0,
                     kEditorReserved2};
    }
    try {
      if (m_missingNormals) {
        m_report.NormalsComputed = true;
        CalcVtnmRecords(doc);
      } else {
        doc.NumVtnm = 0;
        TVtnmLookup lookup(doc);
        for (int32_t f = 0; f < doc.NumFace; ++f) {
          TVec4 n = FacePlaneNormal(doc, doc.FACE[f]);
          Negate(n, true, true, true);
          doc.FACE[f].Vtnm = lookup.FindOrAdd(ToPoint3(n));
        }
        for (int32_t r = 0; r < doc.NumFvrt; ++r)
          doc.FVRT[r].Vtnm = lookup.FindOrAdd(m_corners[static_cast<size_t>(r)].Normal);
      }
    } catch (const EMeshDocument&) {
      Refuse("needs more than " + std::to_string(MeshCapacity) + " distinct normals");
    }
    CalcDRecords(doc);

    TImportedMesh out;
    out.Verts.assign(doc.VERT.get(), doc.VERT.get() + doc.NumVert);
    out.Vtnms.assign(doc.VTNM.get(), doc.VTNM.get() + doc.NumVtnm);
    out.Fvrts.assign(doc.FVRT.get(), doc.FVRT.get() + doc.NumFvrt);
    out.Faces.assign(doc.FACE.get(), doc.FACE.get() + doc.NumFace);
    double farthest = 0.0;
    for (const TPoint3& p : out.Verts) {
      farthest = std::max(farthest, double{p.x} * p.x + double{p.y} * p.y + double{p.z} * p.z);
    }
    out.Radius = static_cast<float>(std::sqrt(farthest));
    m_report.NumVert = doc.NumVert;
    m_report.NumVtnm = doc.NumVtnm;
    m_report.NumFvrt = doc.NumFvrt;
    m_report.NumFace = doc.NumFace;
    return out;
  }

  struct TCorner {
    int64_t Vert = 0;
    float Tx = 0.0f, Ty = 0.0f;
    TPoint3 Normal{0.0f, 0.0f, 0.0f};
  };
  struct TFace {
    int64_t First, Count;
    unsigned Material;
  };

  const aiScene& m_scene;
  const TImportOptions& m_options;
  TImportReport& m_report;
  std::vector<TPoint3> m_verts;
  std::unordered_map<TPositionKey, int64_t, TPositionHash> m_vertIndex;
  std::vector<TCorner> m_corners;
  std::vector<TFace> m_faces;
  std::vector<unsigned> m_materialOrder;
  std::unordered_set<unsigned> m_firstUse;
  std::unordered_map<unsigned, int32_t> m_mats;
  bool m_missingNormals = false;
};

// Assimp 5.2's PLY reader loops for ever on a header that never ends: a PLY file (it
// starts with "ply") must have "end_header" within its first kPlyHeaderScan bytes.
constexpr size_t kPlyHeaderScan = 1 << 20;

void CheckPlyHeader(std::string_view head, const std::string& name) {
  if (head.substr(0, 3) != "ply") return;
  // As the reader takes it: a word of its own, not "end_header" inside another word.
  const std::string_view scan = head.substr(0, kPlyHeaderScan);
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  bool found = false;
  size_t at = scan.find("end_header");
  for (; at != std::string_view::npos; at = scan.find("end_header", at + 1)) {
    const size_t after = at + 10;
    found = (at == 0 || blank(scan[at - 1])) && (after >= scan.size() || blank(scan[after]));
    if (found) break;
  }
  if (!found) {
    throw EInterchange("Cannot import \"" + name + "\": a PLY header without \"end_header\"");
  }
  // The same reader frees memory it does not own on a header holding NUL or other control
  // bytes: a header is text, so such a file is refused before it gets there.
  for (const char c : scan.substr(0, at)) {
    if (static_cast<unsigned char>(c) < 0x20 && !blank(c)) {
      throw EInterchange("Cannot import \"" + name + "\": a PLY header holding control bytes");
    }
  }
}

std::string Reason(const Assimp::Importer& importer) {
  std::string reason = importer.GetErrorString();
  while (!reason.empty() &&
         (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' '))
    reason.pop_back();
  return reason.empty() ? "Assimp gave no reason" : reason;
}

TImportedMesh Convert(const aiScene* scene, const Assimp::Importer& importer,
                      const TImportOptions& options, TImportReport& report) {
  if (!scene) throw EInterchange("Cannot import \"" + report.FileName + "\": " + Reason(importer));
  return TSceneConverter(*scene, options, report).Run();
}

}  // namespace

TImportedMesh ReadModel(const std::string& path, const TImportOptions& options,
                        TImportReport& report) {
  report = TImportReport{};
  report.FileName = path;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    throw EInterchange("Cannot import \"" + path +
                       "\": " + (ec ? ec.message() : "not a regular file"));
  }
  const uintmax_t size = std::filesystem::file_size(path, ec);
  if (!ec && size > kMaxModelFileSize) {
    throw EInterchange("Cannot import \"" + path + "\": " + std::to_string(size) +
                       " bytes, more than the " + std::to_string(kMaxModelFileSize) +
                       " a model file may have");
  }
  {
    std::ifstream file(path, std::ios::binary);
    std::string head(kPlyHeaderScan, '\0');
    file.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(file.gcount()));
    CheckPlyHeader(head, path);
  }
  Assimp::Importer importer;
  return Convert(importer.ReadFile(path, kImportFlags), importer, options, report);
}

TImportedMesh ReadModelFromMemory(const void* data, size_t size, const std::string& hint,
                                  const TImportOptions& options, TImportReport& report) {
  report = TImportReport{};
  report.FileName = "<memory>." + hint;
  if (size == 0 || size > kMaxModelFileSize)
    throw EInterchange("Cannot import " + report.FileName + ": bad size");
  CheckPlyHeader(std::string_view(static_cast<const char*>(data), size), report.FileName);
  Assimp::Importer importer;
  return Convert(importer.ReadFileFromMemory(data, size, kImportFlags, hint.c_str()), importer,
                 options, report);
}

void CommitImport(TMeshDocument& doc, const TImportedMesh& mesh) {
  // The record files are written from the new arrays and then loaded, as after "Rip mesh":
  // a write that fails leaves the document in memory as it was.
  const auto write = [](const char* name, const auto& records) {
    WriteFileAtomic(HomeFile(name), records.data(), records.size() * sizeof(records[0]));
  };
  write(kVertFile, mesh.Verts);
  write(kVtnmFile, mesh.Vtnms);
  write(kFvrtFile, mesh.Fvrts);
  write(kFaceFile, mesh.Faces);
  WriteFileAtomic(HomeFile(kRadiFile), &mesh.Radius, sizeof mesh.Radius);
  doc.LoadRecordFiles();
}

TImportReport ImportModel(TMeshDocument& doc, const std::string& path,
                          const TImportOptions& options) {
  TImportReport report;
  const TImportedMesh mesh = ReadModel(path, options, report);
  CommitImport(doc, mesh);
  return report;
}

std::string TImportReport::Text() const {
  std::string text = "Imported " + FileName + ": VERT " + std::to_string(NumVert) + ", VTNM " +
                     std::to_string(NumVtnm) + ", FVRT " + std::to_string(NumFvrt) + ", FACE " +
                     std::to_string(NumFace) + " from " + std::to_string(Meshes) + " mesh(es)\n";
  if (SkippedPoints > 0 || SkippedLines > 0) {
    text += "Left out: " + std::to_string(SkippedPoints) + " points, " +
            std::to_string(SkippedLines) + " lines\n";
  }
  if (NormalsComputed) text += "Normals computed as \"Calc VTNM\" does (the file lacks some)\n";
  text += "Materials:\n";
  for (const auto& [name, mat] : Materials) {
    text += "  " + (name.empty() ? std::string("(unnamed)") : name) + " -> " + std::to_string(mat) +
            "\n";
  }
  return text;
}
