#pragma once
// Bringing a model that needs more records than the arrays hold (MeshCapacity each of VERT,
// FVRT and FACE) under the limits, with meshoptimizer's simplifier: every run of triangles
// of one material and object is simplified on its own with its border locked, so material
// borders and object outlines stay where they are; meshoptimizer keeps texture seams itself
// (corners at one position with different texture coordinates are kept apart). The
// file's normals do not survive a simplified surface: the fitted model's normals are
// computed as "Calc VTNM" does. After each round the faces are rebuilt as any import's are
// (RebuildGameFaces, PolygonRebuild.h) and counted; a round that still does not fit starts
// again from the full model with a smaller target.
//
// Room for the tree: the fit aims below the arrays by kTreeRoom, the share of each array the
// tree builder's cuts take on fitted models ("make tree" adds the pieces of every face that
// straddles a splitting plane to the same arrays).
//
// Any size: a model of more than kClusterAbove triangles is first brought down to about
// kClusterTarget by vertex clustering (ClusterTriangles): one grid over the whole model, each
// vertex moved onto the first vertex of its cell of the same material (vertices on a material
// border stay), triangles that lose a corner dropped. One grid for all materials keeps their
// borders closed, which meshoptimizer's sloppy simplifier,
// run per material with a grid of its own choosing, would not. Memory and time stay linear in
// the model; the exact simplifier then works on a bounded model. The first stage gives each
// vertex one texture coordinate per material (the first corner's), so a seam inside one
// material blurs on models that large. How far the surface moved is the sum of both stages.

#include <cstdint>

#include "interchange/SceneData.h"

struct TRecordCounts {
  int64_t Verts = 0, Corners = 0, Faces = 0;  // VERT, FVRT, FACE records needed
  // Within `limit` records in each array.
  bool Fit(int64_t limit = MeshCapacity) const {
    return Verts <= limit && Corners <= limit && Faces <= limit;
  }
};

// The share of each array left for the tree's cuts, and the records a fit aims at.
constexpr double kTreeRoom = 0.6;
constexpr int64_t kTreeLimit = static_cast<int64_t>(MeshCapacity * (1.0 - kTreeRoom));

// Above this many triangles the fit clusters vertices first, down to about kClusterTarget.
constexpr size_t kClusterAbove = size_t{8} * MeshCapacity;
constexpr size_t kClusterTarget = size_t{6} * MeshCapacity;

// The distinct positions the corners use, the corners and the faces.
TRecordCounts CountRecords(const TGatheredScene& scene);

// Drops the positions no corner uses, keeping the order of the others.
void DropUnusedVerts(TGatheredScene& scene);

struct TFitResult {
  TRecordCounts Before, After;
  // The largest distance the surface moved, as meshoptimizer measures it (plus how far the
  // clustering moved a vertex when it ran), relative to the model's size (SceneSize).
  double Moved = 0.0;
  int Rounds = 0;
  bool Reached = false;
  // Triangles of the model whose corners lie on one line within the tolerance (no area),
  // of Triangles: a model of such triangles alone has no surface to simplify.
  int64_t Degenerate = 0, Triangles = 0;
  size_t Clustered = 0;  // triangles after the clustering stage; 0 when it did not run
};

// `scene` holds triangles only (SplitFaces with allTriangles); on return its faces are
// rebuilt game faces, within `limit` records in each array when Reached.
TFitResult FitScene(TGatheredScene& scene, double tolerance, int64_t limit = kTreeLimit);

// Merges positions closer than "check" calls duplicates (WeldVertices, mesh/MeshClean.h,
// at kCleanDistance of the model's size) and drops the triangles that lose a corner so: the
// simplifier keeps a subset of the positions it is given, so a fitted model has no
// duplicate vertices. True when it merged any.
bool WeldTriangles(TGatheredScene& scene);

// Drops pairs of triangles (faces of three corners; others stay) over the same three
// vertices in opposite order (a fold of no
// volume, as a collapse can leave) and repeats of a triangle in the same order, keeping the
// first: neither is any surface, and their edges would belong to more than two faces. The
// corners stay in place (DropUnusedVerts drops what they leave unused).
void DropFins(TGatheredScene& scene);

// Keeps two faces at every edge, the pair that continues the surface most smoothly (edge
// run the opposite ways, normals closest), and drops the others; returns how many went.
// Groups simplified apart with locked borders both keep the triangles spanning a jagged
// border they share; in a plane of border vertices those of each group lie flat in that
// plane, back to back, a web of four faces on the chord no simplifier of one group sees.
// Dropping faces never gives an edge more, so one pass leaves none of more than two.
size_t DropExtraFaces(TGatheredScene& scene);

// Keeps only the corners of the faces, in face order.
void DropUnusedCorners(TGatheredScene& scene);

// The first stage for very large models (see the top of this file): about `target`
// triangles or fewer from the triangles of `scene`; returns how far a vertex moved at most
// (never more than a cell's diagonal), relative to the model's size. Unused positions stay
// (DropUnusedVerts).
double ClusterTriangles(TGatheredScene& scene, size_t target);
