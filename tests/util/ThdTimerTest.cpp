#include "util/ThdTimer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <deque>

namespace {

using namespace std::chrono_literals;

// Stands in for the window thread: the worker's hand-over queues calls here, and the test
// thread (playing the window thread) runs them when it pumps.
class TFakeWindowThread {
public:
  TWindowThreadPost Post() {
    return [this](std::function<void()> call) {
      std::lock_guard lock(m_mutex);
      m_queue.push_back(std::move(call));
      ++m_posted;
      m_cv.notify_all();
    };
  }
  // Waits up to `timeout` for a queued call and runs it; false when none came.
  bool PumpOne(std::chrono::milliseconds timeout) {
    std::function<void()> call;
    {
      std::unique_lock lock(m_mutex);
      if (!m_cv.wait_for(lock, timeout, [&] { return !m_queue.empty(); })) return false;
      call = std::move(m_queue.front());
      m_queue.pop_front();
    }
    call();
    return true;
  }
  // Waits for a queued call without running it.
  bool WaitQueued(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    return m_cv.wait_for(lock, timeout, [&] { return !m_queue.empty(); });
  }
  int Posted() {
    std::lock_guard lock(m_mutex);
    return m_posted;
  }

private:
  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<std::function<void()>> m_queue;
  int m_posted = 0;
};

class ThreadedTimer : public ::testing::Test {
protected:
  // A timer with the given interval whose handler counts ticks on the test thread.
  std::unique_ptr<TThreadedTimer> MakeCounting(uint16_t interval) {
    auto timer = std::make_unique<TThreadedTimer>(window.Post());
    timer->SetInterval(interval);
    timer->SetOnTimer([this](TThreadedTimer&) {
      if (std::this_thread::get_id() != testThread) wrongThread = true;
      ++ticks;
    });
    return timer;
  }

