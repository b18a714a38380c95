#pragma once
// Paired timing: our code and an anchor on the same input, alternately, inside one
// benchmark. Absolute times on a shared machine drift from run to run; a ratio taken from
// samples interleaved in time does not. Each benchmark iteration takes one sample of each
// side (the side that goes first alternates, so neither always finds the caches warmed by
// the other); a sample repeats its side enough times to last about 20 microseconds, so
// that even a 16-byte checksum is timed well above the clock's resolution.
//
// Times are the thread's CPU time: with seven builds sharing two cores, wall time is
// mostly the wait for a core.
//
// Counters: `speedup` = median anchor time / median our time (above 1: ours is faster),
// `ours_ns` and `anchor_ns` = the medians per call.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <vector>

namespace benchpair {

inline double ThreadCpuNs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) * 1e9 + double(t.tv_nsec);
}

template <class F>
double SampleNs(F& f, int64_t repeat) {
  const double t0 = ThreadCpuNs();
  for (int64_t i = 0; i < repeat; ++i) f();
  return (ThreadCpuNs() - t0) / double(repeat);
}

// How many calls make one sample of about 20 microseconds. The measuring call is also the
// warm-up (first touches, lazy allocations), so a call of seconds is not made twice.
template <class F>
int64_t RepeatFor(F& f) {
  const double once = std::max(1.0, SampleNs(f, 1));
  return std::max<int64_t>(1, int64_t(20000.0 / once));
}

inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
  return v[v.size() / 2];
}

template <class Ours, class Anchor>
void Run(benchmark::State& state, Ours ours, Anchor anchor) {
  const int64_t oursRepeat = RepeatFor(ours);
  const int64_t anchorRepeat = RepeatFor(anchor);
  std::vector<double> oursNs, anchorNs;
  bool oursFirst = true;
  for (auto _ : state) {
    if (oursFirst) {
      oursNs.push_back(SampleNs(ours, oursRepeat));
      anchorNs.push_back(SampleNs(anchor, anchorRepeat));
    } else {
      anchorNs.push_back(SampleNs(anchor, anchorRepeat));
      oursNs.push_back(SampleNs(ours, oursRepeat));
    }
    oursFirst = !oursFirst;
  }
  const double o = Median(oursNs), a = Median(anchorNs);
  state.counters["ours_ns"] = o;
  state.counters["anchor_ns"] = a;
  state.counters["speedup"] = o > 0 ? a / o : 0;
}

}  // namespace benchpair
