#pragma once
// Bringing a model that needs more records than the arrays hold (MeshCapacity each of VERT,
// FVRT and FACE) under the limits, with meshoptimizer's simplifier: every run of triangles
// of one material and object is simplified on its own with its border locked, so material
// borders and object outlines stay where they are; meshoptimizer keeps texture seams itself
// (corners at one position with different texture coordinates are kept apart). The
// file's normals do not survive a simplified surface: the fitted model's normals are
// computed as "Calc VTNM" does. After each round the faces are rebuilt (PolygonRebuild.h) and
// counted; a round that still does not fit starts again from the full model with a smaller
// target.

#include <cstdint>

#include "interchange/SceneData.h"

struct TRecordCounts {
  int64_t Verts = 0, Corners = 0, Faces = 0;  // VERT, FVRT, FACE records needed
  bool Fit() const {
    return Verts <= MeshCapacity && Corners <= MeshCapacity && Faces <= MeshCapacity;
  }
};

// The distinct positions the corners use, the corners and the faces.
TRecordCounts CountRecords(const TGatheredScene& scene);

// Drops the positions no corner uses, keeping the order of the others.
void DropUnusedVerts(TGatheredScene& scene);

struct TFitResult {
  TRecordCounts Before, After;
  // The largest distance the surface moved, as meshoptimizer measures it, relative to the
  // model's size (SceneSize).
  double Moved = 0.0;
  int Rounds = 0;
  bool Reached = false;
  // Triangles of the model whose corners lie on one line within the tolerance (no area),
  // of Triangles: a model of such triangles alone has no surface to simplify.
  int64_t Degenerate = 0, Triangles = 0;
};

// `scene` holds triangles only (SplitFaces with allTriangles); on return its faces are
// rebuilt planar convex polygons, within the limits when Reached.
TFitResult FitScene(TGatheredScene& scene, double tolerance);
