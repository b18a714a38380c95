#include "viewers/GlLight.h"

#include <QOpenGLFunctions_1_1>

TGlLight::TGlLight(QOpenGLFunctions_1_1* gl, int32_t lightId) : LightId(lightId), m_gl(gl) {}

void TGlLight::Enable() {
  if (m_gl) m_gl->glEnable(static_cast<GLenum>(LightId));
}

void TGlLight::SetPosition(const TVector4& v) {
  Position = v;
  if (m_gl) m_gl->glLightfv(static_cast<GLenum>(LightId), GL_POSITION, Position.data());
}
