// The JSON exchange with the Blender add-on, and the edited mesh back into records.
#include "interchange/ModelExchange.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "interchange/GameReady.h"
#include "interchange/SceneData.h"
#include "mesh/MeshDocument.h"
#include "mesh/Normals.h"
#include "mesh/Rip.h"
#include "mesh/WriteBack.h"

using TJson = nlohmann::json;

namespace {

// The five arrays of a model, each with the bytes after its last whole record (a chunk need
// not hold whole records; those bytes go back as they came).
struct TRecordSet {
  std::vector<TPoint3> Verts, Vtnms;
  std::vector<TFvrtRecord> Fvrts;
  std::vector<TFaceRecord> Faces;
  float Radius = 1.0f;
  bool RadiusRecord = true;  // RADI holds a whole float
  std::array<std::vector<uint8_t>, 5> Tails;
};

template <typename T>
std::vector<T> Records(const std::vector<uint8_t>& bytes, std::vector<uint8_t>& tail) {
  std::vector<T> out(bytes.size() / sizeof(T));
  if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * sizeof(T));
  tail.assign(bytes.begin() + static_cast<ptrdiff_t>(out.size() * sizeof(T)), bytes.end());
  return out;
}

template <typename T>
std::vector<uint8_t> Bytes(const std::vector<T>& records, const std::vector<uint8_t>& tail) {
  std::vector<uint8_t> out(records.size() * sizeof(T));
  if (!out.empty()) std::memcpy(out.data(), records.data(), out.size());
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

TRecordSet ReadRecords(std::span<const uint8_t> model, const std::string& what) {
  std::array<std::vector<uint8_t>, 5> bytes;
  try {
    bytes = ModelRecordBytes(model, what);
  } catch (const EWriteBack& e) {
    throw EModelExchange(e.what());
  }
  TRecordSet s;
  s.Verts = Records<TPoint3>(bytes[0], s.Tails[0]);
  s.Vtnms = Records<TPoint3>(bytes[1], s.Tails[1]);
  s.Fvrts = Records<TFvrtRecord>(bytes[2], s.Tails[2]);
  s.Faces = Records<TFaceRecord>(bytes[3], s.Tails[3]);
  // Only the first float is the radius; the rest of the chunk goes back as it came.
  const std::vector<uint8_t>& radi = bytes[4];
  s.RadiusRecord = radi.size() >= sizeof s.Radius;
  if (s.RadiusRecord) std::memcpy(&s.Radius, radi.data(), sizeof s.Radius);
  s.Tails[4].assign(radi.begin() + (s.RadiusRecord ? 4 : 0), radi.end());
  return s;
}

std::array<std::vector<uint8_t>, 5> RecordBytes(const TRecordSet& s) {
  std::vector<float> radius;
  if (s.RadiusRecord) radius.push_back(s.Radius);
  return {Bytes(s.Verts, s.Tails[0]), Bytes(s.Vtnms, s.Tails[1]), Bytes(s.Fvrts, s.Tails[2]),
          Bytes(s.Faces, s.Tails[3]), Bytes(radius, s.Tails[4])};
}

bool SameBits(const TPoint3& a, const TPoint3& b) {
  return std::bit_cast<uint32_t>(a.x) == std::bit_cast<uint32_t>(b.x) &&
         std::bit_cast<uint32_t>(a.y) == std::bit_cast<uint32_t>(b.y) &&
         std::bit_cast<uint32_t>(a.z) == std::bit_cast<uint32_t>(b.z);
}

// Corner k of a face of the edited mesh (the parser checked that it exists).
const TEditedCorner& CornerOf(const TEditedMesh& mesh, const TEditedFace& face, int32_t k) {
  return mesh.Corners[static_cast<size_t>(face.First) + static_cast<size_t>(k)];
}

// ---- out ----

double Finite(float value, const std::string& what, const char* record, size_t index) {
  if (!std::isfinite(value)) {
    throw EModelExchange("\"" + what + "\": " + record + " " + std::to_string(index) +
                         " holds a number that is not finite; \"tessavor-cli check\" lists such "
                         "records");
  }
  return value;
}

TJson Points(const std::vector<TPoint3>& points, const std::string& what, const char* record) {
  TJson out = TJson::array();
  for (size_t i = 0; i < points.size(); ++i) {
    const TPoint3& p = points[i];
    out.push_back(
        {Finite(p.x, what, record, i), Finite(p.y, what, record, i), Finite(p.z, what, record, i)});
  }
  return out;
}

// ---- back ----

class TEditParser {
public:
  explicit TEditParser(const std::string& fileName) : m_file(fileName) {}

  [[noreturn]] void Bad(const std::string& where, const std::string& what) const {
    throw EModelExchange("\"" + m_file + "\": " + where + " " + what);
  }
  const TJson& Array(const TJson& v, const std::string& where, size_t most) const {
    if (!v.is_array()) Bad(where, "is not a list");
    if (v.size() > most) Bad(where, "has more than " + std::to_string(most) + " entries");
    return v;
  }
  const TJson& Member(const TJson& object, const char* key) const {
    const auto it = object.find(key);
    if (it == object.end()) Bad(std::string("\"") + key + "\"", "is missing");
    return *it;
  }
  float Float(const TJson& v, const std::string& where) const {
    if (!v.is_number()) Bad(where, "is not a number");
    const auto f = static_cast<float>(v.get<double>());
    if (!std::isfinite(f)) Bad(where, "is not a finite number");
    return f;
  }
  int64_t Int(const TJson& v, const std::string& where, int64_t least, int64_t most) const {
    if (!v.is_number_integer()) Bad(where, "is not a whole number");
    const int64_t n = v.is_number_unsigned() && v.get<uint64_t>() > uint64_t{INT64_MAX}
                          ? INT64_MAX
                          : v.get<int64_t>();
    if (n < least || n > most) {
      Bad(where, "is " + std::to_string(n) + ", not within " + std::to_string(least) + ".." +
                     std::to_string(most));
    }
    return n;
  }
  TPoint3 Point(const TJson& v, const std::string& where) const {
    if (!v.is_array() || v.size() != 3) Bad(where, "is not a list of three numbers");
    return {Float(v[0], where), Float(v[1], where), Float(v[2], where)};
  }
  std::vector<TPoint3> Points(const TJson& v, const std::string& name) const {
    const TJson& list = Array(v, name, kMaxSceneRecords);
    std::vector<TPoint3> out;
    out.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i)
      out.push_back(Point(list[i], name + " " + std::to_string(i)));
    return out;
  }

private:
  const std::string& m_file;
};

