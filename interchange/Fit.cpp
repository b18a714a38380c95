// Simplification to the record limits through meshoptimizer (see Fit.h). A library, not a
// simplifier of our own: its quadric collapse with seam and border handling is well kept
// and fast (a 60,000-quad model in a fraction of a second).
#include "interchange/Fit.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include "interchange/PolygonRebuild.h"
#include "mesh/MeshClean.h"

namespace {

// Corners that are equal in every byte (normals left out) are one vertex for the
// simplifier; corners at one position that differ in texture coordinates are the seams it
// keeps.
struct TCornerKey {
  TSceneCorner Corner;
  bool operator==(const TCornerKey& o) const {
    return std::memcmp(&Corner, &o.Corner, sizeof Corner) == 0;
  }
};
struct TCornerHash {
  size_t operator()(const TCornerKey& k) const {
    uint32_t words[sizeof(TSceneCorner) / 4];
    std::memcpy(words, &k.Corner, sizeof words);
    uint64_t h = 0x9E3779B97F4A7C15ull;
    for (uint32_t w : words) h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    return static_cast<size_t>(h ^ (h >> 29));
  }
};

struct TGroup {
  uint32_t Material = 0, Object = 0;
  uint32_t Mesh = 0;              // of its first face, for messages
  std::vector<uint32_t> Indices;  // triangles over the wedges
};

// A cell of the clustering grid.
struct TCell {
  int64_t x, y, z;
  uint32_t m = 0;  // the material of the vertices it gathers
  bool operator==(const TCell&) const = default;
};
struct TCellHash {
  size_t operator()(const TCell& c) const {
    uint64_t h = static_cast<uint64_t>(c.x) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint64_t>(c.y) * 0xC2B2AE3D27D4EB4Full + (h >> 31);
    h ^= static_cast<uint64_t>(c.z) * 0x165667B19E3779F9ull + (h >> 29);
    h ^= (uint64_t{c.m} + 1) * 0x27D4EB2F165667C5ull + (h >> 33);
    return static_cast<size_t>(h ^ (h >> 32));
  }
};

TCell CellOf(const TPoint3& p, const TPoint3& lo, double cell) {
  return {static_cast<int64_t>((double{p.x} - lo.x) / cell),
          static_cast<int64_t>((double{p.y} - lo.y) / cell),
          static_cast<int64_t>((double{p.z} - lo.z) / cell), 0};
}

}  // namespace

void DropFins(TGatheredScene& scene) {
  // A triangle by its vertices from the smallest on; its twin runs the other way round.
  struct TKey {
    int32_t a, b, c;
    bool operator==(const TKey&) const = default;
  };
  struct TKeyHash {
    size_t operator()(const TKey& k) const {
      uint64_t h = (uint64_t{static_cast<uint32_t>(k.a)} << 32) ^ static_cast<uint32_t>(k.b);
      h = (h ^ static_cast<uint32_t>(k.c)) * 0x9E3779B97F4A7C15ull;
      return static_cast<size_t>(h ^ (h >> 31));
    }
  };
  const auto keyOf = [](int32_t a, int32_t b, int32_t c) {
    if (b < a && b < c) return TKey{b, c, a};
    if (c < a && c < b) return TKey{c, a, b};
    return TKey{a, b, c};
  };
  std::unordered_map<TKey, size_t, TKeyHash> open;  // triangle -> its face, not yet paired
  open.reserve(scene.Faces.size());
  std::vector<bool> drop(scene.Faces.size(), false);
  for (size_t i = 0; i < scene.Faces.size(); ++i) {
    const TSceneFace& f = scene.Faces[i];
    if (f.Count != 3) continue;
    const int32_t a = scene.Corners[static_cast<size_t>(f.First)].Vert,
                  b = scene.Corners[static_cast<size_t>(f.First + 1)].Vert,
                  c = scene.Corners[static_cast<size_t>(f.First + 2)].Vert;
    if (const auto twin = open.find(keyOf(a, c, b)); twin != open.end()) {
      drop[i] = drop[twin->second] = true;
      open.erase(twin);
    } else if (!open.try_emplace(keyOf(a, b, c), i).second) {
      drop[i] = true;  // a copy of a face before it
    }
  }
  size_t kept = 0;
  for (size_t i = 0; i < scene.Faces.size(); ++i) {
    if (drop[i]) continue;
    scene.Faces[kept] = scene.Faces[i];
    if (scene.FaceObjects.size() == scene.Faces.size())
      scene.FaceObjects[kept] = scene.FaceObjects[i];
    ++kept;
  }
  if (scene.FaceObjects.size() == scene.Faces.size()) scene.FaceObjects.resize(kept);
  scene.Faces.resize(kept);
}

