#include "viewers/FacesWindow.h"

#include <QResizeEvent>

#include "mesh/MeshDocument.h"

TFacesWindow::TFacesWindow(TMeshDocument& document, TProjection& projection, QWidget* parent)
    : TProjectionWindow(document, projection, QStringLiteral("frmFaces"), QStringLiteral("Faces"),
                        QRect(564, 301, 215, 210), parent),
      m_corners(6),
      m_pixels(7) {}

void TFacesWindow::DrawFace(int32_t face) {
  const TFaceRecord* f = m_document.FaceAt(face);
  if (!f) return;
  const TCornerRange range = m_document.FaceCorners(*f);
  if (static_cast<size_t>(range.Count) > m_corners.size()) {
    m_corners.resize(static_cast<size_t>(range.Count));
    m_pixels.resize(static_cast<size_t>(range.Count) + 1);
  }
  size_t n = 0;
  for (int32_t k = 0; k < range.Count; ++k) {
    const TFvrtRecord& r =
        m_document.FVRT[static_cast<size_t>(range.First) + static_cast<size_t>(k)];
    if (const TPoint3* v = m_document.VertAt(r.Vert)) m_corners[n++] = *v;
  }
  m_projection.DrawPolygon(m_corners.data(), n, m_pixels.data());
}

void TFacesWindow::PaintContent(TPainterCanvas& canvas) {
  for (int32_t i = 0; i < m_document.NumFace; ++i) DrawFace(i);
  const int current = m_document.FaceLines.Current();
  if (m_document.FaceAt(current)) {
    canvas.SetPenColor(kYellow);
    DrawFace(current);
    canvas.SetPenColor(kBlack);
  }
}

void TFacesWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (m_points) m_points->resize(size());
}
