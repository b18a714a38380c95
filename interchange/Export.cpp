// Export through Assimp (see Interchange.h for the rules).
#include "interchange/Interchange.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Exporter.hpp>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <cstring>
#include <filesystem>
#include <map>
#include <unordered_map>

#include "images/PngWriter.h"
#include "mesh/Materials.h"
#include "mesh/Normals.h"
#include "mesh/Vector.h"
#include "util/FileIo.h"

namespace {

// ---------------------------------------------------------------------------------------
// Files an exporter writes, kept in memory until the whole export has succeeded.

using TFileBytes = std::shared_ptr<std::vector<uint8_t>>;

struct TMemoryFiles {
  // By file name (no folder), in the order the exporter opened them.
  std::vector<std::pair<std::string, TFileBytes>> Files;
};

class TMemoryStream : public Assimp::IOStream {
public:
  explicit TMemoryStream(TFileBytes bytes) : m_bytes(std::move(bytes)) {}
  size_t Read(void*, size_t, size_t) override { return 0; }
  size_t Write(const void* buffer, size_t size, size_t count) override {
    if (size == 0 || count == 0) return 0;
    if (count > SIZE_MAX / size) return 0;
    const size_t n = size * count;
    if (m_pos > m_bytes->size()) m_bytes->resize(m_pos);
    if (n > m_bytes->size() - m_pos) m_bytes->resize(m_pos + n);
    std::memcpy(m_bytes->data() + m_pos, buffer, n);
    m_pos += n;
    return count;
  }
  aiReturn Seek(size_t offset, aiOrigin origin) override {
    size_t base = origin == aiOrigin_SET ? 0 : origin == aiOrigin_CUR ? m_pos : m_bytes->size();
    if (offset > SIZE_MAX - base) return aiReturn_FAILURE;
    m_pos = base + offset;
    return aiReturn_SUCCESS;
  }
  size_t Tell() const override { return m_pos; }
  size_t FileSize() const override { return m_bytes->size(); }
  void Flush() override {}

private:
  TFileBytes m_bytes;
  size_t m_pos = 0;
};

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Exporters name their companion files after the model (house.mtl, house.bin); the export
// is run on the bare file name, so those names come out relative and land beside it.
class TMemoryIoSystem : public Assimp::IOSystem {
public:
  explicit TMemoryIoSystem(std::shared_ptr<TMemoryFiles> files) : m_files(std::move(files)) {}
  bool Exists(const char* file) const override { return Find(BaseName(file)) != nullptr; }
  char getOsSeparator() const override { return '/'; }
  Assimp::IOStream* Open(const char* file, const char* mode) override {
    // Nothing is read back during an export.
    if (!mode || std::strchr(mode, 'w') == nullptr) return nullptr;
    const std::string name = BaseName(file);
    TFileBytes bytes = Find(name);
    if (!bytes) {
      bytes = std::make_shared<std::vector<uint8_t>>();
      m_files->Files.emplace_back(name, bytes);
    }
    bytes->clear();
    return new TMemoryStream(bytes);
  }
  void Close(Assimp::IOStream* stream) override { delete stream; }

private:
  TFileBytes Find(const std::string& name) const {
    for (const auto& [n, bytes] : m_files->Files) {
      if (n == name) return bytes;
    }
    return nullptr;
  }
  std::shared_ptr<TMemoryFiles> m_files;
};

// ---------------------------------------------------------------------------------------
// Formats

enum class TTextureMode { None, Beside, Embedded };

TTextureMode TextureModeOf(const std::string& id) {
  if (id == "glb2" || id == "glb") return TTextureMode::Embedded;
  if (id == "stl" || id == "stlb" || id == "ply" || id == "plyb" || id == "objnomtl")
    return TTextureMode::None;
  return TTextureMode::Beside;
}

// Formats whose faces are triangles only.
bool NeedsTriangles(const std::string& id) {
  return id == "stl" || id == "stlb" || id == "gltf2" || id == "glb2" || id == "gltf" ||
         id == "glb" || id == "3ds";
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

// ---------------------------------------------------------------------------------------
// The scene

struct TTexture {
  std::string FileName;  // "00001001.png"
  std::vector<uint8_t> Png;
};

aiString AiText(const std::string& s) { return aiString(s); }

class TSceneBuilder {
public:
  TSceneBuilder(const TMeshDocument& doc, const TExportOptions& options,
                const std::string& formatId, TExportReport& report)
      : m_doc(doc), m_options(options), m_mode(TextureModeOf(formatId)), m_report(report) {}

  std::unique_ptr<aiScene> Build(std::vector<TTexture>& textures) {
    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = new aiNode("tessavor");
    CollectRuns();
    BuildMaterials(*scene, textures);
    BuildMeshes(*scene);
    return scene;
  }

private:
  struct TGroup {
    int32_t Mat;
    std::vector<int32_t> Faces;
  };

  // Faces that can be written, one mesh per material in order of first use. A mesh per run
  // of one material would keep the document's face order across materials, but a model
  // whose faces take turns between materials then becomes tens of thousands of meshes,
  // which every exporter and every tool handles slowly.
  void CollectRuns() {
    for (int32_t f = 0; f < m_doc.NumFace; ++f) {
      const TFaceRecord& face = m_doc.FACE[f];
      const TCornerRange corners = m_doc.FaceCorners(face);
      bool ok = corners.Count >= 3;
      for (int32_t r = corners.First; ok && r < corners.First + corners.Count; ++r) {
        ok = m_doc.VertAt(m_doc.FVRT[r].Vert) != nullptr;
      }
      if (!ok) {
        ++m_report.SkippedFaces;
        continue;
      }
      const auto [it, added] =
          m_materialIndex.try_emplace(face.Mat, static_cast<unsigned>(m_materials.size()));
      if (added) {
        m_materials.push_back(face.Mat);
        m_groups.push_back({face.Mat, {}});
      }
      m_groups[it->second].Faces.push_back(f);
      ++m_report.Faces;
    }
  }

  void BuildMaterials(aiScene& scene, std::vector<TTexture>& textures) {
    // Assimp's exporters expect at least one material.
    if (m_materials.empty()) m_materials.push_back(kDefaultMaterial);
    scene.mNumMaterials = static_cast<unsigned>(m_materials.size());
    scene.mMaterials = new aiMaterial*[scene.mNumMaterials]();
    std::vector<aiTexture*> embedded;
    for (size_t i = 0; i < m_materials.size(); ++i) {
      const int32_t mat = m_materials[i];
      auto* material = new aiMaterial();
      scene.mMaterials[i] = material;
      const aiString name = AiText(MaterialIdText(mat));
      material->AddProperty(&name, AI_MATKEY_NAME);
      const aiColor3D white(1.0f, 1.0f, 1.0f);
      material->AddProperty(&white, 1, AI_MATKEY_COLOR_DIFFUSE);
      if (m_mode == TTextureMode::None) continue;
      TTexture texture;
      if (!TexturePng(mat, texture)) continue;
      if (m_mode == TTextureMode::Embedded) {
        auto* t = new aiTexture();
        const size_t size = texture.Png.size();
        t->mWidth = static_cast<unsigned>(size);
        t->mHeight = 0;
        t->pcData = new aiTexel[(size + sizeof(aiTexel) - 1) / sizeof(aiTexel)];
        std::memcpy(t->pcData, texture.Png.data(), size);
        std::strncpy(t->achFormatHint, "png", sizeof t->achFormatHint);
        t->mFilename = AiText(texture.FileName);
        const aiString ref = AiText("*" + std::to_string(embedded.size()));
        material->AddProperty(&ref, AI_MATKEY_TEXTURE_DIFFUSE(0));
        embedded.push_back(t);
      } else {
        const aiString ref = AiText(texture.FileName);
        material->AddProperty(&ref, AI_MATKEY_TEXTURE_DIFFUSE(0));
        textures.push_back(std::move(texture));
      }
    }
    if (!embedded.empty()) {
      scene.mNumTextures = static_cast<unsigned>(embedded.size());
      scene.mTextures = new aiTexture*[embedded.size()];
      std::copy(embedded.begin(), embedded.end(), scene.mTextures);
    }
  }

  bool TexturePng(int32_t mat, TTexture& texture) {
    const std::string file = FindMaterialTexture(m_options.MaterialFolder, mat);
    if (file.empty()) {
      m_report.Warnings.push_back("Material " + std::to_string(mat) + ": no texture " +
                                  MaterialFileName(m_options.MaterialFolder, mat, "") +
                                  " (.gct, .mat, .bmp)");
      return false;
    }
    try {
      TBitmap bitmap;
      LoadTextureFile(file, bitmap, m_options.LoadForeignPicture);
      texture.Png = EncodePng(bitmap);
    } catch (const Exception& e) {
      m_report.Warnings.push_back("Material " + std::to_string(mat) + ": texture " + file +
                                  " not used: " + e.what());
      return false;
    }
    texture.FileName = MaterialIdText(mat) + ".png";
    return true;
  }

  void BuildMeshes(aiScene& scene) {
    scene.mNumMeshes = static_cast<unsigned>(m_groups.size());
    scene.mMeshes = new aiMesh*[std::max<size_t>(m_groups.size(), 1)]();
    scene.mRootNode->mNumMeshes = scene.mNumMeshes;
    scene.mRootNode->mMeshes = new unsigned[std::max<size_t>(m_groups.size(), 1)];
    for (size_t i = 0; i < m_groups.size(); ++i) {
      scene.mMeshes[i] = BuildMesh(m_groups[i]);
      scene.mRootNode->mMeshes[i] = static_cast<unsigned>(i);
    }
  }

  aiMesh* BuildMesh(const TGroup& group) {
    auto* mesh = new aiMesh();
    mesh->mName = AiText(MaterialIdText(group.Mat));
    mesh->mMaterialIndex = m_materialIndex.at(group.Mat);
    size_t corners = 0;
    for (int32_t f : group.Faces)
      corners += static_cast<size_t>(m_doc.FaceCorners(m_doc.FACE[f]).Count);
    mesh->mNumVertices = static_cast<unsigned>(corners);
    mesh->mVertices = new aiVector3D[corners];
    mesh->mNormals = new aiVector3D[corners];
    mesh->mTextureCoords[0] = new aiVector3D[corners];
    mesh->mNumUVComponents[0] = 2;
    mesh->mNumFaces = static_cast<unsigned>(group.Faces.size());
    mesh->mFaces = new aiFace[group.Faces.size()];
    unsigned v = 0;
    for (size_t k = 0; k < group.Faces.size(); ++k) {
      const TFaceRecord& face = m_doc.FACE[group.Faces[k]];
      const TCornerRange range = m_doc.FaceCorners(face);
      // A corner without a normal of its own takes the face's.
      TVec4 faceNormal = FacePlaneNormal(m_doc, face);
      Negate(faceNormal, true, true, true);
      aiFace& out = mesh->mFaces[k];
      out.mNumIndices = static_cast<unsigned>(range.Count);
      out.mIndices = new unsigned[static_cast<size_t>(range.Count)];
      mesh->mPrimitiveTypes |=
          range.Count == 3 ? aiPrimitiveType_TRIANGLE : aiPrimitiveType_POLYGON;
      for (int32_t r = 0; r < range.Count; ++r) {
        const TFvrtRecord& corner = m_doc.FVRT[range.First + r];
        const TPoint3& p = *m_doc.VertAt(corner.Vert);
        const TPoint3* n = m_doc.VtnmAt(corner.Vtnm);
        mesh->mVertices[v] = aiVector3D(p.x, p.y, p.z);
        mesh->mNormals[v] =
            n ? aiVector3D(n->x, n->y, n->z) : aiVector3D(faceNormal.x, faceNormal.y, faceNormal.z);
        mesh->mTextureCoords[0][v] = aiVector3D(corner.Tx, corner.Ty, 0.0f);
        out.mIndices[r] = v++;
      }
    }
    return mesh;
  }

  const TMeshDocument& m_doc;
  const TExportOptions& m_options;
  TTextureMode m_mode;
  TExportReport& m_report;
  std::vector<TGroup> m_groups;
  std::vector<int32_t> m_materials;
  std::unordered_map<int32_t, unsigned> m_materialIndex;
};

}  // namespace

std::vector<TFormatInfo> ExportFormats() {
  Assimp::Exporter exporter;
  std::vector<TFormatInfo> formats;
  for (size_t i = 0; i < exporter.GetExportFormatCount(); ++i) {
    const aiExportFormatDesc* d = exporter.GetExportFormatDescription(i);
    if (d) formats.push_back({d->id, Lower(d->fileExtension), d->description});
  }
  return formats;
}

std::string ExportFormatForFile(const std::string& fileName) {
  const std::string name = BaseName(fileName);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return {};
  const std::string ext = Lower(name.substr(dot + 1));
  // glTF 1 shares the extensions; version 2 is the one tools read today.
  if (ext == "gltf") return "gltf2";
  if (ext == "glb") return "glb2";
  for (const TFormatInfo& f : ExportFormats()) {
    if (f.Extension == ext) return f.Id;
  }
  return {};
}

TExportReport ExportModel(const TMeshDocument& doc, const std::string& path,
                          const TExportOptions& options) {
  TExportReport report;
  report.FormatId = options.FormatId.empty() ? ExportFormatForFile(path) : options.FormatId;
  if (report.FormatId.empty()) {
    throw EInterchange("Cannot export \"" + path +
                       "\": no format for its extension (choose one with --format; tessavor-cli "
                       "formats lists them)");
  }
  const std::vector<TFormatInfo> formats = ExportFormats();
  if (std::none_of(formats.begin(), formats.end(),
                   [&](const TFormatInfo& f) { return f.Id == report.FormatId; })) {
    throw EInterchange("Cannot export \"" + path + "\": unknown format id \"" + report.FormatId +
                       "\"");
  }
  const std::string name = BaseName(path);
  if (name.empty()) throw EInterchange("Cannot export \"" + path + "\": no file name");
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();

  std::vector<TTexture> textures;
  std::unique_ptr<aiScene> scene =
      TSceneBuilder(doc, options, report.FormatId, report).Build(textures);
  if (scene->mNumMeshes == 0)
    throw EInterchange("Cannot export \"" + path + "\": the mesh has no faces to write");

  auto files = std::make_shared<TMemoryFiles>();
  Assimp::Exporter exporter;
  exporter.SetIOHandler(new TMemoryIoSystem(files));
  const unsigned steps = NeedsTriangles(report.FormatId) ? aiProcess_Triangulate : 0u;
  if (exporter.Export(scene.get(), report.FormatId, name, steps) != AI_SUCCESS ||
      files->Files.empty()) {
    std::string reason = exporter.GetErrorString();
    if (reason.empty()) reason = "Assimp wrote nothing";
    throw EInterchange("Cannot export \"" + path + "\" as " + report.FormatId + ": " + reason);
  }

  // Pictures and companions first, the model last: whoever sees the new model finds what
  // it refers to.
  const auto target = [&folder](const std::string& file) { return (folder / file).string(); };
  const auto write = [&](const std::string& file, const std::vector<uint8_t>& bytes) {
    WriteFileAtomic(target(file), bytes.data(), bytes.size(), TFileSync::Replace);
  };
  for (const TTexture& t : textures) write(t.FileName, t.Png);
  for (const auto& [file, bytes] : files->Files) {
    if (file != name) write(file, *bytes);
  }
  for (const auto& [file, bytes] : files->Files) {
    if (file == name) write(file, *bytes);
  }
  report.Files.push_back(path);
  for (const auto& [file, bytes] : files->Files) {
    if (file != name) report.Files.push_back(target(file));
  }
  for (const TTexture& t : textures) report.Files.push_back(target(t.FileName));
  return report;
}

std::string TExportReport::Text() const {
  std::string text = "Wrote " + std::to_string(Faces) + " faces as " + FormatId + ":";
  for (const std::string& f : Files) text += " " + f;
  text += "\n";
  if (SkippedFaces > 0)
    text += "Left out " + std::to_string(SkippedFaces) +
            " faces with fewer than 3 corners or a missing vertex\n";
  for (const std::string& w : Warnings) text += w + "\n";
  return text;
}
