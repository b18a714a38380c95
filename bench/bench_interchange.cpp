// Speed of mesh interchange through Assimp on a full mesh: target under 1 s each; a
// 60,000-quad model fitted to the arrays: under 2 s (Pair/ImportFit); face rebuilding
// linear in the corners (BM_RebuildPolygons at four sizes); --fit linear in the triangles
// from 50,000 to 1,000,000 (BM_FitSphere at four sizes: the slope of log time over log size
// within 1.1).
//  - Export: the document with 32,769 records in every array (terrain strips, face k over
//    corners k..k+2, seven materials taking turns face by face), as OBJ with its material library
//    and as GLB.
//  - Import: an OBJ with 32,769 vertices and 32,769 face corners (10,923 triangles, as
//    many corners as FVRT holds), read, converted and committed to the record files.
//  - Pair/ObjWriter: our OBJ writer against Assimp's on the same export scene of the full
//    mesh (model and material library in memory), outputs checked equal (comments aside)
//    once before timing.
#include <assimp/scene.h>
#include <benchmark/benchmark.h>

#include <array>
#include <assimp/Exporter.hpp>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>

#include "PairTiming.h"
#include "interchange/AiScene.h"
#include "interchange/ExportScene.h"
#include "interchange/Fit.h"
#include "interchange/GameReady.h"
#include "interchange/Interchange.h"
#include "interchange/ObjWriter.h"
#include "interchange/PolygonRebuild.h"
#include "mesh/Normals.h"
#include "support/ModelFiles.h"
#include "support/TestSupport.h"

namespace {

constexpr int kSide = 181;  // 181 x 181 grid points: 32,761 vertices, the rest at 0

void AddGrid(TMeshDocument& doc) {
  std::mt19937 rng(42);
  for (int r = 0; r < kSide; ++r) {
    for (int c = 0; c < kSide; ++c) doc.AddVert({float(c), float(r), (rng() & 1) ? 0.5f : 0.0f});
  }
  while (doc.NumVert < MeshCapacity) doc.AddVert({float(doc.NumVert), -1.0f, 0.0f});
}

void BuildFullMesh(TMeshDocument& doc) {
  doc.Clear();
  AddGrid(doc);
  for (int r = 0; doc.NumFvrt < MeshCapacity; r = (r + 1) % (kSide - 1)) {
    for (int c = 0; c < kSide && doc.NumFvrt + 2 <= MeshCapacity; ++c) {
      doc.AddFvrt({r * kSide + c, 0, float(c) / kSide, float(r) / kSide});
      doc.AddFvrt({(r + 1) * kSide + c, 0, float(c) / kSide, float(r + 1) / kSide});
    }
    if (doc.NumFvrt + 2 > MeshCapacity) doc.AddFvrt({0, 0, 0, 0});
  }
  for (int k = 0; k < MeshCapacity; ++k) {
    doc.AddFace({0, 0.0f, 70000 + k % 7, k, k + 2 < MeshCapacity ? 3 : 1, 0, kEditorReserved2});
  }
  CalcVtnmRecords(doc);
  while (doc.NumVtnm < MeshCapacity) doc.StoreVtnm({0, 0, 1});
}

// Every vertex used once: triangles over consecutive vertices.
void BuildImportMesh(TMeshDocument& doc) {
  doc.Clear();
  AddGrid(doc);
  for (int v = 0; v < MeshCapacity; ++v)
    doc.AddFvrt({v, 0, float(v % kSide) / kSide, float(v / kSide) / kSide});
  for (int k = 0; k + 3 <= MeshCapacity; k += 3)
    doc.AddFace({0, 0.0f, 70000 + (k / 3) % 7, k, 3, 0, kEditorReserved2});
  CalcVtnmRecords(doc);
}

void Export(benchmark::State& state, const char* name) {
  testsupport::TempDir home;
  TMeshDocument doc;
  doc.ShowData = false;
  BuildFullMesh(doc);
  TExportOptions options;
  options.MaterialFolder = home.File("no-textures/");
  for (auto _ : state) ExportModel(doc, home.File(name), options);
}
void BM_ExportFullMeshObj(benchmark::State& state) { Export(state, "full.obj"); }
void BM_ExportFullMeshGlb(benchmark::State& state) { Export(state, "full.glb"); }
BENCHMARK(BM_ExportFullMeshObj)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ExportFullMeshGlb)->Unit(benchmark::kMillisecond);

