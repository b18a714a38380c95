// The model viewer rendering real frames with Mesa. Expected pixels follow from the frame
// set-up: no projection, so the unit cube -1..1 fills the window; a model of radius 1 is
// zoomed by 1 / 1.1, so a square of half side 0.5 covers the middle ~45% of each axis.
// Faces are drawn in grey 0.7 (178 or 179 in 8 bits), textures modulate that grey.
#include "viewers/ModelViewer.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTest>
#include <QWheelEvent>
#include <memory>

#include "ViewerTestSupport.h"
#include "images/Gct.h"
#include "images/ImageFixtures.h"
#include "support/TestSupport.h"
#include "util/Log.h"
#include "viewers/ViewerHost.h"

namespace {

using namespace viewertest;

constexpr int kGrey = 179;  // 0.7 × 255, rounded either way by the rasteriser

class ModelViewerFrames : public ::testing::Test {
protected:
  void SetUp() override {
    doc = std::make_unique<TMeshDocument>();
    folder = QString::fromStdString(dir.Path().string()) + QStringLiteral("/");
  }
  void TearDown() override { view.reset(); }

  // Creates and shows the viewer; false when the display offers no OpenGL 1.1 context.
  bool Open() {
    if (!ViewersHaveOpenGl()) return false;
    view = std::make_unique<TModelViewer>(*doc, dialogs, folder);
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get())) return false;
    view->ShowModel();
    view->ResetView(true, true);
    return view->GlReady();
  }
  QImage Frame() {
    QImage image = view->grabFramebuffer();
    QCoreApplication::processEvents();  // messages queued by the frame
    return image;
  }
  QString Path(int32_t material, const char* ext) {
    return folder + MaterialDigits(material) + QLatin1String(ext);
  }
  void WriteSolidGct(int32_t material, int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    const auto rgb = SolidRgb(w, h, r, g, b);
    WriteGctFile(Path(material, ".gct").toStdString(), w, h, rgb.data(), TStreamFormat::Blocks);
  }
  void WriteSolidBmp(int32_t material, QRgb colour, int side = 256) {
    QImage picture(side, side, QImage::Format_RGB32);
    picture.fill(colour);
    ASSERT_TRUE(picture.save(Path(material, ".bmp"), "BMP"));
  }
  void WriteGctParts(int32_t material, const char* magic, uint32_t w, uint32_t h,
                     const std::vector<uint8_t>& stream) {
    imagefixtures::WriteGctParts(Path(material, ".gct").toStdString(), magic, w, h, stream);
  }
  static bool IsYellow(TRgb p) { return p.r > 200 && p.g > 200 && p.b < 60; }
  static bool IsWhite(TRgb p) { return p.r > 240 && p.g > 240 && p.b > 240; }
  static bool IsBlack(TRgb p) { return p.r < 8 && p.g < 8 && p.b < 8; }
  static bool RowHas(const QImage& img, int y, bool (*pred)(TRgb)) {
    for (int x = 0; x < img.width(); ++x)
      if (pred(PixelAt(img, x, y))) return true;
    return false;
  }

  testsupport::TempDir dir;
  TRecordingDialogs dialogs;
  std::unique_ptr<TMeshDocument> doc;
  QString folder;
  std::unique_ptr<TModelViewer> view;
};

#define OPEN_OR_SKIP() REQUIRE_OPENGL(Open())

