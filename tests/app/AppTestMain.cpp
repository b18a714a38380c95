// GoogleTest main with the QApplication the window tests need (offscreen platform unless
// a display platform was chosen).
#include <dlfcn.h>

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
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
