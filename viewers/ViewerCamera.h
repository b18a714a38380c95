#pragma once
// The model viewer's camera: where the model is seen from, and how the mouse and the keypad
// move it. It makes no GL calls, so that the navigation and both projections are tested
// without a display; the viewer loads the matrices it gives.
//
// View space. The model point v is placed at
//   u = Pan + Zoom * Rx(AngleX) * Ry(AngleY) * Rz(AngleZ) * v
// (glRotatef's order and sense, angles in degrees). u.x and u.y in -1..1 fill the window,
// x to the right and y up, stretched without aspect correction. The eye looks along -z, as
// in every right-handed modeller: of two points at the same place in the window the one
// with the larger u.z is in front, and a face whose corners run counter-clockwise in the
// window shows its front. So the model looks as it does in Blender after the export, which
// writes the coordinates unchanged (glTF is right-handed, y up): the front view shows the
// side the model's +z faces, with +x on the right, and a texture reads as in its picture.
// (The viewer sends a face's corners in reverse, so it takes GL's clockwise faces as fronts.)
//  - Orthographic (the default): the projection only turns the depth round (GL's depth
//    grows away from the eye); u.z in -1..1 is the depth range.
//  - Perspective: an eye at u = (0, 0, 4) with a frustum whose cross-section at u.z = 0 is
//    the window's -1..1 (so switching keeps the size of what lies there), depth from
//    u.z = 2 to u.z = -2.
//
// Navigation (each function keeps the others' state):
//  - Orbit: a drag of (dx, dy) pixels turns by half a degree a pixel (dx about y, dy
//    about x).
//  - Pan: the model follows the pointer: (dx, dy) pixels of a w x h window.
//  - Zoom: each wheel notch (120 units) scales by 1.1 about the window's centre, in or out.
//  - Frame: the zoom fits the box lo..hi (its half diagonal to 1/1.1 of the window) and the
//    pan puts its centre in the middle of the window, whatever the rotation; an empty or
//    unusable box gives zoom 1 about the origin.
//  - LookFrom: the angles of a side view (the front looks along -z with y up, as angles 0;
//    the right side shows +x, the top +y, each as Blender's keypad 1, 3, 7 do).

#include <array>

// The sides LookFrom knows; each named after where the eye is.
enum class TViewSide { Front, Back, Right, Left, Top, Bottom };

// A 4 x 4 matrix in GL's column-major order (element [column * 4 + row]).
using TMatrix4 = std::array<float, 16>;

class TViewerCamera {
public:
  float AngleX = 0, AngleY = 0, AngleZ = 0;
  float Zoom = 1;
  float PanX = 0, PanY = 0, PanZ = 0;
  bool Perspective = false;  // orthographic when false

  void Orbit(int dx, int dy);
  void Pan(int dx, int dy, int w, int h);
  void ZoomWheel(int wheelDelta);
  void Frame(const float lo[3], const float hi[3]);
  void LookFrom(TViewSide side);

  // True while the pan is zero, i.e. the model's origin is in the middle of the window.
  bool CentresOrigin() const { return PanX == 0 && PanY == 0 && PanZ == 0; }

  // The matrices the viewer loads: projection (identity when orthographic) and model-view.
  TMatrix4 ProjectionMatrix() const;
  TMatrix4 ModelViewMatrix() const;

  // Where the model point p lands: x, y in the window's -1..1 (y up), z the depth in -1..1
  // (smaller is nearer), w the clip-space w (positive for a point in front of the eye).
  std::array<float, 4> Project(const float p[3]) const;
};