TEST_F(ModelViewerFrames, WindowKindCaptionAndBounds) {
  OPEN_OR_SKIP();
  EXPECT_FALSE(view->windowFlags() & Qt::WindowStaysOnTopHint) << "above other programs";
  EXPECT_EQ(view->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_FALSE(view->windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_EQ(view->cursor().shape(), Qt::CrossCursor);
  EXPECT_EQ(view->size(), QSize(238, 227));
  // Frames may already have appended their rate to the caption.
  EXPECT_TRUE(view->windowTitle().startsWith(QStringLiteral("Model Viewer: 0 faces, 0 vertices")))
      << view->windowTitle().toStdString();
}

TEST_F(ModelViewerFrames, NoFacesGiveABlackFrame) {
  OPEN_OR_SKIP();
  const QImage f = Frame();
  EXPECT_TRUE(IsBlack(PixelAt(f, f.width() / 2, f.height() / 2)));
  EXPECT_TRUE(IsBlack(PixelAt(f, 2, 2)));
  EXPECT_EQ(qAlpha(f.pixel(2, 2)), 255) << "a transparent frame would show the window's background";
  EXPECT_TRUE(dialogs.Messages.isEmpty()) << "material 0 is never looked up";
}

TEST_F(ModelViewerFrames, AFaceWithoutTextureIsGreyOnBlack) {
  AddSquare(*doc, 0, 0, 0.5f, 0);
  OPEN_OR_SKIP();
  const QImage f = Frame();
  const TRgb centre = PixelAt(f, f.width() / 2, f.height() / 2);
  EXPECT_TRUE(Near(centre.r, kGrey) && Near(centre.g, kGrey) && Near(centre.b, kGrey))
      << centre.r << "," << centre.g << "," << centre.b;
  EXPECT_TRUE(IsBlack(PixelAt(f, 5, f.height() / 2)));
  EXPECT_TRUE(IsBlack(PixelAt(f, f.width() / 2, 5)));
}

TEST_F(ModelViewerFrames, AFaceTurnedAwayFromTheEyeIsCulled) {
  // Clockwise seen from the eye on +z: it faces -z, away from the front view.
  AddSquare(*doc, 0, 0, 0.5f, 0, /*clockwise=*/true);
  OPEN_OR_SKIP();
  const QImage f = Frame();
  EXPECT_TRUE(IsBlack(PixelAt(f, f.width() / 2, f.height() / 2)));
}

TEST_F(ModelViewerFrames, ACompressedTextureColoursTheFace) {
  // 2 × 2 pixels: rows of 6 bytes, which an unpack alignment of 4 would misread as green.
  WriteSolidGct(1, 2, 2, 255, 0, 0);
  AddSquare(*doc, 0, 0, 0.5f, 1);
  OPEN_OR_SKIP();
  const QImage f = Frame();
  for (int dx : {-20, 0, 20}) {
    const TRgb p = PixelAt(f, f.width() / 2 + dx, f.height() / 2);
    EXPECT_TRUE(Near(p.r, kGrey) && p.g < 8 && p.b < 8)
        << dx << ": " << p.r << "," << p.g << "," << p.b;
  }
  EXPECT_EQ(view->LoadedMaterial, 1);
  EXPECT_EQ(view->SlotCount, 1);
  EXPECT_FALSE(view->MultiTexture);
  EXPECT_TRUE(dialogs.Messages.isEmpty()) << dialogs.Messages.join("|").toStdString();
}

TEST_F(ModelViewerFrames, EachMaterialGetsItsOwnSlotInMultiTextureMode) {
  WriteSolidGct(1, 4, 4, 255, 0, 0);
  WriteSolidGct(2, 4, 4, 0, 0, 255);
  AddSquare(*doc, -0.5f, 0, 0.4f, 1);
  AddSquare(*doc, 0.5f, 0, 0.4f, 2);
  OPEN_OR_SKIP();
  const QImage f = Frame();
  EXPECT_TRUE(view->MultiTexture);
  EXPECT_EQ(view->SlotCount, 2);
  const TRgb left = PixelAt(f, f.width() / 4, f.height() / 2);
  const TRgb right = PixelAt(f, 3 * f.width() / 4, f.height() / 2);
  EXPECT_TRUE(Near(left.r, kGrey) && left.b < 8) << left.r << "," << left.g << "," << left.b;
  EXPECT_TRUE(Near(right.b, kGrey) && right.r < 8) << right.r << "," << right.g << "," << right.b;
}

TEST_F(ModelViewerFrames, FacesAreDrawnFromTheLastSoTheHigherIndexWinsACoplanarTie) {
  WriteSolidGct(1, 4, 4, 255, 0, 0);
  WriteSolidGct(2, 4, 4, 0, 0, 255);
  AddSquare(*doc, 0, 0, 0.5f, 1);
  AddSquare(*doc, 0, 0, 0.5f, 2);  // same place, same depth
  OPEN_OR_SKIP();
  const QImage f = Frame();
  const TRgb centre = PixelAt(f, f.width() / 2, f.height() / 2);
  EXPECT_TRUE(Near(centre.b, kGrey) && centre.r < 8)
      << centre.r << "," << centre.g << "," << centre.b;
}

TEST_F(ModelViewerFrames, AReloadStartsPerFaceBindingFromTheTextureReallyBound) {
  WriteSolidGct(1, 4, 4, 255, 0, 0);
  WriteSolidGct(2, 4, 4, 0, 255, 0);
  WriteSolidGct(3, 4, 4, 0, 0, 255);
  WriteSolidGct(4, 4, 4, 255, 255, 0);
  AddSquare(*doc, -0.5f, 0, 0.3f, 1);
  AddSquare(*doc, 0, 0.8f, 0.1f, 2);
  AddSquare(*doc, 0, -0.8f, 0.1f, 2);
  AddSquare(*doc, 0.5f, 0, 0.3f, 2);
  OPEN_OR_SKIP();
  Frame();  // face 0 (material 1) is drawn last
  // New materials: the slots become 3, 1, 4 and material 4's texture is the one bound at
  // the end of loading. Face 3, drawn first, has material 1, the material bound last in
  // the previous frame: it must still get material 1's texture, not material 4's.
  doc->FACE[0].Mat = 3;
  doc->FACE[1].Mat = 1;
  doc->FACE[2].Mat = 4;
  doc->FACE[3].Mat = 1;
  const QImage f = Frame();
  const TRgb right = PixelAt(f, 3 * f.width() / 4, f.height() / 2);
  EXPECT_TRUE(Near(right.r, kGrey) && right.g < 8 && right.b < 8)
      << right.r << "," << right.g << "," << right.b;
  const TRgb left = PixelAt(f, f.width() / 4, f.height() / 2);
  EXPECT_TRUE(Near(left.b, kGrey) && left.r < 8) << left.r << "," << left.g << "," << left.b;
}

TEST_F(ModelViewerFrames, ASingleTextureSurvivesAResize) {
  WriteSolidGct(1, 4, 4, 255, 0, 0);
  AddSquare(*doc, 0, 0, 0.5f, 1);
  OPEN_OR_SKIP();
  Frame();
  view->resize(300, 260);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return view->grabFramebuffer().size() == view->size() * view->devicePixelRatio(); }));
  const QImage f = Frame();
  const TRgb centre = PixelAt(f, f.width() / 2, f.height() / 2);
  EXPECT_TRUE(Near(centre.r, kGrey) && centre.g < 8)
      << centre.r << "," << centre.g << "," << centre.b;
}

