#include "util/Paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "util/Exception.h"
#include "util/StrTools.h"

// The build passes the step from the installed bin/ to the private folder; relative, so a
// moved install still finds it.
#ifndef TESSAVOR_PRIVATE_DIR_FROM_BIN
#define TESSAVOR_PRIVATE_DIR_FROM_BIN "../lib/tessavor"
#endif

namespace {

std::string WithSlash(std::string s) {
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

}  // namespace

std::string HomeFolder() {
  std::string dir;
  if (const char* h = std::getenv("TESSAVOR_HOME"); h && *h) {
    dir = h;
  } else if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x) {
    dir = std::string(x) + "/tessavor";
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    dir = std::string(home) + "/.local/share/tessavor";
  } else {
    dir = "./tessavor-home";
  }
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec && !std::filesystem::is_directory(dir)) {
    throw EInOutError("Cannot create the home folder \"" + QuotePathForMessage(dir) +
                      "\": " + ec.message());
  }
  return WithSlash(dir);
}

std::string HomeFile(const std::string& name) { return HomeFolder() + name; }

std::string ExeDirectory() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "./";
  return ProgramFolderFor(exe.parent_path().string());
}

std::string ProgramFolderFor(const std::string& exeFolder) {
  const std::filesystem::path installed =
      (std::filesystem::path(exeFolder) / TESSAVOR_PRIVATE_DIR_FROM_BIN).lexically_normal();
  std::error_code ec;
  if (std::filesystem::is_directory(installed, ec)) return WithSlash(installed.string());
  return WithSlash(exeFolder);
}

std::string MapFixedPath(const std::string& path) {
  std::string p = path;
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  if (p.size() >= 3 && (p[0] == 'C' || p[0] == 'c') && p[1] == ':' && p[2] == '/') {
    return HomeFolder() + p.substr(3);
  }
  return p;
}

std::string ProgramLibraryPath(const std::string& name, const char* exeLink) {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink(exeLink, ec);
  if (ec || !exe.is_absolute()) return "";
  // The same folder the resources come from: the private folder of an install, or the
  // program's own folder in a build.
  return ProgramFolderFor(exe.parent_path().string()) + name;
}
