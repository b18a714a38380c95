#include "images/Gct.h"

#include <ext/stdio_filebuf.h>

#include <algorithm>
#include <cstring>
#include <istream>

#include "util/FileIo.h"
#include "util/StrTools.h"

namespace {

int32_t I32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) |
                              (static_cast<uint32_t>(p[3]) << 24));
}

void PutI32(std::vector<uint8_t>& out, int32_t v) {
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

// Pixel (x, y) of a `width` × `height` picture of 3-byte pixels goes to row x, column y of
// the transposed raster (`height` wide). With `swapRedBlue` the first and third byte of each
// pixel trade places on the way.
void Transpose(const uint8_t* from, uint8_t* to, size_t width, size_t height, bool swapRedBlue) {
  for (size_t y = 0; y < height; ++y) {
    const uint8_t* row = from + y * width * 3;
    for (size_t x = 0; x < width; ++x) {
      const uint8_t* p = row + x * 3;
      uint8_t* q = to + (x * height + y) * 3;
      q[0] = swapRedBlue ? p[2] : p[0];
      q[1] = p[1];
      q[2] = swapRedBlue ? p[0] : p[2];
    }
  }
}

}  // namespace

bool TGctHeader::MagicValid() const { return std::memcmp(Magic, kGctMagic, 8) == 0; }

TGctHeader ReadGctHeader(std::istream& file) {
  uint8_t raw[kGctHeaderSize];
  file.read(reinterpret_cast<char*>(raw), sizeof raw);
  if (static_cast<size_t>(file.gcount()) != sizeof raw)
    throw EInOutError("Read beyond end of file");
  TGctHeader header;
  std::memcpy(header.Magic, raw, 8);
  header.Width = I32(raw + 8);
  header.Height = I32(raw + 12);
  header.Extra = raw[16];
  return header;
}

void WriteGctFile(const std::string& path, int width, int height, const uint8_t* rgb,
                  TStreamFormat format) {
  if (width < 0 || height < 0) throw EInvalidGraphic("WriteGctFile: negative size");
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
  std::vector<uint8_t> stored(bytes);
  Transpose(rgb, stored.data(), static_cast<size_t>(width), static_cast<size_t>(height), false);
  std::vector<uint8_t> file;
  file.insert(file.end(), kGctMagic, kGctMagic + 8);
  PutI32(file, height);  // the stored width: a stored row is a picture column
  PutI32(file, width);
  file.push_back(0);
  const std::vector<uint8_t> stream = EncodeStream(stored.data(), bytes, format);
  file.insert(file.end(), stream.begin(), stream.end());
  WriteFileAtomic(path, file.data(), file.size());
}

void LoadGctFile(const std::string& path, TBitmap& bitmap) {
  // Without blocking, only a regular file (util/FileIo.h); the stream reads through the
  // descriptor, which the buffer closes.
  TInputFile input(path);
  const uint64_t fileSize = input.Size();
  __gnu_cxx::stdio_filebuf<char> buffer(input.Release(), std::ios::in | std::ios::binary);
  std::istream file(&buffer);
  auto where = [&](const Exception& e) {
    return "LoadGctFile (" + path + ", " + std::to_string(fileSize) + " bytes): " + e.Message();
  };
  try {
    const TGctHeader header = ReadGctHeader(file);
    if (!header.MagicValid()) {
      throw EInvalidGraphic("Invalid format: " + QuoteForMessage(header.MagicText()));
    }
    if (!BitmapSizeFits(header.Width, header.Height))
      throw EInvalidGraphic(BitmapSizeRefusal(header.Width, header.Height));
    const uint64_t bytes =
        static_cast<uint64_t>(header.Width) * static_cast<uint64_t>(header.Height) * 3;
    // The claim is checked against the stream header and the bytes really in the file
    // before the picture is allocated: a 17-byte file cannot make gigabytes appear.
    uint8_t stream[kStreamHeaderSize];
    file.read(reinterpret_cast<char*>(stream), sizeof stream);
    if (static_cast<size_t>(file.gcount()) != sizeof stream) {
      throw EInOutError("Read beyond end of file at offset " + std::to_string(kGctHeaderSize) +
                        " (the stream header)");
    }
    file.seekg(static_cast<std::streamoff>(kGctHeaderSize));
    CheckStreamMagic(stream);
    const uint32_t packed = static_cast<uint32_t>(I32(stream + 2));
    const uint32_t unpacked = static_cast<uint32_t>(I32(stream + 6));
    const uint64_t present = fileSize - kGctHeaderSize - kStreamHeaderSize;
    // The largest output per input byte: a 4-byte run item gives at most 4111 bytes in the
    // block format; zlib packs at most about 1032:1; stored data is itself.
    uint64_t reachable = present;
    if (stream[0] == 0xCC && stream[1] == 0xCC && stream[10] != 0)
      reachable = present * 1028 + 4111;
    if (stream[0] == 0xCC && stream[1] == 0xDD)
      reachable = std::min<uint64_t>(packed, present) * 1032 + 1024;
    if (unpacked != bytes || bytes > reachable) {
      throw EComprError("the texture needs " + std::to_string(bytes) +
                        " bytes, but the stream says " + std::to_string(unpacked) + " and its " +
                        std::to_string(present) + " bytes in the file can give at most " +
                        std::to_string(reachable));
    }
    std::vector<uint8_t> stored(bytes);
    uint32_t count = 0;
    _BlockRead(file, stored.data(), static_cast<int64_t>(bytes) - 1, count);
    if (count < bytes) {
      throw EComprError("the texture holds " + std::to_string(count) + " of " +
                        std::to_string(bytes) + " bytes");
    }
    // The stored rows are the picture's columns; the bitmap's pixels are blue, green, red.
    bitmap.SetPixelFormat(24);
    bitmap.SetSize(header.Height, header.Width);
    Transpose(stored.data(), bitmap.Pixels(), static_cast<size_t>(header.Width),
              static_cast<size_t>(header.Height), true);
  } catch (const EInvalidGraphic& e) {
    throw EInvalidGraphic(where(e));
  } catch (const EComprError& e) {
    throw EComprError(where(e));
  } catch (const EInOutError& e) {
    throw EInOutError(where(e));
  }
}

void SaveGctFile(const std::string& path, const TBitmap& bitmap, TStreamFormat format) {
  std::vector<uint8_t> rgb(static_cast<size_t>(bitmap.Width()) *
                           static_cast<size_t>(bitmap.Height()) * 3);
  uint8_t* p = rgb.data();
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x, p += 3) bitmap.GetRgb(x, y, p[0], p[1], p[2]);
  }
  WriteGctFile(path, bitmap.Width(), bitmap.Height(), rgb.data(), format);
}
