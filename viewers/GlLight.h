#pragma once
// One OpenGL light with the standard default parameters. Only the position is ever sent to
// OpenGL; the other fields document the light's state. Window thread only, with the owning
// viewer's context current.

#include <array>
#include <cstdint>

class QOpenGLFunctions_1_1;

class TGlLight {
public:
  using TVector4 = std::array<float, 4>;

  // `lightId` is the light enumerant (GL_LIGHT0 is 0x4000); `gl` nullptr makes no GL calls.
  TGlLight(QOpenGLFunctions_1_1* gl, int32_t lightId);

  void Enable();                        // enables the capability LightId
  void SetPosition(const TVector4& v);  // stores v and sends it as GL_POSITION

  int32_t LightId;
  TVector4 Ambient{0, 0, 0, 1};
  TVector4 Diffuse{1, 1, 1, 1};
  TVector4 Specular{1, 1, 1, 1};
  TVector4 Position{0, 0, 1, 0};
  TVector4 SpotDirection{0, 0, -1, 1};
  float SpotExponent = 0;
  float SpotCutoff = 180;
  float ConstantAttenuation = 1;
  float LinearAttenuation = 0;
  float QuadraticAttenuation = 0;

private:
  QOpenGLFunctions_1_1* m_gl;
};
