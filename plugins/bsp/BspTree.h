#pragma once
// The BSP tree over the faces of a mesh.
//
// Shape of the tree:
//  - A node holds a splitting plane N.X + D = 0 (N of unit length; "front" is
//    N.X + D > 0), its front and back children, and the faces lying in that plane
//    ("coplanar faces stay with their node").
//  - A leaf holds a set of faces that need no further splitting: either every face of the
//    set lies on or behind the plane of every other (a convex solid seen from outside), or
//    on or in front of it (a convex room seen from inside).
//  - A child reference is a node index (>= 0), kEmpty (-1), or a leaf written as
//    -2 - leafIndex (so leaf 0 is -2).
//
// Building:
//  - The splitting planes are the faces' own planes (Newell's best-fit plane of the
//    corners, so slightly non-planar faces still have one). At each node a bounded sample
//    of candidate planes is scored by  8 * splits + |front - back|  and the cheapest wins:
//    it keeps the tree balanced and the number of cut faces low, in time linear in the
//    faces of the node.
//  - A face that straddles the plane is cut in two; the new corners are interpolated along
//    the cut edge (position, texture coordinates, and the corner normal when the two
//    corners' normals differ). An edge cut by one plane yields the same new vertex for
//    both faces that share it, so a closed mesh stays closed.
//  - Every node consumes the plane it was chosen for, so the depth is bounded by the
//    number of distinct planes; the build is iterative and never recurses.
//  - Faces without a plane (fewer than three distinct corners, non-finite corners) go to
//    the node or leaf where they are met first; no face is ever dropped.
//
// The tree's mesh: the input vertices and normals come first, unchanged, followed by the
// vertices and normals made by cuts. Faces are ordered by the input face they come from;
// an uncut face keeps its FACE record and corners (only FirstFvrt changes, because every
// face gets its own consecutive corner range), a piece keeps all FACE fields of its
// original except FirstFvrt and FvrtCount.

#include <cstdint>
#include <vector>

#include "plugins/bsp/BspConvex.h"
#include "plugins/bsp/BspMesh.h"

namespace bsp {

constexpr int32_t kEmpty = -1;
inline int32_t LeafRef(int32_t leaf) { return -2 - leaf; }
inline bool IsLeafRef(int32_t ref) { return ref <= -2; }
inline int32_t LeafOfRef(int32_t ref) { return -2 - ref; }

struct TNode {  // one NODE record, 32 bytes
  float Nx = 0, Ny = 0, Nz = 0, D = 0;
  int32_t Front = kEmpty;
  int32_t Back = kEmpty;
  int32_t FirstFace = 0;  // index into TTree::FaceIndex
  int32_t FaceCount = 0;
};

struct TLeaf {  // one LEAF record, 8 bytes
  int32_t FirstFace = 0;
  int32_t FaceCount = 0;
};

struct TTree {
  TMesh Mesh;  // the tree's mesh
  std::vector<TNode> Nodes;
  std::vector<TLeaf> Leaves;
  std::vector<int32_t> FaceIndex;  // faces of nodes and leaves, indices into Mesh.Face
  int32_t Root = kEmpty;
  std::vector<int32_t> Source;  // per face of Mesh: the input face it comes from
  int32_t CutCount = 0;         // faces cut during the build
};

struct TBuildOptions {
  // Points closer to a plane than this count as lying in it. 0 = automatic: 1e-5 times
  // the size of the mesh's bounding box, at least 1e-6.
  double Epsilon = 0;
  // Candidate planes scored per node.
  int CandidateCount = 24;
  // Weight of a cut face against one face of imbalance.
  int SplitWeight = 8;
  // The build stops with EBspError(kBspTooLarge) when the tree's mesh would need more
  // records than this in an array.
  int64_t Capacity = MeshCapacity;
  // The convexity test that ends a branch in a leaf (BspConvex.h); null: AllOnOneSide.
  // Another test must give the same answers; the benchmark passes the plain test that
  // AllOnOneSide replaced, to time the two trees of one mesh and compare them.
  bool (*OneSideTest)(const std::vector<TPlane>& planes, const std::vector<TPoint3>& points,
                      double eps) = nullptr;
};

// Builds the tree. The mesh must have passed ValidateMesh. Raises EBspError(kBspTooLarge)
// when the cut faces would not fit in Capacity records.
TTree BuildTree(const TMesh& mesh, const TBuildOptions& options = {});

}  // namespace bsp
