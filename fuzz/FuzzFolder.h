#pragma once
// The private temp folder of a fuzz target that writes files: made on first use under the
// system's temp folder and removed, with everything in it, when the program exits.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace fuzzsupport {

// "tessavor-fuzz-NAME-XXXXXX": the first call makes it, later ones return it (whatever
// name they pass). Never destroyed, so the clean-up at exit can still read it.
inline const std::string& TempFolder(const char* name) {
  static const std::string* dir = [name] {
    std::string templ = (std::filesystem::temp_directory_path() /
                         ("tessavor-fuzz-" + std::string(name) + "-XXXXXX"))
                            .string();
    if (!::mkdtemp(templ.data())) std::abort();
    auto* path = new std::string(templ);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(*dir, ec);
    });
    return path;
  }();
  return *dir;
}

}  // namespace fuzzsupport
