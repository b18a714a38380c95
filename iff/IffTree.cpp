#include "iff/IffTree.h"

#include <algorithm>
#include <cstdio>
#include <vector>

std::string IffIdDisplay(const TIffId& id) {
  std::string s;
  for (uint8_t b : id.Bytes) {
    if (b < 0x20 || b >= 0x7F || b == '\\') {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", b);
      s += buf;
    } else {
      s += static_cast<char>(b);
    }
  }
  return s;
}

namespace {

// A form being listed: its chunks and forms are merged back into file order by offset.
struct TFrame {
  const TForm* form;
  size_t chunk = 0;
  size_t sub = 0;
};

void Line(std::string& out, size_t depth, const std::string& label, const TIffItem& item) {
  out.append(2 * std::min(depth, kMaxIffTreeIndent), ' ');
  if (depth > kMaxIffTreeIndent) out += "(" + std::to_string(depth) + ") ";
  out += label;
  out += ' ';
  out += std::to_string(item.Offset);
  out += ' ';
  out += std::to_string(item.FullSize);
  out += '\n';
}

constexpr size_t kPieceBytes = 64 * 1024;

}  // namespace

std::string FormatIffTree(const TIffReader& reader) {
  std::string text;
  WriteIffTree(reader, [&](std::string_view piece) { text += piece; });
  return text;
}

void WriteIffTree(const TIffReader& reader, const std::function<void(std::string_view)>& sink) {
  const TForm& root = reader.Root();
  std::string out;
  Line(out, 0, (reader.RootIsForm() ? "FORM " : "") + IffIdDisplay(root.Name), root);
  std::vector<TFrame> stack{{&root}};
  while (!stack.empty()) {
    TFrame& f = stack.back();
    const bool chunkLeft = f.chunk < f.form->Chunks.size();
    const bool formLeft = f.sub < f.form->Forms.size();
    if (!chunkLeft && !formLeft) {
      stack.pop_back();
      continue;
    }
    const size_t depth = stack.size();
    if (chunkLeft &&
        (!formLeft || f.form->Chunks[f.chunk]->Offset < f.form->Forms[f.sub]->Offset)) {
      const TChunk& c = *f.form->Chunks[f.chunk++];
      Line(out, depth, IffIdDisplay(c.Name), c);
    } else {
      const TForm& sub = *f.form->Forms[f.sub++];
      Line(out, depth, "FORM " + IffIdDisplay(sub.Name), sub);
      stack.push_back({&sub});  // invalidates f, which is not used again
    }
    if (out.size() >= kPieceBytes) {
      sink(out);
      out.clear();
    }
  }
  if (!out.empty()) sink(out);
}
