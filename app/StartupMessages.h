#pragma once
// Qt's words while the editor starts, made fit for a user's terminal:
//  - "QStandardPaths: XDG_RUNTIME_DIR not set, defaulting to ..." is dropped: under a plain
//    session (a console, ssh, a container) Qt makes its own runtime folder and the editor
//    works as it should, so the line only worries.
//  - Without a display Qt ends the program with an abort and a page of advice about
//    reinstalling. While the application object is being made, Qt's platform warnings are
//    held back and a fatal message becomes one line ("tessavor: no display: DISPLAY is not
//    set ...") and exit status 1. Once the platform is up, the held-back warnings go out as
//    they came and nothing else is changed.

class TStartupMessages {
public:
  // Made before the application object; `program` names the program in the one line.
  explicit TStartupMessages(const char* program);
  ~TStartupMessages();  // puts the previous message handler back
  TStartupMessages(const TStartupMessages&) = delete;
  TStartupMessages& operator=(const TStartupMessages&) = delete;

  // The application object exists: passes the held-back warnings on.
  void Started();
};
