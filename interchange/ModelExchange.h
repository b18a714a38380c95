#pragma once
// The exchange with the Blender add-on (plugins/blender/): a game model's mesh goes out as
// JSON text and an edited mesh comes back as JSON text, so that the add-on needs no IFF and
// no record layout of its own, only Python's json module. Both documents are written and
// read here, on the add-on's side only through `tessavor-cli mesh-to-json` and
// `mesh-from-json`.
//
// Out (ModelMeshJson): the records of the model's first VERT, VTNM, FVRT, FACE and RADI
// chunks as they are, one array each:
//   {"format": "tessavor-mesh", "version": 1, "source": MODEL, "radius": R,
//    "vert": [[x, y, z], ...], "vtnm": [[x, y, z], ...], "fvrt": [[vert, vtnm, tx, ty], ...],
//    "face": [[vtnm, d, mat, first, count, reserved1, reserved2], ...]}
// Every float is written as the double of the same value (shortest form that reads back),
// so a reader that stores it as a float32 gets the record's bits. A model whose records hold
// a number that is not finite is refused (JSON has no such number).
//
// Back (ParseEditedMesh): the mesh as Blender holds it, in the game's axes, with what the
// import kept:
//   {"format": "tessavor-edit", "version": 1, "source": MODEL or "", "radius": R or null,
//    "vtnm": [[x, y, z], ...]                      the normals table the import kept,
//    "vert": [[x, y, z], ...], "vert_source": [i or -1, ...],
//    "materials": [{"name": NAME, "picture": FILE or ""}, ...],
//    "faces": [{"material": m, "source": i or -1, "vtnm": n, "d": D,
//               "reserved": [r1, r2], "corners": [[vert, tx, ty, nx, ny, nz, vtnm], ...]}]}
// A picture is a file name relative to the document's folder.
//
// The edited mesh becomes records (BuildEditedModel):
//  - Unchanged structure (every vertex and face at its source index, each face with the
//    source's corners in order): the source's records with the vertex positions, texture
//    coordinates and material numbers taken from Blender. Nothing else changes, so an
//    unedited mesh gives the source file byte for byte.
//  - A vertex that moved: its VERT record, and for every face that uses it the face normal
//    and D, the corner normals at that face (a corner that had the face's normal gets the
//    new one, the others their vertex normal as "Calc VTNM" computes it) and the smooth
//    corner normals at its vertices; a normal that still matches its record (the tolerance
//    of "Calc VTNM") keeps it, a new one is added at the end of VTNM. The radius grows when
//    a vertex moved past it.
//  - New or changed faces go through the game-ready import (interchange/GameReady.h):
//    planar convex faces; the faces that kept their source come first, in Blender's order,
//    the new ones after them, and VERT is Blender's vertices in Blender's order. Over the
//    record arrays, with Fit, the whole mesh is made again by the game-ready import.
//  - Without a source, a new model: the game-ready import of the whole mesh, written as the
//    mesh script compiles it (FORM MESH of the five chunks).
//  - Materials get their numbers as the import gives them (MapMaterials); their pictures go
//    into the material folder as the import writes them (WriteImportTextures).
//
// Bad input: the document is bounded by kMaxExchangeBytes; every count, index and number
// is checked (EModelExchange naming the element) before a record is made.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "interchange/Interchange.h"
#include "mesh/Records.h"
#include "util/Exception.h"

TESSAVOR_DECLARE_EXCEPTION(EModelExchange);

constexpr uint64_t kMaxExchangeBytes = uint64_t{256} << 20;

// The JSON text of the mesh of a model file's bytes (see above). `source` is the path the
// document names. Raises EModelExchange for a model without the chunks, or with a number
// that is not finite.
std::string ModelMeshJson(std::span<const uint8_t> model, const std::string& source);

struct TEditedCorner {
  int32_t Vert = 0;
  float Tx = 0.0f, Ty = 0.0f;
  TPoint3 Normal{0.0f, 0.0f, 0.0f};
  int32_t Vtnm = -1;
};

struct TEditedFace {
  int32_t Material = 0;
  int32_t Source = -1;
  int32_t Vtnm = -1;
  float D = 0.0f;
  int32_t Reserved1 = 0;
  uint32_t Reserved2 = 0;
  int32_t First = 0, Count = 0;  // in TEditedMesh::Corners
};

struct TEditedMaterial {
  std::string Name;
  std::string Picture;
};

struct TEditedMesh {
  std::string Source;
  bool HasRadius = false;
  float Radius = 0.0f;
  std::vector<TPoint3> Vtnms;
  std::vector<TPoint3> Verts;
  std::vector<int32_t> VertSources;
  std::vector<TEditedMaterial> Materials;
  std::vector<TEditedCorner> Corners;
  std::vector<TEditedFace> Faces;
};

// Raises EModelExchange naming `fileName` and the element at fault.
TEditedMesh ParseEditedMesh(std::string_view json, const std::string& fileName);

struct TEditedModel {
  std::vector<uint8_t> Bytes;  // the model file
  TImportedMesh Mesh;          // its records, and the pictures to write
  TImportReport Report;        // materials, notes
  bool KeptStructure = false;  // the source's records, patched
  int32_t MovedVerts = 0, NewFaces = 0, DroppedFaces = 0;
};

// The model file of `mesh` (see above). `sourceBytes` is the source model's file (empty for
// a new model); `folder` is where the pictures' names are. Raises EModelExchange,
// EModelTooLarge (without options.Fit) and EInterchange as the import does.
TEditedModel BuildEditedModel(const TEditedMesh& mesh, std::span<const uint8_t> sourceBytes,
                              const std::string& folder, const TImportOptions& options);
