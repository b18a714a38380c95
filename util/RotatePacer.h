#pragma once
// TRotatePacer: the pacing of the tool window's continuous rotation, without the window
// layer. Its worker only paces: every 30 ms, while an axis is switched on, it hands one
// rotation step to the window thread through the post hook and waits until that step has
// run there (or was dropped). The step itself (rotate VERT in place, repaint) therefore runs
// on the window thread, where every reader of VERT runs too: no lock, no half-rotated array
// in a paint, no two writers interleaving. The window layer's TRotateThread is this class with a
// hook that queues onto its window object.
//
// Lifecycle: created suspended; Resume() lets it run (the first axis toggle that goes down);
// it is never paused again: with no axis on it keeps sleeping 30 ms at a time. Terminate()
// (or the destructor) ends it; the wait for a queued step also ends on terminate, so
// destroying the pacer on the window thread while a step is queued there cannot deadlock,
// and a step that reaches the window thread after that is dropped.
//
// Threads: the axis flags and StepAngle may be written from any thread (they are atomic);
// Resume, Started, Terminate and the destructor are meant for the window thread.

#include "util/ThdTimer.h"  // TWindowThreadPost

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TRotatePacer {
public:
  // `step` runs on the window thread (through `post`) with the step angle and the three axis
  // flags of the moment the worker decided to step.
  using TStep = std::function<void(float angle, bool rotX, bool rotY, bool rotZ)>;
  TRotatePacer(TWindowThreadPost post, TStep step);
  virtual ~TRotatePacer();
  TRotatePacer(const TRotatePacer&) = delete;
  TRotatePacer& operator=(const TRotatePacer&) = delete;

  std::atomic<bool> RotateX{false};
  std::atomic<bool> RotateY{false};
  std::atomic<bool> RotateZ{false};
  std::atomic<float> StepAngle{0.1f};

  void Resume();
  bool Started() const { return m_started; }
  void Terminate();
  // Steps that have run on the window thread (for tests and diagnostics).
  int StepsRun() const { return m_shared->stepsRun.load(); }
  // Passes of the worker's loop, with or without a step: a test that waits for a few more
  // passes knows that the worker has looked at the axis flags since.
  int Passes() const { return m_shared->passes.load(); }

private:
  // What the pacer and its queued steps share. A queued step holds it and never touches the
  // pacer itself, which may be gone by the time the step comes up.
  struct TShared {
    explicit TShared(TStep s) : step(std::move(s)) {}
    const TStep step;
    std::atomic<int> stepsRun{0};
    std::atomic<int> passes{0};
    std::mutex mutex;
    std::condition_variable wake;
    bool terminate = false;
    bool resumed = false;
    bool stepDone = true;
  };
  void Execute();
  static void RunStep(TShared& shared, float angle, bool rx, bool ry, bool rz);

  TWindowThreadPost m_post;
  std::shared_ptr<TShared> m_shared;
  bool m_started = false;
  std::thread m_thread;
};
