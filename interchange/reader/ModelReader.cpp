// tessavor-model-reader [--up-z | --up-y] FILE: reads a model file with Assimp and writes
// what the mesh needs of it (interchange/SceneData.h) to standard output. The editor and
// tessavor-cli run it as a child process (util/Isolate.h): whatever Assimp does to a
// damaged file ends here. --up-z turns a file whose up axis is z to the game's y up,
// --up-y leaves it; without either, the file's own up axis decides (FileIsZUp).
// Exit status: 0 with the scene's bytes, 1 with a message, 2 for a wrong call or an output
// that could not be written, 3 when memory ran out.
#include <assimp/DefaultIOSystem.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <unordered_map>

#include "interchange/SceneData.h"
#include "util/Isolate.h"
#include "util/StrTools.h"

namespace {

// Assimp checks its own result (indices in range, counts consistent) before we see it, and
// applies the file's unit (an FBX file's UnitScaleFactor: Blender's centimetres come in as
// metres); nothing else: polygons stay polygons and vertices stay per corner.
constexpr unsigned kImportFlags = aiProcess_ValidateDataStructure | aiProcess_GlobalScale;

// A reference as the file wrote it that leaves its folder however the folder lies: absolute
// ("/etc/passwd", "\share"), a URL or drive ("file:///x", "C:\x"), or one that climbs
// above it ("../x", "a/../../x").
bool LeavesFolder(const std::string& reference) {
  if (reference.empty()) return false;
  if (reference[0] == '/' || reference[0] == '\\') return true;
  const size_t colon = reference.find(':');
  if (colon != std::string::npos && reference.find_first_of("/\\") > colon) return true;
  std::string slashes = reference;
  std::replace(slashes.begin(), slashes.end(), '\\', '/');
  const std::filesystem::path normal = std::filesystem::path(slashes).lexically_normal();
  return !normal.empty() && *normal.begin() == "..";
}

EInterchange OutsideReference(const std::string& fileName, const std::string& reference) {
  return CannotImport(fileName, "it refers to \"" + QuoteForMessage(reference) +
                                    "\", which lies outside the model's folder");
}

// Every file Assimp opens besides the model (an OBJ's material library, a glTF buffer, an
// LWS scene's meshes, ...) must lie in the model's folder, links resolved: a file that
// names "../../etc/passwd", an absolute path or a URL is refused, not read as vertices.
// Assimp forms such a path as the model's folder followed by the reference, or takes the
// name on its own; some readers try the bare name first, as if it were in the current
// folder. A relative name is so looked for in the model's folder, and only there, whatever
// the current folder: a name that is not there is a file not found, which the reader may
// follow with another try, not a refusal. The first reference that leaves the folder is
// kept for the message, as an importer may go on without the file. Nothing is ever opened
// for writing.
class TModelFolderIo final : public Assimp::DefaultIOSystem {
public:
  explicit TModelFolderIo(const std::string& model) : m_model(model) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path folder = fs::absolute(fs::path(model), ec).parent_path();
    m_folder = fs::weakly_canonical(folder, ec);
    if (ec) m_folder = folder.lexically_normal();
    const size_t slash = model.find_last_of('/');
    if (slash != std::string::npos) m_prefix = model.substr(0, slash + 1);
    m_absolutePrefix = folder.lexically_normal().string();
    if (m_absolutePrefix.empty() || m_absolutePrefix.back() != '/') m_absolutePrefix += '/';
  }

  bool Exists(const char* file) const override {
    if (!file) return false;
    const std::string resolved = Resolve(file);
    return Inside(resolved) && DefaultIOSystem::Exists(resolved.c_str());
  }

  Assimp::IOStream* Open(const char* file, const char* mode) override {
    if (!file || !mode) return nullptr;
    const std::string resolved = Resolve(file);
    const bool writes = std::strpbrk(mode, "wa+") != nullptr;
    if (writes || !Inside(resolved)) {
      if (m_refused.empty()) m_refused = Reference(resolved);
      return nullptr;
    }
    return DefaultIOSystem::Open(resolved.c_str(), mode);
  }

  // The first reference refused, as the file wrote it; "" when none was.
  const std::string& Refused() const { return m_refused; }

private:
  bool UnderFolder(const std::string& file) const {
    for (const std::string* prefix : {&m_prefix, &m_absolutePrefix}) {
      if (!prefix->empty() && file.compare(0, prefix->size(), *prefix) == 0) return true;
    }
    return false;
  }

