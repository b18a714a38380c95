#include "iffc/Decompiler.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>

#include "iff/IffId.h"
#include "iff/IffReader.h"
#include "iffc/Compiler.h"
#include "iffc/ScriptText.h"
#include "iffc/TreArchive.h"
#include "util/Crc32.h"
#include "util/FileIo.h"
#include "util/Paths.h"
#include "util/StrTools.h"

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

// True when `text` reads back (by the script language's FLOAT rule) to exactly the bits of
// `value`: -0 and each NaN payload must survive as they are.
bool FloatTextReadsBack(std::string_view text, float value) {
  float back;
  if (!ParseScriptFloat(text, back)) return false;
  return std::bit_cast<uint32_t>(back) == std::bit_cast<uint32_t>(value);
}

// The items of the bytes as the compiler can reproduce them, visited depth-first in file
// order without recursion and without keeping them: `v.Form(p, depth)` opens a FORM (p at
// its id), `v.End(depth)` closes it, `v.Chunk(p, dataBegin, dataEnd, depth)` is a chunk
// and `v.Raw(begin, end, depth)` bytes that fit no item.
template <class TVisitor>
void WalkItems(std::span<const uint8_t> b, TVisitor& v) {
  struct TFrame {
    bool form;  // false: the top level
    uint32_t pos;
    uint32_t end;
    int depth;
  };
  std::vector<TFrame> stack{{false, 0, static_cast<uint32_t>(b.size()), 0}};
  while (!stack.empty()) {
    TFrame& f = stack.back();
    if (f.end - f.pos >= 8) {
      const uint8_t* p = b.data() + f.pos;
      const uint32_t size = GetBE(p + 4);
      const uint32_t avail = f.end - f.pos - 8;
      // An odd item is followed by a zero pad byte, as the compiler writes it.
      const bool fits = size <= avail && (size % 2 == 0 || (size < avail && p[8 + size] == 0));
      if (fits) {
        const uint32_t begin = f.pos;
        const int depth = f.depth;
        f.pos += 8 + size + (size & 1);
        if (std::memcmp(p, "FORM", 4) == 0 && size >= 4 && size % 2 == 0 &&
            SpellableFormType(p + 8) && depth < kMaxFormDepth) {
          v.Form(p, depth);
          stack.push_back({true, begin + 12, begin + 8 + size, depth + 1});  // f dangles now
        } else {
          v.Chunk(p, begin + 8, begin + 8 + size, depth);
        }
        continue;
      }
    }
    // Whatever is left is written as plain bytes: inside a FORM they come after its last
    // child, where the compiler counts them into the FORM's size (an even count, since
    // the FORM's size and every child's extent are even).
    if (f.pos < f.end) v.Raw(f.pos, f.end, f.depth);
    if (f.form) v.End(f.depth - 1);
    stack.pop_back();
  }
}

// Appends the decimal text of `v`, without a temporary string.
template <class T>
void AppendNumber(std::string& out, T v) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

bool IsMeshChunk(const uint8_t* id) {
  for (const char* name : {"VERT", "VTNM", "FVRT", "FACE", "RADI"}) {
    if (std::memcmp(id, name, 4) == 0) return true;
  }
  return false;
}

// The script text, handed to the sink in pieces of about kPieceBytes, so that its memory
// is one piece whatever the file's size. Every line is built in place in the piece.
class TScriptBuilder {
public:
  using TSink = std::function<void(std::string_view)>;
  static constexpr size_t kPieceBytes = 1 << 20;

  TScriptBuilder(std::span<const uint8_t> b, TSink sink) : m_b(b), m_sink(std::move(sink)) {
    m_out.reserve(kPieceBytes + 4096);
  }

  void Flush() {
    if (!m_out.empty()) m_sink(m_out);
    m_out.clear();
  }

  void Line(int depth, std::string_view text) {
    Indent(depth);
    m_out.append(text);
    EndLine();
  }

