// Speed of the mesh document on a full mesh (32,769 records in every array):
//  - Load of the record files with every list line: target under 30 ms, and (Pair/Load/full)
//    at most 40 times the time of reading the five files' bytes (speedup at least 0.025).
//  - Calc VTNM (in memory, the linear algorithm): target under 100 ms.
//  - OBJ export to a file: target under 50 ms.
//  - clean linear in the records (BM_Clean at four sizes).
#include <benchmark/benchmark.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "PairTiming.h"
#include "mesh/MeshClean.h"
#include "mesh/MeshDocument.h"
#include "mesh/Normals.h"
#include "mesh/ObjExport.h"
#include "support/TestSupport.h"

namespace {

// A terrain of 181 x 181 grid points with random heights 0 or 0.5 (so that normals repeat
// as on real models), walked as triangle strips: FVRT records follow the strip and face k
// uses corners k, k+1, k+2, which fills VERT, FVRT and FACE to the capacity.
void BuildFullMesh(TMeshDocument& doc) {
  doc.Clear();
  std::mt19937 rng(42);
  constexpr int kSide = 181;
  for (int r = 0; r < kSide; ++r) {
    for (int c = 0; c < kSide; ++c) doc.AddVert({float(c), float(r), (rng() & 1) ? 0.5f : 0.0f});
  }
  while (doc.NumVert < MeshCapacity) doc.AddVert({0, 0, 0});
  for (int r = 0; doc.NumFvrt < MeshCapacity; r = (r + 1) % (kSide - 1)) {
    for (int c = 0; c < kSide && doc.NumFvrt + 2 <= MeshCapacity; ++c) {
      doc.AddFvrt({r * kSide + c, 0, float(c) / kSide, float(r) / kSide});
      doc.AddFvrt({(r + 1) * kSide + c, 0, float(c) / kSide, float(r + 1) / kSide});
    }
    if (doc.NumFvrt + 2 > MeshCapacity) doc.AddFvrt({0, 0, 0, 0});
  }
  for (int k = 0; k < MeshCapacity; ++k)
    doc.AddFace({0, 0.0f, 70000 + k % 7, k, k + 2 < MeshCapacity ? 3 : 1, 0, kEditorReserved2});
  doc.NumVtnm = 0;
  CalcVtnmRecords(doc);
  while (doc.NumVtnm < MeshCapacity) doc.StoreVtnm({0, 0, 1});
}

void BM_LoadFullMesh(benchmark::State& state) {
  testsupport::TempDir home;
  {
    TMeshDocument doc;
    BuildFullMesh(doc);
    doc.SaveRecordFiles();
  }
  TMeshDocument doc;
  for (auto _ : state) {
    doc.LoadRecordFiles();
    benchmark::DoNotOptimize(doc.FaceLines.Count());
  }
  state.counters["lines"] =
      double(doc.VertexLines.Count() + doc.NormalLines.Count() + doc.CornerLines.Count() +
             doc.FaceLines.Count() + doc.MaterialLines.Count());
}
BENCHMARK(BM_LoadFullMesh)->Unit(benchmark::kMillisecond);

// Load with its list lines against reading the five files' bytes: what the lines, the
// records and the bookkeeping cost above the reads themselves.
void BM_PairLoadFull(benchmark::State& state) {
  testsupport::TempDir home;
  {
    TMeshDocument doc;
    BuildFullMesh(doc);
    doc.SaveRecordFiles();
    doc.Radius = 2.5f;
    std::ofstream(home.File("radi.kvt"), std::ios::binary)
        .write(reinterpret_cast<const char*>(&doc.Radius), 4);
  }
  TMeshDocument doc;
  std::vector<char> bytes;
  state.SetLabel("anchor: reading the five files' bytes (the limit)");
  benchpair::Run(
      state,
      [&] {
        doc.LoadRecordFiles();
        benchmark::DoNotOptimize(doc.FaceLines.Count());
      },
      [&] {
        for (const char* name : {"vert.kvt", "vtnm.kvt", "fvrt.kvt", "face.kvt", "radi.kvt"}) {
          std::ifstream in(home.File(name), std::ios::binary | std::ios::ate);
          bytes.resize(static_cast<size_t>(in.tellg()));
          in.seekg(0);
          in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
          benchmark::DoNotOptimize(bytes.data());
        }
      });
}
BENCHMARK(BM_PairLoadFull)->Name("Pair/Load/full")->Unit(benchmark::kMillisecond);

void BM_CalcVtnmFullMesh(benchmark::State& state) {
  TMeshDocument doc;
  BuildFullMesh(doc);
  for (auto _ : state) {
    CalcVtnmRecords(doc);
    benchmark::DoNotOptimize(doc.NumVtnm);
  }
  state.counters["normals"] = double(doc.NumVtnm);
}
BENCHMARK(BM_CalcVtnmFullMesh)->Unit(benchmark::kMillisecond);

void BM_ObjExportFullMesh(benchmark::State& state) {
  testsupport::TempDir dir;
  TMeshDocument doc;
  BuildFullMesh(doc);
  const std::string path = dir.File("full.obj");
  for (auto _ : state) ExportObj(doc, path);
  state.counters["bytes"] = double(testsupport::ReadBytes(path).size());
}
BENCHMARK(BM_ObjExportFullMesh)->Unit(benchmark::kMillisecond);

// clean on a plane of rows x 128 squares, each square with four vertices of its own (so the
// weld merges three of every four into their neighbours'), every seventh square turned and
// every eleventh given a copy: every step has work at every size. Rows 7 to 56: 3,584 to
// 28,672 vertices.
void BuildCleanable(TMeshDocument& doc, int rows) {
  doc.Clear();
  constexpr int kColumns = 128;
  doc.AddVtnm({0, 0, 1});
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      const int first = doc.NumVert, square = r * kColumns + c;
      const int corners[4][2] = {{r, c}, {r, c + 1}, {r + 1, c + 1}, {r + 1, c}};
      for (const auto& k : corners) doc.AddVert({float(k[1]), float(k[0]), 0.0f});
      for (int copy = 0; copy < (square % 11 == 0 ? 2 : 1); ++copy) {
        const int f = doc.NumFvrt;
        for (int k = 0; k < 4; ++k) {
          const int at = square % 7 == 0 ? (4 - k) % 4 : k;
          doc.AddFvrt({first + at, 0, float(corners[at][1]), float(corners[at][0])});
        }
        doc.AddFace({0, 0.0f, 70000 + square % 3, f, 4, 0, kEditorReserved2});
      }
    }
  }
}

void BM_Clean(benchmark::State& state) {
  TMeshDocument doc;
  doc.ShowData = false;
  const int rows = static_cast<int>(state.range(0));
  TCleanReport report;
  int32_t records = 0;
  for (auto _ : state) {
    state.PauseTiming();
    BuildCleanable(doc, rows);
    records = doc.NumVert;
    state.ResumeTiming();
    report = CleanRecords(doc);
  }
  state.counters["vertices"] = double(records);
  state.counters["merged"] = double(report.MergedVerts);
  state.counters["turned"] = double(report.TurnedFaces);
  state.counters["ns_per_vertex"] = benchmark::Counter(
      double(records), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Clean)->Arg(7)->Arg(14)->Arg(28)->Arg(56)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
