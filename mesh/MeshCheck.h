#pragma once
// "check": what is wrong with the record files, one line per problem, each naming the record
// by its kind and index (the index is the record's line in its list):
//   "FVRT 7: vertex index 40 is out of range (VERT has 12 records)"
//   "FVRT 7: normal index -1 is out of range (VTNM has 12 records)"
//   "FACE 3: corners 30 to 33 lie outside FVRT (32 records)"
//   "FACE 3: normal index 99 is out of range (VTNM has 12 records)"
//   "FACE 3: 2 corners, fewer than 3"
//   "FACE 3: degenerate: its corners enclose no area"
//   "FACE 3: its first three corners lie on a line: no plane for "CALC D""
//   "FACE 3: not planar: a corner lies 0.22 off its plane" (off the plane of its first three
//     corners by more than kPlanarTolerance of the mesh's size, mesh/FaceShape.h)
//   "FACE 3: not convex"
//   "FACE 3: its edges cross each other" (in the plane of its area)
//   "FACE 3: its normal points against its corner order" (or is zero)
//   "FACE 7: repeats the corners of FACE 3" (the same vertices in the same turn)
//   "FACE 3: D is -3.000, its corners give -6.000" (D off the value "CALC D" works out by
//     more than the planar tolerance)
//   "VERT 5: not a finite number" (likewise VTNM, FVRT texture coordinates, FACE D)
//   "VERT 9: not used by any corner"
//   "RADI: not a finite number"
// Index problems come first (they are what OBJ readers reject), then the others, each in
// record order. A face with corners out of range is not judged for degeneracy.

#include <string>
#include <vector>

#include "mesh/MeshDocument.h"

// Records the OBJ export cannot write (EMeshCheck names them).
TESSAVOR_DECLARE_EXCEPTION(EMeshCheck);

struct TMeshProblems {
  std::vector<std::string> Indices;  // out-of-range indices and corner ranges
  std::vector<std::string> Others;   // too few corners, degenerate, non-finite, unused
  bool Empty() const { return Indices.empty() && Others.empty(); }
};

TMeshProblems CheckMesh(const TMeshDocument& doc);

// The record files in the home folder whose length is not a whole number of records, one
// line each (PartialRecordText in mesh/Records.h); the Load refuses them, so these come
// before anything else is checked. Missing files are the Load's to report.
std::vector<std::string> DamagedRecordFiles();

// The first `max` lines, then "... and N more", one per line, for an exception's message.
std::string ProblemLines(const std::vector<std::string>& lines, size_t max = 20);
