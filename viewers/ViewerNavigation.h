#pragma once
// The model viewer's navigation: what a key, a mouse drag and the wheel do to its camera
// (viewers/ViewerCamera.h). It speaks Qt's key and button codes but needs no window, so
// every binding is tested without a display. What only the viewer can do (frame the model,
// show a side, switch the projection, its "&Reset") comes back as a request; the viewer
// redraws after every key, drag step and wheel notch.
//
// Keys (keypad keys count with Num Lock on or off):
//  - keypad 8/2: AngleX +/- s; keypad 4/6: AngleY +/- s (with Shift AngleZ, a roll);
//    keypad 9: AngleZ - s; s is 2 degrees, 6 with Ctrl.
//  - keypad 1/3/7: the front, right, top side (with Ctrl the back, left, bottom).
//  - keypad 5: perspective on or off; keypad 0: "&Reset", then the angles to 0.
//  - keypad "." (or ","), F, Home: frame the model; keypad +/-: zoom by 1.1.
//  - A/S/W/Y/C/X: the pan by s/10 along -x, +x, +y, -y, +z, -z of the window.
// Mouse: a left or middle drag orbits, a right or Shift+middle drag pans; a right click that
// does not move beyond the drag distance opens the menu instead.

#include <QPoint>
#include <Qt>

#include "viewers/ViewerCamera.h"

// What a key asks of the viewer beyond the camera.
enum class TNavigationRequest { None, FrameModel, ShowSide, TogglePerspective, Reset };

struct TKeyOutcome {
  TNavigationRequest Request = TNavigationRequest::None;
  TViewSide Side = TViewSide::Front;  // with ShowSide
};

// The digit of a keypad key, 10 for its decimal key, -1 for any other key. With Num Lock
// off (or Shift held while it is on) the keypad sends cursor keys instead of digits.
int KeypadKey(int key);

class TViewerNavigation {
public:
  // `camera` must outlive the navigation.
  explicit TViewerNavigation(TViewerCamera& camera) : m_camera(camera) {}

  TKeyOutcome Key(int key, Qt::KeyboardModifiers mods);

  void Press(Qt::MouseButton button, Qt::KeyboardModifiers mods, QPoint pos);
  // Moves the camera by the step from the last position; false when no drag is on (nothing
  // to redraw). `w` x `h` is the window's size.
  bool Move(QPoint pos, int w, int h);
  // Ends the drag; true when the release opens the menu (a right click that did not drag
  // `dragDistance` pixels or more).
  bool Release(Qt::MouseButton button, QPoint pos, int dragDistance);
  void Wheel(int angleDelta) { m_camera.ZoomWheel(angleDelta); }

private:
  TViewerCamera& m_camera;
  QPoint m_dragLast;
  QPoint m_pressPos;
  Qt::MouseButton m_dragButton = Qt::NoButton;
  bool m_dragPans = false;  // the drag pans rather than orbits
};
