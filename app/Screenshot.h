#pragma once
// `tessavor --screenshot DIR`: loads the home folder's record files into the main window,
// opens every window, lets each draw and writes one PNG per window (and one per tab of the
// main window) into DIR, printing each path. Questions and errors go to standard error
// instead of dialogs, so it runs without a person. Returns the exit status (0; 2 when DIR
// cannot be made or a picture cannot be written).

#include <memory>

class QString;
class TDialogs;
class TMainWindow;

int TakeScreenshots(TMainWindow& form, const QString& dir);

// The dialogs of a run without a person: messages and errors go to standard error,
// questions are answered No, input boxes and file dialogs are cancelled. main() gives them
// to the main window when it makes it, so a message at start-up (a missing kvt_mesh.txt)
// cannot wait for a click nobody will give; TakeScreenshots expects a window made so.
std::unique_ptr<TDialogs> MakeConsoleDialogs();
