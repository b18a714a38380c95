#include "viewers/RotateThread.h"

#include <QMetaObject>
#include <QObject>

namespace {

TWindowThreadPost QueuedOnto(QObject* context) {
  return [context](std::function<void()> call) {
    QMetaObject::invokeMethod(context, std::move(call), Qt::QueuedConnection);
  };
}

}  // namespace

TRotateThread::TRotateThread(QObject* context, TStep step)
    : TRotatePacer(QueuedOnto(context), std::move(step)) {}
