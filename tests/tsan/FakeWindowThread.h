#pragma once
// A window thread of the tests' own: a std::thread that runs queued calls one after another,
// like the window system's message loop. The workers hand their ticks and steps to it through
// Post(); Invoke() runs something there and waits for it (how the tests play the user, who
// only ever acts on the window thread). On destruction the calls still queued are run, so a
// call that arrives after its worker died is exercised too.

#include "util/ThdTimer.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

class TFakeWindowThread {
public:
  TFakeWindowThread() : m_thread([this] { Loop(); }) {}
  ~TFakeWindowThread() {
    {
      std::lock_guard lock(m_mutex);
      m_stop = true;
      m_cv.notify_all();
    }
    m_thread.join();
  }
  TFakeWindowThread(const TFakeWindowThread&) = delete;
  TFakeWindowThread& operator=(const TFakeWindowThread&) = delete;

  TWindowThreadPost Post() {
    return [this](std::function<void()> call) { Queue(std::move(call)); };
  }

  void Queue(std::function<void()> call) {
    std::lock_guard lock(m_mutex);
    m_queue.push_back(std::move(call));
    ++m_posted;
    m_cv.notify_all();
  }

  // Runs `fn` on the window thread and waits for it (its exception comes back here).
  template <class F>
  auto Invoke(F fn) -> decltype(fn()) {
    std::packaged_task<decltype(fn())()> task(std::move(fn));
    auto result = task.get_future();
    Queue([&task] { task(); });
    return result.get();
  }

  // On the window thread: runs `start`, waits there until a worker has queued a call (which
  // therefore waits behind this one, with the worker waiting for it), then runs `fn`. Waits
  // for all of it and returns what `fn` returns.
  template <class S, class F>
  auto InvokeWithCallQueuedBehind(S start, F fn) -> decltype(fn()) {
    const int posted = Posted() + 1;  // + this call
    return Invoke([&] {
      start();
      while (Posted() == posted) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return fn();
    });
  }

  std::thread::id Id() const { return m_thread.get_id(); }

  int Posted() {
    std::lock_guard lock(m_mutex);
    return m_posted;
  }

private:
  void Loop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
      m_cv.wait(lock, [&] { return m_stop || !m_queue.empty(); });
      if (m_queue.empty()) return;  // stopping and drained
      std::function<void()> call = std::move(m_queue.front());
      m_queue.pop_front();
      lock.unlock();
      call();
      lock.lock();
    }
  }

  std::mutex m_mutex;
  std::condition_variable m_cv;
  std::deque<std::function<void()>> m_queue;
  int m_posted = 0;
  bool m_stop = false;
  std::thread m_thread;  // last: starts after the members it uses exist
};

// Waits up to `limit` for `done` to hold, polling.
template <class F>
bool WaitFor(F done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
