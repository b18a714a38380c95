// The model viewer on a full mesh (32,769 records in every array) with Mesa's software
// OpenGL. The FullMesh cases: frames per second, each iteration one complete frame,
// rendered and read back (the read-back of the small window is a minor part). The Cpu
// cases: the viewer left open for a second, as a user leaves it, spinning or still; the
// counter cpu_ms_per_s is the CPU time the whole process (Mesa's threads included) spent
// in that second, which should stay at most 20 ms while spinning. Without a display the
// program runs itself again under xvfb-run.
//
// The Cap cases: both viewers on the full mesh whose faces change material at every face
// among 7 textures (the worst order for a viewer that binds or uploads a texture per
// material change). Counted with a GL call counter (GlCallCounter.h): calls per frame,
// texture uploads and binds per frame, and the calls compiled into the viewer's display
// list (replayed by the driver at every frame); `ours_ms` is the CPU of a frame outside the
// OpenGL calls, `frame_ms` the frame's CPU with the driver's part included (on Mesa's
// software rasterizer most of it is the rasterizer, which a GPU takes over).
// Pair/Screenshot/cap_alternating7: `tessavor --screenshot` on that mesh against the same
// on the demo model, whole processes (CPU of the process, all its threads).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QTimer>
#include <QWindow>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "PairTiming.h"
#include "images/Gct.h"
#include "mesh/MeshDocument.h"
#include "support/GlCallCounter.h"
#include "support/TestSupport.h"
#include "viewers/Dialogs.h"
#include "viewers/GlViewer.h"
#include "viewers/ModelViewer.h"
#include "viewers/ViewerHost.h"