TEST_F(ModelViewerFrames, ABitmapPictureIsUsedWhenThereIsNoCompressedTexture) {
  WriteSolidBmp(3, qRgb(0, 255, 0));
  AddSquare(*doc, 0, 0, 0.5f, 3);
  OPEN_OR_SKIP();
  const QImage f = Frame();
  const TRgb centre = PixelAt(f, f.width() / 2, f.height() / 2);
  EXPECT_TRUE(Near(centre.g, kGrey) && centre.r < 8 && centre.b < 8)
      << centre.r << "," << centre.g << "," << centre.b;
  EXPECT_NE(view->PictureTexture, nullptr);
  EXPECT_EQ(view->SlotCount, 0);
}

TEST_F(ModelViewerFrames, ASmallPictureCoversTheFaceAsALargeOneDoes) {
  // Texture coordinates run 0..1 over the face, so its middle samples texel (128, 128),
  // which a 16 x 16 picture stretched to the texture's size fills.
  WriteSolidBmp(3, qRgb(0, 255, 0), 16);
  AddSquare(*doc, 0, 0, 0.5f, 3);
  OPEN_OR_SKIP();
  const QImage f = Frame();
  const TRgb centre = PixelAt(f, f.width() / 2, f.height() / 2);
  EXPECT_TRUE(Near(centre.g, kGrey) && centre.r < 8 && centre.b < 8)
      << centre.r << "," << centre.g << "," << centre.b;
}

TEST_F(ModelViewerFrames, AMissingTextureSwitchesToWireframeWithTheMessage) {
  AddSquare(*doc, 0, 0, 0.5f, 5);
  OPEN_OR_SKIP();
  Frame();
  ASSERT_EQ(dialogs.Messages.size(), 1);
  EXPECT_EQ(dialogs.Messages[0],
            Path(5, ".bmp") + QStringLiteral(" not found. Switching to wireframe..."));
  EXPECT_TRUE(view->WireframeOnly->isChecked());
  EXPECT_EQ(view->LoadedMaterial, 5);
  const QImage f = Frame();
  EXPECT_TRUE(IsBlack(PixelAt(f, f.width() / 2, f.height() / 2)))
      << "wireframe leaves the inside empty";
  bool outline = false;
  for (int x = 0; x < f.width(); ++x) {
    const TRgb p = PixelAt(f, x, f.height() / 2);
    if (Near(p.r, kGrey, 10) && Near(p.g, kGrey, 10)) outline = true;
  }
  EXPECT_TRUE(outline) << "the face's outline crosses the middle row";
  // Turning wireframe off does not retry the load.
  view->WireframeOnly->trigger();
  EXPECT_FALSE(view->WireframeOnly->isChecked());
  Frame();
  EXPECT_EQ(dialogs.Messages.size(), 1);
}

TEST_F(ModelViewerFrames, AMissingTextureIsSaidOnceAWindowWhateverIsImportedNext) {
  AddSquare(*doc, 0, 0, 0.5f, 5);
  OPEN_OR_SKIP();
  Frame();
  ASSERT_EQ(dialogs.Messages.size(), 1);
  // What an import does to an open viewer: other materials, drawn textured again.
  for (int32_t material : {6, 7}) {
    doc->FACE[0].Mat = material;
    view->WireframeOnly->setChecked(false);
    view->ShowModel();
    view->ResetView(true, true);
    Frame();
    EXPECT_TRUE(view->WireframeOnly->isChecked()) << material;
    EXPECT_EQ(view->LoadedMaterial, material);
  }
  EXPECT_EQ(dialogs.Messages.size(), 1) << dialogs.Messages.join("|").toStdString();
}

TEST_F(ModelViewerFrames, TheHighlightedFaceHasAYellowOutline) {
  AddSquare(*doc, 0, 0, 0.5f, 0);
  OPEN_OR_SKIP();
  EXPECT_FALSE(RowHas(Frame(), 113, IsYellow));
  view->HighlightedFace = 0;
  const QImage f = Frame();
  EXPECT_TRUE(RowHas(f, f.height() / 2, IsYellow));
  EXPECT_TRUE(IsBlack(PixelAt(f, 5, f.height() / 2)));
  // A face index past the model draws nothing and reads nothing outside it.
  view->HighlightedFace = 99;
  EXPECT_FALSE(RowHas(Frame(), f.height() / 2, IsYellow));
  view->ShowModel();
  EXPECT_EQ(view->HighlightedFace, -1);
}

