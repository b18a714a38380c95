// Decompiles arbitrary bytes as an IFF file, compiles the script again (through the line
// reader, output in a private temp folder) and checks that the same bytes come out: the
// decompiler must neither crash nor produce a script that compiles to anything else.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/FuzzFolder.h"
#include "iffc/Compiler.h"
#include "iffc/Decompiler.h"
#include "util/FileIo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& dir = fuzzsupport::TempFolder("decompile");
  const std::string script = DecompileIffBytes({data, size}, "back.iff");
  std::vector<std::string> lines;
  std::istringstream in(script);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  size_t next = 0;
  SetLineReader([&](std::string& line, bool& end) {
    line = lines[next++];
    end = next >= lines.size();
  });
  bool failed = false;
  SetMessageSink([&failed](const std::string& m) {
    failed |= m.rfind("error", 0) == 0 || m.rfind("hint", 0) == 0;
  });
  CompileScript(dir + "/back.txt");
  SetLineReader(nullptr);
  SetMessageSink(nullptr);
  const std::vector<uint8_t> back = ReadWholeFile(dir + "/back.iff");
  if (failed || back.size() != size || (size > 0 && std::memcmp(back.data(), data, size) != 0))
    std::abort();
  return 0;
}
