#include "util/StrTools.h"

#include <algorithm>

int PosFrom(std::string_view sub, std::string_view s, int from) {
  std::string_view tail;
  if (from <= 0) {
    tail = s;
  } else if (static_cast<size_t>(from) <= s.size()) {
    tail = s.substr(static_cast<size_t>(from) - 1);
  }
  const size_t found = tail.find(sub);
  if (found == std::string_view::npos) return 0;
  const int p = static_cast<int>(found) + 1;
  return p + from - 1;
}

std::string TrimControl(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) --e;
  return std::string(s.substr(b, e - b));
}

std::string GetToken(std::string_view s, int n) {
  std::string w = TrimControl(s);
  if (w.empty()) return {};
  std::string result;
  for (int i = 0; i <= n; ++i) {
    result.clear();
    int len;
    if (w[0] == '"') {
      len = PosFrom("\"", w, 2);
    } else {
      len = PosFrom(" ", w, 0);
    }
    if (len == 0) len = static_cast<int>(w.size());
    result = w.substr(0, static_cast<size_t>(len));
    w.erase(0, static_cast<size_t>(len) + 1 > w.size() ? w.size() : static_cast<size_t>(len) + 1);
    if (w.empty()) {
      if (i != n) result.clear();
      break;
    }
  }
  if (!result.empty() && result[0] == '"') {
    result.erase(0, 1);
    if (!result.empty()) result.pop_back();
  }
  return result;
}

namespace {

// The length of the UTF-8 character at `s[i]` that may be shown as it is, or 0 when its
// bytes are to be escaped (a control character, a C1 control, or not UTF-8).
size_t PrintableCharLength(std::string_view s, size_t i) {
  const auto at = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char c = at(i);
  if (c < 0x20 || c == 0x7F) return 0;
  if (c < 0x80) return 1;
  size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
    if (c == 0xC2) low = 0xA0;  // U+0080..U+009F are the C1 controls
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) low = 0xA0;   // no overlong forms
    if (c == 0xED) high = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (i + length > s.size() || at(i + 1) < low || at(i + 1) > high) return 0;
  for (size_t k = 2; k < length; ++k) {
    if (at(i + k) < 0x80 || at(i + k) > 0xBF) return 0;
  }
  return length;
}

// Escapes s[from, to) onto `out`; returns where it stopped (before a character that would
// pass `to`).
size_t AppendEscaped(std::string& out, std::string_view s, size_t from, size_t to) {
  static const char kHex[] = "0123456789ABCDEF";
  size_t i = from;
  while (i < to) {
    const size_t length = PrintableCharLength(s, i);
    if (length == 0) {
      const auto c = static_cast<unsigned char>(s[i]);
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
      ++i;
      continue;
    }
    if (i + length > to) break;
    out.append(s.substr(i, length));
    i += length;
  }
  return i;
}

}  // namespace

std::string QuoteForMessage(std::string_view s, size_t maxChars) {
  std::string out;
  out.reserve(std::min(s.size(), maxChars) + 3);
  const size_t end = AppendEscaped(out, s, 0, std::min(s.size(), maxChars));
  if (end < s.size()) out += "...";
  return out;
}

std::string QuotePathForMessage(std::string_view path) {
  if (path.size() <= kMaxQuotedPathChars) return QuoteForMessage(path, path.size());
  std::string out;
  constexpr size_t kHead = kMaxQuotedPathChars / 2 - 2, kTail = kMaxQuotedPathChars / 2 - 1;
  AppendEscaped(out, path, 0, kHead);
  out += "...";
  // The tail starts at a character's first byte.
  size_t start = path.size() - kTail;
  while (start < path.size() && (static_cast<unsigned char>(path[start]) & 0xC0) == 0x80) ++start;
  AppendEscaped(out, path, start, path.size());
  return out;
}

std::string PrintableLines(std::string_view text) {
  std::string out;
  size_t start = 0;
  for (;;) {
    const size_t end = text.find('\n', start);
    out += QuoteForMessage(text.substr(start, end - start), std::string_view::npos);
    if (end == std::string_view::npos) return out;
    out += '\n';
    start = end + 1;
  }
}
