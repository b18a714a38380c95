#include "mesh/AscImport.h"

#include <cmath>
#include <filesystem>

#include "mesh/NumberText.h"
#include "util/Exception.h"
#include "util/FileIo.h"
#include "util/Paths.h"
#include "util/StrTools.h"

std::string DefaultAscPath() { return HomeFile("test.asc"); }

namespace {

// Reads a text line by line as the runtime's text files do: LF or CR LF ends a line, and
// reading at the end gives an empty line.
class TLineReader {
public:
  explicit TLineReader(std::string_view text) : m_text(text) {}
  bool Eof() const { return m_pos >= m_text.size(); }
  int LineNumber() const { return m_line; }
  std::string_view ReadLn() {
    if (Eof()) return {};
    ++m_line;
    const size_t end = m_text.find('\n', m_pos);
    std::string_view line =
        m_text.substr(m_pos, end == std::string_view::npos ? std::string_view::npos : end - m_pos);
    m_pos = end == std::string_view::npos ? m_text.size() : end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
  }

private:
  std::string_view m_text;
  size_t m_pos = 0;
  int m_line = 0;
};

// The runtime's Copy: 1-based start, a start below 1 counts as 1, the count is cut at the
// end of the text, a count below 1 gives nothing.
std::string_view Copy(std::string_view s, int64_t index, int64_t count) {
  if (index < 1) index = 1;
  if (count < 1 || index > static_cast<int64_t>(s.size())) return {};
  return s.substr(static_cast<size_t>(index - 1), static_cast<size_t>(count));
}

// 1-based position of the first `c`, 0 when there is none.
int64_t Pos(char c, std::string_view s) {
  const size_t p = s.find(c);
  return p == std::string_view::npos ? 0 : static_cast<int64_t>(p) + 1;
}

// Between the letter at `from` (and its colon) and the position `to`.
std::string_view Field(std::string_view line, int64_t from, int64_t to) {
  return Copy(line, from + 2, to - from - 2);
}

class TAscParser {
public:
  TAscParser(std::string_view text, const std::string& name) : m_in(text), m_name(name) {}

  TAscMesh Run(const std::function<void()>& progress) {
    std::string current;
    for (;;) {
      if (current != "Vertex list:") current = std::string(m_in.ReadLn());
      if (progress) progress();
      current = TrimControl(current);
      if (current == "Vertex list:") {
        m_sawVertexList = true;
        std::string_view line = m_in.ReadLn();
        while (line != "Face list:") {
          VertexLine(line);
          line = m_in.ReadLn();
        }
        current = std::string(m_in.ReadLn());
        while (current != "Vertex list:" && !m_in.Eof()) {
          if (!current.empty() && current[0] == 'F') FaceLine(current);
          m_in.ReadLn();
          current = std::string(m_in.ReadLn());
        }
      }
      if (m_in.Eof()) break;
    }
    // Without a vertex block this is no ASC scene (an OBJ, a binary, an empty file, or
    // lines ended by CR alone): importing it would replace the mesh with nothing.
    if (!m_sawVertexList) {
      throw EAscImport(
          m_name + ": no \"Vertex list:\" line, so this is not an ASC scene; nothing was imported");
    }
    return std::move(m_mesh);
  }

private:
  [[noreturn]] void Fail(const Exception& e) const {
    const std::string where = m_name + ", line " + std::to_string(m_in.LineNumber()) + ": ";
    if (dynamic_cast<const EConvertError*>(&e)) throw EConvertError(where + e.what());
    throw EMeshDocument(where + e.what());
  }

  float Float(std::string_view text) const {
    double value = 0.0;
    try {
      value = ParseTypedFloat(TrimControl(text));
    } catch (const EConvertError& e) {
      Fail(e);
    }
    // Beyond the float range the record would hold infinity, which no mesh can use.
    const float f = static_cast<float>(value);
    if (!std::isfinite(f)) {
      Fail(EConvertError("'" + QuoteForMessage(TrimControl(text)) +
                         "' is beyond the range of a floating point value"));
    }
    return f;
  }

