#pragma once
// TRE archive output of the compiler.
//
//   TRE NAME                 starts an archive: header 0, 1, 0, 0 (count patched at "}")
//   {
//     TREFILE NAME           one 272-byte directory entry each, right after the TRE line
//     BLOCK NAME [SIZE]      the data of a declared entry, between braces
//     { FILE.Z "x.bin" }
//   }                        writes the entry count, reports "sorting CRCs..."
//
// Entry: StrCrc32(name), size, absolute offset, stored size, 256 bytes of name. A BLOCK
// with a SIZE different from the bytes written records SIZE as the size and the bytes
// written as the stored size (a packed input and its unpacked size); otherwise the bytes
// written and 0. The directory keeps declaration order; an entry whose BLOCK never came
// keeps zeros. iffc/TreArchive.h reads the result.
//
// Where the language leaves room for broken archives, the compiler keeps the archive sound:
//  - TREFILE anywhere but directly after the TRE line or another TREFILE (after block
//    data, after the TRE closed, outside a TRE) is refused with an error: its entry would
//    land among block data and a later BLOCK close would overwrite that data.
//  - BLOCK outside an open TRE is refused with an error.
//  - BLOCK while a BLOCK is open reports an error and first closes the open one, so each
//    entry describes its own bytes.
//  - FORM and CHUNK inside a BLOCK are compiled as usual (their braces close them, not the
//    BLOCK), so a block may hold an IFF written in place; a block's size is always the
//    bytes between its start and its closing brace.
//  - FinishOutput (the next IFF or TRE) also ends a BLOCK left open.
//  - When an archive is finished (next IFF or TRE, end of run) and some declared name got
//    no BLOCK, "hint: some SFF blocks haven't been defined." is reported for it.

#include <string>

struct TCompilerState;
struct TStatement;
class TDispatchTable;

// Fills the handlers of "TRE", "BLOCK" and "TREFILE".
void RegisterTreStatements(TDispatchTable& statements);

// Forgets the declared names (without the end check).
void ClearTreNames(TCompilerState& s);

// FinishOutput's part for the archive state (after the end check of the finished archive).
void ResetTreState(TCompilerState& s);

// A FORM or CHUNK opened inside the current BLOCK is still open.
bool NestedBlockOpenInBlock(const TCompilerState& s);
// Closes that FORM or CHUNK with the block compiler's own brace rules; false when those
// rules do not take the brace.
bool CloseNestedInBlock(TCompilerState& s, const TStatement& st);
