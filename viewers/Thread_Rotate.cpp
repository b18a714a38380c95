#include "viewers/Thread_Rotate.h"

#include <QMetaObject>
#include <QObject>

#include <chrono>

T3dRotate::T3dRotate(QObject* context, TStep step) : m_context(context), m_step(std::move(step)) {
  m_thread = std::thread([this] { Execute(); });
}

T3dRotate::~T3dRotate() {
  Terminate();
  if (m_thread.joinable()) m_thread.join();
}

void T3dRotate::Resume() {
  m_started = true;
  std::lock_guard lock(m_shared->mutex);
  m_shared->resumed = true;
  m_shared->wake.notify_all();
}

void T3dRotate::Terminate() {
  std::lock_guard lock(m_shared->mutex);
  m_shared->terminate = true;
  m_shared->wake.notify_all();
}

void T3dRotate::Execute() {
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
      // The step runs on the window thread; the lambda holds the shared state, so it can
      // tell that the thread was told to terminate and drop the step.
      QMetaObject::invokeMethod(
          m_context,
          [this, shared, angle, rx, ry, rz] {
            {
              std::lock_guard g(shared->mutex);
              if (shared->terminate) {
                shared->stepDone = true;
                shared->wake.notify_all();
                return;
              }
            }
            m_step(angle, rx, ry, rz);
            ++m_stepsRun;
            std::lock_guard g(shared->mutex);
            shared->stepDone = true;
            shared->wake.notify_all();
          },
          Qt::QueuedConnection);
      lock.lock();
      shared->wake.wait(lock, [&] { return shared->stepDone || shared->terminate; });
      if (shared->terminate) break;
    }
    if (shared->wake.wait_for(lock, 30ms, [&] { return shared->terminate; })) break;
  }
}