TEST_F(ModelViewerFrames, TheOriginShowsWhiteAxesEvenWithoutFaces) {
  OPEN_OR_SKIP();
  view->ShowOrigin->trigger();
  const QImage f = Frame();
  const int cx = f.width() / 2, cy = f.height() / 2;
  bool xAxis = false, yAxis = false;
  for (int d = -2; d <= 2; ++d) {
    xAxis = xAxis || IsWhite(PixelAt(f, 3 * f.width() / 4, cy + d));
    yAxis = yAxis || IsWhite(PixelAt(f, cx + d, f.height() / 4));
  }
  EXPECT_TRUE(xAxis);
  EXPECT_TRUE(yAxis);
  EXPECT_TRUE(IsBlack(PixelAt(f, f.width() / 4, cy)))
      << "the axes run from the origin to +x, +y, +z only";
}

TEST_F(ModelViewerFrames, PanKeysMoveTheModelLastingly) {
  AddSquare(*doc, 0, 0, 0.5f, 0);
  OPEN_OR_SKIP();
  QTest::keyClick(view.get(), Qt::Key_S);
  QTest::keyClick(view.get(), Qt::Key_S);
  EXPECT_FLOAT_EQ(view->MeshViewState.PanX, 0.4f);
  // The square now spans about -0.05 .. 0.85 across the window's -1 .. 1.
  const QImage f = Frame();
  EXPECT_TRUE(IsBlack(PixelAt(f, f.width() * 3 / 10, f.height() / 2)));
  EXPECT_TRUE(Near(PixelAt(f, f.width() * 8 / 10, f.height() / 2).r, kGrey));
  QTest::keyClick(view.get(), Qt::Key_A, Qt::ControlModifier);
  EXPECT_NEAR(view->MeshViewState.PanX, -0.2f, 1e-6);
  view->ResetView(false, true);
  EXPECT_EQ(view->MeshViewState.PanX, 0.0f);
}

TEST_F(ModelViewerFrames, KeypadKeysTurnAndZoom) {
  OPEN_OR_SKIP();
  const float zoom = view->MeshViewState.Zoom;
  QTest::keyClick(view.get(), Qt::Key_8, Qt::KeypadModifier);
  EXPECT_FLOAT_EQ(view->MeshViewState.AngleX, 2);
  QTest::keyClick(view.get(), Qt::Key_8, Qt::KeypadModifier | Qt::ControlModifier);
  EXPECT_FLOAT_EQ(view->MeshViewState.AngleX, 8);
  QTest::keyClick(view.get(), Qt::Key_6, Qt::KeypadModifier);
  EXPECT_FLOAT_EQ(view->MeshViewState.AngleY, -2);
  QTest::keyClick(view.get(), Qt::Key_9, Qt::KeypadModifier);
  EXPECT_FLOAT_EQ(view->MeshViewState.AngleZ, -2);
  QTest::keyClick(view.get(), Qt::Key_Plus, Qt::KeypadModifier);
  EXPECT_FLOAT_EQ(view->MeshViewState.Zoom, zoom * 1.1f);
  QTest::keyClick(view.get(), Qt::Key_8);  // the main keyboard's 8 is not bound
  EXPECT_FLOAT_EQ(view->MeshViewState.AngleX, 8);
  view->RotateX->trigger();
  QTest::keyClick(view.get(), Qt::Key_0, Qt::KeypadModifier);
  EXPECT_FALSE(view->RotateX->isChecked()) << "keypad 0 is Reset (keypad 5 was)";
  EXPECT_EQ(view->MeshViewState.AngleX, 0) << "and it turns the model back";
  EXPECT_EQ(view->MeshViewState.AngleZ, 0);
}

// The keys a modeller expects, beside the turning keys above.
TEST_F(ModelViewerFrames, KeypadSideViewsPerspectiveAndFrameAll) {
  AddSquare(*doc, 30, 20, 4, 0);
  OPEN_OR_SKIP();
  QTest::keyClick(view.get(), Qt::Key_5, Qt::KeypadModifier);
  EXPECT_TRUE(view->PerspectiveItem->isChecked());
  EXPECT_TRUE(view->MeshViewState.Perspective);
  EXPECT_FALSE(view->MeshViewState.CentresOrigin()) << "switching to perspective frames";
  QTest::keyClick(view.get(), Qt::Key_5, Qt::KeypadModifier);
  EXPECT_FALSE(view->MeshViewState.Perspective);

  QTest::keyClick(view.get(), Qt::Key_7, Qt::KeypadModifier);
  EXPECT_EQ(view->MeshViewState.AngleX, 90) << "top";
  QTest::keyClick(view.get(), Qt::Key_3, Qt::KeypadModifier);
  EXPECT_EQ(view->MeshViewState.AngleX, 0);
  EXPECT_EQ(view->MeshViewState.AngleY, -90) << "right side";
  QTest::keyClick(view.get(), Qt::Key_1, Qt::KeypadModifier | Qt::ControlModifier);
  EXPECT_EQ(view->MeshViewState.AngleY, 180) << "back";
  // Num Lock off: keypad 1 arrives as End.
  QTest::keyClick(view.get(), Qt::Key_End, Qt::KeypadModifier);
  EXPECT_EQ(view->MeshViewState.AngleY, 0) << "front";
  // Shift+keypad 4 turns about the view axis (keypad 7 did before it became the top view).
  QTest::keyClick(view.get(), Qt::Key_4, Qt::KeypadModifier | Qt::ShiftModifier);
  EXPECT_FLOAT_EQ(view->MeshViewState.AngleZ, 2);

  // Home and keypad "." frame the model whatever the pan was: its centre in the middle.
  for (auto [key, mods] : {std::pair{Qt::Key_Home, Qt::KeyboardModifiers(Qt::NoModifier)},
                           std::pair{Qt::Key_Period, Qt::KeyboardModifiers(Qt::KeypadModifier)}}) {
    view->MeshViewState.PanX = 5;
    QTest::keyClick(view.get(), key, mods);
    const QImage f = Frame();
    EXPECT_TRUE(Near(PixelAt(f, f.width() / 2, f.height() / 2).r, kGrey)) << key;
    EXPECT_TRUE(IsBlack(PixelAt(f, 2, 2))) << key;
  }
}

