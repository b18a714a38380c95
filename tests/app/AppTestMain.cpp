// GoogleTest main with the QApplication the window tests need (offscreen platform unless
// a display platform was chosen).
#include <dlfcn.h>

#include <QApplication>
#include <QPixmap>
#include <QScreen>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  // `test_app --grab-screen FILE.png`: the whole X screen as a picture, for the shell window
  // tests to leave beside their log when they fail (the machine has no screenshot tool).
  if (argc == 3 && std::strcmp(argv[1], "--grab-screen") == 0) {
    QGuiApplication app(argc, argv);
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->grabWindow(0).save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
  }
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // On X the model viewer brings in Mesa's driver; kept loaded, its own leaks are reported
  // under its name, which the leak checker's suppressions leave out.
  if (std::strcmp(std::getenv("QT_QPA_PLATFORM"), "xcb") == 0) {
    for (const char* driver : {"/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", "swrast_dri.so"})
      if (dlopen(driver, RTLD_LAZY | RTLD_NODELETE | RTLD_GLOBAL)) break;
  }
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
