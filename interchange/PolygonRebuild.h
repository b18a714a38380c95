#pragma once
// Game faces from whatever polygons a model file holds. A game face has one plane (its D)
// and is drawn and collided as a convex polygon, while files carry triangles (glTF, STL,
// COLLADA) or polygons that may be warped or concave (OBJ, FBX, PLY). On a gathered scene:
//  - DropFacesWithoutArea: a corner that repeats the one before it goes; a polygon that
//    comes back to a corner it passed is cut there into loops (an OBJ polygon that lists
//    its four corners 234 times is 234 loops of four); a loop that repeats another face's
//    corners (the same corners in the same turn, from any start) goes; a loop whose corners
//    enclose no area (narrower than the tolerance: its area is at most the tolerance times
//    its extent) goes. When all corners of such a loop lie on a line, the one neighbour
//    across its long edge takes the corners between the ends (a triangle that a triangle
//    format made of a corner on a straight edge gives that corner back to the face beside
//    it, which so stays closed).
//  - SplitFaces: a polygon that is not planar and convex becomes triangles (ear clipping in
//    the plane of its area normal); planar convex polygons stay. A polygon whose edges
//    cross (a pentagram) is first cut at the crossings into the regions it encloses, each
//    facing the way the polygon's area faces, and those are clipped.
//  - MergeFaces: neighbouring faces of one material (and object) grow into one face while
//    the result stays within the tolerance of the first face's plane, convex (straight
//    corners allowed), a simple loop, and the corners it joins agree in texture
//    coordinates and normal. Linear in the corners: one pass over the faces, each edge
//    looked at a bounded number of times. Two passes: first each face grows only by the
//    faces that follow it in the file's order (a triangle format writes the triangles of
//    one polygon together: they come back as that polygon, not taken apart by the greedy
//    growth of a neighbour), then by any neighbour. Every edge of a growing face is looked
//    at while it grows, and its corner angles only widen, so two faces left beside each
//    other along one whole edge never make a convex face together: its own result,
//    imported again, merges nothing more.
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
  int64_t Split = 0;     // polygons cut into triangles by SplitFaces or FinishFaces
  int64_t Merged = 0;    // faces that MergeFaces joined into another
  int64_t Crossing = 0;  // self-crossing polygons cut at their crossings
  // DropFacesWithoutArea: loops without area dropped (of them, those whose corners went to
  // a neighbour), loops repeating another face's corners, corners repeating their neighbour.
  int64_t NoArea = 0, GivenBack = 0, Repeated = 0, RepeatedCorners = 0;
};

// The first step of the rebuild (see above). Faces keep their order; the positions no
// corner uses any more are left for DropUnusedVerts.
void DropFacesWithoutArea(TGatheredScene& scene, double tolerance, TRebuildCounts& counts);

// `allTriangles`: every polygon becomes triangles (fans of the planar convex ones), as
// simplification needs them.
void SplitFaces(TGatheredScene& scene, double tolerance, bool allTriangles, TRebuildCounts& counts);
void MergeFaces(TGatheredScene& scene, double tolerance, TRebuildCounts& counts);
void FinishFaces(TGatheredScene& scene, double tolerance, TRebuildCounts& counts);

// DropFacesWithoutArea, SplitFaces, MergeFaces and FinishFaces with the tolerance for the
// scene's size.
TRebuildCounts RebuildPolygons(TGatheredScene& scene);
