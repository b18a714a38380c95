#pragma once
// Shared fixture of the compiler tests for functions, conditionals, TRE archives and CRC
// lists: writes a script into a scratch folder, compiles it there, collects the messages.
// Expected bytes are built word by word with the helpers below.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "iffc/Compiler.h"
#include "support/TestSupport.h"
#include "util/Crc32.h"

namespace flowtest {

using testsupport::Bytes;

inline Bytes Words(std::initializer_list<uint32_t> words) {
  Bytes b;
  for (uint32_t w : words) testsupport::PutU32(b, w);
  return b;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes b;
  for (const Bytes& p : parts) b.insert(b.end(), p.begin(), p.end());
  return b;
}

// «FORM TYPE { CHUNK ID { data } }» as the compiler lays it out: big-endian sizes, the
// chunk padded to even length.
inline Bytes FormWithChunk(const std::string& type, const std::string& id, const Bytes& data) {
  const uint32_t pad = data.size() % 2;
  Bytes b;
  testsupport::PutText(b, "FORM");
  testsupport::PutU32BE(b, static_cast<uint32_t>(4 + 8 + data.size() + pad));
  testsupport::PutText(b, type);
  testsupport::PutText(b, id);
  testsupport::PutU32BE(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  if (pad) b.push_back(0);
  return b;
}

class FlowScript : public ::testing::Test {
protected:
  testsupport::TempDir dir;
  std::vector<std::string> messages;

  void SetUp() override {
    SetLineReader(nullptr);
    SetMessageSink([this](const std::string& m) { messages.push_back(m); });
  }
  void TearDown() override { SetMessageSink(nullptr); }

  // Compiles the lines (joined by LF) as a script in the scratch folder.
  void Compile(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += l + "\n";
    const std::string script = dir.File("script.txt");
    testsupport::WriteText(script, text);
    messages.clear();
    CompileScript(script);
  }

  // The script wrapped as «IFF "out.iff" { FORM TEST { CHUNK CODE { lines } } }»; returns
  // the chunk's data bytes after checking the FORM and chunk headers around them.
  Bytes CompileChunk(const std::vector<std::string>& body) {
    std::vector<std::string> lines = {"IFF \"out.iff\"", "{", "FORM TEST", "{", "CHUNK CODE", "{"};
    lines.insert(lines.end(), body.begin(), body.end());
    lines.insert(lines.end(), {"}", "}", "}"});
    Compile(lines);
    const Bytes file = Output("out.iff");
    if (file.size() < 20) {
      ADD_FAILURE() << "output too short: " << file.size();
      return {};
    }
    const uint32_t size =
        static_cast<uint32_t>(file[16]) << 24 | file[17] << 16 | file[18] << 8 | file[19];
    if (size > file.size() - 20) {
      ADD_FAILURE() << "chunk size " << size << " past the end";
      return {};
    }
    const Bytes data(file.begin() + 20, file.begin() + 20 + size);
    EXPECT_EQ(file, FormWithChunk("TEST", "CODE", data)) << "FORM/CHUNK layout";
    return data;
  }

  Bytes Output(const std::string& name) const { return testsupport::ReadBytes(dir.File(name)); }

  bool Said(const std::string& text) const {
    for (const auto& m : messages) {
      if (m == text) return true;
    }
    return false;
  }
  int CountContaining(const std::string& part) const {
    int n = 0;
    for (const auto& m : messages) n += m.find(part) != std::string::npos;
    return n;
  }
  std::string AllMessages() const {
    std::string all;
    for (const auto& m : messages) all += "  " + m + "\n";
    return all;
  }
};

}  // namespace flowtest
