#pragma once
// The Faces window (TFacesWindow): every face of the document as a closed outline through its
// corners' vertices, the current face of FaceList in yellow. Corners whose FVRT or vertex
// index lies outside the model are left out of the outline; a face of any corner count is
// drawn whole (the corner buffer grows once to the largest face and is reused).
// Resizing it gives the Points window the same size.

#include <vector>

#include "mesh/MeshDocument.h"
#include "viewers/PointsWindow.h"

class TFacesWindow final : public TProjectionWindow {
  Q_OBJECT
public:
  TFacesWindow(TMeshDocument& document, TProjection& projection, QWidget* parent = nullptr);
  void SetPointsWindow(QWidget* points) {
    m_points = points;
    SetPartner(points);
  }

protected:
  void PaintContent(TPainterCanvas& canvas) override;
  void resizeEvent(QResizeEvent* event) override;

private:
  void DrawFace(int32_t face);

  QWidget* m_points = nullptr;
  std::vector<TPoint3> m_corners;
  std::vector<TPixel> m_pixels;
};
