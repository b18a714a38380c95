#include "iffc/Decompiler.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <set>

#include "iff/IffId.h"
#include "iff/IffReader.h"
#include "iffc/ScriptText.h"
#include "iffc/TreArchive.h"
#include "util/Crc32.h"
#include "util/FileIo.h"
#include "util/Paths.h"

namespace {

constexpr uint64_t kMaxInput = 0x7FFFFFFF;
// The compiler's FORM table has 2049 levels; deeper FORMs are written as chunks.
constexpr int kMaxFormDepth = 2000;
constexpr size_t kBytesPerLine = 16;
constexpr size_t kFloatsPerLine = 8;
constexpr size_t kMaxIndent = 16;
constexpr uint32_t kNotAnInteger = 0xFFFFFF;

// A character that survives tokenising and normalisation in an unquoted word: printable,
// no blank, none of the characters normalisation removes or changes, no quote.
bool WordCharacter(uint8_t c) {
  return c > 0x20 && c < 0x7F && c != ',' && c != '(' && c != ')' && c != '"' && c != '/';
}

bool SpellableChunkId(const uint8_t* id) {
  for (int i = 0; i < 4; ++i) {
    if (!WordCharacter(id[i]) || id[i] == '$') return false;
  }
  return true;
}

// A FORM type is the first four characters of a word, zero-padded.
bool SpellableFormType(const uint8_t* type) {
  int k = 0;
  while (k < 4 && type[k] != 0) {
    if (!WordCharacter(type[k])) return false;
    ++k;
  }
  for (int i = k; i < 4; ++i) {
    if (type[i] != 0) return false;
  }
  return true;
}

std::string Hex8(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%08X", v);
  return buf;
}

struct TNode {
  enum class Kind { Form, Chunk, Raw } kind = Kind::Raw;
  uint32_t begin = 0;      // first byte of the item (its id), or of the raw bytes
  uint32_t dataBegin = 0;  // a FORM's first child / a chunk's first data byte / raw start
  uint32_t dataEnd = 0;    // end of the FORM's content / the chunk's data / the raw bytes
  int depth = 0;
  std::vector<int> children;  // FORM only, in file order (the last may be Raw)
};

// The item structure of the bytes as the compiler can reproduce it.
class TStructure {
public:
  explicit TStructure(std::span<const uint8_t> b) : m_b(b) { Build(); }
  const std::vector<TNode>& Nodes() const { return m_nodes; }
  const std::vector<int>& Top() const { return m_top; }

private:
  struct TFrame {
    int node;  // -1: the top level
    uint32_t pos;
    uint32_t end;
    int depth;
  };

  std::vector<int>& ChildrenOf(int node) {
    return node < 0 ? m_top : m_nodes[static_cast<size_t>(node)].children;
  }

  int Add(TNode n) {
    m_nodes.push_back(std::move(n));
    return static_cast<int>(m_nodes.size() - 1);
  }

