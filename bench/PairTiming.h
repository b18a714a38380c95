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
//
// A ratio means something only when both sides do the same work: RunChecked calls each
// side once before timing and asks whether their outputs agree; where they do not, the
// pair reports an error instead of a ratio. The label names the anchor.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <string>
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

// How many calls make one sample of at least 20 microseconds (reading this clock costs
// about 1.5 microseconds here), found by doubling after one warm-up call (first touches,
// lazy initialisation such as a library's processor dispatch). A call of a millisecond or
// more is its own sample, and its warm-up is not repeated.
template <class F>
int64_t RepeatFor(F& f) {
  if (SampleNs(f, 1) >= 1e6) return 1;
  int64_t repeat = 1;
  while (SampleNs(f, repeat) * double(repeat) < 20000.0 && repeat < (int64_t(1) << 24)) repeat *= 2;
  return repeat;
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

// Run, after one call of each side and `same()` telling that their outputs agree.
template <class Ours, class Anchor, class Same>
void RunChecked(benchmark::State& state, const char* anchorName, Ours ours, Anchor anchor,
                Same same) {
  state.SetLabel(std::string("anchor: ") + anchorName);
  ours();
  anchor();
  if (!same()) {
    state.SkipWithError("the two sides' outputs differ: no ratio");
    for (auto _ : state) {}
    return;
  }
  Run(state, ours, anchor);
}

}  // namespace benchpair