size_t DropExtraFaces(TGatheredScene& scene) {
  const auto vertOf = [&](const TSceneFace& f, int32_t k) {
    return scene.Corners[static_cast<size_t>(f.First + k % f.Count)].Vert;
  };
  // Newell's normal, unit length (zero for a face without area).
  std::vector<std::array<double, 3>> normals(scene.Faces.size());
  std::unordered_map<uint64_t, std::vector<uint32_t>> facesOf;  // edge, low vertex first
  facesOf.reserve(scene.Corners.size());
  for (size_t i = 0; i < scene.Faces.size(); ++i) {
    const TSceneFace& f = scene.Faces[i];
    std::array<double, 3> n{0.0, 0.0, 0.0};
    for (int32_t k = 0; k < f.Count; ++k) {
      const int32_t a = vertOf(f, k), b = vertOf(f, k + 1);
      const TPoint3 &p = scene.Verts[static_cast<size_t>(a)],
                    &q = scene.Verts[static_cast<size_t>(b)];
      n[0] += (double{p.y} - q.y) * (double{p.z} + q.z);
      n[1] += (double{p.z} - q.z) * (double{p.x} + q.x);
      n[2] += (double{p.x} - q.x) * (double{p.y} + q.y);
      if (a == b) continue;
      const uint64_t key = (uint64_t{static_cast<uint32_t>(std::min(a, b))} << 32) |
                           static_cast<uint32_t>(std::max(a, b));
      std::vector<uint32_t>& of = facesOf[key];
      if (of.empty() || of.back() != i) of.push_back(static_cast<uint32_t>(i));
    }
    const double length = std::hypot(n[0], n[1], n[2]);
    if (length > 0.0) normals[i] = {n[0] / length, n[1] / length, n[2] / length};
  }
  // Whether face `f` runs from vertex `a` straight to `b`.
  const auto runs = [&](uint32_t f, int32_t a, int32_t b) {
    const TSceneFace& face = scene.Faces[f];
    for (int32_t k = 0; k < face.Count; ++k)
      if (vertOf(face, k) == a && vertOf(face, k + 1) == b) return true;
    return false;
  };
  std::vector<bool> drop(scene.Faces.size(), false);
  for (const auto& [key, of] : facesOf) {
    if (of.size() <= 2) continue;
    const auto a = static_cast<int32_t>(key >> 32), b = static_cast<int32_t>(key & 0xFFFFFFFFu);
    // The edge's faces still kept; a face dropped at another edge has no say here.
    std::vector<uint32_t> kept;
    for (uint32_t f : of)
      if (!drop[f]) kept.push_back(f);
    if (kept.size() <= 2) continue;
    double best = -2.0;
    std::array<uint32_t, 2> pair{kept[0], kept[1]};
    for (size_t i = 0; i < kept.size(); ++i) {
      for (size_t j = i + 1; j < kept.size(); ++j) {
        const uint32_t f = kept[i], g = kept[j];
        if (runs(f, a, b) == runs(g, a, b)) continue;  // the same way: no two sides
        const double d = normals[f][0] * normals[g][0] + normals[f][1] * normals[g][1] +
                         normals[f][2] * normals[g][2];
        if (d > best) {
          best = d;
          pair = {f, g};
        }
      }
    }
    for (uint32_t f : kept) drop[f] = f != pair[0] && f != pair[1];
  }
  const bool objects = scene.FaceObjects.size() == scene.Faces.size();
  size_t kept = 0;
  for (size_t i = 0; i < scene.Faces.size(); ++i) {
    if (drop[i]) continue;
    scene.Faces[kept] = scene.Faces[i];
    if (objects) scene.FaceObjects[kept] = scene.FaceObjects[i];
    ++kept;
  }
  const size_t dropped = scene.Faces.size() - kept;
  scene.Faces.resize(kept);
  if (objects) scene.FaceObjects.resize(kept);
  return dropped;
}

