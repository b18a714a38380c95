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

// Text from a file made fit for a message: control characters and DEL become "\xNN" (so
// that an escape sequence in a name cannot drive the terminal), and
// text beyond `maxChars` characters is cut and ends in "...".
std::string QuoteForMessage(std::string_view s, size_t maxChars = 200);
