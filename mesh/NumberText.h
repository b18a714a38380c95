#pragma once
// Number texts of the editor: the formats of the list lines, labels and edit boxes, and the
// parsing of numbers the user types. "." is the decimal separator everywhere, whatever the
// locale.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Fixed point with exactly `decimals` decimals ("0.000" pattern for 3: 1.5 -> "1.500").
// A value that rounds to zero is written without a minus sign.
std::string FormatFixed(double value, int decimals);

// Appends FormatFixed(value, decimals) to `out` (the hot path of list lines).
void AppendFixed(std::string& out, double value, int decimals);

// Appends `value` as printf's "%.<decimals>f" writes it (a negative value that rounds to
// zero keeps its minus sign: "-0.0000000"; "nan", "inf" as the C library writes them).
void AppendPrintfFixed(std::string& out, double value, int decimals);

// `value` rounded to `decimals` decimals (ties to even, the exact binary value decides) and
// written in shortest general form: no trailing zeros, zero as "0" (0.0625 with 3 -> "0.062",
// 0.5 -> "0.5", 1.0 -> "1"). Fifteen significant digits at most; very large or small values
// use an exponent ("1e+20").
std::string FormatRounded(double value, int decimals);
void AppendRounded(std::string& out, double value, int decimals);

// Appends the decimal text of an integer.
void AppendInt(std::string& out, int64_t value);

// The same texts written into a buffer, for composing a line in place without a string per
// number: each writes at most kMaxNumberChars characters at `p` and returns their end.
// PutFixed takes decimals 0 to 7.
constexpr size_t kMaxNumberChars = 330;
char* PutFixed(char* p, double value, int decimals);
char* PutRounded(char* p, double value, int decimals);
char* PutInt(char* p, int64_t value);

// Parses a typed decimal number: optional surrounding blanks, optional sign, digits with an
// optional "." fraction and optional exponent ("1.5", "-2", ".5", "1e3"). Anything else
// (empty text, "1,5", "abc", "1.5x") raises EConvertError naming the text:
// "'abc' is not a valid floating point value".
double ParseTypedFloat(std::string_view text);

// Parses a typed decimal integer (optional blanks and sign) in the int32 range; otherwise
// raises EConvertError "'abc' is not a valid integer value".
int32_t ParseTypedInt(std::string_view text);

// Like ParseTypedInt, but 0 for a text that is not an integer (the material boxes).
int32_t ParseIntOrZero(std::string_view text);
