#include "viewers/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <QWindow>

#include <algorithm>

namespace {

int StateNumber(Qt::WindowStates state) {
  if (state & Qt::WindowMinimized) return 1;
  if (state & Qt::WindowMaximized) return 2;
  return 0;
}

// An INI value as an integer, or `def` when it is missing or not an integer.
int ReadInteger(QSettings& settings, const QString& key, int def) {
  const QVariant v = settings.value(key);
  if (!v.isValid()) return def;
  bool ok = false;
  const int n = v.toString().trimmed().toInt(&ok);
  return ok ? n : def;
}

// A frame around the window: while a window manager re-frames a window, Qt may report a
// frame smaller than the window for a moment, which is no frame to correct for.
bool Framed(const QWidget& window) {
  const QRect frame = window.frameGeometry(), inner = window.geometry();
  return frame != inner && frame.contains(inner);
}

// Waits for the window manager to frame the window, then sets the inner size once so that
// the outer bounds are the wanted ones. The frame usually shows with a move, resize or show
// event, but a frame that arrives between events (as on a loaded machine) brings none, so a
// short poll looks too. Without a window manager the window is never framed, and the wait
// ends after a few seconds with the window as it is.
class TFrameFit final : public QObject {
public:
  TFrameFit(QWidget& window, const QRect& outer)
      : QObject(&window), m_window(window), m_outer(outer) {
    setObjectName(QStringLiteral("TFrameFit"));
    window.installEventFilter(this);
    m_poll = startTimer(kPollMs);
  }

protected:
  bool eventFilter(QObject*, QEvent* event) override {
    const QEvent::Type t = event->type();
    if (t == QEvent::Move || t == QEvent::Resize || t == QEvent::Show) FitWhenFramed();
    return false;
  }
  void timerEvent(QTimerEvent*) override {
    if (++m_polls >= kMaxPolls) {
      Finish();
      return;
    }
    FitWhenFramed();
  }

private:
  static constexpr int kPollMs = 50;
  static constexpr int kMaxPolls = 100;  // five seconds

  void FitWhenFramed() {
    if (m_done || !Framed(m_window)) return;
    const QRect frame = m_window.frameGeometry();
    const QRect inner = m_window.geometry();
    const QSize size(std::max(1, m_outer.width() - (frame.width() - inner.width())),
                     std::max(1, m_outer.height() - (frame.height() - inner.height())));
    Finish();
    if (m_window.size() != size) m_window.resize(size);
    if (frame.topLeft() != m_outer.topLeft()) m_window.move(m_outer.topLeft());
  }
  void Finish() {
    if (m_done) return;
    m_done = true;
    m_window.removeEventFilter(this);
    killTimer(m_poll);
    deleteLater();
  }

  QWidget& m_window;
  QRect m_outer;
  int m_poll = 0;
  int m_polls = 0;
  bool m_done = false;
};

}  // namespace

void SaveWindowPlacement(QSettings& settings, QWidget& window) {
  const QString section = window.objectName();
  const int state = StateNumber(window.windowState());
  settings.setValue(section + "/WindowState", state);
  if (state != 0) return;
  const QRect frame = window.frameGeometry();
  settings.setValue(section + "/Left", frame.x());
  settings.setValue(section + "/Top", frame.y());
  settings.setValue(section + "/Width", frame.width());
  settings.setValue(section + "/Height", frame.height());
}

QRect FitInside(const QRect& outer, const QRect& area) {
  QRect r(outer.topLeft(), outer.size().boundedTo(area.size()));
  if (r.right() > area.right()) r.moveRight(area.right());
  if (r.bottom() > area.bottom()) r.moveBottom(area.bottom());
  if (r.left() < area.left()) r.moveLeft(area.left());
  if (r.top() < area.top()) r.moveTop(area.top());
  return r;
}

QRect ScreenAreaFor(const QRect& outer) {
  QScreen* screen = QGuiApplication::screenAt(outer.center());
  if (!screen) screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry() : QRect();
}

void SetOuterGeometry(QWidget& window, const QRect& outer) {
  // A correction still pending from an earlier call would apply the old bounds.
  delete window.findChild<QObject*>(QStringLiteral("TFrameFit"), Qt::FindDirectChildrenOnly);
  const QRect frame = window.frameGeometry();
  const QRect inner = window.geometry();
  // move() places a top-level window's frame, resize() sets its inner size.
  window.move(outer.topLeft());
  window.resize(std::max(1, outer.width() - (frame.width() - inner.width())),
                std::max(1, outer.height() - (frame.height() - inner.height())));
  if (!Framed(window)) new TFrameFit(window, outer);
}