// Mouse events go straight to the view: the pointer is not really there under Xvfb.
void SendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button,
               Qt::MouseButtons buttons, Qt::KeyboardModifiers mods) {
  QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons, mods);
  QApplication::sendEvent(w, &e);
}

void Drag(QWidget* w, Qt::MouseButton button, QPoint from, QPoint to,
          Qt::KeyboardModifiers mods = Qt::NoModifier) {
  SendMouse(w, QEvent::MouseButtonPress, from, button, button, mods);
  SendMouse(w, QEvent::MouseMove, to, Qt::NoButton, button, mods);
  SendMouse(w, QEvent::MouseButtonRelease, to, button, Qt::NoButton, mods);
}

TEST_F(ModelViewerFrames, MouseOrbitsPansAndZooms) {
  AddSquare(*doc, 0, 0, 0.5f, 0);
  OPEN_OR_SKIP();
  const QPoint c(view->width() / 2, view->height() / 2);
  Drag(view.get(), Qt::LeftButton, c, c + QPoint(20, 10));
  EXPECT_FLOAT_EQ(view->MeshViewState.AngleY, 10);
  EXPECT_FLOAT_EQ(view->MeshViewState.AngleX, 5);
  Drag(view.get(), Qt::MiddleButton, c, c + QPoint(-20, 0));
  EXPECT_FLOAT_EQ(view->MeshViewState.AngleY, 0) << "a middle drag orbits";
  view->ResetView(false, true);
  Drag(view.get(), Qt::MiddleButton, c, c + QPoint(view->width() / 4, 0), Qt::ShiftModifier);
  EXPECT_NEAR(view->MeshViewState.PanX,
              2.0 * (view->width() / 4) / static_cast<double>(view->width()), 1e-6)
      << "Shift+middle drag pans";
  EXPECT_EQ(view->MeshViewState.AngleY, 0);
  view->ResetView(false, true);
  // A right drag of a quarter of the width moves the model by half the window's -1..1.
  Drag(view.get(), Qt::RightButton, c, c + QPoint(view->width() / 4, 0));
  EXPECT_NEAR(view->MeshViewState.PanX,
              2.0 * (view->width() / 4) / static_cast<double>(view->width()), 1e-6);
  const QImage f = Frame();
  EXPECT_TRUE(IsBlack(PixelAt(f, f.width() * 3 / 10, f.height() / 2)));
  EXPECT_TRUE(Near(PixelAt(f, f.width() * 8 / 10, f.height() / 2).r, kGrey));
  EXPECT_FALSE(view->ContextMenu->isVisible()) << "a right drag opens no menu";
  const float zoom = view->MeshViewState.Zoom;
  QWheelEvent wheel(QPointF(c), QPointF(view->mapToGlobal(c)), QPoint(), QPoint(0, 240),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(view.get(), &wheel);
  EXPECT_FLOAT_EQ(view->MeshViewState.Zoom, zoom * 1.21f);
}

// A model far from the origin, turned: "F" brings it whole into the middle of the window,
// in either projection.
TEST_F(ModelViewerFrames, FrameKeyCentresTheModelInBothProjections) {
  AddSquare(*doc, 30, -20, 4, 0);
  OPEN_OR_SKIP();
  view->MeshViewState.AngleZ = 30;
  QTest::keyClick(view.get(), Qt::Key_F);
  for (bool perspective : {false, true}) {
    view->PerspectiveItem->setChecked(perspective);
    const QImage f = Frame();
    EXPECT_TRUE(Near(PixelAt(f, f.width() / 2, f.height() / 2).r, kGrey)) << perspective;
    EXPECT_TRUE(IsBlack(PixelAt(f, 2, 2))) << perspective;
    EXPECT_TRUE(IsBlack(PixelAt(f, f.width() - 3, f.height() - 3))) << perspective;
  }
}

TEST_F(ModelViewerFrames, ResetViewReplacesRadiusZeroAndFitsTheZoom) {
  doc->Radius = 0;
  OPEN_OR_SKIP();
  EXPECT_EQ(doc->Radius, 1.0f);
  EXPECT_FLOAT_EQ(view->MeshViewState.Zoom, 1.0f / 1.0f / 1.1f);
  doc->Radius = 4;
  view->MeshViewState.AngleX = 30;
  view->ResetView(true, false);
  EXPECT_FLOAT_EQ(view->MeshViewState.Zoom, 1.0f / 4.0f / 1.1f);
  EXPECT_EQ(view->MeshViewState.AngleX, 30);
}

TEST_F(ModelViewerFrames, CaptionCarriesCountsAndTheFrameRateOnlyWhileSpinning) {
  AddSquare(*doc, 0, 0, 0.5f, 0);
  OPEN_OR_SKIP();
  view->ShowModel();
  EXPECT_EQ(view->windowTitle().toStdString(), "Model Viewer: 1 faces, 4 vertices");
  view->ResetFrameCounter();
  Frame();
  EXPECT_EQ(view->windowTitle().toStdString(), "Model Viewer: 1 faces, 4 vertices")
      << "a still model has no frame rate";
  view->RotateY->setChecked(true);
  view->ResetFrameCounter();
  Frame();
  const QRegularExpression caption(
      QStringLiteral("^Model Viewer: 1 faces, 4 vertices - \\d+\\.\\d fps$"));
  EXPECT_TRUE(caption.match(view->windowTitle()).hasMatch()) << view->windowTitle().toStdString();
  view->RotateY->setChecked(false);
  Frame();
  EXPECT_EQ(view->windowTitle().toStdString(), "Model Viewer: 1 faces, 4 vertices");
}

TEST_F(ModelViewerFrames, CloseIsRefused) {
  OPEN_OR_SKIP();
  EXPECT_FALSE(view->close());
  EXPECT_TRUE(view->isVisible());
}

TEST_F(ModelViewerFrames, TheTimerRedrawsAndTurnsOnTheWindowThread) {
  AddSquare(*doc, 0, 0, 0.5f, 0);
  OPEN_OR_SKIP();
  view->RotateY->trigger();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return view->FrameCount > 0 && view->MeshViewState.AngleY > 0.0f; }, 5000));
  EXPECT_GT(view->FrameCount, 0);
  EXPECT_GT(view->MeshViewState.AngleY, 0.0f);
}

