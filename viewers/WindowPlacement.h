#pragma once
// Where each window was and in what state, kept in the settings file ("model.ini" in the
// home folder, a QSettings INI object that the main window opens at start-up and keeps).
// One section per window, named after the window's objectName() ("Form1", "frmPoints",
// "frmFaces", "frmTools", "frmGlView"), with the integer keys "WindowState" (0 normal,
// 1 minimized, 2 maximized), "Left", "Top", "Width", "Height" (outer bounds in screen pixels:
// the window manager's frame included).
//
// The bounds keys are written only for a window in the normal state, so a window closed
// maximized keeps the bounds of an earlier run. Values that are not integers read as the
// default.
//
// Outer bounds round-trip: a window restored and saved again without being touched writes
// the values it read, with a window manager and without one. A window's frame is known only
// once the window manager has framed it, which happens after it is shown; until then the
// inner size is set from the outer one as if there were no frame, and the first time the
// frame becomes known the inner size is corrected once so that the outer size is the saved
// one. The position is the frame's (Qt places a top-level window's frame at move()).

#include <QList>
#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

class QSettings;
class QString;
class QWidget;

// Writes "WindowState" and, in the normal state, "Left", "Top", "Width", "Height".
void SaveWindowPlacement(QSettings& settings, QWidget& window);

// Applies the saved state (default: the window's own); in the normal state then reads each
// bound whose argument is not -1, with the argument as default. Callers pass the window's
// current bounds, so a missing key leaves the window as designed. Saved bounds that do not
// lie fully on the screen they are on (another monitor, another scale factor) are moved,
// and shrunk where needed, onto it.
void RestoreWindowPlacement(QSettings& settings, QWidget& window, int left, int top, int width,
                            int height);

// The same with the window's current outer bounds as the arguments.
void RestoreWindowPlacement(QSettings& settings, QWidget& window);

// Whether the settings hold a placement for the window (its section has "WindowState").
bool HasWindowPlacement(QSettings& settings, const QWidget& window);

// `outer` moved, and shrunk where it is larger, so that it lies fully inside `area`.
QRect FitInside(const QRect& outer, const QRect& area);

// The available area of the screen that holds the centre of `outer` (the primary screen
// when none does); an empty rectangle when there is no screen at all.
QRect ScreenAreaFor(const QRect& outer);

// Makes `tool` (a top-level window, best before it is shown) a transient of `owner`: the window
// manager keeps it above `owner` and below the dialogs `owner` opens, and never above other
// programs' windows. (Without an owner, a tool window is a transient of the whole program, above
// all of its windows, its dialogs included.) Nothing happens before both have platform windows.
void MakeToolWindowOf(QWidget& tool, QWidget& owner);

// Sets the window's outer bounds (frame included, see above).
void SetOuterGeometry(QWidget& window, const QRect& outer);

// The window's outer bounds; before the window manager has framed it, its inner bounds
// grown by `guess` (what a frame usually adds), so that a layout made before the first
// show leaves room for the frame. Without a window manager the guess only adds a gap.
QRect OuterGeometry(const QWidget& window, const QMargins& guess = QMargins(4, 28, 4, 4));

// The default layout of windows that have no saved placement: their outer sizes in order,
// placed beside `anchor` (the main window's outer bounds) so that none covers it: in
// columns to its right, top-aligned with it, each column filled downwards while the screen
// has room; where the screen is too narrow for a column on the right, in rows below the
// anchor. `gap` pixels separate the windows. Returns the outer top-left of each window.
QList<QPoint> LayoutBeside(const QRect& anchor, const QList<QSize>& outerSizes, const QRect& screen,
                           int gap = 6);

// The anchor's bounds for a first start: `anchor` moved and shrunk onto `screen`, then made
// narrower (not below `minWidth`) until LayoutBeside puts every window fully on the screen
// beside it, so that none of them has to cover it. When even `minWidth` leaves no room the
// anchor keeps the width it had on the screen (a window then covers part of it).
QRect AnchorLeavingRoom(const QRect& anchor, const QList<QSize>& outerSizes, const QRect& screen,
                        int minWidth, int gap = 6);
