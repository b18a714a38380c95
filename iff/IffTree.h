#pragma once
// A text listing of an IFF item tree, one item per line in file order, indented two spaces
// per depth: "FORM <type> <offset> <size>" for a FORM, "<identifier> <offset> <size>" for a
// chunk, offsets and (rounded) sizes in decimal, a size as the file gives it even beyond
// 2^31 - 1. A file whose first item is a chunk is listed with that chunk as its root line.
// Identifier bytes outside printable ASCII, and the backslash, are written as \xNN so that
// every byte of an odd identifier shows.
// Built without recursion and written as it walks, in time and memory linear in the items:
// indentation stops growing at kMaxIffTreeIndent levels, and a deeper line starts with its
// depth in parentheses ("(70) ") after that indentation.

#include <functional>
#include <string>
#include <string_view>

#include "iff/IffReader.h"

constexpr size_t kMaxIffTreeIndent = 64;

std::string IffIdDisplay(const TIffId& id);
// Hands the listing to `out` a piece at a time (about 64 KiB each).
void WriteIffTree(const TIffReader& reader, const std::function<void(std::string_view)>& out);
// The whole listing as one string.
std::string FormatIffTree(const TIffReader& reader);