void BM_PairObjWriter(benchmark::State& state) {
  testsupport::TempDir home;
  TMeshDocument doc;
  doc.ShowData = false;
  BuildFullMesh(doc);
  TExportOptions options;
  options.MaterialFolder = home.File("no-textures/");
  TExportReport report;
  TExportScene scene = BuildExportScene(doc, *FindExportFormat("obj"), options, report);
  scene.FileName = "$blobfile.obj";
  const std::unique_ptr<aiScene> ai = MakeAiScene(scene);
  Assimp::Exporter exporter;
  const auto theirs = [&] {
    const aiExportDataBlob* blob = exporter.ExportToBlob(ai.get(), "obj");
    if (!blob || !blob->next) throw std::runtime_error(exporter.GetErrorString());
    return std::string(static_cast<const char*>(blob->data), blob->size) +
           std::string(static_cast<const char*>(blob->next->data), blob->next->size);
  };
  const auto ours = [&] {
    return ObjModelText(scene, scene.FileName, true) + ObjLibraryText(scene);
  };
  if (testsupport::Statements(ours()) != testsupport::Statements(theirs())) {
    state.SkipWithError("our OBJ differs from Assimp's");
    return;
  }
  std::string sink;
  benchpair::Run(
      state, [&] { sink = ours(); }, [&] { sink = theirs(); });
  benchmark::DoNotOptimize(sink);
}
BENCHMARK(BM_PairObjWriter)->Name("Pair/ObjWriter")->Iterations(7)->Unit(benchmark::kMillisecond);

void BM_ImportFullMeshObj(benchmark::State& state) {
  testsupport::TempDir home;
  TMeshDocument doc;
  doc.ShowData = false;
  BuildImportMesh(doc);
  ExportModel(doc, home.File("full.obj"));
  for (auto _ : state) {
    const TImportReport report = ImportModel(doc, home.File("full.obj"));
    if (report.NumFvrt != MeshCapacity) state.SkipWithError("the import lost corners");
  }
}
// Wall time: the file is read in a child process, whose CPU time the process clock misses.
BENCHMARK(BM_ImportFullMeshObj)->Unit(benchmark::kMillisecond)->UseRealTime();

double WallNs() {
  return double(std::chrono::duration_cast<std::chrono::nanoseconds>(
                    std::chrono::steady_clock::now().time_since_epoch())
                    .count());
}

// Pair/ImportFit: a 60,000-quad sphere (200 rings of 300) imported with --fit, against the
// plain import of the same file, which reads and rebuilds it and then refuses it as over the
// arrays. Wall time, one sample of each in turn: the file is read in a child process, whose
// CPU time this process's clocks miss. Target: ours under 2 s.
void BM_PairImportFit(benchmark::State& state) {
  testsupport::TempDir home;
  TMeshDocument doc;
  doc.ShowData = false;
  const std::string file = home.File("sphere.obj");
  testsupport::WriteText(home.File("s.mtl"), "newmtl sky\nnewmtl sea\n");
  testsupport::WriteText(file, testsupport::SphereObj(200, 300));
  TImportOptions fit;
  fit.Fit = true;
  state.SetLabel("anchor: the plain import, refused as over the arrays");
  std::vector<double> ours, anchor;
  bool oursFirst = true;
  const auto runOurs = [&] {
    const double t0 = WallNs();
    const TImportReport report = ImportModel(doc, file, fit);
    ours.push_back(WallNs() - t0);
    if (report.NumFvrt > MeshCapacity) state.SkipWithError("not fitted");
  };
  const auto runAnchor = [&] {
    const double t0 = WallNs();
    try {
      ImportModel(doc, file);
      state.SkipWithError("the plain import took the sphere");
    } catch (const EModelTooLarge&) {}
    anchor.push_back(WallNs() - t0);
  };
  for (auto _ : state) {
    if (oursFirst) {
      runOurs();
      runAnchor();
    } else {
      runAnchor();
      runOurs();
    }
    oursFirst = !oursFirst;
  }
  const double o = benchpair::Median(ours), a = benchpair::Median(anchor);
  state.counters["ours_ns"] = o;
  state.counters["anchor_ns"] = a;
  state.counters["speedup"] = o > 0 ? a / o : 0;
}
BENCHMARK(BM_PairImportFit)
    ->Name("Pair/ImportFit")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(6);