// The game-ready import of some of the mesh's faces. The materials are given as their
// numbers, which the import keeps.
TGatheredScene SceneOf(const TEditedMesh& mesh, const std::vector<int32_t>& mats,
                       const std::vector<size_t>& faces) {
  TGatheredScene s;
  s.Verts = mesh.Verts;
  s.MeshNames = {"Blender mesh"};
  s.Meshes = 1;
  for (const int32_t mat : mats) s.Materials.push_back({std::to_string(mat), {}});
  for (const size_t f : faces) {
    const TEditedFace& face = mesh.Faces[f];
    s.Faces.push_back({static_cast<int32_t>(s.Corners.size()), face.Count,
                       static_cast<uint32_t>(face.Material), 0, static_cast<int32_t>(f + 1)});
    for (int32_t k = 0; k < face.Count; ++k) {
      const TEditedCorner& c = CornerOf(mesh, face, k);
      s.Corners.push_back({c.Vert, c.Tx, c.Ty, c.Normal});
    }
  }
  return s;
}

TImportedMesh GameReady(TGatheredScene scene, const TImportOptions& options,
                        TImportReport& report) {
  PrepareScene(scene, options, report);
  TImportReport inner;
  inner.FileName = report.FileName;
  return BuildImportedMesh(scene, options, inner);
}

TRecordSet RecordsOf(const TImportedMesh& m) {
  TRecordSet s;
  s.Verts = m.Verts;
  s.Vtnms = m.Vtnms;
  s.Fvrts = m.Fvrts;
  s.Faces = m.Faces;
  s.Radius = m.Radius;
  return s;
}

// The normals table of the model being made. A normal that still matches its record keeps
// it; another is the first record it matches (the scan "Calc VTNM" does), else added at the
// end. The first match is found through a grid of cells a little larger than twice the
// tolerance: a match lies in the normal's own cell or a neighbour, so only those are
// scanned, and a model whose every normal turned stays linear in its size.
class TNormalTable {
public:
  explicit TNormalTable(std::vector<TPoint3>& table) : m_table(table) {
    for (size_t i = 0; i < table.size(); ++i) Insert(static_cast<int32_t>(i));
  }

