#pragma once
// Meshes in and out of the tools modders use, through the Assimp library: every format it
// reads comes in as the mesh document, and the document goes out as OBJ with its material
// library, glTF 2.0 (.gltf with .bin, or .glb), PLY, STL, COLLADA and the other formats
// Assimp writes. The game's own OBJ flavour stays with "Output obj" (mesh/ObjExport.h).
//
// Import (ReadModel, then CommitImport; ImportModel does both)
//  - Every mesh of the scene (of the objects asked for), each instance under its node's
//    accumulated transform (normals under the inverse transpose). The faces of three or
//    more corners become planar convex FACEs over consecutive FVRTs, rebuilt as
//    interchange/GameReady.h says (cut where warped or concave, neighbours merged, --fit
//    when over the arrays); points and lines are left out and counted in the report.
//  - VERT holds the distinct transformed positions (equal bit patterns share a record).
//    Each corner's Tx/Ty are the file's first texture coordinate set as Assimp gives it:
//    v grows upwards, as the game stores Ty.
//  - Normals: when every mesh has them, VTNM holds each face's normal (as "Calc VTNM"
//    computes it from the first three corners) and the corners' normals, deduplicated with
//    the tolerance rule of FindOrAddVtnm. When any mesh lacks them, all normals are computed
//    as "Calc VTNM" does. D of every face as "CALC D"; the radius is the distance of the
//    farthest vertex from the origin.
//  - Materials to Mat numbers (MapMaterials): a material whose name is a number keeps it;
//    else the number of its diffuse texture's file name when that name is eight digits;
//    else a new number from FirstNewMat upward, one per distinct material in order of first
//    use, skipping numbers the first two rules took.
//  - True size and facing: the file's unit applies (an FBX file's UnitScaleFactor); a face
//    under a mirroring transform (negative determinant) has its corner order reversed,
//    first corner kept, so that it still faces outwards; a file whose up axis is z
//    (TImportOptions::Up) is turned so that its z is the game's y: (x, y, z) -> (x, z, -y).
//  - Materials: a Blender duplicate suffix ".001" to ".999" after a number is ignored
//    ("1001.001" is 1001).
//  - Refusals (EInterchange; the document and the record files are left as they were): a
//    file Assimp cannot read (its reason and the file name) or crashes on, loops on or
//    needs too much memory or time for (TImportOptions, each message naming the limit), a
//    file larger than kMaxModelFileSize, a file that refers to another file outside its
//    folder (an OBJ's mtllib, a glTF buffer or image: "..", absolute, a URL, a link that
//    leads out; the reference named), a scene without any polygon, a mesh that needs more
//    than MeshCapacity records in an array without Fit (EModelTooLarge: the counts it
//    needs, how far over each array is, the hint to fit), a corner index out of
//    range, a position, normal or texture coordinate that is not a finite number, and
//    coordinates so large that a face normal, plane distance or the radius would not be
//    one (the first such element named).
//  - CommitImport replaces the document as "Rip mesh" does: the five record files are
//    replaced as one set through the record-file journal (mesh/RecordFiles.h) and loaded.
//
// Export (ExportModel; the formats and their traits in ExportScene.h)
//  - One material per distinct Mat, named with its eight digits (MaterialIdText), in order
//    of first use; its texture is the material folder's texture of that number
//    (images/TextureSource.h) as PNG: "<digits>.png" beside the model for formats that
//    refer to picture files, embedded in a .glb; none for PLY, STL and objnomtl.
//  - One corner per FVRT of a face, with the position of its Vert, the normal of its Vtnm
//    and its Tx/Ty; one mesh per material, its faces in document order. Polygons stay
//    polygons where the format has them and are triangulated for STL, glTF, 3DS and pbrt.
//    Faces with fewer than three existing corners, or with a corner whose Vert does not
//    exist, are left out and counted; a corner whose Vtnm does not exist gets the face's
//    own normal.
//  - Up axis: the game's Y up, or Z up (TExportOptions::ZUp: positions and normals turned
//    a quarter about X, (x, y, z) -> (x, -z, y)). 3DS is Z up by its format whatever the
//    option says (Assimp's reader turns it back).
//  - OBJ goes through our own writer (interchange/ObjWriter.h); every other format through
//    Assimp's writer in the model writer's child process, in a private temporary folder: a
//    writer that crashes or loops ends in EInterchange naming the format.
//  - Before anything is written, the model's path and every file's destination beside it
//    are checked (not a folder, FIFO, device, read-only file or link to nothing): a refused
//    export leaves the folder as it was. The files are put in place only when all of them
//    were made, each through the crash-safe writer, the pictures first and the model last.
//    Unreadable textures do not stop the export: the material goes out without a picture
//    and the report says why.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "images/TextureSource.h"
#include "mesh/MeshDocument.h"
#include "util/Exception.h"

