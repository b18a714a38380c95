#include "mesh/Geometry.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

#include "mesh/Normals.h"
#include "mesh/Projection.h"
#include "mesh/Vector.h"

void AddVertWithNormal(TMeshDocument& doc, float x, float y, float z) {
  // A full VTNM raises its error before the vertex goes in, so that no vertex is left
  // without its normal.
  if (doc.NumVtnm >= MeshCapacity) doc.AddVtnm({0.0f, 0.0f, 0.0f});
  doc.AddVert({x, y, z});
  doc.AddVtnm({0.0f, 0.0f, 0.0f});
}

void AddFvrtFromCurrentLines(TMeshDocument& doc) {
  doc.AddFvrt({doc.VertexLines.Current(), doc.NormalLines.Current(), 0.0f, 0.0f});
}

bool AddFaceFromSelection(TMeshDocument& doc) {
  const int selected = doc.CornerLines.SelectedCount();
  if (selected < 3) return false;
  doc.AddFace({0, 0.0f, 0, doc.CornerLines.Current(), selected, 0, kEditorReserved2});
  return true;
}

void DeleteVtnm(TMeshDocument& doc) { doc.NumVtnm = 0; }

void ScaleVerts(TMeshDocument& doc, float percent) {
  const double s = percent;
  for (int32_t i = 0; i < doc.NumVert; ++i) {
    TPoint3& p = doc.VERT[i];
    p.x = static_cast<float>(p.x * s / 100.0);
    p.y = static_cast<float>(p.y * s / 100.0);
    p.z = static_cast<float>(p.z * s / 100.0);
  }
  // N.X + D = 0 holds for the scaled points with D times the factor; through the origin the
  // plane's normal turns round as well, which keeps D's sign.
  const double factor = std::fabs(s) / 100.0;
  for (int32_t f = 0; f < doc.NumFace; ++f)
    doc.FACE[f].D = static_cast<float>(double{doc.FACE[f].D} * factor);
  if (percent < 0.0f) MirrorRecords(doc, true, true, true);
}

float ScaledRadius(float radius, float percent) {
  return static_cast<float>(radius * std::fabs(static_cast<double>(percent)) / 100.0);
}

void ScaleModel(TMeshDocument& doc, float percent) {
  ScaleVerts(doc, percent);
  // The radius bounds the model, and the compiled model carries it: it must grow and shrink
  // with the vertices, or the game culls a scaled-up model too early.
  doc.Radius = ScaledRadius(doc.Radius, percent);
  doc.SaveRecordFilesAndRadius();
  doc.LoadRecordFiles();
}

void ReverseFaceCorners(TMeshDocument& doc) {
  std::set<std::pair<int32_t, int32_t>> done;
  for (int32_t f = 0; f < doc.NumFace; ++f) {
    const TCornerRange c = doc.FaceCorners(doc.FACE[f]);
    // Only a whole run can be reversed: a face cut short by the end of FVRT keeps its order.
    if (c.Count < 3 || c.First != doc.FACE[f].FirstFvrt || c.Count != doc.FACE[f].FvrtCount)
      continue;
    if (!done.emplace(c.First, c.Count).second) continue;
    std::reverse(doc.FVRT.get() + c.First + 1, doc.FVRT.get() + c.First + c.Count);
  }
}

void MirrorRecords(TMeshDocument& doc, bool x, bool y, bool z) {
  // ScaleVerts has already turned the vertices for a point mirror (with its own rounding).
  if (!(x && y && z)) {
    for (int32_t i = 0; i < doc.NumVert; ++i) {
      TPoint3& p = doc.VERT[i];
      if (x) p.x = -p.x;
      if (y) p.y = -p.y;
      if (z) p.z = -p.z;
    }
  }
  // 0 - c rather than -c: a normal's zero component stays +0, so a normal in the mirror's
  // plane keeps its bits (and the undo history shares it instead of keeping a copy).
  for (int32_t i = 0; i < doc.NumVtnm; ++i) {
    TPoint3& n = doc.VTNM[i];
    if (x) n.x = 0.0f - n.x;
    if (y) n.y = 0.0f - n.y;
    if (z) n.z = 0.0f - n.z;
  }
  // An odd number of mirrored axes turns the model inside out unless the corners turn too.
  if ((int{x} + int{y} + int{z}) % 2 == 1) ReverseFaceCorners(doc);
}