  int32_t Use(int32_t old, const TPoint3& n) {
    const auto size = static_cast<int32_t>(m_table.size());
    if (old >= 0 && old < size && NormalsMatch(m_table[static_cast<size_t>(old)], n)) return old;
    int32_t found = -1;
    const auto consider = [&](int32_t i) {
      if ((found < 0 || i < found) && NormalsMatch(m_table[static_cast<size_t>(i)], n)) found = i;
    };
    std::array<int64_t, 3> cell;
    if (Cell(n, cell)) {
      for (int64_t dx = -1; dx <= 1; ++dx)
        for (int64_t dy = -1; dy <= 1; ++dy)
          for (int64_t dz = -1; dz <= 1; ++dz) {
            const auto it = m_cells.find({cell[0] + dx, cell[1] + dy, cell[2] + dz});
            if (it != m_cells.end()) {
              for (const int32_t i : it->second) consider(i);
            }
          }
    }
    for (const int32_t i : m_far) consider(i);
    if (found >= 0) return found;
    m_table.push_back(n);
    Insert(size);
    return size;
  }

private:
  static constexpr double kCell = 2.5 * kNormalTolerance;

  // False for a normal too large for a cell number (or not finite: it matches nothing).
  static bool Cell(const TPoint3& n, std::array<int64_t, 3>& cell) {
    const float c[3] = {n.x, n.y, n.z};
    for (size_t i = 0; i < 3; ++i) {
      const double q = std::floor(double{c[i]} / kCell);
      if (!(std::fabs(q) < 1e15)) return false;
      cell[i] = static_cast<int64_t>(q);
    }
    return true;
  }
  void Insert(int32_t i) {
    const TPoint3& n = m_table[static_cast<size_t>(i)];
    std::array<int64_t, 3> cell;
    if (Cell(n, cell)) {
      m_cells[cell].push_back(i);
    } else if (std::isfinite(n.x) && std::isfinite(n.y) && std::isfinite(n.z)) {
      m_far.push_back(i);
    }
  }

  std::vector<TPoint3>& m_table;
  std::map<std::array<int64_t, 3>, std::vector<int32_t>> m_cells;
  std::vector<int32_t> m_far;  // finite normals past the cells' range
};

bool CornerExists(const TRecordSet& s, int32_t r) {
  return r >= 0 && static_cast<size_t>(r) < s.Fvrts.size();
}

// The normals, D and radius that depend on moved vertices (see the header). Only the faces
// marked `eligible` are looked at: the game-ready import has made the others' already.
void FollowMovedVertices(TRecordSet& s, const std::vector<bool>& moved,
                         const std::vector<bool>& eligible, const std::string& what) {
  if (std::find(moved.begin(), moved.end(), true) == moved.end()) return;
  const auto movedVert = [&](int32_t v) {
    return v >= 0 && static_cast<size_t>(v) < moved.size() && moved[static_cast<size_t>(v)];
  };
  // "Calc VTNM" and "CALC D" on a scratch document give the new values to take from.
  auto doc = std::make_unique<TMeshDocument>();
  doc->ShowData = false;
  doc->NumVert = static_cast<int32_t>(s.Verts.size());
  std::copy(s.Verts.begin(), s.Verts.end(), doc->VERT.get());
  doc->NumFvrt = static_cast<int32_t>(s.Fvrts.size());
  std::copy(s.Fvrts.begin(), s.Fvrts.end(), doc->FVRT.get());
  doc->NumFace = static_cast<int32_t>(s.Faces.size());
  std::copy(s.Faces.begin(), s.Faces.end(), doc->FACE.get());
  try {
    CalcVtnmRecords(*doc);
  } catch (const EMeshDocument&) {
    throw EModelExchange("\"" + what + "\": the moved vertices need more than " +
                         std::to_string(MeshCapacity) + " distinct normals");
  }

  TNormalTable normals(s.Vtnms);
  std::vector<bool> affected(s.Faces.size(), false), touched(s.Verts.size(), false);
  for (size_t f = 0; f < s.Faces.size(); ++f) {
    if (!eligible[f]) continue;
    const TFaceRecord& face = s.Faces[f];
    for (int32_t r = face.FirstFvrt; r < face.FirstFvrt + face.FvrtCount; ++r) {
      if (CornerExists(s, r) && movedVert(s.Fvrts[static_cast<size_t>(r)].Vert)) affected[f] = true;
    }
    if (!affected[f]) continue;
    for (int32_t r = face.FirstFvrt; r < face.FirstFvrt + face.FvrtCount; ++r) {
      const int32_t v = CornerExists(s, r) ? s.Fvrts[static_cast<size_t>(r)].Vert : -1;
      if (v >= 0 && static_cast<size_t>(v) < touched.size()) touched[static_cast<size_t>(v)] = true;
    }
  }
  const auto vertexNormal = [&](int32_t r) { return doc->VTNM[doc->FVRT[r].Vtnm]; };
  for (size_t f = 0; f < s.Faces.size(); ++f) {
    if (!eligible[f]) continue;
    TFaceRecord& face = s.Faces[f];
    const int32_t oldFace = face.Vtnm;
    if (affected[f]) {
      const TFaceRecord& computed = doc->FACE[f];
      face.Vtnm = normals.Use(oldFace, doc->VTNM[computed.Vtnm]);
      face.D = computed.D;
    }
    for (int32_t r = face.FirstFvrt; r < face.FirstFvrt + face.FvrtCount; ++r) {
      if (!CornerExists(s, r)) continue;
      TFvrtRecord& corner = s.Fvrts[static_cast<size_t>(r)];
      const bool flat = corner.Vtnm == oldFace;
      if (affected[f] && flat) {
        corner.Vtnm = face.Vtnm;
      } else if (!flat && corner.Vert >= 0 && static_cast<size_t>(corner.Vert) < touched.size() &&
                 touched[static_cast<size_t>(corner.Vert)]) {
        corner.Vtnm = normals.Use(corner.Vtnm, vertexNormal(r));
      }
    }
  }
  // The radius bounds the model: it grows with a vertex moved past it.
  const float reach = FarthestReach(s.Verts);
  if (reach > s.Radius || !s.RadiusRecord) {
    s.Radius = std::max(s.Radius, reach);
    s.RadiusRecord = true;
  }
}

