#pragma once
// The block compiler: the output file, braces, FORM, CHUNK and the data items
// (CRC32, CRC32FUNC, FLOAT, LONG, BYTE, CSTRING, CHAR, FILE, FILE.Z) of the statement
// table, and the output and value pieces the flow statements share.
//
// Every statement writes its bytes at the end of the output at once. A FORM or CHUNK
// header is written as zero bytes when the block opens and patched in place when its "}"
// closes it: the chunk's size is the data written since (padded to even length), and each
// closed block adds its bytes to the FORM around it. The "}" that brings the brace depth
// back to 0 finishes the output.
//
// Sizes are tracked in two slot tables (iffc/CompilerState.h): FormSlots[0..FormTop] are
// the open FORMs, innermost last, and CurrentForm is always the innermost (FormTop); a
// FORM nested deeper than the table is refused and only its "}" is paired. Only the newest
// chunk slot is ever read again.
//
// Limits: no output passes kMaxOutputSize; the write that would is an error at its line,
// and that output is dropped (the previous file of its name stays).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "iffc/CompilerState.h"

// The largest output, FORM or CHUNK the reader accepts.
constexpr int64_t kMaxOutputSize = 0x7FFFFFFF;

// --- output ---
// Every write needs an open output; without one the run ends with EInOutError. These do
// not touch DataSize: callers count what they write.
void WriteOutputChecked(TCompilerState& s, const void* data, size_t size);
// The write that fits, nearly every one, goes straight to the output; WriteOutputChecked
// deals with the others.
inline void WriteOutput(TCompilerState& s, const void* data, size_t size) {
  TOutputWriter& out = s.OutputFile;
  if (out.IsOpen() && !s.OutputTooLarge &&
      size <= static_cast<uint64_t>(kMaxOutputSize - out.Position())) {
    out.Write(data, size);
  } else {
    WriteOutputChecked(s, data, size);
  }
}
void WriteOutputU32(TCompilerState& s, uint32_t value);  // little-endian
void WriteOutputZeros(TCompilerState& s, uint64_t count);
// The start of an IFF or TRE statement (`kind`): the previous output finished (with a hint
// when braces are still open), OutputName completed by `name`, «compiling KIND [PATH] ...»
// reported and the new output opened.
void StartOutput(TCompilerState& s, const char* kind, const std::string& name);

// --- values ---
// An integer element: read by the integer rule with default 0xFFFFFF, the value 0xFFFFFF
// itself counting as a name. A name gives its StrCrc32 when GenCrc is set; otherwise
// «error: line N, "TEXT" not a valid integer` + errorEnd + `» is reported and the result
// is false (nothing is to be written).
bool IntegerElement(TCompilerState& s, std::string_view text, const char* errorEnd,
                    uint32_t& value);

// A count token «[n]»: false (count untouched) when the token does not begin with "[";
// otherwise the text between the brackets read as an integer with default 0, and 0
// reported as «error: line N, "TEXT" not a valid integer.».
bool ReadCountToken(TCompilerState& s, std::string_view token, int32_t& count);

// Closes the output (comparing its checksum when "$ORIGINAL_CRC" asked for it) and resets
// the output state.
void FinishOutput(TCompilerState& s);

// The statements of the block compiler, for the statement table (and the reserved places
// of the flow statements in front of them).
void RegisterBlockStatements(TDispatchTable& statements);
