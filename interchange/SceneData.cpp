// The gathered scene: its bytes between the processes, and the mesh built from it.
#include "interchange/SceneData.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

#include "interchange/ByteCodec.h"
#include "interchange/GameReady.h"
#include "mesh/Normals.h"
#include "mesh/Vector.h"
#include "util/StrTools.h"

namespace {

constexpr char kMagic[8] = {'T', 'V', 'S', 'C', 'E', 'N', 'E', '3'};

using TWriter = TByteWriter<uint32_t>;

// Damage in the reader's bytes is the import's refusal, naming the model file.
struct TSceneDamage {
  const std::string& FileName;
  void operator()(const std::string& what) const {
    throw CannotImport(FileName, "the model reader gave " + what);
  }
};
using TReader = TByteReader<uint32_t, TSceneDamage>;

bool Finite(const TPoint3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

void CheckScene(const TGatheredScene& s, const TReader& reader) {
  for (const TPoint3& p : s.Verts) {
    if (!Finite(p)) reader.Bad("a position that is not a finite number");
  }
  for (const TSceneCorner& c : s.Corners) {
    if (c.Vert < 0 || static_cast<size_t>(c.Vert) >= s.Verts.size())
      reader.Bad("a corner past the positions");
    if (!std::isfinite(c.Tx) || !std::isfinite(c.Ty))
      reader.Bad("a texture coordinate that is not a finite number");
    if (!Finite(c.Normal)) reader.Bad("a normal that is not a finite number");
  }
  // The reader writes each polygon's corners after the previous one's: the rebuilding of
  // faces links corners to their one face and relies on it.
  size_t following = 0;
  for (const TSceneFace& f : s.Faces) {
    if (f.First < 0 || f.Count < 3 || static_cast<size_t>(f.First) > s.Corners.size() ||
        static_cast<size_t>(f.Count) > s.Corners.size() - static_cast<size_t>(f.First))
      reader.Bad("a polygon past the corners");
    if (static_cast<size_t>(f.First) != following)
      reader.Bad("polygons whose corners do not follow one another");
    following += static_cast<size_t>(f.Count);
    if (f.Material >= s.Materials.size()) reader.Bad("a polygon with no material entry");
    if (f.Mesh >= s.MeshNames.size()) reader.Bad("a polygon of no mesh");
  }
  if (following != s.Corners.size()) reader.Bad("corners of no polygon");
  if (!s.FaceObjects.empty() && s.FaceObjects.size() != s.Faces.size())
    reader.Bad("object indices that do not match the polygons");
  for (const uint32_t o : s.FaceObjects) {
    if (o >= s.Objects.size()) reader.Bad("a polygon with no object entry");
  }
  if (s.Meshes < 0 || s.SkippedPoints < 0 || s.SkippedLines < 0) reader.Bad("negative counts");
}

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

// Blender names the copy of material "1001" "1001.001", up to ".999": the copy keeps the
// number.
std::string_view WithoutDuplicateSuffix(std::string_view name) {
  const size_t n = name.size();
  if (n < 5 || name[n - 4] != '.' || name.substr(n - 3) == "000") return name;
  for (size_t i = n - 3; i < n; ++i) {
    if (name[i] < '0' || name[i] > '9') return name;
  }
  return name.substr(0, n - 4);
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

}  // namespace

std::vector<int32_t> MapMaterials(const TGatheredScene& scene, const TImportOptions& options,
                                  TImportReport& report) {
  const size_t n = scene.Materials.size();
  std::vector<int32_t> mats(n, 0);
  std::vector<bool> known(n, false);
  std::unordered_set<int32_t> taken;
  for (size_t i = 0; i < n; ++i) {
    const TSceneMaterial& m = scene.Materials[i];
    int32_t mat = 0;
    bool found = ParseMaterialNumber(WithoutDuplicateSuffix(m.Name), mat);
    for (size_t t = 0; !found && t < m.TextureNames.size(); ++t)
      found = TextureFileNumber(m.TextureNames[t], mat);
    if (found) {
      mats[i] = mat;
      known[i] = true;
      taken.insert(mat);
    }
  }
  int64_t next = options.FirstNewMat;
  for (size_t i = 0; i < n; ++i) {
    if (!known[i]) {
      while (taken.count(static_cast<int32_t>(next)) && next < INT32_MAX) ++next;
      if (next > INT32_MAX)
        throw RefusedImport(report.FileName, "has more materials than numbers are left above " +
                                                 std::to_string(options.FirstNewMat));
      mats[i] = static_cast<int32_t>(next++);
      taken.insert(mats[i]);
    }
    report.Materials.emplace_back(scene.Materials[i].Name, mats[i]);
  }
  return mats;
}

namespace {

EInterchange NotFiniteFace(const TGatheredScene& scene, const TSceneFace& face,
                           const std::string& fileName, const char* what) {
  return RefusedImport(fileName, "has " + SceneElement(scene.MeshNames[face.Mesh], face.FileFace) +
                                     " whose coordinates give " + what +
                                     " that is not a finite number");
}

EInterchange FarPositions(const std::string& fileName) {
  return RefusedImport(fileName,
                       "has positions too far from the origin for a radius that is a finite "
                       "number");
}

// Positions near the end of the float range are finite, yet a cross product or a plane
// distance of them is not: the first face that gets such a number is named.
// Checked before the normals are looked up, as NaN never matches a normal already there;
// `computed` afterwards, when the corner normals are in the document.
void CheckComputedNumbers(const TGatheredScene& scene, const TMeshDocument& doc,
                          const std::string& fileName, bool computed) {
  for (int32_t f = 0; f < doc.NumFace; ++f) {
    const TFaceRecord& face = doc.FACE[f];
    const char* what = nullptr;
    if (!computed) {
      TVec4 p1;
      const TVec4 n = FacePlaneNormal(doc, face, &p1);
      if (!Finite(ToPoint3(n))) what = "a face normal";
      if (!what && !std::isfinite(Dot(n, p1))) what = "a plane distance";
    }
    for (int32_t r = face.FirstFvrt; computed && !what && r < face.FirstFvrt + face.FvrtCount;
         ++r) {
      if (!Finite(doc.VTNM[doc.FVRT[r].Vtnm])) what = "a corner normal";
    }
    if (what) {
      throw NotFiniteFace(scene, scene.Faces[static_cast<size_t>(f)], fileName, what);
    }
  }
}

}  // namespace

float FarthestReach(const std::vector<TPoint3>& verts) {
  double farthest = 0.0;
  for (const TPoint3& p : verts)
    farthest = std::max(farthest, double{p.x} * p.x + double{p.y} * p.y + double{p.z} * p.z);
  return static_cast<float>(std::sqrt(farthest));
}

EInterchange CannotImport(const std::string& fileName, const std::string& why) {
  return EInterchange("Cannot import \"" + QuotePathForMessage(fileName) + "\": " + why);
}

EInterchange RefusedImport(const std::string& fileName, const std::string& what) {
  return EInterchange("\"" + QuotePathForMessage(fileName) + "\" " + what +
                      "; nothing was imported");
}

std::string SceneElement(const std::string& meshName, int64_t face, int64_t corner) {
  if (face <= 0) return "a face simplified from mesh \"" + QuoteForMessage(meshName) + "\"";
  std::string text = corner > 0 ? "corner " + std::to_string(corner) + " of " : "";
  return text + "face " + std::to_string(face) + " of mesh \"" + QuoteForMessage(meshName) + "\"";
}

void CheckSceneNumbers(const TGatheredScene& scene, const std::string& fileName) {
  if (!std::isfinite(FarthestReach(scene.Verts))) throw FarPositions(fileName);
  for (const TSceneFace& f : scene.Faces) {
    const auto corner = [&](int32_t k) {
      return Make(
          scene.Verts[static_cast<size_t>(scene.Corners[static_cast<size_t>(f.First + k)].Vert)]);
    };
    const TVec4 p1 = corner(0);
    const TVec4 n = PlaneNormal(p1, corner(1), corner(2));
    const char* what = nullptr;
    if (!Finite(ToPoint3(n))) what = "a face normal";
    if (!what && !std::isfinite(Dot(n, p1))) what = "a plane distance";
    if (what) throw NotFiniteFace(scene, f, fileName, what);
  }
}

std::string EncodeScene(const TGatheredScene& scene) {
  TWriter out;
  for (char c : kMagic) out.Put(c);
  out.PutArray(scene.Verts);
  out.PutArray(scene.Corners);
  out.PutArray(scene.Faces);
  out.Put(static_cast<uint32_t>(scene.Materials.size()));
  for (const TSceneMaterial& m : scene.Materials) {
    out.PutText(m.Name);
    out.Put(static_cast<uint32_t>(m.TextureNames.size()));
    for (const std::string& name : m.TextureNames) out.PutText(name);
  }
  out.Put(static_cast<uint32_t>(scene.MeshNames.size()));
  for (const std::string& name : scene.MeshNames) out.PutText(name);
  out.Put(scene.Meshes);
  out.Put(scene.SkippedPoints);
  out.Put(scene.SkippedLines);
  out.Put(static_cast<uint8_t>(scene.MissingNormals));
  out.Put(static_cast<uint32_t>(scene.Objects.size()));
  for (const std::string& name : scene.Objects) out.PutText(name);
  out.PutArray(scene.FaceObjects);
  out.Put(static_cast<uint32_t>(scene.Textures.size()));
  for (const TSceneTexture& t : scene.Textures) {
    out.PutText(t.Path);
    out.PutText(t.Hint);
    out.Put(static_cast<uint32_t>(t.Embedded.size()));
    out.Append(t.Embedded);
  }
  return out.Take();
}

TGatheredScene DecodeScene(std::string_view bytes, const std::string& fileName) {
  TReader in(bytes, TSceneDamage{fileName}, "a scene cut short");
  for (char c : kMagic) {
    if (in.Get<char>() != c) in.Bad("something that is not a scene");
  }
  const size_t capacity = kMaxSceneRecords;
  TGatheredScene s;
  s.Verts = in.GetArray<TPoint3>(capacity, "positions");
  s.Corners = in.GetArray<TSceneCorner>(capacity, "corners");
  s.Faces = in.GetArray<TSceneFace>(capacity, "polygons");
  // Each material is first used by a polygon, and takes at least eight bytes.
  const size_t materials = in.Count(s.Faces.size(), 8, "materials");
  s.Materials.resize(materials);
  for (TSceneMaterial& m : s.Materials) {
    m.Name = in.GetText(kMaxSceneName);
    const size_t names = in.Count(kMaxTextureNames, 4, "texture names");
    m.TextureNames.resize(names);
    for (std::string& name : m.TextureNames) name = in.GetText(kMaxSceneName);
  }
  // Each mesh has a polygon, and its name takes at least four bytes.
  s.MeshNames.resize(in.Count(s.Faces.size(), 4, "meshes"));
  for (std::string& name : s.MeshNames) name = in.GetText(kMaxSceneName);
  s.Meshes = in.Get<int32_t>();
  s.SkippedPoints = in.Get<int64_t>();
  s.SkippedLines = in.Get<int64_t>();
  const auto missing = in.Get<uint8_t>();
  if (missing > 1) in.Bad("a flag that is neither 0 nor 1");
  s.MissingNormals = missing != 0;
  s.Objects.resize(in.Count(kMaxSceneRecords, 4, "objects"));
  for (std::string& name : s.Objects) name = in.GetText(kMaxSceneName);
  s.FaceObjects = in.GetArray<uint32_t>(s.Faces.size(), "object indices");
  s.Textures.resize(in.Count(s.Materials.size(), 12, "textures"));
  for (TSceneTexture& t : s.Textures) {
    t.Path = in.GetText(kMaxSceneName);
    t.Hint = in.GetText(kMaxSceneName);
    t.Embedded = in.GetText(kMaxScenePicture, "bytes in a picture");
  }
  if (!in.AtEnd()) in.Bad("bytes after the scene");
  CheckScene(s, in);
  return s;
}

TImportedMesh BuildImportedMesh(const TGatheredScene& scene, const TImportOptions& options,
                                TImportReport& report) {
  report.Meshes = scene.Meshes;
  report.SkippedPoints = scene.SkippedPoints;
  report.SkippedLines = scene.SkippedLines;
  // The arrays as they come (PrepareScene has dropped what no corner uses).
  CheckRecordCapacity(
      {static_cast<int64_t>(scene.Verts.size()), static_cast<int64_t>(scene.Corners.size()),
       static_cast<int64_t>(scene.Faces.size())},
      report.FileName);
  if (scene.Faces.empty()) {
    std::string what = "has no polygons";
    if (scene.SkippedPoints > 0 || scene.SkippedLines > 0) {
      what += " (only " + std::to_string(scene.SkippedPoints) + " points and " +
              std::to_string(scene.SkippedLines) + " lines)";
    }
    throw RefusedImport(report.FileName, what);
  }
  const std::vector<int32_t> mats = MapMaterials(scene, options, report);

  // The document's arrays do the normal and plane work, so the import computes exactly
  // what "Calc VTNM" and "CALC D" would; it is a scratch document, not the user's.
  auto scratch = std::make_unique<TMeshDocument>();
  TMeshDocument& doc = *scratch;
  doc.ShowData = false;
  doc.NumVert = static_cast<int32_t>(scene.Verts.size());
  std::copy(scene.Verts.begin(), scene.Verts.end(), doc.VERT.get());
  doc.NumFvrt = static_cast<int32_t>(scene.Corners.size());
  for (size_t i = 0; i < scene.Corners.size(); ++i) {
    const TSceneCorner& c = scene.Corners[i];
    doc.FVRT[i] = {c.Vert, 0, c.Tx, c.Ty};
  }
  doc.NumFace = static_cast<int32_t>(scene.Faces.size());
  for (size_t i = 0; i < scene.Faces.size(); ++i) {
    const TSceneFace& f = scene.Faces[i];
    doc.FACE[i] = {0, 0.0f, mats[f.Material], f.First, f.Count, 0, kEditorReserved2};
  }
  CheckComputedNumbers(scene, doc, report.FileName, false);
  try {
    if (scene.MissingNormals) {
      report.NormalsComputed = true;
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
        doc.FVRT[r].Vtnm = lookup.FindOrAdd(scene.Corners[static_cast<size_t>(r)].Normal);
    }
  } catch (const EMeshDocument&) {
    throw RefusedImport(report.FileName,
                        "needs more than " + std::to_string(MeshCapacity) + " distinct normals");
  }
  CalcDRecords(doc);
  CheckComputedNumbers(scene, doc, report.FileName, true);

  TImportedMesh out;
  out.Verts.assign(doc.VERT.get(), doc.VERT.get() + doc.NumVert);
  out.Vtnms.assign(doc.VTNM.get(), doc.VTNM.get() + doc.NumVtnm);
  out.Fvrts.assign(doc.FVRT.get(), doc.FVRT.get() + doc.NumFvrt);
  out.Faces.assign(doc.FACE.get(), doc.FACE.get() + doc.NumFace);
  out.Radius = FarthestReach(out.Verts);
  if (!std::isfinite(out.Radius)) throw FarPositions(report.FileName);
  report.NumVert = doc.NumVert;
  report.NumVtnm = doc.NumVtnm;
  report.NumFvrt = doc.NumFvrt;
  report.NumFace = doc.NumFace;
  return out;
}
