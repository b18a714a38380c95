#pragma once
// The compiler script the tree builder writes: the tree's mesh chunks and the tree in a
// FORM of its own, inside one IFF statement that names the output file.
//
//   IFF "NAME"
//   {
//   FORM MESH
//   {
//   CHUNK VERT { ... }  CHUNK VTNM { ... }  CHUNK FVRT { ... }  CHUNK FACE { ... }
//   CHUNK RADI { ... }
//   FORM TREE
//   {
//   CHUNK INFO { ... }  CHUNK NODE { ... }  CHUNK LEAF { ... }  CHUNK FIDX { ... }
//   }
//   }
//   }
//
// The mesh chunks come first, so that a rip of the compiled file (which takes the first
// chunk of each name) gets the tree's mesh. Every record is written as data items, one
// record per line, so the script needs no side files. The bytes are exact:
//  - integers as LONG in decimal;
//  - floats as FLOAT with their shortest round-trip decimal text when that text is plain
//    (digits and a point); otherwise (huge or tiny magnitudes, infinities, NaN) as LONG
//    with the float's bit pattern in hexadecimal;
//  - the one 32-bit pattern no LONG element can carry (0x00FFFFFF, which the compiler reads
//    as "not an integer") as BYTE [4] 255 255 255 0.
//
// Tree FORM (all little-endian):
//   INFO  20 bytes: int32 version (1), int32 root reference, int32 node count,
//         int32 leaf count, int32 number of FIDX entries
//   NODE  32 bytes per node: float Nx, Ny, Nz, D (plane N.X + D = 0, front where
//         N.X + D > 0), int32 front reference, int32 back reference, int32 first FIDX
//         entry, int32 FIDX entry count (the faces lying in the plane)
//   LEAF  8 bytes per leaf: int32 first FIDX entry, int32 FIDX entry count
//   FIDX  4 bytes per entry: int32 index into FACE
//   A reference is a node index (>= 0), -1 for nothing, or -2 - leaf index for a leaf.

#include <cstdint>
#include <string>

#include "plugins/bsp/BspTree.h"

namespace bsp {

// One 32-bit field as script elements: the item keyword ("FLOAT", "LONG" or "BYTE"), the
// element texts separated by single spaces, and how many elements that is.
struct TElement {
  const char* item;
  std::string text;
  int count;
};
TElement FloatElement(float value);
TElement IntElement(int32_t value);

// True when `name` can stand in an IFF statement and reach the compiler unchanged: not
// empty, no control characters, no double quote, comma, parenthesis or backslash, no
// "//", no leading, trailing or doubled blank.
bool IsScriptSafeName(const std::string& name);

// The whole script for `tree`, its IFF statement naming `outputName` (a file name
// relative to the script's folder; must pass IsScriptSafeName).
std::string ComposeScript(const TTree& tree, const std::string& outputName);

}  // namespace bsp
