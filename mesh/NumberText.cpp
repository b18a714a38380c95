#include "mesh/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "util/Exception.h"
#include "util/StrTools.h"

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A "-" followed only by zeros and the point: the minus of a value that rounded to zero.
bool IsNegativeZeroText(const char* begin, const char* end) {
  if (end - begin < 2 || *begin != '-') return false;
  for (const char* p = begin + 1; p != end; ++p) {
    if (*p != '0' && *p != '.') return false;
  }
  return true;
}

constexpr double kPow10[] = {1.0, 10.0, 100.0, 1000.0, 10000.0, 100000.0, 1000000.0, 10000000.0};

constexpr uint32_t kPow10Int[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000};

// Writes n / 10^decimals with exactly `decimals` decimals (trim: without trailing zeros
// and without the point when nothing is left after it). n is below 10^15 in magnitude and
// decimals at most 7. The hot path of every list line: two integer conversions, the
// fraction's as 10^digits + fraction, whose leading 1 becomes the point (the zeros after
// the point come for free).
char* PutScaled(char* p, int64_t n, int decimals, bool trim) {
  const bool negative = n < 0;
  const uint64_t u = negative ? uint64_t(0) - static_cast<uint64_t>(n) : static_cast<uint64_t>(n);
  if (negative) *p++ = '-';
  const uint32_t scale = kPow10Int[decimals];
  p = std::to_chars(p, p + 16, u / scale).ptr;
  uint32_t fraction = static_cast<uint32_t>(u % scale);
  int digits = decimals;
  if (trim) {
    while (digits > 0 && fraction % 10 == 0) {
      fraction /= 10;
      --digits;
    }
  }
  if (digits == 0) return p;
  char* end = std::to_chars(p, p + 9, kPow10Int[digits] + fraction).ptr;
  *p = '.';
  return end;
}

// value * 10^decimals rounded to an integer, ties to even, when that is exact and small
// enough for PutScaled. A float times 10^decimals (decimals <= 7) is exact in a double,
// so nearbyint sees the true tie (0.0625 * 1000 = 62.5 -> 62).
bool ScaledInteger(double value, int decimals, int64_t& n) {
  if (decimals < 0 || decimals > 7) return false;
  const double scaled = value * kPow10[decimals];
  if (!(std::fabs(scaled) < 1e15)) return false;  // also NaN
  n = static_cast<int64_t>(std::nearbyint(scaled));
  return true;
}

bool IsFloat(double value) { return static_cast<double>(static_cast<float>(value)) == value; }

// The general case of the fixed formats: to_chars writes every digit of a double (at most
// 309 before the point).
char* PutFixedSlow(char* p, double value, int decimals, size_t room) {
  return std::to_chars(p, p + room, value, std::chars_format::fixed, decimals).ptr;
}

}  // namespace

char* PutFixed(char* p, double value, int decimals) {
  int64_t n;
  if (IsFloat(value) && ScaledInteger(value, decimals, n)) return PutScaled(p, n, decimals, false);
  char* end = PutFixedSlow(p, value, decimals, kMaxNumberChars);
  if (!IsNegativeZeroText(p, end)) return end;
  std::memmove(p, p + 1, static_cast<size_t>(end - p - 1));  // n == 0 has no sign: "0.000"
  return end - 1;
}

void AppendFixed(std::string& out, double value, int decimals) {
  if (decimals >= 0 && decimals <= 7) {
    char buf[kMaxNumberChars];
    out.append(buf, PutFixed(buf, value, decimals));
    return;
  }
  char buf[400];
  const char* begin = buf;
  const char* end = PutFixedSlow(buf, value, decimals, sizeof buf);
  if (IsNegativeZeroText(begin, end)) ++begin;
  out.append(begin, end);
}

void AppendPrintfFixed(std::string& out, double value, int decimals) {
  char buf[400];
  char* p = buf;
  int64_t n;
  if (IsFloat(value) && ScaledInteger(value, decimals, n)) {
    if (n == 0 && std::signbit(value)) *p++ = '-';
    p = PutScaled(p, n, decimals, false);
  } else {
    p = PutFixedSlow(p, value, decimals, sizeof buf);
  }
  out.append(buf, p);
}

std::string FormatFixed(double value, int decimals) {
  std::string s;
  AppendFixed(s, value, decimals);
  return s;
}

char* PutRounded(char* p, double value, int decimals) {
  int64_t n;
  if (IsFloat(value) && ScaledInteger(value, decimals, n)) return PutScaled(p, n, decimals, true);
  double rounded = value;
  if (std::isfinite(value)) {
    double scale = 1.0;
    for (int i = 0; i < decimals; ++i) scale *= 10.0;
    const double scaled = value * scale;
    if (std::isfinite(scaled) && std::fabs(scaled) < 9.0e15)
      rounded = std::nearbyint(scaled) / scale;
    rounded += 0.0;  // -0 -> 0
  }
  return std::to_chars(p, p + kMaxNumberChars, rounded, std::chars_format::general, 15).ptr;
}

void AppendRounded(std::string& out, double value, int decimals) {
  char buf[kMaxNumberChars];
  out.append(buf, PutRounded(buf, value, decimals));
}

std::string FormatRounded(double value, int decimals) {
  std::string s;
  AppendRounded(s, value, decimals);
  return s;
}

char* PutInt(char* p, int64_t value) { return std::to_chars(p, p + 20, value).ptr; }

void AppendInt(std::string& out, int64_t value) {
  char buf[24];
  out.append(buf, PutInt(buf, value));
}

double ParseTypedFloat(std::string_view text) {
  std::string_view body = TrimBlanks(text);
  if (body.size() > 1 && body.front() == '+' && body[1] != '-') body.remove_prefix(1);
  // from_chars alone would also take "inf" and "nan", which nobody types as a coordinate.
  bool onlyNumberChars = !body.empty();
  bool sawDigit = false;
  for (char c : body) {
    if (c >= '0' && c <= '9')
      sawDigit = true;
    else if (c != '-' && c != '+' && c != '.' && c != 'e' && c != 'E')
      onlyNumberChars = false;
  }
  if (onlyNumberChars && sawDigit) {
    double value = 0.0;
    const auto res =
        std::from_chars(body.data(), body.data() + body.size(), value, std::chars_format::general);
    // Out of the range of a double (res.ec set) counts as not a number, too.
    if (res.ec == std::errc() && res.ptr == body.data() + body.size()) return value;
  }
  throw EConvertError("'" + QuoteForMessage(text) + "' is not a valid floating point value");
}

int32_t ParseTypedInt(std::string_view text) {
  std::string_view t = TrimBlanks(text);
  if (t.size() > 1 && t.front() == '+' && t[1] != '-') t.remove_prefix(1);
  int32_t value = 0;
  const auto res = std::from_chars(t.data(), t.data() + t.size(), value);
  if (t.empty() || res.ec != std::errc() || res.ptr != t.data() + t.size()) {
    throw EConvertError("'" + QuoteForMessage(text) + "' is not a valid integer value");
  }
  return value;
}

int32_t ParseIntOrZero(std::string_view text) {
  try {
    return ParseTypedInt(text);
  } catch (const EConvertError&) {
    return 0;
  }
}