  // The path a name stands for: the model, a name Assimp put under the model's folder as
  // it is, and any other relative name in the model's folder.
  std::string Resolve(const std::string& file) const {
    if (file == m_model || UnderFolder(file) || LeavesFolder(file)) return file;
    return m_absolutePrefix + file;
  }

  // The reference as the file wrote it: what follows the model's folder, as the model's
  // path gave it or made absolute.
  std::string Reference(const std::string& file) const {
    for (const std::string* prefix : {&m_prefix, &m_absolutePrefix}) {
      if (!prefix->empty() && file.compare(0, prefix->size(), *prefix) == 0)
        return file.substr(prefix->size());
    }
    return file;
  }

  bool Inside(const std::string& file) const {
    namespace fs = std::filesystem;
    if (file == m_model) return true;
    // An absolute reference is refused even where Assimp puts the folder in front of it
    // (".../in//etc/passwd"); then the place it resolves to, links followed.
    const std::string reference = Reference(file);
    if (reference.empty() || LeavesFolder(reference)) return false;
    std::error_code ec;
    const fs::path resolved = fs::weakly_canonical(fs::absolute(fs::path(file), ec), ec);
    if (ec) return false;
    const auto [end, at] =
        std::mismatch(m_folder.begin(), m_folder.end(), resolved.begin(), resolved.end());
    return end == m_folder.end() && at != resolved.end();
  }

