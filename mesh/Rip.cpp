#include "mesh/Rip.h"

#include <memory>
#include <vector>

#include "iff/IffReader.h"
#include "util/FileIo.h"
#include "util/Paths.h"

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
        found = IffFindItem(handle.h, item, row.Id);
      } catch (const EIffReader_ErrorInChunk& e) {
        throw ERipMesh("Rip mesh: cannot find the " + std::string(row.Id) + " chunk in \"" +
                       modelFile + "\": " + e.Message());
      } catch (const EIffReader_ErrorInForm& e) {
        throw ERipMesh("Rip mesh: cannot find the " + std::string(row.Id) + " chunk in \"" +
                       modelFile + "\": " + e.Message());
      }
      // A FORM whose type is the wanted name is not mesh data.
      while (found && item.HeaderLen != 8) found = IffFindItem(handle.h, item, row.Id);
      if (!found) {
        throw ERipMesh("Rip mesh: \"" + modelFile + "\" has no " + row.Id +
                       " chunk; no record file was changed");
      }
      // The size comes from the file: check it against the bytes really there before
      // allocating anything.
      const int64_t start = int64_t{item.Offset} + 8;
      const int64_t available = fileSize > start ? fileSize - start : 0;
      if (item.Size > available) {
        throw ERipMesh("Rip mesh: the " + std::string(row.Id) + " chunk of \"" + modelFile +
                       "\" ends early: " + std::to_string(item.Size) + " bytes of data, " +
                       std::to_string(available) + " in the file; no record file was changed");
      }
      data[i].resize(static_cast<size_t>(item.Size));
      const int64_t got = ReadFileBlock(modelFile, start, data[i].data(), item.Size);
      if (got != item.Size) {
        throw ERipMesh("Rip mesh: the " + std::string(row.Id) + " chunk of \"" + modelFile +
                       "\" ends early: " + std::to_string(item.Size) + " bytes of data, " +
                       std::to_string(got) + " read; no record file was changed");
      }
    }
  }

  // Every temporary file is complete before the first rename, so a failure while writing
  // leaves all five record files as they were.
  std::vector<std::unique_ptr<TAtomicFileWriter>> writers;
  for (size_t i = 0; i < kRipChunkTable.size(); ++i) {
    writers.push_back(std::make_unique<TAtomicFileWriter>(HomeFile(kRipChunkTable[i].FileName)));
    if (!data[i].empty()) writers.back()->Write(data[i].data(), data[i].size());
  }
  TRipResult result;
  for (size_t i = 0; i < kRipChunkTable.size(); ++i) {
    writers[i]->Commit();
    result.Bytes[i] = static_cast<int64_t>(data[i].size());
  }
  return result;
}
