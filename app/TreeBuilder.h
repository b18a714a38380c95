#pragma once
// "make &tree": the tree-builder library writes a compiler script for the chosen output,
// then the compiler runs on it.
//
// The library is libbsp.so beside the executable, loaded with dlopen for the one call and
// unloaded right after; its entry is `int32_t generate_bsp_tree(const char* scriptPath)`
// with C linkage, 0 for success. Every outcome is told through hooks.Message with the
// system's own texts:
//  - the library cannot be loaded: "Cannot load bsp.dll. Error=" + the system's error code
//    (ENOENT when the file is missing, ENOEXEC when it is there but does not load);
//  - it lacks the entry: the same text with EINVAL (the entry is never called);
//  - otherwise the banner, the call, then a failure code ("generate_bsp_tree failed with
//    error code: " + R) or "iff compiler script created - will try to compile it...",
//    the compile (hooks.Compile), and "iffc returned without exceptions" or, for an error of
//    the program's own kind, "iffc raised exception of type " + its class name. Any other
//    fault of the compile propagates to the caller.
// Returns the entry's result, or -1 when the library was not called.

#include <cstdint>
#include <functional>
#include <string>

struct TTreeBuilderHooks {
  std::function<void(const std::string& text)> Message;
  std::function<void(const std::string& scriptPath)> Compile;
};

int32_t RunTreeBuilder(const std::string& libraryPath, const std::string& scriptPath, const TTreeBuilderHooks& hooks);
