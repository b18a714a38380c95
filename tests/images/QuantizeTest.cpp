// The palette reduction's contracts: exact up to 256 colours, every entry used beyond,
// the quality it reaches where the best result can be worked out by hand, fixed palettes
// (nearest colour, lowest index on a tie), dithering that keeps the local mean, palette
// files.
#include "images/Quantize.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <map>
#include <random>
#include <set>

#include "images/MatGraphic.h"
#include "support/IffBytes.h"
#include "support/TestSupport.h"

namespace {

struct TRgb {
  int R, G, B;
  auto operator<=>(const TRgb&) const = default;
};

// Pixels of the given colours as the bitmap stores them (blue, green, red[, fourth]).
std::vector<uint8_t> PixelsOf(const std::vector<TRgb>& colours, int bytesPerPixel = 3) {
  std::vector<uint8_t> px;
  for (const TRgb& c : colours) {
    px.insert(px.end(), {uint8_t(c.B), uint8_t(c.G), uint8_t(c.R)});
    if (bytesPerPixel == 4) px.push_back(uint8_t(c.R * 7 + 1));  // ignored
  }
  return px;
}

TIndexedPixels Reduce(const std::vector<TRgb>& colours, const TQuantizeOptions& options = {},
                      int bytesPerPixel = 3) {
  const std::vector<uint8_t> px = PixelsOf(colours, bytesPerPixel);
  return QuantizePixels(px.data(), static_cast<int>(colours.size()), 1, bytesPerPixel, options);
}

TRgb ColourOf(const TIndexedPixels& r, size_t pixel) {
  const TPaletteEntry& e = r.Palette.at(r.Indices.at(pixel));
  return {e.Red, e.Green, e.Blue};
}

int Distance2(const TRgb& a, const TRgb& b) {
  return (a.R - b.R) * (a.R - b.R) + (a.G - b.G) * (a.G - b.G) + (a.B - b.B) * (a.B - b.B);
}

// Sum over the pixels of the squared distance to their palette colour.
double SquaredError(const std::vector<TRgb>& colours, const TIndexedPixels& r) {
  double sum = 0;
  for (size_t i = 0; i < colours.size(); ++i) sum += Distance2(colours[i], ColourOf(r, i));
  return sum;
}

void ExpectFullDistinctPalette(const TIndexedPixels& r) {
  ASSERT_EQ(r.Palette.size(), 256u);
  std::set<TRgb> distinct;
  for (const TPaletteEntry& e : r.Palette) distinct.insert({e.Red, e.Green, e.Blue});
  EXPECT_EQ(distinct.size(), 256u) << "two entries of the same colour";
  std::set<uint8_t> used(r.Indices.begin(), r.Indices.end());
  EXPECT_EQ(used.size(), 256u) << "entries no pixel uses";
}

// `n` colours at least 5 apart in every channel pair, each `copies` times.
std::vector<TRgb> SpacedColours(int n, int copies) {
  std::vector<TRgb> colours;
  for (int i = 0; i < n; ++i) {
    const TRgb c{(i % 8) * 30, (i / 8 % 8) * 30, (i / 64) * 30};
    for (int k = 0; k < copies; ++k) colours.push_back(c);
  }
  return colours;
}

}  // namespace

TEST(Quantize, AtMost256ColoursKeepEachColourMostFrequentFirst) {
  std::vector<TRgb> colours = SpacedColours(256, 1);
  colours.push_back(colours[200]);  // the one colour with two pixels
  for (int bytes : {3, 4}) {
    const TIndexedPixels r = Reduce(colours, {}, bytes);
    ASSERT_EQ(r.Palette.size(), 256u);
    EXPECT_EQ(r.Palette[0], (TPaletteEntry{uint8_t(colours[200].R), uint8_t(colours[200].G),
                                           uint8_t(colours[200].B), 0}));
    for (size_t i = 0; i < colours.size(); ++i) EXPECT_EQ(ColourOf(r, i), colours[i]) << i;
  }
}

TEST(Quantize, DitherLeavesAnExactPaletteExact) {
  const std::vector<TRgb> colours = SpacedColours(40, 3);
  TQuantizeOptions dither;
  dither.Dither = true;
  const TIndexedPixels r = Reduce(colours, dither);
  EXPECT_EQ(r.Palette.size(), 40u);
  EXPECT_EQ(SquaredError(colours, r), 0);
}

// One colour over the limit: 255 colours far apart and one pair 1 apart. The best palette
// merges the pair; every other colour keeps an entry of its own.
TEST(Quantize, OneColourOverTheLimitMergesOnlyTheClosestPair) {
  std::vector<TRgb> colours = SpacedColours(256, 2);
  const TRgb twin{colours[2 * 100].R + 1, colours[2 * 100].G, colours[2 * 100].B};
  colours.push_back(twin);
  colours.push_back(twin);
  for (int bytes : {3, 4}) {
    const TIndexedPixels r = Reduce(colours, {}, bytes);
    ExpectFullDistinctPalette(r);
    for (size_t i = 0; i < colours.size(); ++i) {
      const bool pair = colours[i] == twin || i / 2 == 100;
      EXPECT_LE(Distance2(ColourOf(r, i), colours[i]), pair ? 1 : 0) << i;
    }
  }
}

