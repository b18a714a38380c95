#pragma once
// "Rip mesh": copies the data of a model file's first VERT, VTNM, FVRT, FACE and RADI
// chunks byte for byte into the five record files in the home folder. The caller then
// runs Load (TMeshDocument::LoadRecordFiles).
//
// Each chunk is the first item of its name anywhere in the file, in file order, depth
// first, so of a model with several levels of detail the first mesh is ripped. A chunk's
// data is copied with the pad byte of an odd size, whatever its length.
//
// All or nothing: all five chunks are read and checked first, and only then are the record
// files replaced, together (mesh/RecordFiles.h). If a chunk is missing, the file ends
// inside a chunk, a chunk holds more records than the editor's arrays (MeshCapacity, so
// that the Load after the rip cannot fail), or the model cannot be opened or scanned,
// RipMesh raises and no record file is changed; the message names the chunk and the
// model file.

#include <array>
#include <cstdint>
#include <string>

#include "util/Exception.h"

TESSAVOR_DECLARE_EXCEPTION(ERipMesh);

struct TRipChunk {
  const char* Id;        // chunk identifier in the model file
  const char* FileName;  // record file in the home folder
  int32_t RecordSize;    // bytes per record in the chunk data
};

// In processing order.
inline constexpr std::array<TRipChunk, 5> kRipChunkTable = {{
    {"VERT", "vert.kvt", 12},
    {"VTNM", "vtnm.kvt", 12},
    {"FVRT", "fvrt.kvt", 16},
    {"FACE", "face.kvt", 28},
    {"RADI", "radi.kvt", 4},
}};

// Opens `fileName`, reads up to `count` bytes at `offset` into `buffer` and closes it again;
// returns the number of bytes read (fewer at the end of the file). A file that cannot be
// opened raises EInOutError; a negative offset or count reads nothing.
int64_t ReadFileBlock(const std::string& fileName, int64_t offset, void* buffer, int64_t count);

// The data bytes of each chunk copied, in table order.
struct TRipResult {
  std::array<int64_t, 5> Bytes{};
};

// Rips `modelFile` into the home folder's record files (see above). Raises ERipMesh for a
// missing or truncated chunk or a model the scanner rejects, the IFF reader's errors for a
// model that cannot be opened (EIffReader_NoFreeFileHandles) and EInOutError for a model
// that does not exist or a record file that cannot be written.
TRipResult RipMesh(const std::string& modelFile);