  int32_t Int(std::string_view text) const {
    try {
      return ParseTypedInt(TrimControl(text));
    } catch (const EConvertError& e) {
      Fail(e);
    }
  }

  void VertexLine(std::string_view line) {
    const int64_t pX = Pos('X', line), pY = Pos('Y', line), pZ = Pos('Z', line);
    const TPoint3 p{Float(Field(line, pX, pY)), Float(Field(line, pY, pZ)),
                    Float(Copy(line, pZ + 2, INT64_MAX))};
    if (m_mesh.Verts.size() >= static_cast<size_t>(MeshCapacity)) {
      Fail(EMeshDocument("VERT is full: it holds at most " + std::to_string(MeshCapacity) +
                         " records"));
    }
    m_mesh.Verts.push_back(p);
  }

  void FaceLine(std::string_view line) {
    const int64_t pA = Pos('A', line), pB = Pos('B', line), pC = Pos('C', line);
    const int64_t pA2 = PosFrom("A", line, static_cast<int>(pC));
    const int32_t a = Int(Field(line, pA, pB));
    const int32_t b = Int(Field(line, pB, pC));
    const int32_t c = Int(Field(line, pC, pA2));
    if (m_mesh.Corners.size() + 3 > static_cast<size_t>(MeshCapacity)) {
      Fail(EMeshDocument("FVRT is full: it holds at most " + std::to_string(MeshCapacity) +
                         " records"));
    }
    m_mesh.Corners.insert(m_mesh.Corners.end(), {a, b, c});
  }

  TLineReader m_in;
  const std::string& m_name;
  bool m_sawVertexList = false;
  TAscMesh m_mesh;
};

}  // namespace

TAscMesh ParseAsc(std::string_view text, const std::string& name,
                  const std::function<void()>& progress) {
  return TAscParser(text, name).Run(progress);
}

void ApplyAsc(TMeshDocument& doc, const TAscMesh& mesh, int32_t mat) {
  {
    TMeshDocument::TLoadingScope loading(doc);
    for (TListLines* l :
         {&doc.VertexLines, &doc.NormalLines, &doc.CornerLines, &doc.FaceLines, &doc.MaterialLines})
      l->BeginUpdate();
    doc.NumVert = doc.NumVtnm = doc.NumFvrt = doc.NumFace = 0;
    doc.ClearRecordLists();
    // ParseAsc has kept every count within the capacity, so nothing below can fail.
    for (const TPoint3& p : mesh.Verts) {
      doc.AddVert(p);
      doc.AddVtnm({0.0f, 0.0f, 0.0f});
    }
    for (size_t i = 0; i + 2 < mesh.Corners.size(); i += 3) {
      for (size_t k = 0; k < 3; ++k) {
        const int32_t v = mesh.Corners[i + k];
        doc.AddFvrt({v, v, 0.0f, 0.0f});
      }
      // The FVRT list has one line per record, so its last three lines are the new corners.
      doc.AddFace({0, 0.0f, mat, doc.CornerLines.Count() - 3, 3, 0, kEditorReserved2});
    }
    for (TListLines* l :
         {&doc.VertexLines, &doc.NormalLines, &doc.CornerLines, &doc.FaceLines, &doc.MaterialLines})
      l->EndUpdate();
  }
  doc.OnListsChanged.Emit();
  doc.OnRepaint.Emit();
}

TAscMesh ReadAsc(const std::string& path, const std::function<void()>& progress) {
  const std::vector<uint8_t> bytes = ReadWholeFile(path, kMaxAscFileSize);
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  const std::string name = std::filesystem::path(path).filename().string();
  return ParseAsc(text, name, progress);
}

void ImportAsc(TMeshDocument& doc, const std::string& path, int32_t mat,
               const std::function<void()>& progress) {
  ApplyAsc(doc, ReadAsc(path, progress), mat);
}
