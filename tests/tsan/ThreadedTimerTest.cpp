// The model viewer's threaded timer driven like the editor drives it: its ticks draw a frame
// from VERT on the window thread while the rotation pacer's steps rewrite VERT there, and the
// user (the window thread) pauses, resumes, retunes and destroys the timer while ticks are on
// their way. Run under ThreadSanitizer.
#include "FakeWindowThread.h"

#include "mesh/MeshDocument.h"
#include "mesh/Projection.h"
#include "util/RotatePacer.h"
#include "util/ThdTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <future>
#include <memory>

namespace {

using namespace std::chrono_literals;

class ThreadedTimerRace : public ::testing::Test {
protected:
  ThreadedTimerRace() {
    for (int i = 0; i < 1000; ++i)
      doc.VERT[i] = TPoint3{static_cast<float>(i % 10), 1.0f, static_cast<float>(i % 7)};
    doc.NumVert = 1000;
  }

  // A frame of the model viewer: reads every vertex.
  void Frame(TThreadedTimer&) {
    if (std::this_thread::get_id() != window.Id()) offWindowThread = true;
    double sum = 0;
    for (int i = 0; i < doc.NumVert; ++i)
      sum += doc.VERT[i].x * doc.VERT[i].x + doc.VERT[i].z * doc.VERT[i].z;
    lastSum = sum;
    ++ticks;
  }

  // A timer made and set up on the window thread, as the viewer's window does.
  std::unique_ptr<TThreadedTimer> MakeTimer(uint16_t interval) {
    return window.Invoke([&] {
      auto t = std::make_unique<TThreadedTimer>(window.Post());
      t->SetInterval(interval);
      t->SetOnTimer([this](TThreadedTimer& sender) { Frame(sender); });
      t->SetThreadPriority(tpHigher);
      return t;
    });
  }

  void DestroyOnWindowThread(std::unique_ptr<TThreadedTimer>& timer) {
    window.Invoke([&] { timer.reset(); });
  }

  TMeshDocument doc;
  std::atomic<int> ticks{0};
  double lastSum = 0;  // window thread only
  std::atomic<bool> offWindowThread{false};
  TFakeWindowThread window;
};

TEST_F(ThreadedTimerRace, FramesReadVertWhileRotationStepsRewriteIt) {
  auto timer = MakeTimer(1);
  std::atomic<int> steps{0};
  TRotatePacer pacer(window.Post(), [&](float angle, bool rx, bool ry, bool rz) {
    RotateStep(doc.VERT.get(), static_cast<size_t>(doc.NumVert), angle, rx, ry, rz);
    ++steps;
  });
  pacer.RotateY = true;
  window.Invoke([&] { pacer.Resume(); });
  ASSERT_TRUE(WaitFor([&] { return steps >= 4 && ticks >= 20; }));
  window.Invoke([&] { pacer.Terminate(); });
  DestroyOnWindowThread(timer);
  EXPECT_FALSE(offWindowThread);
  // Rotation about y keeps x² + z² of every vertex: a frame never saw a half-turned array.
  double expected = 0;
  for (int i = 0; i < 1000; ++i) expected += (i % 10) * (i % 10) + (i % 7) * (i % 7);
  window.Invoke([&] { EXPECT_NEAR(lastSum, expected, expected * 1e-4); });
}

TEST_F(ThreadedTimerRace, PropertiesChangedOnTheWindowThreadWhileTicking) {
  auto timer = MakeTimer(1);
  ASSERT_TRUE(WaitFor([&] { return ticks >= 2; }));
  for (int i = 0; i < 60; ++i) {
    window.Invoke([&, i] {
      timer->SetEnabled(i % 4 != 0);
      timer->SetInterval(static_cast<uint16_t>(1 + i % 3));
      timer->SetThreadPriority(i % 2 ? tpNormal : tpLower);
      if (i % 5 == 0) timer->SetOnTimer([this](TThreadedTimer& sender) { Frame(sender); });
    });
    (void)timer->Running();  // the diagnostics may be read from any thread
    (void)timer->UpdateCount();
  }
  window.Invoke([&] { timer->SetEnabled(true); });
  const int before = ticks;
  ASSERT_TRUE(WaitFor([&] { return ticks >= before + 3; })) << "ticks go on after the changes";
  DestroyOnWindowThread(timer);
  EXPECT_FALSE(offWindowThread);
}

TEST_F(ThreadedTimerRace, PauseWhileATickIsQueuedDropsIt) {
  auto timer = MakeTimer(2);
  ASSERT_TRUE(WaitFor([&] { return ticks >= 1; }));
  // Busy on the window thread until the next tick is queued behind, then pause there.
  const int atPause = window.InvokeWithCallQueuedBehind([] {},
                                                        [&] {
                                                          timer->SetEnabled(false);
                                                          return ticks.load();
                                                        });
  window.Invoke([] {});  // the queued tick has come up by now
  std::this_thread::sleep_for(30ms);
  EXPECT_EQ(window.Invoke([&] { return ticks.load(); }), atPause);
  window.Invoke([&] { timer->SetEnabled(true); });
  ASSERT_TRUE(WaitFor([&] { return ticks > atPause; })) << "resumed";
  DestroyOnWindowThread(timer);
}

TEST_F(ThreadedTimerRace, DestroyedOnTheWindowThreadWhileATickWaits) {
  auto timer = MakeTimer(1);
  ASSERT_TRUE(WaitFor([&] { return ticks >= 1; }));
  const int atDestroy = window.InvokeWithCallQueuedBehind(
      [] {},
      [&] {
        timer.reset();  // the worker waits for the tick queued behind this call
        return ticks.load();
      });
  window.Invoke([] {});
  EXPECT_EQ(ticks.load(), atDestroy) << "no tick after the destructor has begun";
}

TEST_F(ThreadedTimerRace, DestroyedElsewhereWhileAHandlerRuns) {
  std::promise<void> entered;
  std::atomic<bool> started{false};
  std::atomic<bool> finished{false};
  auto timer = window.Invoke([&] {
    auto t = std::make_unique<TThreadedTimer>(window.Post());
    t->SetInterval(1);
    // The timer calls a copy of its handler, so the "first tick" mark lives outside it: on a
    // loaded machine the next tick may come before this thread destroys the timer.
    t->SetOnTimer([&](TThreadedTimer&) {
      if (started.exchange(true)) return;
      entered.set_value();
      std::this_thread::sleep_for(40ms);
      finished = true;
    });
    return t;
  });
  entered.get_future().wait();
  timer.reset();  // must wait for the handler running on the window thread
  EXPECT_TRUE(finished);
}

TEST_F(ThreadedTimerRace, AHandlerDestroysItsOwnTimer) {
  std::unique_ptr<TThreadedTimer> timer;
  window.Invoke([&] {
    timer = std::make_unique<TThreadedTimer>(window.Post());
    timer->SetInterval(1);
    timer->SetOnTimer([&](TThreadedTimer&) {
      ++ticks;
      timer.reset();
    });
  });
  ASSERT_TRUE(WaitFor([&] { return ticks >= 1; }));
  window.Invoke([&] { EXPECT_EQ(timer, nullptr); });
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(ticks.load(), 1);
}

}  // namespace