namespace {

// A sphere of triangles: vertices on latitude rings, faces whose corner ranges overlap so
// that FACE, FVRT, VERT and VTNM all hold MeshCapacity records.
// With `alternating`, face i has material 1 + i % materials; otherwise the materials come in
// `materials` contiguous runs.
void FillFullMesh(TMeshDocument& doc, int materials, bool alternating = false) {
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
    const int32_t mat = materials == 0 ? 0
                        : alternating  ? 1 + i % materials
                                       : 1 + (i * materials / MeshCapacity);
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

// ---- The record cap with alternating materials.

constexpr int kCapMaterials = 7;

// Seven different 256 x 256 textures as ".gct" (the model viewer's) and ".bmp" (the GL
// viewer's) in `folder`, for materials 1..7.
void WriteCapTextures(const QString& folder) {
  std::vector<uint8_t> rgb(256 * 256 * 3);
  for (int m = 1; m <= kCapMaterials; ++m) {
    QImage picture(256, 256, QImage::Format_RGB888);
    for (int y = 0; y < 256; ++y) {
      uint8_t* row = picture.scanLine(y);
      for (int x = 0; x < 256 * 3; ++x) {
        row[x] = static_cast<uint8_t>((x * m + y * (8 - m)) & 0xFF);
        rgb[static_cast<size_t>(y) * 256 * 3 + static_cast<size_t>(x)] = row[x];
      }
    }
    const QString stem = folder + MaterialDigits(m);
    WriteGctFile((stem + QStringLiteral(".gct")).toStdString(), 256, 256, rgb.data(),
                 TStreamFormat::Zlib);
    picture.save(stem + QStringLiteral(".bmp"), "BMP");
  }
}

bool WaitExposed(QWidget& w) {
  QElapsedTimer waited;
  waited.start();
  while (!(w.windowHandle() && w.windowHandle()->isExposed()) && waited.elapsed() < 5000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return w.windowHandle() && w.windowHandle()->isExposed();
}

// A viewer whose paint reports its own CPU time and the part of it inside OpenGL calls.
template <class Viewer>
class TTimedViewer : public Viewer {
public:
  using Viewer::Viewer;
  double PaintCpuNs = 0;
  double PaintInsideNs = 0;

protected:
  void paintGL() override {
    const double inside0 = glcount::Counts().InsideNs;
    const double t0 = benchpair::ThreadCpuNs();
    Viewer::paintGL();
    PaintCpuNs = benchpair::ThreadCpuNs() - t0;
    PaintInsideNs = glcount::Counts().InsideNs - inside0;
  }
};

// One frame of `view`, counted: the calls made and the time of the paint.
template <class Viewer>
glcount::TCounts CountedFrame(TTimedViewer<Viewer>& view) {
  glcount::Reset();
  view.grabFramebuffer();
  return glcount::Counts();
}

// The counters of a viewer at the cap: a frame right after an edit (the viewer builds what
// it draws again) and a frame of an unchanged model; the frames of the benchmark's loop
// turn the model a degree each.
template <class Viewer, class Turn>
void MeasureCap(benchmark::State& state, TTimedViewer<Viewer>& view, TMeshDocument& doc,
                Turn turn) {
  glcount::Install(view.context());
  doc.FVRT[0].Tx += 0.5f;  // an edit: what is drawn is built again
  const glcount::TCounts build = CountedFrame(view);
  const glcount::TCounts steady = CountedFrame(view);
  const double oursMs = std::max(0.0, view.PaintCpuNs - view.PaintInsideNs) / 1e6;
  auto listed = [&](const char* name) { return double(build.Of(name) - steady.Of(name)); };
  std::vector<double> frameMs;
  for (auto _ : state) {
    turn();
    view.grabFramebuffer();
    frameMs.push_back(view.PaintCpuNs / 1e6);
  }
  state.counters["calls_per_frame"] = double(steady.Calls);
  state.counters["uploads_per_frame"] = double(steady.Of("glTexImage2D"));
  state.counters["binds_per_frame"] = double(steady.Of("glBindTexture"));
  state.counters["begins_per_frame"] = double(steady.Of("glBegin"));
  // What the frame after an edit adds: the display list's content, replayed at every frame.
  state.counters["list_calls"] = double(build.Calls) - double(steady.Calls);
  state.counters["list_binds"] = listed("glBindTexture");
  state.counters["list_begins"] = listed("glBegin");
  state.counters["list_draws"] = listed("glDrawArrays");
  state.counters["ours_ms"] = oursMs;
  state.counters["frame_ms"] = benchpair::Median(frameMs);
}

void BM_ModelViewerCapAlternating(benchmark::State& state) {
  if (!ViewersHaveOpenGl()) {
    state.SkipWithError("no OpenGL on this display");
    return;
  }
  testsupport::TempDir dir;
  const QString folder = QString::fromStdString(dir.Path().string()) + QStringLiteral("/");
  WriteCapTextures(folder);
  auto doc = std::make_unique<TMeshDocument>();
  FillFullMesh(*doc, kCapMaterials, true);
  TStandardDialogs dialogs;
  TTimedViewer<TModelViewer> view(*doc, dialogs, folder);
  view.show();
  if (!WaitExposed(view)) {
    state.SkipWithError("the viewer window was not shown");
    return;
  }
  view.ResetView(true, true);
  view.FrameTimer.SetEnabled(false);
  view.grabFramebuffer();  // loads the textures
  MeasureCap(state, view, *doc, [&] { view.MeshViewState.AngleY += 1; });
}

void BM_GlViewerCapAlternating(benchmark::State& state) {
  if (!ViewersHaveOpenGl()) {
    state.SkipWithError("no OpenGL on this display");
    return;
  }
  testsupport::TempDir dir;
  const QString folder = QString::fromStdString(dir.Path().string()) + QStringLiteral("/");
  WriteCapTextures(folder);
  auto doc = std::make_unique<TMeshDocument>();
  FillFullMesh(*doc, kCapMaterials, true);
  TStandardDialogs dialogs;
  TTimedViewer<TGlViewer> view(*doc, dialogs);
  view.FrameTimer.stop();
  view.show();
  if (!WaitExposed(view)) {
    state.SkipWithError("the viewer window was not shown");
    return;
  }
  view.grabFramebuffer();  // makes the context
  view.LoadTextures(folder);
  view.grabFramebuffer();
  MeasureCap(state, view, *doc, [&] { view.OnFrameTimer(); });
}

// ---- tessavor --screenshot at the cap against the demo.

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// CPU seconds (user and system, all threads) of `tessavor --screenshot` on `home`.
double ScreenshotCpuSeconds(const std::string& bin, const std::string& home,
                            const std::string& shots) {
  const std::string program = bin + "/tessavor";
  const std::string homeVar = "TESSAVOR_HOME=" + home;
  std::vector<std::string> env = {homeVar, "LIBGL_ALWAYS_SOFTWARE=1"};
  for (char** e = environ; *e; ++e) {
    if (std::strncmp(*e, "TESSAVOR_HOME=", 14) != 0 && std::strncmp(*e, "TESSAVOR_LOG=", 13) != 0)
      env.emplace_back(*e);
  }
  std::vector<char*> envp,
      argv = {const_cast<char*>(program.c_str()), const_cast<char*>("--screenshot"),
              const_cast<char*>(shots.c_str()), nullptr};
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t quiet;
  posix_spawn_file_actions_init(&quiet);
  posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, program.c_str(), &quiet, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&quiet);
  if (rc != 0) return -1;
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return -1;
  auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void PairScreenshot(benchmark::State& state) {
  const std::string bin = std::filesystem::canonical("/proc/self/exe").parent_path().string();
  testsupport::TempDir dir;
  const std::string capHome = dir.File("cap-home"), demoHome = dir.File("demo-home");
  const std::string capTextures = dir.File("cap-textures"), demoTextures = dir.File("demo");
  for (const std::string& d : {capHome, demoHome, capTextures, demoTextures})
    std::filesystem::create_directories(d);
  auto writeIni = [](const std::string& home, const std::string& textures) {
    std::ofstream(home + "/model.ini") << "[qorvex]\nloadok=1\nMatPath=" << textures << "/\n";
  };
  // The demo as make screenshots shows it: its home folder seeded, its textures beside it.
  writeIni(demoHome, demoTextures);
  const std::string seed = "cp " + Quoted(bin) + "/demo/*.bmp " + Quoted(bin) + "/demo/*.gct " +
                           Quoted(demoTextures) + " && TESSAVOR_HOME=" + Quoted(demoHome) + " sh " +
                           Quoted(bin + "/seed-home.sh") + " " + Quoted(bin) + " >/dev/null";
  if (std::system(seed.c_str()) != 0) {
    state.SkipWithError("cannot seed the demo's home folder");
    return;
  }
  writeIni(capHome, capTextures);
  WriteCapTextures(QString::fromStdString(capTextures) + QStringLiteral("/"));
  {
    const char* previous = std::getenv("TESSAVOR_HOME");
    const std::string kept = previous ? previous : "";
    setenv("TESSAVOR_HOME", capHome.c_str(), 1);
    auto doc = std::make_unique<TMeshDocument>();
    FillFullMesh(*doc, kCapMaterials, true);
    doc->Radius = 1;
    doc->SaveRecordFilesAndRadius();
    if (previous)
      setenv("TESSAVOR_HOME", kept.c_str(), 1);
    else
      unsetenv("TESSAVOR_HOME");
  }
  state.SetLabel("anchor: tessavor --screenshot on the demo model");
  std::vector<double> ours, anchor;
  bool oursFirst = true;
  for (auto _ : state) {
    const double o0 = oursFirst ? ScreenshotCpuSeconds(bin, capHome, dir.File("shots")) : 0;
    const double a = ScreenshotCpuSeconds(bin, demoHome, dir.File("shots"));
    const double o = oursFirst ? o0 : ScreenshotCpuSeconds(bin, capHome, dir.File("shots"));
    if (o < 0 || a < 0) {
      state.SkipWithError("tessavor --screenshot failed");
      return;
    }
    ours.push_back(o);
    anchor.push_back(a);
    oursFirst = !oursFirst;
  }
  const double o = benchpair::Median(ours), a = benchpair::Median(anchor);
  state.counters["ours_s"] = o;
  state.counters["anchor_s"] = a;
  state.counters["speedup"] = o > 0 ? a / o : 0;
}

void BM_ModelViewerOpenSpinningCpu(benchmark::State& state) { RunOpen(state, true); }
void BM_ModelViewerOpenStillCpu(benchmark::State& state) { RunOpen(state, false); }

void BM_ModelViewerFullMeshGrey(benchmark::State& state) { RunFrames(state, 0, false); }
void BM_ModelViewerFullMeshFourTextures(benchmark::State& state) { RunFrames(state, 4, false); }
void BM_ModelViewerFullMeshWireframe(benchmark::State& state) { RunFrames(state, 0, true); }

// Ten frames each: a frame of the old per-face drawing took a tenth of a second and more.
BENCHMARK(BM_ModelViewerCapAlternating)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_GlViewerCapAlternating)->Unit(benchmark::kMillisecond)->Iterations(10);
// Three runs of each program, alternately.
BENCHMARK(PairScreenshot)
    ->Name("Pair/Screenshot/cap_alternating7")
    ->Unit(benchmark::kSecond)
    ->Iterations(3)
    ->UseRealTime();
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
