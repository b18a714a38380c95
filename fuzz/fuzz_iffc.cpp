// Compiles arbitrary script text (through the line reader) with the outputs in a private
// temp folder, which is also the home folder. (The current folder stays: libFuzzer reads
// its corpus by relative names.) The compiler must
// neither crash nor touch memory it does not own; script errors and the exceptions the
// language defines are expected.
//
// Inputs that would make the compiler reach outside the temp folder or do unbounded work
// are skipped rather than run: ".." in a path, the CRC list statement (it may name any
// file to create), anything naming /proc (its files claim huge sizes), and CHAR counts of
// a million bytes or more.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/FuzzFolder.h"
#include "iffc/Compiler.h"
#include "util/Exception.h"

namespace {

// The outputs' folder, also the home folder ("C:\..." names land there).
const std::string& Folder() {
  static const std::string& dir = []() -> const std::string& {
    const std::string& d = fuzzsupport::TempFolder("iffc");
    setenv("TESSAVOR_HOME", d.c_str(), 1);
    return d;
  }();
  return dir;
}

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool ContainsNoCase(const std::string& text, const char* word) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return lower.find(word) != std::string::npos;
}

bool Acceptable(const std::string& text) {
  if (text.find("..") != std::string::npos || text.find("proc") != std::string::npos) return false;
  if (ContainsNoCase(text, "crc_out")) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '[') continue;
    size_t j = i + 1;
    while (j < text.size() &&
           (text[j] == ' ' || text[j] == '\t' || text[j] == '+' || text[j] == '-' ||
            text[j] == '$' || text[j] == 'x' || text[j] == 'X')) {
      ++j;
    }
    size_t digits = 0;
    while (j < text.size() && IsHex(text[j])) ++j, ++digits;
    if (digits >= 6) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& dir = Folder();
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (!Acceptable(text)) return 0;

  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    const size_t nl = text.find('\n', start);
    lines.push_back(text.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
    if (nl == std::string::npos || nl + 1 == text.size()) break;
    start = nl + 1;
  }
  size_t next = 0;
  SetLineReader([&](std::string& line, bool& end) {
    line = lines[next++];
    end = next >= lines.size();
  });
  SetMessageSink([](const std::string& m) {
    // Every message is a whole text; touching it checks it is a valid string.
    volatile size_t n = m.size();
    (void)n;
  });
  try {
    CompileScript(dir + "/fuzz.txt");
  } catch (const Exception&) {
    // File and conversion errors end a run by design.
  }
  SetLineReader(nullptr);
  SetMessageSink(nullptr);

  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec))
    std::filesystem::remove_all(e.path(), ec);
  return 0;
}