  void Build() {
    std::vector<TFrame> stack{{-1, 0, static_cast<uint32_t>(m_b.size()), 0}};
    while (!stack.empty()) {
      TFrame& f = stack.back();
      if (f.end - f.pos >= 8) {
        const uint8_t* p = m_b.data() + f.pos;
        const uint32_t size = GetBE(p + 4);
        const uint32_t avail = f.end - f.pos - 8;
        // An odd item is followed by a zero pad byte, as the compiler writes it.
        const bool fits = size <= avail && (size % 2 == 0 || (size < avail && p[8 + size] == 0));
        if (fits) {
          const uint32_t extent = 8 + size + (size & 1);
          TNode n;
          n.begin = f.pos;
          n.depth = f.depth;
          const int parent = f.node;
          f.pos += extent;
          if (std::memcmp(p, "FORM", 4) == 0 && size >= 4 && size % 2 == 0 &&
              SpellableFormType(p + 8) && f.depth < kMaxFormDepth) {
            n.kind = TNode::Kind::Form;
            n.dataBegin = n.begin + 12;
            n.dataEnd = n.begin + 8 + size;
            const int id = Add(std::move(n));
            ChildrenOf(parent).push_back(id);
            const TNode& added = m_nodes[static_cast<size_t>(id)];
            stack.push_back({id, added.dataBegin, added.dataEnd, added.depth + 1});
          } else {
            n.kind = TNode::Kind::Chunk;
            n.dataBegin = n.begin + 8;
            n.dataEnd = n.begin + 8 + size;
            const int id = Add(std::move(n));
            ChildrenOf(parent).push_back(id);
          }
          continue;
        }
      }
      // Whatever is left is written as plain bytes: inside a FORM they come after its
      // last child, where the compiler counts them into the FORM's size (an even count,
      // since the FORM's size and every child's extent are even).
      if (f.pos < f.end) {
        TNode raw;
        raw.begin = raw.dataBegin = f.pos;
        raw.dataEnd = f.end;
        raw.depth = f.depth;
        const int parent = f.node;
        const int id = Add(std::move(raw));
        ChildrenOf(parent).push_back(id);
      }
      stack.pop_back();
    }
  }

  std::span<const uint8_t> m_b;
  std::vector<TNode> m_nodes;
  std::vector<int> m_top;
};

class TScriptBuilder {
public:
  explicit TScriptBuilder(std::span<const uint8_t> b) : m_b(b) {}

  std::string& Text() { return m_out; }
  bool UsedFvrt() const { return m_usedFvrt; }
  bool UsedFace() const { return m_usedFace; }

  void Line(int depth, std::string_view text) {
    m_out.append(std::min<size_t>(static_cast<size_t>(std::max(depth, 0)), kMaxIndent) * 2, ' ');
    m_out.append(text);
    m_out += '\n';
  }

  void Bytes(int depth, const uint8_t* p, size_t n, std::string_view comment = {}) {
    while (n > 0) {
      const size_t k = std::min(n, kBytesPerLine);
      std::string line = k == 1 ? "BYTE" : "BYTE [" + std::to_string(k) + "]";
      for (size_t i = 0; i < k; ++i) line += ' ' + std::to_string(p[i]);
      if (!comment.empty()) line += comment;
      Line(depth, line);
      p += k;
      n -= k;
    }
  }

  // Chunk data as readable items.
  void Data(int depth, const uint8_t* id, uint32_t begin, uint32_t end, bool meshChunk) {
    const uint8_t* p = m_b.data() + begin;
    const size_t n = end - begin;
    if (meshChunk) {
      if (Records(depth, id, p, n)) return;
    }
    Generic(depth, p, n);
  }

private:
  static bool LongText(uint32_t v, std::string& text) {
    if (v == kNotAnInteger) return false;  // the language reads 16777215 as "not an integer"
    text = std::to_string(static_cast<int32_t>(v));
    return true;
  }

  static bool FieldText(const uint8_t* p, char kind, std::string& text) {
    const uint32_t v = GetLE(p);
    if (kind == 'L') return LongText(v, text);
    float f;
    std::memcpy(&f, &v, 4);
    return FloatScriptText(f, text);
  }