void DropUnusedCorners(TGatheredScene& scene) {
  std::vector<TSceneCorner> corners;
  corners.reserve(scene.Corners.size());
  for (TSceneFace& f : scene.Faces) {
    const auto first = static_cast<int32_t>(corners.size());
    corners.insert(corners.end(), scene.Corners.begin() + f.First,
                   scene.Corners.begin() + f.First + f.Count);
    f.First = first;
  }
  scene.Corners = std::move(corners);
}

bool WeldTriangles(TGatheredScene& scene) {
  const std::vector<int32_t> into = WeldVertices(scene.Verts, kCleanDistance * SceneSize(scene));
  bool merged = false;
  for (TSceneCorner& c : scene.Corners) {
    merged = merged || into[static_cast<size_t>(c.Vert)] != c.Vert;
    c.Vert = into[static_cast<size_t>(c.Vert)];
  }
  const bool objects = scene.FaceObjects.size() == scene.Faces.size();
  size_t kept = 0;
  for (size_t i = 0; i < scene.Faces.size(); ++i) {
    const TSceneFace& f = scene.Faces[i];
    const int32_t a = scene.Corners[static_cast<size_t>(f.First)].Vert,
                  b = scene.Corners[static_cast<size_t>(f.First + 1)].Vert,
                  c = scene.Corners[static_cast<size_t>(f.First + 2)].Vert;
    if (a == b || b == c || c == a) continue;
    scene.Faces[kept] = f;
    if (objects) scene.FaceObjects[kept] = scene.FaceObjects[i];
    ++kept;
  }
  scene.Faces.resize(kept);
  if (objects) scene.FaceObjects.resize(kept);
  return merged;
}