// The compiled mesh script without records: FORM MESH of five empty chunks, which
// WriteBackBytes fills.
std::vector<uint8_t> EmptyModel() {
  std::vector<uint8_t> b = {'F', 'O', 'R', 'M', 0, 0, 0, 44, 'M', 'E', 'S', 'H'};
  for (const TRipChunk& c : kRipChunkTable) {
    b.insert(b.end(), c.Id, c.Id + 4);
    b.insert(b.end(), 4, 0);
  }
  return b;
}

void CheckCounts(const TRecordSet& s, const std::string& what) {
  CheckRecordCapacity({static_cast<int64_t>(s.Verts.size()), static_cast<int64_t>(s.Fvrts.size()),
                       static_cast<int64_t>(s.Faces.size())},
                      what);
  if (s.Vtnms.size() > static_cast<size_t>(MeshCapacity)) {
    throw EModelTooLarge("\"" + what + "\" needs " + std::to_string(s.Vtnms.size()) +
                         " normals, more than " + std::to_string(MeshCapacity) +
                         "; export with \"Fit\" to make its normals again");
  }
}

// Which vertices and faces of the edited mesh are still the source's: the first to claim a
// source index has it (a duplicate made in Blender carries the same one). A face is the
// source's when it has the source face's corners, in order.
struct TSourceMatch {
  std::vector<bool> Kept;   // per face
  std::vector<bool> Moved;  // per vertex: the source's, somewhere else
  bool Same = false;        // every vertex and face at its own index
};

