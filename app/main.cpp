// The editor. `tessavor --screenshot DIR` loads the home folder's record files, opens every
// window (the main window on each of its tabs, Points, Faces, the tool window, the model
// viewer and the GL viewer), lets them draw, writes one PNG per window into DIR and exits 0.
// `tessavor FILE` opens the editor on a model file (see TForm1::OpenModelFile).

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include "app/Screenshot.h"
#include "app/Unit1.h"
#include "util/Exception.h"
#include "util/Log.h"
#include "viewers/Dialogs.h"
#include "viewers/ViewerHost.h"

namespace {

bool IsHelp(const char* arg) { return std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0; }

}  // namespace

int main(int argc, char** argv) {
  // Answered before Qt starts, so that it works without a display (over ssh, and when the
  // build makes the manual page from it).
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0) {
      ++i;
    } else if (IsHelp(argv[i])) {
      std::printf("usage: tessavor [--screenshot DIR] [FILE]\n"
                  "  Opens the mesh editor on the record files of the home folder.\n"
                  "  FILE              a model to open: an .iff model is ripped into the record files\n"
                  "                    and loaded, an .asc scene imported.\n"
                  "  --screenshot DIR  opens every window, writes one PNG per window into DIR, exits.\n");
      return 0;
    }
  }
  QApplication app(argc, argv);
  QString screenshotDir;
  QString modelFile;
  const QStringList args = app.arguments();
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == QStringLiteral("--screenshot") && i + 1 < args.size()) {
      screenshotDir = args[++i];
    } else if (modelFile.isEmpty() && !args[i].startsWith('-')) {
      modelFile = args[i];
    } else {
      std::fprintf(stderr, "tessavor: unknown argument '%s' (try --help)\n", args[i].toLocal8Bit().constData());
      return 2;
    }
  }
  // TESSAVOR_LOG names the model viewer's diagnostic log; a log that cannot be opened is
  // reported and the editor runs without it.
  try {
    InitLogFromEnvironment();
  } catch (const Exception& e) {
    std::fprintf(stderr, "tessavor: %s\n", e.what());
  }
  std::unique_ptr<TDialogs> consoleDialogs;
  if (!screenshotDir.isEmpty()) {
    consoleDialogs = MakeConsoleDialogs();
    SetDialogs(consoleDialogs.get());
  }
  int status = 0;
  {
    TForm1 form;
    if (!screenshotDir.isEmpty()) {
      status = TakeScreenshots(form, screenshotDir);
    } else {
      // The first show runs the start-up (and its Load); the model opened after it wins.
      form.show();
      if (!modelFile.isEmpty()) form.OpenModelFile(modelFile);
      status = app.exec();
    }
    DestroyViewers();
  }
  CloseLog();
  SetDialogs(nullptr);
  return status;
}
