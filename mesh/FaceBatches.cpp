#include "mesh/FaceBatches.h"

#include <algorithm>
#include <cassert>
#include <unordered_map>

namespace {

constexpr TPoint3 kInitialNormal{0, 0, 1};

// The corners of face `f` that have a vertex, in the order they are sent (reverse record
// order), written into `corners` (cleared first).
void SentCorners(const TMeshDocument& doc, const TFaceRecord& f,
                 std::vector<const TFvrtRecord*>& corners) {
  corners.clear();
  const TCornerRange range = doc.FaceCorners(f);
  for (int32_t k = range.Count - 1; k >= 0; --k) {
    const TFvrtRecord& r = doc.FVRT[range.First + k];
    if (doc.VertAt(r.Vert)) corners.push_back(&r);
  }
}

int32_t TriangleVertices(int32_t corners) { return corners < 3 ? 0 : 3 * (corners - 2); }

// Appends one vertex of a fan triangle.
void PutVertex(TFaceBatches& out, size_t at, const TMeshDocument& doc, const TFvrtRecord& r,
               const TPoint3& normal, bool edge) {
  const TPoint3& p = *doc.VertAt(r.Vert);
  out.Positions[at * 3] = p.x;
  out.Positions[at * 3 + 1] = p.y;
  out.Positions[at * 3 + 2] = p.z;
  out.Normals[at * 3] = normal.x;
  out.Normals[at * 3 + 1] = normal.y;
  out.Normals[at * 3 + 2] = normal.z;
  out.TexCoords[at * 2] = r.Tx;
  out.TexCoords[at * 2 + 1] = r.Ty;
  out.EdgeFlags[at] = edge ? 1 : 0;
}

}  // namespace

TFaceBatches BuildFaceBatches(const TMeshDocument& doc, TFaceOrder order, bool byMaterial) {
  TFaceBatches out;
  const int32_t numFace = std::clamp<int32_t>(doc.NumFace, 0, MeshCapacity);
  auto faceAt = [&](int32_t n) { return order == TFaceOrder::Ascending ? n : numFace - 1 - n; };

  // First pass: each face's batch and the batches' sizes, batches in order of first use.
  std::vector<int32_t> batchOf(static_cast<size_t>(numFace));
  std::vector<int32_t> faceVertices(static_cast<size_t>(numFace));
  std::unordered_map<int32_t, int32_t> batchOfMaterial;
  std::vector<const TFvrtRecord*> corners;
  int32_t lastMaterial = 0, lastBatch = -1;
  for (int32_t n = 0; n < numFace; ++n) {
    const TFaceRecord& f = doc.FACE[faceAt(n)];
    int32_t b = 0;
    if (out.Batches.empty()) {
      out.Batches.push_back(TFaceBatch{f.Mat, 0, 0, 0});
      batchOfMaterial.emplace(f.Mat, 0);
    } else if (byMaterial) {
      // Faces of one material often follow each other: the last answer first.
      if (lastBatch >= 0 && f.Mat == lastMaterial) {
        b = lastBatch;
      } else {
        const auto [it, added] =
            batchOfMaterial.emplace(f.Mat, static_cast<int32_t>(out.Batches.size()));
        if (added) out.Batches.push_back(TFaceBatch{f.Mat, 0, 0, 0});
        b = it->second;
      }
    }
    lastMaterial = f.Mat;
    lastBatch = b;
    SentCorners(doc, f, corners);
    const int32_t v = TriangleVertices(static_cast<int32_t>(corners.size()));
    batchOf[static_cast<size_t>(n)] = b;
    faceVertices[static_cast<size_t>(n)] = v;
    TFaceBatch& batch = out.Batches[static_cast<size_t>(b)];
    batch.VertexCount += v;
    if (v > 0) ++batch.FaceCount;
  }

  int32_t total = 0;
  for (TFaceBatch& batch : out.Batches) {
    batch.FirstVertex = total;
    total += batch.VertexCount;
  }
  const size_t vertices = static_cast<size_t>(total);
  out.Positions.resize(vertices * 3);
  out.Normals.resize(vertices * 3);
  out.TexCoords.resize(vertices * 2);
  out.EdgeFlags.resize(vertices);

  // Second pass: each face's fan at the next free place of its batch.
  std::vector<size_t> next(out.Batches.size());
  for (size_t b = 0; b < out.Batches.size(); ++b)
    next[b] = static_cast<size_t>(out.Batches[b].FirstVertex);
  for (int32_t n = 0; n < numFace; ++n) {
    if (faceVertices[static_cast<size_t>(n)] == 0) continue;
    const TFaceRecord& f = doc.FACE[faceAt(n)];
    SentCorners(doc, f, corners);
    const TPoint3* normalAt = doc.VtnmAt(f.Vtnm);
    const TPoint3& normal = normalAt ? *normalAt : kInitialNormal;
    size_t& at = next[static_cast<size_t>(batchOf[static_cast<size_t>(n)])];
    const size_t last = corners.size() - 1;
    for (size_t j = 1; j + 1 < corners.size(); ++j) {
      // Triangle (0, j, j + 1): its edge 0-j is the polygon's only for the first triangle,
      // j-(j+1) always, (j+1)-0 only for the last.
      PutVertex(out, at++, doc, *corners[0], normal, j == 1);
      PutVertex(out, at++, doc, *corners[j], normal, true);
      PutVertex(out, at++, doc, *corners[j + 1], normal, j + 1 == last);
    }
  }
  for (size_t b = 0; b < out.Batches.size(); ++b) {
    assert(next[b] ==
               static_cast<size_t>(out.Batches[b].FirstVertex + out.Batches[b].VertexCount) &&
           "every batch filled exactly");
  }
  return out;
}

std::vector<uint32_t> OutlineIndices(const TFaceBatches& batches) {
  std::vector<uint32_t> lines;
  const size_t vertices = batches.EdgeFlags.size();
  assert(vertices % 3 == 0 && "whole triangles");
  for (size_t t = 0; t + 2 < vertices; t += 3) {
    for (size_t k = 0; k < 3; ++k) {
      if (batches.EdgeFlags[t + k] == 0) continue;
      lines.push_back(static_cast<uint32_t>(t + k));
      lines.push_back(static_cast<uint32_t>(t + (k + 1) % 3));
    }
  }
  return lines;
}