  // VERT, VTNM, FVRT, FACE, RADI: one line per record; false for other ids.
  bool Records(int depth, const uint8_t* id, const uint8_t* p, size_t n) {
    const char* fields = nullptr;
    const char* prefix = nullptr;
    if (std::memcmp(id, "VERT", 4) == 0 || std::memcmp(id, "VTNM", 4) == 0) {
      fields = "FFF";
      prefix = "FLOAT [3]";
    } else if (std::memcmp(id, "RADI", 4) == 0) {
      fields = "F";
      prefix = "FLOAT";
    } else if (std::memcmp(id, "FVRT", 4) == 0) {
      fields = "LLFF";
      prefix = "FVRT_RECORD";
    } else if (std::memcmp(id, "FACE", 4) == 0) {
      fields = "LFLLLLL";
      prefix = "FACE_RECORD";
    } else {
      return false;
    }
    const size_t recordSize = 4 * std::strlen(fields);
    const size_t count = n / recordSize;
    std::string line;
    std::string value;
    for (size_t r = 0; r < count; ++r) {
      const uint8_t* rec = p + r * recordSize;
      const std::string comment = " // record " + std::to_string(r);
      line = prefix;
      bool ok = true;
      for (size_t f = 0; fields[f] != 0 && ok; ++f) {
        ok = FieldText(rec + 4 * f, fields[f], value);
        line += ' ';
        line += value;
      }
      if (ok) {
        m_usedFvrt |= prefix[1] == 'V';
        m_usedFace |= prefix[1] == 'A';
        Line(depth, line + comment);
      } else {
        // A field the language cannot spell: the record keeps its line, as bytes.
        std::string bytes = "BYTE [" + std::to_string(recordSize) + "]";
        for (size_t i = 0; i < recordSize; ++i) bytes += ' ' + std::to_string(rec[i]);
        Line(depth, bytes + comment);
      }
    }
    Bytes(depth, p + count * recordSize, n - count * recordSize);
    return true;
  }

  static bool PlausibleFloat(const uint8_t* p, std::string& text) {
    const uint32_t bits = GetLE(p);
    float f;
    std::memcpy(&f, &bits, 4);
    const float a = std::fabs(f);
    if (bits != 0 && !(a >= 1e-5f && a <= 1e7f)) return false;
    return FloatScriptText(f, text);
  }

  // Text the CSTRING statement carries: printable, no character normalisation changes,
  // not starting with "[" (a count), not blank, at most 255 characters.
  static bool TextCharacter(const uint8_t* p, size_t i, size_t n) {
    const uint8_t c = p[i];
    if (c < 0x20 || c > 0x7E || c == '"' || c == ',' || c == '(' || c == ')') return false;
    return !(c == '/' && ((i + 1 < n && p[i + 1] == '/') || (i > 0 && p[i - 1] == '/')));
  }

  void Generic(int depth, const uint8_t* p, size_t n) {
    std::vector<uint8_t> pending;
    auto flush = [&] {
      Bytes(depth, pending.data(), pending.size());
      pending.clear();
    };
    size_t noTextUntil = 0;
    std::string value;
    size_t i = 0;
    while (i < n) {
      if (i >= noTextUntil) {
        size_t e = i;
        while (e < n && TextCharacter(p, e, n)) ++e;
        const size_t len = e - i;
        bool blank = true;
        for (size_t k = i; k < e && blank; ++k) blank = p[k] == ' ';
        if (len >= 3 && len <= 255 && e < n && p[e] == 0 && p[i] != '[' && !blank) {
          flush();
          std::string text(reinterpret_cast<const char*>(p + i), len);
          Line(depth, "CSTRING \"" + text + "\"");
          i = e + 1;
          continue;
        }
        noTextUntil = len > 255 ? std::max(i + 1, e - 255) : std::max(i + 1, e);
      }
      if (n - i >= 4 && PlausibleFloat(p + i, value)) {
        flush();
        std::vector<std::string> run{value};
        size_t j = i + 4;
        while (n - j >= 4 && run.size() < kFloatsPerLine && PlausibleFloat(p + j, value)) {
          run.push_back(value);
          j += 4;
        }
        std::string line = run.size() == 1 ? "FLOAT" : "FLOAT [" + std::to_string(run.size()) + "]";
        for (const std::string& v : run) line += ' ' + v;
        Line(depth, line);
        i = j;
        continue;
      }
      pending.push_back(p[i++]);
      if (pending.size() == kBytesPerLine) flush();
    }
    flush();
  }

