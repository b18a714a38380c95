// Mending a modder's records (see MeshClean.h). Every step is linear in the records: the
// weld and the edges go through hash tables, the winding through one walk over the faces.
#include "mesh/MeshClean.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "mesh/FaceShape.h"
#include "mesh/MeshCheck.h"
#include "mesh/Normals.h"

namespace {

bool Finite(const TPoint3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

uint64_t CellKey(int64_t x, int64_t y, int64_t z) {
  // 21 bits an axis; cells wrap far outside them, which only makes a cell share its bucket.
  const auto u = [](int64_t c) { return static_cast<uint64_t>(c) & 0x1FFFFFu; };
  return (u(x) << 42) | (u(y) << 21) | u(z);
}

// A face as loops of vertices and the corners that carry them.
struct TLoop {
  std::vector<TFvrtRecord> Corners;
  TFaceRecord Face{};
};

// An undirected edge between two vertices, smaller index first.
uint64_t EdgeKey(int32_t a, int32_t b) {
  const auto lo = static_cast<uint32_t>(std::min(a, b)), hi = static_cast<uint32_t>(std::max(a, b));
  return (uint64_t{lo} << 32) | hi;
}

// Whether the loop runs along its edge from the smaller vertex to the larger.
bool Forward(int32_t a, int32_t b) { return a < b; }

// The faces using each edge: an index per face side into a list grouped by edge.
struct TEdgeUse {
  uint32_t Face;
  bool Forward;
};

class TEdges {
public:
  explicit TEdges(const std::vector<TLoop>& loops) {
    size_t sides = 0;
    for (const TLoop& l : loops) sides += l.Corners.size();
    m_first.reserve(sides);
    m_next.reserve(sides);
    m_uses.reserve(sides);
    for (size_t f = 0; f < loops.size(); ++f) {
      const auto& c = loops[f].Corners;
      for (size_t k = 0; k < c.size(); ++k) {
        const int32_t a = c[k].Vert, b = c[(k + 1) % c.size()].Vert;
        const auto [at, added] = m_first.try_emplace(EdgeKey(a, b), m_uses.size());
        m_next.push_back(added ? kNone : at->second);
        if (!added) at->second = m_uses.size();
        m_uses.push_back({static_cast<uint32_t>(f), Forward(a, b)});
      }
    }
  }
  // The uses of the edge a-b (each face side once).
  template <class F>
  void ForEach(int32_t a, int32_t b, F&& f) const {
    const auto at = m_first.find(EdgeKey(a, b));
    if (at == m_first.end()) return;
    for (size_t i = at->second; i != kNone; i = m_next[i]) f(m_uses[i]);
  }
  size_t Count(int32_t a, int32_t b) const {
    size_t n = 0;
    ForEach(a, b, [&](const TEdgeUse&) { ++n; });
    return n;
  }

private:
  static constexpr size_t kNone = ~size_t{0};
  std::unordered_map<uint64_t, size_t> m_first;  // edge -> its last use
  std::vector<size_t> m_next;
  std::vector<TEdgeUse> m_uses;
};

void Turn(TLoop& l) { std::reverse(l.Corners.begin() + 1, l.Corners.end()); }

// Six times the volume the loops enclose, measured from `origin`: positive when their
// corners run anticlockwise seen from outside, the way the game's normals point out.
double Volume(const std::vector<TLoop>& loops, const std::vector<uint32_t>& part,
              const TPoint3* verts) {
  const TVecD origin = Pos(verts[loops[part.front()].Corners[0].Vert]);
  double volume = 0.0;
  for (uint32_t f : part) {
    const auto& c = loops[f].Corners;
    const TVecD a = Sub(Pos(verts[c[0].Vert]), origin);
    for (size_t k = 1; k + 1 < c.size(); ++k) {
      const TVecD b = Sub(Pos(verts[c[k].Vert]), origin);
      const TVecD d = Sub(Pos(verts[c[k + 1].Vert]), origin);
      volume += Dot(a, Cross(b, d));
    }
  }
  return volume;
}

// Step 4 of MeshClean.h: the faces that meet across an edge of exactly two faces are one
// part; each part is walked from its first face, every face taking the winding that agrees
// with the face it was reached from.
int64_t OrientParts(std::vector<TLoop>& loops, const TPoint3* verts) {
  const TEdges edges(loops);
  std::vector<int8_t> flip(loops.size(), -1);  // -1: not reached yet
  std::vector<uint32_t> part, queue;
  int64_t turned = 0;
  for (size_t seed = 0; seed < loops.size(); ++seed) {
    if (flip[seed] >= 0) continue;
    part.clear();
    queue.assign(1, static_cast<uint32_t>(seed));
    flip[seed] = 0;
    bool closed = true;
    while (!queue.empty()) {
      const uint32_t f = queue.back();
      queue.pop_back();
      part.push_back(f);
      const auto& c = loops[f].Corners;
      for (size_t k = 0; k < c.size(); ++k) {
        const int32_t a = c[k].Vert, b = c[(k + 1) % c.size()].Vert;
        const size_t uses = edges.Count(a, b);
        if (uses != 2) {
          closed = false;
          continue;
        }
        const bool forward = Forward(a, b);
        edges.ForEach(a, b, [&](const TEdgeUse& u) {
          if (u.Face == f || flip[u.Face] >= 0) return;
          // Agreeing neighbours run along their shared edge in opposite directions.
          flip[u.Face] = static_cast<int8_t>(flip[f] ^ (u.Forward == forward ? 1 : 0));
          queue.push_back(u.Face);
        });
      }
    }
    size_t flips = 0;
    for (uint32_t f : part) flips += static_cast<size_t>(flip[f]);
    bool invert = false;
    if (closed) {
      for (uint32_t f : part)
        if (flip[f]) Turn(loops[f]);
      invert = Volume(loops, part, verts) < 0.0;
      for (uint32_t f : part)
        if (flip[f]) Turn(loops[f]);
    } else {
      invert = 2 * flips > part.size();
    }
    for (uint32_t f : part) {
      if ((flip[f] != 0) != invert) {
        Turn(loops[f]);
        ++turned;
      }
    }
  }
  return turned;
}

// The loops of the document's faces, after the weld; refuses what "check" calls index
// problems, and positions that are not finite numbers.
std::vector<TLoop> FaceLoops(const TMeshDocument& doc) {
  const TMeshProblems problems = CheckMesh(doc);
  std::vector<std::string> refused = problems.Indices;
  // Normal indices do not matter: the normals are computed anew.
  std::erase_if(refused, [](const std::string& line) {
    return line.find("normal index") != std::string::npos;
  });
  for (const std::string& line : problems.Others)
    if (line.starts_with("VERT ") && line.find("not a finite") != std::string::npos)
      refused.push_back(line);
  if (!refused.empty())
    throw EMeshClean("clean: the records have problems it cannot mend; nothing was changed:" +
                     ProblemLines(refused));
  std::vector<TLoop> loops(static_cast<size_t>(doc.NumFace));
  for (int32_t f = 0; f < doc.NumFace; ++f) {
    TLoop& l = loops[static_cast<size_t>(f)];
    l.Face = doc.FACE[f];
    if (l.Face.FvrtCount < 3) continue;  // no area: dropped with the others
    l.Corners.assign(doc.FVRT.get() + l.Face.FirstFvrt,
                     doc.FVRT.get() + l.Face.FirstFvrt + l.Face.FvrtCount);
  }
  return loops;
}

// The document's records, to put back when a step fails half way.
struct TRecordsCopy {
  explicit TRecordsCopy(const TMeshDocument& doc)
      : Verts(doc.VERT.get(), doc.VERT.get() + doc.NumVert),
        Vtnms(doc.VTNM.get(), doc.VTNM.get() + doc.NumVtnm),
        Fvrts(doc.FVRT.get(), doc.FVRT.get() + doc.NumFvrt),
        Faces(doc.FACE.get(), doc.FACE.get() + doc.NumFace),
        Radius(doc.Radius) {}
  void Restore(TMeshDocument& doc) const {
    std::copy(Verts.begin(), Verts.end(), doc.VERT.get());
    std::copy(Vtnms.begin(), Vtnms.end(), doc.VTNM.get());
    std::copy(Fvrts.begin(), Fvrts.end(), doc.FVRT.get());
    std::copy(Faces.begin(), Faces.end(), doc.FACE.get());
    doc.NumVert = static_cast<int32_t>(Verts.size());
    doc.NumVtnm = static_cast<int32_t>(Vtnms.size());
    doc.NumFvrt = static_cast<int32_t>(Fvrts.size());
    doc.NumFace = static_cast<int32_t>(Faces.size());
    doc.Radius = Radius;
  }
  std::vector<TPoint3> Verts, Vtnms;
  std::vector<TFvrtRecord> Fvrts;
  std::vector<TFaceRecord> Faces;
  float Radius;
};

int64_t UnusedNormals(const TMeshDocument& doc) {
  std::vector<bool> used(static_cast<size_t>(doc.NumVtnm), false);
  const auto use = [&](int32_t n) {
    if (n >= 0 && n < doc.NumVtnm) used[static_cast<size_t>(n)] = true;
  };
  for (int32_t i = 0; i < doc.NumFvrt; ++i) use(doc.FVRT[i].Vtnm);
  for (int32_t i = 0; i < doc.NumFace; ++i) use(doc.FACE[i].Vtnm);
  return std::count(used.begin(), used.end(), false);
}

TCleanReport CleanUnguarded(TMeshDocument& doc, const TCleanOptions& options) {
  TCleanReport report;
  std::vector<TLoop> loops = FaceLoops(doc);
  report.UnusedNormals = UnusedNormals(doc);
  const std::span<const TPoint3> verts(doc.VERT.get(), static_cast<size_t>(doc.NumVert));
  report.Distance = options.Distance >= 0.0 ? options.Distance : kCleanDistance * PointsSize(verts);

  // 1. The weld, and corners that repeat the vertex before them.
  const std::vector<int32_t> into = WeldVertices(verts, report.Distance);
  for (size_t v = 0; v < into.size(); ++v)
    if (into[v] != static_cast<int32_t>(v)) ++report.MergedVerts;
  for (TLoop& l : loops) {
    for (TFvrtRecord& c : l.Corners) c.Vert = into[static_cast<size_t>(c.Vert)];
    const size_t before = l.Corners.size();
    auto& c = l.Corners;
    c.erase(
        std::unique(c.begin(), c.end(),
                    [](const TFvrtRecord& a, const TFvrtRecord& b) { return a.Vert == b.Vert; }),
        c.end());
    while (c.size() > 1 && c.back().Vert == c.front().Vert) c.pop_back();
    report.MergedCorners += static_cast<int64_t>(before - c.size());
  }

  // 2. and 3. Faces without area, then repeats of an earlier face.
  std::vector<TPoint3> loop;
  std::unordered_map<std::string, uint32_t> seen;
  std::vector<int32_t> key;
  std::vector<TLoop> kept;
  kept.reserve(loops.size());
  for (TLoop& l : loops) {
    loop.clear();
    for (const TFvrtRecord& c : l.Corners) loop.push_back(verts[static_cast<size_t>(c.Vert)]);
    if (l.Corners.size() < 3 || !EnclosesArea(loop)) {
      ++report.ZeroAreaFaces;
      continue;
    }
    // The vertices from the smallest on, in the loop's own direction.
    const auto smallest = std::min_element(l.Corners.begin(), l.Corners.end(),
                                           [](const TFvrtRecord& a, const TFvrtRecord& b) {
                                             return a.Vert < b.Vert;
                                           }) -
                          l.Corners.begin();
    key.clear();
    for (size_t k = 0; k < l.Corners.size(); ++k)
      key.push_back(l.Corners[(static_cast<size_t>(smallest) + k) % l.Corners.size()].Vert);
    std::string bytes(reinterpret_cast<const char*>(key.data()), key.size() * sizeof key[0]);
    if (!seen.try_emplace(std::move(bytes), 0).second) {
      ++report.DuplicateFaces;
      continue;
    }
    kept.push_back(std::move(l));
  }

  // 4. Windings.
  report.TurnedFaces = OrientParts(kept, doc.VERT.get());

  // 5. The records anew: vertices in their order, corners in face order.
  std::vector<int32_t> renumber(verts.size(), -1);
  for (const TLoop& l : kept)
    for (const TFvrtRecord& c : l.Corners) renumber[static_cast<size_t>(c.Vert)] = 0;
  int32_t numVert = 0;
  for (size_t v = 0; v < renumber.size(); ++v) {
    if (renumber[v] < 0) continue;
    renumber[v] = numVert;
    doc.VERT[numVert++] = verts[v];
  }
  report.UnusedVerts = static_cast<int64_t>(verts.size()) - numVert - report.MergedVerts;
  // Faces that shared corners get their own: the corners must still fit FVRT.
  int64_t corners = 0;
  for (const TLoop& l : kept) corners += static_cast<int64_t>(l.Corners.size());
  if (corners > MeshCapacity)
    throw EMeshClean("clean: the faces share corners and need " + std::to_string(corners) +
                     " of their own, more than FVRT's " + std::to_string(MeshCapacity) +
                     "; nothing was changed");
  std::vector<bool> held(static_cast<size_t>(doc.NumFvrt), false);
  for (int32_t f = 0; f < doc.NumFace; ++f)
    for (int32_t k = 0; k < std::max(doc.FACE[f].FvrtCount, 0); ++k)
      held[static_cast<size_t>(doc.FACE[f].FirstFvrt + k)] = true;
  report.UnusedCorners = std::count(held.begin(), held.end(), false);
  int32_t numFvrt = 0, numFace = 0;
  for (TLoop& l : kept) {
    l.Face.FirstFvrt = numFvrt;
    l.Face.FvrtCount = static_cast<int32_t>(l.Corners.size());
    for (TFvrtRecord c : l.Corners) {
      c.Vert = renumber[static_cast<size_t>(c.Vert)];
      doc.FVRT[numFvrt++] = c;
    }
    doc.FACE[numFace++] = l.Face;
  }
  doc.NumVert = numVert;
  doc.NumFvrt = numFvrt;
  doc.NumFace = numFace;

  // 6. What depends on them.
  try {
    CalcVtnmRecords(doc);
    FaceNormalsForCornersWithout(doc);
  } catch (const EMeshDocument&) {
    throw EMeshClean("clean: the cleaned mesh needs more than " + std::to_string(MeshCapacity) +
                     " normals; nothing was changed");
  }
  double farthest = 0.0;
  for (int32_t v = 0; v < doc.NumVert; ++v) {
    const TPoint3& p = doc.VERT[v];
    farthest = std::max(farthest, double{p.x} * p.x + double{p.y} * p.y + double{p.z} * p.z);
  }
  doc.Radius = static_cast<float>(std::sqrt(farthest));
  report.NumVert = doc.NumVert;
  report.NumVtnm = doc.NumVtnm;
  report.NumFvrt = doc.NumFvrt;
  report.NumFace = doc.NumFace;
  return report;
}

}  // namespace

std::vector<int32_t> WeldVertices(std::span<const TPoint3> points, double distance) {
  std::vector<int32_t> into(points.size());
  // Exact copies only at distance 0: cells small against the model, never empty.
  const double cell = distance > 0.0 ? distance : 1e-6 * PointsSize(points);
  const double reach = distance * distance;
  // Representatives by cell: the first of a chain in `head`, the rest through `next`.
  std::unordered_map<uint64_t, int32_t> head;
  head.reserve(points.size());
  std::vector<int32_t> next(points.size(), -1);
  const auto cellOf = [&](double q) { return static_cast<int64_t>(std::floor(q / cell)); };
  for (size_t i = 0; i < points.size(); ++i) {
    const TPoint3& p = points[i];
    into[i] = static_cast<int32_t>(i);
    if (!Finite(p)) continue;
    const int64_t cx = cellOf(p.x), cy = cellOf(p.y), cz = cellOf(p.z);
    int32_t best = -1;
    for (int64_t dx = -1; dx <= 1; ++dx)
      for (int64_t dy = -1; dy <= 1; ++dy)
        for (int64_t dz = -1; dz <= 1; ++dz) {
          const auto at = head.find(CellKey(cx + dx, cy + dy, cz + dz));
          if (at == head.end()) continue;
          for (int32_t j = at->second; j >= 0; j = next[static_cast<size_t>(j)]) {
            const TPoint3& q = points[static_cast<size_t>(j)];
            const double ex = double{p.x} - q.x, ey = double{p.y} - q.y, ez = double{p.z} - q.z;
            if (ex * ex + ey * ey + ez * ez <= reach && (best < 0 || j < best)) best = j;
          }
        }
    if (best >= 0) {
      into[i] = best;
      continue;
    }
    // A new representative goes to the head of its cell's chain.
    const auto [at, added] = head.try_emplace(CellKey(cx, cy, cz), static_cast<int32_t>(i));
    if (!added) {
      next[i] = at->second;
      at->second = static_cast<int32_t>(i);
    }
  }
  return into;
}

TCleanReport CleanRecords(TMeshDocument& doc, const TCleanOptions& options) {
  const TRecordsCopy before(doc);
  try {
    return CleanUnguarded(doc, options);
  } catch (...) {
    before.Restore(doc);
    throw;
  }
}

TCleanReport CleanMesh(TMeshDocument& doc, const TCleanOptions& options) {
  const TCleanReport report = CleanRecords(doc, options);
  doc.NormalLines.Clear();
  doc.SaveRecordFilesAndRadius();
  doc.LoadRecordFiles();
  return report;
}

std::string TCleanReport::Text() const {
  char distance[64];
  std::snprintf(distance, sizeof distance, "%.6g", Distance);
  const auto line = [](const char* what, int64_t n) {
    return std::string(what) + ": " + std::to_string(n) + "\n";
  };
  return std::string("Vertices merged (closer than ") + distance +
         "): " + std::to_string(MergedVerts) + "\n" + line("Corners merged", MergedCorners) +
         line("Faces without area dropped", ZeroAreaFaces) +
         line("Duplicate faces dropped", DuplicateFaces) +
         line("Faces turned to agree with their neighbours", TurnedFaces) +
         line("Unused vertices dropped", UnusedVerts) +
         line("Unused normals dropped", UnusedNormals) +
         line("Unused corners dropped", UnusedCorners) + "Now VERT " + std::to_string(NumVert) +
         ", VTNM " + std::to_string(NumVtnm) + ", FVRT " + std::to_string(NumFvrt) + ", FACE " +
         std::to_string(NumFace) + "\n";
}
