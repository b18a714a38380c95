// make-tree: the editor's "make &tree" without windows. The record files in the home
// folder are the input; libbsp.so from the program folder writes the compiler script
// OUT.txt, and the compiler turns it into OUT. The flow and its messages are the editor's
// own (mesh/TreeBuilder.h); here every message goes to standard output, the compiler's
// included, and a library that cannot be loaded and an exception's message to standard
// error.
//
// Exit status: 0 done; 1 the compiler reported an error; 2 the library could not be
// loaded, returned an error code (the library names the reason on standard error), or
// the compile ended with an exception.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "iffc/Compiler.h"
#include "mesh/TreeBuilder.h"
#include "util/Exception.h"
#include "util/Paths.h"
#include "util/Platform.h"

namespace {

bool ContainsError(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text.find("error") != std::string::npos;
}

int MakeTree(const std::vector<std::string>& args) {
  if (args.size() != 1) UsageError("make-tree: expected one output file name");
  bool compileError = false;
  bool compileException = false;

  TTreeBuilderHooks hooks;
  hooks.Message = [](const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
  };
  hooks.Error = [](const std::string& text) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", text.c_str());
  };
  hooks.Compile = [&](const std::string& script) {
    const TMessageSink previous = CompilerMessageHook;
    CompilerMessageHook = [&](const std::string& text) {
      std::printf("%s\n", text.c_str());
      compileError |= ContainsError(text);
    };
    try {
      CompileFile(script);
    } catch (const Exception& e) {
      CompilerMessageHook = previous;
      std::fflush(stdout);
      std::fprintf(stderr, "%s: %s\n", e.ClassName(), e.what());
      compileException = true;
      throw;
    }
    CompilerMessageHook = previous;
  };

  const int32_t result = RunTreeBuilder(ProgramLibraryPath(platform::SharedLibraryName("bsp")),
                                        args[0] + ".txt", hooks);
  if (result != 0 || compileException) return 2;
  return compileError ? 1 : 0;
}

const TCommandRegistrar kMakeTree(
    {"make-tree", "make-tree OUT",
     "make tree: build a BSP tree over the record files' mesh with libbsp.so (script "
     "OUT.txt), then compile the script into OUT",
     MakeTree});

}  // namespace
