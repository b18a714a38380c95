// Both viewers draw by material: each texture uploaded once and bound once per material, the
// faces of a material in one call, whatever the order of the faces' materials; and the look
// stays: every face shows its own texture, a wireframe shows a polygon's outline only.
// The calls are counted on the viewer's context (support/GlCallCounter.h).
#include <gtest/gtest.h>

#include <QTest>
#include <memory>

#include "ViewerTestSupport.h"
#include "images/Gct.h"
#include "support/GlCallCounter.h"
#include "support/TestSupport.h"
#include "viewers/GlViewer.h"
#include "viewers/ModelViewer.h"
#include "viewers/ViewerHost.h"

namespace {

using namespace viewertest;

constexpr int kGrey = 179;  // 0.7 × 255: the model viewer's face colour

// Four squares in the quadrants whose materials alternate 1, 2, 1, 2: top left, top right,
// bottom left, bottom right. Material 1 is red, material 2 blue.
class DrawByMaterial : public ::testing::Test {
protected:
  void SetUp() override {
    doc = std::make_unique<TMeshDocument>();
    folder = QString::fromStdString(dir.Path().string()) + QStringLiteral("/");
  }
  void AddQuadrants() {
    AddSquare(*doc, -0.5f, 0.5f, 0.3f, 1);
    AddSquare(*doc, 0.5f, 0.5f, 0.3f, 2);
    AddSquare(*doc, -0.5f, -0.5f, 0.3f, 1);
    AddSquare(*doc, 0.5f, -0.5f, 0.3f, 2);
  }
  QString Path(int32_t material, const char* ext) {
    return folder + MaterialDigits(material) + QLatin1String(ext);
  }
  // The centres of the quadrants in a frame, in the order of AddQuadrants.
  static std::vector<TRgb> Quadrants(const QImage& f) {
    const int w = f.width(), h = f.height();
    return {PixelAt(f, w / 4, h / 4), PixelAt(f, 3 * w / 4, h / 4), PixelAt(f, w / 4, 3 * h / 4),
            PixelAt(f, 3 * w / 4, 3 * h / 4)};
  }
  template <class Viewer>
  bool Show(Viewer& v) {
    v.show();
    return QTest::qWaitForWindowExposed(&v) && v.GlReady();
  }

