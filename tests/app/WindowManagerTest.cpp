// The editor under a real window manager: openbox on Xvfb, started by run_with_openbox.sh
// (ctest's app.window_manager). A window manager frames windows some time after they are
// shown and closes them on request, which Qt's offscreen platform never does. Run in any
// other setting (no X display, no window manager) these cases skip.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "AppTestSupport.h"
#include "support/RunProgram.h"
#include "util/Log.h"
#include "viewers/FaceView.h"
#include "viewers/PointView.h"
#include "viewers/Tools.h"
#include "viewers/ViewerHost.h"

namespace {

bool UnderAWindowManager() {
  return QGuiApplication::platformName() == QStringLiteral("xcb") &&
         std::system("wmctrl -m >/dev/null 2>&1") == 0;
}

// Shown, framed by the window manager, and its placement correction (if any) done.
bool Settled(QWidget* w) {
  return w && w->isVisible() && w->frameGeometry() != w->geometry() &&
         !w->findChild<QObject*>(QStringLiteral("TFrameFit"), Qt::FindDirectChildrenOnly);
}

// What the window's close button does: the window manager asks the program to close it.
bool CloseByWindowManager(QWidget& w) {
  const std::string command = "wmctrl -i -c " + std::to_string(w.winId());
  return std::system(command.c_str()) == 0;
}

class WindowManager : public WindowTest {
protected:
  void SetUp() override {
    if (!UnderAWindowManager())
      GTEST_SKIP() << "needs an X display with a window manager (app.window_manager)";
    WindowTest::SetUp();
  }
  QList<QWidget*> Windows() const {
    return {form.get(), form->Points(), form->Faces(), form->Tools(),
            form->Viewers().GlViewerWindow()};
  }
};

TEST_F(WindowManager, OpeningAndClosingThreeTimesLeavesModelIniAsItWas) {
  TSampleMesh::Square().Write(home);  // the second start loads it
  std::string first;
  for (int run = 0; run < 3; ++run) {
    form = std::make_unique<TForm1>(Ini(), &dialogs);
    form->show();
    form->GLClick();  // the GL viewer's placement goes through the same file
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
          for (QWidget* w : Windows())
            if (!Settled(w)) return false;
          return true;
        },
        10000))
        << "run " << run + 1;
    if (run == 0) {
      for (QWidget* w : QList<QWidget*>{form->Points(), form->Faces(), form->Tools()})
        EXPECT_FALSE(w->frameGeometry().intersects(form->frameGeometry()))
            << w->objectName().toStdString();
    }
    ASSERT_TRUE(CloseByWindowManager(*form));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }, 10000));
    form.reset();
    const testsupport::Bytes b = testsupport::ReadBytes(Ini().toStdString());
    const std::string ini(b.begin(), b.end());
    if (run == 0)
      first = ini;
    else
      EXPECT_EQ(ini, first) << "run " << run + 1;
  }
  EXPECT_NE(first.find("[frmGlView]"), std::string::npos) << first;
  EXPECT_EQ(first.find("[General]"), std::string::npos) << first;
}

TEST_F(WindowManager, ClosingTheMainWindowEndsTheProgramWithTheModelViewerOpen) {
  TSampleMesh::Square().Write(home);
  OpenLog(home.File("viewer.log"));
  form = std::make_unique<TForm1>(Ini(), &dialogs);
  // Once the model viewer is up, the window manager closes the main window; the loop must
  // then end by itself. The guard ends a loop that does not, with status 3.
  QTimer::singleShot(0, form.get(), [this] { form->MeshViewerClick(); });
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (!Settled(form.get()) || !Settled(form->Viewers().MeshViewerWindow())) return;
    poll.stop();
    if (!CloseByWindowManager(*form)) QCoreApplication::exit(4);
  });
  poll.start(20);
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(3); });
  guard.start(10000);
  EXPECT_EQ(RunEditor(*form), 0) << "3: still running 10 s after the close; 4: wmctrl failed";
  ASSERT_NE(form->Viewers().MeshViewer(), nullptr);
  EXPECT_FALSE(form->Viewers().MeshViewerWindow()->isVisible());
  EXPECT_FALSE(form->Points()->isVisible());
  EXPECT_FALSE(form->Tools()->isVisible());
  EXPECT_TRUE(QSettings(Ini(), QSettings::IniFormat).contains("frmPoints/Left"));
  // What main() does after the loop: the main window, its viewers and with them the log's
  // last lines go.
  form.reset();
  CloseLog();
  EXPECT_NE(testsupport::ReadText(home.File("viewer.log")).find("File closed: "),
            std::string::npos);
}

// `tessavor --screenshot` as a program on this display: every window, the two OpenGL
// viewers included, is shown and drawn on the events it sends (none waits out the cap),
// and the model viewer's picture shows the model.
TEST_F(WindowManager, ScreenshotRunDrawsEveryWindowAndTheViewers) {
  if (!testsupport::ProgramBuilt("tessavor")) GTEST_SKIP() << "tessavor not built";
  if (!ViewersHaveOpenGl()) GTEST_SKIP() << "no OpenGL on this display";
  TSampleMesh::Square().Write(home);
  testsupport::TempDir scratch;
  const std::filesystem::path out = scratch.Path() / "shots";
  const testsupport::TProgramResult r =
      testsupport::RunPath(testsupport::ProgramPath("tessavor"), {"--screenshot", out.string()},
                           testsupport::TRunOptions()
                               .Set("TESSAVOR_HOME", home.Path().string())
                               .Set("QT_QPA_PLATFORM", "xcb")
                               .Unset("TESSAVOR_LOG")
                               // A sanitizer build: Mesa's driver is unloaded before the
                               // leak report, so what it keeps has no module name that its
                               // suppression could match. The offscreen screenshot runs
                               // check the program's own leaks.
                               .Set("ASAN_OPTIONS", "detect_leaks=0"));
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(r.err.find("not drawn"), std::string::npos) << r.err;
  for (const char* name : {"Form1-vert", "frmPoints", "frmMeshView", "frmGlView"}) {
    EXPECT_TRUE(std::filesystem::is_regular_file(out / (std::string(name) + ".png")))
        << name << "\n"
        << r.out << r.err;
  }
  const QImage viewer(QString::fromStdString((out / "frmMeshView.png").string()));
  ASSERT_FALSE(viewer.isNull()) << r.err;
  const QImage flat = [&] {
    QImage f(viewer.size(), viewer.format());
    f.fill(viewer.pixel(0, 0));
    return f;
  }();
  EXPECT_NE(viewer, flat) << "the model viewer's picture is one colour";
}

}  // namespace