TSourceMatch MatchSource(const TEditedMesh& mesh, const TRecordSet& src, TEditedModel& out) {
  TSourceMatch m;
  std::vector<int32_t> vsrc(mesh.Verts.size(), -1);
  std::vector<bool> claimedVert(src.Verts.size(), false);
  bool sameVerts = mesh.Verts.size() == src.Verts.size();
  for (size_t i = 0; i < mesh.Verts.size(); ++i) {
    const int32_t s = mesh.VertSources[i];
    if (s >= 0 && static_cast<size_t>(s) < src.Verts.size() &&
        !claimedVert[static_cast<size_t>(s)]) {
      vsrc[i] = s;
      claimedVert[static_cast<size_t>(s)] = true;
    }
    sameVerts = sameVerts && vsrc[i] == static_cast<int32_t>(i);
  }
  m.Kept.assign(mesh.Faces.size(), false);
  std::vector<bool> claimedFace(src.Faces.size(), false);
  bool sameFaces = mesh.Faces.size() == src.Faces.size();
  for (size_t f = 0; f < mesh.Faces.size(); ++f) {
    const TEditedFace& face = mesh.Faces[f];
    if (face.Source < 0 || static_cast<size_t>(face.Source) >= src.Faces.size() ||
        claimedFace[static_cast<size_t>(face.Source)])
      continue;
    const TFaceRecord& sf = src.Faces[static_cast<size_t>(face.Source)];
    bool same = sf.FvrtCount == face.Count;
    for (int32_t k = 0; same && k < face.Count; ++k) {
      const int64_t r = int64_t{sf.FirstFvrt} + k;
      const int32_t v = vsrc[static_cast<size_t>(CornerOf(mesh, face, k).Vert)];
      same = r >= 0 && static_cast<size_t>(r) < src.Fvrts.size() && v >= 0 &&
             src.Fvrts[static_cast<size_t>(r)].Vert == v;
    }
    m.Kept[f] = claimedFace[static_cast<size_t>(face.Source)] = same;
    sameFaces = sameFaces && same && face.Source == static_cast<int32_t>(f);
  }
  m.Same = sameVerts && sameFaces;
  out.DroppedFaces =
      static_cast<int32_t>(std::count(claimedFace.begin(), claimedFace.end(), false));
  m.Moved.assign(mesh.Verts.size(), false);
  for (size_t i = 0; i < mesh.Verts.size(); ++i) {
    m.Moved[i] = vsrc[i] >= 0 && !SameBits(mesh.Verts[i], src.Verts[static_cast<size_t>(vsrc[i])]);
    out.MovedVerts += m.Moved[i] ? 1 : 0;
  }
  return m;
}

// The source's own records, with what Blender can change in them.
TRecordSet PatchSource(const TEditedMesh& mesh, const TRecordSet& src,
                       const std::vector<int32_t>& mats, const std::vector<bool>& moved,
                       const std::string& what) {
  TRecordSet rec = src;
  rec.Verts = mesh.Verts;
  for (size_t f = 0; f < mesh.Faces.size(); ++f) {
    const TEditedFace& face = mesh.Faces[f];
    TFaceRecord& record = rec.Faces[f];
    record.Mat = mats[static_cast<size_t>(face.Material)];
    for (int32_t k = 0; k < face.Count; ++k) {
      const TEditedCorner& c = CornerOf(mesh, face, k);
      TFvrtRecord& corner =
          rec.Fvrts[static_cast<size_t>(record.FirstFvrt) + static_cast<size_t>(k)];
      corner.Tx = c.Tx;
      corner.Ty = c.Ty;
    }
  }
  const size_t vtnms = rec.Vtnms.size();
  FollowMovedVertices(rec, moved, std::vector<bool>(rec.Faces.size(), true), what);
  if (rec.Vtnms.size() != vtnms) rec.Tails[1].clear();  // the table grew past them
  return rec;
}

// The game-ready import's records after those of `rec`: its faces use the vertices of `rec`
// where a position is one of them, and the normals the table matches.
void AppendRecords(TRecordSet& rec, const TImportedMesh& made) {
  std::map<std::array<uint32_t, 3>, int32_t> where;
  const auto key = [](const TPoint3& p) {
    return std::array<uint32_t, 3>{std::bit_cast<uint32_t>(p.x), std::bit_cast<uint32_t>(p.y),
                                   std::bit_cast<uint32_t>(p.z)};
  };
  for (size_t i = 0; i < rec.Verts.size(); ++i)
    where.emplace(key(rec.Verts[i]), static_cast<int32_t>(i));
  std::vector<int32_t> vmap;
  for (const TPoint3& p : made.Verts) {
    const auto [it, added] = where.emplace(key(p), static_cast<int32_t>(rec.Verts.size()));
    if (added) rec.Verts.push_back(p);
    vmap.push_back(it->second);
  }
  std::vector<int32_t> nmap;
  TNormalTable normals(rec.Vtnms);
  for (const TPoint3& n : made.Vtnms) nmap.push_back(normals.Use(-1, n));
  const auto firstFvrt = static_cast<int32_t>(rec.Fvrts.size());
  for (const TFvrtRecord& r : made.Fvrts)
    rec.Fvrts.push_back(
        {vmap[static_cast<size_t>(r.Vert)], nmap[static_cast<size_t>(r.Vtnm)], r.Tx, r.Ty});
  for (TFaceRecord f : made.Faces) {
    f.Vtnm = nmap[static_cast<size_t>(f.Vtnm)];
    f.FirstFvrt += firstFvrt;
    rec.Faces.push_back(f);
  }
}

