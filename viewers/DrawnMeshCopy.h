#pragma once
// A copy of the parts of the mesh document a drawing was made from: the four counts and
// the records in use. The editor's tools write the record arrays in place and say nothing
// to the viewers, so the model viewer compares the document with the copy it drew from to
// learn whether the model changed, instead of drawing every face again on every tick.
//
// Counts outside 0..MeshCapacity are taken as clamped to it, as the viewer draws them.
// Comparing costs one memcmp of the records in use (about 2.2 MB at the record cap).

#include <cstdint>
#include <vector>

#include "mesh/MeshDocument.h"

class TDrawnMeshCopy {
public:
  // True when a copy was taken and the document's counts and records in use equal it.
  bool Matches(const TMeshDocument& doc) const;
  // Copies the document's counts and records in use.
  void Take(const TMeshDocument& doc);
  // Drops the copy: nothing matches until the next Take.
  void Forget();

private:
  bool m_taken = false;
  std::vector<TPoint3> m_vert;
  std::vector<TPoint3> m_vtnm;
  std::vector<TFvrtRecord> m_fvrt;
  std::vector<TFaceRecord> m_face;
};
