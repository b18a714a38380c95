#include "util/ThdTimer.h"

#include <chrono>

#include "util/Platform.h"

namespace {

// Runs on the window thread: the tick queued by the worker for `serial` in `generation`.
// A tick is dropped when the timer died, was paused (or re-evaluated) since it was queued,
// or is no longer the one the worker waits for.
void DeliverTick(const std::shared_ptr<TTimerShared>& shared, uint64_t serial,
                 uint64_t generation) {
  std::unique_lock lock(shared->mutex);
  if (serial != shared->tickSerial || shared->tickDone) return;
  TThreadedTimer* owner = shared->owner;
  const bool deliver =
      owner && shared->running && !shared->terminate && shared->generation == generation;
  if (deliver) {
    shared->inTick = true;
    shared->tickThread = std::this_thread::get_id();
    lock.unlock();
    // The handler may throw into the window layer; the worker must still be released.
    struct TFinish {
      TTimerShared& s;
      ~TFinish() {
        std::lock_guard relock(s.mutex);
        s.inTick = false;
        s.tickDone = true;
        s.wake.notify_all();
      }
    } finish{*shared};
    owner->Timer();
    return;
  }
  shared->tickDone = true;
  shared->wake.notify_all();
}

int NiceValue(TThreadPriority priority) {
  switch (priority) {
    case tpIdle:
      return 19;
    case tpLowest:
      return 10;
    case tpLower:
      return 5;
    case tpNormal:
      return 0;
    case tpHigher:
      return -5;
    case tpHighest:
      return -10;
    case tpTimeCritical:
      return -20;
  }
  return 0;
}

}  // namespace

// --- TTimerThread ----------------------------------------------------------------------

TTimerThread::TTimerThread(std::shared_ptr<TTimerShared> shared, TWindowThreadPost post)
    : m_shared(std::move(shared)), m_post(std::move(post)) {
  m_thread = std::thread([this] { Execute(); });
}

TTimerThread::~TTimerThread() {
  {
    std::lock_guard lock(m_shared->mutex);
    m_shared->terminate = true;
    m_shared->wake.notify_all();
  }
  if (m_thread.joinable()) m_thread.join();
}

void TTimerThread::ApplyPriority(TThreadPriority priority) {
  // Best effort: a nice value below 0 needs privileges; without them the worker keeps its
  // present priority, which only makes ticks a little less punctual.
  if (m_threadId != 0) platform::SetThreadNice(m_threadId, NiceValue(priority));
}

void TTimerThread::Execute() {
  m_threadId = static_cast<int>(platform::CurrentThreadId());
  TThreadPriority applied = tpNormal;
  TTimerShared& s = *m_shared;
  std::unique_lock lock(s.mutex);
  for (;;) {
    s.wake.wait(lock, [&] { return s.terminate || s.running; });
    if (s.terminate) break;
    if (s.priority != applied) {
      applied = s.priority;
      lock.unlock();
      ApplyPriority(applied);
      lock.lock();
      continue;
    }
    // Sleep for the interval. Only a change of the timer's state (pause, new interval,
    // destruction) ends it early, and then the loop starts over with the new state.
    const uint64_t generation = s.generation;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(s.interval);
    if (s.wake.wait_until(lock, deadline,
                          [&] { return s.terminate || s.generation != generation; }))
      continue;

    const uint64_t serial = ++s.tickSerial;
    s.tickDone = false;
    lock.unlock();
    std::shared_ptr<TTimerShared> shared = m_shared;
    m_post([shared, serial, generation] { DeliverTick(shared, serial, generation); });
    lock.lock();
    // Wait for the window thread to run (or drop) the tick. A pause or the destructor ends
    // the wait too, so the window thread can never be left waiting on this worker while
    // this worker waits on it.
    s.wake.wait(lock, [&] {
      return s.terminate || s.generation != generation || (s.tickSerial == serial && s.tickDone);
    });
  }
}

// --- TThreadedTimer --------------------------------------------------------------------

TThreadedTimer::TThreadedTimer(TWindowThreadPost post)
    : m_shared(std::make_shared<TTimerShared>()) {
  m_shared->owner = this;
  m_shared->interval = m_interval;
  m_shared->priority = m_priority;
  m_thread = std::make_unique<TTimerThread>(m_shared, std::move(post));
}

TThreadedTimer::~TThreadedTimer() {
  {
    std::lock_guard lock(m_shared->mutex);
    m_shared->owner = nullptr;  // from here on, queued ticks are dropped
  }
  m_enabled = false;
  UpdateTimer();
  m_thread.reset();
  // A tick running on another thread still uses this object: wait for it. A tick on this
  // very thread (a handler destroying its own timer) finishes after we return and only
  // touches the shared state, which it keeps alive.
  std::unique_lock lock(m_shared->mutex);
  m_shared->wake.wait(lock, [&] {
    return !m_shared->inTick || m_shared->tickThread == std::this_thread::get_id();
  });
}

void TThreadedTimer::SetEnabled(bool value) {
  if (value == m_enabled) return;
  m_enabled = value;
  UpdateTimer();
}

void TThreadedTimer::SetInterval(uint16_t value) {
  if (value == m_interval) return;
  m_interval = value;
  {
    std::lock_guard lock(m_shared->mutex);
    m_shared->interval = value;
  }
  UpdateTimer();
}

void TThreadedTimer::SetThreadPriority(TThreadPriority value) {
  if (value == m_priority) return;
  m_priority = value;
  {
    std::lock_guard lock(m_shared->mutex);
    m_shared->priority = value;
  }
  UpdateTimer();
}

void TThreadedTimer::SetOnTimer(TNotifyEvent handler) {
  m_onTimer = std::move(handler);
  UpdateTimer();
}

void TThreadedTimer::UpdateTimer() {
  std::lock_guard lock(m_shared->mutex);
  // Pausing and resuming are one step here: a new generation drops any queued tick and
  // restarts the worker's sleep, then `running` says whether it goes on.
  ++m_shared->generation;
  m_shared->running = m_interval != 0 && m_enabled && m_onTimer && m_shared->owner != nullptr;
  m_shared->wake.notify_all();
}

void TThreadedTimer::Timer() {
  // A copy, so that a handler that replaces or clears OnTimer does not destroy the function
  // object it is running in.
  TNotifyEvent handler = m_onTimer;
  if (handler) handler(*this);
}

bool TThreadedTimer::Running() const {
  std::lock_guard lock(m_shared->mutex);
  return m_shared->running;
}

uint64_t TThreadedTimer::UpdateCount() const {
  std::lock_guard lock(m_shared->mutex);
  return m_shared->generation;
}
