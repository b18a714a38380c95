#pragma once
// T3dRotate: the tool window's continuous rotation. The thread only paces: every 30 ms,
// while an axis is switched on, it hands one rotation step to the window thread and waits
// until that step (rotate VERT in place, repaint the Faces and then the Points window) has
// run there. VERT is therefore only ever written on the window thread, where every reader
// of it runs too: no lock, no half-rotated array in a paint, no two writers interleaving.
//
// Lifecycle: created suspended; Resume() lets it run (the first axis toggle that goes down);
// it is never paused again. Terminate() (or the destructor) ends it; the wait for a queued
// step also ends on terminate, so destroying the thread on the window thread while a step
// is queued there cannot deadlock, and a step that reaches the window thread after that is
// dropped.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class QObject;

class T3dRotate {
public:
  // `step` runs on the thread of `context` (the window thread) with the step angle and the
  // three axis flags of that moment.
  using TStep = std::function<void(float angle, bool rotX, bool rotY, bool rotZ)>;
  T3dRotate(QObject* context, TStep step);
  ~T3dRotate();
  T3dRotate(const T3dRotate&) = delete;
  T3dRotate& operator=(const T3dRotate&) = delete;

  std::atomic<bool> RotateX{false};
  std::atomic<bool> RotateY{false};
  std::atomic<bool> RotateZ{false};
  float StepAngle = 0.1f;

  void Resume();
  bool Started() const { return m_started; }
  void Terminate();
  // Steps that have run on the window thread (for tests and diagnostics).
  int StepsRun() const { return m_stepsRun.load(); }

private:
  struct TShared {
    std::mutex mutex;
    std::condition_variable wake;
    bool terminate = false;
    bool resumed = false;
    bool stepDone = true;
  };
  void Execute();

  QObject* m_context;
  TStep m_step;
  std::shared_ptr<TShared> m_shared = std::make_shared<TShared>();
  std::atomic<int> m_stepsRun{0};
  bool m_started = false;
  std::thread m_thread;
};
