// The rotation pacer driven like the editor drives it: its steps rotate a mesh document's
// VERT in place on the window thread, while the same window thread paints from VERT between
// steps. Run under ThreadSanitizer, any access to VERT from the pacing thread shows up as a
// race with the paints.
#include "FakeWindowThread.h"

#include "mesh/MeshDocument.h"
#include "mesh/Projection.h"
#include "util/RotatePacer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <memory>
#include <stdexcept>

namespace {

using namespace std::chrono_literals;

// Counts the markers a paint draws and sums their pixels, so a paint really reads every
// projected vertex.
class TCountingCanvas : public TDrawCanvas {
public:
  void SetPenColor(TColor) override {}
  void SetPenStyle(TPenStyle) override {}
  void Ellipse(int left, int top, int, int) override {
    ++Markers;
    PixelSum += left + top;
  }
  void Polyline(const TPixel*, size_t) override {}
  void Line(TPixel, TPixel) override {}
  long Markers = 0;
  long long PixelSum = 0;
};

constexpr int kVertices = 3000;
constexpr float kRadius = 50.0f;

float StartAngle(int i) { return static_cast<float>(i) * 0.002f; }

class RotatePacerRace : public ::testing::Test {
protected:
  RotatePacerRace() {
    // Vertices on circles about the z axis, one per height: rotation about z keeps each on
    // its circle and only advances its angle.
    for (int i = 0; i < kVertices; ++i)
      doc.VERT[i] = TPoint3{kRadius * std::cos(StartAngle(i)), kRadius * std::sin(StartAngle(i)),
                            static_cast<float>(i)};
    doc.NumVert = kVertices;
    proj.SetDrawCanvas(&canvas);
    proj.SetAnchor(100, 100);
  }

  // The real step of the tool window: rotate VERT in place, then repaint from it.
  TRotatePacer::TStep Step() {
    return [this](float angle, bool rx, bool ry, bool rz) {
      if (std::this_thread::get_id() != window.Id()) offWindowThread = true;
      RotateStep(doc.VERT.get(), static_cast<size_t>(doc.NumVert), angle, rx, ry, rz);
      Paint();
    };
  }

  // A paint of the Points window: every vertex is read and drawn.
  void Paint() {
    if (std::this_thread::get_id() != window.Id()) offWindowThread = true;
    for (int i = 0; i < doc.NumVert; ++i) proj.DrawPointMarker(doc.VERT[i]);
    ++paints;
  }

  // Queues `n` paints onto the window thread, as repaint requests from other windows.
  void QueuePaints(int n) {
    for (int i = 0; i < n; ++i) window.Queue([this] { Paint(); });
  }

