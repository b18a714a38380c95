#include "plugins/bsp/GenerateBspTree.h"

#include <cstdio>
#include <new>
#include <string>

#include "plugins/bsp/BspMesh.h"
#include "plugins/bsp/BspScript.h"
#include "plugins/bsp/BspTree.h"
#include "util/FileIo.h"
#include "util/Platform.h"

namespace {

// The C entry points return only a status; the text behind the last one stays here for the
// caller's thread to fetch, as errno would.
thread_local std::string g_lastMessage;

// The output file named by the script: the script's own name without ".txt".
std::string OutputNameFor(const std::string& scriptPath) {
  const size_t slash = scriptPath.find_last_of(platform::kSeparators);
  std::string name = slash == std::string::npos ? scriptPath : scriptPath.substr(slash + 1);
  const std::string ext = ".txt";
  if (name.size() > ext.size() && name.compare(name.size() - ext.size(), ext.size(), ext) == 0) {
    name.erase(name.size() - ext.size());
  } else {
    name += ".iff";
  }
  return name;
}

int32_t Generate(const char* scriptPath) {
  using namespace bsp;
  if (scriptPath == nullptr || *scriptPath == '\0') {
    throw EBspError(kBspScriptWrite, "No script path given");
  }
  const std::string path = scriptPath;
  if (path.back() == '/') throw EBspError(kBspScriptWrite, "\"" + path + "\" is a folder");
  const std::string outputName = OutputNameFor(path);
  if (!IsScriptSafeName(outputName)) {
    throw EBspError(kBspBadName, "The output name \"" + outputName +
                                     "\" cannot be written in a compiler script");
  }
  const TMesh mesh = ReadRecordFiles();
  ValidateMesh(mesh);
  const TTree tree = BuildTree(mesh);
  const std::string script = ComposeScript(tree, outputName);
  try {
    WriteFileAtomic(path, script.data(), script.size());
  } catch (const Exception& e) {
    throw EBspError(kBspScriptWrite, e.Message());
  }
  return kBspOk;
}

}  // namespace

namespace {

// The host shows only the code; the reason goes to standard error as well, so that a
// user who started the editor or tessavor-cli from a terminal sees which file or record
// was wrong.
int32_t Fail(int32_t code, const std::string& message) {
  g_lastMessage = message;
  std::fprintf(stderr, "generate_bsp_tree: %s\n", message.c_str());
  return code;
}

}  // namespace

extern "C" int32_t generate_bsp_tree(const char* script_path) {
  g_lastMessage.clear();
  try {
    return Generate(script_path);
  } catch (const bsp::EBspError& e) {
    return Fail(e.Code(), e.Message());
  } catch (const std::bad_alloc&) {
    return Fail(bsp::kBspInternal, "Out of memory");
  } catch (const std::exception& e) {
    return Fail(bsp::kBspInternal, e.what());
  } catch (...) {
    return Fail(bsp::kBspInternal, "Unknown error");
  }
}

extern "C" const char* generate_bsp_tree_error_text(int32_t code) {
  switch (code) {
    case bsp::kBspOk:
      return "success";
    case bsp::kBspRecordFiles:
      return "a record file is missing or unreadable";
    case bsp::kBspMeshEmpty:
      return "the mesh is empty";
    case bsp::kBspScriptWrite:
      return "the script cannot be written";
    case bsp::kBspInconsistent:
      return "the mesh names records that do not exist";
    case bsp::kBspTooLarge:
      return "the mesh or the tree's mesh is too large";
    case bsp::kBspBadName:
      return "the output name cannot be written in a script";
    case bsp::kBspInternal:
      return "internal error";
    default:
      return "unknown error code";
  }
}

extern "C" const char* generate_bsp_tree_last_message(void) { return g_lastMessage.c_str(); }