// Nothing moves and the spin is off: the timer draws nothing. A change to the model under
// the viewer is drawn at the next tick, from a face list built again.
TEST_F(ModelViewerFrames, TheTimerDrawsOnlyWhatMovesOrChanged) {
  AddSquare(*doc, 0, 0, 0.5f, 0);
  OPEN_OR_SKIP();
  view->FrameTimer.SetEnabled(true);
  Frame();
  QTest::qWait(4 * kModelViewerTimerInterval);
  const int32_t frames = view->FrameCount;
  QTest::qWait(5 * kModelViewerTimerInterval);
  EXPECT_EQ(view->FrameCount, frames) << "no frame while nothing moves";
  for (int v = 0; v < 4; ++v) doc->VERT[v].x += 0.6f;  // as a tool edits in place
  ASSERT_TRUE(QTest::qWaitFor([&] { return view->FrameCount > frames; }, 2000));
  const QImage f = Frame();
  EXPECT_TRUE(IsBlack(PixelAt(f, f.width() * 3 / 10, f.height() / 2))) << "the old place";
  EXPECT_TRUE(Near(PixelAt(f, f.width() * 8 / 10, f.height() / 2).r, kGrey)) << "the new place";
}

// Two faces turned towards the eye, a red one at z = 0.5 before a blue one at z = -0.5, as
// a house's front wall before its back wall's inside. The eye is on the side of larger z
// in both projections, so red hides blue; a view from the other side shows blue, the back
// wall's inside, with the front wall culled.
TEST_F(ModelViewerFrames, BothProjectionsShowTheOutside) {
  WriteSolidGct(1, 2, 2, 255, 0, 0);
  WriteSolidGct(2, 2, 2, 0, 0, 255);
  AddSquare(*doc, 0, 0, 0.5f, 1, /*clockwise=*/false, 0.5f);
  AddSquare(*doc, 0, 0, 0.5f, 2, /*clockwise=*/false, -0.5f);
  OPEN_OR_SKIP();
  for (bool perspective : {false, true}) {
    view->PerspectiveItem->setChecked(perspective);
    const QImage f = Frame();
    const TRgb p = PixelAt(f, f.width() / 2, f.height() / 2);
    EXPECT_TRUE(Near(p.r, kGrey) && p.b < 8) << perspective << ": " << p.r << "," << p.b;
  }
}

