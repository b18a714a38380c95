#include "util/RotatePacer.h"

#include <chrono>

TRotatePacer::TRotatePacer(TWindowThreadPost post, TStep step)
    : m_post(std::move(post)), m_shared(std::make_shared<TShared>(std::move(step))) {
  m_thread = std::thread([this] { Execute(); });
}

TRotatePacer::~TRotatePacer() {
  Terminate();
  if (m_thread.joinable()) m_thread.join();
}

void TRotatePacer::Resume() {
  m_started = true;
  std::lock_guard lock(m_shared->mutex);
  m_shared->resumed = true;
  m_shared->wake.notify_all();
}

void TRotatePacer::Terminate() {
  std::lock_guard lock(m_shared->mutex);
  m_shared->terminate = true;
  m_shared->wake.notify_all();
}

// On the window thread. A step that arrives after the pacer was told to terminate (or was
// destroyed) finds `terminate` set and is dropped.
void TRotatePacer::RunStep(TShared& shared, float angle, bool rx, bool ry, bool rz) {
  {
    std::lock_guard g(shared.mutex);
    if (shared.terminate) {
      shared.stepDone = true;
      shared.wake.notify_all();
      return;
    }
  }
  // A throwing step must still release the worker, or it would wait for ever.
  struct TRelease {
    TShared& s;
    ~TRelease() {
      std::lock_guard g(s.mutex);
      s.stepDone = true;
      s.wake.notify_all();
    }
  } release{shared};
  shared.step(angle, rx, ry, rz);
  ++shared.stepsRun;
}

void TRotatePacer::Execute() {
  using namespace std::chrono_literals;
  const std::shared_ptr<TShared> shared = m_shared;
  std::unique_lock lock(shared->mutex);
  shared->wake.wait(lock, [&] { return shared->resumed || shared->terminate; });
  if (shared->wake.wait_for(lock, 50ms, [&] { return shared->terminate; })) return;
  while (!shared->terminate) {
    const bool rx = RotateX, ry = RotateY, rz = RotateZ;
    if (rx || ry || rz) {
      shared->stepDone = false;
      const float angle = StepAngle;
      lock.unlock();
      m_post([shared, angle, rx, ry, rz] { RunStep(*shared, angle, rx, ry, rz); });
      lock.lock();
      shared->wake.wait(lock, [&] { return shared->stepDone || shared->terminate; });
      if (shared->terminate) break;
    }
    ++shared->passes;
    if (shared->wake.wait_for(lock, 30ms, [&] { return shared->terminate; })) break;
  }
}
