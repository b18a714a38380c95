#pragma once
// The command table of tessavor-cli. Each Cmd*.cpp registers its commands with a static
// TCommandRegistrar; main.cpp dispatches on the first argument. A command returns the
// process exit status; errors of the program (Exception) are reported by main as their
// message on standard error with exit status 2.

#include <string>
#include <vector>

struct TCliCommand {
  std::string name;                                  // "info"
  std::string usage;                                 // "info"
  std::string help;                                  // one line
  int (*run)(const std::vector<std::string>& args);  // args after the command name
  // Works on the home folder: runs holding its lock (util/HomeLock.h). Commands that only
  // read and write the files named on their command line leave it free.
  bool home = true;
  // Only reads the home folder: runs on a home it cannot write too (a read-only file
  // system, another user's lock file), under a shared lock there (util/HomeLock.h).
  bool readsOnly = false;
};

void RegisterCommand(TCliCommand command);

struct TCommandRegistrar {
  explicit TCommandRegistrar(TCliCommand command) { RegisterCommand(std::move(command)); }
};

// Error for a bad command line (wrong count of arguments, a number that does not parse).
// Reported like any other error: message on standard error, exit status 2.
[[noreturn]] void UsageError(const std::string& message);

// The editor's material folder: "MatPath" in the home's model.ini, "./" when it names none.
std::string EditorMaterialFolder();
