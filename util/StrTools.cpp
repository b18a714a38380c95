#include "util/StrTools.h"

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

std::string QuoteForMessage(std::string_view s, size_t maxChars) {
  std::string out;
  const size_t n = s.size() < maxChars ? s.size() : maxChars;
  out.reserve(n + 3);
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c == 0x7F) {
      static const char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  if (s.size() > n) out += "...";
  return out;
}