// 586 colours one step apart along a line, each 4 times. A palette entry of whole values
// that serves k distinct whole colours matches at most one of them, and misses each other
// one by at least 1: k − 1 at least. Over 256 entries that is 586 − 256 = 330 a copy, the
// least total error any palette can reach, and one that pairs and triples neighbours
// reaches it.
TEST(Quantize, GradientOf586ColoursComesCloseToTheBestPalette) {
  std::vector<TRgb> colours;
  for (int copy = 0; copy < 4; ++copy) {
    for (int i = 0; i < 586; ++i) {
      // Blue steps first, then green, then red: one channel moves by one at each step.
      const int b = std::min(i, 255), g = std::clamp(i - 255, 0, 255), rr = std::max(i - 510, 0);
      colours.push_back({rr, g, b});
    }
  }
  const TIndexedPixels r = Reduce(colours);
  ExpectFullDistinctPalette(r);
  EXPECT_LE(SquaredError(colours, r), 1.05 * 4 * 330);
}

// Random colours spread over more cells than the exact histogram takes, so the histogram is
// a grid; the palette is still 256 distinct entries, all used, and noise spread evenly over
// the colour cube is served about as well as 256 equal cells can (cubes of 256/6.35 a side:
// a mean squared error of 135 a channel, 26.8 dB).
TEST(Quantize, NoiseBeyondTheHistogramStillUsesEveryEntry) {
  std::mt19937 rng(3);
  const int side = 256;  // 65,536 pixels, nearly all of them distinct colours
  std::vector<uint8_t> px(size_t(side) * side * 3);
  for (uint8_t& b : px) b = static_cast<uint8_t>(rng());
  const TIndexedPixels r = QuantizePixels(px.data(), side, side, 3);
  ExpectFullDistinctPalette(r);
  double error = 0;
  for (size_t i = 0; i < r.Indices.size(); ++i) {
    const TPaletteEntry& e = r.Palette[r.Indices[i]];
    error += Distance2({px[3 * i + 2], px[3 * i + 1], px[3 * i]}, {e.Red, e.Green, e.Blue});
  }
  const double psnr = 10 * std::log10(255.0 * 255.0 / (error / (3.0 * double(r.Indices.size()))));
  EXPECT_GT(psnr, 26.0);
}

// The Lloyd iterations end at (or very near) their fixed point, where each entry is the mean
// of the pixels mapped to it: off by half a step for the rounding to whole values, and a
// little for the iterations' stopping early. The boxes of the split alone are not there: the
// nearest entry of a pixel is often that of the next box.
TEST(Quantize, EveryEntryIsTheMeanOfItsPixels) {
  // Light over a smooth shape with a little grain: colours spread over a curved sheet.
  std::mt19937 rng(8);
  std::vector<TRgb> colours;
  for (int y = 0; y < 128; ++y) {
    for (int x = 0; x < 128; ++x) {
      const double light = 0.5 + 0.5 * std::sin(x * 0.05) * std::cos(y * 0.04);
      const int grain = int(rng() % 5) - 2;
      colours.push_back({int(220 * light) + grain + 2, int(120 + 100 * std::sin(y * 0.03)) + grain,
                         int(60 + 120 * light * light) + grain + 2});
    }
  }
  const TIndexedPixels r = Reduce(colours);
  ExpectFullDistinctPalette(r);
  std::vector<std::array<double, 4>> sums(256, {0, 0, 0, 0});
  for (size_t i = 0; i < colours.size(); ++i) {
    auto& sum = sums[r.Indices[i]];
    sum[0] += colours[i].R;
    sum[1] += colours[i].G;
    sum[2] += colours[i].B;
    sum[3] += 1;
  }
  double worst = 0;
  for (size_t e = 0; e < 256; ++e) {
    const TPaletteEntry& p = r.Palette[e];
    worst = std::max({worst, std::abs(p.Red - sums[e][0] / sums[e][3]),
                      std::abs(p.Green - sums[e][1] / sums[e][3]),
                      std::abs(p.Blue - sums[e][2] / sums[e][3])});
  }
  EXPECT_LE(worst, 1.0);
}

TEST(Quantize, FixedPaletteTakesTheNearestAndTheLowestIndexOnATie) {
  TQuantizeOptions options;
  options.Palette = {{0, 0, 0, 0}, {100, 100, 100, 0}, {100, 100, 100, 0}, {250, 0, 0, 0}};
  const std::vector<TRgb> colours{{10, 10, 10},  {90, 95, 100}, {175, 50, 50},
                                  {180, 50, 50}, {255, 0, 0},   {50, 50, 50}};
  const TIndexedPixels r = Reduce(colours, options);
  EXPECT_EQ(r.Palette, options.Palette);
  // (175, 50, 50) is 10,625 from entries 1 and 3 alike, (180, 50, 50) 11,400 from entry 1
  // and 9,900 from entry 3; (50, 50, 50) is 7,500 from entries 0 and 1. Entry 2 repeats
  // entry 1 and so is never chosen.
  EXPECT_EQ(r.Indices, (std::vector<uint8_t>{0, 1, 1, 3, 3, 0}));
}

