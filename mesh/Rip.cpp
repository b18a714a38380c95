#include "mesh/Rip.h"

#include <memory>
#include <vector>

#include "iff/IffReader.h"
#include "mesh/MeshDocument.h"
#include "mesh/RecordFiles.h"
#include "util/FileIo.h"
#include "util/Paths.h"
#include "util/StrTools.h"

int64_t ReadFileBlock(const std::string& fileName, int64_t offset, void* buffer, int64_t count) {
  TFileStream file(fileName, TFileStream::TMode::OpenRead);
  if (offset < 0 || count <= 0) return 0;
  file.Seek(offset);
  return file.Read(buffer, count);
}

namespace {

struct THandle {
  int h;
  ~THandle() { IffCloseHandle(h); }
};

[[noreturn]] void ScanFailed(const TRipChunk& row, const std::string& modelFile,
                             const Exception& e) {
  throw ERipMesh("Rip mesh: cannot find the " + std::string(row.Id) + " chunk in \"" +
                 QuotePathForMessage(modelFile) + "\": " + e.Message() +
                 "; no record file was changed");
}

[[noreturn]] void EndsEarly(const TRipChunk& row, const std::string& modelFile, int64_t size,
                            int64_t there) {
  throw ERipMesh("Rip mesh: the " + std::string(row.Id) + " chunk of \"" +
                 QuotePathForMessage(modelFile) + "\" ends early: " + std::to_string(size) +
                 " bytes of data, " + std::to_string(there) +
                 " in the file; no record file was changed");
}

}  // namespace

TRipResult RipMesh(const std::string& modelFile) {
  std::array<std::vector<uint8_t>, kRipChunkTable.size()> data;
  {
    const THandle handle{IffOpenFile(modelFile)};
    const int64_t fileSize = TFileStream(modelFile, TFileStream::TMode::OpenRead).Size();
    for (size_t i = 0; i < kRipChunkTable.size(); ++i) {
      const TRipChunk& row = kRipChunkTable[i];
      IffRewind(handle.h);
      TIffItemHeader item;
      bool found = false;
      try {
        // A FORM whose type is the wanted name is not mesh data.
        do {
          found = IffFindItem(handle.h, item, row.Id);
        } while (found && item.HeaderLen != 8);
      } catch (const EIffReader_ErrorInChunk& e) {
        ScanFailed(row, modelFile, e);
      } catch (const EIffReader_ErrorInForm& e) {
        ScanFailed(row, modelFile, e);
      }
      if (!found) {
        throw ERipMesh("Rip mesh: \"" + QuotePathForMessage(modelFile) + "\" has no " + row.Id +
                       " chunk; no record file was changed");
      }
      // The size comes from the file: check it against the bytes really there before
      // allocating anything.
      const int64_t start = int64_t{item.Offset} + 8;
      const int64_t available = fileSize > start ? fileSize - start : 0;
      if (item.FullSize > available) EndsEarly(row, modelFile, item.FullSize, available);
      data[i].resize(static_cast<size_t>(item.Size));
      const int64_t got = ReadFileBlock(modelFile, start, data[i].data(), item.Size);
      if (got != item.Size) EndsEarly(row, modelFile, item.Size, got);
    }
  }

  // A chunk the editor cannot hold would be ripped and then fail to load, with the
  // previous mesh already gone: refuse it while nothing has changed.
  for (size_t i = 0; i < kRipChunkTable.size(); ++i) {
    const TRipChunk& row = kRipChunkTable[i];
    if (row.RecordSize != 12 && row.RecordSize != 16 && row.RecordSize != 28) continue;
    // Load takes a short final record of VERT, VTNM and FVRT; a short FACE record is dropped.
    const uint64_t bytes = data[i].size();
    const uint64_t records =
        row.RecordSize == 28 ? bytes / 28 : (bytes + row.RecordSize - 1) / row.RecordSize;
    if (records > static_cast<uint64_t>(MeshCapacity)) {
      throw ERipMesh("Rip mesh: the " + std::string(row.Id) + " chunk of \"" +
                     QuotePathForMessage(modelFile) + "\" holds " + std::to_string(records) +
                     " records, more than the " + std::to_string(MeshCapacity) +
                     " the editor holds; no record file was changed");
    }
  }

  // All five files change together (mesh/RecordFiles.h): a failure while writing, or a
  // rename that fails, leaves the five record files as they were.
  std::vector<TFileSetItem> items;
  TRipResult result;
  for (size_t i = 0; i < kRipChunkTable.size(); ++i) {
    items.push_back({HomeFile(kRipChunkTable[i].FileName), data[i].data(), data[i].size()});
    result.Bytes[i] = static_cast<int64_t>(data[i].size());
  }
  WriteRecordFiles(items);
  return result;
}
