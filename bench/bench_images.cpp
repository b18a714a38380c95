// The compressed texture stream against zlib's one-shot uncompress on the same 256 x 256
// RGB texture. Targets: the block format at least 1.5 times as fast as uncompress on a
// textured picture and never slower on flat colour; the zlib format within 5% of
// uncompress (the reader adds only the header and one copy of the packed bytes).
//
// The pairs time both sides alternately (PairTiming.h) on six pictures: a textured
// 256 x 256, a photograph-like 1024 x 1024 (smooth shapes), a photograph of foliage with a
// natural picture's 1/f spectrum and sensor noise (1024 x 1024), a rendered texture
// (ray-cast stones, 256 x 256), flat grey and a flat colour of three different bytes, all
// made here; each side decodes the same stream to the same bytes. Pair/BlockDecode: our
// block decoder against a straightforward decoder of the same stream (memcpy for copies,
// memset for runs); Pair/BlockDecodeVsMemcpy: against writing the decoded bytes without
// decoding, the limit (memset for a flat grey, a pattern fill for a flat colour, memcpy
// otherwise). Pair/ZlibDecode: our zlib-format reader
// against zlib's uncompress of the same zlib data, speedup at least 3 on every input;
// Pair/InflateOnly shows how far libdeflate itself gets there (a choice of library).
// Pair/SaveMat and Pair/SaveLif: saving 4096 x 4096 noise (reduced to 256 colours) at
// most 3 times as long as saving it as ".gct" (speedup at least 0.33), under 300 MB.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
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

// ---- Pairs: the stream reader against other decoders of the same stream.

