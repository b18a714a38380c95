// The program's checksum against zlib's crc32 on the same bytes: a name-sized input (the
// compiler checksums names) and 100 MB (whole files). The program's checksum is
// libdeflate's, so the pair compares a choice of library (libdeflate vs zlib), not code of
// ours.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "PairTiming.h"
#include "util/Crc32.h"

namespace {

void PairCrc32(benchmark::State& state, size_t size) {
  std::vector<uint8_t> data(size);
  std::mt19937 rng(3);
  for (uint8_t& b : data) b = static_cast<uint8_t>(rng());
  uint32_t ours = 0;
  uLong anchor = 0;
  benchpair::RunChecked(
      state, "zlib's crc32; ours is libdeflate's (a choice of library)",
      [&] { benchmark::DoNotOptimize(ours = Crc32Update(0, data.data(), data.size())); },
      [&] {
        benchmark::DoNotOptimize(
            anchor = crc32(0xFFFFFFFFu, data.data(), static_cast<uInt>(data.size())));
      },
      // The program's checksum is zlib's register without the two inversions.
      [&] { return ours == (static_cast<uint32_t>(anchor) ^ 0xFFFFFFFFu); });
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
}

void BM_PairCrc32Small(benchmark::State& state) { PairCrc32(state, 16); }
void BM_PairCrc32Large(benchmark::State& state) { PairCrc32(state, 100u << 20); }

BENCHMARK(BM_PairCrc32Small)->Name("Pair/Crc32/16B");
BENCHMARK(BM_PairCrc32Large)->Name("Pair/Crc32/100MB")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
