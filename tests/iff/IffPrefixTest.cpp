// Every prefix of a valid file, as a file cut short on disk would be: the reader and the
// scanner either reject it with one of the program's exceptions or accept what is there,
// and every item they report starts inside the bytes that exist.
#include <gtest/gtest.h>

#include "iff/IffReader.h"
#include "iff/IffTestFiles.h"

using namespace ifftest;

namespace {

const Bytes& Whole() {
  static const Bytes file =
      Form("MESH", Cat({Chunk("INFO", Text("hello")), Form("GEOM", Chunk("VERT", Bytes(12, 1))),
                        Chunk("NAME", Bytes{'a', 'b', 0}), Chunk("ZERO", {})}));
  return file;
}

// Offsets of every item of the tree, checked iteratively.
void ExpectItemsInside(const TForm& root, int64_t size) {
  std::vector<const TForm*> todo{&root};
  while (!todo.empty()) {
    const TForm* f = todo.back();
    todo.pop_back();
    EXPECT_LT(f->Offset, size);
    for (const auto& c : f->Chunks) EXPECT_LE(int64_t{c->Offset} + 8, size);
    for (const auto& sub : f->Forms) todo.push_back(sub.get());
  }
}

}  // namespace

class IffPrefix : public ::testing::TestWithParam<size_t> {};

INSTANTIATE_TEST_SUITE_P(EveryLength, IffPrefix, ::testing::Range(size_t{0}, Whole().size() + 1));

TEST_P(IffPrefix, ReaderRejectsOrAcceptsWhatIsThere) {
  const Bytes prefix(Whole().begin(), Whole().begin() + static_cast<std::ptrdiff_t>(GetParam()));
  TMemoryStream stream(prefix.data(), prefix.size());
  try {
    TIffReader r(stream, "cut.iff");
    ExpectItemsInside(r.Root(), static_cast<int64_t>(prefix.size()));
    if (r.ChunkExists("INFO")) {
      r.OpenChunk("INFO");
      char buf[6];
      // The data may be cut: the read comes back short, never beyond the file.
      EXPECT_LE(r.Read(buf, 6), 6);
      EXPECT_LE(int64_t{r.GetPosition()}, static_cast<int64_t>(prefix.size()));
    }
  } catch (const Exception& e) {
    // Rejected: only these classes may come out of a cut file.
    const std::string cls = e.ClassName();
    EXPECT_TRUE(cls == "EIffReader" || cls == "EIffReader_ErrorInChunk" ||
                cls == "EIffReader_ErrorInForm")
        << cls;
  }
  if (GetParam() == Whole().size()) {
    TMemoryStream full(prefix.data(), prefix.size());
    EXPECT_NO_THROW(TIffReader r(full, "whole.iff"));
  }
}

TEST_P(IffPrefix, ScannerEndsWithinTheBytesThatExist) {
  const Bytes prefix(Whole().begin(), Whole().begin() + static_cast<std::ptrdiff_t>(GetParam()));
  TMemoryStream stream(prefix.data(), prefix.size());
  const int h = IffRegisterStream(&stream);
  int items = 0;
  try {
    TIffItemHeader item;
    while (IffReadItemHeader(h, item)) {
      EXPECT_LE(int64_t{item.Offset} + item.HeaderLen, static_cast<int64_t>(prefix.size()));
      ++items;
    }
  } catch (const EIffReader_ErrorInChunk&) {
  } catch (const EIffReader_ErrorInForm&) {}
  IffCloseHandle(h);
  if (GetParam() == Whole().size()) {
    EXPECT_EQ(items, 6);
  }
}
