#include "app/Screenshot.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QPixmap>
#include <QPointer>
#include <QTabWidget>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/MainWindow.h"
#include "viewers/Dialogs.h"
#include "viewers/FacesWindow.h"
#include "viewers/PointsWindow.h"
#include "viewers/ToolWindow.h"
#include "viewers/ViewerHost.h"

namespace {

// Nobody is there to answer: messages go to standard error, questions are declined.
class TConsoleDialogs final : public TDialogs {
public:
  void ShowMessage(QWidget*, const QString& text) override { Print("message", text); }
  void ShowError(QWidget*, const QString& text) override { Print("error", text); }
  bool AskYesNo(QWidget*, const QString& text) override {
    Print("question (answered No)", text);
    return false;
  }
  TSaveChoice AskSaveChanges(QWidget*, const QString& text) override {
    Print("question (cancelled)", text);
    return TSaveChoice::Cancel;
  }
  std::optional<QString> InputBox(QWidget*, const QString&, const QString& prompt,
                                  const QString&) override {
    Print("input box (cancelled)", prompt);
    return std::nullopt;
  }
  std::optional<QString> OpenFileName(QWidget*, const QString&, const QString&) override {
    return std::nullopt;
  }
  std::optional<QString> SaveFileName(QWidget*, const QString&, const QString&) override {
    return std::nullopt;
  }

private:
  static void Print(const char* kind, const QString& text) {
    std::fprintf(stderr, "tessavor: %s: %s\n", kind, text.toLocal8Bit().constData());
  }
};

// One window on its way to a picture worth taking: shown by the window system (exposed)
// and drawn since Arm(). A widget window is drawn once a paint reaches a widget in it; an
// OpenGL viewer once it has swapped a frame, or, where it got no OpenGL context, once it
// has been painted (without OpenGL nothing is ever swapped).
class TDrawWatch final : public QObject {
public:
  explicit TDrawWatch(QWidget* window)
      : m_window(window), m_gl(qobject_cast<QOpenGLWidget*>(window)) {
    if (m_gl) connect(m_gl, &QOpenGLWidget::frameSwapped, this, [this] { m_swapped = true; });
    QCoreApplication::instance()->installEventFilter(this);
  }
  void Arm() { m_painted = m_swapped = false; }
  QString Name() const { return m_window ? m_window->objectName() : QString(); }
  bool Ready() const {
    if (!m_window || !m_window->isVisible()) return true;
    const QWindow* handle = m_window->windowHandle();
    if (!handle || !handle->isExposed()) return false;
    if (!m_gl) return m_painted;
    const QOpenGLContext* context = m_gl->context();
    return m_swapped || (m_painted && (!context || !context->isValid()));
  }

protected:
  bool eventFilter(QObject* target, QEvent* event) override {
    if (event->type() == QEvent::Paint && m_window && target->isWidgetType() &&
        static_cast<QWidget*>(target)->window() == m_window)
      m_painted = true;
    return false;
  }

private:
  QPointer<QWidget> m_window;
  QPointer<QOpenGLWidget> m_gl;
  bool m_painted = false, m_swapped = false;
};

// Runs the event loop, asleep between events, until every watched window is ready or
// `capMs` has passed; then handles what those paints left queued (an OpenGL viewer loads
// its pictures in a call queued from its context's set-up). The cap only matters where an
// event never comes: the picture is taken all the same, and the window named on standard
// error.
void Settle(const std::vector<TDrawWatch*>& watches, int capMs) {
  auto ready = [&] {
    return std::all_of(watches.begin(), watches.end(),
                       [](const TDrawWatch* w) { return w->Ready(); });
  };
  QTimer cap;  // wakes the wait when the cap is reached
  cap.setSingleShot(true);
  cap.start(capMs);
  while (!ready() && cap.isActive())
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  for (const TDrawWatch* w : watches) {
    if (!w->Ready())
      std::fprintf(stderr, "tessavor: %s not drawn within %d ms; its picture shows it as it is\n",
                   w->Name().toLocal8Bit().constData(), capMs);
  }
  QCoreApplication::processEvents();
}

// Qt's PNG quality 80 is zlib's level 2: the pictures come out about 5% larger than at
// the default level, and zlib's part of the run (a tenth of it) halves.
constexpr int kPngQuality = 80;

bool Save(QWidget* window, const QDir& dir, const QString& name) {
  if (!window) return true;
  const QString path = dir.filePath(name + QStringLiteral(".png"));
  if (!window->grab().save(path, "PNG", kPngQuality)) {
    std::fprintf(stderr, "tessavor: cannot write %s\n", path.toLocal8Bit().constData());
    return false;
  }
  std::printf("%s\n", path.toLocal8Bit().constData());
  return true;
}

// The longest wait for a window: far above a first frame under software OpenGL on a busy
// machine, far below the fixed waits it replaces for every run.
constexpr int kSettleCapMs = 3000;

}  // namespace

std::unique_ptr<TDialogs> MakeConsoleDialogs() { return std::make_unique<TConsoleDialogs>(); }

int TakeScreenshots(TMainWindow& form, const QString& dirName) {
  QDir dir(dirName);
  if (!dir.mkpath(QStringLiteral("."))) {
    std::fprintf(stderr, "tessavor: cannot create %s\n", dirName.toLocal8Bit().constData());
    return 2;
  }
  TDrawWatch mainWindow(&form), points(form.Points()), faces(form.Faces()), tools(form.Tools());
  form.show();
  form.RunAction([&] { form.Load(); });
  Settle({&mainWindow, &points, &faces, &tools}, kSettleCapMs);
  bool ok = true;
  static const char* const kTabNames[] = {"Form1-vert", "Form1-fvrt", "Form1-face", "Form1-script",
                                          "Form1-texturing"};
  for (int tab = 0; tab < form.Tabs->count() && tab < 5; ++tab) {
    mainWindow.Arm();
    form.Tabs->setCurrentIndex(tab);
    // The first tab is already the current one: nothing new to draw.
    if (tab > 0) Settle({&mainWindow}, kSettleCapMs);
    ok &= Save(&form, dir, QString::fromLatin1(kTabNames[tab]));
  }
  form.Tabs->setCurrentIndex(0);
  ok &= Save(form.Points(), dir, QStringLiteral("frmPoints"));
  ok &= Save(form.Faces(), dir, QStringLiteral("frmFaces"));
  ok &= Save(form.Tools(), dir, QStringLiteral("frmTools"));
  form.RunAction([&] { form.MeshViewerClick(); });
  form.RunAction([&] { form.GLClick(); });
  TDrawWatch meshViewer(form.Viewers().MeshViewerWindow());
  TDrawWatch glViewer(form.Viewers().GlViewerWindow());
  Settle({&meshViewer, &glViewer}, kSettleCapMs);
  ok &= Save(form.Viewers().MeshViewerWindow(), dir, QStringLiteral("frmMeshView"));
  ok &= Save(form.Viewers().GlViewerWindow(), dir, QStringLiteral("frmGlView"));
  std::fflush(stdout);
  form.close();
  return ok ? 0 : 2;
}
