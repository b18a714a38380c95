#pragma once
// Write-back, the way back of "Rip mesh": a copy of a model in which the first VERT, VTNM,
// FVRT, FACE and RADI chunks (the ones a rip takes) hold the home folder's record files,
// with every other byte of the model kept and the size of every FORM around a changed
// chunk fixed. With the record files unchanged since the rip, the copy equals the model
// byte for byte.
//
// Bad input: the model is read only up to 2^31 - 1 bytes (the largest file the reader
// accepts), each record file only up to the same bound, and every chunk found is checked
// against the bytes really there. A model without one of the five chunks, a FORM or chunk that
// runs past the end of the file, a model the scanner rejects, a missing record file, or a
// result that would pass 2^31 - 1 bytes raises EWriteBack and writes nothing. OUT is
// written crash-safely (temporary file, then rename), so it may name MODEL itself.

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "util/Exception.h"

TESSAVOR_DECLARE_EXCEPTION(EWriteBack);

// The model's bytes with the five chunks' data replaced by `records` (in the rip table's
// order: VERT, VTNM, FVRT, FACE, RADI). `what` names the model in messages.
std::vector<uint8_t> WriteBackBytes(std::span<const uint8_t> model,
                                    const std::array<std::vector<uint8_t>, 5>& records,
                                    const std::string& what);

// The data of the model's first VERT, VTNM, FVRT, FACE and RADI chunks, as a rip copies
// them (an odd chunk with its pad byte). Raises EWriteBack as WriteBackBytes does.
std::array<std::vector<uint8_t>, 5> ModelRecordBytes(std::span<const uint8_t> model,
                                                     const std::string& what);

struct TWriteBackResult {
  std::array<int64_t, 5> OldBytes{};  // each chunk's data before
  std::array<int64_t, 5> NewBytes{};  // and after
  int64_t FileBytes = 0;
};

// Reads `modelFile` and the record files, writes the result to `outFile`.
TWriteBackResult WriteBack(const std::string& modelFile, const std::string& outFile);
