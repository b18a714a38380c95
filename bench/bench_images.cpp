// The compressed texture stream against zlib's one-shot uncompress on the same 256 x 256
// RGB texture. Targets: the block format at least 1.5 times as fast as uncompress on a
// textured picture and never slower on flat colour; the zlib format within 5% of
// uncompress (the reader adds only the header and one copy of the packed bytes).
//
// The pairs time both sides alternately (PairTiming.h) on four pictures: a textured
// 256 x 256, a photograph-like 1024 x 1024, flat grey and a flat colour of three different
// bytes. Targets: Pair/BlockDecode and Pair/ZlibDecode speedup at least 3 on every input;
// Pair/InflateOnly shows how far libdeflate itself gets for the zlib format.
// Pair/SaveMat and Pair/SaveLif: saving 4096 x 4096 noise (reduced to 256 colours) at
// most 3 times as long as saving it as ".gct" (speedup at least 0.33), under 300 MB.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

#include "PairTiming.h"
#include "images/Compr.h"
#include "images/Gct.h"
#include "images/LifGraphic.h"
#include "images/MatGraphic.h"
#include "support/TestSupport.h"

namespace {

constexpr size_t kSide = 256;
constexpr size_t kBytes = kSide * kSide * 3;

// A texture of the kind the viewer shows: smooth shading, a tiled pattern, a little noise.
std::vector<uint8_t> Textured() {
  std::mt19937 rng(11);
  std::vector<uint8_t> b;
  b.reserve(kBytes);
  for (size_t y = 0; y < kSide; ++y) {
    for (size_t x = 0; x < kSide; ++x) {
      const bool brick = ((y / 16) % 2 == 0 ? x : x + 16) % 32 < 30 && y % 16 < 14;
      const int shade = static_cast<int>((x + y) / 4) + static_cast<int>(rng() % 3);
      b.push_back(static_cast<uint8_t>(brick ? 120 + shade / 2 : 40));
      b.push_back(static_cast<uint8_t>(brick ? 60 + shade / 3 : 40));
      b.push_back(static_cast<uint8_t>(brick ? 30 : 45));
    }
  }
  return b;
}

std::vector<uint8_t> Flat() { return std::vector<uint8_t>(kBytes, 0x5A); }

std::vector<uint8_t> Picture(int which) { return which == 0 ? Textured() : Flat(); }

// _BlockRead of the whole stream from an in-memory file, as the viewer reads a ".gct".
void ReadStream(benchmark::State& state, TStreamFormat format) {
  const std::vector<uint8_t> data = Picture(static_cast<int>(state.range(0)));
  const std::vector<uint8_t> stream = EncodeStream(data.data(), data.size(), format);
  const std::string bytes(stream.begin(), stream.end());
  std::vector<uint8_t> dest(kBytes);
  for (auto _ : state) {
    std::istringstream file(bytes);
    uint32_t count = 0;
    _BlockRead(file, dest.data(), static_cast<int64_t>(dest.size()) - 1, count);
    benchmark::DoNotOptimize(dest.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
  state.counters["packed"] = static_cast<double>(stream.size());
}

void BlockFormat(benchmark::State& state) { ReadStream(state, TStreamFormat::Blocks); }
void ZlibFormat(benchmark::State& state) { ReadStream(state, TStreamFormat::Zlib); }

void Uncompress(benchmark::State& state) {
  const std::vector<uint8_t> data = Picture(static_cast<int>(state.range(0)));
  uLongf packedSize = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> packed(packedSize);
  compress(packed.data(), &packedSize, data.data(), static_cast<uLong>(data.size()));
  std::vector<uint8_t> dest(kBytes);
  for (auto _ : state) {
    uLongf n = dest.size();
    uncompress(dest.data(), &n, packed.data(), packedSize);
    benchmark::DoNotOptimize(dest.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBytes));
  state.counters["packed"] = static_cast<double>(packedSize);
}

// ---- Pairs: the stream reader against zlib's uncompress of the same picture.

// A photograph-like 1024 x 1024 texture: smooth light over large shapes with sensor noise,
// which zlib packs to well over 128 KB.
std::vector<uint8_t> Photo() {
  constexpr size_t kPhotoSide = 1024;
  std::mt19937 rng(5);
  std::vector<uint8_t> b;
  b.reserve(kPhotoSide * kPhotoSide * 3);
  for (size_t y = 0; y < kPhotoSide; ++y) {
    for (size_t x = 0; x < kPhotoSide; ++x) {
      const double light = 0.5 + 0.5 * std::sin(x * 0.006) * std::cos(y * 0.004);
      const double leaf = 0.5 + 0.5 * std::sin(x * 0.05 + std::sin(y * 0.03) * 3);
      const int noise = static_cast<int>(rng() % 7) - 3;
      b.push_back(
          static_cast<uint8_t>(std::clamp(int(200 * light * (0.6 + 0.4 * leaf)) + noise, 0, 255)));
      b.push_back(static_cast<uint8_t>(std::clamp(int(180 * light) + noise, 0, 255)));
      b.push_back(static_cast<uint8_t>(std::clamp(int(90 * leaf + 40 * light) + noise, 0, 255)));
    }
  }
  return b;
}

std::vector<uint8_t> FlatRgb(uint8_t r, uint8_t g, uint8_t bl) {
  std::vector<uint8_t> b;
  b.reserve(kBytes);
  for (size_t i = 0; i < kSide * kSide; ++i) b.insert(b.end(), {r, g, bl});
  return b;
}

std::vector<uint8_t> PairPicture(const std::string& name) {
  if (name == "textured256") return Textured();
  if (name == "photo1024") return Photo();
  if (name == "grey256") return FlatRgb(128, 128, 128);
  return FlatRgb(200, 40, 30);
}

// A read-only stream over bytes already in memory, so that both sides start from the
// same bytes without a copy per call.
class TMemoryBuf : public std::streambuf {
public:
  TMemoryBuf(const uint8_t* p, size_t n) {
    char* b = const_cast<char*>(reinterpret_cast<const char*>(p));
    setg(b, b, b + n);
  }
};

void PairStream(benchmark::State& state, const std::string& input, TStreamFormat format) {
  const std::vector<uint8_t> data = PairPicture(input);
  const std::vector<uint8_t> stream = EncodeStream(data.data(), data.size(), format);
  uLongf packedSize = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> packed(packedSize);
  compress(packed.data(), &packedSize, data.data(), static_cast<uLong>(data.size()));
  std::vector<uint8_t> ours(data.size()), anchor(data.size());
  benchpair::Run(
      state,
      [&] {
        TMemoryBuf buf(stream.data(), stream.size());
        std::istream file(&buf);
        uint32_t count = 0;
        _BlockRead(file, ours.data(), static_cast<int64_t>(ours.size()) - 1, count);
        benchmark::DoNotOptimize(ours.data());
      },
      [&] {
        uLongf n = anchor.size();
        uncompress(anchor.data(), &n, packed.data(), packedSize);
        benchmark::DoNotOptimize(anchor.data());
      });
  if (ours != data || anchor != data) state.SkipWithError("decoded bytes differ from the picture");
  state.counters["packed"] = static_cast<double>(stream.size());
  state.counters["zlib_packed"] = static_cast<double>(packedSize);
}

// The limit of Pair/ZlibDecode: libdeflate's inflate alone (the reader adds the header,
// one read of the packed bytes and nothing else) against uncompress on the same bytes.
// Where this pair stays below 3, no reader built on libdeflate reaches 3 either.
void PairInflateOnly(benchmark::State& state, const std::string& input) {
  const std::vector<uint8_t> data = PairPicture(input);
  uLongf packedSize = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> packed(packedSize);
  compress(packed.data(), &packedSize, data.data(), static_cast<uLong>(data.size()));
  std::vector<uint8_t> ours(data.size()), anchor(data.size());
  libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
  benchpair::Run(
      state,
      [&] {
        size_t n = 0;
        libdeflate_zlib_decompress(inflater, packed.data(), packedSize, ours.data(), ours.size(),
                                   &n);
        benchmark::DoNotOptimize(ours.data());
      },
      [&] {
        uLongf n = anchor.size();
        uncompress(anchor.data(), &n, packed.data(), packedSize);
        benchmark::DoNotOptimize(anchor.data());
      });
  libdeflate_free_decompressor(inflater);
  if (ours != data || anchor != data) state.SkipWithError("decoded bytes differ from the picture");
}

// ---- Pairs: saving a picture of millions of colours in a palette format (MAT, LIF: the
// colours are reduced to 256) against saving it as ".gct" (no reduction).

TBitmap Noise(int side) {
  TBitmap b;
  b.SetPixelFormat(24);
  b.SetSize(side, side);
  std::mt19937 rng(9);
  for (size_t i = 0; i < b.PixelBytes(); ++i) b.Pixels()[i] = static_cast<uint8_t>(rng());
  return b;
}

// Peak resident memory (MB) of one call: the kernel's high-water mark is reset first.
template <class F>
double PeakMb(F f) {
  std::ofstream("/proc/self/clear_refs") << "5";
  f();
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  }
  return 0;
}

void PairPaletteSave(benchmark::State& state, bool mat) {
  testsupport::TempDir dir;
  const TBitmap noise = Noise(4096);
  const std::string ours = dir.File(mat ? "noise.mat" : "noise.lif");
  const std::string anchor = dir.File("noise.gct");
  auto save = [&] {
    if (mat) {
      TMATGraphic m;
      static_cast<TBitmap&>(m) = noise;
      m.SaveMatFile(ours);
    } else {
      TLifGraphic l;
      static_cast<TBitmap&>(l) = noise;
      l.SaveToFile(ours);
    }
  };
  auto saveGct = [&] { SaveGctFile(anchor, noise, TStreamFormat::Blocks); };
  benchpair::Run(state, save, saveGct);
  // The process's whole resident memory at its peak, the picture itself (48 MB) included.
  state.counters["ours_peak_mb"] = PeakMb(save);
  state.counters["anchor_peak_mb"] = PeakMb(saveGct);
}

const char* const kPairInputs[] = {"textured256", "photo1024", "grey256", "colour256"};

int RegisterPairs() {
  for (const char* input : kPairInputs) {
    const std::string name = input;
    benchmark::RegisterBenchmark(("Pair/BlockDecode/" + name).c_str(), [name](benchmark::State& s) {
      PairStream(s, name, TStreamFormat::Blocks);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Pair/ZlibDecode/" + name).c_str(), [name](benchmark::State& s) {
      PairStream(s, name, TStreamFormat::Zlib);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Pair/InflateOnly/" + name).c_str(), [name](benchmark::State& s) {
      PairInflateOnly(s, name);
    })->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("Pair/SaveMat/noise4096",
                               [](benchmark::State& s) { PairPaletteSave(s, true); })
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  benchmark::RegisterBenchmark("Pair/SaveLif/noise4096",
                               [](benchmark::State& s) { PairPaletteSave(s, false); })
      ->Unit(benchmark::kMillisecond)
      ->Iterations(1);
  return 0;
}
const int kPairsRegistered = RegisterPairs();

}  // namespace

// Argument 0: textured picture; 1: flat colour.
BENCHMARK(BlockFormat)->Arg(0)->Arg(1);
BENCHMARK(ZlibFormat)->Arg(0)->Arg(1);
BENCHMARK(Uncompress)->Arg(0)->Arg(1);

BENCHMARK_MAIN();
