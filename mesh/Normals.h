#pragma once
// Face normals, vertex normals and plane distances ("Calc VTNM", "CALC D").
//
// Sign convention: for a face whose first three corners are P1, P2, P3 and
// n = PlaneNormal(P1, P2, P3), the face normal stored in VTNM is -n and D = Dot(n, P1), so
// that N.X + D = 0 on the face's plane.
//
// The three points are always FVRT records FirstFvrt, FirstFvrt + 1, FirstFvrt + 2, even
// for a face with fewer than three corners. When one of them does not exist (the FVRT
// index is outside 0..NumFvrt-1 or its Vert outside 0..NumVert-1) the face is treated like
// one with collinear corners: n = (0, 0, 0) and D = 0.
//
// Two normals are the same when x, y and z each differ by strictly less than
// kNormalTolerance; a normal with a NaN or infinite component matches nothing, not even
// itself.

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "mesh/MeshDocument.h"
#include "mesh/Vector.h"

constexpr double kNormalTolerance = 0.0001;

bool NormalsMatch(const TPoint3& a, const TPoint3& b);

// Scans VTNM 0..NumVtnm-1 for the first normal that matches v; when none does, stores v at
// NumVtnm (no list line) and returns the new index. Linear in NumVtnm.
int32_t FindOrAddVtnm(TMeshDocument& doc, const TPoint3& v);

// The same answer as the scan in constant time per call, for a VTNM that is filled only
// through this object: a grid of cells a little larger than twice the tolerance; a match
// lies in the normal's own cell or the nearer neighbour on each axis, and of the matches in
// those eight cells the smallest index is the scan's first match.
class TVtnmLookup {
public:
  explicit TVtnmLookup(TMeshDocument& doc);
  // Requires that VTNM has been filled only through this lookup since it was made.
  int32_t FindOrAdd(const TPoint3& v);

private:
  int32_t Find(const TPoint3& v) const;
  void Insert(const TPoint3& v, int32_t index);

  TMeshDocument& m_doc;
  std::unordered_map<uint64_t, int32_t> m_head;  // cell -> first index
  std::unordered_map<uint64_t, int32_t> m_tail;  // cell -> last index
  std::vector<int32_t> m_next;                   // index -> next index in its cell, or -1
};

// n of face f (before the sign flip), and whether its three points exist.
TVec4 FacePlaneNormal(const TMeshDocument& doc, const TFaceRecord& f, TVec4* p1 = nullptr);

// "Calc VTNM" in memory: VTNM becomes the distinct face normals in face order followed by
// the vertex normals that match none before them; every face gets its normal index and D,
// every FVRT the index of its vertex's normal. Linear time. On an error (VTNM full) the
// document is left as it was.
void CalcVtnmRecords(TMeshDocument& doc);
// After CalcVtnmRecords, for records that come from elsewhere (an import): a corner at a
// vertex whose faces' normals cancel (the edge of a fin of no thickness, a face on each
// side) gets its face's normal instead of no direction, and the normals nothing uses then
// go, the others keeping their order. Returns how many corners changed.
int32_t FaceNormalsForCornersWithout(TMeshDocument& doc);
// The button: CalcVtnmRecords, empty the normal list, Save, Load.
void CalcVtnm(TMeshDocument& doc);

// "CALC D" in memory: every face's D from its first three corners; normals untouched.
void CalcDRecords(TMeshDocument& doc);
// The button: CalcDRecords, Save, Load.
void CalcD(TMeshDocument& doc);
