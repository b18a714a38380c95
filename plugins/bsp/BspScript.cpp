#include "plugins/bsp/BspScript.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace bsp {

namespace {

// The compiler reads every integer element through one rule in which 0xFFFFFF means
// "not an integer", so that value has to travel as four bytes.
constexpr uint32_t kNotAnInteger = 0x00FFFFFFu;

TElement BytesOf(uint32_t bits) {
  std::string t;
  for (int i = 0; i < 4; ++i) {
    if (i) t += ' ';
    t += std::to_string((bits >> (8 * i)) & 0xFFu);
  }
  return {"BYTE", t, 4};
}

// Accumulates the elements of one record and writes them as counted items, starting a
// new line whenever the item keyword changes.
class TRecordWriter {
public:
  explicit TRecordWriter(std::string& out) : m_out(out) {}
  ~TRecordWriter() { Flush(); }

  void Add(const TElement& e) {
    if (m_item != e.item) Flush();
    m_item = e.item;
    if (!m_text.empty()) m_text += ' ';
    m_text += e.text;
    m_count += e.count;
  }
  void Float(float v) { Add(FloatElement(v)); }
  void Int(int32_t v) { Add(IntElement(v)); }

  void Flush() {
    if (m_count == 0) return;
    m_out += m_item;
    m_out += " [";
    m_out += std::to_string(m_count);
    m_out += "] ";
    m_out += m_text;
    m_out += '\n';
    m_text.clear();
    m_count = 0;
    m_item = nullptr;
  }

private:
  std::string& m_out;
  const char* m_item = nullptr;
  std::string m_text;
  int m_count = 0;
};

void Open(std::string& out, const char* keyword, const char* id) {
  out += keyword;
  out += ' ';
  out += id;
  out += "\n{\n";
}

void Close(std::string& out) { out += "}\n"; }

void Point(std::string& out, const TPoint3& v) {
  TRecordWriter w(out);
  w.Float(v.x);
  w.Float(v.y);
  w.Float(v.z);
}

}  // namespace

TElement FloatElement(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  if (bits == kNotAnInteger) return BytesOf(bits);
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);  // shortest round trip
  std::string text(buf, res.ptr);
  const bool plain =
      res.ec == std::errc() && text.find_first_not_of("-0123456789.") == std::string::npos;
  if (!plain) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "$%08X", bits);
    return {"LONG", hex, 1};
  }
  if (text.find('.') == std::string::npos) text += ".0";
  return {"FLOAT", text, 1};
}

TElement IntElement(int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  if (bits == kNotAnInteger) return BytesOf(bits);
  return {"LONG", std::to_string(value), 1};
}

bool IsScriptSafeName(const std::string& name) {
  if (name.empty() || name.front() == ' ' || name.back() == ' ') return false;
  if (name.find("//") != std::string::npos || name.find("  ") != std::string::npos) {
    return false;
  }
  for (unsigned char c : name) {
    if (c < 32 || c == 127 || c == '"' || c == ',' || c == '(' || c == ')' || c == '\\') {
      return false;
    }
  }
  return true;
}

std::string ComposeScript(const TTree& tree, const std::string& outputName) {
  const TMesh& m = tree.Mesh;
  std::string s;
  s.reserve(64 + 40 * (m.Vert.size() + m.Vtnm.size() + m.Fvrt.size() + tree.Nodes.size()) +
            80 * m.Face.size() + 12 * tree.FaceIndex.size());
  s += "// Written by the tree builder: the mesh of the tree (the faces, or their pieces\n";
  s += "// where a splitting plane cut them) and the tree itself in FORM TREE.\n";
  s += "IFF \"" + outputName + "\"\n{\n";
  Open(s, "FORM", "MESH");

  Open(s, "CHUNK", "VERT");
  for (const TPoint3& v : m.Vert) Point(s, v);
  Close(s);

  Open(s, "CHUNK", "VTNM");
  for (const TPoint3& v : m.Vtnm) Point(s, v);
  Close(s);

  Open(s, "CHUNK", "FVRT");
  for (const TFvrtRecord& c : m.Fvrt) {
    TRecordWriter w(s);
    w.Int(c.Vert);
    w.Int(c.Vtnm);
    w.Float(c.Tx);
    w.Float(c.Ty);
  }
  Close(s);

  Open(s, "CHUNK", "FACE");
  for (const TFaceRecord& f : m.Face) {
    TRecordWriter w(s);
    w.Int(f.Vtnm);
    w.Float(f.D);
    w.Int(f.Mat);
    w.Int(f.FirstFvrt);
    w.Int(f.FvrtCount);
    w.Int(f.Reserved1);
    w.Int(static_cast<int32_t>(f.Reserved2));
  }
  Close(s);

  Open(s, "CHUNK", "RADI");
  TRecordWriter(s).Float(m.Radius);
  Close(s);

  Open(s, "FORM", "TREE");
  Open(s, "CHUNK", "INFO");
  {
    TRecordWriter w(s);
    w.Int(1);
    w.Int(tree.Root);
    w.Int(static_cast<int32_t>(tree.Nodes.size()));
    w.Int(static_cast<int32_t>(tree.Leaves.size()));
    w.Int(static_cast<int32_t>(tree.FaceIndex.size()));
  }
  Close(s);

  Open(s, "CHUNK", "NODE");
  for (const TNode& n : tree.Nodes) {
    TRecordWriter w(s);
    w.Float(n.Nx);
    w.Float(n.Ny);
    w.Float(n.Nz);
    w.Float(n.D);
    w.Int(n.Front);
    w.Int(n.Back);
    w.Int(n.FirstFace);
    w.Int(n.FaceCount);
  }
  Close(s);

  Open(s, "CHUNK", "LEAF");
  for (const TLeaf& l : tree.Leaves) {
    TRecordWriter w(s);
    w.Int(l.FirstFace);
    w.Int(l.FaceCount);
  }
  Close(s);

  Open(s, "CHUNK", "FIDX");
  for (size_t i = 0; i < tree.FaceIndex.size(); i += 16) {
    TRecordWriter w(s);
    for (size_t j = i; j < tree.FaceIndex.size() && j < i + 16; ++j) w.Int(tree.FaceIndex[j]);
  }
  Close(s);

  Close(s);  // FORM TREE
  Close(s);  // FORM MESH
  Close(s);  // IFF
  return s;
}

}  // namespace bsp
