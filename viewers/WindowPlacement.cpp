#include "viewers/WindowPlacement.h"

#include <QSettings>
#include <QWidget>

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

void RestoreWindowPlacement(QSettings& settings, QWidget& window, int left, int top, int width, int height) {
  const QString section = window.objectName();
  const int state = ReadInteger(settings, section + "/WindowState", StateNumber(window.windowState()));
  if (state == 1) {
    window.setWindowState(Qt::WindowMinimized);
    return;
  }
  if (state == 2) {
    window.setWindowState(Qt::WindowMaximized);
    return;
  }
  window.setWindowState(Qt::WindowNoState);
  // Bounds are outer bounds; the frame adds the same margins before and after a resize.
  const QRect frame = window.frameGeometry();
  const int extraW = frame.width() - window.width();
  const int extraH = frame.height() - window.height();
  int x = frame.x(), y = frame.y(), w = frame.width(), h = frame.height();
  if (left != -1) x = ReadInteger(settings, section + "/Left", left);
  if (top != -1) y = ReadInteger(settings, section + "/Top", top);
  if (width != -1) w = ReadInteger(settings, section + "/Width", width);
  if (height != -1) h = ReadInteger(settings, section + "/Height", height);
  window.move(x, y);
  window.resize(qMax(1, w - extraW), qMax(1, h - extraH));
}

void RestoreWindowPlacement(QSettings& settings, QWidget& window) {
  const QRect frame = window.frameGeometry();
  RestoreWindowPlacement(settings, window, frame.x(), frame.y(), frame.width(), frame.height());
}