  TFakeWindowThread window;
  std::thread::id testThread = std::this_thread::get_id();
  int ticks = 0;
  bool wrongThread = false;
};

TEST_F(ThreadedTimer, DefaultsAndRunRuleAsPropertiesArrive) {
  TThreadedTimer timer(window.Post());
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(timer.Interval(), 1000);
  EXPECT_EQ(timer.ThreadPriority(), tpNormal);
  EXPECT_FALSE(timer.Running()) << "no handler yet";
  timer.SetInterval(70);
  EXPECT_FALSE(timer.Running());
  timer.SetOnTimer([](TThreadedTimer&) {});
  EXPECT_TRUE(timer.Running());
  timer.SetThreadPriority(tpHigher);
  EXPECT_TRUE(timer.Running());
  EXPECT_EQ(timer.ThreadPriority(), tpHigher);
}

TEST_F(ThreadedTimer, TicksRunOnTheWindowThreadWithTheTimerAsSender) {
  auto timer = std::make_unique<TThreadedTimer>(window.Post());
  TThreadedTimer* seen = nullptr;
  timer->SetInterval(5);
  timer->SetOnTimer([&](TThreadedTimer& sender) {
    seen = &sender;
    if (std::this_thread::get_id() != testThread) wrongThread = true;
    ++ticks;
  });
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(window.PumpOne(2s));
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(seen, timer.get());
  EXPECT_FALSE(wrongThread);
}

TEST_F(ThreadedTimer, WorkerWaitsForEachTickBeforeTheNextInterval) {
  auto timer = MakeCounting(1);
  ASSERT_TRUE(window.WaitQueued(2s));
  // With a 1 ms interval the worker would have queued many more ticks by now if it did
  // not wait for the first one to run.
  std::this_thread::sleep_for(60ms);
  EXPECT_EQ(window.Posted(), 1);
  ASSERT_TRUE(window.PumpOne(0ms));
  ASSERT_TRUE(window.PumpOne(2s));
  EXPECT_EQ(ticks, 2);
}

TEST_F(ThreadedTimer, IntervalZeroGivesNoTicks) {
  auto timer = MakeCounting(0);
  EXPECT_FALSE(timer->Running());
  timer->SetEnabled(false);
  timer->SetEnabled(true);
  EXPECT_FALSE(window.PumpOne(80ms));
  EXPECT_EQ(ticks, 0);
}

TEST_F(ThreadedTimer, DisabledGivesNoTicksAndEnablingResumes) {
  auto timer = MakeCounting(2);
  timer->SetEnabled(false);
  // A tick queued before the pause may still be in the queue: it must be dropped.
  while (window.PumpOne(30ms)) {}
  EXPECT_EQ(ticks, 0);
  timer->SetEnabled(true);
  ASSERT_TRUE(window.PumpOne(2s));
  EXPECT_EQ(ticks, 1);
}

TEST_F(ThreadedTimer, ClearingOnTimerStopsTicks) {
  auto timer = MakeCounting(2);
  ASSERT_TRUE(window.PumpOne(2s));
  ASSERT_EQ(ticks, 1);
  timer->SetOnTimer(nullptr);
  EXPECT_FALSE(timer->Running());
  while (window.PumpOne(30ms)) {}
  EXPECT_EQ(ticks, 1);
}

TEST_F(ThreadedTimer, SettingAPropertyToItsValueDoesNothing) {
  auto timer = MakeCounting(500);
  const uint64_t before = timer->UpdateCount();
  timer->SetEnabled(true);
  timer->SetInterval(500);
  timer->SetThreadPriority(tpNormal);
  EXPECT_EQ(timer->UpdateCount(), before);
  timer->SetInterval(501);
  EXPECT_EQ(timer->UpdateCount(), before + 1);
  // OnTimer re-evaluates always, even with an equal handler.
  timer->SetOnTimer(nullptr);
  timer->SetOnTimer(nullptr);
  EXPECT_EQ(timer->UpdateCount(), before + 3);
}

TEST_F(ThreadedTimer, LargestIntervalIsUnsigned) {
  TThreadedTimer timer(window.Post());
  timer.SetInterval(65535);
  EXPECT_EQ(timer.Interval(), 65535);
  timer.SetOnTimer([](TThreadedTimer&) {});
  EXPECT_TRUE(timer.Running());
  EXPECT_FALSE(window.WaitQueued(50ms));
}

TEST_F(ThreadedTimer, PauseWhileATickIsQueuedDropsThatTick) {
  auto timer = MakeCounting(2);
  ASSERT_TRUE(window.WaitQueued(2s));
  timer->SetEnabled(false);
  ASSERT_TRUE(window.PumpOne(0ms));
  EXPECT_EQ(ticks, 0);
}

TEST_F(ThreadedTimer, NoTickAfterTheDestructorHasBegun) {
  auto timer = MakeCounting(2);
  ASSERT_TRUE(window.WaitQueued(2s));
  // The worker is now waiting for the window thread; destroying the timer on the window
  // thread must neither deadlock nor let the queued tick through afterwards.
  timer.reset();
  ASSERT_TRUE(window.PumpOne(0ms));
  EXPECT_EQ(ticks, 0);
}

TEST_F(ThreadedTimer, DestroyingWhileTheWindowThreadNeverAnswersReturns) {
  std::atomic<bool> destroyed{false};
  {
    TFakeWindowThread deaf;  // never pumped
    auto timer = std::make_unique<TThreadedTimer>(deaf.Post());
    timer->SetInterval(1);
    timer->SetOnTimer([](TThreadedTimer&) {});
    ASSERT_TRUE(deaf.WaitQueued(2s));
    std::thread killer([&] {
      timer.reset();
      destroyed = true;
    });
    killer.join();
  }
  EXPECT_TRUE(destroyed);
}

TEST_F(ThreadedTimer, AHandlerMayDestroyItsOwnTimer) {
  auto timer = std::make_unique<TThreadedTimer>(window.Post());
  timer->SetInterval(1);
  timer->SetOnTimer([&](TThreadedTimer&) {
    ++ticks;
    timer.reset();
  });
  ASSERT_TRUE(window.PumpOne(2s));
  EXPECT_EQ(ticks, 1);
  EXPECT_EQ(timer, nullptr);
  while (window.PumpOne(20ms)) {}
  EXPECT_EQ(ticks, 1);
}

TEST_F(ThreadedTimer, AThrowingHandlerReleasesTheWorker) {
  auto timer = std::make_unique<TThreadedTimer>(window.Post());
  timer->SetInterval(1);
  timer->SetOnTimer([&](TThreadedTimer&) {
    ++ticks;
    throw std::runtime_error("tick failed");
  });
  ASSERT_TRUE(window.WaitQueued(2s));
  EXPECT_THROW(window.PumpOne(0ms), std::runtime_error);
  ASSERT_TRUE(window.WaitQueued(2s)) << "the worker must go on after a failed tick";
  EXPECT_THROW(window.PumpOne(0ms), std::runtime_error);
  EXPECT_EQ(ticks, 2);
}

}  // namespace