// The faces that kept their source, then the new ones through the game-ready import.
TRecordSet Rebuild(const TEditedMesh& mesh, const TRecordSet& src, const std::vector<int32_t>& mats,
                   const TSourceMatch& match, const TImportOptions& options,
                   const std::string& what, TEditedModel& out) {
  TRecordSet rec;
  rec.Verts = mesh.Verts;
  rec.Vtnms = mesh.Vtnms.empty() ? src.Vtnms : mesh.Vtnms;
  rec.Radius = mesh.HasRadius ? mesh.Radius : src.Radius;
  rec.Tails[4] = src.Tails[4];
  std::vector<size_t> fresh;
  const auto validNormal = [&](int32_t n) {
    return n >= 0 && static_cast<size_t>(n) < rec.Vtnms.size();
  };
  for (size_t f = 0; f < mesh.Faces.size(); ++f) {
    const TEditedFace& face = mesh.Faces[f];
    bool normals = validNormal(face.Vtnm);
    for (int32_t k = 0; normals && k < face.Count; ++k)
      normals = validNormal(CornerOf(mesh, face, k).Vtnm);
    if (!match.Kept[f] || !normals) {
      fresh.push_back(f);
      continue;
    }
    rec.Faces.push_back({face.Vtnm, face.D, mats[static_cast<size_t>(face.Material)],
                         static_cast<int32_t>(rec.Fvrts.size()), face.Count, face.Reserved1,
                         face.Reserved2});
    for (int32_t k = 0; k < face.Count; ++k) {
      const TEditedCorner& c = CornerOf(mesh, face, k);
      rec.Fvrts.push_back({c.Vert, c.Vtnm, c.Tx, c.Ty});
    }
  }
  std::vector<bool> eligible(rec.Faces.size(), true);
  out.NewFaces = static_cast<int32_t>(fresh.size());
  if (!fresh.empty()) {
    AppendRecords(rec, GameReady(SceneOf(mesh, mats, fresh), options, out.Report));
    eligible.resize(rec.Faces.size(), false);
  }
  FollowMovedVertices(rec, match.Moved, eligible, what);
  if (!fresh.empty() || out.DroppedFaces > 0) {
    rec.Radius = std::max(rec.Radius, FarthestReach(rec.Verts));
  }
  return rec;
}

bool OverTheArrays(const TRecordSet& rec) {
  const auto over = [](size_t n) { return n > static_cast<size_t>(MeshCapacity); };
  return over(rec.Verts.size()) || over(rec.Vtnms.size()) || over(rec.Fvrts.size()) ||
         over(rec.Faces.size());
}

}  // namespace

std::string ModelMeshJson(std::span<const uint8_t> model, const std::string& source) {
  const TRecordSet s = ReadRecords(model, source);
  TJson j;
  j["format"] = "tessavor-mesh";
  j["version"] = 1;
  j["source"] = source;
  j["radius"] = Finite(s.Radius, source, "RADI", 0);
  j["vert"] = Points(s.Verts, source, "VERT");
  j["vtnm"] = Points(s.Vtnms, source, "VTNM");
  TJson fvrt = TJson::array();
  for (size_t i = 0; i < s.Fvrts.size(); ++i) {
    const TFvrtRecord& r = s.Fvrts[i];
    fvrt.push_back(
        {r.Vert, r.Vtnm, Finite(r.Tx, source, "FVRT", i), Finite(r.Ty, source, "FVRT", i)});
  }
  j["fvrt"] = std::move(fvrt);
  TJson face = TJson::array();
  for (size_t i = 0; i < s.Faces.size(); ++i) {
    const TFaceRecord& r = s.Faces[i];
    face.push_back({r.Vtnm, Finite(r.D, source, "FACE", i), r.Mat, r.FirstFvrt, r.FvrtCount,
                    r.Reserved1, r.Reserved2});
  }
  j["face"] = std::move(face);
  // A path that is not UTF-8 is shown with replacement characters; the add-on keeps its own.
  return j.dump(-1, ' ', false, TJson::error_handler_t::replace) + "\n";
}

