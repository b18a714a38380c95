#pragma once
// Shared pieces of the viewer tests: a scripted dialogs interface, a small mesh builder and
// pixel helpers for frames grabbed from the viewers.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "mesh/MeshDocument.h"
#include "viewers/Dialogs.h"

// Stops a test that needs an OpenGL context when `ready` is false: a skip on a developer's
// machine without one, a failure when CI is set, where a missing Xvfb or Mesa must not pass
// as a green run.
#define REQUIRE_OPENGL(ready)                                                   \
  do {                                                                          \
    if (!(ready)) {                                                             \
      if (std::getenv("CI")) FAIL() << "no OpenGL 1.1 context on this display"; \
      GTEST_SKIP() << "no OpenGL 1.1 context on this display";                  \
    }                                                                           \
  } while (0)

namespace viewertest {

// Records every message instead of showing it.
class TRecordingDialogs final : public TDialogs {
public:
  void ShowMessage(QWidget*, const QString& text) override { Messages << text; }
  void ShowError(QWidget*, const QString& text) override { Errors << text; }
  bool AskYesNo(QWidget*, const QString&) override { return true; }
  TSaveChoice AskSaveChanges(QWidget*, const QString&) override { return TSaveChoice::Cancel; }
  std::optional<QString> InputBox(QWidget*, const QString&, const QString&,
                                  const QString&) override {
    return std::nullopt;
  }
  std::optional<QString> OpenFileName(QWidget*, const QString&, const QString&) override {
    return std::nullopt;
  }
  std::optional<QString> SaveFileName(QWidget*, const QString&, const QString&) override {
    return std::nullopt;
  }

  QStringList Messages;
  QStringList Errors;
};

// Appends an axis-aligned square in the z = `z` plane, centred on (cx, cy) with half side
// `h`, made of 4 new vertices and corners and one face of material `mat`. Its corners run
// counter-clockwise as seen from +z, so that it faces +z (its normal), the side the model
// viewer's front view shows; with `clockwise` they run the other way and it faces -z. The
// texture coordinates follow the place: 0..1 left to right and bottom to top.
inline void AddSquare(TMeshDocument& doc, float cx, float cy, float h, int32_t mat,
                      bool clockwise = false, float z = 0) {
  const int32_t firstVert = doc.NumVert;
  const int32_t firstFvrt = doc.NumFvrt;
  const float cw[4][2] = {{-1, -1}, {-1, 1}, {1, 1}, {1, -1}};
  for (int i = 0; i < 4; ++i) {
    const int k = clockwise ? i : 3 - i;
    doc.AddVert(TPoint3{cx + cw[k][0] * h, cy + cw[k][1] * h, z});
  }
  const int32_t normal = doc.NumVtnm;
  doc.AddVtnm(TPoint3{0, 0, clockwise ? -1.0f : 1.0f});
  for (int i = 0; i < 4; ++i) {
    const int k = clockwise ? i : 3 - i;
    doc.AddFvrt(TFvrtRecord{firstVert + i, normal, (cw[k][0] + 1) / 2, (cw[k][1] + 1) / 2});
  }
  doc.AddFace(TFaceRecord{normal, 0, mat, firstFvrt, 4, 0, kEditorReserved2});
}

struct TRgb {
  int r, g, b;
};

inline TRgb PixelAt(const QImage& image, int x, int y) {
  const QRgb p = image.pixel(x, y);
  return {qRed(p), qGreen(p), qBlue(p)};
}

inline bool Near(int a, int b, int tolerance = 3) {
  return a >= b - tolerance && a <= b + tolerance;
}

// Solid RGB pixels of a width × height texture.
inline std::vector<uint8_t> SolidRgb(int width, int height, uint8_t r, uint8_t g, uint8_t b) {
  std::vector<uint8_t> rgb;
  for (int i = 0; i < width * height; ++i) {
    rgb.push_back(r);
    rgb.push_back(g);
    rgb.push_back(b);
  }
  return rgb;
}

}  // namespace viewertest
