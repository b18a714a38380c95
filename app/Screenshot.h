#pragma once
// `tessavor --screenshot DIR`: loads the home folder's record files into the main window,
// opens every window, lets each draw and writes one PNG per window (and one per tab of the
// main window) into DIR, printing each path. Questions and errors go to standard error
// instead of dialogs, so it runs without a person. Returns the exit status (0; 2 when DIR
// cannot be made or a picture cannot be written).

class QString;
class TForm1;

int TakeScreenshots(TForm1& form, const QString& dir);
