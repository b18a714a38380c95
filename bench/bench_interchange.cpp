// Speed of mesh interchange through Assimp on a full mesh: target under 1 s each.
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

#include <assimp/Exporter.hpp>
#include <random>

#include "PairTiming.h"
#include "interchange/AiScene.h"
#include "interchange/ExportScene.h"
#include "interchange/Interchange.h"
#include "interchange/ObjWriter.h"
#include "mesh/Normals.h"
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

// The lines that are not comments.
std::string Statements(const std::string& text) {
  std::string out;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    if (text[at] != '#') out.append(text, at, end - at + 1);
    at = end + 1;
  }
  return out;
}

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
  if (Statements(ours()) != Statements(theirs())) {
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

}  // namespace

BENCHMARK_MAIN();
