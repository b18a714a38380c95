#pragma once
// The export in two halves. The editor's process turns the document into a TExportScene
// (one mesh per material, a corner per FVRT of each face, the textures as PNG) and checks
// where every file will go; Assimp's writers then run in a child process, the program
// tessavor-model-writer (interchange/writer/), which gets the scene as bytes
// (EncodeExportScene) in a private folder, writes its files there and nothing else. OBJ
// needs no child: our own writer (interchange/ObjWriter.h) writes what Assimp's would.
//
// The formats offered are those whose output reads back (the demo, exported and imported
// again, has the same bounding box and materials); the write-only ones are listed apart
// with the reason, and writers that gave broken files are not offered at all.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "interchange/Interchange.h"

enum class TTextureMode : uint8_t { None, Beside, Embedded };

struct TExportFormat {
  const char* Id;           // Assimp's export format id
  const char* Extension;    // without the dot
  const char* Description;  // as Assimp describes it
  TTextureMode Textures;
  bool Triangles;         // the format holds triangles only
  bool ZUpByFormat;       // the format is Z up whatever --up says (3DS: Assimp's reader turns it)
  bool FlipNormals;       // the writer negates normals (DirectX X): given negated, they land right
  const char* WriteOnly;  // nullptr when the output reads back; else why it does not
};

// Every format export takes, the ones that read back first (in the order offered).
const std::vector<TExportFormat>& ExportFormatTable();
// The entry for an id; nullptr when export does not take it.
const TExportFormat* FindExportFormat(const std::string& id);
// Why export does not take one of Assimp's writers (binary FBX, glTF 1, X3D); nullptr for
// any other id.
const char* RefusedExportFormat(const std::string& id);

struct TExportMaterial {
  std::string Name;     // MaterialIdText of its number
  std::string Texture;  // "" none, a file name beside the model, or "*N" (embedded picture N)
};

struct TExportPicture {
  std::string FileName;  // "00001001.png"
  std::vector<uint8_t> Png;
};

// One mesh per material: corner k of the mesh has Positions[k], Normals[k], Uvs[k]; the
// faces take the corners in order, FaceSizes[f] of them each.
struct TExportMesh {
  std::string Name;
  uint32_t Material = 0;
  std::vector<TPoint3> Positions, Normals;
  std::vector<float> Uvs;  // u, v per corner
  std::vector<uint32_t> FaceSizes;
};

struct TExportScene {
  std::string FormatId;
  std::string FileName;  // the model's file name, without a folder
  std::vector<TExportMaterial> Materials;
  std::vector<TExportMesh> Meshes;
  std::vector<TExportPicture> Embedded;  // pictures inside the model (GLB)
  std::vector<TExportPicture> Beside;    // pictures written beside the model
};

// The most corners an export carries: faces may share corner runs, so a damaged document
// could otherwise ask for NumFace x NumFvrt corners.
constexpr size_t kMaxExportCorners = size_t{64} * MeshCapacity;

// The document as `format` takes it (see Interchange.h): positions and normals turned
// to Z up when `zUp` or the format asks for it. Raises EInterchange for a mesh past
// kMaxExportCorners.
TExportScene BuildExportScene(const TMeshDocument& doc, const TExportFormat& format,
                              const TExportOptions& options, TExportReport& report);

// The scene's bytes for the model writer, and back. DecodeExportScene checks every count
// against its limit and the bytes present before allocating; raises EInterchange.
std::string EncodeExportScene(const TExportScene& scene);
TExportScene DecodeExportScene(std::string_view bytes);

// The model writer's program name (in the program folder), its request file in the private
// folder, the folder it writes in, and its exit statuses.
inline constexpr const char* kModelWriterProgram = "tessavor-model-writer";
inline constexpr const char* kModelWriterRequest = "scene.tvexport";
inline constexpr const char* kModelWriterOutput = "files";
constexpr int kModelWriterDone = 0, kModelWriterMessage = 1, kModelWriterUsage = 2;
