#include "iffc/ScriptText.h"

#include <cmath>
#include <cstdlib>
#include <limits>

void TScriptTokens::PushMore(std::string_view token) {
  m_more.push_back(token);
  ++m_count;
}

void TScriptTokens::Split(std::string_view line) {
  m_count = 0;
  m_more.clear();
  size_t b = 0;
  size_t e = line.size();
  while (b < e && static_cast<unsigned char>(line[b]) <= 32) ++b;
  while (e > b && static_cast<unsigned char>(line[e - 1]) <= 32) --e;
  // `pos` is the start of the working copy W of GetToken; each step takes a token of
  // length L from its front and drops L + 1 characters.
  size_t pos = b;
  while (pos < e) {
    const std::string_view w = line.substr(pos, e - pos);
    size_t len;
    if (w[0] == '"') {
      const size_t q = w.find('"', 1);
      len = q == std::string_view::npos ? w.size() : q + 1;
    } else {
      const size_t sp = w.find(' ');
      // A space at the very front (two spaces in a row) makes the rest one token.
      len = (sp == std::string_view::npos || sp == 0) ? w.size() : sp;
    }
    std::string_view token = w.substr(0, len);
    if (!token.empty() && token[0] == '"') {
      token.remove_prefix(1);
      if (!token.empty()) token.remove_suffix(1);
    }
    Push(token);
    pos += len + 1;
  }
}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool ParseScriptInteger(std::string_view text, int32_t& value) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  std::string_view t = text.substr(i);
  if (t.empty()) return false;

  size_t hexStart = 0;
  if (t[0] == '$' || t[0] == 'x' || t[0] == 'X') {
    hexStart = 1;
  } else if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
    hexStart = 2;
  }
  if (hexStart != 0) {
    const std::string_view digits = t.substr(hexStart);
    if (digits.empty() || digits.size() > 8) return false;
    uint32_t v = 0;
    for (char c : digits) {
      const int d = HexDigit(c);
      if (d < 0) return false;
      v = (v << 4) | static_cast<uint32_t>(d);
    }
    value = static_cast<int32_t>(v);
    return true;
  }

  bool negative = false;
  if (t[0] == '+' || t[0] == '-') {
    negative = t[0] == '-';
    t.remove_prefix(1);
  }
  if (t.empty()) return false;
  int64_t v = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > int64_t{1} << 31) return false;
  }
  if (negative) v = -v;
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    return false;
  value = static_cast<int32_t>(v);
  return true;
}

int32_t ReadIntegerDefault(std::string_view text, int32_t fallback) {
  int32_t v;
  return ParseScriptInteger(text, v) ? v : fallback;
}

bool ParseScriptFloat(std::string_view text, float& value) {
  size_t b = 0;
  size_t e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  const std::string_view t = text.substr(b, e - b);
  size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  size_t digits = 0;
  while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    size_t expDigits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++expDigits;
    if (expDigits == 0) return false;
  }
  if (i != t.size()) return false;
  // strtod is locale-bound, but the program never changes the C locale from "C", whose
  // decimal separator is the script language's ".".
  const std::string copy(t);
  const double d = std::strtod(copy.c_str(), nullptr);
  if (!std::isfinite(d) || std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max())) {
    return false;
  }
  value = static_cast<float>(d);
  return true;
}

bool HasPathSeparator(std::string_view path) {
  return path.find_first_of("\\/") != std::string_view::npos;
}

bool IsAbsoluteScriptPath(std::string_view path) {
  if (!path.empty() && IsPathSeparator(path[0])) return true;
  return path.size() >= 3 && (path[0] == 'C' || path[0] == 'c') && path[1] == ':' &&
         IsPathSeparator(path[2]);
}

std::string DirectoryPart(std::string_view path) {
  const size_t p = path.find_last_of("\\/");
  return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p + 1));
}

std::string WithTrailingSeparator(std::string path) {
  if (!path.empty() && IsPathSeparator(path.back())) return path;
  const bool backslashes =
      path.find('\\') != std::string::npos && path.find('/') == std::string::npos;
  path += backslashes ? '\\' : '/';
  return path;
}

std::string UpperCase(std::string_view s) {
  std::string r(s);
  for (char& c : r) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return r;
}

bool SameTextIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}
