// The editor. `tessavor --screenshot DIR` loads the home folder's record files, opens every
// window (the main window on each of its tabs, Points, Faces, the tool window, the model
// viewer and the GL viewer), lets them draw, writes one PNG per window into DIR and exits 0.

#include <QApplication>
#include <QDir>
#include <QTimer>

#include <cstdio>

#include "app/Screenshot.h"
#include "app/Unit1.h"
#include "util/Exception.h"
#include "util/Log.h"
#include "viewers/Dialogs.h"
#include "viewers/ViewerHost.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QString screenshotDir;
  const QStringList args = app.arguments();
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == QStringLiteral("--screenshot") && i + 1 < args.size()) {
      screenshotDir = args[++i];
    } else if (args[i] == QStringLiteral("--help") || args[i] == QStringLiteral("-h")) {
      std::printf("usage: tessavor [--screenshot DIR]\n"
                  "  Opens the mesh editor on the record files of the home folder.\n"
                  "  --screenshot DIR  opens every window, writes one PNG per window into DIR, exits.\n");
      return 0;
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
      form.show();
      status = app.exec();
    }
    DestroyViewers();
  }
  CloseLog();
  SetDialogs(nullptr);
  return status;
}