TESSAVOR_DECLARE_EXCEPTION(EInterchange);

// Model files are read whole by Assimp; this keeps a hostile or mistaken choice of file
// from taking the machine's memory.
constexpr uint64_t kMaxModelFileSize = 512ull << 20;

struct TFormatInfo {
  std::string Id;           // Assimp's export format id ("gltf2"); empty for import lists
  std::string Extension;    // without the dot, lower case ("gltf")
  std::string Description;  // "GL Transmission Format v. 2"
};

// What Assimp reads, one entry per extension, sorted by extension.
std::vector<TFormatInfo> ImportFormats();
// The export formats whose output reads back, in the order offered (the Export dialog's).
std::vector<TFormatInfo> ExportFormats();
// The formats export writes but nothing here reads back, each with the reason.
std::vector<std::pair<TFormatInfo, std::string>> WriteOnlyExportFormats();
// The export format id for a file name's extension ("house.glb" -> "glb2"); "" if none.
std::string ExportFormatForFile(const std::string& fileName);

// A model file's up axis: the format's own (Auto: z for a .blend file, the axis an FBX
// file's settings name, COLLADA's up_axis, else y), or y or z whatever the file says.
enum class TUpAxis { Auto, Y, Z };

// "auto", "y" or "z" (as --up and the editor's question take it); false for anything else.
bool ParseUpAxis(const std::string& text, TUpAxis& axis);

struct TImportOptions {
  int32_t FirstNewMat = 70000;
  // A file whose up axis is z (a .blend file; PLY and STL from Blender, with Z) is turned
  // to the game's y up.
  TUpAxis Up = TUpAxis::Auto;
  // Assimp reads the file in the model reader's child process (interchange/SceneData.h),
  // found in the program folder: a file that makes it crash, loop or take the machine's
  // memory ends in EInterchange, not in the editor's end. The limits: wall time, memory
  // (0: ImportMemoryLimit of the file's size), and a flag that stops the read (Cancel).
  double TimeLimitSeconds = 60.0;
  uint64_t MemoryLimitBytes = 0;
  const std::atomic<bool>* Cancel = nullptr;
  // Game-ready records (interchange/GameReady.h): only these objects (all when empty);
  // simplify a model over the record arrays until it fits.
  std::vector<std::string> Objects;
  bool Fit = false;
  // The textures of the numbered materials go into this folder (the editor's MatPath, a
  // plain prefix) as "<8 digits>.mat" and ".bmp"; none are written when it is empty. An
  // existing texture of a number is kept unless ReplaceTextures. Pictures other than the
  // core's own (PNG, JPEG, BMP) are decoded by LoadForeignPicture.
  std::string MaterialFolder;
  bool ReplaceTextures = false;
  TForeignPictureLoader LoadForeignPicture;
};

// The model reader's memory for a file of `fileSize` bytes: 1 GiB and 64 times the size,
// at most 4 GiB. A small file that claims a huge array is stopped early, while a large
// scene has room for Assimp's own copies of it.
uint64_t ImportMemoryLimit(uint64_t fileSize);