TEditedMesh ParseEditedMesh(std::string_view text, const std::string& fileName) {
  if (text.size() > kMaxExchangeBytes)
    throw EModelExchange("\"" + fileName + "\" is larger than " +
                         std::to_string(kMaxExchangeBytes) + " bytes");
  TJson j;
  try {
    j = TJson::parse(text.begin(), text.end());
  } catch (const TJson::exception& e) {
    throw EModelExchange("\"" + fileName + "\" is not JSON: " + e.what());
  }
  const TEditParser p(fileName);
  if (!j.is_object()) p.Bad("the document", "is not an object");
  if (p.Member(j, "format") != "tessavor-edit") p.Bad("\"format\"", "is not \"tessavor-edit\"");
  if (p.Member(j, "version") != 1) p.Bad("\"version\"", "is not 1");
  TEditedMesh m;
  const TJson& source = p.Member(j, "source");
  if (!source.is_string()) p.Bad("\"source\"", "is not a text");
  m.Source = source.get<std::string>();
  const TJson& radius = p.Member(j, "radius");
  if (!radius.is_null()) {
    m.HasRadius = true;
    m.Radius = p.Float(radius, "\"radius\"");
  }
  m.Vtnms = p.Points(p.Member(j, "vtnm"), "vtnm");
  m.Verts = p.Points(p.Member(j, "vert"), "vert");
  const TJson& sources = p.Array(p.Member(j, "vert_source"), "vert_source", kMaxSceneRecords);
  if (sources.size() != m.Verts.size()) p.Bad("vert_source", "does not have one entry a vertex");
  for (size_t i = 0; i < sources.size(); ++i) {
    m.VertSources.push_back(
        static_cast<int32_t>(p.Int(sources[i], "vert_source " + std::to_string(i), -1, INT32_MAX)));
  }
  const TJson& materials = p.Array(p.Member(j, "materials"), "materials", kMaxSceneRecords);
  for (size_t i = 0; i < materials.size(); ++i) {
    const std::string where = "material " + std::to_string(i);
    const TJson& mat = materials[i];
    if (!mat.is_object()) p.Bad(where, "is not an object");
    const TJson& name = p.Member(mat, "name");
    const TJson& picture = p.Member(mat, "picture");
    if (!name.is_string() || !picture.is_string())
      p.Bad(where, "has a name or picture that is no text");
    m.Materials.push_back({name.get<std::string>(), picture.get<std::string>()});
    if (m.Materials.back().Name.size() > kMaxSceneName ||
        m.Materials.back().Picture.size() > kMaxSceneName)
      p.Bad(where, "has a name longer than " + std::to_string(kMaxSceneName) + " bytes");
  }
  const TJson& faces = p.Array(p.Member(j, "faces"), "faces", kMaxSceneRecords);
  for (size_t f = 0; f < faces.size(); ++f) {
    const std::string where = "face " + std::to_string(f);
    const TJson& face = faces[f];
    if (!face.is_object()) p.Bad(where, "is not an object");
    TEditedFace out;
    out.Material = static_cast<int32_t>(p.Int(p.Member(face, "material"), where + " material", 0,
                                              static_cast<int64_t>(m.Materials.size()) - 1));
    out.Source =
        static_cast<int32_t>(p.Int(p.Member(face, "source"), where + " source", -1, INT32_MAX));
    out.Vtnm =
        static_cast<int32_t>(p.Int(p.Member(face, "vtnm"), where + " vtnm", INT32_MIN, INT32_MAX));
    out.D = p.Float(p.Member(face, "d"), where + " d");
    const TJson& reserved = p.Member(face, "reserved");
    if (!reserved.is_array() || reserved.size() != 2) p.Bad(where, "reserved is not two numbers");
    out.Reserved1 =
        static_cast<int32_t>(p.Int(reserved[0], where + " reserved", INT32_MIN, INT32_MAX));
    // The second reserved word is a bit pattern: as a signed or an unsigned number.
    out.Reserved2 =
        static_cast<uint32_t>(p.Int(reserved[1], where + " reserved", INT32_MIN, UINT32_MAX));
    const TJson& corners =
        p.Array(p.Member(face, "corners"), where + " corners", kMaxSceneRecords - m.Corners.size());
    if (corners.size() < 3) p.Bad(where, "has fewer than 3 corners");
    out.First = static_cast<int32_t>(m.Corners.size());
    out.Count = static_cast<int32_t>(corners.size());
    for (size_t k = 0; k < corners.size(); ++k) {
      const std::string at = "corner " + std::to_string(k) + " of " + where;
      const TJson& c = corners[k];
      if (!c.is_array() || c.size() != 7) p.Bad(at, "is not a list of seven numbers");
      TEditedCorner corner;
      corner.Vert = static_cast<int32_t>(
          p.Int(c[0], at + " vertex", 0, static_cast<int64_t>(m.Verts.size()) - 1));
      corner.Tx = p.Float(c[1], at);
      corner.Ty = p.Float(c[2], at);
      corner.Normal = {p.Float(c[3], at), p.Float(c[4], at), p.Float(c[5], at)};
      corner.Vtnm = static_cast<int32_t>(p.Int(c[6], at + " vtnm", INT32_MIN, INT32_MAX));
      m.Corners.push_back(corner);
    }
    m.Faces.push_back(out);
  }
  return m;
}

