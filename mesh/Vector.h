#pragma once
// The small vector library of the normals and plane distances. Components are 32-bit
// floats; every operation rounds each stored component to float, while the arithmetic
// inside one expression runs in double. w is set to 1.0 by Make and read by nothing.

#include "mesh/MeshDocument.h"

struct TVec4 {
  float x = 0.0f, y = 0.0f, z = 0.0f, w = 1.0f;
};

TVec4 Make(float x, float y, float z);
inline TVec4 Make(const TPoint3& p) { return Make(p.x, p.y, p.z); }
inline TPoint3 ToPoint3(const TVec4& v) { return {v.x, v.y, v.z}; }

void Add(TVec4& a, const TVec4& b);
// a - b per component (w of a kept).
TVec4 Sub(const TVec4& a, const TVec4& b);
// Negates each component whose flag is set.
void Negate(TVec4& v, bool nx, bool ny, bool nz);
float Length(const TVec4& v);
// Divides x, y, z by the length; a zero vector stays zero.
void Normalize(TVec4& v);
float Dot(const TVec4& a, const TVec4& b);
TVec4 Cross(const TVec4& a, const TVec4& b);
// Normalize(Cross(p1 - p2, p3 - p2)).
TVec4 PlaneNormal(const TVec4& p1, const TVec4& p2, const TVec4& p3);
