#include "mesh/Projection.h"

#include <climits>

int RoundPixel(float v) {
  if (std::isnan(v)) return 0;
  const float r = std::nearbyint(v);  // default rounding mode: half to even
  if (r >= static_cast<float>(INT_MAX)) return INT_MAX;
  if (r <= static_cast<float>(INT_MIN)) return INT_MIN;
  return static_cast<int>(r);
}

void TProjection::Project(float& x, float& y, float z, bool skipScale, bool skipAnchor) const {
  x = x + z / DepthDivisor;
  y = y + z / DepthDivisor;
  if (!skipScale) {
    x = x / ViewScale;
    y = y / ViewScale;
  }
  if (!skipAnchor) {
    x = x + AnchorX;
    y = y + AnchorY;
  }
}

TPixel TProjection::ProjectPixel(float x, float y, float z) const {
  Project(x, y, z, false, false);
  return {RoundPixel(x), RoundPixel(y)};
}

void TProjection::FitView(float minX, float minY, float minZ, float maxX, float maxY, float maxZ,
                          int width, int height) {
  Project(minX, minY, minZ, true, true);
  Project(maxX, maxY, maxZ, true, true);
  const float dx = maxX - minX;
  const float dy = maxY - minY;
  float scale = 0.0f;
  if (dx > dy) {
    if (width > 0) scale = dx / static_cast<float>(width);
  } else if (height > 0) {
    scale = dy / static_cast<float>(height);
  }
  // A box without extent (or an inverted one) would give a scale of 0 or less, and every
  // later paint would divide by it: keep the scale the view had.
  if (std::isfinite(scale) && scale > 0.0f) ViewScale = scale;
  SetAnchor(static_cast<float>(width) / 2.0f, static_cast<float>(height) / 2.0f);
}

void TProjection::DrawPointMarker(float x, float y, float z) const {
  if (!DrawCanvas) return;
  const TPixel p = ProjectPixel(x, y, z);
  DrawCanvas->Ellipse(p.X - 1, p.Y - 1, p.X + 1, p.Y + 1);
}

void TProjection::DrawAxes() const {
  if (!DrawCanvas) return;
  const int ax = RoundPixel(AnchorX);
  const int ay = RoundPixel(AnchorY);
  DrawCanvas->SetPenStyle(TPenStyle::Dot);
  DrawCanvas->Line({ax, 0}, {ax, 10000});
  DrawCanvas->Line({0, ay}, {10000, ay});
  DrawCanvas->Line({ax, ay}, ProjectPixel(AnchorX, AnchorY, -10000.0f));
  DrawCanvas->SetPenStyle(TPenStyle::Solid);
}

float ZoomScale(int position) {
  const auto pos16 = static_cast<int16_t>(position);
  return static_cast<float>(pos16) / -100.0f;
}
