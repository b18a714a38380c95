#pragma once
// The flat projection shared by the Points and Faces windows (and by the main window, which
// draws a newly added vertex into the Points window during live drawing).
//
// The projection is oblique: z shifts a point diagonally by z / DepthDivisor on both screen
// axes, then the result is divided by ViewScale (model units per pixel) and moved by the
// anchor, the pixel where the model's zero point is drawn. The main window owns the one the
// Points, Faces and tool windows share; tests make their own.
//
// Drawing goes to a TDrawCanvas, a small interface the window layer implements with a
// QPainter, so that everything here runs and is tested without a display. With no canvas
// set the drawing operations draw nothing.
//
// Choices made here for cases the drawing rules leave open:
//  - FitView of a box with no extent (a single point, or an empty model whose box is
//    inverted to zero size) keeps the previous scale instead of setting 0, so that the next
//    paint still divides by a usable number; a negative or non-finite result is treated the
//    same way.
//  - A face with more corners than the 6-point buffer is drawn whole: DrawPolygon takes any
//    count; the windows collect the corners into a buffer that grows once to the largest
//    face seen and is then reused (no allocation per face).
//  - Rounding to pixels is round-half-to-even, and coordinates beyond the int range are
//    clamped, so a NaN or huge vertex never produces undefined integer conversions.

#include <cmath>
#include <cstddef>
#include <cstdint>

struct TPixel {
  int X = 0;
  int Y = 0;
  bool operator==(const TPixel&) const = default;
};

enum class TPenStyle { Solid, Dot };

struct TColor {
  uint8_t Red = 0;
  uint8_t Green = 0;
  uint8_t Blue = 0;
  bool operator==(const TColor&) const = default;
};

constexpr TColor kBlack{0, 0, 0};
constexpr TColor kYellow{255, 255, 0};
constexpr TColor kLime{0, 255, 0};

// What the drawing operations need from a canvas: pen state, an ellipse in a bounding box,
// a polyline and a line.
class TDrawCanvas {
public:
  virtual ~TDrawCanvas() = default;
  virtual void SetPenColor(TColor color) = 0;
  virtual void SetPenStyle(TPenStyle style) = 0;
  // Ellipse inscribed in the box (left, top) .. (right, bottom).
  virtual void Ellipse(int left, int top, int right, int bottom) = 0;
  virtual void Polyline(const TPixel* points, size_t count) = 0;
  virtual void Line(TPixel from, TPixel to) = 0;
};

// Rounds half to even and clamps to the int range (NaN gives 0).
int RoundPixel(float v);

class TProjection {
public:
  TDrawCanvas* DrawCanvas = nullptr;
  float DepthDivisor = 2.0f;
  float ViewScale = 1.0f;
  float AnchorX = 0.0f;
  float AnchorY = 0.0f;

  void SetDrawCanvas(TDrawCanvas* canvas) { DrawCanvas = canvas; }
  void SetAnchor(float x, float y) {
    AnchorX = x;
    AnchorY = y;
  }
  void SetScale(float s) { ViewScale = s; }
  void SetDepth(float d) { DepthDivisor = d; }

  // Projects in place: z shift, then (unless skipScale) the scale, then (unless skipAnchor)
  // the anchor. z is left as it was.
  void Project(float& x, float& y, float z, bool skipScale, bool skipAnchor) const;

  // The pixel of a model point, scale and anchor applied, rounded.
  TPixel ProjectPixel(float x, float y, float z) const;

  // Frames the box in a client area of width × height: the middle of its projection goes to
  // the middle of the area, and the projection fills the area less kFitMargin pixels on
  // each side along the axis where it is larger for the area, so that the outermost points
  // and their markers are whole and a model away from the zero point is still in view.
  static constexpr int kFitMargin = 8;
  void FitView(float minX, float minY, float minZ, float maxX, float maxY, float maxZ, int width,
               int height);
  // The same for the projections of the points themselves (the oblique projection of a box
  // is wider than that of what it holds); nothing changes for no points or non-finite ones.
  template <class P>
  void FitPoints(const P* points, size_t count, int width, int height) {
    float lo[2] = {0, 0}, hi[2] = {0, 0};
    bool any = false;
    for (size_t i = 0; i < count; ++i) {
      float x = points[i].x, y = points[i].y;
      Project(x, y, points[i].z, true, true);
      if (!std::isfinite(x) || !std::isfinite(y)) continue;
      if (!any) {
        lo[0] = hi[0] = x, lo[1] = hi[1] = y;
        any = true;
      }
      lo[0] = std::fmin(lo[0], x), hi[0] = std::fmax(hi[0], x);
      lo[1] = std::fmin(lo[1], y), hi[1] = std::fmax(hi[1], y);
    }
    if (any) FitProjected(lo[0], lo[1], hi[0], hi[1], width, height);
  }
  // FitView's work on an extent already projected (z shift applied, no scale or anchor).
  void FitProjected(float minX, float minY, float maxX, float maxY, int width, int height);