void MakeToolWindowOf(QWidget& tool, QWidget& owner) {
  QWindow* t = tool.windowHandle();
  QWindow* o = owner.windowHandle();
  if (t && o && t != o) t->setTransientParent(o);
}

QRect OuterGeometry(const QWidget& window, const QMargins& guess) {
  if (Framed(window)) return window.frameGeometry();
  // pos() of a window is its frame's top-left corner; a window not shown yet grows to its
  // layout's minimum when it is.
  return QRect(window.pos(), window.size().expandedTo(window.minimumSizeHint()).grownBy(guess));
}

void RestoreWindowPlacement(QSettings& settings, QWidget& window, int left, int top, int width,
                            int height) {
  const QString section = window.objectName();
  const int state =
      ReadInteger(settings, section + "/WindowState", StateNumber(window.windowState()));
  if (state == 1) {
    window.setWindowState(Qt::WindowMinimized);
    return;
  }
  if (state == 2) {
    window.setWindowState(Qt::WindowMaximized);
    return;
  }
  window.setWindowState(Qt::WindowNoState);
  const QRect frame = window.frameGeometry();
  int x = frame.x(), y = frame.y(), w = frame.width(), h = frame.height();
  if (left != -1) x = ReadInteger(settings, section + "/Left", left);
  if (top != -1) y = ReadInteger(settings, section + "/Top", top);
  if (width != -1) w = ReadInteger(settings, section + "/Width", width);
  if (height != -1) h = ReadInteger(settings, section + "/Height", height);
  QRect wanted(x, y, w, h);
  // A window manager may put a thin frame border just off the screen's edge; that much
  // still counts as fitting, so that such a placement round-trips unchanged.
  constexpr int kBorderSlack = 8;
  const QRect area = ScreenAreaFor(wanted);
  if (!area.isEmpty() &&
      !area.adjusted(-kBorderSlack, -kBorderSlack, kBorderSlack, kBorderSlack).contains(wanted))
    wanted = FitInside(wanted, area);
  if (wanted != frame) SetOuterGeometry(window, wanted);
}

void RestoreWindowPlacement(QSettings& settings, QWidget& window) {
  const QRect frame = window.frameGeometry();
  RestoreWindowPlacement(settings, window, frame.x(), frame.y(), frame.width(), frame.height());
}

bool HasWindowPlacement(QSettings& settings, const QWidget& window) {
  return settings.contains(window.objectName() + QStringLiteral("/WindowState"));
}

QList<QPoint> LayoutBeside(const QRect& anchor, const QList<QSize>& outerSizes, const QRect& screen,
                           int gap) {
  QList<QPoint> places;
  int columnX = anchor.right() + 1 + gap, columnY = anchor.top(), columnWidth = 0;
  int rowX = anchor.left(), rowY = anchor.bottom() + 1 + gap, rowHeight = 0;
  bool below = false;
  for (const QSize& size : outerSizes) {
    if (!below) {
      if (columnY != anchor.top() && columnY + size.height() > screen.bottom() + 1) {
        columnX += columnWidth + gap;  // this column is full: the next one
        columnY = anchor.top();
        columnWidth = 0;
      }
      if (columnX + size.width() <= screen.right() + 1) {
        places << QPoint(columnX, columnY);
        columnY += size.height() + gap;
        columnWidth = std::max(columnWidth, size.width());
        continue;
      }
      below = true;  // no room on the right: everything from here goes below
    }
    if (rowX != anchor.left() && rowX + size.width() > screen.right() + 1) {
      rowX = anchor.left();
      rowY += rowHeight + gap;
      rowHeight = 0;
    }
    places << QPoint(rowX, rowY);
    rowX += size.width() + gap;
    rowHeight = std::max(rowHeight, size.height());
  }
  return places;
}

QRect AnchorLeavingRoom(const QRect& anchor, const QList<QSize>& outerSizes, const QRect& screen,
                        int minWidth, int gap) {
  const QRect fitted = FitInside(anchor, screen);
  const auto allFit = [&](const QRect& a) {
    const QList<QPoint> places = LayoutBeside(a, outerSizes, screen, gap);
    for (qsizetype i = 0; i < places.size(); ++i) {
      if (!screen.contains(QRect(places[i], outerSizes[i]))) return false;
    }
    return true;
  };
  for (int width = fitted.width(); width >= std::min(minWidth, fitted.width()); --width) {
    const QRect narrower(fitted.topLeft(), QSize(width, fitted.height()));
    if (allFit(narrower)) return narrower;
  }
  return fitted;
}
