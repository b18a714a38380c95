#pragma once
// "make &tree": the tree-builder library writes a compiler script for the chosen output,
// then the compiler runs on it.
//
// The library is libbsp.so beside the executable, loaded with dlopen for the one call and
// unloaded right after; its entry is `int32_t generate_bsp_tree(const char* scriptPath)`
// with C linkage, 0 for success. A library that cannot be used is an error, told through
// hooks.Error (hooks.Message when there is none) with the file looked for and the loader's
// own reason:
//  - the library cannot be loaded: "Cannot load " + its path + ": " + the reason
//    dlerror() gives (without the path it repeats);
//  - it lacks the entry: "Cannot load " + path + ": no entry generate_bsp_tree" + the
//    reason; the entry is never called.
// Every other outcome is told through hooks.Message with the system's own texts:
//  - the banner, the call, then a failure code ("generate_bsp_tree failed with
//    error code: " + R) or "iff compiler script created - will try to compile it...",
//    the compile (hooks.Compile), and "iffc returned without exceptions" or, for an error of
//    the program's own kind, "iffc raised exception of type " + its class name. Any other
//    fault of the compile propagates to the caller.
// `libraryPath` must be absolute: a relative or empty one is refused without loading.
// Returns the entry's result, or -1 when the library was not called.

#include <cstdint>
#include <functional>
#include <string>

struct TTreeBuilderHooks {
  std::function<void(const std::string& text)> Message;
  std::function<void(const std::string& scriptPath)> Compile;
  std::function<void(const std::string& text)> Error;
};

// The text for a library that could not be loaded: "Cannot load " + path + ": " + reason,
// with a leading "path: " of the loader's reason left out.
std::string LibraryLoadError(const std::string& path, const std::string& reason);

int32_t RunTreeBuilder(const std::string& libraryPath, const std::string& scriptPath,
                       const TTreeBuilderHooks& hooks);
