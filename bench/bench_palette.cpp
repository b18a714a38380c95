// The palette reduction (images/Quantize.h) against the one it replaced
// (PreviousReduction.h), in time and in quality.
//
// Pair/Reduce/<picture>: both reductions of the same 2048 x 2048 picture, timed alternately;
// target: ours at most 3 times as long (speedup at least 0.33).
//
// Quality/<picture>: one run each, counters only. PSNR against the source (red, green and
// blue together) of the previous reduction (psnr_before), ours (psnr_ours), ours with
// --dither (psnr_dither) and, where `pngquant` is on the PATH, `pngquant --nofs 256` as a
// side-by-side measure (psnr_pngquant, and its processor time against ours as
// pngquant_ms / ours_ms); the entries each palette uses; the picture's distinct colours.
// Target: psnr_ours at most 0.3 dB below psnr_pngquant on every picture. pngquant is never
// a dependency: without it the column is simply missing.
//
// Pictures: the demo model's four textures (bin/demo/0000100N.gct beside this program), and
// drawn here: a sky gradient, a noisy stone texture, a hue wheel and a photograph-like
// picture of smooth light, leaves and sensor noise; the pairs also time random noise, the
// worst case of the histogram.
#include <benchmark/benchmark.h>
#include <png.h>
#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "PairTiming.h"
#include "PreviousReduction.h"
#include "images/Gct.h"
#include "images/PngWriter.h"
#include "images/Quantize.h"
#include "support/TestSupport.h"
#include "util/Paths.h"