  void Bytes(int depth, const uint8_t* p, size_t n) {
    while (n > 0) {
      const size_t k = std::min(n, kBytesPerLine);
      Indent(depth);
      ByteItems(p, k);
      EndLine();
      p += k;
      n -= k;
    }
  }

  // WalkItems' visitor: the statements of each item.
  void Form(const uint8_t* p, int depth) {
    const auto* type = reinterpret_cast<const char*>(p + 8);
    Indent(depth + 1);
    m_out.append("FORM ").append(type, strnlen(type, 4));
    EndLine();
    Line(depth + 1, "{");
  }
  void End(int depth) { Line(depth + 1, "}"); }
  void Chunk(const uint8_t* p, uint32_t dataBegin, uint32_t dataEnd, int depth) {
    Indent(depth + 1);
    m_out.append("CHUNK ");
    if (SpellableChunkId(p))
      m_out.append(reinterpret_cast<const char*>(p), 4);
    else
      m_out.append(Hex8(GetLE(p)));
    EndLine();
    Line(depth + 1, "{");
    const uint8_t* data = m_b.data() + dataBegin;
    const size_t n = dataEnd - dataBegin;
    if (!IsMeshChunk(p) || !Records(depth + 2, p, data, n)) Generic(depth + 2, data, n);
    Line(depth + 1, "}");
  }
  void Raw(uint32_t begin, uint32_t end, int depth) {
    Bytes(depth + 1, m_b.data() + begin, end - begin);
  }

private:
  void Indent(int depth) {
    m_out.append(std::min<size_t>(static_cast<size_t>(std::max(depth, 0)), kMaxIndent) * 2, ' ');
  }

  void EndLine() {
    m_out += '\n';
    if (m_out.size() >= kPieceBytes) Flush();
  }

  // "BYTE [k] v v v" for k bytes ("BYTE v" for one).
  void ByteItems(const uint8_t* p, size_t k) {
    if (k == 1) {
      m_out.append("BYTE");
    } else {
      m_out.append("BYTE [");
      AppendNumber(m_out, k);
      m_out += ']';
    }
    for (size_t i = 0; i < k; ++i) {
      m_out += ' ';
      AppendNumber(m_out, unsigned{p[i]});
    }
  }