  std::string m_model;
  std::filesystem::path m_folder;
  std::string m_prefix, m_absolutePrefix;
  std::string m_refused;
};

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
  TSceneGatherer(const aiScene& scene, const std::string& fileName, bool zUp)
      : m_scene(scene), m_fileName(fileName), m_zUp(zUp) {
    // A glTF image URI is a file reference like its buffers', though Assimp does not open
    // it: it is held to the same folder. Elsewhere a texture is only a name (an OBJ from
    // Blender names pictures anywhere on the disk) and the import reads no picture.
    std::string extension = std::filesystem::path(fileName).extension().string();
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    m_imageUris = extension == ".gltf" || extension == ".glb";
    // An STL file holds one normal per triangle, which writers take from anywhere (a
    // corner's smooth normal, or none): the triangles of one flat face would not agree,
    // and not merge. Its corners' normals are computed instead.
    m_facetNormals = extension == ".stl";
  }

  TGatheredScene Run() {
    WalkNodes();
    CheckCapacity();
    for (unsigned index : m_materialOrder) {
      TSceneMaterial m;
      if (index < m_scene.mNumMaterials && m_scene.mMaterials[index]) {
        const aiMaterial& material = *m_scene.mMaterials[index];
        if (m_imageUris) CheckImageUris(material);
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
  void CheckImageUris(const aiMaterial& material) const {
    for (int type = aiTextureType_NONE; type <= AI_TEXTURE_TYPE_MAX; ++type) {
      const auto textureType = static_cast<aiTextureType>(type);
      for (unsigned i = 0; i < material.GetTextureCount(textureType); ++i) {
        aiString path;
        if (material.GetTexture(textureType, i, &path) != AI_SUCCESS) continue;
        const std::string uri = path.C_Str();
        if (uri.empty() || uri[0] == '*' || m_scene.GetEmbeddedTexture(uri.c_str())) continue;
        if (LeavesFolder(uri)) throw OutsideReference(m_fileName, uri);
      }
    }
  }

  [[noreturn]] void Refuse(const std::string& what) const { throw RefusedImport(m_fileName, what); }

  void WalkNodes() {
    if (!m_scene.mRootNode) return;
    // Z up to the game's y up: (x, y, z) -> (x, z, -y), a rotation about x, as Blender turns
    // its scenes for y-up formats. Exact in floats: each row has one 1 or -1.
    const aiMatrix4x4 up =
        m_zUp ? aiMatrix4x4(1, 0, 0, 0, 0, 0, 1, 0, 0, -1, 0, 0, 0, 0, 0, 1) : aiMatrix4x4();
    std::vector<std::pair<const aiNode*, aiMatrix4x4>> stack{
        {m_scene.mRootNode, up * m_scene.mRootNode->mTransformation}};
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
          AddMesh(mesh, node->mMeshes[i], transform);
        }
      }
      // Children pushed in reverse, so meshes come in the file's depth-first order.
      for (unsigned i = node->mNumChildren; i-- > 0;) {
        const aiNode* child = node->mChildren[i];
        if (child) stack.push_back({child, transform * child->mTransformation});
      }
    }
  }

  void AddMesh(const aiMesh& mesh, unsigned index, const aiMatrix4x4& transform) {
    if (!mesh.HasPositions()) return;
    aiMatrix3x3 normalMatrix(transform);
    const float determinant = normalMatrix.Determinant();
    if (determinant != 0.0f) normalMatrix = aiMatrix3x3(normalMatrix).Inverse().Transpose();
    // A mirroring transform (a negative scale) turns the corners' order with it: reversed,
    // the faces keep facing outwards. The first corner stays first.
    const bool mirrored = determinant < 0.0f;
    const bool hasNormals = mesh.HasNormals() && !m_facetNormals;
    const bool hasUv = mesh.HasTextureCoords(0);
    const auto meshNumber = static_cast<uint32_t>(m_out.MeshNames.size());
    const std::string meshName =
        mesh.mName.length > 0 ? Clip(mesh.mName.C_Str()) : "#" + std::to_string(index + 1);
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
        const unsigned kk = mirrored && k > 0 ? face.mNumIndices - k : k;
        const unsigned i = face.mIndices[kk];
        // The file's numbers are checked as they come, and again after the transform, which
        // can take a finite one past the float range.
        const auto bad = [&](const char* what) {
          Refuse("has " + std::string(what) + " that is not a finite number at " +
                 SceneElement(meshName, f + 1, kk + 1));
        };
        if (i >= mesh.mNumVertices)
          Refuse("has a corner index " + std::to_string(i) + " past its mesh's vertices at " +
                 SceneElement(meshName, f + 1, kk + 1));
        if (!Finite(mesh.mVertices[i])) bad("a position");
        const aiVector3D p = transform * mesh.mVertices[i];
        if (!Finite(p)) bad("a transformed position");
        TSceneCorner c;
        c.Vert = VertIndex({p.x, p.y, p.z});
        if (hasUv) {
          const aiVector3D& uv = mesh.mTextureCoords[0][i];
          if (!std::isfinite(uv.x) || !std::isfinite(uv.y)) bad("a texture coordinate");
          c.Tx = uv.x;
          c.Ty = uv.y;
        }
        if (hasNormals) {
          if (!Finite(mesh.mNormals[i])) bad("a normal");
          aiVector3D n = normalMatrix * mesh.mNormals[i];
          n.NormalizeSafe();
          if (!Finite(n)) bad("a transformed normal");
          c.Normal = {n.x, n.y, n.z};
        }
        m_out.Corners.push_back(c);
      }
      const auto [at, added] = m_materialIndex.try_emplace(
          mesh.mMaterialIndex, static_cast<uint32_t>(m_materialOrder.size()));
      if (added) m_materialOrder.push_back(mesh.mMaterialIndex);
      m_out.Faces.push_back({first, static_cast<int32_t>(face.mNumIndices), at->second, meshNumber,
                             static_cast<int32_t>(f + 1)});
      m_out.FaceObjects.push_back(m_object);
    }
    if (any) {
      ++m_out.Meshes;
      m_out.MeshNames.push_back(meshName);
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
  bool m_zUp;
  bool m_imageUris = false;
  bool m_facetNormals = false;
  TGatheredScene m_out;
  std::unordered_map<TPositionKey, int32_t, TPositionHash> m_vertIndex;
  std::unordered_map<unsigned, uint32_t> m_materialIndex;
  std::vector<unsigned> m_materialOrder;
  std::unordered_map<std::string, uint32_t> m_objectIndex;
  uint32_t m_object = 0;
  size_t m_overflowFaces = 0, m_overflowCorners = 0;
};

// Why Assimp refused a file, in plain words, with its own text as a detail line.
std::string Reason(const Assimp::Importer& importer) {
  std::string detail = importer.GetErrorString();
  while (!detail.empty() &&
         (detail.back() == '\n' || detail.back() == '\r' || detail.back() == ' '))
    detail.pop_back();
  if (detail.empty()) return "the file is damaged or not what its name says";
  const auto says = [&](const char* text) { return detail.find(text) != std::string::npos; };
  std::string why = "the file is damaged or not what its name says";
  if (says("mNumMeshes is 0") || says("no meshes") || says("No meshes") ||
      says("contains no faces") || says("contains no vertices"))
    why = "the file holds no meshes";
  else if (says("too small") || says("nexpected end") || says("nexpected EOF"))
    why = "the file is empty or cut short";
  else if (says("BlenderDNA") || says("BlendDNA"))
    why =
        "a Blender file of a version the model library cannot read (export it from Blender "
        "as glTF or FBX)";
  else if (says("No suitable reader"))
    why = "no reader here knows this kind of file";
  else if (says("UTF") || says("ncoding") || says("nicode"))
    why = "its text is in an encoding that cannot be read";
  else if (says("nable to open") || says("ailed to open") || says("annot open"))
    why = "the file cannot be opened";
  return why + "\n  (the model library said: " + detail + ")";
}

