// The GL viewer: its picture entries by material, its messages, and frames under Mesa.
// Faces are drawn unlit in white, so a face shows its texture's colour unchanged; without a
// projection the square of half side 0.5 covers the middle half of the window.
#include "viewers/GlViewer.h"

#include <gtest/gtest.h>

#include <QTest>
#include <memory>

#include "ViewerTestSupport.h"
#include "support/TestSupport.h"
#include "viewers/ModelViewer.h"
#include "viewers/ViewerHost.h"

namespace {

using namespace viewertest;

class GlViewer : public ::testing::Test {
protected:
  void SetUp() override {
    doc = std::make_unique<TMeshDocument>();
    folder = QString::fromStdString(dir.Path().string()) + QStringLiteral("/");
  }
  bool Open() {
    if (!ViewersHaveOpenGl()) return false;
    view = std::make_unique<TGlViewer>(*doc, dialogs);
    view->FrameTimer.stop();  // frames must not tumble while they are checked
    view->show();
    if (!QTest::qWaitForWindowExposed(view.get())) return false;
    return view->GlReady();
  }
  QString BmpPath(int32_t material) {
    return folder + MaterialDigits(material) + QStringLiteral(".bmp");
  }
  void WriteBmp(int32_t material, QRgb colour) {
    QImage picture(256, 256, QImage::Format_RGB32);
    picture.fill(colour);
    ASSERT_TRUE(picture.save(BmpPath(material), "BMP"));
  }
  TRgb Centre(const QImage& f) { return PixelAt(f, f.width() / 2, f.height() / 2); }

  testsupport::TempDir dir;
  TRecordingDialogs dialogs;
  std::unique_ptr<TMeshDocument> doc;
  QString folder;
  std::unique_ptr<TGlViewer> view;
};

#define OPEN_OR_SKIP() REQUIRE_OPENGL(Open())

TEST_F(GlViewer, WindowKindCaptionBoundsAndRefusedClose) {
  OPEN_OR_SKIP();
  EXPECT_EQ(view->windowTitle(), QStringLiteral("GlView"));
  EXPECT_EQ(view->size(), QSize(166, 205));
  EXPECT_FALSE(view->windowFlags() & Qt::WindowStaysOnTopHint) << "above other programs";
  EXPECT_TRUE(view->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(view->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(view->FrameTimer.interval(), 45);
  EXPECT_FALSE(view->close());
  EXPECT_TRUE(view->isVisible());
}

TEST_F(GlViewer, MaterialsAboveAMillionAreSkippedSilently) {
  AddSquare(*doc, 0, 0, 0.5f, 1000001, /*clockwise=*/true);
  AddSquare(*doc, 0, 0, 0.5f, 2000000, /*clockwise=*/true);
  OPEN_OR_SKIP();
  view->LoadTextures(folder);
  EXPECT_EQ(view->PictureCount, 0);
  EXPECT_TRUE(dialogs.Messages.isEmpty());
}

TEST_F(GlViewer, AMissingPictureIsReportedOncePerMaterial) {
  AddSquare(*doc, 0, 0, 0.5f, 7, /*clockwise=*/true);
  AddSquare(*doc, 0, 0, 0.5f, 9, /*clockwise=*/true);
  AddSquare(*doc, 0, 0, 0.5f, 7, /*clockwise=*/true);
  OPEN_OR_SKIP();
  view->LoadTextures(folder);
  const QString tail = QStringLiteral(" not found. Cannot display textures!");
  EXPECT_EQ(dialogs.Messages, QStringList({BmpPath(7) + tail, BmpPath(9) + tail}));
  EXPECT_EQ(view->PictureCount, 0);
}

TEST_F(GlViewer, APictureEntryPerMaterialThatOnlyGrows) {
  WriteBmp(7, qRgb(255, 0, 0));
  WriteBmp(8, qRgb(0, 0, 255));
  AddSquare(*doc, 0, 0, 0.5f, 7, /*clockwise=*/true);
  AddSquare(*doc, 0, 0, 0.5f, 7, /*clockwise=*/true);
  OPEN_OR_SKIP();
  view->LoadTextures(folder);
  EXPECT_EQ(view->PictureCount, 1);
  EXPECT_EQ(view->PictureSlots[0].SlotName, QStringLiteral("7"));
  EXPECT_EQ(view->FindPictureSlot(QStringLiteral("7")), 0);
  EXPECT_EQ(view->FindPictureSlot(QStringLiteral("00000007")), -1) << "names are unpadded";
  AddSquare(*doc, 0, 0, 0.5f, 8, /*clockwise=*/true);
  view->LoadTextures(folder);  // a second Load adds only the new material
  EXPECT_EQ(view->PictureCount, 2);
  EXPECT_EQ(view->FindPictureSlot(QStringLiteral("8")), 1);
  EXPECT_TRUE(dialogs.Messages.isEmpty());
}

TEST_F(GlViewer, MoreThanEightPicturedMaterialsAreLeftOutWithOneMessage) {
  for (int m = 1; m <= 10; ++m) {
    WriteBmp(m, qRgb(m, m, m));
    AddSquare(*doc, 0, 0, 0.5f, m, /*clockwise=*/true);
  }
  OPEN_OR_SKIP();
  view->LoadTextures(folder);
  EXPECT_EQ(view->PictureCount, kGlViewPictureSlots);
  EXPECT_EQ(view->FindPictureSlot(QStringLiteral("9")), -1);
  ASSERT_EQ(dialogs.Messages.size(), 1);
  EXPECT_TRUE(dialogs.Messages[0].contains(QStringLiteral("material 9")));
}

TEST_F(GlViewer, AFaceShowsItsPictureUnlit) {
  WriteBmp(7, qRgb(255, 0, 0));
  AddSquare(*doc, 0, 0, 0.5f, 7, /*clockwise=*/true);
  OPEN_OR_SKIP();
  view->LoadTextures(folder);
  const QImage f = view->grabFramebuffer();
  const TRgb c = Centre(f);
  EXPECT_TRUE(c.r > 245 && c.g < 8 && c.b < 8) << c.r << "," << c.g << "," << c.b;
  EXPECT_TRUE(PixelAt(f, 2, 2).r < 8);
  EXPECT_EQ(qAlpha(f.pixel(2, 2)), 255) << "the background is opaque black";
}

TEST_F(GlViewer, ZoomKeysAccumulateUntilAResizeResetsTheProjection) {
  AddSquare(*doc, 0, 0, 0.5f, 0, /*clockwise=*/true);  // no picture: white
  OPEN_OR_SKIP();
  QImage f = view->grabFramebuffer();
  EXPECT_GT(Centre(f).r, 245);
  EXPECT_LT(PixelAt(f, 3, 3).r, 8);
  for (int i = 0; i < 5; ++i) QTest::keyClicks(view.get(), QStringLiteral("+"));
  f = view->grabFramebuffer();
  EXPECT_GT(PixelAt(f, 3, 3).r, 245) << "1.2^5 = 2.49 times the square covers the window";
  view->resize(170, 210);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return view->grabFramebuffer().size() == view->size() * view->devicePixelRatio(); }));
  f = view->grabFramebuffer();
  EXPECT_LT(PixelAt(f, 3, 3).r, 8) << "the resize loaded the identity into the projection";
}

