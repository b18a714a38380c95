// TIffReader on arbitrary bytes: parse, then walk every reachable FORM by name and read
// every reachable chunk to its end (in odd-sized pieces, as longs and as strings), and
// provoke each walking error once. The walk keeps its own stack: no recursion whose depth
// the input controls.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "iff/IffReader.h"

namespace {

void ReadChunk(TIffReader& r, TIffId name) {
  r.OpenChunk(name);
  uint8_t buf[7];
  try {
    for (;;) {
      if (r.Read(buf, 7) < 7) break;
    }
  } catch (const EIffReader&) {}
  r.OpenChunk(name);
  std::string s;
  int32_t v;
  try {
    for (int i = 0; i < 64; ++i) {
      r.ReadZString(s);
      r.ReadLong(v);
    }
  } catch (const EIffReader&) {}
  (void)r.GetPosition();
  (void)r.GetSize();
  try {
    r.OpenForm("NONE");
  } catch (const EIffReader&) {}
  r.CloseChunk();
}

// Only the first item of each name can be reached by name; visiting duplicates again would
// redo the same work (exponentially so across levels).
template <class T>
std::vector<TIffId> FirstNames(const std::vector<std::unique_ptr<T>>& items) {
  std::set<std::array<uint8_t, 4>> seen;
  std::vector<TIffId> names;
  for (const auto& item : items) {
    if (seen.insert(item->Name.Bytes).second) names.push_back(item->Name);
  }
  return names;
}

struct TFrame {
  std::vector<TIffId> forms;  // child form types still to enter
  size_t next;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TMemoryStream stream(data, size);
  try {
    TIffReader r(stream, "fuzz.iff");
    std::vector<TFrame> stack{{FirstNames(r.Root().Forms), 0}};
    for (const TIffId& c : FirstNames(r.Root().Chunks)) ReadChunk(r, c);
    while (!stack.empty()) {
      TFrame& top = stack.back();
      if (top.next >= top.forms.size()) {
        stack.pop_back();
        try {
          r.CloseForm();
        } catch (const EIffReader&) {}
        continue;
      }
      const TIffId type = top.forms[top.next++];
      r.OpenForm(type);
      const TForm& current = r.CurrentForm();
      for (const TIffId& c : FirstNames(current.Chunks)) ReadChunk(r, c);
      try {
        r.OpenChunk("\x01\x02\x03\x04");
      } catch (const EIffReader&) {}
      stack.push_back({FirstNames(current.Forms), 0});
    }
  } catch (const Exception&) {
    // Every rejection of a bad file is an exception of the program.
  }
  return 0;
}
