// One value of a settings file (see IniValue.h).
#include "util/IniValue.h"

#include <cerrno>

#include "util/Exception.h"
#include "util/FileIo.h"
#include "util/Platform.h"

namespace {

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The value after '=': quoted parts unescaped, the rest as written.
std::string Unquote(std::string_view raw) {
  raw = Trim(raw);
  std::string out;
  bool quoted = false;
  for (size_t i = 0; i < raw.size(); ++i) {
    const char c = raw[i];
    if (c == '"') {
      quoted = !quoted;
    } else if (c == '\\' && i + 1 < raw.size()) {
      const char e = raw[++i];
      switch (e) {
        case 't':
          out += '\t';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case '0':
          out += '\0';
          break;
        case 'x': {
          uint32_t cp = 0;
          int digits = 0;
          while (digits < 4 && i + 1 < raw.size() && HexDigit(raw[i + 1]) >= 0) {
            cp = cp * 16 + static_cast<uint32_t>(HexDigit(raw[++i]));
            ++digits;
          }
          AppendUtf8(out, cp);
          break;
        }
        default:
          out += e;
          break;  // \\ and \" and anything else: the character itself
      }
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> IniTextValue(std::string_view text, std::string_view group,
                                        std::string_view key) {
  bool inGroup = false;
  std::optional<std::string> found;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      inGroup = close != std::string_view::npos && Trim(line.substr(1, close - 1)) == group;
      continue;
    }
    if (!inGroup) continue;
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos || Trim(line.substr(0, eq)) != key) continue;
    // As Qt does, the last of repeated keys counts.
    found = Unquote(line.substr(eq + 1));
  }
  return found;
}

std::optional<std::string> IniFileValue(const std::string& path, std::string_view group,
                                        std::string_view key) {
  platform::TFileStatus st;
  if (platform::StatPath(path, st) == 0 && st.Kind == platform::TFileKind::Missing)
    return std::nullopt;
  const std::vector<uint8_t> bytes = ReadWholeFile(path, kMaxIniBytes);
  return IniTextValue(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                      group, key);
}