struct TImportReport {
  std::string FileName;
  int32_t NumVert = 0, NumVtnm = 0, NumFvrt = 0, NumFace = 0;
  int32_t Meshes = 0;         // mesh instances taken
  int64_t SkippedPoints = 0;  // point primitives left out
  int64_t SkippedLines = 0;   // line primitives left out
  bool NormalsComputed = false;
  // Material name -> number, in order of first use.
  std::vector<std::pair<std::string, int32_t>> Materials;
  // Faces rebuilt, the fit, each texture written or kept: one line each.
  std::vector<std::string> Notes;
  // Lines for the user: counts, what was left out, the material mapping.
  std::string Text() const;
};

// Where a material's picture comes from: a file named by the model (relative to the model's
// folder) or the bytes of a picture embedded in it (PNG, JPEG, ...; Hint is the format's
// extension when the file gives one).
struct TSceneTexture {
  std::string Path;
  std::string Embedded;
  std::string Hint;
};

// The imported mesh in arrays of its own: the document is only touched by CommitImport.
struct TImportedMesh {
  std::vector<TPoint3> Verts, Vtnms;
  std::vector<TFvrtRecord> Fvrts;
  std::vector<TFaceRecord> Faces;
  float Radius = 0.0f;
  // Each numbered material's picture, and the model's folder its file names are under.
  std::vector<std::pair<int32_t, TSceneTexture>> Textures;
  std::string ModelFolder;
};

// Reads and converts a model file (see the top of this file). Raises EInterchange.
TImportedMesh ReadModel(const std::string& path, const TImportOptions& options,
                        TImportReport& report);
// Replaces the document with `mesh`: the record files are written, then loaded. Raises
// EInOutError naming the file that could not be written; nothing changed then.
void CommitImport(TMeshDocument& doc, const TImportedMesh& mesh);
// Before the commit: the folder of options.MaterialFolder is made (with its parents) when
// the mesh has textures to write and it does not exist. Raises EInterchange when it cannot
// be made: nothing has changed then.
void MakeTextureFolder(const TImportedMesh& mesh, const TImportOptions& options);
// After the commit: the textures into options.MaterialFolder (interchange/ImportTextures.h).
void WriteImportTextures(const TImportedMesh& mesh, const TImportOptions& options,
                         TImportReport& report);

// The objects of a model file, for "import MODEL --list" and the editor's choice: one line
// each with its name, faces and materials; their names into `names` when given. Raises
// EInterchange as ReadModel does.
std::string ListModelObjects(const std::string& path, const TImportOptions& options = {},
                             std::vector<std::string>* names = nullptr);

// The one entry point for the editor and the command line: ReadModel, then CommitImport.
TImportReport ImportModel(TMeshDocument& doc, const std::string& path,
                          const TImportOptions& options = {});

struct TExportOptions {
  std::string FormatId;  // Assimp's id; empty: from the file name's extension
  std::string MaterialFolder = "./";
  TForeignPictureLoader LoadForeignPicture;  // for ".bmp" textures; may be empty
  bool ZUp = false;                          // write Z up instead of the game's Y up
  // The model writer's child process (Assimp's writers): its time limit and a flag that
  // stops it.
  double TimeLimitSeconds = 120.0;
  const std::atomic<bool>* Cancel = nullptr;
};

struct TExportReport {
  std::string FormatId;
  std::vector<std::string> Files;  // every file written, the model first
  int32_t Faces = 0;               // faces written
  int32_t SkippedFaces = 0;
  std::vector<std::string> Warnings;  // textures not found or not readable
  std::string Text() const;
};

// Writes the document (see the top of this file). Raises EInterchange for an unknown
// format, an export Assimp refuses or a writer that crashed, EInOutError when a file
// cannot be written or a destination is refused (nothing is written then).
TExportReport ExportModel(const TMeshDocument& doc, const std::string& path,
                          const TExportOptions& options = {});
