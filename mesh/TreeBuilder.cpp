#include "mesh/TreeBuilder.h"

#include <dlfcn.h>

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

void Fail(const TTreeBuilderHooks& hooks, const std::string& text) {
  if (hooks.Error)
    hooks.Error(text);
  else
    Tell(hooks, text);
}

std::string LoaderReason() {
  const char* reason = dlerror();
  return reason ? reason : "unknown reason";
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
    if (libraryPath.empty() || libraryPath[0] != '/') {
      Fail(hooks,
           libraryPath.empty()
               ? LibraryLoadError("libbsp.so", "the program folder is unknown")
               : LibraryLoadError(
                     libraryPath,
                     "only a library in the program folder, named by its full path, is loaded"));
      return -1;
    }
    lib.handle = dlopen(libraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!lib.handle) {
      Fail(hooks, LibraryLoadError(libraryPath, LoaderReason()));
      return -1;
    }
    dlerror();  // a stale reason must not stand for the lookup's
    auto entry = reinterpret_cast<TGenerateBspTree>(dlsym(lib.handle, "generate_bsp_tree"));
    if (!entry) {
      Fail(hooks,
           "Cannot load " + libraryPath + ": no entry generate_bsp_tree (" + LoaderReason() + ")");
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