// Rebuilding faces from a triangulated strip of 240 x h squares, a third of them of another
// material in stripes, and every other band of eight rows tilted: linear in the corners
// (the time per corner stays flat over the four sizes). Each size is the same model, only
// longer: the planar tolerance grows with the model's size, so the tilt does too (three
// times the half tolerance a merge allows), and the folds stop the merging alike at every
// size, which rebuilds the same faces (5 x 8 and 10 x 8 squares), only more of them. The
// width stays, so a position's neighbours lie as near in memory at every size.
void BM_RebuildPolygons(benchmark::State& state) {
  constexpr int kWidth = 240;  // a whole number of stripe patterns (15 squares)
  const int h = static_cast<int>(state.range(0));
  const double diagonal = std::hypot(double{kWidth}, double(h));
  const auto tilt = static_cast<float>(3.0 * kPlanarTolerance / 2 * diagonal);  // per row
  TGatheredScene grid;
  for (int y = 0; y <= h; ++y) {
    for (int x = 0; x <= kWidth; ++x)
      grid.Verts.push_back({float(x), float(y), float((y / 8) % 2) * tilt * float(y % 8)});
  }
  grid.Materials.resize(2);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const int a = y * (kWidth + 1) + x, b = a + 1, c = a + kWidth + 2, d = a + kWidth + 1;
      const auto mat = static_cast<uint32_t>((x / 5) % 3 == 0);
      for (const auto& tri : {std::array<int, 3>{a, b, c}, std::array<int, 3>{a, c, d}}) {
        const auto first = static_cast<int32_t>(grid.Corners.size());
        for (int v : tri) grid.Corners.push_back({v, 0.0f, 0.0f, {0, 0, 1}});
        grid.Faces.push_back({first, 3, mat});
      }
    }
  }
  size_t faces = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TGatheredScene scene = grid;
    state.ResumeTiming();
    RebuildPolygons(scene);
    benchmark::DoNotOptimize(scene.Faces.data());
    faces = scene.Faces.size();
  }
  state.counters["faces"] = double(faces);
  state.counters["corners"] = double(grid.Corners.size());
  state.counters["ns_per_corner"] = benchmark::Counter(
      double(grid.Corners.size()),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
// Corners double from size to size: 391,680 to 3,133,440, around the largest models --fit
// takes. Each size's arrays (some 35 MB at the smallest) pass the last-level cache: a
// smaller model that stays in it would be timed faster per corner and feign a slope.
BENCHMARK(BM_RebuildPolygons)
    ->Arg(272)
    ->Arg(544)
    ->Arg(1088)
    ->Arg(2176)
    ->Unit(benchmark::kMillisecond);

// The fit alone (PrepareScene with --fit, the file already gathered) on a unit sphere of
// rings x 2 rings quads cut into triangles, the upper half one material and the lower
// another, texture coordinates by latitude and longitude (a seam where they wrap). Sizes
// from 50,000 to 1,000,000 triangles: the largest go through the clustering stage first.
TGatheredScene SphereScene(int rings) {
  const int segments = 2 * rings;
  TGatheredScene scene;
  scene.Materials.resize(2);
  scene.MeshNames = {"sphere"};
  scene.Meshes = 1;
  const auto vertex = [&](int r, int s) {
    const double theta = std::numbers::pi * r / rings, phi = 2 * std::numbers::pi * s / segments;
    scene.Verts.push_back({float(std::sin(theta) * std::cos(phi)), float(std::cos(theta)),
                           float(std::sin(theta) * std::sin(phi))});
  };
  for (int r = 0; r <= rings; ++r)
    for (int s = 0; s <= segments; ++s) vertex(r, s);  // the seam column twice
  const auto at = [&](int r, int s) { return r * (segments + 1) + s; };
  for (int r = 0; r < rings; ++r) {
    const auto mat = static_cast<uint32_t>(r >= rings / 2);
    for (int s = 0; s < segments; ++s) {
      const int a = at(r, s), b = at(r, s + 1), c = at(r + 1, s + 1), d = at(r + 1, s);
      for (const auto& tri : {std::array<int, 3>{a, d, c}, std::array<int, 3>{a, c, b}}) {
        const auto first = static_cast<int32_t>(scene.Corners.size());
        for (int v : tri) {
          const int vr = v / (segments + 1), vs = v % (segments + 1);
          scene.Corners.push_back({v, float(vs) / segments, 1.0f - float(vr) / rings, {0, 0, 0}});
        }
        scene.Faces.push_back({first, 3, mat, 0, 0});
      }
    }
  }
  return scene;
}

void BM_FitSphere(benchmark::State& state) {
  // 2 * rings * 2 rings triangles: rings 112 gives 50,176; 500 gives 1,000,000.
  const TGatheredScene sphere = SphereScene(static_cast<int>(state.range(0)));
  TImportOptions options;
  options.Fit = true;
  options.MaxError = 1.0;
  TImportReport report;
  int64_t corners = 0;
  for (auto _ : state) {
    state.PauseTiming();
    TGatheredScene scene = sphere;
    state.ResumeTiming();
    PrepareScene(scene, options, report);
    corners = static_cast<int64_t>(scene.Corners.size());
    if (corners > kTreeLimit) state.SkipWithError("not fitted");
  }
  state.counters["triangles"] = double(sphere.Faces.size());
  state.counters["corners_after"] = double(corners);
  state.counters["ns_per_triangle"] = benchmark::Counter(
      double(sphere.Faces.size()),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_FitSphere)
    ->Arg(112)
    ->Arg(200)
    ->Arg(354)
    ->Arg(500)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
