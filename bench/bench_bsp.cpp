// The tree builder on 10,000-face meshes: a closed convex surface (one leaf, the
// convexity check is the whole work), a height field (open, bumpy: many nodes, few cuts)
// and a soup of small random triangles (many cuts), plus writing the script of a tree.
// The pairs Pair/BspSphere/8k and /32k: the sphere against a height field of the same face
// count, target speedup at least 0.8 (the convexity test no longer quadratic).

#include <benchmark/benchmark.h>

#include <cmath>

#include "PairTiming.h"
#include "bsp/BspTestSupport.h"
#include "plugins/bsp/BspScript.h"

using namespace bsp;
using namespace bsptest;

namespace {

TMesh Terrain() {  // 100 x 50 quads = 10,000 triangles
  return Grid(100, 50, [](double u, double v) {
    return TV{100 * u, 50 * v, 3 * std::sin(9 * u) * std::cos(7 * v) + std::sin(31 * u + 17 * v)};
  });
}

// The editor's 32,769-record arrays hold about 10,900 triangles; the benchmark measures
// the build itself, so it lifts that limit.
TBuildOptions Unlimited() {
  TBuildOptions o;
  o.Capacity = int64_t(1) << 30;
  return o;
}

void Run(benchmark::State& state, const TMesh& m) {
  int64_t cuts = 0, nodes = 0;
  for (auto _ : state) {
    TTree t = BuildTree(m, Unlimited());
    cuts = t.CutCount;
    nodes = int64_t(t.Nodes.size());
    benchmark::DoNotOptimize(t);
  }
  state.counters["faces"] = double(m.Face.size());
  state.counters["cuts"] = double(cuts);
  state.counters["nodes"] = double(nodes);
}

void BM_TreeSphere10k(benchmark::State& state) { Run(state, Sphere(100, 50)); }
void BM_TreeTerrain10k(benchmark::State& state) { Run(state, Terrain()); }
void BM_TreeSoup10k(benchmark::State& state) { Run(state, RandomTriangles(10000, 11, 1.5)); }

void BM_ScriptTerrain10k(benchmark::State& state) {
  const TTree t = BuildTree(Terrain(), Unlimited());
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string s = ComposeScript(t, "terrain.iff");
    bytes = s.size();
    benchmark::DoNotOptimize(s.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes));
}

// A closed sphere against a height field of the same face count: the sphere ends in one
// leaf after the convexity test over the whole set, the height field is split many times.
void PairSphere(benchmark::State& state, int nx, int ny) {
  const TMesh sphere = Sphere(nx, ny);
  const TMesh terrain = Grid(nx, ny, [](double u, double v) {
    return TV{100 * u, 50 * v, 3 * std::sin(9 * u) * std::cos(7 * v) + std::sin(31 * u + 17 * v)};
  });
  benchpair::Run(
      state, [&] { benchmark::DoNotOptimize(BuildTree(sphere, Unlimited())); },
      [&] { benchmark::DoNotOptimize(BuildTree(terrain, Unlimited())); });
  state.counters["faces"] = double(sphere.Face.size());
}
void BM_PairSphere8k(benchmark::State& state) { PairSphere(state, 80, 50); }
void BM_PairSphere32k(benchmark::State& state) { PairSphere(state, 200, 80); }
BENCHMARK(BM_PairSphere8k)->Name("Pair/BspSphere/8k")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PairSphere32k)->Name("Pair/BspSphere/32k")->Unit(benchmark::kMillisecond);

BENCHMARK(BM_TreeSphere10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeTerrain10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeSoup10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScriptTerrain10k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