  // Appends the field's text; false when the language cannot carry it.
  bool FieldText(const uint8_t* p, char kind) {
    const uint32_t v = GetLE(p);
    if (kind == 'L') {
      if (v == kNotAnInteger) return false;  // the language reads 16777215 as "not an integer"
      AppendNumber(m_out, static_cast<int32_t>(v));
      return true;
    }
    float f;
    std::memcpy(&f, &v, 4);
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, f);
    if (res.ec != std::errc()) return false;
    const std::string_view text(buf, static_cast<size_t>(res.ptr - buf));
    if (!FloatTextReadsBack(text, f)) return false;
    m_out.append(text);
    return true;
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
    for (size_t r = 0; r < count; ++r) {
      const uint8_t* rec = p + r * recordSize;
      Indent(depth);
      const size_t lineStart = m_out.size();
      m_out.append(prefix);
      bool ok = true;
      for (size_t f = 0; fields[f] != 0 && ok; ++f) {
        m_out += ' ';
        ok = FieldText(rec + 4 * f, fields[f]);
      }
      if (!ok) {
        // A field the language cannot spell: the record keeps its line, as bytes.
        m_out.resize(lineStart);
        ByteItems(rec, recordSize);
      }
      m_out.append(" // record ");
      AppendNumber(m_out, r);
      EndLine();
    }
    Bytes(depth, p + count * recordSize, n - count * recordSize);
    return true;
  }

  // The script text of a float that looks like one (zero, or a magnitude a model would
  // use) and that the language carries exactly; false otherwise.
  static bool PlausibleFloatText(const uint8_t* p, char (&text)[32], size_t& length) {
    const uint32_t bits = GetLE(p);
    float f;
    std::memcpy(&f, &bits, 4);
    const float a = std::fabs(f);
    if (bits != 0 && !(a >= 1e-5f && a <= 1e7f)) return false;
    const auto res = std::to_chars(text, text + sizeof text, f);
    if (res.ec != std::errc()) return false;
    length = static_cast<size_t>(res.ptr - text);
    return FloatTextReadsBack({text, length}, f);
  }

  // Text the CSTRING statement carries: printable, no character normalisation changes,
  // not starting with "[" (a count), not blank, at most 255 characters.
  static bool TextCharacter(const uint8_t* p, size_t i, size_t n) {
    const uint8_t c = p[i];
    if (c < 0x20 || c > 0x7E || c == '"' || c == ',' || c == '(' || c == ')') return false;
    return !(c == '/' && ((i + 1 < n && p[i + 1] == '/') || (i > 0 && p[i - 1] == '/')));
  }

  void Generic(int depth, const uint8_t* p, size_t n) {
    // Bytes that belong to no text or float run wait for their BYTE line here.
    size_t pendingFrom = 0;
    size_t pendingCount = 0;
    auto flush = [&] {
      Bytes(depth, p + pendingFrom, pendingCount);
      pendingCount = 0;
    };
    size_t noTextUntil = 0;
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
          Indent(depth);
          m_out.append("CSTRING \"").append(reinterpret_cast<const char*>(p + i), len) += '"';
          EndLine();
          i = e + 1;
          continue;
        }
        noTextUntil = len > 255 ? std::max(i + 1, e - 255) : std::max(i + 1, e);
      }
      // Up to a line's worth of floats the language can carry, formatted on the stack.
      char texts[kFloatsPerLine][32];
      size_t lengths[kFloatsPerLine];
      size_t run = 0;
      while (run < kFloatsPerLine && n - i >= 4 * run + 4 &&
             PlausibleFloatText(p + i + 4 * run, texts[run], lengths[run])) {
        ++run;
      }
      if (run > 0) {
        flush();
        Indent(depth);
        if (run == 1) {
          m_out.append("FLOAT");
        } else {
          m_out.append("FLOAT [");
          AppendNumber(m_out, run);
          m_out += ']';
        }
        for (size_t k = 0; k < run; ++k) {
          m_out += ' ';
          m_out.append(texts[k], lengths[k]);
        }
        EndLine();
        i += 4 * run;
        continue;
      }
      if (pendingCount == 0) pendingFrom = i;
      ++pendingCount;
      ++i;
      if (pendingCount == kBytesPerLine) flush();
    }
    flush();
  }

  std::span<const uint8_t> m_b;
  TSink m_sink;
  std::string m_out;
};

