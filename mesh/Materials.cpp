#include "mesh/Materials.h"

std::string PadMaterialText(std::string text) {
  if (text.size() < 8) text.insert(0, 8 - text.size(), '0');
  return text;
}

std::string MaterialIdText(int32_t mat) { return PadMaterialText(std::to_string(mat)); }

std::string MaterialFileName(const std::string& folder, int32_t mat, const std::string& extension) {
  return folder + MaterialIdText(mat) + extension;
}

void ResetTexCoords(TMeshDocument& doc) {
  for (int32_t i = 0; i < doc.NumFvrt; ++i) {
    doc.FVRT[i].Tx = 0.0f;
    doc.FVRT[i].Ty = 0.0f;
  }
  doc.SaveRecordFiles();
  doc.LoadRecordFiles();
}

void RandAllTexCoordsInMemory(TMeshDocument& doc) {
  static constexpr float kPattern[3][2] = {{0.1f, 0.1f}, {0.1f, 0.3f}, {0.3f, 0.3f}};
  int32_t i = 0;
  do {
    for (int32_t k = 0; k < 3 && i + k < MeshCapacity; ++k) {
      doc.FVRT[i + k].Tx = kPattern[k][0];
      doc.FVRT[i + k].Ty = kPattern[k][1];
    }
    i += 3;
  } while (i < doc.NumFvrt);
}

void RandAllTexCoords(TMeshDocument& doc) {
  RandAllTexCoordsInMemory(doc);
  doc.SaveRecordFiles();
  doc.LoadRecordFiles();
}

void SetAllMaterials(TMeshDocument& doc, int32_t mat) {
  for (int32_t f = 0; f < doc.NumFace; ++f) doc.FACE[f].Mat = mat;
  doc.SaveRecordFiles();
  doc.LoadRecordFiles();
}
