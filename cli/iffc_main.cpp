// iffc: the IFF compiler on the command line.
//
//   iffc SCRIPT...
//
// Compiles each script in turn. Every compiler message is printed on its own line on
// standard output, in the compiler's own words. Exit status: 0 when no message contained
// "error" (in any case), 1 when one did, 2 when a run ended with an exception (its class
// name, ": " and its message on standard error). A run that ends with an exception does
// not stop the remaining scripts; the status is the highest one reached.

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "iffc/Compiler.h"
#include "util/Exception.h"

namespace {

void PrintHelp() {
  std::printf(
      "Usage: iffc SCRIPT...\n"
      "Compiles IFF compiler scripts into the IFF (or TRE) files they name.\n\n"
      "Each message of the compiler is printed on its own line on standard output.\n"
      "Output files are written beside their script; data files without a folder are\n"
      "taken from the current folder (or the one set by $PATH); include files come from\n"
      "the program folder. \"C:\\\" at the start of a path stands for the home folder\n"
      "($TESSAVOR_HOME, else $XDG_DATA_HOME/tessavor, else ~/.local/share/tessavor).\n\n"
      "Exit status: 0 no errors, 1 a message reported an error, 2 a run ended with an\n"
      "exception (printed on standard error as CLASS: MESSAGE).\n");
}

bool ContainsError(const std::string& text) {
  for (size_t i = 0; i + 5 <= text.size(); ++i) {
    if (strncasecmp(text.c_str() + i, "error", 5) == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintHelp();
    return 2;
  }
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      PrintHelp();
      return 0;
    }
  }
  int status = 0;
  CompilerMessageHook = [&status](const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    if (status == 0 && ContainsError(text)) status = 1;
  };
  for (int i = 1; i < argc; ++i) {
    try {
      CompileFile(argv[i]);
    } catch (const Exception& e) {
      std::fflush(stdout);
      std::fprintf(stderr, "%s: %s\n", e.ClassName(), e.what());
      status = 2;
    } catch (const std::exception& e) {
      std::fflush(stdout);
      std::fprintf(stderr, "Exception: %s\n", e.what());
      status = 2;
    }
  }
  std::fflush(stdout);
  return status;
}