// Which record types the script declares: FVRT_RECORD and FACE_RECORD, for a file with a
// chunk that holds at least one such record (a declaration no line uses is harmless).
struct TRecordTypes {
  bool Fvrt = false;
  bool Face = false;
  void Form(const uint8_t*, int) {}
  void End(int) {}
  void Raw(uint32_t, uint32_t, int) {}
  void Chunk(const uint8_t* p, uint32_t dataBegin, uint32_t dataEnd, int) {
    Fvrt |= std::memcmp(p, "FVRT", 4) == 0 && dataEnd - dataBegin >= 16;
    Face |= std::memcmp(p, "FACE", 4) == 0 && dataEnd - dataBegin >= 28;
  }
};

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
    throw EDecompiler("Decompiler: \"" + QuotePathForMessage(fileName) + "\" has " +
                      std::to_string(size) +
                      " bytes, more than the largest file the reader accepts (2147483647)");
  }
  std::vector<uint8_t> data = ReadWholeFile(fileName);
  if (data.size() > kMaxInput)
    throw EDecompiler("Decompiler: \"" + QuotePathForMessage(fileName) +
                      "\" grew past 2147483647 bytes while read");
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
  const TTreDirectory dir =
      ParseTreDirectory(b, b.size(), "\"" + QuotePathForMessage(fileName) + "\"");
  std::set<std::string> seen;
  for (size_t i = 0; i < dir.Entries.size(); ++i) {
    const TTreDirEntry& e = dir.Entries[i];
    if (!e.Problem.empty())
      throw ETreArchive("TRE archive \"" + QuotePathForMessage(fileName) + "\": " + e.Problem);
    if (!SpellableName(e.Name)) {
      throw EDecompiler("Decompiler: entry " + std::to_string(i) + " of \"" +
                        QuotePathForMessage(fileName) + "\" has a name a script cannot spell");
    }
    if (!seen.insert(UpperCase(e.Name)).second) {
      throw EDecompiler("Decompiler: \"" + QuotePathForMessage(fileName) + "\" holds the name \"" +
                        QuoteForMessage(e.Name) +
                        "\" twice; a script finds only the first entry of a name");
    }
  }
  std::string base = r.ScriptPath;
  if (base.size() > 4 && base.compare(base.size() - 4, 4, ".txt") == 0)
    base.resize(base.size() - 4);
  const std::string folder = base + ".blocks";
  const std::string absFolder = std::filesystem::absolute(folder).lexically_normal().string();
  if (!SpellableName(absFolder)) {
    throw EDecompiler("Decompiler: the folder \"" + QuotePathForMessage(absFolder) +
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

// The script of an IFF file's bytes, in pieces to `sink`; a non-empty `firstLine` (a
// comment) goes first.
void DecompileIffTo(std::span<const uint8_t> b, const std::string& outputName,
                    std::string_view firstLine, const TScriptBuilder::TSink& sink) {
  TRecordTypes types;
  WalkItems(b, types);
  TScriptBuilder sb(b, sink);
  if (!firstLine.empty()) sb.Line(0, firstLine);
  if (types.Fvrt)
    sb.Line(0,
            "$TYPE FVRT_RECORD = DATA [4] \\ LONG %1% \\ LONG %2% \\ FLOAT %3% \\ FLOAT %4% \\\\");
  if (types.Face) {
    sb.Line(0,
            "$TYPE FACE_RECORD = DATA [7] \\ LONG %1% \\ FLOAT %2% \\ LONG %3% \\ LONG %4% \\ LONG "
            "%5% \\ LONG %6% \\ LONG %7% \\\\");
  }
  sb.Line(0, "IFF " + Quoted(outputName));
  sb.Line(0, "{");
  WalkItems(b, sb);
  sb.Line(0, "}");
  sb.Flush();
}

}  // namespace

bool FloatScriptText(float value, std::string& text) {
  char buf[64];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  if (res.ec != std::errc()) return false;
  text.assign(buf, res.ptr);
  return FloatTextReadsBack(text, value);
}

std::string DecompileIffBytes(std::span<const uint8_t> b, const std::string& outputName) {
  std::string script;
  DecompileIffTo(b, outputName, {}, [&script](std::string_view piece) { script.append(piece); });
  return script;
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
  // The script goes to the file as it is made, and stops, with nothing put in place, once it
  // would pass what the compiler reads.
  TAtomicFileWriter out(r.ScriptPath, TFileSync::Replace);
  uint64_t written = 0;
  DecompileIffTo(bytes, name, "// Decompiled from " + BaseName(fileName) + " by iffc --decompile.",
                 [&](std::string_view piece) {
                   written += piece.size();
                   if (written > kMaxScriptFileBytes) {
                     throw EDecompiler("Decompiler: the script of \"" +
                                       QuotePathForMessage(fileName) + "\" would pass " +
                                       std::to_string(kMaxScriptFileBytes) +
                                       " bytes, the most the compiler reads; nothing was written");
                   }
                   out.Write(piece.data(), piece.size());
                 });
  out.Commit();
  return r;
}