  testsupport::TempDir dir;
  TRecordingDialogs dialogs;
  std::unique_ptr<TMeshDocument> doc;
  QString folder;
};

TEST_F(DrawByMaterial, TheGlViewerUploadsEachPictureOnceAndBindsItOncePerFrame) {
  REQUIRE_OPENGL(ViewersHaveOpenGl());
  for (const auto& [material, colour] : {std::pair{1, qRgb(255, 0, 0)}, {2, qRgb(0, 0, 255)}}) {
    QImage picture(256, 256, QImage::Format_RGB32);
    picture.fill(colour);
    ASSERT_TRUE(picture.save(Path(material, ".bmp"), "BMP"));
  }
  AddQuadrants();
  TGlViewer view(*doc, dialogs);
  view.FrameTimer.stop();
  REQUIRE_OPENGL(Show(view));
  view.grabFramebuffer();  // the context and the counter's tables exist from here on
  glcount::Install(view.context());
  glcount::Reset();
  view.LoadTextures(folder);
  EXPECT_EQ(glcount::Counts().Of("glTexImage2D"), 2u) << "one upload per picture";

  glcount::Reset();
  QImage f = view.grabFramebuffer();  // builds the list: a bind per material and the frame's
  EXPECT_EQ(glcount::Counts().Of("glTexImage2D"), 0u);
  EXPECT_EQ(glcount::Counts().Of("glBindTexture"), 3u);
  EXPECT_EQ(glcount::Counts().Of("glDrawArrays"), 2u);
  EXPECT_EQ(glcount::Counts().Of("glBegin"), 0u);

  for (int frame = 0; frame < 3; ++frame) {
    view.OnFrameTimer();  // turns the model: a new frame, the same records
    glcount::Reset();
    f = view.grabFramebuffer();
    EXPECT_EQ(glcount::Counts().Of("glTexImage2D"), 0u) << frame;
    EXPECT_LE(glcount::Counts().Calls, 10u) << frame << ": the list is replayed, not rebuilt";
  }
  view.FrameTimer.stop();
}

TEST_F(DrawByMaterial, TheGlViewerShowsEachFaceWithItsOwnPicture) {
  REQUIRE_OPENGL(ViewersHaveOpenGl());
  for (const auto& [material, colour] : {std::pair{1, qRgb(255, 0, 0)}, {2, qRgb(0, 0, 255)}}) {
    QImage picture(256, 256, QImage::Format_RGB32);
    picture.fill(colour);
    ASSERT_TRUE(picture.save(Path(material, ".bmp"), "BMP"));
  }
  AddQuadrants();
  TGlViewer view(*doc, dialogs);
  view.FrameTimer.stop();
  REQUIRE_OPENGL(Show(view));
  view.LoadTextures(folder);
  const std::vector<TRgb> q = Quadrants(view.grabFramebuffer());
  for (size_t i = 0; i < 4; ++i) {
    const bool red = i % 2 == 0;
    EXPECT_TRUE(red ? q[i].r > 245 && q[i].b < 8 : q[i].b > 245 && q[i].r < 8)
        << i << ": " << q[i].r << "," << q[i].g << "," << q[i].b;
  }
  // An edit shows at the next frame: the list is built again.
  doc->FACE[0].Mat = 2;
  const std::vector<TRgb> after = Quadrants(view.grabFramebuffer());
  EXPECT_TRUE(after[0].b > 245 && after[0].r < 8) << after[0].r << "," << after[0].b;
}

class DrawByMaterialModelViewer : public DrawByMaterial {
protected:
  void WriteSolidGct(int32_t material, uint8_t r, uint8_t g, uint8_t b) {
    const auto rgb = SolidRgb(4, 4, r, g, b);
    WriteGctFile(Path(material, ".gct").toStdString(), 4, 4, rgb.data(), TStreamFormat::Blocks);
  }
  bool Open() {
    if (!ViewersHaveOpenGl()) return false;
    view = std::make_unique<TModelViewer>(*doc, dialogs, folder);
    if (!Show(*view)) return false;
    view->ResetView(true, true);
    return true;
  }
  void TearDown() override { view.reset(); }
  std::unique_ptr<TModelViewer> view;
};

TEST_F(DrawByMaterialModelViewer, EachTextureIsBoundOncePerMaterialWhateverTheFaceOrder) {
  WriteSolidGct(1, 255, 0, 0);
  WriteSolidGct(2, 0, 0, 255);
  AddQuadrants();
  REQUIRE_OPENGL(Open());
  view->grabFramebuffer();  // loads the textures
  glcount::Install(view->context());
  doc->FVRT[0].Tx = 0.01f;  // an edit: the next frame builds its list again
  glcount::Reset();
  const QImage f = view->grabFramebuffer();
  // One bind at the frame's start, one per material in the list; two draws, no glBegin for
  // the faces.
  EXPECT_EQ(glcount::Counts().Of("glBindTexture"), 3u);
  EXPECT_EQ(glcount::Counts().Of("glDrawArrays"), 2u);
  EXPECT_EQ(glcount::Counts().Of("glTexImage2D"), 0u);
  const std::vector<TRgb> q = Quadrants(f);
  for (size_t i = 0; i < 4; ++i) {
    const bool red = i % 2 == 0;
    EXPECT_TRUE(red ? Near(q[i].r, kGrey) && q[i].b < 8 : Near(q[i].b, kGrey) && q[i].r < 8)
        << i << ": " << q[i].r << "," << q[i].g << "," << q[i].b;
  }
  view->MeshViewState.AngleZ += 1;
  glcount::Reset();
  view->grabFramebuffer();
  EXPECT_EQ(glcount::Counts().Of("glBindTexture"), 1u) << "a turned frame replays the list";
  EXPECT_EQ(glcount::Counts().Of("glDrawArrays"), 0u);
}

TEST_F(DrawByMaterialModelViewer, AWireframeShowsAPolygonsOutlineNotItsTriangles) {
  AddSquare(*doc, 0, 0, 0.5f, 0);
  REQUIRE_OPENGL(Open());
  view->WireframeOnly->trigger();
  const QImage f = view->grabFramebuffer();
  const int cx = f.width() / 2, cy = f.height() / 2;
  // The square's diagonals cross the centre: nothing may be drawn around it.
  for (int dx = -3; dx <= 3; ++dx) {
    const TRgb p = PixelAt(f, cx + dx, cy + dx);
    EXPECT_TRUE(p.r < 8 && p.g < 8 && p.b < 8) << dx << ": " << p.r << "," << p.g << "," << p.b;
  }
  // Its outline is drawn: the row through the centre crosses the left and right edges.
  int lit = 0;
  for (int x = 0; x < f.width(); ++x) lit += Near(PixelAt(f, x, cy).r, kGrey, 8) ? 1 : 0;
  EXPECT_GE(lit, 2);
}

}  // namespace
