#include "mesh/MeshCheck.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <unordered_map>

#include "mesh/FaceShape.h"
#include "mesh/Normals.h"
#include "util/Paths.h"

namespace {

std::string Range(const char* array, int32_t count) {
  return "(" + std::string(array) + " has " + std::to_string(count) + " records)";
}

bool Finite(const TPoint3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// Newell's normal of a polygon: zero length when its corners enclose no area.
bool EnclosesArea(const TMeshDocument& doc, const TCornerRange& corners) {
  double nx = 0, ny = 0, nz = 0, scale = 0;
  for (int32_t k = 0; k < corners.Count; ++k) {
    const TPoint3& a = doc.VERT[doc.FVRT[corners.First + k].Vert];
    const TPoint3& b = doc.VERT[doc.FVRT[corners.First + (k + 1) % corners.Count].Vert];
    nx += (double{a.y} - b.y) * (double{a.z} + b.z);
    ny += (double{a.z} - b.z) * (double{a.x} + b.x);
    nz += (double{a.x} - b.x) * (double{a.y} + b.y);
    scale += (double{a.x} - b.x) * (double{a.x} - b.x) + (double{a.y} - b.y) * (double{a.y} - b.y) +
             (double{a.z} - b.z) * (double{a.z} - b.z);
  }
  // Relative to the size of the face, so that rounding of collinear corners counts as none.
  return std::sqrt(nx * nx + ny * ny + nz * nz) > 1e-7 * scale;
}

// The faces whose corners and vertices all exist: the ones the shape checks look at.
bool CornersExist(const TMeshDocument& doc, const TFaceRecord& f) {
  if (f.FvrtCount < 3 || f.FirstFvrt < 0 || int64_t{f.FirstFvrt} + f.FvrtCount > doc.NumFvrt)
    return false;
  for (int32_t k = 0; k < f.FvrtCount; ++k) {
    const int32_t v = doc.FVRT[f.FirstFvrt + k].Vert;
    if (v < 0 || v >= doc.NumVert || !Finite(doc.VERT[v])) return false;
  }
  return true;
}

TVecD CornerPos(const TMeshDocument& doc, const TFaceRecord& f, int32_t k) {
  return Pos(doc.VERT[doc.FVRT[f.FirstFvrt + k % f.FvrtCount].Vert]);
}

// Newell's normal of a face's corners: the way its area faces, zero when it has none.
TVecD FaceAreaNormal(const TMeshDocument& doc, const TFaceRecord& f) {
  return AreaNormal(f.FvrtCount, [&](int32_t k) { return CornerPos(doc, f, k); });
}

// Faces with more corners are not searched for crossings (the search is pair by pair).
constexpr int32_t kMaxCrossingCheck = 1024;

// "FACE 3: its edges cross each other": two edges that are not neighbours cross in the
// plane of the face's area (each passing strictly through the other).
void CheckSelfCrossing(const TMeshDocument& doc, std::vector<std::string>& out) {
  for (int32_t i = 0; i < doc.NumFace; ++i) {
    const TFaceRecord& f = doc.FACE[i];
    if (f.FvrtCount < 4 || f.FvrtCount > kMaxCrossingCheck || !CornersExist(doc, f)) continue;
    TVecD u, v;
    if (!PlaneFrame(FaceAreaNormal(doc, f), u, v)) continue;
    std::vector<std::pair<double, double>> p;
    for (int32_t k = 0; k < f.FvrtCount; ++k) {
      const TVecD q = CornerPos(doc, f, k);
      p.push_back({Dot(q, u), Dot(q, v)});
    }
    const auto turn = [&](int32_t a, int32_t b, int32_t c) {
      const auto [ax, ay] = p[static_cast<size_t>(a % f.FvrtCount)];
      const auto [bx, by] = p[static_cast<size_t>(b % f.FvrtCount)];
      const auto [cx, cy] = p[static_cast<size_t>(c % f.FvrtCount)];
      const double t = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
      return (t > 0) - (t < 0);
    };
    bool crossing = false;
    for (int32_t a = 0; a < f.FvrtCount && !crossing; ++a) {
      for (int32_t b = a + 2; b < f.FvrtCount && !crossing; ++b) {
        if (a == 0 && b == f.FvrtCount - 1) continue;
        crossing = turn(a, a + 1, b) * turn(a, a + 1, b + 1) < 0 &&
                   turn(b, b + 1, a) * turn(b, b + 1, a + 1) < 0;
      }
    }
    if (crossing) out.push_back("FACE " + std::to_string(i) + ": its edges cross each other");
  }
}

// "FACE 3: its normal points against its corner order": the stored normal does not point
// the way the corners turn (the side "Calc VTNM" gives it), or is zero.
void CheckNormalAgainstCorners(const TMeshDocument& doc, std::vector<std::string>& out) {
  for (int32_t i = 0; i < doc.NumFace; ++i) {
    const TFaceRecord& f = doc.FACE[i];
    if (f.Vtnm < 0 || f.Vtnm >= doc.NumVtnm || !Finite(doc.VTNM[f.Vtnm]) || !CornersExist(doc, f))
      continue;
    const TVecD n = FaceAreaNormal(doc, f);
    if (!(Len(n) > 0.0)) continue;  // reported as degenerate
    if (Dot(n, Pos(doc.VTNM[f.Vtnm])) <= 0.0)
      out.push_back("FACE " + std::to_string(i) + ": its normal points against its corner order");
  }
}

// "FACE 7: repeats the corners of FACE 3": the same vertices in the same turn, from any
// start.
void CheckDuplicateFaces(const TMeshDocument& doc, std::vector<std::string>& out) {
  std::unordered_map<std::string, int32_t> first;
  for (int32_t i = 0; i < doc.NumFace; ++i) {
    const TFaceRecord& f = doc.FACE[i];
    if (!CornersExist(doc, f)) continue;
    int32_t low = 0;
    for (int32_t k = 1; k < f.FvrtCount; ++k) {
      if (doc.FVRT[f.FirstFvrt + k].Vert < doc.FVRT[f.FirstFvrt + low].Vert) low = k;
    }
    std::string key;
    for (int32_t k = 0; k < f.FvrtCount; ++k) {
      const int32_t v = doc.FVRT[f.FirstFvrt + (low + k) % f.FvrtCount].Vert;
      key.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    const auto [at, added] = first.try_emplace(std::move(key), i);
    if (!added)
      out.push_back("FACE " + std::to_string(i) + ": repeats the corners of FACE " +
                    std::to_string(at->second));
  }
}

// "FACE 3: D is -3.000, its corners give -6.000" when the face's D is not the one "CALC D"
// works out from its first three corners (off by more than `tolerance`); "" otherwise.
std::string FaceDProblem(const TMeshDocument& doc, int32_t index, double tolerance) {
  const TFaceRecord& f = doc.FACE[index];
  TVec4 p1;
  const TVec4 n = FacePlaneNormal(doc, f, &p1);
  const double given = Dot(n, p1);
  if (!std::isfinite(f.D) || std::fabs(double{f.D} - given) <= tolerance) return {};
  char text[96];
  std::snprintf(text, sizeof text, "D is %.3f, its corners give %.3f", double{f.D}, given);
  return "FACE " + std::to_string(index) + ": " + text;
}

}  // namespace

TMeshProblems CheckMesh(const TMeshDocument& doc) {
  TMeshProblems p;
  const double tolerance =
      kPlanarTolerance * PointsSize({doc.VERT.get(), static_cast<size_t>(doc.NumVert)});
  std::vector<TPoint3> loop;
  std::vector<bool> used(static_cast<size_t>(doc.NumVert), false);
  for (int32_t i = 0; i < doc.NumFvrt; ++i) {
    const TFvrtRecord& r = doc.FVRT[i];
    const std::string at = "FVRT " + std::to_string(i) + ": ";
    if (r.Vert < 0 || r.Vert >= doc.NumVert) {
      p.Indices.push_back(at + "vertex index " + std::to_string(r.Vert) + " is out of range " +
                          Range("VERT", doc.NumVert));
    } else {
      used[static_cast<size_t>(r.Vert)] = true;
    }
    if (r.Vtnm < 0 || r.Vtnm >= doc.NumVtnm) {
      p.Indices.push_back(at + "normal index " + std::to_string(r.Vtnm) + " is out of range " +
                          Range("VTNM", doc.NumVtnm));
    }
  }
  for (int32_t i = 0; i < doc.NumFace; ++i) {
    const TFaceRecord& f = doc.FACE[i];
    const std::string at = "FACE " + std::to_string(i) + ": ";
    const int64_t first = f.FirstFvrt, last = int64_t{f.FirstFvrt} + f.FvrtCount - 1;
    bool cornersOk = true;
    if (f.FvrtCount > 0 && (first < 0 || last >= doc.NumFvrt)) {
      p.Indices.push_back(at + "corners " + std::to_string(first) + " to " + std::to_string(last) +
                          " lie outside FVRT (" + std::to_string(doc.NumFvrt) + " records)");
      cornersOk = false;
    }
    if (f.Vtnm < 0 || f.Vtnm >= doc.NumVtnm) {
      p.Indices.push_back(at + "normal index " + std::to_string(f.Vtnm) + " is out of range " +
                          Range("VTNM", doc.NumVtnm));
    }
    if (f.FvrtCount < 3) {
      p.Others.push_back(at + std::to_string(f.FvrtCount) + " corners, fewer than 3");
      cornersOk = false;
    }
    if (!std::isfinite(f.D)) p.Others.push_back(at + "D is not a finite number");
    if (!cornersOk) continue;
    bool verticesOk = true;
    for (int32_t k = 0; k < f.FvrtCount && verticesOk; ++k) {
      const int32_t v = doc.FVRT[f.FirstFvrt + k].Vert;
      verticesOk = v >= 0 && v < doc.NumVert && Finite(doc.VERT[v]);
    }
    if (verticesOk && !EnclosesArea(doc, {f.FirstFvrt, f.FvrtCount})) {
      p.Others.push_back(at + "degenerate: its corners enclose no area");
    } else if (verticesOk) {
      loop.clear();
      for (int32_t k = 0; k < f.FvrtCount; ++k)
        loop.push_back(doc.VERT[doc.FVRT[f.FirstFvrt + k].Vert]);
      const TFaceShape shape = JudgeFace(loop, tolerance);
      if (!shape.Plane) {
        p.Others.push_back(at + "its first three corners lie on a line: no plane for \"CALC D\"");
      } else {
        if (!shape.Planar) {
          char off[64];
          std::snprintf(off, sizeof off, "%.4g", shape.Off);
          p.Others.push_back(at + "not planar: a corner lies " + off + " off its plane");
        }
        if (!shape.Convex) p.Others.push_back(at + "not convex");
        if (std::string d = FaceDProblem(doc, i, tolerance); !d.empty())
          p.Others.push_back(std::move(d));
      }
    }
  }
  for (int32_t i = 0; i < doc.NumVert; ++i) {
    if (!Finite(doc.VERT[i]))
      p.Others.push_back("VERT " + std::to_string(i) + ": not a finite number");
  }
  for (int32_t i = 0; i < doc.NumVtnm; ++i) {
    const TPoint3& n = doc.VTNM[i];
    if (!Finite(n))
      p.Others.push_back("VTNM " + std::to_string(i) + ": not a finite number");
    else if (n.x == 0.0f && n.y == 0.0f && n.z == 0.0f)
      // What "Calc VTNM" gives a face too small for single precision (coordinates of 1e-30).
      p.Others.push_back("VTNM " + std::to_string(i) + ": zero length, no direction");
  }
  for (int32_t i = 0; i < doc.NumFvrt; ++i) {
    if (!std::isfinite(doc.FVRT[i].Tx) || !std::isfinite(doc.FVRT[i].Ty)) {
      p.Others.push_back("FVRT " + std::to_string(i) +
                         ": texture coordinate is not a finite number");
    }
  }
  CheckSelfCrossing(doc, p.Others);
  CheckNormalAgainstCorners(doc, p.Others);
  CheckDuplicateFaces(doc, p.Others);
  if (!std::isfinite(doc.Radius)) p.Others.push_back("RADI: not a finite number");
  for (int32_t i = 0; i < doc.NumVert; ++i) {
    if (!used[static_cast<size_t>(i)])
      p.Others.push_back("VERT " + std::to_string(i) + ": not used by any corner");
  }
  return p;
}

std::vector<std::string> DamagedRecordFiles() {
  const struct {
    const char* Name;
    uint64_t RecordSize;
  } files[] = {{kVertFile, sizeof(TPoint3)},
               {kVtnmFile, sizeof(TPoint3)},
               {kFvrtFile, sizeof(TFvrtRecord)},
               {kFaceFile, sizeof(TFaceRecord)},
               {kRadiFile, sizeof(float)}};
  std::vector<std::string> lines;
  for (const auto& f : files) {
    std::error_code ec;
    const auto path = HomeFile(f.Name);
    if (!std::filesystem::is_regular_file(path, ec)) continue;
    const uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec) continue;
    // The radius file holds one record and may carry bytes after it (as a ripped RADI chunk
    // can): only a file too short for the radius is partial.
    if (f.Name == kRadiFile && size >= f.RecordSize) continue;
    if (std::string text = PartialRecordText(f.Name, size, f.RecordSize); !text.empty())
      lines.push_back(std::move(text));
  }
  return lines;
}

std::string ProblemLines(const std::vector<std::string>& lines, size_t max) {
  std::string text;
  for (size_t i = 0; i < lines.size() && i < max; ++i) text += "\n" + lines[i];
  if (lines.size() > max) text += "\n... and " + std::to_string(lines.size() - max) + " more";
  return text;
}
