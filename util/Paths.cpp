#include "util/Paths.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "util/Exception.h"
#include "util/Platform.h"
#include "util/StrTools.h"

// The build passes the step from the installed bin/ to the private folder; relative, so a
// moved install still finds it.
#ifndef TESSAVOR_PRIVATE_DIR_FROM_BIN
#define TESSAVOR_PRIVATE_DIR_FROM_BIN "../lib/tessavor"
#endif

namespace {

// The folder with a separator at its end, of the kind it already uses ("C:\\x\\").
std::string WithSlash(std::string s) {
  if (s.empty() || !platform::IsSeparator(s.back()))
    s += s.find('\\') != std::string::npos && s.find('/') == std::string::npos ? '\\' : '/';
  return s;
}

}  // namespace

std::string HomeFolder() {
  std::string dir = platform::Environment("TESSAVOR_HOME");
  if (dir.empty()) dir = platform::DefaultHomeFolder();
  std::error_code ec;
  std::filesystem::create_directories(platform::ToPath(dir), ec);
  if (ec && !std::filesystem::is_directory(platform::ToPath(dir))) {
    throw EInOutError("Cannot create the home folder \"" + QuotePathForMessage(dir) +
                      "\": " + ec.message());
  }
  return WithSlash(dir);
}

std::string HomeFile(const std::string& name) { return HomeFolder() + name; }

std::string ExeDirectory() {
  const std::string exe = platform::ExecutablePath();
  if (exe.empty()) return "./";
  return ProgramFolderFor(exe.substr(0, exe.find_last_of(platform::kSeparators)));
}

std::string ProgramFolderFor(const std::string& exeFolder) {
  const std::filesystem::path installed =
      (platform::ToPath(exeFolder) / TESSAVOR_PRIVATE_DIR_FROM_BIN).lexically_normal();
  std::error_code ec;
  if (std::filesystem::is_directory(installed, ec)) return WithSlash(platform::FromPath(installed));
  return WithSlash(exeFolder);
}

std::string MapFixedPath(const std::string& path) {
  std::string p = path;
  // Both separators count on every system, as they do in the scripts and settings.
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  if (p.size() >= 3 && (p[0] == 'C' || p[0] == 'c') && p[1] == ':' && p[2] == '/') {
#ifdef _WIN32
    // Drive C is real here: only the game's own names directly under "C:\" ("c:\vert.kvt",
    // "C:\house.iff") stand for the home folder; "C:\Mods\house.iff" is the user's file.
    if (p.find('/', 3) != std::string::npos) return path;
#endif
    return HomeFolder() + p.substr(3);
  }
  return p;
}

std::string ProgramLibraryPath(const std::string& name, const char* exeLink) {
  std::string exe;
  if (exeLink == nullptr) {
    exe = platform::ExecutablePath();
  } else if (!platform::ReadLink(exeLink, exe)) {
    return "";
  }
  if (!platform::IsAbsolutePath(exe)) return "";
  // The same folder the resources come from: the private folder of an install, or the
  // program's own folder in a build.
  return ProgramFolderFor(exe.substr(0, exe.find_last_of(platform::kSeparators))) + name;
}
