// Writes the demo model's textures, named after their material number as the viewers look
// them up: 24-bit uncompressed BMP pictures (00001001.bmp ... 00001004.bmp) for the GL
// viewer and the model viewer's fallback, and compressed ".gct" textures (00001001.gct ...)
// written by the program's own stream encoder, which the model viewer prefers, and the
// game's MAT pictures (00001001.mat ...) written by the program's own MAT writer, which the
// Texturing tab shows. Walls and roof use the block format and plain MAT pixels, door and
// windows the zlib format and run-length MAT, so the demo shows both kinds of each.
// Drawn procedurally at 64 x 64 and written at 256 x 256 (each pixel 4 x 4), the size a
// picture texture covers: a smaller picture would leave most of it black.
// Drawn here so that the project ships no binary pictures.
//
//   demo_textures OUTDIR
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "images/Bmp.h"
#include "images/Gct.h"
#include "images/MatGraphic.h"

namespace {

constexpr int kSize = 64;
constexpr int kScale = 4;
constexpr int kOutSize = kSize * kScale;

struct TRgb {
  uint8_t r, g, b;
};

using TPicture = std::vector<TRgb>;  // row 0 is the top row

// A little deterministic noise so that flat areas do not look printed.
uint8_t Shade(uint8_t v, int x, int y, int amount) {
  const uint32_t h =
      (static_cast<uint32_t>(x) * 73856093u) ^ (static_cast<uint32_t>(y) * 19349663u);
  const int d = static_cast<int>(h % static_cast<uint32_t>(2 * amount + 1)) - amount;
  const int s = v + d;
  return static_cast<uint8_t>(s < 0 ? 0 : s > 255 ? 255 : s);
}

TRgb Noisy(TRgb c, int x, int y, int amount) {
  return {Shade(c.r, x, y, amount), Shade(c.g, x + 7, y, amount), Shade(c.b, x, y + 13, amount)};
}

// Walls: bricks in running bond, 16 x 8 pixels with light mortar.
TPicture Bricks() {
  TPicture p(kSize * kSize);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const int row = y / 8;
      const int bx = (x + (row % 2) * 8) % 16;
      const bool mortar = y % 8 == 7 || bx == 15;
      p[y * kSize + x] = mortar ? Noisy({200, 195, 185}, x, y, 6) : Noisy({160, 70, 50}, x, y, 18);
    }
  }
  return p;
}

// Roof: overlapping tile rows, darker at each row's lower edge.
TPicture Tiles() {
  TPicture p(kSize * kSize);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const int inRow = y % 10;
      const int tx = (x + (y / 10 % 2) * 6) % 12;
      const double arc = std::abs(tx - 5.5) / 5.5;
      const bool edge = inRow >= 8 - static_cast<int>(arc * 2) || tx == 0;
      p[y * kSize + x] = edge ? Noisy({70, 30, 25}, x, y, 6) : Noisy({150, 55, 40}, x, y, 12);
    }
  }
  return p;
}

// Door: vertical planks with a knob.
TPicture Door() {
  TPicture p(kSize * kSize);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const bool gap = x % 16 == 0;
      TRgb c = gap ? TRgb{60, 40, 20} : Noisy({120, 80, 45}, x / 2, y * 3, 14);
      const int kx = x - 50, ky = y - 34;
      if (kx * kx + ky * ky <= 9) c = {210, 180, 60};
      p[y * kSize + x] = c;
    }
  }
  return p;
}

// Windows: four panes of sky-blue glass in a white frame.
TPicture Window() {
  TPicture p(kSize * kSize);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const bool frame = x < 4 || x >= kSize - 4 || y < 4 || y >= kSize - 4 ||
                         std::abs(x - 31) <= 1 || std::abs(y - 31) <= 1;
      const int glow = (x + y) < 40 ? 40 : 0;
      p[y * kSize + x] =
          frame ? TRgb{235, 235, 230}
                : TRgb{static_cast<uint8_t>(90 + glow), static_cast<uint8_t>(150 + glow / 2), 210};
    }
  }
  return p;
}

// The pixel (x, y) of the written 256 x 256 picture.
TRgb OutPixel(const TPicture& p, int x, int y) { return p[(y / kScale) * kSize + x / kScale]; }

// A 24-bit uncompressed BMP through the core's writer (images/Bmp.h).
bool WriteBmp(const std::string& path, const TPicture& p) {
  try {
    TBitmap bitmap;
    bitmap.SetPixelFormat(24);
    bitmap.SetSize(kOutSize, kOutSize);
    for (int y = 0; y < kOutSize; ++y) {
      uint8_t* row = bitmap.ScanLine(y);
      for (int x = 0; x < kOutSize; ++x) {
        const TRgb c = OutPixel(p, x, y);
        row[3 * x] = c.b;
        row[3 * x + 1] = c.g;
        row[3 * x + 2] = c.r;
      }
    }
    SaveBmpFile(path, bitmap);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "demo_textures: %s\n", e.what());
    return false;
  }
  return true;
}

bool WriteGct(const std::string& path, const TPicture& p, TStreamFormat format) {
  std::vector<uint8_t> rgb;
  rgb.reserve(static_cast<size_t>(kOutSize) * kOutSize * 3);
  for (int y = 0; y < kOutSize; ++y) {
    for (int x = 0; x < kOutSize; ++x) {
      const TRgb c = OutPixel(p, x, y);
      rgb.insert(rgb.end(), {c.r, c.g, c.b});
    }
  }
  try {
    WriteGctFile(path, kOutSize, kOutSize, rgb.data(), format);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "demo_textures: %s\n", e.what());
    return false;
  }
  return true;
}

bool WriteMat(const std::string& path, const TPicture& p, bool runLength) {
  try {
    TMATGraphic mat;
    mat.SetSize(kOutSize, kOutSize);  // 24 bits per pixel: blue, green, red, top row first
    for (int y = 0; y < kOutSize; ++y) {
      uint8_t* row = mat.ScanLine(y);
      for (int x = 0; x < kOutSize; ++x) {
        const TRgb c = OutPixel(p, x, y);
        row[3 * x] = c.b;
        row[3 * x + 1] = c.g;
        row[3 * x + 2] = c.r;
      }
    }
    mat.SaveCompressed = runLength;
    mat.SaveMatFile(path);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "demo_textures: %s\n", e.what());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: demo_textures OUTDIR\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  const struct {
    const char* name;
    TPicture picture;
    TStreamFormat format;
  } textures[] = {{"00001001", Bricks(), TStreamFormat::Blocks},
                  {"00001002", Tiles(), TStreamFormat::Blocks},
                  {"00001003", Door(), TStreamFormat::Zlib},
                  {"00001004", Window(), TStreamFormat::Zlib}};
  for (const auto& t : textures) {
    if (!WriteBmp(dir + t.name + ".bmp", t.picture)) {
      std::fprintf(stderr, "demo_textures: cannot write %s%s.bmp\n", dir.c_str(), t.name);
      return 1;
    }
    if (!WriteGct(dir + t.name + ".gct", t.picture, t.format)) return 1;
    if (!WriteMat(dir + t.name + ".mat", t.picture, t.format == TStreamFormat::Zlib)) return 1;
  }
  return 0;
}
