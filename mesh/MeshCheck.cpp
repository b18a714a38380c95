#include "mesh/MeshCheck.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <unordered_map>

#include "mesh/FaceShape.h"
#include "mesh/MeshClean.h"
#include "util/Paths.h"

namespace {

std::string Range(const char* array, int32_t count) {
  return "(" + std::string(array) + " has " + std::to_string(count) + " records)";
}

bool Finite(const TPoint3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// Vertices "clean" would merge into an earlier one (its default weld distance).
void DuplicateVertices(const TMeshDocument& doc, std::vector<std::string>& lines) {
  const std::span<const TPoint3> verts(doc.VERT.get(), static_cast<size_t>(doc.NumVert));
  const double distance = kCleanDistance * PointsSize(verts);
  const std::vector<int32_t> into = WeldVertices(verts, distance);
  char within[48];
  std::snprintf(within, sizeof within, "%.4g", distance);
  for (size_t v = 0; v < into.size(); ++v) {
    if (into[v] != static_cast<int32_t>(v))
      lines.push_back("VERT " + std::to_string(v) + ": a duplicate of VERT " +
                      std::to_string(into[v]) + " (within " + within + ")");
  }
}

// Edges between two vertices that more than two faces share: no inside and outside there.
// Faces without area (reported on their own) have no sides to count.
void NonManifoldEdges(const TMeshDocument& doc, std::vector<std::string>& lines) {
  std::unordered_map<uint64_t, std::vector<int32_t>> faces;
  std::vector<uint64_t> order;  // edges in the order of first use
  std::vector<TPoint3> loop;
  for (int32_t f = 0; f < doc.NumFace; ++f) {
    const TCornerRange c = doc.FaceCorners(doc.FACE[f]);
    if (c.Count < 3 || c.Count != doc.FACE[f].FvrtCount) continue;
    loop.clear();
    for (int32_t k = 0; k < c.Count; ++k) {
      const TPoint3* p = doc.VertAt(doc.FVRT[c.First + k].Vert);
      if (p) loop.push_back(*p);
    }
    if (loop.size() != static_cast<size_t>(c.Count) || !EnclosesArea(loop)) continue;
    for (int32_t k = 0; k < c.Count; ++k) {
      const int32_t a = doc.FVRT[c.First + k].Vert, b = doc.FVRT[c.First + (k + 1) % c.Count].Vert;
      if (a == b) continue;
      const uint64_t key = (uint64_t{static_cast<uint32_t>(std::min(a, b))} << 32) |
                           static_cast<uint32_t>(std::max(a, b));
      std::vector<int32_t>& of = faces[key];
      if (of.empty()) order.push_back(key);
      if (of.empty() || of.back() != f) of.push_back(f);
    }
  }
  for (const uint64_t key : order) {
    const std::vector<int32_t>& of = faces[key];
    if (of.size() <= 2) continue;
    std::string line = "VERT " + std::to_string(key >> 32) + " to VERT " +
                       std::to_string(key & 0xFFFFFFFFu) + ": an edge of " +
                       std::to_string(of.size()) + " faces (";
    for (size_t i = 0; i < of.size(); ++i)
      line += (i ? ", FACE " : "FACE ") + std::to_string(of[i]);
    lines.push_back(line + "), more than two");
  }
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
    if (!verticesOk) continue;
    loop.clear();
    for (int32_t k = 0; k < f.FvrtCount; ++k)
      loop.push_back(doc.VERT[doc.FVRT[f.FirstFvrt + k].Vert]);
    if (!EnclosesArea(loop)) {
      p.Others.push_back(at + "degenerate: its corners enclose no area");
    } else {
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
      }
    }
  }
  for (int32_t i = 0; i < doc.NumVert; ++i) {
    if (!Finite(doc.VERT[i]))
      p.Others.push_back("VERT " + std::to_string(i) + ": not a finite number");
  }
  for (int32_t i = 0; i < doc.NumVtnm; ++i) {
    if (!Finite(doc.VTNM[i]))
      p.Others.push_back("VTNM " + std::to_string(i) + ": not a finite number");
  }
  for (int32_t i = 0; i < doc.NumFvrt; ++i) {
    if (!std::isfinite(doc.FVRT[i].Tx) || !std::isfinite(doc.FVRT[i].Ty)) {
      p.Others.push_back("FVRT " + std::to_string(i) +
                         ": texture coordinate is not a finite number");
    }
  }
  if (!std::isfinite(doc.Radius)) p.Others.push_back("RADI: not a finite number");
  for (int32_t i = 0; i < doc.NumVert; ++i) {
    if (!used[static_cast<size_t>(i)])
      p.Others.push_back("VERT " + std::to_string(i) + ": not used by any corner");
  }
  DuplicateVertices(doc, p.Others);
  NonManifoldEdges(doc, p.Others);
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
