// The scene an export writes: built from the document, and its bytes for the model writer.
#include "interchange/ExportScene.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <unordered_map>

#include "images/PngWriter.h"
#include "interchange/ByteCodec.h"
#include "mesh/FaceShape.h"
#include "mesh/Materials.h"
#include "mesh/Normals.h"
#include "mesh/Vector.h"
#include "util/StrTools.h"

namespace {

constexpr const char* kNoReader = "Assimp has no reader for it";

// clang-format off
const std::vector<TExportFormat> kFormats = {
    // Id, extension, description, textures, triangles, Z up by format, flip normals, write-only
    {"obj", "obj", "Wavefront OBJ format", TTextureMode::Beside, false, false, false, nullptr},
    {"objnomtl", "obj", "Wavefront OBJ format without material file", TTextureMode::None, false, false, false, nullptr},
    {"gltf2", "gltf", "GL Transmission Format v. 2", TTextureMode::Beside, true, false, false, nullptr},
    {"glb2", "glb", "GL Transmission Format v. 2 (binary)", TTextureMode::Embedded, true, false, false, nullptr},
    {"collada", "dae", "COLLADA - Digital Asset Exchange Schema", TTextureMode::Beside, false, false, false, nullptr},
    {"fbxa", "fbx", "Autodesk FBX (ascii)", TTextureMode::Beside, false, false, false, nullptr},
    {"3ds", "3ds", "Autodesk 3DS (legacy)", TTextureMode::Beside, true, true, false, nullptr},
    {"x", "x", "X Files", TTextureMode::Beside, false, false, true, nullptr},
    {"ply", "ply", "Stanford Polygon Library", TTextureMode::None, false, false, false, nullptr},
    {"plyb", "ply", "Stanford Polygon Library (binary)", TTextureMode::None, false, false, false, nullptr},
    {"stl", "stl", "Stereolithography", TTextureMode::None, true, false, false, nullptr},
    {"stlb", "stl", "Stereolithography (binary)", TTextureMode::None, true, false, false, nullptr},
    {"assbin", "assbin", "Assimp Binary File", TTextureMode::Beside, false, false, false, nullptr},
    {"stp", "stp", "Step Files", TTextureMode::None, true, false, false, kNoReader},
    {"assxml", "assxml", "Assimp XML Document", TTextureMode::Beside, false, false, false, kNoReader},
    {"assjson", "json", "Assimp JSON Document", TTextureMode::Beside, false, false, false, kNoReader},
    {"3mf", "3mf", "The 3MF-File-Format", TTextureMode::None, true, false, false,
     "Assimp's reader finds no mesh in the 3MF its writer makes"},
    {"pbrt", "pbrt", "pbrt-v4 scene description file", TTextureMode::Beside, true, false, false,
     "a renderer's scene description; Assimp has no reader for it"},
};
// clang-format on

// Writers Assimp has that export does not take, and why.
const std::vector<std::pair<const char*, const char*>> kRefused = {
    {"fbx", "Assimp's binary FBX is read neither by Blender nor by Assimp; fbxa writes text FBX"},
    {"gltf", "glTF 1 is refused by Blender; gltf2 writes glTF 2"},
    {"glb", "glTF 1 is refused by Blender; glb2 writes glTF 2"},
    {"x3d", "Assimp's reader refuses the texture references of its own writer's X3D"},
};

// Turns the game's Y up into Z up: a right-handed quarter turn about X, (x, y, z) ->
// (x, -z, y), so that nothing is mirrored.
TPoint3 ToZUp(const TPoint3& p) { return {p.x, -p.z, p.y}; }

class TSceneBuilder {
public:
  TSceneBuilder(const TMeshDocument& doc, const TExportFormat& format,
                const TExportOptions& options, TExportReport& report)
      : m_doc(doc), m_format(format), m_options(options), m_report(report) {}

