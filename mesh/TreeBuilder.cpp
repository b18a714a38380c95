#include "mesh/TreeBuilder.h"

#include "util/Exception.h"
#include "util/Platform.h"

namespace {

using TGenerateBspTree = int32_t (*)(const char*);

// Unloads the library when the call is done, also when it throws.
struct TLibrary {
  void* handle = nullptr;
  ~TLibrary() {
    if (handle) platform::CloseLibrary(handle);
  }
};

void Tell(const TTreeBuilderHooks& hooks, const std::string& text) {
  if (hooks.Message) hooks.Message(text);
}

void Fail(const TTreeBuilderHooks& hooks, const std::string& text) {
  if (hooks.Error)
    hooks.Error(text);
  else
    Tell(hooks, text);
}

}  // namespace

std::string LibraryLoadError(const std::string& path, const std::string& reason) {
  std::string why = reason;
  if (why.size() > path.size() + 2 && why.compare(0, path.size(), path) == 0 &&
      why.compare(path.size(), 2, ": ") == 0)
    why.erase(0, path.size() + 2);
  return "Cannot load " + path + ": " + why;
}

int32_t RunTreeBuilder(const std::string& libraryPath, const std::string& scriptPath,
                       const TTreeBuilderHooks& hooks) {
  int32_t result = 0;
  {
    TLibrary lib;
    // Only an absolute path (util/Paths.h ProgramLibraryPath): a bare or relative name
    // would be looked up in the current folder or the search path, where anyone may plant
    // a library.
    if (libraryPath.empty() || !platform::IsAbsolutePath(libraryPath)) {
      Fail(hooks,
           libraryPath.empty()
               ? LibraryLoadError(platform::SharedLibraryName("bsp"),
                                  "the program folder is unknown")
               : LibraryLoadError(
                     libraryPath,
                     "only a library in the program folder, named by its full path, is loaded"));
      return -1;
    }
    std::string reason;
    lib.handle = platform::OpenLibrary(libraryPath, reason);
    if (!lib.handle) {
      Fail(hooks, LibraryLoadError(libraryPath, reason));
      return -1;
    }
    auto entry =
        reinterpret_cast<TGenerateBspTree>(platform::FindSymbol(lib.handle, "generate_bsp_tree"));
    if (!entry) {
      Fail(hooks, "Cannot load " + libraryPath + ": no entry generate_bsp_tree");
      return -1;
    }
    Tell(hooks, "Starvigil - TREE Builder - Version 0.2 by Quarrow");
    result = entry(scriptPath.c_str());
  }
  if (result != 0) {
    Tell(hooks, "generate_bsp_tree failed with error code: " + std::to_string(result));
    return result;
  }
  Tell(hooks, "iff compiler script created - will try to compile it...");
  try {
    if (hooks.Compile) hooks.Compile(scriptPath);
  } catch (const Exception& e) {
    Tell(hooks, std::string("iffc raised exception of type ") + e.ClassName());
    return result;
  }
  Tell(hooks, "iffc returned without exceptions");
  return result;
}
