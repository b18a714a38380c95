// Pictures read through Qt meet the same caps as the program's own readers: 16,384 pixels a
// side and kMaxBitmapBytes at 4 bytes a pixel. Qt's own allocation cap (128 MB in Qt 6.4)
// lies below them, so a picture within them must still read.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>

#include "cli/qtimage/QtPictures.h"
#include "images/Bitmap.h"
#include "support/TestSupport.h"

namespace {

void PutBe32(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

void PutChunk(std::ofstream& file, const char* type, const std::string& data) {
  std::string chunk;
  PutBe32(chunk, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  chunk += body;
  PutBe32(chunk, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()),
                                             static_cast<uInt>(body.size()))));
  file.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
}

// A black RGB PNG of width x height, compressed a row at a time: the test never holds the
// pixels, only the reader does.
void WriteBlackPng(const std::string& path, uint32_t width, uint32_t height) {
  std::ofstream file(path, std::ios::binary);
  file.write("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  PutBe32(header, width);
  PutBe32(header, height);
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, no interlace
  PutChunk(file, "IHDR", header);
  z_stream z{};
  ASSERT_EQ(deflateInit(&z, 1), Z_OK);
  const std::string row(1 + size_t{width} * 3, '\0');  // filter 0 and black pixels
  std::string out(1 << 16, '\0'), idat;
  for (uint32_t y = 0; y <= height; ++y) {
    const bool last = y == height;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(row.data()));
    z.avail_in = last ? 0 : static_cast<uInt>(row.size());
    do {
      z.next_out = reinterpret_cast<Bytef*>(out.data());
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
      idat.append(out.data(), out.size() - z.avail_out);
    } while (z.avail_out == 0);
  }
  deflateEnd(&z);
  PutChunk(file, "IDAT", idat);
  PutChunk(file, "IEND", "");
}

class QtPictureCaps : public ::testing::Test {
protected:
  void SetUp() override {
    const std::string library = std::string(TESSAVOR_BIN_DIR) + "/libtvqtimage.so";
    if (!std::filesystem::exists(library)) GTEST_SKIP() << "built without Qt";
    m_handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(m_handle, nullptr) << dlerror();
    m_read = reinterpret_cast<TQtReadPicture>(dlsym(m_handle, "tv_qt_read_picture"));
    m_free = reinterpret_cast<TQtFree>(dlsym(m_handle, "tv_qt_free"));
    ASSERT_TRUE(m_read && m_free);
  }
  void TearDown() override {
    if (m_handle) dlclose(m_handle);
  }
  // The message, or "" when the picture was read at its size.
  std::string Read(uint32_t width, uint32_t height) {
    const std::string path = dir.File("p.png");
    WriteBlackPng(path, width, height);
    TQtPicture picture{};
    char error[512] = {};
    const int failed = m_read(path.c_str(), kMaxBitmapBytes, &picture, error, sizeof error);
    m_free(picture.Pixels);
    if (failed) return error;
    EXPECT_EQ(picture.Width, static_cast<int32_t>(width));
    EXPECT_EQ(picture.Height, static_cast<int32_t>(height));
    return {};
  }
  testsupport::TempDir dir{false};
  void* m_handle = nullptr;
  TQtReadPicture m_read = nullptr;
  TQtFree m_free = nullptr;
};

// 8,192 x 8,192 is exactly the cap (256 MiB at 4 bytes a pixel), twice Qt's own; 8,193
// rows are one row over; 16,385 pixels a side is over the side cap.
TEST_F(QtPictureCaps, APictureAtTheCapReadsAndOneRowOverIsRefused) {
  EXPECT_EQ(Read(8192, 8192), "");
  EXPECT_NE(Read(8192, 8193).find("8192 x 8193 pixels is too large"), std::string::npos);
  EXPECT_NE(Read(16385, 1).find("is too large"), std::string::npos);
}

}  // namespace
