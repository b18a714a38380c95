#include "mesh/TexturePanel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "mesh/Materials.h"
#include "mesh/NumberText.h"

namespace {

// FVRT index of corner k of a face, or -1 when it does not fit an index (hostile FirstFvrt).
int32_t CornerIndex(const TFaceRecord& f, int k) {
  const int64_t i = static_cast<int64_t>(f.FirstFvrt) + k;
  return i >= 0 && i <= INT32_MAX ? static_cast<int32_t>(i) : -1;
}

}  // namespace

TTexturePixel TexturePixel(float u, float v) {
  return {static_cast<int>(std::lround(u * 256.0f)),
          kTextureImageSide - static_cast<int>(std::lround(v * 256.0f))};
}

std::vector<std::string> MaterialBoxEntries(const TMeshDocument& doc) {
  std::vector<std::string> entries{"0"};
  for (int32_t i = 0; i < doc.NumFace; ++i) {
    const std::string id = MaterialIdText(doc.FaceAt(i)->Mat);
    if (std::find(entries.begin() + 1, entries.end(), id) == entries.end()) entries.push_back(id);
  }
  return entries;
}

bool TTexturePanel::ShowFace(int face) {
  const TFaceRecord* f = m_doc.FaceAt(face);
  m_face = f ? face : -1;
  PickCount = 0;
  m_completed = false;
  // Only the corners that exist can be picked, which also bounds the pick buffer.
  PickTarget = f ? m_doc.FaceCorners(*f).Count : 0;
  for (int k = 0; k < 4; ++k) {
    const int32_t index = f && f->FvrtCount > k ? CornerIndex(*f, k) : -1;
    m_boundFvrt[k] = m_doc.FvrtAt(index) ? index : -1;
  }
  return f != nullptr;
}

std::string TTexturePanel::FaceLabel() const {
  const TFaceRecord* f = m_doc.FaceAt(m_face);
  if (!f) return {};
  std::string label = "FACE: " + std::to_string(m_face) + ", FVRTs: ";
  for (int32_t k = 0; k < f->FvrtCount && k < kMaxFaceLineCorners; ++k)
    label += std::to_string(static_cast<int64_t>(f->FirstFvrt) + k) + ' ';
  return label;
}

std::string TTexturePanel::BoxText(int k, bool isV) const {
  const TFvrtRecord* r = m_doc.FvrtAt(m_boundFvrt[k]);
  return r ? FormatFixed(isV ? r->Ty : r->Tx, 3) : std::string();
}

bool TTexturePanel::FourthBoxEnabled() const {
  const TFaceRecord* f = m_doc.FaceAt(m_face);
  return f && f->FvrtCount >= 4;
}

std::vector<TTexturePixel> TTexturePanel::Outline() const {
  std::vector<TTexturePixel> outline;
  const TFaceRecord* f = m_doc.FaceAt(m_face);
  if (!f) return outline;
  const TCornerRange range = m_doc.FaceCorners(*f);
  for (int32_t k = 0; k < range.Count; ++k) {
    const TFvrtRecord* r = m_doc.FvrtAt(range.First + k);
    outline.push_back(TexturePixel(r->Tx, r->Ty));
  }
  if (!outline.empty()) outline.push_back(outline.front());
  return outline;
}

std::string TTexturePanel::FaceLine() const {
  const TFaceRecord* f = m_doc.FaceAt(m_face);
  return f ? TMeshDocument::FaceLineText(*f) : std::string();
}

bool TTexturePanel::ApplyMaterial(const std::string& text) {
  TFaceRecord* f = m_doc.FaceAt(m_face);
  if (!f) return false;
  f->Mat = ParseIntOrZero(text);
  return true;
}

void TTexturePanel::UvBoxEnter(int k, bool isV, const std::string& text) {
  if (TFvrtRecord* r = m_doc.FvrtAt(m_boundFvrt[k])) {
    const float value = static_cast<float>(ParseTypedFloat(text));
    (isV ? r->Ty : r->Tx) = value;
  }
}

std::string TTexturePanel::MouseMove(int x, int y) {
  MouseU = static_cast<float>(x) / 256.0f;
  MouseV = static_cast<float>(kTextureImageSide - y) / 256.0f;
  return "(" + std::to_string(x) + "," + std::to_string(y) + "): Tx=" + FormatRounded(MouseU, 3) +
         ", Ty=" + FormatRounded(MouseV, 3);
}

std::vector<TTexturePixel> TTexturePanel::LeftClick() {
  std::vector<TTexturePixel> picked;
  m_completed = false;
  if (PickTarget <= 0) return picked;  // no face shown
  const auto target = static_cast<size_t>(PickTarget);
  if (target > PickU.size()) {
    PickU.resize(target);
    PickV.resize(target);
  }
  PickU[static_cast<size_t>(PickCount)] = MouseU;
  PickV[static_cast<size_t>(PickCount)] = MouseV;
  ++PickCount;
  for (size_t i = 0; i < static_cast<size_t>(PickCount); ++i)
    picked.push_back(TexturePixel(PickU[i], PickV[i]));
  picked.push_back(picked.front());
  if (PickCount < PickTarget) return picked;
  PickCount = 0;
  const TFaceRecord* f = m_doc.FaceAt(m_face);
  if (!f) return picked;
  m_completed = true;
  for (int k = 0; k < PickTarget; ++k) {
    if (TFvrtRecord* r = m_doc.FvrtAt(CornerIndex(*f, k))) {
      r->Tx = PickU[static_cast<size_t>(k)];
      r->Ty = PickV[static_cast<size_t>(k)];
    }
  }
  return picked;
}

std::string TTexturePanel::PickText(int k, bool isV) const {
  return FormatRounded((isV ? PickV : PickU)[static_cast<size_t>(k)], 6);
}