double ClusterTriangles(TGatheredScene& scene, size_t target) {
  std::vector<bool> used(scene.Verts.size(), false);
  for (const TSceneCorner& c : scene.Corners) used[static_cast<size_t>(c.Vert)] = true;
  TPoint3 lo{0, 0, 0}, hi{0, 0, 0};
  size_t count = 0;
  for (size_t v = 0; v < scene.Verts.size(); ++v) {
    if (!used[v]) continue;
    const TPoint3& p = scene.Verts[v];
    lo = count ? TPoint3{std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)} : p;
    hi = count ? TPoint3{std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)} : p;
    ++count;
  }
  const double size = SceneSize(scene);
  // A surface of C occupied cells keeps about 2 C triangles, and the cells a surface
  // occupies grow as the inverse square of their size: three corrections get near.
  const auto occupied = [&](double cell) {
    std::unordered_set<TCell, TCellHash> cells;
    cells.reserve(target);
    for (size_t v = 0; v < scene.Verts.size(); ++v)
      if (used[v]) cells.insert(CellOf(scene.Verts[v], lo, cell));
    return cells.size();
  };
  double cell = size / std::sqrt(static_cast<double>(target));
  for (int i = 0; i < 3; ++i) {
    const auto n = static_cast<double>(std::max<size_t>(occupied(cell), 1));
    cell *= std::sqrt(2.0 * n / static_cast<double>(target));
  }
  // Each vertex onto the first vertex of its cell.
  // A vertex of one material joins the first vertex of its cell of that material; a vertex
  // on a material border stays where it is. So no face of one material folds over the
  // other's, and the borders stay as the file has them.
  constexpr uint32_t kNone = ~uint32_t{0}, kBorder = kNone - 1;
  std::vector<uint32_t> materialOf(scene.Verts.size(), kNone);
  for (const TSceneFace& f : scene.Faces) {
    for (int32_t k = 0; k < f.Count; ++k) {
      uint32_t& m =
          materialOf[static_cast<size_t>(scene.Corners[static_cast<size_t>(f.First + k)].Vert)];
      m = m == kNone || m == f.Material ? f.Material : kBorder;
    }
  }
  std::unordered_map<TCell, int32_t, TCellHash> firstInCell;
  firstInCell.reserve(target);
  std::vector<int32_t> onto(scene.Verts.size(), -1);
  double farthest = 0.0;  // how far a vertex moved, squared
  for (size_t v = 0; v < scene.Verts.size(); ++v) {
    if (!used[v]) continue;
    if (materialOf[v] == kBorder) {
      onto[v] = static_cast<int32_t>(v);
      continue;
    }
    TCell key = CellOf(scene.Verts[v], lo, cell);
    key.m = materialOf[v];
    onto[v] = firstInCell.try_emplace(key, static_cast<int32_t>(v)).first->second;
    const TPoint3 &p = scene.Verts[v], &q = scene.Verts[static_cast<size_t>(onto[v])];
    const double dx = double{p.x} - q.x, dy = double{p.y} - q.y, dz = double{p.z} - q.z;
    farthest = std::max(farthest, dx * dx + dy * dy + dz * dz);
  }
  // One texture coordinate per vertex and material: the first corner's.
  std::unordered_map<uint64_t, uint32_t> texture;  // (vertex, material) -> corner
  std::vector<TSceneCorner> corners;
  std::vector<TSceneFace> faces;
  std::vector<uint32_t> faceObjects;
  const bool objects = scene.FaceObjects.size() == scene.Faces.size();
  for (size_t i = 0; i < scene.Faces.size(); ++i) {
    const TSceneFace& f = scene.Faces[i];
    TSceneCorner c[3];
    for (int k = 0; k < 3; ++k) {
      c[k] = scene.Corners[static_cast<size_t>(f.First + k)];
      c[k].Vert = onto[static_cast<size_t>(c[k].Vert)];
      c[k].Normal = {0.0f, 0.0f, 0.0f};
    }
    if (c[0].Vert == c[1].Vert || c[1].Vert == c[2].Vert || c[2].Vert == c[0].Vert) continue;
    const auto first = static_cast<int32_t>(corners.size());
    for (TSceneCorner& k : c) {
      const uint64_t key = (uint64_t{static_cast<uint32_t>(k.Vert)} << 32) | f.Material;
      const auto [at, added] = texture.try_emplace(key, static_cast<uint32_t>(corners.size()));
      if (!added) {
        k.Tx = corners[at->second].Tx;
        k.Ty = corners[at->second].Ty;
      }
      corners.push_back(k);
    }
    faces.push_back({first, 3, f.Material, f.Mesh, 0});
    if (objects) faceObjects.push_back(scene.FaceObjects[i]);
  }
  scene.Corners = std::move(corners);
  scene.Faces = std::move(faces);
  if (objects) scene.FaceObjects = std::move(faceObjects);
  DropFins(scene);
  return std::sqrt(farthest) / size;
}

TRecordCounts CountRecords(const TGatheredScene& scene) {
  std::vector<bool> used(scene.Verts.size(), false);
  TRecordCounts counts;
  for (const TSceneCorner& c : scene.Corners) {
    if (!used[static_cast<size_t>(c.Vert)]) {
      used[static_cast<size_t>(c.Vert)] = true;
      ++counts.Verts;
    }
  }
  counts.Corners = static_cast<int64_t>(scene.Corners.size());
  counts.Faces = static_cast<int64_t>(scene.Faces.size());
  return counts;
}

void DropUnusedVerts(TGatheredScene& scene) {
  std::vector<int32_t> remap(scene.Verts.size(), -1);
  std::vector<TPoint3> verts;
  for (TSceneCorner& c : scene.Corners) {
    int32_t& to = remap[static_cast<size_t>(c.Vert)];
    if (to < 0) to = 0;  // marked; numbered below in the old order
  }
  for (size_t v = 0; v < scene.Verts.size(); ++v) {
    if (remap[v] >= 0) {
      remap[v] = static_cast<int32_t>(verts.size());
      verts.push_back(scene.Verts[v]);
    }
  }
  for (TSceneCorner& c : scene.Corners) c.Vert = remap[static_cast<size_t>(c.Vert)];
  scene.Verts = std::move(verts);
}

