// tessavor-model-reader FILE: reads a model file with Assimp and writes what the mesh needs
// of it (interchange/SceneData.h) to standard output. The editor and tessavor-cli run it as
// a child process (util/Isolate.h): whatever Assimp does to a damaged file ends here.
// Exit status: 0 with the scene's bytes, 1 with a message, 2 for a wrong call or an output
// that could not be written.
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <unistd.h>

#include <assimp/Importer.hpp>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "interchange/SceneData.h"
#include "util/Isolate.h"

namespace {

// Assimp checks its own result (indices in range, counts consistent) before we see it;
// nothing else: polygons stay polygons and vertices stay per corner.
constexpr unsigned kImportFlags = aiProcess_ValidateDataStructure;

// A node graph is a tree in every importer, but the walk does not rely on it.
constexpr int64_t kMaxNodeVisits = 1000000;

// The names MapMaterials looks at for a number, in the order it looks.
std::vector<std::string> TextureNames(const aiScene& scene, const aiMaterial& material) {
  std::vector<std::string> names;
  for (aiTextureType type : {aiTextureType_DIFFUSE, aiTextureType_BASE_COLOR}) {
    aiString path;
    if (material.GetTexture(type, 0, &path) != AI_SUCCESS) continue;
    names.emplace_back(path.C_Str());
    // An embedded picture ("*0") may still carry the name it had.
    if (const aiTexture* texture = scene.GetEmbeddedTexture(path.C_Str()))
      names.emplace_back(texture->mFilename.C_Str());
  }
  return names;
}

std::string Clip(std::string text) {
  if (text.size() > kMaxSceneName) text.resize(kMaxSceneName);
  return text;
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

// Runs in the child process, on what Assimp made of the file.
class TSceneGatherer {
public:
  TSceneGatherer(const aiScene& scene, const std::string& fileName)
      : m_scene(scene), m_fileName(fileName) {}

  TGatheredScene Run() {
    WalkNodes();
    CheckCapacity();
    for (unsigned index : m_materialOrder) {
      TSceneMaterial m;
      if (index < m_scene.mNumMaterials && m_scene.mMaterials[index]) {
        const aiMaterial& material = *m_scene.mMaterials[index];
        m.Name = Clip(material.GetName().C_Str());
        for (std::string& name : TextureNames(m_scene, material)) {
          if (m.TextureNames.size() < kMaxTextureNames) m.TextureNames.push_back(Clip(name));
        }
        m_out.Textures.push_back(TextureSource(m_scene, material));
      } else {
        m_out.Textures.emplace_back();
      }
      m_out.Materials.push_back(std::move(m));
    }
    return std::move(m_out);
  }

private:
  [[noreturn]] void Refuse(const std::string& what) const { throw RefusedImport(m_fileName, what); }

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
        if (node->mMeshes[i] < m_scene.mNumMeshes) {
          const aiMesh& mesh = *m_scene.mMeshes[node->mMeshes[i]];
          m_object = ObjectIndex(node->mName.length > 0 ? node->mName.C_Str() : mesh.mName.C_Str());
          AddMesh(mesh, transform);
        }
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
      if (face.mNumIndices == 1) ++m_out.SkippedPoints;
      if (face.mNumIndices == 2) ++m_out.SkippedLines;
      if (face.mNumIndices < 3) continue;
      any = true;
      // The capacity check comes after the walk, with the counts it needs; this only keeps
      // a scene far past it from growing the arrays without bound.
      if (m_out.Corners.size() + face.mNumIndices > kGatherLimit ||
          m_out.Faces.size() >= kGatherLimit) {
        ++m_overflowFaces;
        m_overflowCorners += face.mNumIndices;
        continue;
      }
      const auto first = static_cast<int32_t>(m_out.Corners.size());
      for (unsigned k = 0; k < face.mNumIndices; ++k) {
        const unsigned i = face.mIndices[k];
        if (i >= mesh.mNumVertices)
          Refuse("has a corner index " + std::to_string(i) + " past its mesh's vertices");
        const aiVector3D p = transform * mesh.mVertices[i];
        if (!Finite(p)) Refuse("has a vertex position that is not a finite number");
        TSceneCorner c;
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
        m_out.Corners.push_back(c);
      }
      const auto [at, added] = m_materialIndex.try_emplace(
          mesh.mMaterialIndex, static_cast<uint32_t>(m_materialOrder.size()));
      if (added) m_materialOrder.push_back(mesh.mMaterialIndex);
      m_out.Faces.push_back({first, static_cast<int32_t>(face.mNumIndices), at->second});
      m_out.FaceObjects.push_back(m_object);
    }
    if (any) {
      ++m_out.Meshes;
      if (!hasNormals) m_out.MissingNormals = true;
    }
  }

