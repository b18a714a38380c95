#include "mesh/WriteBack.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "iff/IffId.h"
#include "mesh/Rip.h"
#include "util/FileIo.h"
#include "util/Paths.h"
#include "util/StrTools.h"

namespace {

constexpr uint64_t kMaxFile = 0x7FFFFFFF;

struct TItem {
  uint32_t Offset;
  uint32_t Size;  // the size field as written
  bool Form;
};

// Every item in file order, the way the scanner walks them: into a FORM past its type, over
// a chunk and its pad byte; an id whose first byte is zero, or fewer than 8 bytes left, end
// the walk. Each step is measured against the bytes left before it is taken: a FORM or a
// chunk whose size claims more than the file holds is refused (a missing pad byte at the
// very end is not). Offsets stay below 2^31, so no sum overflows.
std::vector<TItem> Walk(std::span<const uint8_t> b, const std::string& what) {
  std::vector<TItem> items;
  uint64_t pos = 0;
  while (b.size() - pos >= 8 && b[pos] != 0) {
    const uint8_t* p = b.data() + pos;
    const uint32_t size = GetBE(p + 4);
    const bool form = std::memcmp(p, "FORM", 4) == 0;
    const uint64_t left = b.size() - pos - 8;
    if (form && size < 4) {
      throw EWriteBack("Write back: the FORM at offset " + std::to_string(pos) + " of \"" +
                       QuotePathForMessage(what) + "\" is too small to hold its type");
    }
    if (size > left) {
      const std::string item =
          form ? std::string("FORM")
               : "chunk \"" +
                     QuoteForMessage(std::string_view(reinterpret_cast<const char*>(p), 4)) + "\"";
      throw EWriteBack("Write back: the " + item + " at offset " + std::to_string(pos) + " of \"" +
                       QuotePathForMessage(what) +
                       "\" runs past the end of the file; nothing was written");
    }
    items.push_back({static_cast<uint32_t>(pos), size, form});
    pos += form ? 12 : std::min<uint64_t>(8 + uint64_t{size} + (size & 1), b.size() - pos);
  }
  return items;
}

std::vector<uint8_t> ReadBounded(const std::string& path, const std::string& what) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec)
    throw EWriteBack("Write back: cannot read " + what + " \"" + QuotePathForMessage(path) +
                     "\": " + ec.message());
  if (size > kMaxFile) {
    throw EWriteBack("Write back: " + what + " \"" + QuotePathForMessage(path) + "\" has " +
                     std::to_string(size) + " bytes, more than 2147483647");
  }
  std::vector<uint8_t> data = ReadWholeFile(path);
  if (data.size() > kMaxFile)
    throw EWriteBack("Write back: " + what + " \"" + QuotePathForMessage(path) +
                     "\" grew while read");
  return data;
}

}  // namespace