// One handedness with Blender: a box's front wall (at z = 0.5, facing +z, which the export
// hands to Blender as its front) and its back wall (at z = -0.5, facing -z) carry a picture
// whose four quarters differ, with texture coordinates 0..1 along +x and +y. Keypad 1 shows
// the front wall with the picture as it is drawn (its top left quarter at the window's top
// left); Ctrl+keypad 1 shows the back wall from behind, the picture's left on the right.
TEST_F(ModelViewerFrames, TheFrontViewShowsTheFrontAsBlenderDoesWithThePictureTheRightWayRound) {
  QImage picture(64, 64, QImage::Format_RGB32);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      picture.setPixel(x, y,
                       y < 32 ? (x < 32 ? qRgb(0, 255, 0) : qRgb(0, 0, 255))
                              : (x < 32 ? qRgb(255, 0, 0) : qRgb(255, 255, 255)));
  ASSERT_TRUE(picture.save(Path(1, ".bmp"), "BMP"));
  AddSquare(*doc, 0, 0, 0.5f, 1, /*clockwise=*/false, 0.5f);
  AddSquare(*doc, 0, 0, 0.5f, 1, /*clockwise=*/true, -0.5f);
  OPEN_OR_SKIP();
  const auto quarter = [](const QImage& f, int qx, int qy) {
    return PixelAt(f, f.width() / 2 + qx * f.width() / 8, f.height() / 2 + qy * f.height() / 8);
  };
  QTest::keyClick(view.get(), Qt::Key_1, Qt::KeypadModifier);
  QImage f = Frame();
  TRgb topLeft = quarter(f, -1, -1), topRight = quarter(f, 1, -1);
  TRgb bottomLeft = quarter(f, -1, 1), bottomRight = quarter(f, 1, 1);
  EXPECT_TRUE(Near(topLeft.g, kGrey) && topLeft.r < 8 && topLeft.b < 8)
      << "top left " << topLeft.r << "," << topLeft.g << "," << topLeft.b;
  EXPECT_TRUE(Near(topRight.b, kGrey) && topRight.r < 8 && topRight.g < 8)
      << "top right " << topRight.r << "," << topRight.g << "," << topRight.b;
  EXPECT_TRUE(Near(bottomLeft.r, kGrey) && bottomLeft.g < 8 && bottomLeft.b < 8)
      << "bottom left " << bottomLeft.r << "," << bottomLeft.g << "," << bottomLeft.b;
  EXPECT_TRUE(Near(bottomRight.r, kGrey) && Near(bottomRight.g, kGrey) &&
              Near(bottomRight.b, kGrey))
      << "bottom right " << bottomRight.r << "," << bottomRight.g << "," << bottomRight.b;
  QTest::keyClick(view.get(), Qt::Key_1, Qt::KeypadModifier | Qt::ControlModifier);
  f = Frame();
  topLeft = quarter(f, -1, -1), topRight = quarter(f, 1, -1);
  bottomLeft = quarter(f, -1, 1), bottomRight = quarter(f, 1, 1);
  EXPECT_TRUE(Near(topLeft.b, kGrey) && topLeft.r < 8 && topLeft.g < 8)
      << "back, top left " << topLeft.r << "," << topLeft.g << "," << topLeft.b;
  EXPECT_TRUE(Near(topRight.g, kGrey) && topRight.r < 8 && topRight.b < 8)
      << "back, top right " << topRight.r << "," << topRight.g << "," << topRight.b;
  EXPECT_TRUE(Near(bottomLeft.r, kGrey) && Near(bottomLeft.b, kGrey))
      << "back, bottom left " << bottomLeft.r << "," << bottomLeft.g << "," << bottomLeft.b;
  EXPECT_TRUE(Near(bottomRight.r, kGrey) && bottomRight.g < 8 && bottomRight.b < 8)
      << "back, bottom right " << bottomRight.r << "," << bottomRight.g << "," << bottomRight.b;
}

// A picture red on its left half and blue on its right, on a square whose texture
// coordinates run 0..1 left to right and bottom to top: red shows left, from a ".bmp" and
// from the ".gct" the program writes of the same picture (4 x 2 pixels, so that its stored
// rows, the picture's columns, differ from its rows in number too).
class MeshViewLeftRightPicture : public ModelViewerFrames,
                                 public ::testing::WithParamInterface<const char*> {};

TEST_P(MeshViewLeftRightPicture, RedShowsLeftOfBlue) {
  const std::string ext = GetParam();
  if (ext == ".bmp") {
    QImage picture(256, 256, QImage::Format_RGB32);
    picture.fill(qRgb(0, 0, 255));
    for (int y = 0; y < 256; ++y)
      for (int x = 0; x < 128; ++x) picture.setPixel(x, y, qRgb(255, 0, 0));
    ASSERT_TRUE(picture.save(Path(1, ".bmp"), "BMP"));
  } else {
    std::vector<uint8_t> rgb;
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 4; ++x)
        rgb.insert(rgb.end(), {uint8_t(x < 2 ? 255 : 0), 0, uint8_t(x < 2 ? 0 : 255)});
    WriteGctFile(Path(1, ".gct").toStdString(), 4, 2, rgb.data(), TStreamFormat::Blocks);
  }
  AddSquare(*doc, 0, 0, 0.5f, 1);
  OPEN_OR_SKIP();
  const QImage f = Frame();
  // The square spans the middle 45% of the window; a third of its width off its centre.
  const int dx = f.width() * 15 / 100;
  for (int dy : {-f.height() / 10, 0, f.height() / 10}) {
    const TRgb left = PixelAt(f, f.width() / 2 - dx, f.height() / 2 + dy);
    const TRgb right = PixelAt(f, f.width() / 2 + dx, f.height() / 2 + dy);
    EXPECT_TRUE(Near(left.r, kGrey) && left.b < 8) << dy << ": " << left.r << "," << left.b;
    EXPECT_TRUE(Near(right.b, kGrey) && right.r < 8) << dy << ": " << right.r << "," << right.b;
  }
  EXPECT_TRUE(dialogs.Messages.isEmpty()) << dialogs.Messages.join("|").toStdString();
}

INSTANTIATE_TEST_SUITE_P(Textures, MeshViewLeftRightPicture, ::testing::Values(".bmp", ".gct"),
                         [](const auto& param) { return std::string(param.param + 1); });

class ModelViewerTextures : public ModelViewerFrames {};

