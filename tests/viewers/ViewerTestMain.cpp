// The viewer tests need one application object for the whole run.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  // Mesa's OpenGL driver is loaded and unloaded with each display connection; kept loaded,
  // leaks of its own are reported under its name, which lsan.supp then leaves out.
  for (const char* driver : {"/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so", "swrast_dri.so"}) {
    if (dlopen(driver, RTLD_LAZY | RTLD_NODELETE | RTLD_GLOBAL)) break;
  }
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