// A photograph-like 1024 x 1024 texture: smooth light over large shapes with sensor noise,
// which zlib packs to well over 128 KB.
std::vector<uint8_t> Photo() {
  constexpr size_t kPhotoSide = 1024;
  std::mt19937 rng(5);
  std::vector<uint8_t> b;
  b.reserve(kPhotoSide * kPhotoSide * 3);
  for (size_t y = 0; y < kPhotoSide; ++y) {
    for (size_t x = 0; x < kPhotoSide; ++x) {
      const double light = 0.5 + 0.5 * std::sin(double(x) * 0.006) * std::cos(double(y) * 0.004);
      const double leaf = 0.5 + 0.5 * std::sin(double(x) * 0.05 + std::sin(double(y) * 0.03) * 3);
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

// Value noise on a grid of `cell` pixels, smoothly interpolated: one octave of a fractal.
double ValueNoise(const std::vector<double>& lattice, size_t latticeSide, double x, double y) {
  const size_t x0 = static_cast<size_t>(x), y0 = static_cast<size_t>(y);
  const double fx = x - double(x0), fy = y - double(y0);
  const double sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
  auto at = [&](size_t i, size_t j) {
    return lattice[(j % latticeSide) * latticeSide + (i % latticeSide)];
  };
  const double top = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * sx;
  const double bottom = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * sx;
  return top + (bottom - top) * sy;
}

// A photograph of foliage as a camera sees it: the power of natural pictures falls with
// frequency about as 1/f, which a sum of noise octaves of halving amplitude gives; the
// colour channels share most of their structure (light) and differ in part (leaves, bark),
// and the sensor adds noise of a level or two. Made here, 1024 x 1024.
std::vector<uint8_t> FractalPhoto() {
  constexpr size_t kPhotoSide = 1024, kLattice = 256;
  std::mt19937 rng(23);
  std::uniform_real_distribution<double> unit(-1, 1);
  std::vector<double> light(kLattice * kLattice), tint(kLattice * kLattice);
  for (double& v : light) v = unit(rng);
  for (double& v : tint) v = unit(rng);
  std::normal_distribution<double> sensor(0, 1.5);
  std::vector<uint8_t> b;
  b.reserve(kPhotoSide * kPhotoSide * 3);
  for (size_t y = 0; y < kPhotoSide; ++y) {
    for (size_t x = 0; x < kPhotoSide; ++x) {
      double l = 0, t = 0, amplitude = 0.5, scale = 1.0 / 128;
      for (int octave = 0; octave < 7; ++octave, amplitude *= 0.5, scale *= 2) {
        l += amplitude * ValueNoise(light, kLattice, double(x) * scale, double(y) * scale);
        t += amplitude * ValueNoise(tint, kLattice, double(y) * scale + 17, double(x) * scale);
      }
      const double luma = 110 + 90 * l;
      auto px = [&](double v) {
        return static_cast<uint8_t>(std::clamp(v + sensor(rng), 0.0, 255.0));
      };
      b.push_back(px(luma * (0.75 + 0.2 * t)));
      b.push_back(px(luma * (0.95 + 0.1 * t)));
      b.push_back(px(luma * (0.55 - 0.25 * t)));
    }
  }
  return b;
}

// A rendered 256 x 256 texture, ray-cast here: a grid of bevelled stone tiles (each tile a
// flattened sphere cap) lit by a sun with a Phong highlight and a soft sky term, with a
// darker mortar between; smooth gradients and highlights, as a renderer's output has, and
// no noise, so long matches are rare but short ones common.
std::vector<uint8_t> RenderedTexture() {
  std::vector<uint8_t> b;
  b.reserve(kBytes);
  const double sun[3] = {0.48, 0.6, 0.64};  // unit length
  for (size_t y = 0; y < kSide; ++y) {
    for (size_t x = 0; x < kSide; ++x) {
      const size_t tileX = (x + (y / 32 % 2) * 16) / 32, tileY = y / 32;
      const double u = double((x + (y / 32 % 2) * 16) % 32) / 16 - 1;
      const double v = double(y % 32) / 16 - 1;
      const double r2 = u * u * 0.6 + v * v * 0.6;
      double n[3] = {0, 0, 1}, albedo[3] = {0.35, 0.33, 0.3};
      if (std::abs(u) < 0.9 && std::abs(v) < 0.9) {  // a stone: a bulging cap
        const double h = std::sqrt(std::max(0.05, 1.2 - r2));
        const double len = std::sqrt(u * u * 0.36 + v * v * 0.36 + h * h);
        n[0] = u * 0.6 / len;
        n[1] = v * 0.6 / len;
        n[2] = h / len;
        const double hue = double((tileX * 7 + tileY * 13) % 5) / 5;
        albedo[0] = 0.55 + 0.2 * hue;
        albedo[1] = 0.5 + 0.1 * hue;
        albedo[2] = 0.42;
      }
      const double diffuse = std::max(0.0, n[0] * sun[0] + n[1] * sun[1] + n[2] * sun[2]);
      // Phong: the sun's reflection about the normal against the view along z.
      const double reflectZ = 2 * diffuse * n[2] - sun[2];
      const double highlight = std::pow(std::max(0.0, reflectZ), 24);
      const double sky = 0.25 * (0.5 + 0.5 * n[2]);
      for (int c = 0; c < 3; ++c) {
        const double value = 255 * (albedo[c] * (0.85 * diffuse + sky) + 0.35 * highlight);
        b.push_back(static_cast<uint8_t>(std::clamp(value, 0.0, 255.0)));
      }
    }
  }
  return b;
}

std::vector<uint8_t> PairPicture(const std::string& name) {
  if (name == "textured256") return Textured();
  if (name == "photo1024") return Photo();
  if (name == "photo_fractal1024") return FractalPhoto();
  if (name == "render256") return RenderedTexture();
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

// Our reader (_BlockRead, the viewer's path: an istream over the stream's bytes) fills
// `out` from the whole stream.
void ReadWhole(const std::vector<uint8_t>& stream, std::vector<uint8_t>& out) {
  TMemoryBuf buf(stream.data(), stream.size());
  std::istream file(&buf);
  uint32_t count = 0;
  _BlockRead(file, out.data(), static_cast<int64_t>(out.size()) - 1, count);
  benchmark::DoNotOptimize(out.data());
}

uint32_t Le32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

// The block format decoded the straightforward way, as a competent engineer writes it in an
// hour from its description (images/Compr.h), sharing nothing with our decoder: item by
// item, with memcpy for stored blocks and for back references that do not overlap their
// own output, memset for runs, and a byte loop only where the format demands one (an
// overlapping reference repeats its bytes). The anchor of Pair/BlockDecode. It reads the
// stream's bytes from memory, where ours goes through the istream as the viewer does (a
// copy of the packed bytes more on our side). Returns false on a stream it cannot decode
// into `out`.
bool StraightBlockDecode(const std::vector<uint8_t>& s, std::vector<uint8_t>& out) {
  if (s.size() < kStreamHeaderSize || s[0] != 0xCC || s[1] != 0xCC) return false;
  const size_t size = Le32(&s[6]);
  if (size > out.size()) return false;
  uint8_t* const o0 = out.data();
  size_t in = kStreamHeaderSize, o = 0;
  if (s[10] == 0) {  // stored
    if (s.size() - in < size) return false;
    std::memcpy(o0, &s[in], size);
    return true;
  }
  while (o < size) {
    if (s.size() - in < 4) return false;
    const size_t length = Le32(&s[in]);
    in += 4;
    if (length == 0 || length > kMaxBlockLength || length > s.size() - in) return false;
    const size_t end = in + length;
    if (s[in] == 0x80) {  // stored block
      if (length - 1 > size - o) return false;
      std::memcpy(o0 + o, &s[in + 1], length - 1);
      o += length - 1;
      in = end;
      continue;
    }
    size_t p = in + 1;
    while (p < end) {
      if (end - p < 2) return false;
      unsigned control = unsigned{s[p]} << 8 | s[p + 1];
      p += 2;
      for (int item = 0; item < 16 && p < end; ++item, control <<= 1) {
        if ((control & 0x8000u) == 0) {  // literal
          if (o == size) return false;
          o0[o++] = s[p++];
          continue;
        }
        if (end - p < 2) return false;
        const size_t distance = size_t{s[p]} * 16 + (s[p + 1] >> 4);
        if (distance != 0) {  // back reference
          const size_t count = (s[p + 1] & 15u) + 3;
          p += 2;
          if (distance > o || count > size - o) return false;
          if (distance >= count) {
            std::memcpy(o0 + o, o0 + o - distance, count);
          } else {
            for (size_t k = 0; k < count; ++k) o0[o + k] = o0[o + k - distance];
          }
          o += count;
          continue;
        }
        if (end - p < 4) return false;  // run
        const size_t count = (s[p + 1] & 15u) * 256 + s[p + 2] + 16;
        const uint8_t value = s[p + 3];
        p += 4;
        if (count > size - o) return false;
        std::memset(o0 + o, value, count);
        o += count;
      }
    }
    in = end;
  }
  return true;
}

// Our block decoder against the straightforward decoder of the same stream.
void PairBlockDecode(benchmark::State& state, const std::string& input) {
  const std::vector<uint8_t> data = PairPicture(input);
  const std::vector<uint8_t> stream = EncodeStream(data.data(), data.size(), TStreamFormat::Blocks);
  std::vector<uint8_t> ours(data.size()), anchor(data.size());
  bool anchorOk = false;
  benchpair::RunChecked(
      state, "a straightforward decoder (memcpy for copies, memset for runs)",
      [&] { ReadWhole(stream, ours); },
      [&] {
        anchorOk = StraightBlockDecode(stream, anchor);
        benchmark::DoNotOptimize(anchor.data());
      },
      [&] { return anchorOk && ours == data && anchor == data; });
  state.counters["packed"] = static_cast<double>(stream.size());
}

// The period of `data` when it repeats its first 1 to 3 bytes throughout (a flat grey has
// period 1, a flat colour 3), else 0.
size_t FillPeriod(const std::vector<uint8_t>& data) {
  for (size_t period = 1; period <= 3; ++period) {
    bool repeats = data.size() >= period;
    for (size_t i = period; repeats && i < data.size(); ++i) repeats = data[i] == data[i - period];
    if (repeats) return period;
  }
  return 0;
}

// Writing the decoded bytes the fastest way that does not decode: memset for a fill of one
// byte, the first pixel doubled with memcpy for a fill of one colour, memcpy of the bytes
// otherwise.
void WriteLimit(const std::vector<uint8_t>& data, size_t period, std::vector<uint8_t>& out) {
  if (period == 1) {
    std::memset(out.data(), data[0], data.size());
  } else if (period > 1) {
    std::memcpy(out.data(), data.data(), period);
    for (size_t done = period; done < data.size(); done *= 2)
      std::memcpy(out.data() + done, out.data(), std::min(done, data.size() - done));
  } else {
    std::memcpy(out.data(), data.data(), data.size());
  }
}

// Our block decoder against writing its output without decoding: the limit no decoder
// passes (speedup below 1; the closer to 1, the less the decoding adds to writing the
// bytes). A flat picture is a fill, whose limit is memset, not a copy.
void PairBlockDecodeVsMemcpy(benchmark::State& state, const std::string& input) {
  const std::vector<uint8_t> data = PairPicture(input);
  const std::vector<uint8_t> stream = EncodeStream(data.data(), data.size(), TStreamFormat::Blocks);
  const size_t period = FillPeriod(data);
  std::vector<uint8_t> ours(data.size()), anchor(data.size());
  benchpair::RunChecked(
      state,
      period == 1  ? "memset of the decoded bytes (the limit)"
      : period > 1 ? "a fill of the decoded colour, memcpy doubling (the limit)"
                   : "memcpy of the decoded bytes (the limit)",
      [&] { ReadWhole(stream, ours); },
      [&] {
        WriteLimit(data, period, anchor);
        benchmark::DoNotOptimize(anchor.data());
      },
      [&] { return ours == data && anchor == data; });
  state.counters["packed"] = static_cast<double>(stream.size());
}

// Our reader of the zlib format (libdeflate inside) against zlib's uncompress of the
// stream's own zlib data: the same packed bytes on both sides.
void PairZlibDecode(benchmark::State& state, const std::string& input) {
  const std::vector<uint8_t> data = PairPicture(input);
  const std::vector<uint8_t> stream = EncodeStream(data.data(), data.size(), TStreamFormat::Zlib);
  const uint8_t* packed = stream.data() + kStreamHeaderSize;
  const uLong packedSize = Le32(&stream[2]);
  std::vector<uint8_t> ours(data.size()), anchor(data.size());
  int anchorRc = Z_DATA_ERROR;
  benchpair::RunChecked(
      state, "zlib's uncompress of the stream's zlib data (libdeflate vs zlib)",
      [&] { ReadWhole(stream, ours); },
      [&] {
        uLongf n = anchor.size();
        anchorRc = uncompress(anchor.data(), &n, packed, packedSize);
        benchmark::DoNotOptimize(anchor.data());
      },
      [&] { return anchorRc == Z_OK && ours == data && anchor == data; });
  state.counters["packed"] = static_cast<double>(stream.size());
}

// The limit of Pair/ZlibDecode, and a choice of library rather than of our code:
// libdeflate's inflate alone (the reader adds the header, one read of the packed bytes and
// nothing else) against zlib's uncompress on the same bytes. Where this pair stays below
// 3, no reader built on libdeflate reaches 3 either.
void PairInflateOnly(benchmark::State& state, const std::string& input) {
  const std::vector<uint8_t> data = PairPicture(input);
  uLongf packedSize = compressBound(static_cast<uLong>(data.size()));
  std::vector<uint8_t> packed(packedSize);
  compress(packed.data(), &packedSize, data.data(), static_cast<uLong>(data.size()));
  std::vector<uint8_t> ours(data.size()), anchor(data.size());
  libdeflate_decompressor* inflater = libdeflate_alloc_decompressor();
  libdeflate_result oursRc = LIBDEFLATE_BAD_DATA;
  int anchorRc = Z_DATA_ERROR;
  benchpair::RunChecked(
      state, "zlib's uncompress; ours is libdeflate's inflate (a choice of library)",
      [&] {
        size_t n = 0;
        oursRc = libdeflate_zlib_decompress(inflater, packed.data(), packedSize, ours.data(),
                                            ours.size(), &n);
        benchmark::DoNotOptimize(ours.data());
      },
      [&] {
        uLongf n = anchor.size();
        anchorRc = uncompress(anchor.data(), &n, packed.data(), packedSize);
        benchmark::DoNotOptimize(anchor.data());
      },
      [&] {
        return oursRc == LIBDEFLATE_SUCCESS && anchorRc == Z_OK && ours == data && anchor == data;
      });
  libdeflate_free_decompressor(inflater);
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
  state.SetLabel("anchor: saving the same picture as .gct (no colour reduction)");
  benchpair::Run(state, save, saveGct);
  // The process's whole resident memory at its peak, the picture itself (48 MB) included.
  state.counters["ours_peak_mb"] = PeakMb(save);
  state.counters["anchor_peak_mb"] = PeakMb(saveGct);
}

// Samples per side of the save pairs: each save takes most of a second, and the ratio is
// of the medians.
constexpr benchmark::IterationCount kSaveSamples = 5;

const char* const kPairInputs[] = {"textured256", "photo1024", "photo_fractal1024",
                                   "render256",   "grey256",   "colour256"};

int RegisterPairs() {
  for (const char* input : kPairInputs) {
    const std::string name = input;
    benchmark::RegisterBenchmark(("Pair/BlockDecode/" + name).c_str(), [name](benchmark::State& s) {
      PairBlockDecode(s, name);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Pair/BlockDecodeVsMemcpy/" + name).c_str(),
                                 [name](benchmark::State& s) { PairBlockDecodeVsMemcpy(s, name); })
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Pair/ZlibDecode/" + name).c_str(), [name](benchmark::State& s) {
      PairZlibDecode(s, name);
    })->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark(("Pair/InflateOnly/" + name).c_str(), [name](benchmark::State& s) {
      PairInflateOnly(s, name);
    })->Unit(benchmark::kMicrosecond);
  }
  benchmark::RegisterBenchmark("Pair/SaveMat/noise4096",
                               [](benchmark::State& s) { PairPaletteSave(s, true); })
      ->Unit(benchmark::kMillisecond)
      ->Iterations(kSaveSamples);
  benchmark::RegisterBenchmark("Pair/SaveLif/noise4096",
                               [](benchmark::State& s) { PairPaletteSave(s, false); })
      ->Unit(benchmark::kMillisecond)
      ->Iterations(kSaveSamples);
  return 0;
}
const int kPairsRegistered = RegisterPairs();

}  // namespace

// Argument 0: textured picture; 1: flat colour.
BENCHMARK(BlockFormat)->Arg(0)->Arg(1);
BENCHMARK(ZlibFormat)->Arg(0)->Arg(1);
BENCHMARK(Uncompress)->Arg(0)->Arg(1);

BENCHMARK_MAIN();
