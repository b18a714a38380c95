#pragma once
// Shared fixture of the compiler tests: every test writes its script into its own temp
// folder (which is also the home folder, so "c:\..." paths land there), compiles it and
// looks at the messages and the output bytes.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iffc/Compiler.h"
#include "support/TestSupport.h"

namespace iffctest {

using testsupport::Bytes;

// The bytes of one IFF header: four characters and a big-endian size.
inline void PutHeader(Bytes& b, const std::string& id, uint32_t size) {
  testsupport::PutText(b, id);
  testsupport::PutU32BE(b, size);
}

class CompilerTest : public ::testing::Test {
protected:
  void SetUp() override {
    SetLineReader(nullptr);
    SetMessageSink([this](const std::string& m) { all.push_back(m); });
  }
  void TearDown() override {
    SetMessageSink(nullptr);
    SetLineReader(nullptr);
  }

  std::string ScriptPath() const { return dir.File("script.txt"); }

  // Writes `text` as the script and compiles it; returns CompileScript's result.
  std::string Compile(const std::string& text) {
    testsupport::WriteText(ScriptPath(), text);
    all.clear();
    return CompileScript(ScriptPath());
  }

  // A script whose lines 1-6 open «IFF "out.iff"», «FORM TEST» and «CHUNK DATA» with
  // their braces, then `body`, then the three closing braces. Body line k is script
  // line 6 + k.
  std::string CompileInChunk(const std::string& body) {
    return Compile("IFF out.iff\n{\nFORM TEST\n{\nCHUNK DATA\n{\n" + body + "}\n}\n}\n");
  }

  // The chunk payload of an output made by CompileInChunk (checks the frame around it).
  Bytes ChunkPayload() {
    const Bytes out = Output();
    EXPECT_GE(out.size(), 20u);
    if (out.size() < 20) return {};
    const uint32_t size =
        static_cast<uint32_t>(out[16]) << 24 | out[17] << 16 | out[18] << 8 | out[19];
    EXPECT_EQ(std::string(out.begin(), out.begin() + 4), "FORM");
    EXPECT_EQ(std::string(out.begin() + 12, out.begin() + 16), "DATA");
    EXPECT_EQ(out.size(), 20u + size + (size & 1));
    if (out.size() < 20u + size) return {};
    return Bytes(out.begin() + 20, out.begin() + 20 + size);
  }

  Bytes Output(const std::string& name = "out.iff") const {
    return testsupport::ReadBytes(dir.File(name));
  }

  // Messages other than the progress reports («compiling IFF [...] ...», «done. ...»).
  std::vector<std::string> Diagnostics() const {
    std::vector<std::string> r;
    for (const std::string& m : all) {
      if (m.rfind("compiling IFF [", 0) == 0 || m.rfind("done. Compile time: ", 0) == 0) continue;
      r.push_back(m);
    }
    return r;
  }

  testsupport::TempDir dir;
  std::vector<std::string> all;
};

inline Bytes U32s(std::initializer_list<uint32_t> values) {
  Bytes b;
  for (uint32_t v : values) testsupport::PutU32(b, v);
  return b;
}

}  // namespace iffctest
