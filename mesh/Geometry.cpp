#include "mesh/Geometry.h"

#include <cmath>

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

void FlipY(TMeshDocument& doc) {
  for (int32_t i = 0; i < doc.NumVert; ++i) doc.VERT[i].y = -doc.VERT[i].y;
  doc.SaveRecordFiles();
  doc.LoadRecordFiles();
}

void FlipZ(TMeshDocument& doc) {
  for (int32_t i = 0; i < doc.NumVert; ++i) doc.VERT[i].z = -doc.VERT[i].z;
  doc.SaveRecordFiles();
  doc.LoadRecordFiles();
}

void FlipVtnm(TMeshDocument& doc) {
  for (int32_t i = 0; i < doc.NumVtnm; ++i) {
    TPoint3& n = doc.VTNM[i];
    n = {-n.x, -n.y, -n.z};
  }
  doc.OnRepaint.Emit();
}