namespace {

// A triangle whose corners lie on one line: its height over its longest side is within
// the tolerance.
bool IsDegenerate(const TGatheredScene& scene, const TSceneFace& f, double tolerance) {
  double p[3][3];
  for (int k = 0; k < 3; ++k) {
    const TPoint3& v =
        scene.Verts[static_cast<size_t>(scene.Corners[static_cast<size_t>(f.First + k)].Vert)];
    p[k][0] = v.x;
    p[k][1] = v.y;
    p[k][2] = v.z;
  }
  double longest = 0.0, cross[3];
  for (int k = 0; k < 3; ++k) {
    const double* a = p[k];
    const double* b = p[(k + 1) % 3];
    longest = std::max(longest, std::hypot(b[0] - a[0], b[1] - a[1], b[2] - a[2]));
  }
  const double u[3] = {p[1][0] - p[0][0], p[1][1] - p[0][1], p[1][2] - p[0][2]};
  const double w[3] = {p[2][0] - p[0][0], p[2][1] - p[0][1], p[2][2] - p[0][2]};
  cross[0] = u[1] * w[2] - u[2] * w[1];
  cross[1] = u[2] * w[0] - u[0] * w[2];
  cross[2] = u[0] * w[1] - u[1] * w[0];
  // |u x w| is twice the area, the longest side times the height.
  return std::hypot(cross[0], cross[1], cross[2]) <= tolerance * longest;
}

}  // namespace

