#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <cmath>

#include "AppTestSupport.h"
#include "app/TexturingTab.h"
#include "mesh/Projection.h"
#include "viewers/FacesWindow.h"
#include "viewers/PointsWindow.h"
#include "viewers/ToolWindow.h"

namespace {

void SendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button) {
  const Qt::MouseButtons held =
      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
  QMouseEvent e(type, QPointF(pos), w->mapToGlobal(QPointF(pos)),
                type == QEvent::MouseMove ? Qt::NoButton : button, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

QPoint VertexPixel(const TProjection& projection, const TMeshDocument& d, int i) {
  const TPixel p = projection.ProjectPixel(d.VERT[i].x, d.VERT[i].y, d.VERT[i].z);
  return {p.X, p.Y};
}

}  // namespace

// ---- Points window ---------------------------------------------------------------------

TEST_F(WindowTest, PointsWindowHasItsCaptionAndBounds) {
  Open();
  EXPECT_EQ(form->Points()->windowTitle(), "Points");
  EXPECT_EQ(form->Faces()->windowTitle(), "Faces");
  EXPECT_EQ(form->Tools()->windowTitle(), "frmTools");
  EXPECT_EQ(form->Points()->width(), 215);
  EXPECT_EQ(form->Faces()->height(), 210);
}

TEST_F(WindowTest, PointsPickMakesVertexCurrentAndAddsCorner) {
  OpenLoaded();
  TMeshDocument& d = form->Document();
  const QPoint at = VertexPixel(form->Projection(), d, 1);
  SendMouse(form->Points(), QEvent::MouseButtonPress, at, Qt::LeftButton);
  SendMouse(form->Points(), QEvent::MouseButtonRelease, at, Qt::LeftButton);
  EXPECT_EQ(d.VertexLines.Current(), 1);
  ASSERT_EQ(d.NumFvrt, 7);
  EXPECT_EQ(d.FVRT[6].Vert, 1);
  // The same vertex again: no second corner.
  SendMouse(form->Points(), QEvent::MouseButtonPress, at, Qt::LeftButton);
  EXPECT_EQ(d.NumFvrt, 7);
}

TEST_F(WindowTest, PointsClickOnEmptyCanvasClearsTheLineAndAddsNothing) {
  OpenLoaded();
  TMeshDocument& d = form->Document();
  d.VertexLines.SetCurrent(2);
  SendMouse(form->Points(), QEvent::MouseButtonPress, QPoint(2, 2), Qt::LeftButton);
  EXPECT_EQ(d.VertexLines.Current(), -1);
  EXPECT_EQ(d.NumFvrt, 6);
}

TEST_F(WindowTest, RightDragMovesTheAnchor) {
  OpenLoaded();
  TFacesWindow* faces = form->Faces();
  SendMouse(faces, QEvent::MouseButtonPress, QPoint(50, 60), Qt::RightButton);
  EXPECT_TRUE(faces->Dragging());
  SendMouse(faces, QEvent::MouseMove, QPoint(70, 80), Qt::RightButton);
  EXPECT_FLOAT_EQ(form->Projection().AnchorX, 70.0f);
  EXPECT_FLOAT_EQ(form->Projection().AnchorY, 80.0f);
  SendMouse(faces, QEvent::MouseButtonRelease, QPoint(70, 80), Qt::RightButton);
  EXPECT_FALSE(faces->Dragging());
  // Moves after the release leave the anchor alone; a left press never drags.
  SendMouse(faces, QEvent::MouseMove, QPoint(10, 10), Qt::NoButton);
  SendMouse(faces, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton);
  SendMouse(faces, QEvent::MouseMove, QPoint(20, 20), Qt::LeftButton);
  EXPECT_FLOAT_EQ(form->Projection().AnchorX, 70.0f);
}

// The points (not their box, whose projection is wider) are framed: they project to -10..10
// on both axes (the apex (0, 0, 15) to 7.5, 7.5), centred, the margin inside the edges.
TEST_F(WindowTest, LoadFramesTheModelInThePointsWindow) {
  OpenLoaded();
  const int w = form->Points()->width(), h = form->Points()->height();
  const int margin = TProjection::kFitMargin;
  EXPECT_FLOAT_EQ(form->Projection().ViewScale,
                  20.0f / static_cast<float>(std::min(w, h) - 2 * margin));
  EXPECT_FLOAT_EQ(form->Projection().AnchorX, static_cast<float>(w) / 2.0f);
  EXPECT_FLOAT_EQ(form->Projection().AnchorY, static_cast<float>(h) / 2.0f);
  for (int32_t v = 0; v < form->Document().NumVert; ++v) {
    const TPoint3& p = form->Document().VERT[v];
    const TPixel px = form->Projection().ProjectPixel(p.x, p.y, p.z);
    EXPECT_GE(px.X, margin - 1) << v;
    EXPECT_LE(px.X, w - margin + 1) << v;
    EXPECT_GE(px.Y, margin - 1) << v;
    EXPECT_LE(px.Y, h - margin + 1) << v;
  }
}

// A model away from the zero point (an object centred at x = 300) is in view after Load.
TEST_F(WindowTest, LoadFramesAModelAwayFromTheZeroPoint) {
  TSampleMesh mesh = TSampleMesh::Square();
  for (auto& v : mesh.Verts) v[0] += 300;
  OpenLoaded(mesh);
  const TPixel centre = form->Projection().ProjectPixel(300, 0, 0);
  EXPECT_NEAR(centre.X, form->Points()->width() / 2, 1);
  EXPECT_NEAR(centre.Y, form->Points()->height() / 2, 1);
}

TEST_F(WindowTest, FacesResizeGivesThePointsWindowItsSize) {
  Open();
  form->Faces()->resize(300, 250);
  EXPECT_EQ(form->Points()->size(), QSize(300, 250));
}

// ---- tool window -------------------------------------------------------------------------

TEST_F(WindowTest, TurnAboutZButtonTurnsTheModel) {
  OpenLoaded();
  TMeshDocument& d = form->Document();
  form->Tools()->findChild<QPushButton*>("Button7")->click();
  const double c = std::cos(1.6f), s = std::sin(1.6f);
  EXPECT_NEAR(d.VERT[1].x, 10 * c + 10 * s, 1e-4);
  EXPECT_NEAR(d.VERT[1].y, 10 * s - 10 * c, 1e-4);
  EXPECT_EQ(d.VERT[4].z, 15.0f);
}

TEST_F(WindowTest, ZoomPositionsSetTheScale) {
  Open();
  QSpinBox* zoom = form->Tools()->Zoom;
  EXPECT_EQ(zoom->value(), -100);
  zoom->stepBy(1);
  EXPECT_EQ(zoom->value(), -96);
  EXPECT_FLOAT_EQ(form->Projection().ViewScale, 0.96f);
  zoom->setValue(-1);
  EXPECT_FLOAT_EQ(form->Projection().ViewScale, 0.01f);
  zoom->setValue(-20000);
  EXPECT_EQ(zoom->value(), -10000);
  EXPECT_FLOAT_EQ(form->Projection().ViewScale, 100.0f);
  zoom->setValue(-100);
  EXPECT_FLOAT_EQ(form->Projection().ViewScale, 1.0f);
}

TEST_F(WindowTest, AxisTogglesAllowAtMostOneDown) {
  Open();
  TToolWindow* tools = form->Tools();
  tools->ButtonX->click();
  EXPECT_TRUE(tools->RotateThread().RotateX);
  tools->ButtonY->click();
  EXPECT_FALSE(tools->ButtonX->isChecked());
  EXPECT_FALSE(tools->RotateThread().RotateX);
  EXPECT_TRUE(tools->RotateThread().RotateY);
  tools->ButtonY->click();
  EXPECT_FALSE(tools->RotateThread().RotateY);
}

TEST_F(WindowTest, RotationStepsRunOnTheWindowThread) {
  OpenLoaded();
  TMeshDocument& d = form->Document();
  TToolWindow* tools = form->Tools();
  tools->ButtonZ->click();
  const float before = d.VERT[1].x;
  QElapsedTimer t;
  t.start();
  while (tools->RotateThread().StepsRun() < 3 && t.elapsed() < 5000)
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  ASSERT_GE(tools->RotateThread().StepsRun(), 3);
  EXPECT_NE(d.VERT[1].x, before);
  // Switched off, the steps stop; and closing the window with the thread running is prompt.
  // A pass that read the flags before the click may still step; the passes after it may not.
  tools->ButtonZ->click();
  const TRotateThread& thread = tools->RotateThread();
  auto waitPasses = [&](int n) {
    const int target = thread.Passes() + n;
    t.restart();
    while (thread.Passes() < target && t.elapsed() < 5000)
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    return thread.Passes() >= target;
  };
  ASSERT_TRUE(waitPasses(1));
  const int steps = thread.StepsRun();
  ASSERT_TRUE(waitPasses(3));
  EXPECT_EQ(thread.StepsRun(), steps);
}

// ---- Texturing tab -----------------------------------------------------------------------

TEST_F(WindowTest, TexturingTabShowsTheSecondFace) {
  OpenLoaded();
  form->Tabs->setCurrentIndex(4);
  TTexturingTab* tab = form->Texturing;
  EXPECT_EQ(tab->CurrentFace(), 1);
  EXPECT_EQ(tab->LabelFace->text(), "FACE: 1, FVRTs: 3 4 5 ");
  EXPECT_EQ(tab->ComboTexture->currentText(), "00070001");
  EXPECT_EQ(tab->EditV[2]->text(), "0.500");
  EXPECT_FALSE(tab->EditU[3]->isEnabled());
  EXPECT_EQ(form->Document().FaceLines.Current(), 1);
  // The outline is yellow: corner 3 at Tx 0, Ty 0 is pixel (0, 256), clipped; the edge from
  // (256, 256) to (256, 0) leaves the image; the edge from corner 5 (16, 128) back to
  // corner 3 passes (8, 192).
  EXPECT_EQ(tab->Image->Image.pixel(8, 192), qRgb(255, 255, 0));
}

TEST_F(WindowTest, TexturingPickSetsTheTriangleCorners) {
  OpenLoaded();
  form->Tabs->setCurrentIndex(4);
  TTexturingTab* tab = form->Texturing;
  for (QPoint p : {QPoint(64, 192), QPoint(192, 192), QPoint(64, 64)}) {
    QTest::mouseMove(tab->Image, p);
    QTest::mouseClick(tab->Image, Qt::LeftButton, Qt::NoModifier, p);
  }
  // The picking itself is the panel's (tests/mesh/TexturePanelTest.cpp); here the mouse
  // reaches it and its results reach the boxes and the image.
  TMeshDocument& d = form->Document();
  EXPECT_FLOAT_EQ(d.FVRT[5].Ty, 0.75f);
  EXPECT_EQ(tab->EditU[1]->text(), "0.75");
  EXPECT_EQ(tab->LabelMouse->text(), "(64,64): Tx=0.25, Ty=0.75");
  // The picked outline is lime green along its first edge.
  EXPECT_EQ(tab->Image->Image.pixel(128, 192), qRgb(0, 255, 0));
  // The corner lists show the picked values at once.
  EXPECT_EQ(d.CornerLines.Line(3), "0, tx:0.25, ty:0.25");
}

TEST_F(WindowTest, TexturingUvBoxWritesItsCorner) {
  OpenLoaded();
  form->Tabs->setCurrentIndex(4);
  TTexturingTab* tab = form->Texturing;
  tab->EditU[1]->setText("0.125");
  QTest::keyClick(tab->EditU[1], Qt::Key_Return);
  EXPECT_FLOAT_EQ(form->Document().FVRT[4].Tx, 0.125f);
  EXPECT_EQ(tab->EditU[1]->text(), "0.125");
  tab->EditV[1]->setText("x");
  QTest::keyClick(tab->EditV[1], Qt::Key_Return);
  EXPECT_EQ(dialogs.Errors.size(), 1);
}

TEST_F(WindowTest, TexturingWithOneFaceShowsNoFace) {
  TSampleMesh m = TSampleMesh::Square();
  m.Faces.resize(1);
  OpenLoaded(m);
  form->Tabs->setCurrentIndex(4);
  TTexturingTab* tab = form->Texturing;
  EXPECT_EQ(tab->CurrentFace(), -1);
  QTest::mouseClick(tab->Image, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  EXPECT_EQ(form->Document().FVRT[0].Tx, 0.0f);
  EXPECT_TRUE(dialogs.Errors.isEmpty());
}

TEST_F(WindowTest, TexturingFaceClickSelectsItsMaterialOrZero) {
  TSampleMesh m = TSampleMesh::Square();
  OpenLoaded(m);
  form->Tabs->setCurrentIndex(4);
  TTexturingTab* tab = form->Texturing;
  tab->ListFacesClick(0);
  EXPECT_EQ(tab->ComboTexture->currentText(), "00070000");
  EXPECT_EQ(form->Document().FACE[0].Mat, 70000);
  // A material typed into the box applies on Enter and joins the box's list.
  tab->ComboTexture->setEditText("123");
  QTest::keyClick(tab->ComboTexture->lineEdit(), Qt::Key_Return);
  EXPECT_EQ(form->Document().FACE[0].Mat, 123);
  EXPECT_GE(tab->ComboTexture->findText("00000123"), 0);
}
