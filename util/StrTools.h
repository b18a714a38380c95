#pragma once
// The string helpers the compiler's script language is built on. Positions are 1-based;
// strings are byte strings.

#include <string>
#include <string_view>

// Position of the first occurrence of `sub` in `s` at or after position `from` (1-based),
// or 0 when there is none. With from <= 0 the whole string is searched and the result is
// one less than the absolute position: the number of characters in front of the first
// occurrence (an occurrence at position 1 and no occurrence both give 0). GetToken relies
// on this form.
int PosFrom(std::string_view sub, std::string_view s, int from);

// The n-th (0 = first) token of `s`: tokens are separated by single spaces after the text
// is trimmed of codes 0..32; a token beginning with a double quote runs to the next double
// quote and loses both quotes. Two spaces in a row make the rest of the text one token
// (leading space included); a character written right after a closing quote is lost.
// A token that does not exist is the empty string.
std::string GetToken(std::string_view s, int n);

// Removes leading and trailing characters with codes 0..32.
std::string TrimControl(std::string_view s);

// Text from a file or the command line made fit for a message or a listing, by one rule:
// control characters (C0, DEL, and the C1 controls U+0080..U+009F written in UTF-8) and
// bytes that are not part of a UTF-8 character become "\xNN", one per byte, so that an
// escape sequence in a name cannot drive the terminal and a line feed in it cannot make a
// line of its own. Text beyond `maxChars` bytes is cut (never inside a character) and ends
// in "...".
constexpr size_t kMaxQuotedChars = 200;
std::string QuoteForMessage(std::string_view s, size_t maxChars = kMaxQuotedChars);

// A file name for a message, by the same rule, at most kMaxQuotedPathChars bytes: a longer
// one keeps its start and its end, where the file's own name is, around "...".
constexpr size_t kMaxQuotedPathChars = 1000;
std::string QuotePathForMessage(std::string_view path);

// A message made of our text and quoted names, each line through QuoteForMessage without a
// limit: the last guard against a control character that reached a message unquoted. Its
// own line feeds stay.
std::string PrintableLines(std::string_view text);
