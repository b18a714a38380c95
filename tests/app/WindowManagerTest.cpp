// The editor under a real window manager: openbox on Xvfb, started by run_with_openbox.sh
// (ctest's app.window_manager). A window manager frames windows some time after they are
// shown and closes them on request, which Qt's offscreen platform never does. Run in any
// other setting (no X display, no window manager) these cases skip.
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "AppTestSupport.h"
#include "app/LineListModel.h"
#include "support/RunProgram.h"
#include "util/Log.h"
#include "viewers/FacesWindow.h"
#include "viewers/PointsWindow.h"
#include "viewers/ToolWindow.h"
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

// Runs an xdotool command line; false when it failed.
bool XDo(const std::string& args) { return std::system(("xdotool " + args).c_str()) == 0; }

// Where a failing case leaves its screenshot: $TESSAVOR_TEST_OUTPUT, else the current folder
// (ctest runs the tests in the build folder).
std::string OutputFolder() {
  const char* dir = std::getenv("TESSAVOR_TEST_OUTPUT");
  return dir && *dir ? dir : ".";
}

class WindowManager : public WindowTest {
protected:
  void SetUp() override {
    if (!UnderAWindowManager())
      GTEST_SKIP() << "needs an X display with a window manager (app.window_manager)";
    WindowTest::SetUp();
  }
  // A failing case keeps what it saw: the screen as a PNG, and the dialogs' texts, the
  // title and the status line as its log.
  void TearDown() override {
    if (HasFailure()) {
      const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
      const QString png = QString::fromStdString(OutputFolder() + "/" + info->test_suite_name() +
                                                 "." + info->name() + ".png");
      QScreen* screen = QGuiApplication::primaryScreen();
      const bool saved = screen && screen->grabWindow(0).save(png);
      std::printf("screenshot: %s%s\n", qPrintable(png), saved ? "" : " (could not be written)");
      std::printf("messages: %s\nerrors: %s\nquestions: %s\n",
                  qPrintable(dialogs.Messages.join(" | ")), qPrintable(dialogs.Errors.join(" | ")),
                  qPrintable(dialogs.SaveQuestions.join(" | ")));
      if (form)
        std::printf("title: %s\nstatus: %s\n", qPrintable(form->windowTitle()),
                    qPrintable(form->StatusResult->text()));
    }
    WindowTest::TearDown();
  }
  // Opens the main window on the sample model and waits until the window manager has
  // framed it and every tool window.
  void OpenSettled() {
    TSampleMesh::Square().Write(home);
    QSettings(Ini(), QSettings::IniFormat).setValue("qorvex/loadok", 1);
    form = std::make_unique<TMainWindow>(Ini(), &dialogs);
    form->show();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Settled(form.get()) && Settled(form->Points()) && Settled(form->Tools()); },
        10000));
    ASSERT_EQ(form->Document().NumVert, 5);
  }
  // Keys typed into the main window through the X server, as a user types them.
  void Type(const char* keys) {
    ASSERT_TRUE(XDo("windowactivate --sync " + std::to_string(form->winId())));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->isActiveWindow(); }, 5000));
    ASSERT_TRUE(XDo(std::string("key --clearmodifiers ") + keys));
  }
  // A click on `w` through the X server, aimed within its top-level window (native pixels:
  // the scale factor applied). Qt's own idea of where a top-level window is on the screen
  // lags behind the window manager: after a placement it can still hold the position it
  // asked for while the window manager has put the window below its title bar, so a click
  // aimed with mapToGlobal landed a title bar's height above the widget and now and then
  // missed it. The X server places the pointer relative to the window as it really is.
  void ClickOn(QWidget& w) {
    QWidget* top = w.window();
    const QPoint centre = w.mapTo(top, w.rect().center());
    const qreal ratio = w.devicePixelRatioF();
    ASSERT_TRUE(XDo("mousemove --sync --window " + std::to_string(top->winId()) + " " +
                    std::to_string(qRound(centre.x() * ratio)) + " " +
                    std::to_string(qRound(centre.y() * ratio)) + " click 1"));
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
    form = std::make_unique<TMainWindow>(Ini(), &dialogs);
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
  form = std::make_unique<TMainWindow>(Ini(), &dialogs);
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

// The undo of a saving tool puts the files back without the unsaved edit made before it:
// the title and the close question must then still say that the edit is unsaved.
TEST_F(WindowManager, UndoOfASavingToolKeepsTheUnsavedEditBeforeItUnsaved) {
  ASSERT_NO_FATAL_FAILURE(OpenSettled());
  form->Tabs->setCurrentIndex(2);
  form->FaceList->ClickLine(0);
  dialogs.Inputs.push_back(QString("1004"));
  form->Button("cg mat")->click();
  form->Tabs->setCurrentIndex(0);
  form->EditScale->setText("200");
  QPushButton* scale = form->Button("Scale!");
  ASSERT_NO_FATAL_FAILURE(ClickOn(*scale));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->UndoStack()->count() == 2; }, 5000));
  EXPECT_FALSE(form->windowTitle().endsWith(" *")) << "Scale! saved everything";
  ASSERT_NO_FATAL_FAILURE(Type("ctrl+z"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->UndoStack()->index() == 1; }, 5000));
  EXPECT_EQ(form->Document().FACE[0].Mat, 1004);
  const testsupport::Bytes face = testsupport::ReadBytes(home.File("face.kvt"));
  ASSERT_GE(face.size(), 12u);
  EXPECT_EQ(face[8] | face[9] << 8 | face[10] << 16, 70000) << "the disk holds the old material";
  EXPECT_TRUE(form->windowTitle().endsWith(" *")) << form->windowTitle().toStdString();
  dialogs.SaveChoices = {TSaveChoice::Cancel};
  ASSERT_TRUE(CloseByWindowManager(*form));
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs.SaveQuestions.size() == 1; }, 5000));
  EXPECT_TRUE(form->isVisible());
}

