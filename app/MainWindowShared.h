#pragma once
// What the source files of the main window (app/MainWindow.h lists them) share; not for use
// outside them.

#include <QString>

#include <string>

namespace mainwindow {

enum { kTabVert = 0, kTabFvrt = 1, kTabFace = 2, kTabScript = 3, kTabTexturing = 4 };

inline std::string Std(const QString& s) { return s.toStdString(); }
inline QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace mainwindow