TFitResult FitScene(TGatheredScene& scene, double tolerance, int64_t limitRecords) {
  TFitResult result;
  result.Before = CountRecords(scene);
  double clustered = 0.0;
  if (scene.Faces.size() > kClusterAbove) {
    clustered = ClusterTriangles(scene, kClusterTarget);
    result.Clustered = scene.Faces.size();
  }
  DropUnusedVerts(scene);
  // Counted before the weld, which takes a triangle's corners on one line into one.
  for (const TSceneFace& f : scene.Faces) {
    ++result.Triangles;
    if (f.Count == 3 && IsDegenerate(scene, f, tolerance)) ++result.Degenerate;
  }
  // A merged position moved at most the weld distance.
  if (WeldTriangles(scene)) clustered += kCleanDistance;
  DropUnusedVerts(scene);
  const bool objects = scene.FaceObjects.size() == scene.Faces.size();
  // The simplifier's vertices and the runs of triangles.
  std::vector<TSceneCorner> wedges;
  std::vector<float> positions;
  std::unordered_map<TCornerKey, uint32_t, TCornerHash> wedgeOf;
  wedgeOf.reserve(scene.Corners.size());
  std::vector<TGroup> groups;
  std::unordered_map<uint64_t, size_t> groupOf;
  for (size_t i = 0; i < scene.Faces.size(); ++i) {
    const TSceneFace& f = scene.Faces[i];
    const uint32_t object = objects ? scene.FaceObjects[i] : 0;
    const uint64_t key = (uint64_t{f.Material} << 32) | object;
    const auto [g, added] = groupOf.try_emplace(key, groups.size());
    if (added) groups.push_back({f.Material, object, f.Mesh, {}});
    for (int32_t k = 0; k < f.Count; ++k) {
      // Normals are no seam: a flat-shaded model splits every position by its faces'
      // normals, which would lock it whole. The fitted surface gets its normals computed.
      TSceneCorner c = scene.Corners[static_cast<size_t>(f.First + k)];
      c.Normal = {0.0f, 0.0f, 0.0f};
      const auto [w, isNew] =
          wedgeOf.try_emplace(TCornerKey{c}, static_cast<uint32_t>(wedges.size()));
      if (isNew) {
        wedges.push_back(c);
        const TPoint3& p = scene.Verts[static_cast<size_t>(c.Vert)];
        positions.insert(positions.end(), {p.x, p.y, p.z});
      }
      groups[g->second].Indices.push_back(w->second);
    }
  }
  const float scale = meshopt_simplifyScale(positions.data(), wedges.size(), 3 * sizeof(float));
  const double size = SceneSize(scene);
  const TGatheredScene original = std::move(scene);

  // FVRT is what runs out first on a curved surface (three corners per triangle); the first
  // target aims a little below what each array allows.
  const TRecordCounts before = CountRecords(original);
  double ratio = 1.0;
  const auto limit = static_cast<double>(limitRecords);
  ratio = std::min({ratio, 0.97 * limit / static_cast<double>(before.Corners),
                    0.97 * limit / static_cast<double>(std::max<int64_t>(before.Faces, 1)),
                    0.97 * limit / static_cast<double>(std::max<int64_t>(before.Verts, 1))});
  constexpr int kMaxRounds = 12;
  int64_t lastCorners = -1;
  std::vector<uint32_t> simplified;
  for (result.Rounds = 1; result.Rounds <= kMaxRounds; ++result.Rounds) {
    TGatheredScene next;
    next.Verts = original.Verts;
    next.Materials = original.Materials;
    next.Textures = original.Textures;
    next.Objects = original.Objects;
    next.MeshNames = original.MeshNames;
    next.Meshes = original.Meshes;
    next.SkippedPoints = original.SkippedPoints;
    next.SkippedLines = original.SkippedLines;
    next.MissingNormals = true;
    double moved = clustered;
    for (const TGroup& g : groups) {
      const size_t target = std::max<size_t>(
          3, static_cast<size_t>(static_cast<double>(g.Indices.size() / 3) * ratio) * 3);
      simplified.resize(g.Indices.size());
      float error = 0.0f;
      const size_t n = meshopt_simplify(simplified.data(), g.Indices.data(), g.Indices.size(),
                                        positions.data(), wedges.size(), 3 * sizeof(float), target,
                                        1.0f, meshopt_SimplifyLockBorder, &error);
      moved = std::max(moved, clustered + double{error} * scale / size);
      for (size_t t = 0; t + 2 < n; t += 3) {
        const auto first = static_cast<int32_t>(next.Corners.size());
        for (size_t k = 0; k < 3; ++k) next.Corners.push_back(wedges[simplified[t + k]]);
        // A simplified triangle is no face of the file (FileFace 0).
        next.Faces.push_back({first, 3, g.Material, g.Mesh, 0});
        if (objects) next.FaceObjects.push_back(g.Object);
      }
    }
    // The simplified triangles are rebuilt as an import's polygons are (PrepareScene): no
    // face without area or repeated, planar convex faces merged back.
    DropFins(next);
    TRebuildCounts rebuilt;
    DropFacesWithoutArea(next, tolerance, rebuilt);
    SplitFaces(next, tolerance, false, rebuilt);
    RebuildGameFaces(next, tolerance, rebuilt);
    // A border zig-zag that both materials kept can come back from the fans as a triangle
    // of each over the same corners, back to back.
    DropFins(next);
    DropExtraFaces(next);
    // The dropped faces' corners would stay as records of no face: a corner's normal is its
    // vertex's, and at the edge of a fin that has no direction.
    DropUnusedCorners(next);
    DropUnusedVerts(next);
    const TRecordCounts counts = CountRecords(next);
    result.After = counts;
    result.Moved = moved;
    scene = std::move(next);
    // No face left (every triangle without area) is nothing fitted.
    if (counts.Fit(limitRecords) && counts.Faces > 0) {
      result.Reached = true;
      break;
    }
    // Locked borders and seams can stop the simplifier short: no progress, no fit.
    if (counts.Corners == lastCorners) break;
    lastCorners = counts.Corners;
    const double over = std::max({static_cast<double>(counts.Corners) / limit,
                                  static_cast<double>(counts.Faces) / limit,
                                  static_cast<double>(counts.Verts) / limit});
    ratio *= 0.97 / over;
  }
  result.Rounds = std::min(result.Rounds, kMaxRounds);
  return result;
}
