#include "viewers/ViewerCamera.h"

#include <cmath>

namespace {

constexpr float kDegreesPerPixel = 0.5f;
constexpr float kPi = 3.14159265358979f;
constexpr float kEyeDistance = 4;

TMatrix4 Identity() { return {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; }

TMatrix4 Multiply(const TMatrix4& a, const TMatrix4& b) {
  TMatrix4 m{};
  for (int c = 0; c < 4; ++c) {
    for (int r = 0; r < 4; ++r) {
      float s = 0;
      for (int k = 0; k < 4; ++k) s += a[k * 4 + r] * b[c * 4 + k];
      m[c * 4 + r] = s;
    }
  }
  return m;
}

TMatrix4 Translation(float x, float y, float z) {
  TMatrix4 m = Identity();
  m[12] = x;
  m[13] = y;
  m[14] = z;
  return m;
}

TMatrix4 Scaling(float x, float y, float z) {
  TMatrix4 m = Identity();
  m[0] = x;
  m[5] = y;
  m[10] = z;
  return m;
}

// glRotatef about a unit axis.
TMatrix4 Rotation(float degrees, float x, float y, float z) {
  const float c = std::cos(degrees * kPi / 180), s = std::sin(degrees * kPi / 180);
  const float t = 1 - c;
  return {t * x * x + c,
          t * x * y + s * z,
          t * x * z - s * y,
          0,
          t * x * y - s * z,
          t * y * y + c,
          t * y * z + s * x,
          0,
          t * x * z + s * y,
          t * y * z - s * x,
          t * z * z + c,
          0,
          0,
          0,
          0,
          1};
}

// glFrustum.
TMatrix4 Frustum(float l, float r, float b, float t, float n, float f) {
  TMatrix4 m{};
  m[0] = 2 * n / (r - l);
  m[5] = 2 * n / (t - b);
  m[8] = (r + l) / (r - l);
  m[9] = (t + b) / (t - b);
  m[10] = -(f + n) / (f - n);
  m[11] = -1;
  m[14] = -2 * f * n / (f - n);
  return m;
}

std::array<float, 4> Apply(const TMatrix4& m, const float p[4]) {
  std::array<float, 4> out{};
  for (int r = 0; r < 4; ++r)
    out[r] = m[r] * p[0] + m[4 + r] * p[1] + m[8 + r] * p[2] + m[12 + r] * p[3];
  return out;
}

TMatrix4 RotationOf(const TViewerCamera& v) {
  return Multiply(Multiply(Rotation(v.AngleX, 1, 0, 0), Rotation(v.AngleY, 0, 1, 0)),
                  Rotation(v.AngleZ, 0, 0, 1));
}

}  // namespace

void TViewerCamera::Orbit(int dx, int dy) {
  AngleY += static_cast<float>(dx) * kDegreesPerPixel;
  AngleX += static_cast<float>(dy) * kDegreesPerPixel;
}

void TViewerCamera::Pan(int dx, int dy, int w, int h) {
  if (w <= 0 || h <= 0) return;
  PanX += 2.0f * static_cast<float>(dx) / static_cast<float>(w);
  PanY -= 2.0f * static_cast<float>(dy) / static_cast<float>(h);
}

void TViewerCamera::ZoomWheel(int wheelDelta) {
  const float factor = std::pow(1.1f, static_cast<float>(wheelDelta) / 120.0f);
  // Scaling the pan with the zoom keeps the point in the window's centre where it is.
  Zoom *= factor;
  PanX *= factor;
  PanY *= factor;
  PanZ *= factor;
}

void TViewerCamera::Frame(const float lo[3], const float hi[3]) {
  const float centre[4] = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2, 1};
  const float half =
      std::sqrt((hi[0] - lo[0]) * (hi[0] - lo[0]) + (hi[1] - lo[1]) * (hi[1] - lo[1]) +
                (hi[2] - lo[2]) * (hi[2] - lo[2])) /
      2;
  const bool usable = half > 0 && std::isfinite(half) && std::isfinite(centre[0]) &&
                      std::isfinite(centre[1]) && std::isfinite(centre[2]);
  if (!usable) {
    Zoom = 1;
    PanX = PanY = PanZ = 0;
    return;
  }
  Zoom = 1.0f / half / 1.1f;
  const std::array<float, 4> r = Apply(RotationOf(*this), centre);
  PanX = -Zoom * r[0];
  PanY = -Zoom * r[1];
  PanZ = -Zoom * r[2];
}

void TViewerCamera::LookFrom(TViewSide side) {
  // Angles 0 are the front view (the eye on the +z side, y up); a side is reached by
  // turning the model so that the side's outward direction points at the eye (+z).
  AngleX = AngleY = AngleZ = 0;
  switch (side) {
    case TViewSide::Front:
      break;
    case TViewSide::Back:
      AngleY = 180;
      break;
    case TViewSide::Right:
      AngleY = -90;
      break;  // +x to the eye, -z to the right
    case TViewSide::Left:
      AngleY = 90;
      break;  // -x to the eye
    case TViewSide::Top:
      AngleX = 90;
      break;  // +y to the eye, +z down in the window
    case TViewSide::Bottom:
      AngleX = -90;
      break;  // -y to the eye
  }
}

TMatrix4 TViewerCamera::ProjectionMatrix() const {
  // GL's depth grows away from its eye, which looks along -z: nearer is larger u.z.
  if (!Perspective) return Scaling(1, 1, -1);
  // The eye at u.z = 4 looking along -z: move it to GL's origin, then a frustum whose
  // cross-section at the eye distance is -1..1.
  const float nearPlane = kEyeDistance - 2, farPlane = kEyeDistance + 2;
  const float half = nearPlane / kEyeDistance;
  return Multiply(Frustum(-half, half, -half, half, nearPlane, farPlane),
                  Translation(0, 0, -kEyeDistance));
}

TMatrix4 TViewerCamera::ModelViewMatrix() const {
  return Multiply(Multiply(Translation(PanX, PanY, PanZ), Scaling(Zoom, Zoom, Zoom)),
                  RotationOf(*this));
}

std::array<float, 4> TViewerCamera::Project(const float p[3]) const {
  const float v[4] = {p[0], p[1], p[2], 1};
  const std::array<float, 4> eye = Apply(ModelViewMatrix(), v);
  const std::array<float, 4> clip = Apply(ProjectionMatrix(), eye.data());
  return {clip[0] / clip[3], clip[1] / clip[3], clip[2] / clip[3], clip[3]};
}