  TMeshDocument doc;
  TProjection proj;
  TCountingCanvas canvas;
  int paints = 0;  // window thread only
  std::atomic<bool> offWindowThread{false};
  TFakeWindowThread window;  // last: stopped (and drained) before the members its calls use
};

TEST_F(RotatePacerRace, StepsRotateVertOnTheWindowThreadBetweenPaints) {
  auto pacer = std::make_unique<TRotatePacer>(window.Post(), Step());
  pacer->RotateZ = true;
  window.Invoke([&] { pacer->Resume(); });
  // Other paints keep arriving while the steps run.
  for (int round = 0; round < 20 && pacer->StepsRun() < 6; ++round) {
    QueuePaints(5);
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_TRUE(WaitFor([&] { return pacer->StepsRun() >= 6; }));
  // Stopped on the window thread, the step count is final there: no step can follow.
  const int steps = window.Invoke([&] {
    pacer->Terminate();
    return pacer->StepsRun();
  });
  pacer.reset();
  EXPECT_FALSE(offWindowThread);

  // Each step turned every vertex by 0.1 about z: the angle advanced by steps × 0.1, the
  // radius and the height stayed.
  const float turned = 0.1f * static_cast<float>(steps);
  window.Invoke([&] {
    for (int i = 0; i < kVertices; i += 37) {
      const TPoint3 v = doc.VERT[i];
      EXPECT_NEAR(v.x, kRadius * std::cos(StartAngle(i) + turned), 2e-3f) << i;
      EXPECT_NEAR(v.y, kRadius * std::sin(StartAngle(i) + turned), 2e-3f) << i;
      EXPECT_EQ(v.z, static_cast<float>(i));
    }
    EXPECT_EQ(canvas.Markers, static_cast<long>(paints) * kVertices);
  });
}

TEST_F(RotatePacerRace, AxisFlagsAndAngleChangedFromAnotherThread) {
  std::atomic<int> badAngle{0};
  TRotatePacer pacer(window.Post(), [&](float angle, bool rx, bool ry, bool rz) {
    if (angle != 0.1f && angle != 0.05f) ++badAngle;
    Step()(angle, rx, ry, rz);
  });
  window.Invoke([&] { pacer.Resume(); });
  std::thread user([&] {
    for (int i = 0; i < 40; ++i) {
      pacer.RotateX = i % 3 == 0;
      pacer.RotateY = i % 3 == 1;
      pacer.RotateZ = i % 3 == 2;
      pacer.StepAngle = i % 2 ? 0.05f : 0.1f;
      std::this_thread::sleep_for(3ms);
    }
    pacer.RotateX = true;
  });
  QueuePaints(50);
  user.join();
  ASSERT_TRUE(WaitFor([&] { return pacer.StepsRun() >= 4; }));
  window.Invoke([&] { pacer.Terminate(); });
  EXPECT_EQ(badAngle, 0);
  EXPECT_FALSE(offWindowThread);
}

TEST_F(RotatePacerRace, NoStepBeforeResumeOrWithEveryAxisOff) {
  TRotatePacer pacer(window.Post(), Step());
  pacer.RotateY = true;
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(window.Posted(), 0) << "created suspended";
  pacer.RotateY = false;
  window.Invoke([&] { pacer.Resume(); });
  const int posted = window.Posted();
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(window.Posted(), posted) << "with no axis on the pacer only sleeps";
  pacer.RotateX = true;
  ASSERT_TRUE(WaitFor([&] { return pacer.StepsRun() >= 1; }));
  // Switched off, the steps stop after at most the one already decided on.
  pacer.RotateX = false;
  const int after = window.Invoke([&] { return pacer.StepsRun(); });
  std::this_thread::sleep_for(120ms);
  EXPECT_LE(window.Invoke([&] { return pacer.StepsRun(); }), after + 1);
}

TEST_F(RotatePacerRace, DestroyedOnTheWindowThreadWhileAStepIsQueued) {
  const TPoint3 before = doc.VERT[10];
  auto pacer = std::make_unique<TRotatePacer>(window.Post(), Step());
  window.Invoke([&] { pacer->Resume(); });
  // Destroyed on the window thread with the pacer waiting for the step queued there: no
  // deadlock, and the step is dropped when it comes up.
  window.InvokeWithCallQueuedBehind([&] { pacer->RotateZ = true; }, [&] { pacer.reset(); });
  window.Invoke([&] {
    EXPECT_EQ(doc.VERT[10].x, before.x);
    EXPECT_EQ(doc.VERT[10].y, before.y);
  });
}

TEST_F(RotatePacerRace, DestroyedElsewhereWhileTheWindowThreadIsStuck) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  window.Queue([released] { released.wait(); });
  const int posted = window.Posted();
  auto pacer = std::make_unique<TRotatePacer>(window.Post(), Step());
  pacer->RotateZ = true;
  pacer->Resume();
  ASSERT_TRUE(WaitFor([&] { return window.Posted() > posted; })) << "a step is queued";
  pacer.reset();  // returns although the window thread never ran the step
  release.set_value();
  window.Invoke([&] {
    EXPECT_EQ(doc.VERT[1].x, kRadius * std::cos(StartAngle(1)));
    EXPECT_EQ(paints, 0);
  });
}

TEST_F(RotatePacerRace, AThrowingStepReleasesThePacer) {
  std::atomic<int> calls{0}, caught{0};
  TWindowThreadPost guarded = [&](std::function<void()> call) {
    window.Queue([&caught, call = std::move(call)] {
      try {
        call();
      } catch (const std::runtime_error&) {
        ++caught;
      }
    });
  };
  TRotatePacer pacer(guarded, [&](float, bool, bool, bool) {
    ++calls;
    throw std::runtime_error("step failed");
  });
  pacer.RotateY = true;
  window.Invoke([&] { pacer.Resume(); });
  ASSERT_TRUE(WaitFor([&] { return calls >= 2; })) << "the pacer goes on after a failed step";
  window.Invoke([&] { pacer.Terminate(); });
  EXPECT_EQ(caught.load(), calls.load());
  EXPECT_EQ(pacer.StepsRun(), 0);
}

}  // namespace