// "&compile" with an unsaved edit, started by its mnemonic: Cancel compiles nothing.
TEST_F(WindowManager, CompileByKeyboardAsksAboutUnsavedEdits) {
  ASSERT_NO_FATAL_FAILURE(OpenSettled());
  form->Tabs->setCurrentIndex(2);
  form->FaceList->ClickLine(0);
  dialogs.Inputs.push_back(QString("512"));
  form->Button("cg mat")->click();
  form->Tabs->setCurrentIndex(3);
  const std::string out = home.File("ship.iff");
  dialogs.FileNames.push_back(QString::fromStdString(out));
  dialogs.SaveChoices = {TSaveChoice::Cancel};
  ASSERT_NO_FATAL_FAILURE(Type("alt+c"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return dialogs.SaveQuestions.size() == 1; }, 5000));
  QTest::qWait(100);
  EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(out)));
  EXPECT_TRUE(form->IsModified());
}

// "Button7" clicked in the tool window, then Ctrl+Z in the main window.
TEST_F(WindowManager, ToolWindowRotationIsUndoneByCtrlZ) {
  ASSERT_NO_FATAL_FAILURE(OpenSettled());
  const TMeshSnapshot before = TakeSnapshot(form->Document());
  auto* turnAboutZ = form->Tools()->findChild<QPushButton*>("Button7");
  ASSERT_NE(turnAboutZ, nullptr);
  ASSERT_NO_FATAL_FAILURE(ClickOn(*turnAboutZ));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->UndoStack()->count() == 1; }, 5000));
  EXPECT_TRUE(form->windowTitle().endsWith(" *"));
  ASSERT_NO_FATAL_FAILURE(Type("ctrl+z"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->UndoStack()->index() == 0; }, 5000));
  EXPECT_TRUE(SnapshotMatches(form->Document(), before));
  EXPECT_FALSE(form->windowTitle().endsWith(" *"));
}