  // A circle of 3 × 3 pixels around the point's pixel.
  void DrawPointMarker(float x, float y, float z) const;
  template <class P>
  void DrawPointMarker(const P& p) const {
    DrawPointMarker(p.x, p.y, p.z);
  }

  // A closed outline through the first n points (n < 2 draws nothing). `pixels` must hold
  // n + 1 entries; it is the caller's reused buffer.
  template <class P>
  void DrawPolygon(const P* points, size_t n, TPixel* pixels) const {
    if (!DrawCanvas || n < 2) return;
    for (size_t i = 0; i < n; ++i) pixels[i] = ProjectPixel(points[i].x, points[i].y, points[i].z);
    pixels[n] = pixels[0];
    DrawCanvas->Polyline(pixels, n + 1);
  }

  // Dotted lines through the anchor: vertical, horizontal and the depth direction.
  void DrawAxes() const;
};

// Rotates the points about x, then y, then z (each step only when its angle is not 0),
// with float sine and cosine. Each pair is computed from the coordinates before that step.
template <class P>
void RotatePoints(P* points, size_t count, float ax, float ay, float az) {
  if (ax != 0.0f) {
    const float c = std::cos(ax), s = std::sin(ax);
    for (size_t i = 0; i < count; ++i) {
      const float y = points[i].y, z = points[i].z;
      points[i].y = y * c - z * s;
      points[i].z = y * s + z * c;
    }
  }
  if (ay != 0.0f) {
    const float c = std::cos(ay), s = std::sin(ay);
    for (size_t i = 0; i < count; ++i) {
      const float x = points[i].x, z = points[i].z;
      points[i].x = x * c - z * s;
      points[i].z = x * s + z * c;
    }
  }
  if (az != 0.0f) {
    const float c = std::cos(az), s = std::sin(az);
    for (size_t i = 0; i < count; ++i) {
      const float x = points[i].x, y = points[i].y;
      points[i].x = x * c - y * s;
      points[i].y = x * s + y * c;
    }
  }
}

// One step of the rotation thread: every point is rotated by `angle` about each switched-on
// axis, each formula reading the stored point as it was before the step (so with two axes on
// the result is not a composition of two rotations; that is how the model tumbles).
template <class P>
void RotateStep(P* points, size_t count, float angle, bool rotX, bool rotY, bool rotZ) {
  const float s = std::sin(angle), c = std::cos(angle);
  for (size_t i = 0; i < count; ++i) {
    const P v = points[i];
    P r = v;
    if (rotX) {
      r.y = v.y * c - v.z * s;
      r.z = v.y * s + v.z * c;
    }
    if (rotY) {
      r.x = v.x * c - v.z * s;
      r.z = v.x * s + v.z * c;
    }
    if (rotZ) {
      r.x = v.x * c - v.y * s;
      r.y = v.x * s + v.y * c;
    }
    points[i] = r;
  }
}

// The vertex under a mouse position: the last index whose projected point (scale and anchor,
// no rounding) lies strictly within 2 pixels on both axes; -1 when none.
template <class P>
int PickPoint(const TProjection& proj, const P* points, size_t count, float mouseX, float mouseY) {
  int hit = -1;
  for (size_t i = 0; i < count; ++i) {
    float px = points[i].x, py = points[i].y;
    proj.Project(px, py, points[i].z, false, false);
    if (std::fabs(px - mouseX) < 2.0f && std::fabs(py - mouseY) < 2.0f) hit = static_cast<int>(i);
  }
  return hit;
}

// The zoom control's scale for a position (read as a signed 16-bit value).
float ZoomScale(int position);
