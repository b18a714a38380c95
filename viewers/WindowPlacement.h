#pragma once
// Where each window was and in what state, kept in the settings file ("model.ini" in the
// home folder, a QSettings INI object that the main window opens at start-up and keeps).
// One section per window, named after the window's objectName() ("Form1", "frmPoints",
// "frmFaces", "frmTools", "frmGlView"), with the integer keys "WindowState" (0 normal,
// 1 minimized, 2 maximized), "Left", "Top", "Width", "Height" (outer bounds in screen pixels).
//
// The bounds keys are written only for a window in the normal state, so a window closed
// maximized keeps the bounds of an earlier run. Values that are not integers read as the
// default.

class QSettings;
class QWidget;

// Writes "WindowState" and, in the normal state, "Left", "Top", "Width", "Height".
void SaveWindowPlacement(QSettings& settings, QWidget& window);

// Applies the saved state (default: the window's own); in the normal state then reads each
// bound whose argument is not -1, with the argument as default. Callers pass the window's
// current bounds, so a missing key leaves the window as designed.
void RestoreWindowPlacement(QSettings& settings, QWidget& window, int left, int top, int width, int height);

// The same with the window's current outer bounds as the arguments.
void RestoreWindowPlacement(QSettings& settings, QWidget& window);