// The up axis a file states by its format: Blender's own files are z up; an FBX file says
// which axis is up in its settings (Assimp keeps that as the scene's "UpAxis", 2 for z),
// and COLLADA's up_axis Assimp turns to y up itself. Every other format is taken as y up.
bool FileIsZUp(const aiScene& scene, const std::string& fileName) {
  std::string extension = std::filesystem::path(fileName).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (extension == ".blend") return true;
  int32_t axis = 1;
  return extension == ".fbx" && scene.mMetaData && scene.mMetaData->Get("UpAxis", axis) &&
         axis == 2;
}

// Some of Assimp's importers take a failed allocation for a damaged part and go on without
// it (an FBX mesh whose array claims 4 GB is left out: "no polygons"). Any allocation that
// failed here met the memory limit, and the result says so whatever Assimp made of it.
bool g_allocationFailed = false;

void OnAllocationFailed() {
  g_allocationFailed = true;
  throw std::bad_alloc();
}

// --up-z or --up-y as asked; neither: the file's own (FileIsZUp).
enum class TUpChoice { Auto, Y, Z };

int Gather(const std::string& fileName, TUpChoice up, int resultFd) {
  std::string out;
  int status = kModelReaderMessage;
  try {
    Assimp::Importer importer;
    auto* io = new TModelFolderIo(fileName);
    importer.SetIOHandler(io);  // the importer owns it
    const aiScene* scene = importer.ReadFile(fileName, kImportFlags);
    if (!io->Refused().empty()) throw OutsideReference(fileName, io->Refused());
    // Assimp turns an allocation that failed into its message.
    if (!scene && std::strstr(importer.GetErrorString(), "bad_alloc")) throw std::bad_alloc();
    if (!scene) throw CannotImport(fileName, Reason(importer));
    const bool zUp = up == TUpChoice::Auto ? FileIsZUp(*scene, fileName) : up == TUpChoice::Z;
    out = EncodeScene(TSceneGatherer(*scene, fileName, zUp).Run());
    status = kModelReaderScene;
  } catch (const Exception& e) {
    out = e.what();
  } catch (const std::bad_alloc&) {
    g_allocationFailed = true;
  } catch (const std::exception& e) {
    out = CannotImport(fileName, e.what()).what();
  }
  if (g_allocationFailed) {
    // The editor names the limit that was reached.
    out.clear();
    status = kModelReaderOutOfMemory;
  }
  return WriteAllToFd(resultFd, out.data(), out.size()) ? status : kModelReaderUsage;
}

}  // namespace

int main(int argc, char** argv) {
  TUpChoice up = TUpChoice::Auto;
  if (argc == 3 && std::strcmp(argv[1], kModelReaderZUp) == 0) up = TUpChoice::Z;
  if (argc == 3 && std::strcmp(argv[1], kModelReaderYUp) == 0) up = TUpChoice::Y;
  if (argc != 2 && (argc != 3 || up == TUpChoice::Auto)) {
    std::fputs(
        "usage: tessavor-model-reader [--up-z | --up-y] FILE (run by the editor; see --help of "
        "tessavor-cli import)\n",
        stderr);
    return kModelReaderUsage;
  }
  // What Assimp and the C library print on their own ("nullptr returned by creating
  // DDLNode.", "free(): invalid pointer") is no message for the user: the scene or our
  // message goes out on a copy of standard output, and both standard streams go nowhere.
  // The C library's fatal messages go to standard error, not to the terminal.
  const int resultFd = dup(STDOUT_FILENO);
  const int nowhere = open("/dev/null", O_WRONLY);
  if (resultFd < 0 || nowhere < 0 || dup2(nowhere, STDOUT_FILENO) < 0 ||
      dup2(nowhere, STDERR_FILENO) < 0)
    return kModelReaderUsage;
  setenv("LIBC_FATAL_STDERR_", "1", 1);
  std::set_new_handler(OnAllocationFailed);
  const int status = Gather(argv[argc - 1], up, resultFd);
  // _exit: nothing of Assimp's is left to tidy, and a reader that leaked on a damaged file
  // has still given its result.
  _exit(status);
}
