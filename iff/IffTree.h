#pragma once
// A text listing of an IFF item tree, one item per line in file order, indented two spaces
// per depth: "FORM <type> <offset> <size>" for a FORM, "<identifier> <offset> <size>" for a
// chunk, offsets and (rounded) sizes in decimal. A file whose first item is a chunk is listed
// with that chunk as its root line. Identifier bytes outside printable ASCII,
// and the backslash, are written as \xNN so that every byte of an odd identifier shows.
// Built without recursion: a file of deeply nested FORMs cannot overflow the stack.

#include <string>

#include "iff/IffReader.h"

std::string IffIdDisplay(const TIffId& id);
std::string FormatIffTree(const TIffReader& reader);
