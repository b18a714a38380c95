#pragma once
// The GL helpers both OpenGL viewers share: the surface format of their contexts and the
// picture texture TGlTexture. They run on the window thread, with the owning viewer's
// context current; `gl` is that context's function table (nullptr: no GL calls are made,
// only the texels are computed, which is how the texel conversion is tested).

#include <QString>
#include <QSurfaceFormat>
#include <cstdint>
#include <memory>

#include "util/Exception.h"

class QImage;
class QOpenGLFunctions_1_1;

// A picture file that cannot be read.
TESSAVOR_DECLARE_EXCEPTION(EGlTexture);

// The surface format of a viewer's own context, from the pixel format request: RGB with 8
// bits per channel, a depth buffer, double buffering, the compatibility profile (the viewers
// draw with the fixed-function pipeline). Qt picks the closest format the display offers.
QSurfaceFormat GlViewerSurfaceFormat();

// A 256 × 256 picture texture held as float RGBA texels, stored transposed: texel index
// x × 256 + y holds the source pixel (x, y); the viewers rotate the texture matrix by 90
// degrees about z when they use it.
class TGlTexture {
public:
  static constexpr int kSide = 256;
  static constexpr int kTexelCount = kSide * kSide;

  // Sets repeat in s and t, nearest minification and magnification, each on the 2D texture
  // bound now. Texels start at zero.
  explicit TGlTexture(QOpenGLFunctions_1_1* gl);

  bool RepeatS() const { return m_repeatS; }
  bool RepeatT() const { return m_repeatT; }
  bool LinearMin() const { return m_linearMin; }
  bool LinearMag() const { return m_linearMag; }

  void SetRepeatS(bool v);    // wrap s of the bound texture: repeat, else clamp
  void SetRepeatT(bool v);    // wrap t
  void SetLinearMin(bool v);  // minification: linear, else nearest
  void SetLinearMag(bool v);  // magnification: linear, else nearest

  // Fills the texels from the picture at 256 × 256 (TexturePicture), so that a picture of any
  // size covers its faces as a 256 × 256 one does. Sets the texture environment to modulate.
  void LoadFromBitmap(const QImage& picture);

  // Reads the picture file at `path` (a Windows bitmap, or any format Qt reads) and loads
  // it. Raises EGlTexture naming the file when it cannot be read; the texels are unchanged.
  void LoadPicture(const QString& path);

  // Defines level 0 of the bound 2D texture from the texels (RGBA, float), then enables 2D
  // texturing.
  void Upload();

  // Red, green, blue, alpha of texel index `index` (x × 256 + y).
  const float* Texel(int index) const { return &m_texels[static_cast<size_t>(index) * 4]; }

private:
  QOpenGLFunctions_1_1* m_gl;
  bool m_repeatS = false;
  bool m_repeatT = false;
  bool m_linearMin = false;
  bool m_linearMag = false;
  std::unique_ptr<float[]> m_texels;  // kTexelCount × 4 floats, one block of 1 MB
};

// The picture as the texture holds it: scaled to 256 × 256 pixel by pixel (nearest pixel, as
// the texture is filtered) when it has another size; a null picture stays null.
QImage TexturePicture(const QImage& picture);

// Disables 2D texturing (needs no texture object).
void DisableTexturing(QOpenGLFunctions_1_1* gl);
