#include "mesh/ObjExport.h"

#include <charconv>

#include "mesh/MeshCheck.h"
#include "mesh/NumberText.h"

#include "util/FileIo.h"

namespace {

constexpr char kEol[] = "\r\n";

void PutNumber(std::string& out, float v) { AppendPrintfFixed(out, v, 7); }

void PutInt(std::string& out, int64_t v) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

void PutPoints(std::string& out, const char* tag, const TPoint3* pts, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    out += tag;
    PutNumber(out, pts[i].x);
    out += ' ';
    PutNumber(out, pts[i].y);
    out += ' ';
    PutNumber(out, pts[i].z);
    out += kEol;
  }
}

}  // namespace

std::string ObjText(const TMeshDocument& doc) {
  std::string out;
  // A vertex line is at most about 3 * 48 characters for huge values, 40 for usual ones.
  out.reserve(200 + static_cast<size_t>(doc.NumVert + doc.NumVtnm) * 40 +
              static_cast<size_t>(doc.NumFvrt) * 48 + static_cast<size_t>(doc.NumFace) * 64);
  out += "# Output by TWaveFrontObject";
  out += kEol;
  out += "# starting with vertex list...";
  out += kEol;
  out += "# ";
  PutInt(out, doc.NumVert);
  out += " verts:";
  out += kEol;
  PutPoints(out, "v ", doc.VERT.get(), doc.NumVert);
  out += kEol;

  out += "# ... ";
  PutInt(out, doc.NumVtnm);
  out += " normals ...";
  out += kEol;
  PutPoints(out, "vn ", doc.VTNM.get(), doc.NumVtnm);
  out += kEol;

  out += "# ... ";
  PutInt(out, doc.NumFvrt);
  out += " texture vertices ...";
  out += kEol;
  for (int32_t i = 0; i < doc.NumFvrt; ++i) {
    out += "vt ";
    PutNumber(out, doc.FVRT[i].Tx);
    out += ' ';
    PutNumber(out, doc.FVRT[i].Ty);
    out += kEol;
  }
  out += kEol;

  out += "# ... and finally ";
  PutInt(out, doc.NumFace);
  out += " faces:";
  out += kEol;
  for (int32_t f = 0; f < doc.NumFace; ++f) {
    out += "f ";
    const TCornerRange corners = doc.FaceCorners(doc.FACE[f]);
    for (int32_t r = corners.First; r < corners.First + corners.Count; ++r) {
      PutInt(out, int64_t{doc.FVRT[r].Vert} + 1);
      out += '/';
      PutInt(out, int64_t{r} + 1);
      out += '/';
      PutInt(out, int64_t{doc.FVRT[r].Vtnm} + 1);
      out += ' ';
    }
    out += kEol;
  }
  return out;
}

void ExportObj(const TMeshDocument& doc, const std::string& path) {
  // An index outside its array would make an OBJ that readers reject.
  const TMeshProblems problems = CheckMesh(doc);
  if (!problems.Indices.empty()) {
    throw EMeshCheck("Cannot export \"" + path +
                     "\": the mesh has indices out of range (tessavor-cli check lists them all):" +
                     ProblemLines(problems.Indices));
  }
  const std::string text = ObjText(doc);
  // The OBJ file is made again from the record files by one command: the temporary file
  // and rename keep it whole, but it is not worth a flush to disk that costs more than the
  // export itself.
  WriteFileAtomic(path, text.data(), text.size(), TFileSync::Replace);
}
