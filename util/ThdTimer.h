#pragma once
// A timer whose ticks come from a worker thread instead of the window system's timer
// messages, so that its rate does not depend on how busy the message queue is.
//
// Contract:
//  - The worker runs exactly while Interval() != 0, Enabled() and an OnTimer handler is set;
//    every property change re-evaluates this (UpdateTimer). While running it sleeps for the
//    interval, then hands the tick to the window thread and waits until the tick has run (or
//    was dropped) before it starts the next interval. There is no catching up.
//  - The hand-over is the hook given to the constructor: it must queue the call onto the
//    window thread and return at once. The waiting is done here, in the worker, and the wait
//    also ends when the timer is being destroyed, so destroying the timer on the window
//    thread while a tick is queued there cannot deadlock.
//  - A tick runs on the window thread only, never twice at once. A tick that is queued when
//    the timer is paused or its destructor has begun is dropped when it reaches the window
//    thread: no OnTimer call after a pause or after the destructor has begun.
//  - All setters are meant for the window thread.
//  - Priority is best effort: it is applied to the worker as a nice value; raising it above
//    normal usually needs privileges and is then silently left at normal.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

class TThreadedTimer;

// Queues `call` onto the window thread and returns without waiting for it.
using TWindowThreadPost = std::function<void(std::function<void()> call)>;

// What both the timer and the calls it queued share; the queued calls keep it alive, so a
// call that reaches the window thread after the timer died finds `owner` empty and does
// nothing.
struct TTimerShared {
  std::mutex mutex;
  std::condition_variable wake;     // worker: state changed, tick done, or terminate
  TThreadedTimer* owner = nullptr;  // null once the destructor has begun
  bool running = false;             // the pause/run state decided by UpdateTimer
  bool terminate = false;
  uint64_t generation = 0;  // bumped by every UpdateTimer: restarts the sleep
  uint64_t tickSerial = 0;  // the tick the worker is waiting for
  bool tickDone = true;
  bool inTick = false;  // a tick's handler is running on the window thread
  std::thread::id tickThread;
  uint32_t interval = 1000;  // the worker's copy of Interval
  TThreadPriority priority = tpNormal;
};

// The worker thread of one TThreadedTimer.
class TTimerThread {
public:
  TTimerThread(std::shared_ptr<TTimerShared> shared, TWindowThreadPost post);
  ~TTimerThread();  // tells the worker to terminate and joins it
  TTimerThread(const TTimerThread&) = delete;
  TTimerThread& operator=(const TTimerThread&) = delete;

private:
  void Execute();
  void ApplyPriority(TThreadPriority priority);

  std::shared_ptr<TTimerShared> m_shared;
  TWindowThreadPost m_post;
  std::thread m_thread;
  int m_threadId = 0;  // the kernel's id of the worker, for its nice value
};

class TThreadedTimer {
public:
  using TNotifyEvent = std::function<void(TThreadedTimer& sender)>;

  explicit TThreadedTimer(TWindowThreadPost post);
  ~TThreadedTimer();
  TThreadedTimer(const TThreadedTimer&) = delete;
  TThreadedTimer& operator=(const TThreadedTimer&) = delete;

  bool Enabled() const { return m_enabled; }
  uint16_t Interval() const { return m_interval; }
  TThreadPriority ThreadPriority() const { return m_priority; }

  void SetEnabled(bool value);
  void SetInterval(uint16_t value);
  void SetThreadPriority(TThreadPriority value);
  void SetOnTimer(TNotifyEvent handler);  // always re-evaluates, even for the same handler

  // Pauses the worker, then lets it run again if Interval != 0, Enabled and OnTimer is set.
  void UpdateTimer();

  // The tick, on the window thread: calls OnTimer with this timer when it is set.
  void Timer();

  // Whether the worker is currently let run, and how many times UpdateTimer ran (both for
  // diagnostics and tests).
  bool Running() const;
  uint64_t UpdateCount() const;

private:
  bool m_enabled = true;
  uint16_t m_interval = 1000;
  TThreadPriority m_priority = tpNormal;
  TNotifyEvent m_onTimer;
  std::shared_ptr<TTimerShared> m_shared;
  std::unique_ptr<TTimerThread> m_thread;
};
