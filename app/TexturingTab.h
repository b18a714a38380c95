#pragma once
// The Texturing tab: one face at a time on its texture. The 256 x 256 image shows the
// face's material (material folder + material box text + ".mat", read by the core's picture
// registry, other formats through Qt) or the path and " no found!", the face's outline in
// yellow and the corners picked with the mouse in lime green. The UV boxes U1/V1 .. U4/V4
// are bound to Tx/Ty of the face's first four corners.
//
// Choices for cases the tab's rules leave open:
//  - With fewer than two face lines there is no second line to start on: the tab shows no
//    face (empty boxes, no outline) and picking does nothing.
//  - A face of more than four corners is picked whole: the pick buffer grows to the face's
//    corner count; only the first four corners have boxes, every corner gets its value.
//  - Corners whose FVRT index lies outside the model get no box binding and no outline
//    point.

#include <QImage>
#include <QWidget>

#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListView;
class QStringListModel;
class TForm1;

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
  TTexturingTab(TForm1& form, QWidget* parent = nullptr);

  TTextureImage* Image = nullptr;
  QLabel* LabelMouse = nullptr;
  QLabel* LabelFace = nullptr;
  QListView* ListFaces = nullptr;
  QComboBox* ComboTexture = nullptr;
  QLineEdit* EditU[4] = {};
  QLineEdit* EditV[4] = {};

  float MouseU = 0.0f;
  float MouseV = 0.0f;
  std::vector<float> PickU = std::vector<float>(4);
  std::vector<float> PickV = std::vector<float>(4);
  int PickCount = 0;
  int PickTarget = 0;

  // The face the tab shows, -1 for none.
  int CurrentFace() const { return m_face; }

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
  void DrawOutline();
  void ShowNoFace();
  static QPoint TexturePixel(float u, float v);

  TForm1& m_form;
  QStringListModel* m_faceLines = nullptr;
  int m_face = -1;
  bool m_filling = false;  // the tab fills its face list: current-line changes are no click
  int m_clickedRow = -1;   // the row this mouse press already reported as a click
  int m_boundFvrt[4] = {-1, -1, -1, -1};
};
