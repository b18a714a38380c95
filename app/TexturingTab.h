#pragma once
// The Texturing tab: the widgets of the core's texture panel (mesh/TexturePanel.h), which
// holds the face shown, the box bindings and the picking. The 256 x 256 image shows the
// face's material (material folder + material box text + ".mat", read through the core's
// texture source) or the path and " no found!", the face's outline in yellow and the corners
// picked with the mouse in lime green.

#include <QImage>
#include <QWidget>

#include "mesh/TexturePanel.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QStringListModel;
class TMainWindow;

// The image the texture, the outline and the picks are drawn into.
class TTextureImage final : public QWidget {
  Q_OBJECT
public:
  explicit TTextureImage(QWidget* parent = nullptr);
  QImage Image{256, 256, QImage::Format_RGB32};
  QSize sizeHint() const override { return {256, 256}; }

signals:
  void mouseMoved(int x, int y);
  void leftClicked();

protected:
  void paintEvent(QPaintEvent*) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
};

class TTexturingTab final : public QWidget {
  Q_OBJECT
public:
  TTexturingTab(TMainWindow& form, QWidget* parent = nullptr);

  TTextureImage* Image = nullptr;
  QLabel* LabelMouse = nullptr;
  QLabel* LabelFace = nullptr;
  QListView* ListFaces = nullptr;
  QComboBox* ComboTexture = nullptr;
  QLineEdit* EditU[4] = {};
  QLineEdit* EditV[4] = {};

  // The face the tab shows, -1 for none.
  int CurrentFace() const { return m_panel.Face(); }
  const TTexturePanel& Panel() const { return m_panel; }

  // Showing the tab: Load, copy the face lines, fill the material box, start on line 1.
  // Without `load` (the user kept unsaved changes, or an undo changed the records) the
  // document is shown as it is, on the face shown before when it still exists.
  void TabShown(bool load = true);
  void ListFacesClick(int face);
  void RedrawTexturePanel();
  void ApplyMaterialBox();
  // Enter in UV box k (0..3), U or V.
  void UvBoxEnter(int k, bool isV);
  // The mouse over the image at pixel (x, y), and a left click there.
  void MouseMove(int x, int y);
  void LeftClick();

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void DrawPolyline(const std::vector<TTexturePixel>& points, const QColor& colour);
  void ShowNoFace();

  TMainWindow& m_form;
  TTexturePanel m_panel;
  QStringListModel* m_faceLines = nullptr;
  bool m_filling = false;  // the tab fills its face list: current-line changes are no click
  int m_clickedRow = -1;   // the row this mouse press already reported as a click
};