  std::span<const uint8_t> m_b;
  std::string m_out;
  bool m_usedFvrt = false;
  bool m_usedFace = false;
};

bool IsMeshChunk(const uint8_t* id) {
  for (const char* name : {"VERT", "VTNM", "FVRT", "FACE", "RADI"}) {
    if (std::memcmp(id, name, 4) == 0) return true;
  }
  return false;
}

// A name the script can carry as a quoted word: printable, nothing normalisation changes.
bool SpellableName(std::string_view name) {
  if (name.empty() || name.size() > 255 || name.front() == ' ' || name.back() == ' ') return false;
  if (name.find("//") != std::string_view::npos || name.find("  ") != std::string_view::npos)
    return false;
  for (const char ch : name) {
    const auto c = static_cast<uint8_t>(ch);
    if (c < 0x20 || c > 0x7E || c == '"' || c == ',' || c == '(' || c == ')') return false;
  }
  return true;
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::string SafeFileName(const std::string& name) {
  std::string r;
  for (const char c : name) {
    const bool keep = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '-' || c == '_';
    r += keep ? c : '_';
  }
  if (r.empty() || r == "." || r == "..") r = "_" + r;
  return r;
}

std::vector<uint8_t> ReadBounded(const std::string& fileName) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(fileName, ec);
  if (!ec && size > kMaxInput) {
    throw EDecompiler("Decompiler: \"" + fileName + "\" has " + std::to_string(size) +
                      " bytes, more than the largest file the reader accepts (2147483647)");
  }
  std::vector<uint8_t> data = ReadWholeFile(fileName);
  if (data.size() > kMaxInput)
    throw EDecompiler("Decompiler: \"" + fileName + "\" grew past 2147483647 bytes while read");
  return data;
}

bool LooksLikeTre(std::span<const uint8_t> b) {
  return b.size() >= kTreHeaderSize && std::memcmp(b.data(), "FORM", 4) != 0 &&
         GetLE(b.data() + 4) == 1 && GetLE(b.data() + 8) == 0 && GetLE(b.data() + 12) == 0;
}

std::string BaseName(const std::string& path) {
  const size_t p = path.find_last_of("\\/");
  return p == std::string::npos ? path : path.substr(p + 1);
}

std::vector<uint8_t> Pack(std::span<const uint8_t> data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> out(size);
  static const uint8_t empty = 0;
  if (compress2(out.data(), &size, data.empty() ? &empty : data.data(),
                static_cast<uLong>(data.size()), Z_DEFAULT_COMPRESSION) != Z_OK) {
    return {};
  }
  out.resize(size);
  return out;
}

TDecompileResult DecompileTre(std::span<const uint8_t> b, const std::string& fileName,
                              TDecompileResult r) {
  const TTreDirectory dir = ParseTreDirectory(b, b.size(), "\"" + fileName + "\"");
  std::set<std::string> seen;
  for (size_t i = 0; i < dir.Entries.size(); ++i) {
    const TTreDirEntry& e = dir.Entries[i];
    if (!e.Problem.empty()) throw ETreArchive("TRE archive \"" + fileName + "\": " + e.Problem);
    if (!SpellableName(e.Name)) {
      throw EDecompiler("Decompiler: entry " + std::to_string(i) + " of \"" + fileName +
                        "\" has a name a script cannot spell");
    }
    if (!seen.insert(UpperCase(e.Name)).second) {
      throw EDecompiler("Decompiler: \"" + fileName + "\" holds the name \"" + e.Name +
                        "\" twice; a script finds only the first entry of a name");
    }
  }
  std::string base = r.ScriptPath;
  if (base.size() > 4 && base.compare(base.size() - 4, 4, ".txt") == 0)
    base.resize(base.size() - 4);
  const std::string folder = base + ".blocks";
  const std::string absFolder = std::filesystem::absolute(folder).lexically_normal().string();
  if (!SpellableName(absFolder)) {
    throw EDecompiler("Decompiler: the folder \"" + absFolder +
                      "\" cannot be written in a script; choose another with -o");
  }
  std::filesystem::create_directories(folder);

  // The compiler writes the blocks one after the other behind the directory, in BLOCK
  // order; the script keeps the archive's order of blocks in the file.
  std::vector<size_t> order;
  for (size_t i = 0; i < dir.Entries.size(); ++i) {
    if (!dir.Entries[i].NeverWritten()) order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&](size_t x, size_t y) {
    return dir.Entries[x].Offset < dir.Entries[y].Offset;
  });
  uint64_t expected = kTreHeaderSize + uint64_t{kTreEntrySize} * dir.Count;
  bool layout = true;
  for (const size_t i : order) {
    const TTreDirEntry& e = dir.Entries[i];
    layout &= e.Offset == expected;
    expected = uint64_t{e.Offset} + e.BytesInFile();
  }
  layout &= expected == b.size() ||
            (order.empty() && b.size() == kTreHeaderSize + uint64_t{kTreEntrySize} * dir.Count);
  for (size_t i = 0; i < dir.Entries.size(); ++i) {
    // The compiler writes the name's checksum and zeros behind the name.
    const uint8_t* raw = b.data() + kTreHeaderSize + i * kTreEntrySize;
    const TTreDirEntry& e = dir.Entries[i];
    layout &= e.Crc == StrCrc32(e.Name);
    for (size_t k = 16 + e.Name.size(); k < kTreEntrySize; ++k) layout &= raw[k] == 0;
  }
  if (!layout) {
    r.Identical = false;
    r.Notes.push_back(
        "the archive's layout differs from the one this compiler writes (gaps, order, checksums or "
        "bytes behind the names); recompiling gives an equivalent archive");
  }

