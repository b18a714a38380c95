#pragma once
// Meshes with known answers for the tree builder's tests, and the geometry the tests use
// to check a tree independently of the builder (areas, point-in-face, plane sides).

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "plugins/bsp/BspMesh.h"
#include "plugins/bsp/BspTree.h"
#include "support/TestSupport.h"

namespace bsptest {

using bsp::TMesh;

struct TV {
  double x, y, z;
};
inline TV Sub(TV a, TV b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline TV Cross(TV a, TV b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Dot(TV a, TV b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline double Len(TV a) { return std::sqrt(Dot(a, a)); }
inline TV ToV(const TPoint3& v) { return {v.x, v.y, v.z}; }

// Appends a face with its own normal (the geometric one of its first three corners) and
// one corner per point; texture coordinates follow the given function of the position.
template <typename TexFn>
void AddFace(TMesh& m, const std::vector<TV>& pts, int32_t mat, TexFn tex) {
  const TV n0 = Cross(Sub(pts[1], pts[0]), Sub(pts[2], pts[0]));
  const double l = Len(n0);
  const TV n = {n0.x / l, n0.y / l, n0.z / l};
  TFaceRecord f{};
  f.Vtnm = static_cast<int32_t>(m.Vtnm.size());
  m.Vtnm.push_back({float(n.x), float(n.y), float(n.z)});
  f.D = float(-Dot(n, pts[0]));
  f.Mat = mat;
  f.FirstFvrt = static_cast<int32_t>(m.Fvrt.size());
  f.FvrtCount = static_cast<int32_t>(pts.size());
  f.Reserved1 = 0;
  f.Reserved2 = 0x7F0096FFu;
  for (const TV& p : pts) {
    TFvrtRecord c{};
    c.Vert = static_cast<int32_t>(m.Vert.size());
    m.Vert.push_back({float(p.x), float(p.y), float(p.z)});
    c.Vtnm = f.Vtnm;
    tex(p, c.Tx, c.Ty);
    m.Fvrt.push_back(c);
  }
  m.Face.push_back(f);
}

inline void NoTex(const TV&, float& u, float& v) { u = v = 0; }

// An axis-aligned cube with shared corners and outward (or, inverted, inward) faces.
inline TMesh Cube(double lo, double hi, bool inward = false) {
  TMesh m;
  for (int i = 0; i < 8; ++i) {
    m.Vert.push_back({float(i & 1 ? hi : lo), float(i & 2 ? hi : lo), float(i & 4 ? hi : lo)});
  }
  // Counter-clockwise seen from outside.
  const int quads[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                           {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  const float normals[6][3] = {{0, 0, -1}, {0, 0, 1}, {0, -1, 0}, {0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
  for (int q = 0; q < 6; ++q) {
    const float s = inward ? -1.0f : 1.0f;
    m.Vtnm.push_back({s * normals[q][0], s * normals[q][1], s * normals[q][2]});
    TFaceRecord f{};
    f.Vtnm = q;
    f.Mat = 7;
    f.FirstFvrt = static_cast<int32_t>(m.Fvrt.size());
    f.FvrtCount = 4;
    f.Reserved2 = 0x7F0096FFu;
    for (int k = 0; k < 4; ++k) {
      const int corner = inward ? quads[q][3 - k] : quads[q][k];
      m.Fvrt.push_back({corner, q, float(k & 1), float(k >> 1)});
    }
    m.Face.push_back(f);
  }
  m.Radius = float(std::sqrt(3.0) * std::max(std::fabs(lo), std::fabs(hi)));
  return m;
}

// Random triangles with corners up to `size` apart around centres in a box of side 20
// (the seed makes every run identical).
inline TMesh RandomTriangles(int count, unsigned seed, double size = 4) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> coord(-10, 10), offset(-size / 2, size / 2), unit(0, 1);
  TMesh m;
  while (static_cast<int>(m.Face.size()) < count) {
    const TV c = {coord(rng), coord(rng), coord(rng)};
    std::vector<TV> pts(3);
    for (TV& p : pts) p = {c.x + offset(rng), c.y + offset(rng), c.z + offset(rng)};
    if (Len(Cross(Sub(pts[1], pts[0]), Sub(pts[2], pts[0]))) < 0.01 * size * size) continue;
    AddFace(m, pts, static_cast<int32_t>(m.Face.size()), [&](const TV&, float& u, float& v) {
      u = float(unit(rng));
      v = float(unit(rng));
    });
  }
  return m;
}

// A grid of nx * ny quads, each made of two triangles over shared vertices, placed by
// `at(u, v)` with u, v in 0..1.
template <typename At>
inline TMesh Grid(int nx, int ny, At at) {
  TMesh m;
  for (int j = 0; j <= ny; ++j) {
    for (int i = 0; i <= nx; ++i) {
      const TV p = at(double(i) / nx, double(j) / ny);
      m.Vert.push_back({float(p.x), float(p.y), float(p.z)});
    }
  }
  auto corner = [&](int i, int j) { return j * (nx + 1) + i; };
  auto tri = [&](int a, int b, int c) {
    const TV pa = ToV(m.Vert[a]), pb = ToV(m.Vert[b]), pc = ToV(m.Vert[c]);
    TV n = Cross(Sub(pb, pa), Sub(pc, pa));
    const double l = Len(n);
    if (l > 0) n = {n.x / l, n.y / l, n.z / l};
    TFaceRecord f{};
    f.Vtnm = int32_t(m.Vtnm.size());
    m.Vtnm.push_back({float(n.x), float(n.y), float(n.z)});
    f.D = float(-Dot(n, pa));
    f.FirstFvrt = int32_t(m.Fvrt.size());
    f.FvrtCount = 3;
    f.Reserved2 = kEditorReserved2;
    for (int v : {a, b, c}) m.Fvrt.push_back({v, f.Vtnm, 0.5f, 0.5f});
    m.Face.push_back(f);
  };
  for (int j = 0; j < ny; ++j) {
    for (int i = 0; i < nx; ++i) {
      tri(corner(i, j), corner(i + 1, j), corner(i + 1, j + 1));
      tri(corner(i, j), corner(i + 1, j + 1), corner(i, j + 1));
    }
  }
  return m;
}

// A sphere of radius 10 on an nx * ny grid (2 * nx * ny triangles). The triangles at the
// poles have two corners a rounding error apart, so their normals are noise.
inline TMesh Sphere(int nx, int ny) {
  return Grid(nx, ny, [](double u, double v) {
    const double th = 2 * M_PI * u, ph = M_PI * v;
    return TV{10 * std::sin(ph) * std::cos(th), 10 * std::sin(ph) * std::sin(th),
              -10 * std::cos(ph)};
  });
}

inline std::vector<TV> FacePoints(const TMesh& m, const TFaceRecord& f) {
  std::vector<TV> pts;
  for (int32_t i = 0; i < f.FvrtCount; ++i)
    pts.push_back(ToV(m.Vert[m.Fvrt[f.FirstFvrt + i].Vert]));
  return pts;
}

// Newell normal (length = twice the area for a planar polygon).
inline TV NewellNormal(const std::vector<TV>& pts) {
  TV n{0, 0, 0};
  for (size_t i = 0; i < pts.size(); ++i) {
    const TV& a = pts[i];
    const TV& b = pts[(i + 1) % pts.size()];
    n.x += (a.y - b.y) * (a.z + b.z);
    n.y += (a.z - b.z) * (a.x + b.x);
    n.z += (a.x - b.x) * (a.y + b.y);
  }
  return n;
}
inline double Area(const std::vector<TV>& pts) { return Len(NewellNormal(pts)) / 2; }

// Drops the coordinate of the normal's largest component.
inline void Project(const TV& n, const TV& p, double& u, double& v) {
  const double ax = std::fabs(n.x), ay = std::fabs(n.y), az = std::fabs(n.z);
  if (ax >= ay && ax >= az) {
    u = p.y, v = p.z;
  } else if (ay >= az) {
    u = p.z, v = p.x;
  } else {
    u = p.x, v = p.y;
  }
}

// Even-odd test of a point lying in the polygon's plane; `margin` receives the distance
// (in the projection) to the nearest edge, so callers can skip ambiguous boundary points.
inline bool Contains(const std::vector<TV>& poly, const TV& n, const TV& p, double& margin) {
  double pu, pv;
  Project(n, p, pu, pv);
  bool inside = false;
  margin = HUGE_VAL;
  for (size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
    double au, av, bu, bv;
    Project(n, poly[i], au, av);
    Project(n, poly[j], bu, bv);
    if ((av > pv) != (bv > pv) && pu < (bu - au) * (pv - av) / (bv - av) + au) inside = !inside;
    const double eu = bu - au, ev = bv - av;
    const double l2 = eu * eu + ev * ev;
    double t = l2 > 0 ? ((pu - au) * eu + (pv - av) * ev) / l2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    margin = std::min(margin, std::hypot(pu - (au + t * eu), pv - (av + t * ev)));
  }
  return inside;
}

// Writes a mesh as the five record files into the home folder (the test's TempDir).
inline void WriteRecordFiles(const TMesh& m, const testsupport::TempDir& home, bool radius = true) {
  auto raw = [](const auto& v) {
    testsupport::Bytes b(v.size() * sizeof(v[0]));
    if (!b.empty()) std::memcpy(b.data(), v.data(), b.size());
    return b;
  };
  testsupport::WriteBytes(home.File("vert.kvt"), raw(m.Vert));
  testsupport::WriteBytes(home.File("vtnm.kvt"), raw(m.Vtnm));
  testsupport::WriteBytes(home.File("fvrt.kvt"), raw(m.Fvrt));
  testsupport::WriteBytes(home.File("face.kvt"), raw(m.Face));
  if (radius) {
    testsupport::Bytes r;
    testsupport::PutF32(r, m.Radius);
    testsupport::WriteBytes(home.File("radi.kvt"), r);
  }
}

}  // namespace bsptest
