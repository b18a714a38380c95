#pragma once
// Model files and texts that the tests and the benchmarks make alike.

#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>

namespace testsupport {

// A sphere of `rings` x `segments` quads (triangles at the poles) as OBJ, the upper half
// material "sky", the lower "sea" (from "s.mtl").
inline std::string SphereObj(int rings, int segments) {
  std::string obj = "mtllib s.mtl\nv 0 1 0\nv 0 -1 0\n";
  const auto index = [&](int ring, int seg) {  // ring 1 .. rings - 1
    if (ring == 0) return 1;
    if (ring == rings) return 2;
    return 3 + (ring - 1) * segments + seg % segments;
  };
  char line[128];
  for (int r = 1; r < rings; ++r) {
    const double theta = std::numbers::pi * r / rings;
    for (int s = 0; s < segments; ++s) {
      const double phi = 2 * std::numbers::pi * s / segments;
      std::snprintf(line, sizeof line, "v %.7f %.7f %.7f\n", std::sin(theta) * std::cos(phi),
                    std::cos(theta), std::sin(theta) * std::sin(phi));
      obj += line;
    }
  }
  for (int r = 0; r < rings; ++r) {
    obj += r < rings / 2 ? "usemtl sky\n" : "usemtl sea\n";
    for (int s = 0; s < segments; ++s) {
      const int a = index(r, s), b = index(r, s + 1), c = index(r + 1, s + 1), d = index(r + 1, s);
      if (r == 0)
        std::snprintf(line, sizeof line, "f %d %d %d\n", a, d, c);
      else if (r == rings - 1)
        std::snprintf(line, sizeof line, "f %d %d %d\n", a, d, b);
      else
        std::snprintf(line, sizeof line, "f %d %d %d %d\n", a, d, c, b);
      obj += line;
    }
  }
  return obj;
}

// The lines of an OBJ or MTL text that are not comments: its statements and their numbers.
inline std::string Statements(const std::string& text) {
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (text[at] != '#') out.append(text, at, end - at + 1);
    at = end + 1;
  }
  return out;
}

}  // namespace testsupport