void FlipY(TMeshDocument& doc) {
  MirrorRecords(doc, false, true, false);
  doc.SaveRecordFiles();
  doc.LoadRecordFiles();
}

void FlipZ(TMeshDocument& doc) {
  MirrorRecords(doc, false, false, true);
  doc.SaveRecordFiles();
  doc.LoadRecordFiles();
}

void RotateModel(TMeshDocument& doc, float ax, float ay, float az) {
  RotatePoints(doc.VERT.get(), static_cast<size_t>(std::max(0, doc.NumVert)), ax, ay, az);
  RotatePoints(doc.VTNM.get(), static_cast<size_t>(std::max(0, doc.NumVtnm)), ax, ay, az);
}

void RotateModelStep(TMeshDocument& doc, float angle, bool rotX, bool rotY, bool rotZ) {
  RotateStep(doc.VERT.get(), static_cast<size_t>(std::max(0, doc.NumVert)), angle, rotX, rotY,
             rotZ);
  RotateStep(doc.VTNM.get(), static_cast<size_t>(std::max(0, doc.NumVtnm)), angle, rotX, rotY,
             rotZ);
}

namespace {

// The normal at `index` when one matches n, else a new VTNM record with its list line.
int32_t NormalIndexFor(TMeshDocument& doc, const TPoint3& n) {
  for (int32_t i = 0; i < doc.NumVtnm; ++i) {
    if (NormalsMatch(doc.VTNM[i], n)) return i;
  }
  doc.AddVtnm(n);
  return doc.NumVtnm - 1;
}

bool UsesVertex(const TMeshDocument& doc, const TFaceRecord& face, int32_t vertex) {
  const TCornerRange c = doc.FaceCorners(face);
  for (int32_t r = c.First; r < c.First + c.Count; ++r) {
    if (doc.FVRT[r].Vert == vertex) return true;
  }
  return false;
}

}  // namespace

void SetVertex(TMeshDocument& doc, int32_t index, const TPoint3& p) {
  TPoint3* v = doc.VertAt(index);
  if (!v) {
    throw EMeshDocument("Set VERT: vertex " + std::to_string(index) + " does not exist (VERT has " +
                        std::to_string(doc.NumVert) + " records)");
  }
  *v = p;
  // The face normals and D of the faces at the vertex, as "Calc VTNM" works them out, and
  // their sum for the vertex normal.
  TVec4 sum = Make(0, 0, 0);
  int32_t uses = 0;
  for (int32_t f = 0; f < doc.NumFace; ++f) {
    TFaceRecord& face = doc.FACE[f];
    if (!UsesVertex(doc, face, index)) continue;
    TVec4 p1;
    TVec4 n = FacePlaneNormal(doc, face, &p1);
    face.D = Dot(n, p1);
    Negate(n, true, true, true);
    face.Vtnm = NormalIndexFor(doc, ToPoint3(n));
    const TCornerRange c = doc.FaceCorners(face);
    for (int32_t r = c.First; r < c.First + c.Count; ++r) {
      if (doc.FVRT[r].Vert != index) continue;
      Add(sum, n);
      ++uses;
    }
  }
  if (uses == 0) return;
  TVec4 s = sum;
  s.x = static_cast<float>(double{s.x} / uses);
  s.y = static_cast<float>(double{s.y} / uses);
  s.z = static_cast<float>(double{s.z} / uses);
  Normalize(s);
  const int32_t vertexNormal = NormalIndexFor(doc, ToPoint3(s));
  for (int32_t r = 0; r < doc.NumFvrt; ++r) {
    if (doc.FVRT[r].Vert == index) doc.FVRT[r].Vtnm = vertexNormal;
  }
}

void FlipVtnm(TMeshDocument& doc) {
  for (int32_t i = 0; i < doc.NumVtnm; ++i) {
    TPoint3& n = doc.VTNM[i];
    n = {-n.x, -n.y, -n.z};
  }
  doc.OnRepaint.Emit();
}