TEST_F(ModelViewerTextures, FindTextureSlotReturnsTheHighestMatchingIndex) {
  OPEN_OR_SKIP();
  auto& textureSlots = *view->TextureSlots;
  textureSlots[0].Material = 7;
  textureSlots[1].Material = 9;
  textureSlots[2].Material = 7;
  textureSlots[3].Material = 8;
  view->SlotCount = 3;
  EXPECT_EQ(view->FindTextureSlot(7), 2);
  EXPECT_EQ(view->FindTextureSlot(9), 1);
  EXPECT_EQ(view->FindTextureSlot(8), -1) << "slot 3 is not in use";
}

TEST_F(ModelViewerTextures, MoreThan32MaterialsAreRefusedWithAMessage) {
  WriteSolidGct(1, 2, 2, 255, 0, 0);
  for (int m = 1; m <= 40; ++m) AddSquare(*doc, 0, 0, 0.1f, m);
  OPEN_OR_SKIP();
  Frame();
  EXPECT_EQ(view->SlotCount, kMaxTextureSlots);
  EXPECT_EQ(view->FindTextureSlot(33), -1);
  EXPECT_EQ(view->FindTextureSlot(32), 31);
  ASSERT_EQ(dialogs.Messages.size(), 1);
  EXPECT_TRUE(dialogs.Messages[0].contains(QStringLiteral("more than 32 materials")));
}

TEST_F(ModelViewerTextures, AWrongMagicIsReportedAndTheFileReadOn) {
  const auto rgb = SolidRgb(2, 2, 255, 0, 0);
  WriteGctParts(1, "XRGB-__1", 2, 2, EncodeStream(rgb.data(), rgb.size(), TStreamFormat::Blocks));
  AddSquare(*doc, 0, 0, 0.5f, 1);
  OPEN_OR_SKIP();
  const QImage f = Frame();
  ASSERT_EQ(dialogs.Messages.size(), 1);
  EXPECT_EQ(dialogs.Messages[0], QStringLiteral("LoadCompressedTextures (") + Path(1, ".gct") +
                                     QStringLiteral("): Invalid format: XRGB-__1"));
  EXPECT_TRUE(Near(PixelAt(f, f.width() / 2, f.height() / 2).r, kGrey));
}

TEST_F(ModelViewerTextures, AStreamErrorEndsThePassOnceAndIsShown) {
  // A stream header whose magic is the bytes 12 34: no format the reader knows.
  WriteGctParts(1, "CRGB____", 2, 2, {0x12, 0x34, 0, 0, 0, 0, 12, 0, 0, 0, 1});
  AddSquare(*doc, 0, 0, 0.5f, 1);
  OPEN_OR_SKIP();
  Frame();
  ASSERT_EQ(dialogs.Errors.size(), 1);
  EXPECT_EQ(dialogs.Errors[0], QStringLiteral("_BlockRead: Unknown format (1234)"));
  EXPECT_EQ(view->LoadedMaterial, 1);
  Frame();
  EXPECT_EQ(dialogs.Errors.size(), 1) << "the pass is not repeated";
  EXPECT_EQ(view->windowTitle().left(13), QStringLiteral("Model Viewer:"));
}

TEST_F(ModelViewerTextures, TheLogTellsTheTextureSearch) {
  const std::string logPath = dir.File("viewer.log");
  OpenLog(logPath);
  WriteSolidGct(1, 2, 2, 255, 0, 0);
  AddSquare(*doc, 0, 0, 0.5f, 1);
  const bool ready = Open();
  if (ready) Frame();
  view.reset();  // destruction closes the log
  CloseLog();    // (when no viewer was made)
  REQUIRE_OPENGL(ready);
  EXPECT_FALSE(LogEnabled);
  const std::string log = testsupport::ReadText(logPath);
  const std::string gct = Path(1, ".gct").toStdString();
  for (const std::string& line :
       {std::string("MV_VERSION: 238\r\nInit OpenGL...\r\nGL_VENDOR: "),
        std::string("\r\nGL_RENDERER: "), std::string("\r\nGL_VERSION: "),
        std::string("\r\nGL_EXTENSIONS: "),
        "\r\nLooking for textures...\r\nLoading textures...\r\n" + gct + "...\r\n",
        std::string("File closed: ")}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
}

TEST_F(ModelViewerFrames, TheHostCreatesOnceAndEveryClickShowsTheModelAgain) {
  REQUIRE_OPENGL(ViewersHaveOpenGl());
  AddSquare(*doc, 0, 0, 0.5f, 0);
  TViewerHost host(dialogs);
  host.ShowMeshViewer(nullptr, *doc, folder);
  QWidget* first = host.MeshViewerWindow();
  ASSERT_NE(first, nullptr);
  host.SetHighlightedFace(0);
  host.MeshViewerDrawScene();
  host.ShowMeshViewer(nullptr, *doc, folder);
  EXPECT_EQ(host.MeshViewerWindow(), first);
  EXPECT_EQ(static_cast<TModelViewer*>(first)->HighlightedFace, -1);
  EXPECT_TRUE(first->windowTitle().startsWith(QStringLiteral("Model Viewer: 1 faces, 4 vertices")))
      << first->windowTitle().toStdString();
  host.DestroyViewers();
  EXPECT_EQ(host.MeshViewer(), nullptr);
}

}  // namespace