TEditedModel BuildEditedModel(const TEditedMesh& mesh, std::span<const uint8_t> sourceBytes,
                              const std::string& folder, const TImportOptions& options) {
  TEditedModel out;
  const std::string what = mesh.Source.empty() ? std::string("the Blender mesh") : mesh.Source;
  out.Report.FileName = what;
  if (mesh.Faces.empty()) throw EModelExchange("\"" + what + "\" has no polygons");
  TGatheredScene named;
  for (const TEditedMaterial& m : mesh.Materials) {
    std::vector<std::string> textures;
    if (!m.Picture.empty()) textures.push_back(m.Picture);
    named.Materials.push_back({m.Name, textures});
  }
  const std::vector<int32_t> mats = MapMaterials(named, options, out.Report);

  std::vector<size_t> all(mesh.Faces.size());
  for (size_t f = 0; f < all.size(); ++f) all[f] = f;
  TRecordSet rec;
  std::vector<uint8_t> model;
  if (sourceBytes.empty()) {
    rec = RecordsOf(GameReady(SceneOf(mesh, mats, all), options, out.Report));
    out.NewFaces = static_cast<int32_t>(rec.Faces.size());
    model = EmptyModel();
  } else {
    model.assign(sourceBytes.begin(), sourceBytes.end());
    const TRecordSet src = ReadRecords(sourceBytes, what);
    const TSourceMatch match = MatchSource(mesh, src, out);
    if (match.Same) {
      out.KeptStructure = true;
      rec = PatchSource(mesh, src, mats, match.Moved, what);
    } else {
      rec = Rebuild(mesh, src, mats, match, options, what, out);
      if (OverTheArrays(rec) && options.Fit) {
        // Fitting simplifies the whole surface: the whole mesh is made again.
        out.Report.Notes.push_back("Over the record arrays: the whole mesh made again to fit");
        std::vector<uint8_t> radiusTail = rec.Tails[4];
        rec = RecordsOf(GameReady(SceneOf(mesh, mats, all), options, out.Report));
        rec.Tails[4] = std::move(radiusTail);
        out.NewFaces = static_cast<int32_t>(rec.Faces.size());
      }
    }
  }
  CheckCounts(rec, what);
  try {
    out.Bytes = WriteBackBytes(model, RecordBytes(rec), what);
  } catch (const EWriteBack& e) {
    throw EModelExchange(e.what());
  }
  out.Mesh.Verts = rec.Verts;
  out.Mesh.Vtnms = rec.Vtnms;
  out.Mesh.Fvrts = rec.Fvrts;
  out.Mesh.Faces = rec.Faces;
  out.Mesh.Radius = rec.Radius;
  out.Mesh.ModelFolder = folder.empty() ? std::string(".") : folder;
  // The pictures of the materials the model uses.
  std::vector<bool> used(mesh.Materials.size(), false);
  for (const TEditedFace& f : mesh.Faces) used[static_cast<size_t>(f.Material)] = true;
  for (size_t m = 0; m < mesh.Materials.size(); ++m) {
    if (used[m] && !mesh.Materials[m].Picture.empty())
      out.Mesh.Textures.emplace_back(mats[m], TSceneTexture{mesh.Materials[m].Picture, {}, {}});
  }
  out.Report.NumVert = static_cast<int32_t>(rec.Verts.size());
  out.Report.NumVtnm = static_cast<int32_t>(rec.Vtnms.size());
  out.Report.NumFvrt = static_cast<int32_t>(rec.Fvrts.size());
  out.Report.NumFace = static_cast<int32_t>(rec.Faces.size());
  return out;
}