namespace {

uint8_t Clamp(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

// A 24-bit picture drawn by `colour(x, y, r, g, b)` (values 0..255).
template <class F>
TBitmap Draw(int side, F colour) {
  TBitmap b;
  b.SetPixelFormat(24);
  b.SetSize(side, side);
  for (int y = 0; y < side; ++y) {
    uint8_t* p = b.ScanLine(y);
    for (int x = 0; x < side; ++x, p += 3) {
      double r, g, bl;
      colour(double(x) / side, double(y) / side, r, g, bl);
      p[0] = Clamp(bl);
      p[1] = Clamp(g);
      p[2] = Clamp(r);
    }
  }
  return b;
}

// Deep blue overhead to a pale horizon, with a faint warm glow on one side: a few hundred
// colours in long smooth bands.
TBitmap Sky(int side) {
  return Draw(side, [](double x, double y, double& r, double& g, double& b) {
    const double glow = 0.25 * std::exp(-((x - 0.8) * (x - 0.8) + (y - 1) * (y - 1)) * 4);
    r = 40 + 150 * y + 60 * glow;
    g = 90 + 120 * y + 30 * glow;
    b = 200 + 45 * y;
  });
}

// Value noise at two scales over a grey-brown, and grain per pixel: a stone wall's texture.
TBitmap Stone(int side) {
  std::mt19937 rng(21);
  std::vector<double> lattice(33 * 33);
  for (double& v : lattice) v = std::uniform_real_distribution<double>(-1, 1)(rng);
  auto smooth = [&](double x, double y, int cells) {
    const double fx = x * cells, fy = y * cells;
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    const double tx = fx - ix, ty = fy - iy;
    auto at = [&](int i, int j) { return lattice[(j % 33) * 33 + (i % 33)]; };
    const double a = at(ix, iy) * (1 - tx) + at(ix + 1, iy) * tx;
    const double c = at(ix, iy + 1) * (1 - tx) + at(ix + 1, iy + 1) * tx;
    return a * (1 - ty) + c * ty;
  };
  std::mt19937 grain(5);
  return Draw(side, [&](double x, double y, double& r, double& g, double& b) {
    const double v = 30 * smooth(x, y, 8) + 12 * smooth(x, y, 32);
    std::uniform_real_distribution<double> shared(-8, 8), own(-4, 4);
    const double n = shared(grain);
    r = 128 + v + n + own(grain);
    g = 118 + v + n * 0.9 + own(grain);
    b = 100 + 0.8 * v + n * 0.8 + own(grain);
  });
}

// Hue by angle, saturation by distance from the centre, full value: every hue at once.
TBitmap HueWheel(int side) {
  return Draw(side, [](double x, double y, double& r, double& g, double& b) {
    const double dx = x - 0.5, dy = y - 0.5;
    const double s = std::min(1.0, 2 * std::sqrt(dx * dx + dy * dy));
    const double h = (std::atan2(dy, dx) / (2 * M_PI) + 0.5) * 6;
    auto channel = [&](double offset) {
      const double k = std::fmod(h + offset, 6);
      const double pure = std::clamp(std::min(k, 4 - k), 0.0, 1.0);  // 1 on its side of the wheel
      return 255 * (1 - s + s * pure);
    };
    r = channel(5);
    g = channel(3);
    b = channel(1);
  });
}

// Smooth light over large shapes, a pattern of leaves and sensor noise.
TBitmap Photo(int side) {
  std::mt19937 rng(5);
  return Draw(side, [&](double x, double y, double& r, double& g, double& b) {
    const double light = 0.5 + 0.5 * std::sin(x * 6.3) * std::cos(y * 4.1);
    const double leaf = 0.5 + 0.5 * std::sin(x * 51 + std::sin(y * 31) * 3);
    const double noise = int(rng() % 7) - 3;
    r = 200 * light * (0.6 + 0.4 * leaf) + noise;
    g = 180 * light + noise;
    b = 90 * leaf + 40 * light + noise;
  });
}

// Every byte random: millions of colours, the worst case of the histogram.
TBitmap Noise(int side) {
  std::mt19937 rng(9);
  TBitmap b;
  b.SetPixelFormat(24);
  b.SetSize(side, side);
  for (size_t i = 0; i < b.PixelBytes(); ++i) b.Pixels()[i] = static_cast<uint8_t>(rng());
  return b;
}

TBitmap DemoTexture(int n) {
  TBitmap b;
  LoadGctFile(ExeDirectory() + "demo/0000100" + std::to_string(n) + ".gct", b);
  return b;
}

TBitmap Picture(const std::string& name, int side) {
  if (name == "sky") return Sky(side);
  if (name == "stone") return Stone(side);
  if (name == "huewheel") return HueWheel(side);
  if (name == "photo") return Photo(side);
  if (name == "noise") return Noise(side);
  return DemoTexture(name.back() - '0');
}

// PSNR of `rgb` (red, green, blue per pixel) against the bitmap's colours.
double Psnr(const TBitmap& source, const std::vector<uint8_t>& rgb) {
  double error = 0;
  size_t i = 0;
  for (int y = 0; y < source.Height(); ++y) {
    for (int x = 0; x < source.Width(); ++x, i += 3) {
      uint8_t c[3];
      source.GetRgb(x, y, c[0], c[1], c[2]);
      for (int k = 0; k < 3; ++k) error += double(c[k] - rgb[i + k]) * (c[k] - rgb[i + k]);
    }
  }
  const double mse = error / double(i);
  return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

std::vector<uint8_t> RgbOf(const TIndexedPixels& reduced) {
  std::vector<uint8_t> rgb;
  for (uint8_t index : reduced.Indices) {
    const TPaletteEntry& e = reduced.Palette[index];
    rgb.insert(rgb.end(), {e.Red, e.Green, e.Blue});
  }
  return rgb;
}

double EntriesUsed(const TIndexedPixels& reduced) {
  return double(std::set<uint8_t>(reduced.Indices.begin(), reduced.Indices.end()).size());
}

double DistinctColours(const TBitmap& b) {
  std::unordered_set<uint32_t> colours;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      uint8_t r, g, bl;
      b.GetRgb(x, y, r, g, bl);
      colours.insert(uint32_t{r} << 16 | uint32_t{g} << 8 | bl);
    }
  }
  return double(colours.size());
}

double ChildCpuMs() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

double CpuMs() { return benchpair::ThreadCpuNs() / 1e6; }

// pngquant --nofs 256 on the picture: its colours (red, green, blue per pixel) and its
// processor time; empty when pngquant is not installed or fails.
std::vector<uint8_t> Pngquant(const TBitmap& source, double& ms) {
  if (std::system("command -v pngquant >/dev/null 2>&1") != 0) return {};
  testsupport::TempDir dir;
  const std::string in = dir.File("in.png"), out = dir.File("out.png");
  testsupport::WriteBytes(in, EncodePng(source));
  const double before = ChildCpuMs();
  const std::string command = "pngquant --nofs --force --output '" + out + "' 256 -- '" + in + "'";
  if (std::system(command.c_str()) != 0) return {};
  ms = ChildCpuMs() - before;
  const std::vector<uint8_t> png = testsupport::ReadBytes(out);
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  return rgb;
}

TIndexedPixels ReduceOurs(const TBitmap& b, const TQuantizeOptions& options = {}) {
  return QuantizePixels(b.Pixels(), b.Width(), b.Height(), b.BitsPerPixel() / 8, options);
}

TIndexedPixels ReduceBefore(const TBitmap& b) {
  return previousreduction::Reduce(b.Pixels(), size_t(b.Width()) * size_t(b.Height()),
                                   b.BitsPerPixel() / 8);
}

void Quality(benchmark::State& state, const std::string& name) {
  const TBitmap source = Picture(name, 512);
  for (auto _ : state) {
    const TIndexedPixels before = ReduceBefore(source);
    const double t0 = CpuMs();
    const TIndexedPixels ours = ReduceOurs(source);
    state.counters["ours_ms"] = CpuMs() - t0;
    TQuantizeOptions dither;
    dither.Dither = true;
    const TIndexedPixels dithered = ReduceOurs(source, dither);
    state.counters["psnr_before"] = Psnr(source, RgbOf(before));
    state.counters["psnr_ours"] = Psnr(source, RgbOf(ours));
    state.counters["psnr_dither"] = Psnr(source, RgbOf(dithered));
    state.counters["used_before"] = EntriesUsed(before);
    state.counters["used_ours"] = EntriesUsed(ours);
    double ms = 0;
    const std::vector<uint8_t> theirs = Pngquant(source, ms);
    if (!theirs.empty()) {
      state.counters["psnr_pngquant"] = Psnr(source, theirs);
      state.counters["pngquant_ms"] = ms;
    }
  }
  state.counters["colours"] = DistinctColours(source);
  state.SetLabel(std::to_string(source.Width()) + " x " + std::to_string(source.Height()));
}

void PairReduce(benchmark::State& state, const std::string& name) {
  const TBitmap source = Picture(name, 2048);
  state.SetLabel("anchor: the previous reduction (median cut over an 18-bit grid)");
  benchpair::Run(
      state, [&] { benchmark::DoNotOptimize(ReduceOurs(source).Indices.data()); },
      [&] { benchmark::DoNotOptimize(ReduceBefore(source).Indices.data()); });
}

const char* const kQualityPictures[] = {"demo1", "demo2", "demo3",    "demo4",
                                        "sky",   "stone", "huewheel", "photo"};
const char* const kPairPictures[] = {"sky", "stone", "huewheel", "photo", "noise"};

int RegisterAll() {
  for (const char* picture : kQualityPictures) {
    const std::string name = picture;
    benchmark::RegisterBenchmark(("Quality/" + name).c_str(),
                                 [name](benchmark::State& s) { Quality(s, name); })
        ->Iterations(1)
        ->Unit(benchmark::kMillisecond);
  }
  for (const char* picture : kPairPictures) {
    const std::string name = picture;
    benchmark::RegisterBenchmark(("Pair/Reduce/" + name).c_str(),
                                 [name](benchmark::State& s) { PairReduce(s, name); })
        ->Iterations(5)
        ->Unit(benchmark::kMillisecond);
  }
  return 0;
}
const int kRegistered = RegisterAll();

}  // namespace

BENCHMARK_MAIN();
