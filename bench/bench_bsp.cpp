// The tree builder on 10,000-face meshes: a closed convex surface (one leaf, the
// convexity check is the whole work), a height field (open, bumpy: many nodes, few cuts)
// and a soup of small random triangles (many cuts), plus writing the script of a tree.
// The pairs Pair/BspSphere/...: the tree against the previous tree algorithm (the quadratic
// convexity test) on the same mesh, trees compared first: spheres of 8k and 32k faces (the
// case the boxed convexity test was made for) and, to show where it gains nothing, the
// terrain and the triangle soup of 10k faces.

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

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

// The convexity test as the builder had it before AllOnOneSide's boxes: every plane
// against every point in order, until both answers are lost. On a closed convex mesh
// nothing ends it early, so it is quadratic there.
bool PlainOneSide(const std::vector<TPlane>& planes, const std::vector<TPoint3>& points,
                  double eps) {
  bool allBack = true, allFront = true;
  for (const TPlane& pl : planes) {
    for (const TPoint3& v : points) {
      const double d = pl.n[0] * v.x + pl.n[1] * v.y + pl.n[2] * v.z + pl.d;
      const int s = d > eps ? 1 : (d < -eps ? -1 : 0);
      allBack &= s <= 0;
      allFront &= s >= 0;
      if (!allBack && !allFront) return false;
    }
  }
  return true;
}

// The same tree: every record (the script writes them all, floats exactly) and where each
// face came from.
bool SameTree(const TTree& a, const TTree& b) {
  return a.Root == b.Root && a.CutCount == b.CutCount && a.Source == b.Source &&
         ComposeScript(a, "tree.iff") == ComposeScript(b, "tree.iff");
}

// A mesh built by the tree builder against the previous tree algorithm on the same mesh:
// the same builder with the plain convexity test (it also pays the copy of the points and
// planes the boxed test takes, which the old inline loop did not). A closed sphere ends in
// one leaf after the convexity test over the whole set, the case the boxes were made for;
// on an open terrain or a soup the plain test finds a point on both sides after a few
// planes, and the tree's cuts are the work.
void PairTree(benchmark::State& state, const TMesh& mesh) {
  TBuildOptions previous = Unlimited();
  previous.OneSideTest = PlainOneSide;
  TTree ours, anchor;
  benchpair::RunChecked(
      state, "the previous tree algorithm (plain convexity test) on the same mesh",
      [&] {
        ours = BuildTree(mesh, Unlimited());
        benchmark::DoNotOptimize(ours);
      },
      [&] {
        anchor = BuildTree(mesh, previous);
        benchmark::DoNotOptimize(anchor);
      },
      [&] { return SameTree(ours, anchor); });
  state.counters["faces"] = double(mesh.Face.size());
  state.counters["nodes"] = double(ours.Nodes.size());
  state.counters["leaves"] = double(ours.Leaves.size());
}
void BM_PairSphere8k(benchmark::State& state) { PairTree(state, Sphere(80, 50)); }
void BM_PairSphere32k(benchmark::State& state) { PairTree(state, Sphere(200, 80)); }
void BM_PairTerrain10k(benchmark::State& state) { PairTree(state, Terrain()); }
void BM_PairSoup10k(benchmark::State& state) { PairTree(state, RandomTriangles(10000, 11, 1.5)); }
BENCHMARK(BM_PairSphere8k)->Name("Pair/BspSphere/8k")->Unit(benchmark::kMillisecond);
// A sample of this pair takes most of a second: five per side, not the one Google Benchmark
// would take.
BENCHMARK(BM_PairSphere32k)
    ->Name("Pair/BspSphere/32k")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_PairTerrain10k)
    ->Name("Pair/BspSphere/terrain10k")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_PairSoup10k)
    ->Name("Pair/BspSphere/soup10k")
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

BENCHMARK(BM_TreeSphere10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeTerrain10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TreeSoup10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScriptTerrain10k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
