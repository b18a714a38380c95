// Simplification to the record limits through meshoptimizer (see Fit.h). A library, not a
// simplifier of our own: its quadric collapse with seam and border handling is well kept
// and fast (a 60,000-quad model in a fraction of a second).
#include "interchange/Fit.h"

#include <meshoptimizer.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>

#include "interchange/PolygonRebuild.h"

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

}  // namespace

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

TFitResult FitScene(TGatheredScene& scene, double tolerance) {
  TFitResult result;
  result.Before = CountRecords(scene);
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
    ++result.Triangles;
    if (f.Count == 3 && IsDegenerate(scene, f, tolerance)) ++result.Degenerate;
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
  const TRecordCounts& before = result.Before;
  double ratio = 1.0;
  const auto limit = static_cast<double>(MeshCapacity);
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
    double moved = 0.0;
    for (const TGroup& g : groups) {
      const size_t target = std::max<size_t>(
          3, static_cast<size_t>(static_cast<double>(g.Indices.size() / 3) * ratio) * 3);
      simplified.resize(g.Indices.size());
      float error = 0.0f;
      const size_t n = meshopt_simplify(simplified.data(), g.Indices.data(), g.Indices.size(),
                                        positions.data(), wedges.size(), 3 * sizeof(float), target,
                                        1.0f, meshopt_SimplifyLockBorder, &error);
      moved = std::max(moved, double{error} * scale / size);
      for (size_t t = 0; t + 2 < n; t += 3) {
        const auto first = static_cast<int32_t>(next.Corners.size());
        for (size_t k = 0; k < 3; ++k) next.Corners.push_back(wedges[simplified[t + k]]);
        // A simplified triangle is no face of the file (FileFace 0).
        next.Faces.push_back({first, 3, g.Material, g.Mesh, 0});
        if (objects) next.FaceObjects.push_back(g.Object);
      }
    }
    TRebuildCounts rebuilt;
    MergeFaces(next, tolerance, rebuilt);
    FinishFaces(next, tolerance, rebuilt);
    DropUnusedVerts(next);
    const TRecordCounts counts = CountRecords(next);
    result.After = counts;
    result.Moved = moved;
    scene = std::move(next);
    if (counts.Fit()) {
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
