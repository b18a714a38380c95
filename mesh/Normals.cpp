#include "mesh/Normals.h"

#include <algorithm>
#include <cmath>

bool NormalsMatch(const TPoint3& a, const TPoint3& b) {
  // Differences of floats are exact in double; NaN fails every comparison.
  return std::fabs(double{a.x} - b.x) < kNormalTolerance &&
         std::fabs(double{a.y} - b.y) < kNormalTolerance &&
         std::fabs(double{a.z} - b.z) < kNormalTolerance;
}

int32_t FindOrAddVtnm(TMeshDocument& doc, const TPoint3& v) {
  for (int32_t i = 0; i < doc.NumVtnm; ++i) {
    if (NormalsMatch(doc.VTNM[i], v)) return i;
  }
  return doc.StoreVtnm(v);
}

// ---------------------------------------------------------------------------------------
// Grid lookup

namespace {

// 2.5 tolerances: any normal within the tolerance of v lies in v's cell or in the
// neighbour cell on the side of v's nearer cell wall, with room to spare for the rounding
// of v / kCell.
constexpr double kCell = 0.00025;
constexpr int64_t kCellRange = int64_t{1} << 20;  // cells kept per axis, each side of 0

bool Finite(const TPoint3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Clamping is monotone, so equal coordinates share a cell and close ones stay neighbours;
// only normals far outside the unit range (which never match anything but equal values)
// crowd into the outermost cells.
int64_t CellOf(double q) {
  const double c = std::floor(q);
  if (c < -double(kCellRange)) return -kCellRange;
  if (c > double(kCellRange - 1)) return kCellRange - 1;
  return static_cast<int64_t>(c);
}

uint64_t Key(int64_t cx, int64_t cy, int64_t cz) {
  auto u = [](int64_t c) { return static_cast<uint64_t>(c + kCellRange); };
  return (u(cx) << 42) | (u(cy) << 21) | u(cz);
}

}  // namespace

TVtnmLookup::TVtnmLookup(TMeshDocument& doc) : m_doc(doc) {
  m_head.reserve(4096);
  m_tail.reserve(4096);
  // Normals already in VTNM take part like ones added here.
  m_next.reserve(static_cast<size_t>(doc.NumVtnm) + 1024);
  for (int32_t i = 0; i < doc.NumVtnm; ++i) {
    m_next.push_back(-1);
    Insert(doc.VTNM[i], i);
  }
}

int32_t TVtnmLookup::Find(const TPoint3& v) const {
  if (!Finite(v)) return -1;
  const double q[3] = {v.x / kCell, v.y / kCell, v.z / kCell};
  int64_t cells[3][2];
  for (int a = 0; a < 3; ++a) {
    const int64_t c = CellOf(q[a]);
    cells[a][0] = c;
    cells[a][1] = q[a] - std::floor(q[a]) < 0.5 ? std::max(c - 1, -kCellRange)
                                                : std::min(c + 1, kCellRange - 1);
  }
  int32_t best = -1;
  for (int i = 0; i < 8; ++i) {
    const auto it =
        m_head.find(Key(cells[0][i & 1], cells[1][(i >> 1) & 1], cells[2][(i >> 2) & 1]));
    if (it == m_head.end()) continue;
    // Indices in a cell ascend, so the first match is the cell's smallest.
    for (int32_t j = it->second; j >= 0 && (best < 0 || j < best);
         j = m_next[static_cast<size_t>(j)]) {
      if (NormalsMatch(m_doc.VTNM[j], v)) {
        best = j;
        break;
      }
    }
  }
  return best;
}

void TVtnmLookup::Insert(const TPoint3& v, int32_t index) {
  if (!Finite(v)) return;  // matches nothing, so nothing needs to find it
  const uint64_t key = Key(CellOf(v.x / kCell), CellOf(v.y / kCell), CellOf(v.z / kCell));
  const auto [it, added] = m_tail.try_emplace(key, index);
  if (added) {
    m_head.emplace(key, index);
  } else {
    m_next[static_cast<size_t>(it->second)] = index;
    it->second = index;
  }
}

int32_t TVtnmLookup::FindOrAdd(const TPoint3& v) {
  const int32_t found = Find(v);
  if (found >= 0) return found;
  const int32_t index = m_doc.StoreVtnm(v);
  m_next.push_back(-1);
  Insert(v, index);
  return index;
}

// ---------------------------------------------------------------------------------------
// Calc VTNM, CALC D

TVec4 FacePlaneNormal(const TMeshDocument& doc, const TFaceRecord& f, TVec4* p1) {
  TVec4 p[3];
  for (int k = 0; k < 3; ++k) {
    const TFvrtRecord* corner = doc.FvrtAt(
        static_cast<int32_t>(std::clamp<int64_t>(int64_t{f.FirstFvrt} + k, -1, MeshCapacity)));
    const TPoint3* vert = corner ? doc.VertAt(corner->Vert) : nullptr;
    if (!vert) {
      if (p1) *p1 = Make(0, 0, 0);
      return Make(0, 0, 0);
    }
    p[k] = Make(*vert);
  }
  if (p1) *p1 = p[0];
  return PlaneNormal(p[0], p[1], p[2]);
}

namespace {

// The parts of the document Calc VTNM changes, to put back when it fails half way.
struct TNormalsSnapshot {
  explicit TNormalsSnapshot(const TMeshDocument& doc)
      : numVtnm(doc.NumVtnm),
        vtnm(doc.VTNM.get(), doc.VTNM.get() + doc.NumVtnm),
        fvrt(doc.FVRT.get(), doc.FVRT.get() + doc.NumFvrt),
        face(doc.FACE.get(), doc.FACE.get() + doc.NumFace) {}
  void Restore(TMeshDocument& doc) const {
    doc.NumVtnm = numVtnm;
    std::copy(vtnm.begin(), vtnm.end(), doc.VTNM.get());
    std::copy(fvrt.begin(), fvrt.end(), doc.FVRT.get());
    std::copy(face.begin(), face.end(), doc.FACE.get());
  }
  int32_t numVtnm;
  std::vector<TPoint3> vtnm;
  std::vector<TFvrtRecord> fvrt;
  std::vector<TFaceRecord> face;
};

void CalcVtnmUnguarded(TMeshDocument& doc) {
  doc.NumVtnm = 0;
  TVtnmLookup lookup(doc);

  // Face normals, in face order.
  for (int32_t f = 0; f < doc.NumFace; ++f) {
    TFaceRecord& face = doc.FACE[f];
    TVec4 p1;
    TVec4 n = FacePlaneNormal(doc, face, &p1);
    face.D = Dot(n, p1);
    Negate(n, true, true, true);
    face.Vtnm = lookup.FindOrAdd(ToPoint3(n));
  }

  // Sum per vertex, minus the face normal at every corner that uses it, in the order of the
  // faces and their corners (the order fixes the float rounding of the sums).
  const size_t numVert = static_cast<size_t>(doc.NumVert);
  std::vector<TVec4> sum(numVert, Make(0, 0, 0));
  std::vector<int32_t> uses(numVert, 0);
  for (int32_t f = 0; f < doc.NumFace; ++f) {
    const TFaceRecord& face = doc.FACE[f];
    const TVec4 n = Make(doc.VTNM[face.Vtnm]);
    const TCornerRange corners = doc.FaceCorners(face);
    for (int32_t r = corners.First; r < corners.First + corners.Count; ++r) {
      const int32_t v = doc.FVRT[r].Vert;
      if (v < 0 || v >= doc.NumVert) continue;
      TVec4& s = sum[static_cast<size_t>(v)];
      s = Sub(s, n);
      ++uses[static_cast<size_t>(v)];
    }
  }

  // FVRT records by vertex, each vertex's records in ascending order.
  std::vector<int32_t> firstOf(numVert + 1, 0);
  for (int32_t r = 0; r < doc.NumFvrt; ++r) {
    const int32_t v = doc.FVRT[r].Vert;
    if (v >= 0 && v < doc.NumVert) ++firstOf[static_cast<size_t>(v) + 1];
  }
  for (size_t i = 0; i < numVert; ++i) firstOf[i + 1] += firstOf[i];
  std::vector<int32_t> byVert(static_cast<size_t>(firstOf[numVert]));
  {
    std::vector<int32_t> fill(firstOf.begin(), firstOf.end() - 1);
    for (int32_t r = 0; r < doc.NumFvrt; ++r) {
      const int32_t v = doc.FVRT[r].Vert;
      if (v >= 0 && v < doc.NumVert)
        byVert[static_cast<size_t>(fill[static_cast<size_t>(v)]++)] = r;
    }
  }

  for (size_t i = 0; i < numVert; ++i) {
    TVec4 s = sum[i];
    const int32_t c = uses[i];
    if (c > 0) {
      s.x = static_cast<float>(double{s.x} / c);
      s.y = static_cast<float>(double{s.y} / c);
      s.z = static_cast<float>(double{s.z} / c);
      Normalize(s);
    }
    Negate(s, true, true, true);
    const TPoint3 n = ToPoint3(s);
    // One lookup per record, as the scan does: a NaN normal is added again every time.
    for (int32_t k = firstOf[i]; k < firstOf[i + 1]; ++k) {
      doc.FVRT[byVert[static_cast<size_t>(k)]].Vtnm = lookup.FindOrAdd(n);
    }
  }
}

}  // namespace

void CalcVtnmRecords(TMeshDocument& doc) {
  const TNormalsSnapshot before(doc);
  try {
    CalcVtnmUnguarded(doc);
  } catch (...) {
    before.Restore(doc);
    throw;
  }
}

int32_t FaceNormalsForCornersWithout(TMeshDocument& doc) {
  const auto zero = [&](int32_t n) {
    if (n < 0 || n >= doc.NumVtnm) return false;
    const TPoint3& v = doc.VTNM[n];
    return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f;
  };
  int32_t changed = 0;
  for (int32_t f = 0; f < doc.NumFace; ++f) {
    const TFaceRecord& face = doc.FACE[f];
    if (zero(face.Vtnm)) continue;  // no area: nothing better to give
    const TCornerRange corners = doc.FaceCorners(face);
    for (int32_t r = corners.First; r < corners.First + corners.Count; ++r) {
      if (zero(doc.FVRT[r].Vtnm)) {
        doc.FVRT[r].Vtnm = face.Vtnm;
        ++changed;
      }
    }
  }
  if (changed == 0) return 0;
  std::vector<int32_t> remap(static_cast<size_t>(doc.NumVtnm), -1);
  const auto mark = [&](int32_t n) {
    if (n >= 0 && n < doc.NumVtnm) remap[static_cast<size_t>(n)] = 0;
  };
  for (int32_t f = 0; f < doc.NumFace; ++f) mark(doc.FACE[f].Vtnm);
  for (int32_t r = 0; r < doc.NumFvrt; ++r) mark(doc.FVRT[r].Vtnm);
  int32_t kept = 0;
  for (int32_t n = 0; n < doc.NumVtnm; ++n) {
    if (remap[static_cast<size_t>(n)] < 0) continue;
    doc.VTNM[kept] = doc.VTNM[n];
    remap[static_cast<size_t>(n)] = kept++;
  }
  const auto moved = [&](int32_t& n) {
    if (n >= 0 && n < doc.NumVtnm) n = remap[static_cast<size_t>(n)];
  };
  for (int32_t f = 0; f < doc.NumFace; ++f) moved(doc.FACE[f].Vtnm);
  for (int32_t r = 0; r < doc.NumFvrt; ++r) moved(doc.FVRT[r].Vtnm);
  doc.NumVtnm = kept;
  return changed;
}

void CalcVtnm(TMeshDocument& doc) {
  CalcVtnmRecords(doc);
  doc.NormalLines.Clear();
  doc.SaveRecordFiles();
  doc.LoadRecordFiles();
}

void CalcDRecords(TMeshDocument& doc) {
  for (int32_t f = 0; f < doc.NumFace; ++f) {
    TVec4 p1;
    const TVec4 n = FacePlaneNormal(doc, doc.FACE[f], &p1);
    doc.FACE[f].D = Dot(n, p1);
  }
}

void CalcD(TMeshDocument& doc) {
  CalcDRecords(doc);
  doc.SaveRecordFiles();
  doc.LoadRecordFiles();
}
