// The model viewer on a full mesh (32,769 records in every array) with Mesa's software
// OpenGL. The FullMesh cases: frames per second, each iteration one complete frame,
// rendered and read back (the read-back of the small window is a minor part). The Cpu
// cases: the viewer left open for a second, as a user leaves it, spinning or still; the
// counter cpu_ms_per_s is the CPU time the whole process (Mesa's threads included) spent
// in that second, which should stay at most 20 ms while spinning. Without a display the
// program runs itself again under xvfb-run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWindow>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "images/Gct.h"
#include "mesh/MeshDocument.h"
#include "support/TestSupport.h"
#include "viewers/Dialogs.h"
#include "viewers/ModelViewer.h"
#include "viewers/ViewerHost.h"

namespace {

// A sphere of triangles: vertices on latitude rings, faces whose corner ranges overlap so
// that FACE, FVRT, VERT and VTNM all hold MeshCapacity records.
void FillFullMesh(TMeshDocument& doc, int materials) {
  doc.ShowData = false;
  TMeshDocument::TLoadingScope loading(doc);
  constexpr int kRing = 181;  // 181 × 181 = 32,761 vertices, plus 8
  for (int32_t i = 0; i < MeshCapacity; ++i) {
    const float lat = static_cast<float>(M_PI) * static_cast<float>(i / kRing) / kRing - 1.5707964f;
    const float lon = 2.0f * static_cast<float>(M_PI) * static_cast<float>(i % kRing) / kRing;
    const TPoint3 p{std::cos(lat) * std::cos(lon), std::sin(lat), std::cos(lat) * std::sin(lon)};
    doc.AddVert(p);
    doc.AddVtnm(p);
  }
  for (int32_t i = 0; i < MeshCapacity; ++i) {
    const int32_t v = i % (MeshCapacity - kRing - 1);
    const int32_t corner[3] = {v, v + kRing, v + 1};
    doc.AddFvrt(TFvrtRecord{corner[i % 3], corner[i % 3], static_cast<float>(i % 7) / 7,
                            static_cast<float>(i % 5) / 5});
  }
  for (int32_t i = 0; i < MeshCapacity; ++i) {
    const int32_t first = std::min(i, MeshCapacity - 3);
    const int32_t mat = materials == 0 ? 0 : 1 + (i * materials / MeshCapacity);
    doc.AddFace(TFaceRecord{i, 0, mat, first, 3, 0, kEditorReserved2});
  }
}

void RunFrames(benchmark::State& state, int materials, bool wireframe) {
  if (!ViewersHaveOpenGl()) {
    state.SkipWithError("no OpenGL on this display");
    return;
  }
  testsupport::TempDir dir;
  const QString folder = QString::fromStdString(dir.Path().string()) + QStringLiteral("/");
  std::vector<uint8_t> rgb(256 * 256 * 3);
  for (int m = 1; m <= materials; ++m) {
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * m);
    WriteGctFile((folder + MaterialDigits(m) + QStringLiteral(".gct")).toStdString(), 256, 256,
                 rgb.data(), TStreamFormat::Zlib);
  }
  auto doc = std::make_unique<TMeshDocument>();
  FillFullMesh(*doc, materials);
  TStandardDialogs dialogs;
  TModelViewer view(*doc, dialogs, folder);
  view.show();
  QElapsedTimer waited;
  waited.start();
  while (!(view.windowHandle() && view.windowHandle()->isExposed()) && waited.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  if (!view.windowHandle() || !view.windowHandle()->isExposed()) {
    state.SkipWithError("the viewer window was not shown");
    return;
  }
  view.ResetView(true, true);
  view.FrameTimer.SetEnabled(false);
  if (wireframe) view.WireframeOnly->setChecked(true);
  view.grabFramebuffer();  // loads the textures
  for (auto _ : state) {
    view.MeshViewState.AngleY += 1;
    benchmark::DoNotOptimize(view.grabFramebuffer());
  }
  state.counters["fps"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

double ProcessCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Runs the event loop for `ms` milliseconds, sleeping while there is nothing to do.
void RunEventLoop(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The viewer open on the textured full mesh, its timer running as the main window leaves it,
// spinning about y or not; each iteration is one second of the event loop.
void RunOpen(benchmark::State& state, bool spinning) {
  if (!ViewersHaveOpenGl()) {
    state.SkipWithError("no OpenGL on this display");
    return;
  }
  testsupport::TempDir dir;
  const QString folder = QString::fromStdString(dir.Path().string()) + QStringLiteral("/");
  std::vector<uint8_t> rgb(256 * 256 * 3);
  for (int m = 1; m <= 4; ++m) {
    for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = static_cast<uint8_t>(i * m);
    WriteGctFile((folder + MaterialDigits(m) + QStringLiteral(".gct")).toStdString(), 256, 256,
                 rgb.data(), TStreamFormat::Zlib);
  }
  auto doc = std::make_unique<TMeshDocument>();
  FillFullMesh(*doc, 4);
  TStandardDialogs dialogs;
  TViewerHost host(dialogs);
  host.ShowMeshViewer(nullptr, *doc, folder);
  auto* view = static_cast<TModelViewer*>(host.MeshViewerWindow());
  QElapsedTimer waited;
  waited.start();
  while (!(view->windowHandle() && view->windowHandle()->isExposed()) && waited.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  if (spinning) view->RotateY->trigger();
  // Textures loaded and the face list built before the clock starts.
  RunEventLoop(500);
  double cpu = 0, wall = 0;
  int32_t frames = 0;
  for (auto _ : state) {
    const double cpu0 = ProcessCpuMs();
    const int32_t frames0 = view->FrameCount;
    QElapsedTimer second;
    second.start();
    RunEventLoop(1000);
    cpu += ProcessCpuMs() - cpu0;
    wall += static_cast<double>(second.nsecsElapsed()) / 1e6;
    frames += view->FrameCount - frames0;
  }
  state.counters["cpu_ms_per_s"] = cpu / wall * 1000;
  state.counters["frames_per_s"] = frames / wall * 1000;
}

void BM_ModelViewerOpenSpinningCpu(benchmark::State& state) { RunOpen(state, true); }
void BM_ModelViewerOpenStillCpu(benchmark::State& state) { RunOpen(state, false); }

void BM_ModelViewerFullMeshGrey(benchmark::State& state) { RunFrames(state, 0, false); }
void BM_ModelViewerFullMeshFourTextures(benchmark::State& state) { RunFrames(state, 4, false); }
void BM_ModelViewerFullMeshWireframe(benchmark::State& state) { RunFrames(state, 0, true); }

BENCHMARK(BM_ModelViewerOpenSpinningCpu)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(BM_ModelViewerOpenStillCpu)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_ModelViewerFullMeshGrey)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->UseRealTime()
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ModelViewerFullMeshFourTextures)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->UseRealTime()
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ModelViewerFullMeshWireframe)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0)
    ->UseRealTime()
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  const bool haveDisplay = std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY");
  if (!haveDisplay && !std::getenv("TESSAVOR_BENCH_UNDER_XVFB")) {
    setenv("TESSAVOR_BENCH_UNDER_XVFB", "1", 1);
    std::vector<char*> args = {const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                               const_cast<char*>("-s"),
                               const_cast<char*>("-screen 0 1280x1024x24")};
    for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
    args.push_back(nullptr);
    execvp("xvfb-run", args.data());
    std::perror("bench_viewer: cannot run xvfb-run");
    return 1;
  }
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