TEST(Quantize, FixedPaletteBeyond256UsesTheFirst256) {
  TQuantizeOptions options;
  for (int i = 0; i < 300; ++i)
    options.Palette.push_back({uint8_t(i % 256), uint8_t(i / 256), 0, 0});
  // (43, 1, 0) is entry 256 + 43 = 299, which is dropped: its nearest is (43, 0, 0).
  const TIndexedPixels r = Reduce({{43, 1, 0}, {255, 0, 0}}, options);
  ASSERT_EQ(r.Palette.size(), 256u);
  EXPECT_EQ(r.Indices, (std::vector<uint8_t>{43, 255}));
}

// Grey 128 between a black and a white entry: without dithering every pixel is one of them;
// with it the pixels mix so that their mean stays 128 to within the edge of the picture.
TEST(Quantize, DitherKeepsTheMeanOfAFlatColour) {
  const int side = 64;
  const std::vector<uint8_t> px(size_t(side) * side * 3, 128);
  TQuantizeOptions options;
  options.Palette = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  const TIndexedPixels plain = QuantizePixels(px.data(), side, side, 3, options);
  EXPECT_EQ(std::set<uint8_t>(plain.Indices.begin(), plain.Indices.end()).size(), 1u);
  options.Dither = true;
  const TIndexedPixels dithered = QuantizePixels(px.data(), side, side, 3, options);
  double mean = 0;
  for (uint8_t i : dithered.Indices) mean += i * 255.0;
  mean /= double(dithered.Indices.size());
  EXPECT_NEAR(mean, 128, 1.0);
  // The rows walked left to right and those walked right to left each keep it as well: the
  // error goes ahead in the direction of the walk.
  for (int first : {0, 1}) {
    double rows = 0;
    for (int y = first; y < side; y += 2) {
      for (int x = 0; x < side; ++x) rows += dithered.Indices[size_t(y) * side + x] * 255.0;
    }
    EXPECT_NEAR(rows / (side / 2 * side), 128, 1.0) << "rows from " << first;
  }
}

TEST(Quantize, BadPixelSizesAreRefusedAndNoPixelsGiveNoPalette) {
  const uint8_t px[8] = {};
  EXPECT_THROW(QuantizePixels(px, 2, 1, 2, {}), EInvalidGraphic);
  EXPECT_THROW(QuantizePixels(px, -1, 1, 3, {}), EInvalidGraphic);
  const TIndexedPixels none = QuantizePixels(px, 0, 5, 3, {});
  EXPECT_TRUE(none.Palette.empty());
  EXPECT_TRUE(none.Indices.empty());
}

TEST(Quantize, BitmapReductionFollowsTheOptions) {
  TBitmap b;
  b.SetPixelFormat(24);
  b.SetSize(2, 1);
  b.ScanLine(0)[2] = 200;  // red 200, then black
  TQuantizeOptions options;
  options.Palette = {{0, 0, 0, 0}, {255, 0, 0, 0}};
  b.SetPixelFormat(8, options);
  EXPECT_EQ(b.Palette(), options.Palette);
  EXPECT_EQ(b.ScanLine(0)[0], 1);
  EXPECT_EQ(b.ScanLine(0)[1], 0);
}

class PaletteFile : public ::testing::Test {
protected:
  testsupport::TempDir m_dir;
};

TEST_F(PaletteFile, ShippedPaletteLoadsItsColours) {
  const auto grey =
      LoadPaletteFile(std::string(TESSAVOR_SOURCE_DIR) + "/data/program/pal/grey.pal");
  ASSERT_EQ(grey.size(), 256u);
  EXPECT_EQ(grey[0], (TPaletteEntry{0, 0, 0, 0}));
  EXPECT_EQ(grey[255], (TPaletteEntry{255, 255, 255, 0}));
}

TEST_F(PaletteFile, CmapOfTwoBytesHasNoColoursAndOf300EntriesGives256) {
  const std::string path = m_dir.File("x.pal");
  testsupport::WriteBytes(path, iffbytes::Form("PAL ", iffbytes::Chunk("CMAP", {1, 2})));
  try {
    LoadPaletteFile(path);
    ADD_FAILURE() << "no error";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(std::string(e.what()), path + ": the palette has no colours");
  }
  testsupport::Bytes cmap;
  for (int i = 0; i < 300; ++i) cmap.insert(cmap.end(), {uint8_t(i), 1, 2});
  testsupport::WriteBytes(path, iffbytes::Form("PAL ", iffbytes::Chunk("CMAP", cmap)));
  const auto palette = LoadPaletteFile(path);
  ASSERT_EQ(palette.size(), 256u);
  EXPECT_EQ(palette[255], (TPaletteEntry{255, 1, 2, 0}));
}