  std::string s = "// Decompiled from " + BaseName(fileName) + " by iffc --decompile.\n";
  s += "// The blocks are files in " + absFolder + "\n";
  s += "$PATH " + Quoted(absFolder) + "\n";
  std::string outName = SafeFileName(BaseName(fileName));
  s += "TRE " + Quoted(outName) + "\n{\n";
  for (const TTreDirEntry& e : dir.Entries)
    s.append("  TREFILE ").append(Quoted(e.Name)).append("\n");
  std::set<std::string> files;
  for (const size_t i : order) {
    const TTreDirEntry& e = dir.Entries[i];
    std::string file = SafeFileName(e.Name);
    if (!files.insert(file).second) file.insert(0, std::to_string(i) + "_");
    files.insert(file);
    const std::span<const uint8_t> stored = b.subspan(e.Offset, e.BytesInFile());
    std::string item = "FILE";
    std::string sizeText;
    std::vector<uint8_t> content(stored.begin(), stored.end());
    if (e.StoredSize != 0) {
      const uint32_t size = e.Size;
      sizeText = size > 0x7FFFFFFF ? Hex8(size) : std::to_string(size);
      if (size == 0xFFFFFFFF || e.StoredSize == e.Size) {
        r.Identical = false;
        r.Notes.push_back(
            "block " + e.Name +
            ": its sizes cannot be given by a BLOCK line; recompiling gives an equivalent entry");
      }
      try {
        std::vector<uint8_t> unpacked = UnpackTreBlock(e, stored);
        if (Pack(unpacked) != content) {
          r.Identical = false;
          r.Notes.push_back(
              "block " + e.Name +
              " was packed by another packer; recompiling packs it again (same unpacked contents)");
        }
        content = std::move(unpacked);
        item = "FILE.Z";
      } catch (const ETreArchive&) {
        // Not a zlib stream: the stored bytes are the block, SIZE keeps the entry's size.
      }
    }
    WriteFileAtomic(std::string(folder).append("/").append(file), content.data(), content.size(),
                    TFileSync::Replace);
    s.append("  BLOCK ").append(Quoted(e.Name));
    if (!sizeText.empty()) s.append(" ").append(sizeText);
    s.append("\n  {\n    ").append(item).append(" ").append(Quoted(file)).append("\n  }\n");
  }
  s += "}\n";
  WriteFileAtomic(r.ScriptPath, s.data(), s.size(), TFileSync::Replace);
  return r;
}

}  // namespace

