#pragma once
// Game faces from whatever polygons a model file holds. A game face has one plane (its D)
// and is drawn and collided as a convex polygon, while files carry triangles (glTF, STL,
// COLLADA) or polygons that may be warped or concave (OBJ, FBX, PLY). On a gathered scene:
//  - SplitFaces: a polygon that is not planar and convex becomes triangles (ear clipping in
//    the plane of its area normal); planar convex polygons stay.
//  - MergeFaces: neighbouring faces of one material (and object) grow into one face while
//    the result stays within the tolerance of the first face's plane, convex (straight
//    corners allowed), a simple loop, and the corners it joins agree in texture
//    coordinates and normal. Linear in the corners: one pass over the faces, each edge
//    looked at a bounded number of times.
//  - FinishFaces: every face starts at the corner where its first three corners span the
//    largest triangle, as "Calc VTNM" and "CALC D" take a face's plane from its first three
//    corners; a face that is still not planar and convex against that plane becomes a fan.
// The tolerance is a distance: kPlanarTolerance (mesh/FaceShape.h) times the model's size
// (SceneSize).

#include <cstdint>
#include <span>

#include "interchange/SceneData.h"
#include "mesh/FaceShape.h"

// The length of the diagonal of the box around the positions the corners use; 1 when that
// is zero (a model with no extent).
double SceneSize(const TGatheredScene& scene);

struct TRebuildCounts {
  int64_t Split = 0;   // polygons cut into triangles by SplitFaces or FinishFaces
  int64_t Merged = 0;  // faces that MergeFaces joined into another
};

// `allTriangles`: every polygon becomes triangles (fans of the planar convex ones), as
// simplification needs them.
void SplitFaces(TGatheredScene& scene, double tolerance, bool allTriangles, TRebuildCounts& counts);
void MergeFaces(TGatheredScene& scene, double tolerance, TRebuildCounts& counts);
void FinishFaces(TGatheredScene& scene, double tolerance, TRebuildCounts& counts);

// What every import does to its split faces, the fit's simplified triangles included:
// MergeFaces, then FinishFaces.
void RebuildGameFaces(TGatheredScene& scene, double tolerance, TRebuildCounts& counts);

// SplitFaces, MergeFaces and FinishFaces with the tolerance for the scene's size.
TRebuildCounts RebuildPolygons(TGatheredScene& scene);