  TExportScene Build() {
    TExportScene scene;
    scene.FormatId = m_format.Id;
    CollectGroups();
    BuildMaterials(scene);
    BuildMeshes(scene);
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
  void CollectGroups() {
    size_t corners = 0;
    for (int32_t f = 0; f < m_doc.NumFace; ++f) {
      const TFaceRecord& face = m_doc.FACE[f];
      const TCornerRange range = m_doc.FaceCorners(face);
      bool ok = range.Count >= 3;
      for (int32_t r = range.First; ok && r < range.First + range.Count; ++r) {
        ok = m_doc.VertAt(m_doc.FVRT[r].Vert) != nullptr;
      }
      if (!ok) {
        ++m_report.SkippedFaces;
        continue;
      }
      // A triangle format carries three corners for each of a face's Count - 2 triangles.
      corners += static_cast<size_t>(m_format.Triangles ? 3 * (range.Count - 2) : range.Count);
      if (corners > kMaxExportCorners) {
        throw EInterchange("Cannot export: the faces name more than " +
                           std::to_string(kMaxExportCorners) +
                           " corners in all (overlapping corner runs); tessavor-cli check "
                           "lists the faces");
      }
      const auto [it, added] =
          m_groupIndex.try_emplace(face.Mat, static_cast<uint32_t>(m_groups.size()));
      if (added) m_groups.push_back({face.Mat, {}});
      m_groups[it->second].Faces.push_back(f);
      ++m_report.Faces;
    }
  }

  void BuildMaterials(TExportScene& scene) {
    // Assimp's exporters expect at least one material.
    if (m_groups.empty()) {
      scene.Materials.push_back({MaterialIdText(kDefaultMaterial), ""});
      return;
    }
    for (const TGroup& group : m_groups) {
      TExportMaterial material{MaterialIdText(group.Mat), ""};
      TExportPicture picture;
      if (m_format.Textures != TTextureMode::None && TexturePng(group.Mat, picture)) {
        if (m_format.Textures == TTextureMode::Embedded) {
          material.Texture = "*" + std::to_string(scene.Embedded.size());
          scene.Embedded.push_back(std::move(picture));
        } else {
          material.Texture = picture.FileName;
          scene.Beside.push_back(std::move(picture));
        }
      }
      scene.Materials.push_back(std::move(material));
    }
  }

  bool TexturePng(int32_t mat, TExportPicture& picture) {
    const std::string file = FindMaterialTexture(m_options.MaterialFolder, mat);
    if (file.empty()) {
      m_report.Warnings.push_back(
          "Material " + std::to_string(mat) + ": no texture " +
          QuotePathForMessage(MaterialFileName(m_options.MaterialFolder, mat, "")) +
          " (.gct, .mat, .bmp)");
      return false;
    }
    try {
      TBitmap bitmap;
      LoadTextureFile(file, bitmap, m_options.LoadForeignPicture);
      picture.Png = EncodePng(bitmap);
    } catch (const Exception& e) {
      m_report.Warnings.push_back("Material " + std::to_string(mat) + ": texture " +
                                  QuotePathForMessage(file) + " not used: " + e.what());
      return false;
    }
    picture.FileName = MaterialIdText(mat) + ".png";
    return true;
  }

  void BuildMeshes(TExportScene& scene) {
    const bool zUp = m_options.ZUp || m_format.ZUpByFormat;
    for (size_t g = 0; g < m_groups.size(); ++g) {
      const TGroup& group = m_groups[g];
      TExportMesh mesh;
      mesh.Name = MaterialIdText(group.Mat);
      mesh.Material = static_cast<uint32_t>(g);
      size_t corners = 0;
      for (int32_t f : group.Faces)
        corners += static_cast<size_t>(m_doc.FaceCorners(m_doc.FACE[f]).Count);
      mesh.Positions.reserve(corners);
      mesh.Normals.reserve(corners);
      mesh.Uvs.reserve(2 * corners);
      mesh.FaceSizes.reserve(group.Faces.size());
      for (int32_t f : group.Faces) {
        const TFaceRecord& face = m_doc.FACE[f];
        const TCornerRange range = m_doc.FaceCorners(face);
        // A corner without a normal of its own takes the face's.
        TVec4 faceNormal = FacePlaneNormal(m_doc, face);
        Negate(faceNormal, true, true, true);
        m_loop.clear();
        m_loopNormals.clear();
        m_loopUvs.clear();
        for (int32_t r = range.First; r < range.First + range.Count; ++r) {
          const TFvrtRecord& corner = m_doc.FVRT[r];
          const TPoint3* n = m_doc.VtnmAt(corner.Vtnm);
          const TPoint3 p = *m_doc.VertAt(corner.Vert);
          TPoint3 normal = n ? *n : ToPoint3(faceNormal);
          // A face with no area has no plane normal, and a damaged record may hold NaN:
          // no reader takes a NaN, so such a corner goes out without a direction.
          if (!std::isfinite(normal.x) || !std::isfinite(normal.y) || !std::isfinite(normal.z)) {
            normal = {0.0f, 0.0f, 0.0f};
            ++m_zeroNormals;
          }
          m_loop.push_back(p);
          m_loopNormals.push_back(normal);
          m_loopUvs.push_back({corner.Tx, corner.Ty});
        }
        const auto put = [&](size_t k) {
          mesh.Positions.push_back(zUp ? ToZUp(m_loop[k]) : m_loop[k]);
          mesh.Normals.push_back(zUp ? ToZUp(m_loopNormals[k]) : m_loopNormals[k]);
          mesh.Uvs.push_back(m_loopUvs[k].first);
          mesh.Uvs.push_back(m_loopUvs[k].second);
        };
        if (!m_format.Triangles) {
          mesh.FaceSizes.push_back(static_cast<uint32_t>(range.Count));
          for (size_t k = 0; k < m_loop.size(); ++k) put(k);
          continue;
        }
        // The writer's own triangulation fans from the first corner: a corner on a
        // straight edge then makes a triangle without area.
        for (const auto& triangle : TriangulateWithoutSlivers(m_loop)) {
          mesh.FaceSizes.push_back(3);
          for (const int32_t k : triangle) put(static_cast<size_t>(k));
        }
      }
      scene.Meshes.push_back(std::move(mesh));
    }
    if (m_zeroNormals > 0)
      m_report.Warnings.push_back(std::to_string(m_zeroNormals) +
                                  " corners without a usable normal (a face with no area, or a "
                                  "normal that is not a number) went out as 0 0 0");
  }

  // One face's corners at a time.
  std::vector<TPoint3> m_loop, m_loopNormals;
  std::vector<std::pair<float, float>> m_loopUvs;
  const TMeshDocument& m_doc;
  const TExportFormat& m_format;
  const TExportOptions& m_options;
  TExportReport& m_report;
  std::vector<TGroup> m_groups;
  std::unordered_map<int32_t, uint32_t> m_groupIndex;
  int64_t m_zeroNormals = 0;
};

// ---------------------------------------------------------------------------------------
// Bytes between the processes

constexpr char kMagic[8] = {'T', 'V', 'E', 'X', 'P', 'O', 'R', '1'};
constexpr size_t kMaxName = 4096;
// A PNG of the largest texture the game has (and then some).
constexpr size_t kMaxPictureBytes = size_t{256} << 20;

using TWriter = TByteWriter<uint64_t>;

[[noreturn]] void BadScene(const std::string& what) {
  throw EInterchange("The model writer got a damaged scene: " + what);
}
struct TExportDamage {
  void operator()(const std::string& what) const { BadScene(what); }
};
using TReader = TByteReader<uint64_t, TExportDamage>;

void PutPictures(TWriter& out, const std::vector<TExportPicture>& pictures) {
  out.Put(static_cast<uint64_t>(pictures.size()));
  for (const TExportPicture& p : pictures) {
    out.PutText(p.FileName);
    out.PutArray(p.Png);
  }
}

std::vector<TExportPicture> GetPictures(TReader& in, size_t limit) {
  // Each picture takes at least its two counts.
  std::vector<TExportPicture> pictures(in.Count(limit, 16, "pictures"));
  for (TExportPicture& p : pictures) {
    p.FileName = in.GetText(kMaxName);
    p.Png = in.GetArray<uint8_t>(kMaxPictureBytes, "bytes in a picture");
  }
  return pictures;
}

// A name that is to become a file beside the model: no folder, nothing hidden.
bool PlainFileName(const std::string& name) {
  return !name.empty() && name.find('/') == std::string::npos && name != "." && name != ".." &&
         name.find('\0') == std::string::npos;
}

void CheckScene(const TExportScene& s) {
  if (!FindExportFormat(s.FormatId)) BadScene("an unknown format \"" + s.FormatId + "\"");
  if (!PlainFileName(s.FileName)) BadScene("a model file name with a folder");
  size_t corners = 0;
  for (const TExportMesh& m : s.Meshes) {
    const size_t n = m.Positions.size();
    if (m.Normals.size() != n || m.Uvs.size() != 2 * n) BadScene("arrays of unequal length");
    if (m.Material >= s.Materials.size()) BadScene("a mesh without its material");
    size_t used = 0;
    for (uint32_t size : m.FaceSizes) {
      if (size < 3) BadScene("a face of fewer than three corners");
      used += size;
      if (used > n) BadScene("faces past their corners");
    }
    if (used != n) BadScene("corners no face takes");
    corners += n;
    if (corners > kMaxExportCorners) BadScene("more than the corners an export carries");
  }
  for (const TExportMaterial& m : s.Materials) {
    if (m.Texture.empty()) continue;
    if (m.Texture[0] == '*') {
      size_t index = 0;
      for (size_t i = 1; i < m.Texture.size(); ++i) {
        const char c = m.Texture[i];
        if (c < '0' || c > '9' || index > s.Embedded.size()) BadScene("a bad picture index");
        index = index * 10 + static_cast<size_t>(c - '0');
      }
      if (m.Texture.size() < 2 || index >= s.Embedded.size())
        BadScene("a picture index past the pictures");
    } else if (!PlainFileName(m.Texture)) {
      BadScene("a texture name with a folder");
    }
  }
  for (const TExportPicture& p : s.Beside) {
    if (!PlainFileName(p.FileName)) BadScene("a picture name with a folder");
  }
}

}  // namespace

const std::vector<TExportFormat>& ExportFormatTable() { return kFormats; }

const TExportFormat* FindExportFormat(const std::string& id) {
  for (const TExportFormat& f : kFormats) {
    if (id == f.Id) return &f;
  }
  return nullptr;
}

const char* RefusedExportFormat(const std::string& id) {
  for (const auto& [refused, why] : kRefused) {
    if (id == refused) return why;
  }
  return nullptr;
}

TExportScene BuildExportScene(const TMeshDocument& doc, const TExportFormat& format,
                              const TExportOptions& options, TExportReport& report) {
  return TSceneBuilder(doc, format, options, report).Build();
}

std::string EncodeExportScene(const TExportScene& scene) {
  TWriter out;
  for (char c : kMagic) out.Put(c);
  out.PutText(scene.FormatId);
  out.PutText(scene.FileName);
  out.Put(static_cast<uint64_t>(scene.Materials.size()));
  for (const TExportMaterial& m : scene.Materials) {
    out.PutText(m.Name);
    out.PutText(m.Texture);
  }
  out.Put(static_cast<uint64_t>(scene.Meshes.size()));
  for (const TExportMesh& m : scene.Meshes) {
    out.PutText(m.Name);
    out.Put(m.Material);
    out.PutArray(m.Positions);
    out.PutArray(m.Normals);
    out.PutArray(m.Uvs);
    out.PutArray(m.FaceSizes);
  }
  PutPictures(out, scene.Embedded);
  PutPictures(out, scene.Beside);
  return out.Take();
}

TExportScene DecodeExportScene(std::string_view bytes) {
  TReader in(bytes, TExportDamage{}, "cut short");
  for (char c : kMagic) {
    if (in.Get<char>() != c) BadScene("not a scene");
  }
  TExportScene s;
  s.FormatId = in.GetText(kMaxName);
  s.FileName = in.GetText(kMaxName);
  // A material per distinct Mat number, each used by a face; every entry takes two counts.
  s.Materials.resize(in.Count(MeshCapacity + size_t{1}, 16, "materials"));
  for (TExportMaterial& m : s.Materials) {
    m.Name = in.GetText(kMaxName);
    m.Texture = in.GetText(kMaxName);
  }
  // Each mesh takes at least its name's count, its material and four array counts.
  s.Meshes.resize(in.Count(MeshCapacity, 44, "meshes"));
  for (TExportMesh& m : s.Meshes) {
    m.Name = in.GetText(kMaxName);
    m.Material = in.Get<uint32_t>();
    m.Positions = in.GetArray<TPoint3>(kMaxExportCorners, "positions");
    m.Normals = in.GetArray<TPoint3>(kMaxExportCorners, "normals");
    m.Uvs = in.GetArray<float>(2 * kMaxExportCorners, "texture coordinates");
    m.FaceSizes = in.GetArray<uint32_t>(kMaxExportCorners, "faces");
  }
  s.Embedded = GetPictures(in, s.Materials.size());
  s.Beside = GetPictures(in, s.Materials.size());
  if (!in.AtEnd()) BadScene("bytes after the scene");
  CheckScene(s);
  return s;
}

std::string TExportReport::Text() const {
  std::string text =
      "Wrote " + std::to_string(Faces) + " faces as " + QuoteForMessage(FormatId) + ":";
  for (const std::string& f : Files) text += " " + QuotePathForMessage(f);
  text += "\n";
  if (SkippedFaces > 0)
    text += "Left out " + std::to_string(SkippedFaces) +
            " faces with fewer than 3 corners or a missing vertex\n";
  for (const std::string& w : Warnings) text += w + "\n";
  return text;
}
