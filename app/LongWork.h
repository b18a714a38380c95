#pragma once
// Long work off the window thread ("make &tree", the imports): the work runs on a worker
// thread while the window thread keeps drawing and answering; a busy QProgressDialog
// appears when the work takes longer than half a second. The work never touches the
// document: it produces data that the caller applies on the window thread afterwards.
// Anything the work must show goes through OnWindowThread, which blocks the worker until
// the window thread has run it.
//
// While the work runs, `blocked` widgets (the main window's controls and menus) take no
// input, so no other action changes the document underneath it.

#include <QString>

#include <atomic>
#include <functional>
#include <initializer_list>

#include "util/Exception.h"

class QWidget;

// Raised by a work function that noticed its cancel flag.
TESSAVOR_DECLARE_EXCEPTION(EWorkCancelled);

constexpr int kProgressDelayMs = 500;

// Runs `work(cancelled)` as above. With `cancellable` the dialog has a Cancel button that
// sets the flag; the work is expected to raise EWorkCancelled soon after. Returns false
// when the work was cancelled; rethrows any other error of the work on the window thread.
bool RunLongWork(QWidget* parent, std::initializer_list<QWidget*> blocked, const QString& label,
                 bool cancellable,
                 const std::function<void(const std::atomic<bool>& cancelled)>& work);

// Runs `call` on the window thread and waits for it (from the worker; on the window thread
// it simply calls).
void OnWindowThread(const std::function<void()>& call);