// At any scale (app.window_manager_hidpi runs this at QT_SCALE_FACTOR=2 on 1600 x 1200):
// every window lies fully on the screen, whether its saved placement would or not.
TEST_F(WindowManager, EveryWindowOpensFullyOnTheScreen) {
  {
    QSettings ini(Ini(), QSettings::IniFormat);
    // Placements saved on a larger screen: partly or wholly off this one.
    for (const char* w : {"frmPoints", "frmFaces"}) {
      ini.setValue(QString(w) + "/WindowState", 0);
      ini.setValue(QString(w) + "/Left", 1900);
      ini.setValue(QString(w) + "/Top", 1400);
      ini.setValue(QString(w) + "/Width", 215);
      ini.setValue(QString(w) + "/Height", 210);
    }
  }
  ASSERT_NO_FATAL_FAILURE(OpenSettled());
  form->MeshViewerClick();
  QList<QWidget*> windows = {form.get(), form->Points(), form->Faces(), form->Tools()};
  if (QWidget* viewer = form->Viewers().MeshViewerWindow()) windows << viewer;
  QString unsettled;
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        for (QWidget* w : windows) {
          if (Settled(w)) continue;
          unsettled = w->objectName();
          return false;
        }
        return true;
      },
      10000))
      << unsettled.toStdString() << " was not framed and placed";
  QTest::qWait(200);  // the window manager's last moves
  // The window manager may leave a frame's 1 px border just off the edge.
  const QRect area = form->screen()->availableGeometry().adjusted(-2, -2, 2, 2);
  for (QWidget* w : windows)
    EXPECT_TRUE(area.contains(w->frameGeometry()))
        << w->objectName().toStdString() << " at " << w->frameGeometry().x() << ","
        << w->frameGeometry().y() << " " << w->frameGeometry().width() << "x"
        << w->frameGeometry().height() << " on " << area.width() << "x" << area.height();
}

// The first start on any screen where there is room (1280 x 1024, and 1600 x 1200 at scale 2
// in app.window_manager_hidpi): no side window covers the main window.
TEST_F(WindowManager, AtTheFirstStartNoSideWindowCoversTheMainWindow) {
  ASSERT_NO_FATAL_FAILURE(OpenSettled());
  ASSERT_TRUE(QTest::qWaitFor([&] { return Settled(form->Faces()); }, 10000));
  QTest::qWait(200);
  const QRect main = form->frameGeometry();
  for (QWidget* w : std::initializer_list<QWidget*>{form->Points(), form->Faces(), form->Tools()})
    EXPECT_FALSE(main.intersects(w->frameGeometry()))
        << w->objectName().toStdString() << " covers the main window";
}

// The window manager's stacking order, bottom to top (client windows).
QList<WId> Stacking() {
  QList<WId> ids;
  FILE* p = popen("xprop -root -notype _NET_CLIENT_LIST_STACKING", "r");
  if (!p) return ids;
  char buffer[8192];
  std::string text;
  while (size_t n = fread(buffer, 1, sizeof buffer, p)) text.append(buffer, n);
  pclose(p);
  const QStringList parts =
      QString::fromStdString(text).section('#', 1).split(',', Qt::SkipEmptyParts);
  for (const QString& part : parts) ids << part.trimmed().toULongLong(nullptr, 16);
  return ids;
}

// The side windows are above the main window, and a question the editor asks opens above
// them (they no longer stay on top of everything), so that its buttons can be reached.
TEST_F(WindowManager, AQuestionOpensAboveTheSideWindows) {
  ASSERT_NO_FATAL_FAILURE(OpenSettled());
  TStandardDialogs standard;
  QList<WId> stacking;
  WId boxId = 0;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    if (!box) return;
    if (!QTest::qWaitFor([&] { return Settled(box); }, 5000))
      std::printf("the box was not framed\n");
    QTest::qWait(200);
    boxId = box->winId();
    stacking = Stacking();
    static_cast<QDialog*>(box)->reject();
  });
  standard.AskYesNo(form.get(), "Above the side windows?");
  ASSERT_NE(boxId, 0u) << "no box";
  const qsizetype box = stacking.indexOf(boxId);
  ASSERT_GE(box, 0) << "the box is not in the stacking list";
  for (QWidget* w :
       std::initializer_list<QWidget*>{form.get(), form->Points(), form->Faces(), form->Tools()}) {
    const qsizetype at = stacking.indexOf(w->winId());
    EXPECT_GE(at, 0) << w->objectName().toStdString();
    EXPECT_LT(at, box) << w->objectName().toStdString() << " is above the question";
  }
}

}  // namespace
