#include "images/Gct.h"

#include <cstring>
#include <fstream>

#include "util/FileIo.h"

namespace {

int32_t I32(const uint8_t* p) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

void PutI32(std::vector<uint8_t>& out, int32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
}

}  // namespace

bool TGctHeader::MagicValid() const { return std::memcmp(Magic, kGctMagic, 8) == 0; }

TGctHeader ReadGctHeader(std::istream& file) {
  uint8_t raw[kGctHeaderSize];
  file.read(reinterpret_cast<char*>(raw), sizeof raw);
  if (static_cast<size_t>(file.gcount()) != sizeof raw) throw EInOutError("Read beyond end of file");
  TGctHeader header;
  std::memcpy(header.Magic, raw, 8);
  header.Width = I32(raw + 8);
  header.Height = I32(raw + 12);
  header.Extra = raw[16];
  return header;
}

void WriteGctFile(const std::string& path, int width, int height, const uint8_t* rgb, TStreamFormat format) {
  if (width < 0 || height < 0) throw EInvalidGraphic("WriteGctFile: negative size");
  const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
  std::vector<uint8_t> file;
  file.insert(file.end(), kGctMagic, kGctMagic + 8);
  PutI32(file, width);
  PutI32(file, height);
  file.push_back(0);
  const std::vector<uint8_t> stream = EncodeStream(rgb, bytes, format);
  file.insert(file.end(), stream.begin(), stream.end());
  WriteFileAtomic(path, file.data(), file.size());
}

void LoadGctFile(const std::string& path, TBitmap& bitmap) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw EInOutError("Cannot open file \"" + path + "\"");
  const TGctHeader header = ReadGctHeader(file);
  if (!header.MagicValid()) {
    throw EInvalidGraphic("LoadGctFile (" + path + "): Invalid format: " + header.MagicText());
  }
  bitmap.SetPixelFormat(24);
  bitmap.SetSize(header.Width, header.Height);
  const size_t bytes = static_cast<size_t>(header.Width) * static_cast<size_t>(header.Height) * 3;
  std::vector<uint8_t> rgb(bytes);
  uint32_t count = 0;
  _BlockRead(file, rgb.data(), static_cast<int64_t>(bytes) - 1, count);
  if (count < bytes) {
    throw EComprError("LoadGctFile (" + path + "): the texture holds " + std::to_string(count) +
                      " of " + std::to_string(bytes) + " bytes");
  }
  for (int y = 0; y < header.Height; ++y) {
    const uint8_t* src = rgb.data() + static_cast<size_t>(y) * header.Width * 3;
    uint8_t* dst = bitmap.ScanLine(y);
    for (int x = 0; x < header.Width; ++x, src += 3, dst += 3) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
    }
  }
}

void SaveGctFile(const std::string& path, const TBitmap& bitmap, TStreamFormat format) {
  std::vector<uint8_t> rgb(static_cast<size_t>(bitmap.Width()) * static_cast<size_t>(bitmap.Height()) * 3);
  uint8_t* p = rgb.data();
  for (int y = 0; y < bitmap.Height(); ++y) {
    for (int x = 0; x < bitmap.Width(); ++x, p += 3) bitmap.GetRgb(x, y, p[0], p[1], p[2]);
  }
  WriteGctFile(path, bitmap.Width(), bitmap.Height(), rgb.data(), format);
}
