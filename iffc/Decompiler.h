#pragma once
// The way back from a game file to a compiler script: an IFF file or a TRE archive becomes
// a script that the compiler turns into the same bytes again.
//
// IFF: FORM and CHUNK blocks with the file's ids (a chunk id that is not four plain
// printable characters is written as «CHUNK $XXXXXXXX»). The mesh chunks VERT, VTNM, FVRT,
// FACE and RADI become one line per record (FLOAT/LONG per field, "// record N" behind
// it); other chunk data becomes CSTRING for NUL-terminated printable text, FLOAT for runs
// of plausible floats and BYTE lines of 16 values for everything else. Floats are written
// in their shortest round-trip form; a value the language cannot carry (NaN, infinity, a
// text that would not read back to the same bits) is written as BYTE. Wherever the
// compiler could not reproduce a structure exactly (a FORM of odd size, a FORM type that a
// script cannot spell, bytes between the items of a FORM, nesting deeper than the
// compiler's FORM table), that item is written as a CHUNK or as plain bytes whose output
// is the same, so the round trip is byte-identical for every file the reader accepts.
//
// TRE: a TRE script, and the blocks as files in a folder beside it, referenced by FILE
// (FILE.Z with the unpacked size for packed blocks). Recompiling gives the identical
// archive when the blocks lie in the layout this compiler writes and were stored unpacked
// or packed by this compiler; otherwise an equivalent one (same names, same unpacked
// contents), and the result says so.
//
// Limits: one for both directions. A script is written only when it stays within what the
// compiler reads (kMaxScriptFileBytes, 256 MiB); a file whose script would pass it raises
// EDecompiler and no script is put in place. The script goes to its file in pieces as it
// is made: memory is the file's bytes and one piece (about 1 MiB).
//
// Bad input: the file is read only when it is at most 2^31 - 1 bytes (the largest size
// the reader accepts). An IFF file goes through TIffReader first and its errors
// (EIffReader...) are raised unchanged; a TRE archive whose directory has a broken entry
// raises ETreArchive with the reader's text. Nothing is written then. The walk over the
// items keeps its own stack, so nesting depth costs no recursion.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "util/Exception.h"

TESSAVOR_DECLARE_EXCEPTION(EDecompiler);

// The script text for the bytes of an IFF file, compiling into the file `outputName`
// (relative to the script's folder). Accepts any bytes; the reader's check is the
// caller's (DecompileFile).
std::string DecompileIffBytes(std::span<const uint8_t> bytes, const std::string& outputName);

struct TDecompileResult {
  std::string ScriptPath;
  bool IsTre = false;
  bool Identical = true;           // recompiling gives the same bytes
  std::vector<std::string> Notes;  // what the user should know (not identical, ...)
};

// Decompiles `fileName` into `scriptPath` (default: fileName + ".txt"). A TRE archive's
// blocks go to the folder `scriptPath` without ".txt" + ".blocks". Files are written
// crash-safely. Raises the reader's exceptions for a damaged file, EDecompiler for a file
// that cannot be carried by a script (a TRE entry name a script cannot spell), and
// EInOutError for files that cannot be read or written.
TDecompileResult DecompileFile(const std::string& fileName, const std::string& scriptPath = "");

// The shortest text that reads back (by the script language's FLOAT rule) to exactly
// these bits; false for a value the language cannot carry.
bool FloatScriptText(float value, std::string& text);
