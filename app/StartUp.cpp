// The main window's start and end: placing every window before the first show (the saved
// placements, or beside the main window), the start-up Load guarded by "loadok", the close
// with its question, the saving of placements and "MatPath" at the end, and RunEditor.

#include "app/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QScreen>
#include <QSettings>
#include <QTimer>

#include "app/MainWindowShared.h"
#include "mesh/Recovery.h"
#include "util/Exception.h"
#include "viewers/Dialogs.h"
#include "viewers/FacesWindow.h"
#include "viewers/PointsWindow.h"
#include "viewers/ToolWindow.h"
#include "viewers/WindowPlacement.h"

using namespace mainwindow;
void TMainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (m_started) return;
  m_started = true;
  StartUp();
  // After the Load, whether or not it worked: the recovered records replace what it loaded,
  // and the record files stay as they are until Save.
  OfferRecovery();
}

void TMainWindow::setVisible(bool visible) {
  if (visible && !m_placed) {
    m_placed = true;
    PlaceWindows();
  }
  QMainWindow::setVisible(visible);
}

void TMainWindow::PlaceWindows() {
  // Before the first show, while no window has its platform window yet: a position set
  // then is the frame's, and the window manager is asked for it that way. Set once the
  // window exists but is not framed, it would go to the inner window (20 px lower under a
  // title bar) and creep down at every start.
  const int order[] = {kSlotPoints, kSlotFaces, kSlotTools};
  QWidget* const windows[] = {m_points.get(), m_faces.get(), m_tools.get()};
  if (HasWindowPlacement(*m_settings, *this)) {
    RestoreWindowPlacement(*m_settings, *this);
  } else {
    // The first start: the main window with its frame (the title bar counts) fully on the
    // screen, and narrower where that leaves the side windows room beside it; its page
    // scrolls when the screen is smaller than its controls (a large scale factor).
    const QRect outer = OuterGeometry(*this);
    QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
    if (s) {
      QList<QSize> sizes;
      for (QWidget* w : windows) sizes << OuterGeometry(*w).size();
      const QRect wanted = AnchorLeavingRoom(outer, sizes, s->availableGeometry(), kNarrowestMain);
      if (wanted != outer) SetOuterGeometry(*this, wanted);
      // Until the window manager has framed it, the window's own bounds are the inner ones
      // made from this: the side windows are laid out beside this.
      m_plannedOuter = wanted;
    }
  }
  for (int i = 0; i < 3; ++i) {
    if (HasWindowPlacement(*m_settings, *windows[i]))
      RestoreWindowPlacement(*m_settings, *windows[i]);
    else
      PlaceBeside(*windows[i], order[i]);
  }
}

void TMainWindow::StartUp() {
  EditMatPath->setText(
      m_settings->value(QStringLiteral("qorvex/MatPath"), QStringLiteral("./")).toString());
  ShowToolWindows();
  const QString loadok = m_settings->value(QStringLiteral("qorvex/loadok"), 0).toString().trimmed();
  if (loadok.toInt() != 0 || loadok.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0) {
    // The guard goes to disk before the Load, so a Load that crashes the program skips the
    // automatic Load at the next start.
    m_settings->setValue(QStringLiteral("qorvex/loadok"), 0);
    m_settings->sync();
    bool ok = true;
    try {
      m_document.LoadRecordFiles();
    } catch (const Exception& e) {
      ok = false;
      Dialogs().ShowError(this, Q(e.Message()));
    } catch (const std::exception& e) {
      ok = false;
      Dialogs().ShowError(this, QString::fromLocal8Bit(e.what()));
    }
    if (!ok) return;
  }
  m_settings->setValue(QStringLiteral("qorvex/loadok"), 1);
  m_settings->sync();
}

void TMainWindow::ShowToolWindows() {
  for (QWidget* w : std::initializer_list<QWidget*>{m_points.get(), m_faces.get(), m_tools.get()}) {
    // Before it is mapped: a window manager that learns of the owner later frames the
    // window a second time.
    w->winId();
    MakeToolWindowOf(*w, *this);
    w->show();
  }
}

void TMainWindow::PlaceBeside(QWidget& window, int slot) {
  // Every slot's size is known whether or not its window exists yet, so a viewer opened
  // later lands where the layout of the first start left room for it.
  auto outerSize = [](QWidget* w, QSize designed) {
    return w ? OuterGeometry(*w).size() : designed.grownBy(QMargins(4, 28, 4, 4));
  };
  const QList<QSize> sizes = {outerSize(m_points.get(), {}), outerSize(m_faces.get(), {}),
                              outerSize(m_tools.get(), {}),
                              outerSize(m_viewers.MeshViewerWindow(), QSize(238, 227)),
                              outerSize(m_viewers.GlViewerWindow(), QSize(166, 205))};
  QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  const QRect area = s ? s->availableGeometry() : QRect(0, 0, 1280, 1024);
  const bool framed = frameGeometry() != geometry();
  const QRect anchor = !framed && m_plannedOuter.isValid() ? m_plannedOuter : OuterGeometry(*this);
  const QList<QPoint> places = LayoutBeside(anchor, sizes, area);
  if (slot < 0 || slot >= places.size()) return;
  // Beside may lie off a small screen (a large scale): then fully on it, over the main
  // window if need be.
  const QRect outer(places[slot], sizes[slot]);
  const QRect fitted = FitInside(outer, area);
  if (fitted == outer)
    window.move(places[slot]);
  else
    SetOuterGeometry(window, fitted);
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  // Closing drops unsaved records: the question comes before anything is shut down (a
  // running spin is stopped first, so that its rotation counts as a change).
  if (!m_closed) m_tools->StopSpin();
  if (!m_closed && !MaySaveChanges()) {
    event->ignore();
    return;
  }
  ShutDown();
  event->accept();
}

void TMainWindow::ShutDown() {
  if (m_closed) return;
  m_closed = true;
  // The close was accepted: the changes were saved or dropped on purpose.
  if (KeepsRecovery) {
    if (m_recoveryTimer) m_recoveryTimer->stop();
    RemoveRecoveryFile();
  }
  SaveWindowPlacement(*m_settings, *this);
  m_settings->setValue(QStringLiteral("qorvex/MatPath"), EditMatPath->text());
  if (QWidget* gl = m_viewers.GlViewerWindow()) SaveWindowPlacement(*m_settings, *gl);
  SaveWindowPlacement(*m_settings, *m_faces);
  SaveWindowPlacement(*m_settings, *m_points);
  SaveWindowPlacement(*m_settings, *m_tools);
  m_settings->sync();
  m_tools->RotateThread().Terminate();
  m_points->AllowClose();
  m_faces->AllowClose();
  m_tools->AllowClose();
  m_points->close();
  m_faces->close();
  m_tools->close();
  m_viewers.HideViewers();
  emit Closed();
}

int RunEditor(TMainWindow& form, const QString& modelFile) {
  // The main window decides when the program ends, whatever other window is still open.
  QApplication::setQuitOnLastWindowClosed(false);
  QObject::connect(&form, &TMainWindow::Closed, qApp, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  // The first show runs the start-up (and its Load); the model opened after it wins.
  form.show();
  if (!modelFile.isEmpty()) form.OpenModelFile(modelFile);
  return QApplication::exec();
}
