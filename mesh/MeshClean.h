#pragma once
// "clean": mends the records a modder already has, so that "check" passes on them, without
// a new import. In this order:
//  1. vertices within the weld distance of an earlier one are merged into it (WeldVertices);
//     only positions merge: corners keep their own texture coordinates, so a texture seam
//     stays a seam. A face left with the same vertex at two corners in a row loses the
//     repeated corner.
//  2. faces whose corners enclose no area (EnclosesArea, mesh/FaceShape.h) are dropped, and
//     faces of fewer than three corners;
//  3. faces over the same vertices in the same order (any first corner) as an earlier face
//     are dropped (a face and its back, the same vertices reversed, are two faces);
//  4. faces whose winding disagrees with their neighbours' (across edges of exactly two
//     faces) are turned, first corner kept: on a closed part of the mesh so that its faces
//     face outwards (the game's normal, "Calc VTNM"'s, points out), elsewhere so that the
//     fewest faces turn;
//  5. vertices no corner uses are dropped, the others keep their order; corners no face
//     holds are dropped, each face gets corners of its own in face order;
//  6. normals and D as "Calc VTNM" computes them (normals no record uses are gone; a corner
//     whose vertex normal cancels to zero takes its face's normal), and the
//     radius as the distance of the farthest vertex from the origin.
// Materials, texture coordinates and the reserved fields of the faces are kept.
//
// Refused (EMeshClean, the document unchanged): vertex indices or corner ranges out of range
// (the lines "check" prints), positions that are not finite numbers, and a result that
// needs more normals than VTNM holds or, where faces shared corners, more corners than FVRT.
// Normal indices out of range are mended: the normals are computed anew.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "mesh/MeshDocument.h"

TESSAVOR_DECLARE_EXCEPTION(EMeshClean);

// The default weld distance, relative to the model's size (PointsSize, mesh/FaceShape.h).
constexpr double kCleanDistance = 1e-4;

// For each point, the index of the point it merges into: the first earlier point (a
// representative, itself unmerged) within `distance`, else itself. A grid of cells of the
// distance's size; linear in the points. A point that is not finite merges with nothing.
std::vector<int32_t> WeldVertices(std::span<const TPoint3> points, double distance);

struct TCleanOptions {
  // The weld distance in model units; negative: kCleanDistance times the model's size.
  double Distance = -1.0;
};

struct TCleanReport {
  double Distance = 0.0;       // the weld distance used
  int64_t MergedVerts = 0;     // vertices merged into another
  int64_t MergedCorners = 0;   // corners dropped as repeats of the one before
  int64_t ZeroAreaFaces = 0;   // faces dropped for enclosing no area
  int64_t DuplicateFaces = 0;  // faces dropped as copies of an earlier face
  int64_t TurnedFaces = 0;     // faces whose corner order was reversed
  int64_t UnusedVerts = 0;     // vertices dropped (no corner used them, after merging)
  int64_t UnusedNormals = 0;   // normals no record used before the recount
  int64_t UnusedCorners = 0;   // corners no face held
  int32_t NumVert = 0, NumVtnm = 0, NumFvrt = 0, NumFace = 0;  // the records after
  // One line per count, then the records after.
  std::string Text() const;
};

// Steps 1 to 6 on the document's records in memory (the lists are not refreshed).
TCleanReport CleanRecords(TMeshDocument& doc, const TCleanOptions& options = {});
// The command and the editor's "Clean up": CleanRecords, then Save with radi.kvt, and Load.
TCleanReport CleanMesh(TMeshDocument& doc, const TCleanOptions& options = {});
