#include "mesh/Projection.h"

#include <algorithm>
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
  FitProjected(minX, minY, maxX, maxY, width, height);
}

void TProjection::FitProjected(float minX, float minY, float maxX, float maxY, int width,
                               int height) {
  const float dx = maxX - minX;
  const float dy = maxY - minY;
  // A window smaller than its margins still gets one pixel to fit into.
  const auto inner = [](int side) {
    return static_cast<float>(std::max(1, side - 2 * kFitMargin));
  };
  const float scale = std::max(dx / inner(width), dy / inner(height));
  // A box without extent (or an inverted one) would give a scale of 0 or less, and every
  // later paint would divide by it: keep the scale the view had.
  if (std::isfinite(scale) && scale > 0.0f) ViewScale = scale;
  float cx = (minX + maxX) / 2.0f, cy = (minY + maxY) / 2.0f;
  // An inverted box (an empty model) has no middle: the zero point goes to the centre.
  if (!(dx >= 0.0f && dy >= 0.0f) || !std::isfinite(cx) || !std::isfinite(cy)) cx = cy = 0.0f;
  SetAnchor(static_cast<float>(width) / 2.0f - cx / ViewScale,
            static_cast<float>(height) / 2.0f - cy / ViewScale);
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
