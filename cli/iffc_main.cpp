// iffc: the IFF compiler on the command line.
//
//   iffc [--diagnostics=gnu] SCRIPT...
//   iffc --decompile FILE [-o SCRIPT]
//   iffc --version
//
// Compiles each script in turn. Every compiler message is printed on its own line on
// standard output, in the compiler's own words, or with --diagnostics=gnu as
// «SCRIPT:LINE: error: TEXT» / «SCRIPT:LINE: note: TEXT». Exit status: 0 when no message
// was an error, 1 when one was (the kind of the message decides, not the word "error" in
// a "$OUTPUT" text), 2 when a run ended with an exception (its class name, ": " and its
// message on standard error). A run that ends with an exception does not stop the
// remaining scripts; the status is the highest one reached.

#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "iffc/Compiler.h"
#include "iffc/Decompiler.h"
#include "util/Exception.h"
#include "util/Platform.h"
#include "util/StrTools.h"

namespace {

void PrintHelp() {
  std::printf(
      "Usage: iffc SCRIPT...\n"
      "       iffc --diagnostics=gnu SCRIPT...\n"
      "       iffc --decompile FILE [-o SCRIPT]\n"
      "       iffc --version\n"
      "Compiles IFF compiler scripts into the IFF (or TRE) files they name.\n\n"
      "Each message of the compiler is printed on its own line on standard output;\n"
      "--diagnostics=gnu prints them as SCRIPT:LINE: error: TEXT and SCRIPT:LINE: note: TEXT\n"
      "for editors that jump to the line.\n"
      "Output files are written beside their script; data files without a folder are\n"
      "taken from the current folder (or the one set by $PATH); include files come from\n"
      "the program folder. \"C:\\\" at the start of a path stands for the home folder\n"
      "($TESSAVOR_HOME, else $XDG_DATA_HOME/tessavor, else ~/.local/share/tessavor).\n\n"
      "--decompile turns an IFF file or a TRE archive into a script (default FILE.txt)\n"
      "that compiles back to the same bytes; a TRE archive's blocks go to a folder\n"
      "beside the script.\n\n"
      "Exit status: 0 no errors, 1 a message reported an error, 2 a run ended with an\n"
      "exception (printed on standard error as CLASS: MESSAGE).\n");
}

int Fail(const char* className, const char* message) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", className, PrintableLines(message).c_str());
  return 2;
}

int Decompile(const std::vector<std::string>& args) {
  std::string file;
  std::string script;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) {
      script = args[++i];
    } else if (file.empty()) {
      file = args[i];
    } else {
      return Fail("EUsage", "usage: iffc --decompile FILE [-o SCRIPT]");
    }
  }
  if (file.empty()) return Fail("EUsage", "usage: iffc --decompile FILE [-o SCRIPT]");
  try {
    const TDecompileResult r = DecompileFile(file, script);
    std::printf("decompiled %s [%s]\n", r.IsTre ? "TRE" : "IFF",
                QuotePathForMessage(r.ScriptPath).c_str());
    for (const std::string& note : r.Notes) std::printf("note: %s\n", PrintableLines(note).c_str());
    std::printf(r.Identical
                    ? "compiling the script gives the identical file.\n"
                    : "compiling the script gives an equivalent file, not the identical one.\n");
  } catch (const Exception& e) {
    return Fail(e.ClassName(), e.what());
  } catch (const std::exception& e) {
    return Fail("Exception", e.what());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> all = platform::StartProgram(argc, argv);
  std::vector<std::string> args(all.begin() + (all.empty() ? 0 : 1), all.end());
  if (args.empty()) {
    PrintHelp();
    return 2;
  }
  bool gnu = false;
  std::vector<std::string> scripts;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      PrintHelp();
      return 0;
    }
    if (a == "--version") {
      std::printf("iffc (Tessavor) %s\n", TESSAVOR_VERSION);
      return 0;
    }
    if (a == "--decompile")
      return Decompile(
          std::vector<std::string>(args.begin() + static_cast<long>(i) + 1, args.end()));
    if (a == "--diagnostics=gnu") {
      gnu = true;
    } else if (a == "--diagnostics=iffc") {
      gnu = false;
    } else {
      scripts.push_back(a);
    }
  }
  int status = 0;
  CompilerMessageHook = nullptr;
  SetDiagnosticSink([&status, gnu](const TCompilerMessage& m) {
    const std::string text = gnu ? FormatGnuMessage(m) : m.Full;
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    if (status == 0 && m.Kind == TMessageKind::Error) status = 1;
  });
  for (const std::string& script : scripts) {
    try {
      CompileFile(script);
    } catch (const Exception& e) {
      status = Fail(e.ClassName(), e.what());
    } catch (const std::exception& e) {
      status = Fail("Exception", e.what());
    }
  }
  std::fflush(stdout);
  return status;
}
