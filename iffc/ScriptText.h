#pragma once
// Text helpers of the compiler's script language: the token list of a line, the one rule
// by which every integer of a script is read, FLOAT texts, and the path pieces that treat
// "\" and "/" alike.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// All tokens of a line in one pass. Get(i) is exactly GetToken(line, i) (util/StrTools.h):
// single-space separators after trimming codes 0..32, double-quote grouping with the
// quotes removed, two spaces in a row making the rest one token. Splitting once keeps long
// lines linear where repeated GetToken calls would rescan from the start for every index.
// The tokens point into the line, which must outlive this object.
class TScriptTokens {
public:
  TScriptTokens() = default;
  explicit TScriptTokens(std::string_view line) { Split(line); }

  void Split(std::string_view line);
  // Builds the list token by token (for a caller that already knows where they lie).
  void Clear() {
    m_count = 0;
    m_more.clear();
  }
  void Append(std::string_view token) { Push(token); }
  // The i-th token, or an empty view when there is none (also for negative i).
  std::string_view Get(int64_t i) const {
    if (i < 0 || static_cast<uint64_t>(i) >= m_count) return {};
    const size_t k = static_cast<size_t>(i);
    return k < kInline ? m_inline[k] : m_more[k - kInline];
  }
  std::string Str(int64_t i) const { return std::string(Get(i)); }
  size_t Count() const { return m_count; }

private:
  void Push(std::string_view token) {
    if (m_count < kInline) [[likely]] {
      m_inline[m_count++] = token;
    } else {
      PushMore(token);
    }
  }
  // Out of line, so that the common push stays a store and an increment.
  void PushMore(std::string_view token);

  // Statements rarely have more than a handful of tokens: those stay inside the object,
  // so splitting a line allocates nothing.
  static constexpr size_t kInline = 24;
  std::array<std::string_view, kInline> m_inline{};
  std::vector<std::string_view> m_more;
  size_t m_count = 0;
};

// The integer rule of the script language: optional leading blanks, then an optional sign
// and decimal digits, or one of the prefixes "$", "x", "X", "0x", "0X" and one to eight
// hexadecimal digits (no sign); nothing may follow. Decimal values must fit a signed 32-bit
// integer; hexadecimal ones are bit patterns ("$FFFFFFFF" is -1). False for anything else.
bool ParseScriptInteger(std::string_view text, int32_t& value);

// ParseScriptInteger with a default for texts that break the rule.
int32_t ReadIntegerDefault(std::string_view text, int32_t fallback);

// One to eight plain decimal digits, the usual element of a script, read on the spot (no
// such text can overflow). False for anything else, which ParseScriptInteger then reads.
inline bool ShortDecimal(std::string_view text, uint32_t& value) {
  if (text.empty() || text.size() > 8) return false;
  uint32_t v = 0;
  for (const char c : text) {
    const auto d = static_cast<uint32_t>(static_cast<unsigned char>(c) - '0');
    if (d > 9) return false;
    v = v * 10 + d;
  }
  value = v;
  return true;
}

// A decimal floating-point text: optional sign, digits with an optional "." (at least one
// digit in all), optional exponent "E"/"e" with optional sign and digits; surrounding
// blanks are allowed. The value must fit a 32-bit float (tiny values round towards 0).
bool ParseScriptFloat(std::string_view text, float& value);

// "\" and "/" both separate directories in script paths.
inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }
bool HasPathSeparator(std::string_view path);
// A path that does not lie relative to a folder: it starts with a separator, or with
// "C:\" / "c:\" (either separator), which names the home folder.
bool IsAbsoluteScriptPath(std::string_view path);

// The directory part of a path: up to and including its last separator ("" when none).
std::string DirectoryPart(std::string_view path);

// Appends a separator unless the text already ends with one. A text that uses "\" and no
// "/" keeps to "\", anything else gets "/".
std::string WithTrailingSeparator(std::string path);

// True when every character is a blank or control character (codes 0..32).
inline bool IsBlankText(std::string_view s) {
  for (const char c : s) {
    if (static_cast<unsigned char>(c) > 32) return false;
  }
  return true;
}

// ASCII upper case, as the script language compares keywords and names.
std::string UpperCase(std::string_view s);
bool SameTextIgnoreCase(std::string_view a, std::string_view b);
