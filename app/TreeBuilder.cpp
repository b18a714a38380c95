#include "app/TreeBuilder.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>

#include "util/Exception.h"

namespace {

using TGenerateBspTree = int32_t (*)(const char*);

// Unloads the library when the call is done, also when it throws.
struct TLibrary {
  void* handle = nullptr;
  ~TLibrary() {
    if (handle) dlclose(handle);
  }
};

void Tell(const TTreeBuilderHooks& hooks, const std::string& text) {
  if (hooks.Message) hooks.Message(text);
}

}  // namespace

int32_t RunTreeBuilder(const std::string& libraryPath, const std::string& scriptPath, const TTreeBuilderHooks& hooks) {
  int32_t result = 0;
  {
    TLibrary lib;
    // Only an absolute path (util/Paths.h ProgramLibraryPath): a bare or relative name
    // would be looked up in the current folder or the search path, where anyone may plant
    // a library.
    if (libraryPath.empty() || libraryPath[0] != '/') {
      Tell(hooks, "Cannot load bsp.dll. Error=" + std::to_string(ENOENT));
      return -1;
    }
    lib.handle = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib.handle) {
      const int code = access(libraryPath.c_str(), F_OK) == 0 ? ENOEXEC : ENOENT;
      Tell(hooks, "Cannot load bsp.dll. Error=" + std::to_string(code));
      return -1;
    }
    auto entry = reinterpret_cast<TGenerateBspTree>(dlsym(lib.handle, "generate_bsp_tree"));
    if (!entry) {
      Tell(hooks, "Cannot load bsp.dll. Error=" + std::to_string(EINVAL));
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
