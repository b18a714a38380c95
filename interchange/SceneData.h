#pragma once
// The import in two halves. Assimp reads the file in a child process, the program
// tessavor-model-reader (interchange/reader/, run through util/Isolate.h), which gathers
// what the mesh needs into a TGatheredScene: distinct transformed positions, corners,
// polygons and the materials in order of first use. The scene travels to the editor's
// process as bytes (EncodeScene), where DecodeScene checks every count and index
// before anything is built, and BuildImportedMesh does the document work (material
// numbers, normals, plane distances). A damaged file can so at worst end the child.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "interchange/Interchange.h"

struct TSceneCorner {
  int32_t Vert = 0;  // index in TGatheredScene::Verts
  float Tx = 0.0f, Ty = 0.0f;
  TPoint3 Normal{0.0f, 0.0f, 0.0f};
};

struct TSceneFace {
  int32_t First = 0, Count = 0;  // corners First .. First + Count - 1, Count >= 3
  uint32_t Material = 0;         // index in TGatheredScene::Materials
  // Where it came from, for messages: TGatheredScene::MeshNames and the face in that mesh.
  uint32_t Mesh = 0;
  int32_t FileFace = 0;
};

struct TSceneMaterial {
  std::string Name;
  // The diffuse and base-colour texture names, each followed by the name its embedded
  // picture had: the first that is eight digits gives the material its number.
  std::vector<std::string> TextureNames;
};

struct TGatheredScene {
  std::vector<TPoint3> Verts;
  std::vector<TSceneCorner> Corners;
  std::vector<TSceneFace> Faces;
  std::vector<TSceneMaterial> Materials;  // in order of first use
  std::vector<std::string> MeshNames;     // one per mesh instance with polygons
  int32_t Meshes = 0;
  int64_t SkippedPoints = 0, SkippedLines = 0;
  bool MissingNormals = false;
  // The file's objects (node names, in order of first use) and the object of each face;
  // one picture per material (empty when it has none).
  std::vector<std::string> Objects;
  std::vector<uint32_t> FaceObjects;
  std::vector<TSceneTexture> Textures;
};

// The model reader's program name (in the program folder), its options for a file whose up
// axis is z or y (without either it takes the file's own), and its exit statuses: the scene's bytes
// on standard output, a message, a wrong call or an output it could not write, and memory refused
// at its limit.
inline constexpr const char* kModelReaderProgram = "tessavor-model-reader";
inline constexpr const char* kModelReaderZUp = "--up-z";
inline constexpr const char* kModelReaderYUp = "--up-y";
constexpr int kModelReaderScene = 0, kModelReaderMessage = 1, kModelReaderUsage = 2,
              kModelReaderOutOfMemory = 3;

// The longest material or texture name carried, and the most texture names per material.
constexpr size_t kMaxSceneName = 4096;
constexpr size_t kMaxTextureNames = 8;
// The most corners, polygons or positions a scene carries between the processes: far past
// the record arrays, so that --fit and --list see models over them; and the largest
// embedded picture carried.
constexpr size_t kMaxSceneRecords = size_t{64} * MeshCapacity;
constexpr size_t kMaxScenePicture = size_t{64} << 20;

// The radius the import gives a model: the distance of its farthest vertex from the origin
// (computed in double, so only positions near the float range's end give no finite number).
float FarthestReach(const std::vector<TPoint3>& verts);

// The two messages of a refused import, for both halves: a file that cannot be read
// ("Cannot import "F": why") and a mesh the editor will not take ("F" what; nothing was
// imported).
EInterchange CannotImport(const std::string& fileName, const std::string& why);
EInterchange RefusedImport(const std::string& fileName, const std::string& what);

// A place in the file for messages: "corner 2 of face 5 of mesh "Cube"" (counted from 1;
// corner 0 leaves the corner out; face 0 is a face that --fit made, of no single face).
std::string SceneElement(const std::string& meshName, int64_t face, int64_t corner = 0);

// Raises EInterchange for a scene whose coordinates are finite but so large that the radius,
// or a face's normal or plane distance from its first three corners, would not be, naming
// the first such face. The import checks it before the faces are rebuilt (whose plane
// tests would take such numbers for planes) and BuildImportedMesh again on the faces it
// builds.
void CheckSceneNumbers(const TGatheredScene& scene, const std::string& fileName);

std::string EncodeScene(const TGatheredScene& scene);
// Raises EInterchange naming `fileName` on bytes that are not a well-formed scene: any
// count past kMaxSceneRecords, an index out of range, polygons whose corners do not follow
// one another in order, a position, normal or texture coordinate that is not finite, bytes
// missing or left over.
TGatheredScene DecodeScene(std::string_view bytes, const std::string& fileName);

// The Mat number of each entry of scene.Materials, by the rules Interchange.h gives; adds
// each name and number to report.Materials.
std::vector<int32_t> MapMaterials(const TGatheredScene& scene, const TImportOptions& options,
                                  TImportReport& report);

// Material numbers, normals, D and radius as Interchange.h describes; fills the report's
// counts and material list. Raises EInterchange for a scene without polygons, and for one
// whose face normals, plane distances or radius come out as no finite number (coordinates
// near the float range's end), naming the first such face.
TImportedMesh BuildImportedMesh(const TGatheredScene& scene, const TImportOptions& options,
                                TImportReport& report);