  int32_t VertIndex(const TPoint3& p) {
    TPositionKey key;
    std::memcpy(&key.x, &p.x, 4);
    std::memcpy(&key.y, &p.y, 4);
    std::memcpy(&key.z, &p.z, 4);
    const auto [it, added] = m_vertIndex.try_emplace(key, static_cast<int32_t>(m_out.Verts.size()));
    if (added) m_out.Verts.push_back(p);
    return it->second;
  }

  // The editor's side checks the record arrays (and fits the model to them when asked);
  // only a scene too large to carry between the processes is refused here.
  void CheckCapacity() const {
    if (m_overflowFaces == 0) return;
    const size_t corners = m_out.Corners.size() + m_overflowCorners;
    const size_t faces = m_out.Faces.size() + m_overflowFaces;
    Refuse("needs at least " + std::to_string(m_out.Verts.size()) + " vertices, " +
           std::to_string(corners) + " face corners and " + std::to_string(faces) +
           " faces; the arrays hold at most " + std::to_string(MeshCapacity) +
           " records each, and a model past " + std::to_string(kGatherLimit) +
           " corners is too large even to fit");
  }

  uint32_t ObjectIndex(const std::string& name) {
    const auto [at, added] =
        m_objectIndex.try_emplace(Clip(name), static_cast<uint32_t>(m_out.Objects.size()));
    if (added) m_out.Objects.push_back(at->first);
    return at->second;
  }

  // The diffuse (or base-colour) picture of a material: embedded bytes when the scene holds
  // them compressed (PNG, JPEG, ...), else the file name as the model gives it.
  static TSceneTexture TextureSource(const aiScene& scene, const aiMaterial& material) {
    TSceneTexture t;
    for (aiTextureType type : {aiTextureType_DIFFUSE, aiTextureType_BASE_COLOR}) {
      aiString path;
      if (material.GetTexture(type, 0, &path) != AI_SUCCESS) continue;
      if (const aiTexture* texture = scene.GetEmbeddedTexture(path.C_Str())) {
        // Uncompressed embedded texels are rare (no common format stores them): left out.
        if (texture->mHeight == 0 && texture->pcData && texture->mWidth <= kMaxScenePicture) {
          t.Embedded.assign(reinterpret_cast<const char*>(texture->pcData), texture->mWidth);
          t.Hint = Clip(texture->achFormatHint);
        }
        t.Path = Clip(texture->mFilename.C_Str());
      } else {
        t.Path = Clip(path.C_Str());
      }
      return t;
    }
    return t;
  }

  // Far past MeshCapacity; positions stay below it, as each corner adds at most one.
  static constexpr size_t kGatherLimit = kMaxSceneRecords;

  const aiScene& m_scene;
  const std::string& m_fileName;
  TGatheredScene m_out;
  std::unordered_map<TPositionKey, int32_t, TPositionHash> m_vertIndex;
  std::unordered_map<unsigned, uint32_t> m_materialIndex;
  std::vector<unsigned> m_materialOrder;
  std::unordered_map<std::string, uint32_t> m_objectIndex;
  uint32_t m_object = 0;
  size_t m_overflowFaces = 0, m_overflowCorners = 0;
};

std::string Reason(const Assimp::Importer& importer) {
  std::string reason = importer.GetErrorString();
  while (!reason.empty() &&
         (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' '))
    reason.pop_back();
  return reason.empty() ? "Assimp gave no reason" : reason;
}

int Gather(const std::string& fileName) {
  std::string out;
  int status = kModelReaderMessage;
  try {
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(fileName, kImportFlags);
    if (!scene) throw CannotImport(fileName, Reason(importer));
    out = EncodeScene(TSceneGatherer(*scene, fileName).Run());
    status = kModelReaderScene;
  } catch (const Exception& e) {
    out = e.what();
  } catch (const std::bad_alloc&) {
    out = CannotImport(fileName, "the model reader ran out of memory").what();
  } catch (const std::exception& e) {
    out = CannotImport(fileName, e.what()).what();
  }
  return WriteAllToFd(STDOUT_FILENO, out.data(), out.size()) ? status : kModelReaderUsage;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs(
        "usage: tessavor-model-reader FILE (run by the editor; see --help of tessavor-cli "
        "import)\n",
        stderr);
    return kModelReaderUsage;
  }
  const int status = Gather(argv[1]);
  // _exit: nothing of Assimp's is left to tidy, and a reader that leaked on a damaged file
  // has still given its result.
  _exit(status);
}
