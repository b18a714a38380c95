#include "viewers/GlTexture.h"

#include <QImage>
#include <QImageReader>
#include <QOpenGLFunctions_1_1>

#include "viewers/GlPalette.h"

QSurfaceFormat GlViewerSurfaceFormat() {
  const TPixelFormatRequest request;
  QSurfaceFormat format;
  format.setRenderableType(QSurfaceFormat::OpenGL);
  format.setProfile(QSurfaceFormat::CompatibilityProfile);
  format.setRedBufferSize(request.ColorBits / 3);
  format.setGreenBufferSize(request.ColorBits / 3);
  format.setBlueBufferSize(request.ColorBits / 3);
  // The request asks for 32 depth bits; most displays offer 24, which Qt then picks.
  format.setDepthBufferSize(request.DepthBits);
  format.setSwapBehavior((request.Flags & kPfdDoubleBuffer) ? QSurfaceFormat::DoubleBuffer
                                                            : QSurfaceFormat::SingleBuffer);
  return format;
}

TGlTexture::TGlTexture(QOpenGLFunctions_1_1* gl)
    : m_gl(gl), m_texels(new float[static_cast<size_t>(kTexelCount) * 4]()) {
  SetRepeatS(true);
  SetRepeatT(true);
  SetLinearMin(false);
  SetLinearMag(false);
}

void TGlTexture::SetRepeatS(bool v) {
  if (m_gl) m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, v ? GL_REPEAT : GL_CLAMP);
  m_repeatS = v;
}

void TGlTexture::SetRepeatT(bool v) {
  if (m_gl) m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, v ? GL_REPEAT : GL_CLAMP);
  m_repeatT = v;
}

void TGlTexture::SetLinearMin(bool v) {
  if (m_gl) m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, v ? GL_LINEAR : GL_NEAREST);
  m_linearMin = v;
}

void TGlTexture::SetLinearMag(bool v) {
  if (m_gl) m_gl->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, v ? GL_LINEAR : GL_NEAREST);
  m_linearMag = v;
}

QImage TexturePicture(const QImage& picture) {
  constexpr int side = TGlTexture::kSide;
  if (picture.isNull() || (picture.width() == side && picture.height() == side)) return picture;
  // Texture coordinates 0..1 span the whole picture whatever its size (the import writes
  // textures at their own size), so the picture is stretched rather than cut or padded.
  return picture.scaled(side, side, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

void TGlTexture::LoadFromBitmap(const QImage& original) {
  const QImage picture = TexturePicture(original);
  const int width = picture.width();
  const int height = picture.height();
  for (int x = 0; x < kSide; ++x) {
    for (int y = 0; y < kSide; ++y) {
      // The colour as a 0x00BBGGRR value, -1 outside a null picture; the channels are then
      // taken with signed arithmetic, so the invalid colour gives red -1/255.
      int32_t c = -1;
      if (x < width && y < height) {
        const QRgb rgb = picture.pixel(x, y);
        c = static_cast<int32_t>(static_cast<uint32_t>(qRed(rgb)) |
                                 (static_cast<uint32_t>(qGreen(rgb)) << 8) |
                                 (static_cast<uint32_t>(qBlue(rgb)) << 16));
      }
      float* t = &m_texels[(static_cast<size_t>(x) * kSide + static_cast<size_t>(y)) * 4];
      // NOLINTBEGIN(bugprone-integer-division): the whole-number channel is meant.
      t[0] = static_cast<float>(c % 256) / 255.0f;
      t[1] = static_cast<float>((c % 65536) / 256) / 255.0f;
      t[2] = static_cast<float>(c / 65536) / 255.0f;
      // NOLINTEND(bugprone-integer-division)
      t[3] = 1.0f;
    }
  }
  if (m_gl) m_gl->glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, 8448.0f);  // GL_MODULATE
}

void TGlTexture::LoadPicture(const QString& path) {
  QImageReader reader(path);
  QImage picture;
  if (!reader.read(&picture)) {
    throw EGlTexture(
        ("Cannot read picture \"" + path + "\": " + reader.errorString()).toStdString());
  }
  LoadFromBitmap(picture);
}

void TGlTexture::Upload() {
  if (!m_gl) return;
  m_gl->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, kSide, kSide, 0, GL_RGBA, GL_FLOAT, m_texels.get());
  m_gl->glEnable(GL_TEXTURE_2D);
}

void DisableTexturing(QOpenGLFunctions_1_1* gl) {
  if (gl) gl->glDisable(GL_TEXTURE_2D);
}
