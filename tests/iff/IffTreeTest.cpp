// The iff-tree listing: file order across the separate chunk and form lists, indentation by
// depth, odd identifiers.
#include "iff/IffTree.h"

#include <gtest/gtest.h>

#include "iff/IffTestFiles.h"

using namespace ifftest;

namespace {

std::string TreeOf(const Bytes& data) {
  TMemoryStream s(data.data(), data.size());
  TIffReader r(s, "mem");
  return FormatIffTree(r);
}

}  // namespace

TEST(IffTree, ListsItemsInFileOrderIndentedByDepth) {
  // Chunk, form, chunk at the top level: the listing interleaves them as in the file.
  const Bytes file = Form("MESH", Cat({Chunk("INFO", Text("hello")), Form("GEOM", Chunk("VERT", Bytes(12, 1))),
                                       Chunk("NAME", Bytes{'a', 'b', 0})}));
  EXPECT_EQ(TreeOf(file),
            "FORM MESH 0 62\n"
            "  INFO 12 6\n"
            "  FORM GEOM 26 24\n"
            "    VERT 38 12\n"
            "  NAME 58 4\n");
}

TEST(IffTree, OddIdentifierBytesAreEscaped) {
  const Bytes file = Form("PAL ", Chunk(std::string("A\0\xFF\\", 4), {}));
  EXPECT_EQ(TreeOf(file), "FORM PAL  0 12\n  A\\x00\\xFF\\x5C 12 0\n");
}

TEST(IffTree, FirstItemThatIsAChunkIsTheRootLine) {
  EXPECT_EQ(TreeOf(Chunk("TEXT", Text("abcd"))), "TEXT 0 4\n");
}

TEST(IffTree, DeepNestingNeedsNoRecursion) {
  Bytes file = Chunk("LEAF", {});
  constexpr int kDepth = 1500;
  for (int i = 0; i < kDepth; ++i) file = Form("NEST", file);
  const std::string tree = TreeOf(file);
  EXPECT_EQ(std::count(tree.begin(), tree.end(), '\n'), kDepth + 1);
  // The leaf is indented once per enclosing FORM below the root.
  EXPECT_NE(tree.find(std::string(2 * kDepth, ' ') + "LEAF " + std::to_string(12 * kDepth) + " 0\n"),
            std::string::npos);
}
