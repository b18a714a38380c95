#include "app/LongWork.h"

#include <QApplication>
#include <QEventLoop>
#include <QPointer>
#include <QProgressDialog>
#include <QThread>

#include <exception>
#include <thread>
#include <vector>

bool RunLongWork(QWidget* parent, std::initializer_list<QWidget*> blocked, const QString& label,
                 bool cancellable,
                 const std::function<void(const std::atomic<bool>& cancelled)>& work) {
  std::atomic<bool> cancelled{false};
  std::exception_ptr error;
  QProgressDialog dialog(label, QStringLiteral("Cancel"), 0, 0, parent);
  if (!cancellable) dialog.setCancelButton(nullptr);
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setAutoReset(false);
  dialog.setAutoClose(false);
  dialog.setMinimumDuration(kProgressDelayMs);
  QObject::connect(&dialog, &QProgressDialog::canceled, &dialog,
                   [&cancelled] { cancelled = true; });
  // The dialog shows itself once the delay has passed without the work being done.
  dialog.setValue(0);

  std::vector<QPointer<QWidget>> disabled;
  for (QWidget* w : blocked) {
    if (w && w->isEnabled()) {
      w->setEnabled(false);
      disabled.emplace_back(w);
    }
  }
  QEventLoop loop;
  std::thread worker([&] {
    try {
      work(cancelled);
    } catch (...) {
      error = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  worker.join();
  for (const QPointer<QWidget>& w : disabled)
    if (w) w->setEnabled(true);
  dialog.reset();
  if (error) {
    try {
      std::rethrow_exception(error);
    } catch (const EWorkCancelled&) {
      return false;
    }
  }
  return true;
}

void OnWindowThread(const std::function<void()>& call) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) {
    call();
    return;
  }
  std::exception_ptr error;
  QMetaObject::invokeMethod(
      app,
      [&] {
        try {
          call();
        } catch (...) {
          error = std::current_exception();
        }
      },
      Qt::BlockingQueuedConnection);
  if (error) std::rethrow_exception(error);
}