bool FloatScriptText(float value, std::string& text) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  if (res.ec != std::errc()) return false;
  text.assign(buf, res.ptr);
  float back;
  if (!ParseScriptFloat(text, back)) return false;
  // The same bits, not the same value: -0 and each NaN payload must survive as they are.
  return std::bit_cast<uint32_t>(back) == std::bit_cast<uint32_t>(value);
}

std::string DecompileIffBytes(std::span<const uint8_t> b, const std::string& outputName) {
  const TStructure st(b);
  const std::vector<TNode>& nodes = st.Nodes();
  TScriptBuilder sb(b);
  sb.Line(0, "IFF " + Quoted(outputName));
  sb.Line(0, "{");
  // Depth-first without recursion: each entry is a node to open, or (close = true) the
  // brace that ends it.
  struct TStep {
    int node;
    bool close;
  };
  std::vector<TStep> todo;
  for (auto it = st.Top().rbegin(); it != st.Top().rend(); ++it) todo.push_back({*it, false});
  while (!todo.empty()) {
    const TStep step = todo.back();
    todo.pop_back();
    const TNode& n = nodes[static_cast<size_t>(step.node)];
    const int d = n.depth + 1;
    if (step.close) {
      sb.Line(d, "}");
      continue;
    }
    const uint8_t* p = b.data() + n.begin;
    switch (n.kind) {
      case TNode::Kind::Raw:
        sb.Bytes(d, p, n.dataEnd - n.dataBegin);
        break;
      case TNode::Kind::Chunk: {
        sb.Line(d,
                "CHUNK " + (SpellableChunkId(p) ? std::string(reinterpret_cast<const char*>(p), 4)
                                                : Hex8(GetLE(p))));
        sb.Line(d, "{");
        sb.Data(d + 1, p, n.dataBegin, n.dataEnd, IsMeshChunk(p));
        sb.Line(d, "}");
        break;
      }
      case TNode::Kind::Form: {
        const auto* type = reinterpret_cast<const char*>(p + 8);
        sb.Line(d, "FORM " + std::string(type, strnlen(type, 4)));
        sb.Line(d, "{");
        todo.push_back({step.node, true});
        for (auto it = n.children.rbegin(); it != n.children.rend(); ++it)
          todo.push_back({*it, false});
        break;
      }
    }
  }
  sb.Line(0, "}");
  std::string head;
  if (sb.UsedFvrt())
    head += "$TYPE FVRT_RECORD = DATA [4] \\ LONG %1% \\ LONG %2% \\ FLOAT %3% \\ FLOAT %4% \\\\\n";
  if (sb.UsedFace()) {
    head +=
        "$TYPE FACE_RECORD = DATA [7] \\ LONG %1% \\ FLOAT %2% \\ LONG %3% \\ LONG %4% \\ LONG %5% "
        "\\ LONG %6% \\ LONG %7% \\\\\n";
  }
  return head + sb.Text();
}

TDecompileResult DecompileFile(const std::string& fileName, const std::string& scriptPath) {
  TDecompileResult r;
  r.ScriptPath = scriptPath.empty() ? fileName + ".txt" : scriptPath;
  const std::vector<uint8_t> bytes = ReadBounded(fileName);
  if (LooksLikeTre(bytes)) {
    r.IsTre = true;
    return DecompileTre(bytes, fileName, std::move(r));
  }
  // The reader's verdict first: a file it rejects is damaged, and no script is written.
  { const TIffReader check(fileName); }
  const std::string name = SafeFileName(BaseName(fileName));
  std::string script = "// Decompiled from " + BaseName(fileName) + " by iffc --decompile.\n";
  script += DecompileIffBytes(bytes, name);
  WriteFileAtomic(r.ScriptPath, script.data(), script.size(), TFileSync::Replace);
  return r;
}
