#include "viewers/DrawnMeshCopy.h"

#include <algorithm>
#include <cstring>

namespace {

size_t Used(int32_t count) {
  return static_cast<size_t>(std::clamp<int32_t>(count, 0, MeshCapacity));
}

// The records are plain 4-byte fields without padding, so equal bytes are equal records
// (and a NaN coordinate compares equal to itself, which is what "unchanged" means here).
template <typename T>
bool Same(const std::vector<T>& copy, const T* records, int32_t count) {
  // An empty copy has no data pointer to hand to memcmp.
  return copy.size() == Used(count) &&
         (copy.empty() || std::memcmp(copy.data(), records, copy.size() * sizeof(T)) == 0);
}

template <typename T>
void Copy(std::vector<T>& copy, const T* records, int32_t count) {
  copy.assign(records, records + Used(count));
}

}  // namespace

bool TDrawnMeshCopy::Matches(const TMeshDocument& doc) const {
  return m_taken && Same(m_face, doc.FACE.get(), doc.NumFace) &&
         Same(m_fvrt, doc.FVRT.get(), doc.NumFvrt) && Same(m_vert, doc.VERT.get(), doc.NumVert) &&
         Same(m_vtnm, doc.VTNM.get(), doc.NumVtnm);
}

void TDrawnMeshCopy::Take(const TMeshDocument& doc) {
  Copy(m_vert, doc.VERT.get(), doc.NumVert);
  Copy(m_vtnm, doc.VTNM.get(), doc.NumVtnm);
  Copy(m_fvrt, doc.FVRT.get(), doc.NumFvrt);
  Copy(m_face, doc.FACE.get(), doc.NumFace);
  m_taken = true;
}

void TDrawnMeshCopy::Forget() { m_taken = false; }