std::vector<uint8_t> WriteBackBytes(std::span<const uint8_t> model,
                                    const std::array<std::vector<uint8_t>, 5>& records,
                                    const std::string& what) {
  if (model.size() > kMaxFile)
    throw EWriteBack("Write back: \"" + QuotePathForMessage(what) +
                     "\" is larger than 2147483647 bytes");
  const std::vector<TItem> items = Walk(model, what);

  struct TReplace {
    size_t Item;
    size_t Row;
    uint32_t SizeField;  // the new chunk's size field
    uint64_t Extent;     // its bytes in the file: header, data, pad
  };
  std::vector<TReplace> replaces;
  for (size_t row = 0; row < kRipChunkTable.size(); ++row) {
    const auto it = std::find_if(items.begin(), items.end(), [&](const TItem& item) {
      return !item.Form && std::memcmp(model.data() + item.Offset, kRipChunkTable[row].Id, 4) == 0;
    });
    if (it == items.end()) {
      throw EWriteBack("Write back: \"" + QuotePathForMessage(what) + "\" has no " +
                       kRipChunkTable[row].Id + " chunk; nothing was written");
    }
    const uint64_t oldExtent = 8 + uint64_t{it->Size} + (it->Size & 1);
    if (it->Offset + oldExtent > model.size()) {
      throw EWriteBack("Write back: the " + std::string(kRipChunkTable[row].Id) + " chunk of \"" +
                       QuotePathForMessage(what) +
                       "\" runs past the end of the file; nothing was written");
    }
    const std::vector<uint8_t>& data = records[row];
    if (data.size() > kMaxFile)
      throw EWriteBack("Write back: a record file is larger than 2147483647 bytes");
    TReplace r{static_cast<size_t>(it - items.begin()), row, static_cast<uint32_t>(data.size()),
               8 + data.size() + (data.size() & 1)};
    // A rip copies an odd chunk with its pad byte: the same bytes back keep the odd size.
    if (it->Size % 2 != 0 && data.size() == uint64_t{it->Size} + 1 &&
        data.back() == model[it->Offset + 8 + it->Size]) {
      r.SizeField = it->Size;
      r.Extent = 8 + data.size();
    }
    replaces.push_back(r);
  }
  std::sort(replaces.begin(), replaces.end(),
            [](const TReplace& a, const TReplace& b) { return a.Item < b.Item; });
  auto delta = [&](const TReplace& r) {
    const TItem& c = items[r.Item];
    return static_cast<int64_t>(r.Extent) -
           static_cast<int64_t>(8 + uint64_t{c.Size} + (c.Size & 1));
  };

  std::vector<uint8_t> out;
  out.reserve(model.size());
  uint64_t copied = 0;
  for (const TReplace& r : replaces) {
    const TItem& chunk = items[r.Item];
    const std::vector<uint8_t>& data = records[r.Row];
    out.insert(out.end(), model.begin() + static_cast<ptrdiff_t>(copied),
               model.begin() + chunk.Offset + 4);
    uint8_t size[4];
    PutBE(size, r.SizeField);
    out.insert(out.end(), size, size + 4);
    out.insert(out.end(), data.begin(), data.end());
    if (r.Extent > 8 + data.size()) out.push_back(0);  // the pad of odd data
    copied = uint64_t{chunk.Offset} + 8 + chunk.Size + (chunk.Size & 1);
    if (out.size() > kMaxFile)
      throw EWriteBack("Write back: the result would pass 2147483647 bytes; nothing was written");
  }
  out.insert(out.end(), model.begin() + static_cast<ptrdiff_t>(copied), model.end());
  if (out.size() > kMaxFile)
    throw EWriteBack("Write back: the result would pass 2147483647 bytes; nothing was written");

  // Each FORM grows by what the chunks inside it grow, and its header moves by what the
  // chunks in front of it grew.
  for (size_t i = 0; i < items.size(); ++i) {
    const TItem& f = items[i];
    if (!f.Form) continue;
    int64_t growth = 0;
    int64_t shift = 0;
    for (const TReplace& r : replaces) {
      const TItem& c = items[r.Item];
      if (c.Offset < f.Offset) {
        shift += delta(r);
      } else if (c.Offset < uint64_t{f.Offset} + 8 + f.Size) {
        growth += delta(r);
      }
    }
    if (growth == 0) continue;
    const int64_t size = int64_t{f.Size} + growth;
    if (size < 4 || size > static_cast<int64_t>(kMaxFile)) {
      throw EWriteBack("Write back: the FORM at offset " + std::to_string(f.Offset) + " of \"" +
                       QuotePathForMessage(what) + "\" would get the size " + std::to_string(size) +
                       "; nothing was written");
    }
    PutBE(out.data() + f.Offset + shift + 4, static_cast<uint32_t>(size));
  }
  return out;
}

std::array<std::vector<uint8_t>, 5> ModelRecordBytes(std::span<const uint8_t> model,
                                                     const std::string& what) {
  if (model.size() > kMaxFile)
    throw EWriteBack("Write back: \"" + what + "\" is larger than 2147483647 bytes");
  const std::vector<TItem> items = Walk(model, what);
  std::array<std::vector<uint8_t>, 5> records;
  for (size_t row = 0; row < kRipChunkTable.size(); ++row) {
    const auto it = std::find_if(items.begin(), items.end(), [&](const TItem& item) {
      return !item.Form && std::memcmp(model.data() + item.Offset, kRipChunkTable[row].Id, 4) == 0;
    });
    if (it == items.end())
      throw EWriteBack("\"" + what + "\" has no " + kRipChunkTable[row].Id + " chunk");
    // Walk measured the chunk against the bytes left; only the pad byte may be missing.
    const uint64_t begin = uint64_t{it->Offset} + 8;
    const uint64_t size =
        std::min<uint64_t>(uint64_t{it->Size} + (it->Size & 1), model.size() - begin);
    records[row].assign(model.begin() + static_cast<ptrdiff_t>(begin),
                        model.begin() + static_cast<ptrdiff_t>(begin + size));
  }
  return records;
}

TWriteBackResult WriteBack(const std::string& modelFile, const std::string& outFile) {
  const std::vector<uint8_t> model = ReadBounded(modelFile, "the model");
  std::array<std::vector<uint8_t>, 5> records;
  for (size_t i = 0; i < records.size(); ++i)
    records[i] = ReadBounded(HomeFile(kRipChunkTable[i].FileName), "the record file");
  const std::vector<uint8_t> out = WriteBackBytes(model, records, modelFile);
  TWriteBackResult r;
  const std::vector<TItem> items = Walk(model, modelFile);
  for (size_t row = 0; row < records.size(); ++row) {
    for (const TItem& item : items) {
      if (!item.Form && std::memcmp(model.data() + item.Offset, kRipChunkTable[row].Id, 4) == 0) {
        r.OldBytes[row] = item.Size;
        break;
      }
    }
    r.NewBytes[row] = static_cast<int64_t>(records[row].size());
  }
  r.FileBytes = static_cast<int64_t>(out.size());
  WriteFileAtomic(outFile, out.data(), out.size());
  return r;
}
