// The editor. `tessavor --screenshot DIR` loads the home folder's record files, opens every
// window (the main window on each of its tabs, Points, Faces, the tool window, the model
// viewer and the GL viewer), lets them draw, writes one PNG per window into DIR and exits 0.
// It works on a copy of the settings file, so the user's "model.ini" stays as it was.
// `tessavor FILE` opens the editor on a model file (see TMainWindow::OpenModelFile).

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/MainWindow.h"
#include "app/Screenshot.h"
#include "app/StartupMessages.h"
#include "util/Exception.h"
#include "util/HomeLock.h"
#include "util/Log.h"
#include "util/Paths.h"
#include "viewers/Dialogs.h"

namespace {

void PrintHelp() {
  std::printf(
      "usage: tessavor [--screenshot DIR] [--help] [--version] [FILE]\n"
      "  Opens the mesh editor on the record files of the home folder.\n"
      "  FILE              a model to open: an .iff model is ripped into the record files\n"
      "                    and loaded, an .asc scene imported.\n"
      "  --screenshot DIR  opens every window, writes one PNG per window into DIR, exits.\n"
      "                    The settings file model.ini is left as it was.\n"
      "  --version         prints the version and exits.\n");
}

// The home folder holds the settings and the record files: without it the editor cannot
// work. Returns false (and has told the user) when it cannot be made.
bool HomeFolderReady(bool console) {
  try {
    HomeFolder();
    return true;
  } catch (const Exception& e) {
    std::fprintf(stderr, "tessavor: %s\n", e.Message().c_str());
    if (!console)
      QMessageBox::critical(nullptr, QStringLiteral("Tessavor"),
                            QString::fromStdString(e.Message()));
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  // The arguments are read before the application object exists: --help and --version
  // need no display.
  std::string screenshotDir;
  std::string modelFile;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
      screenshotDir = argv[++i];
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintHelp();
      return 0;
    } else if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tessavor %s\n", TESSAVOR_VERSION);
      return 0;
    } else if (modelFile.empty() && argv[i][0] != '-') {
      modelFile = argv[i];
    } else {
      std::fprintf(stderr, "tessavor: unknown argument '%s' (try --help)\n", argv[i]);
      return 2;
    }
  }
  TStartupMessages startup("tessavor");
  QApplication app(argc, argv);
  startup.Started();
  if (!HomeFolderReady(!screenshotDir.empty())) return 1;
  // TESSAVOR_LOG names the model viewer's diagnostic log; a log that cannot be opened is
  // reported and the editor runs without it.
  try {
    InitLogFromEnvironment();
  } catch (const Exception& e) {
    std::fprintf(stderr, "tessavor: %s\n", e.what());
  }
  std::unique_ptr<TDialogs> consoleDialogs;
  // A screenshot run reads the user's settings from a copy and writes only to that copy.
  QTemporaryDir scratch;
  QString settingsPath;
  if (!screenshotDir.empty()) {
    consoleDialogs = MakeConsoleDialogs();
    if (!scratch.isValid()) {
      std::fprintf(stderr, "tessavor: cannot make a temporary folder for the settings\n");
      return 2;
    }
    settingsPath = scratch.filePath(QStringLiteral("model.ini"));
    const QString user = QString::fromStdString(HomeFile("model.ini"));
    if (QFile::exists(user) && !QFile::copy(user, settingsPath)) {
      std::fprintf(stderr, "tessavor: cannot copy %s\n", user.toLocal8Bit().constData());
      return 2;
    }
  }
  std::unique_ptr<THomeLock> homeLock;  // held while the editor is open
  try {
    homeLock = std::make_unique<THomeLock>(THomeAccess::Read);
  } catch (const Exception& e) {
    std::fprintf(stderr, "tessavor: %s\n", e.what());
    if (screenshotDir.empty()) QMessageBox::critical(nullptr, "Tessavor", e.what());
    return 2;
  }
  int status = 0;
  {
    TMainWindow form(settingsPath, consoleDialogs.get());
    // A screenshot run only looks: it neither offers nor writes nor removes a recovery file;
    // nor does the editor on a home it may only read, where each write would fail.
    form.KeepsRecovery = screenshotDir.empty() && !homeLock->ReadOnly();
    form.SetHomeReadOnly(homeLock->ReadOnly());
    if (!screenshotDir.empty()) {
      status = TakeScreenshots(form, QString::fromLocal8Bit(screenshotDir.c_str()));
    } else {
      status = RunEditor(form, QString::fromLocal8Bit(modelFile.c_str()));
    }
  }  // the viewers go with the main window, and write their last lines to the log
  CloseLog();
  return status;
}
