#pragma once
// The faces of a mesh document as triangles grouped by material, for the OpenGL viewers: a
// viewer binds one texture per batch and draws each batch with one call, instead of
// switching the texture (or uploading it) whenever consecutive faces differ in material.
//
// What stays as the viewers drew it face by face:
//  - Within a batch the faces keep the drawing order (ascending or descending face index);
//    the batches come in the order of their material's first face in that order.
//  - Each face's corners go in reverse record order (FirstFvrt + FvrtCount - 1 down to
//    FirstFvrt), as the viewers send them; a polygon of n corners becomes the fan of n - 2
//    triangles around the first corner sent (for the convex faces of the game, the same
//    pixels as the polygon).
//  - The edge flags mark the polygon's own edges, and OutlineIndices gives them as lines: a
//    wireframe shows each face's outline, not the fan's inner diagonals.
//  - A corner whose vertex index is outside the model is left out, as the viewers left out
//    its vertex; corners outside the FVRT records in use are left out (FaceCorners); a face
//    left with fewer than 3 corners draws nothing, as a polygon of 2 or fewer draws no area.
//  - Every corner of a face carries the face's normal; a face whose normal index is outside
//    the model gets (0, 0, 1), OpenGL's initial normal.
// Counts outside 0..MeshCapacity are clamped, as the viewers clamp them.

#include <cstdint>
#include <vector>

#include "mesh/MeshDocument.h"

enum class TFaceOrder : uint8_t { Ascending, Descending };

// One material's triangles: vertices FirstVertex .. FirstVertex + VertexCount - 1 of the
// arrays, VertexCount a multiple of 3.
struct TFaceBatch {
  int32_t Material = 0;
  int32_t FirstVertex = 0;
  int32_t VertexCount = 0;
  int32_t FaceCount = 0;  // faces drawn in the batch (those with 3 or more corners)
};

struct TFaceBatches {
  std::vector<float> Positions;    // x, y, z per vertex
  std::vector<float> Normals;      // x, y, z per vertex: the face's normal
  std::vector<float> TexCoords;    // Tx, Ty per vertex
  std::vector<uint8_t> EdgeFlags;  // 1: the edge from this vertex to the next is the face's
  std::vector<TFaceBatch> Batches;

  int32_t VertexCount() const { return static_cast<int32_t>(EdgeFlags.size()); }
};

// The polygons' own edges as pairs of vertex indices into the batches' arrays (GL_LINES),
// in vertex order: for each flagged vertex of a triangle, the edge to the triangle's next
// vertex.
std::vector<uint32_t> OutlineIndices(const TFaceBatches& batches);

// The document's faces in `order`. byMaterial: one batch per material; otherwise one batch of
// every face, named after the first face's material (0 when there is none).
TFaceBatches BuildFaceBatches(const TMeshDocument& doc, TFaceOrder order, bool byMaterial);
