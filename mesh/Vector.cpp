#include "mesh/Vector.h"

#include <cmath>

namespace {

float F(double v) { return static_cast<float>(v); }

}  // namespace

TVec4 Make(float x, float y, float z) { return TVec4{x, y, z, 1.0f}; }

void Add(TVec4& a, const TVec4& b) {
  a.x = F(double{a.x} + b.x);
  a.y = F(double{a.y} + b.y);
  a.z = F(double{a.z} + b.z);
}

TVec4 Sub(const TVec4& a, const TVec4& b) {
  return TVec4{F(double{a.x} - b.x), F(double{a.y} - b.y), F(double{a.z} - b.z), a.w};
}

void Negate(TVec4& v, bool nx, bool ny, bool nz) {
  if (nx) v.x = -v.x;
  if (ny) v.y = -v.y;
  if (nz) v.z = -v.z;
}

float Length(const TVec4& v) {
  const double x = v.x, y = v.y, z = v.z;
  return F(std::sqrt(x * x + y * y + z * z));
}

void Normalize(TVec4& v) {
  const float len = Length(v);
  if (len != 0.0f) {
    v.x = F(double{v.x} / len);
    v.y = F(double{v.y} / len);
    v.z = F(double{v.z} / len);
  }
}

float Dot(const TVec4& a, const TVec4& b) {
  return F(double{a.x} * b.x + double{a.y} * b.y + double{a.z} * b.z);
}

TVec4 Cross(const TVec4& a, const TVec4& b) {
  return Make(F(double{a.y} * b.z - double{a.z} * b.y), F(double{a.z} * b.x - double{a.x} * b.z),
              F(double{a.x} * b.y - double{a.y} * b.x));
}

TVec4 PlaneNormal(const TVec4& p1, const TVec4& p2, const TVec4& p3) {
  TVec4 n = Cross(Sub(p1, p2), Sub(p3, p2));
  Normalize(n);
  return n;
}