TEST_F(GlViewer, OnlyLowerCaseRTogglesTheTimer) {
  OPEN_OR_SKIP();
  view->FrameTimer.start();
  QTest::keyClicks(view.get(), QStringLiteral("R"));
  EXPECT_TRUE(view->FrameTimer.isActive());
  QTest::keyClicks(view.get(), QStringLiteral("r"));
  EXPECT_FALSE(view->FrameTimer.isActive());
  QTest::keyClicks(view.get(), QStringLiteral("r"));
  EXPECT_TRUE(view->FrameTimer.isActive());
}

TEST_F(GlViewer, TheHostCreatesOnTheFirstClickOnly) {
  REQUIRE_OPENGL(ViewersHaveOpenGl());
  WriteBmp(7, qRgb(255, 0, 0));
  AddSquare(*doc, 0, 0, 0.5f, 7, /*clockwise=*/true);
  TViewerHost host(dialogs);
  EXPECT_TRUE(host.ShowGlViewer(nullptr, *doc, folder));
  QWidget* first = host.GlViewerWindow();
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(host.ShowGlViewer(nullptr, *doc, folder));
  EXPECT_EQ(host.GlViewerWindow(), first);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(first));
  EXPECT_EQ(first->objectName(), QStringLiteral("frmGlView")) << "its placement section";
  // A load asked for before the context existed runs once it does; a second one adds nothing.
  auto* gl = static_cast<TGlViewer*>(first);
  ASSERT_TRUE(QTest::qWaitFor([&] { return gl->GlReady() && gl->PictureCount == 1; }, 5000));
  host.GlViewerLoadTextures(folder);
  EXPECT_EQ(gl->PictureCount, 1);
  host.DestroyViewers();
  EXPECT_EQ(host.GlViewer(), nullptr);
  EXPECT_TRUE(dialogs.Errors.isEmpty());
}

}  // namespace
