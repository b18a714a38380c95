#pragma once
// TRotateThread: the tool window's continuous rotation. The pacing (every 30 ms while an axis is
// on, hand one step to the window thread and wait for it; suspended start; terminate) lives
// in the window-free TRotatePacer, where it is also checked for data races; this class only
// supplies the hand-over: a queued call onto the tool window's thread. Every rotation step
// (rotate VERT in place, repaint the Faces and then the Points window) therefore runs on the
// window thread, where every reader of VERT runs too.

#include "util/RotatePacer.h"

class QObject;

class TRotateThread : public TRotatePacer {
public:
  // `step` runs on the thread of `context` (the window thread) with the step angle and the
  // three axis flags of that moment. `context` must outlive this object.
  TRotateThread(QObject* context, TStep step);
};
