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
  const Bytes file =
      Form("MESH", Cat({Chunk("INFO", Text("hello")), Form("GEOM", Chunk("VERT", Bytes(12, 1))),
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

// `depth` FORMs NEST, each holding the next, around one empty chunk LEAF.
Bytes Nested(int depth) {
  Bytes file;
  for (int i = 0; i < depth; ++i) {
    file.insert(file.end(), {'F', 'O', 'R', 'M'});
    testsupport::PutU32BE(file, static_cast<uint32_t>(4 + 12 * (depth - 1 - i) + 8));
    file.insert(file.end(), {'N', 'E', 'S', 'T'});
  }
  file.insert(file.end(), {'L', 'E', 'A', 'F', 0, 0, 0, 0});
  return file;
}

TEST(IffTree, DeepNestingNeedsNoRecursionAndIndentsAtMost64Levels) {
  constexpr int kDepth = 1500;
  const std::string tree = TreeOf(Nested(kDepth));
  EXPECT_EQ(std::count(tree.begin(), tree.end(), '\n'), kDepth + 1);
  // Level 64 is indented 128 spaces; deeper ones no further, with their depth in front.
  EXPECT_NE(tree.find("\n" + std::string(128, ' ') + "FORM NEST " + std::to_string(12 * 64)),
            std::string::npos);
  EXPECT_NE(tree.find("\n" + std::string(128, ' ') + "(65) FORM NEST " + std::to_string(12 * 65)),
            std::string::npos);
  EXPECT_NE(tree.find("\n" + std::string(128, ' ') + "(1500) LEAF " + std::to_string(12 * kDepth) +
                      " 0\n"),
            std::string::npos);
}

TEST(IffTree, FiftyThousandNestedFormsListInLinearSpace) {
  constexpr int kDepth = 50000;
  const std::string tree = TreeOf(Nested(kDepth));
  // Each line at most 128 spaces and about 40 characters; a square-law listing would hold
  // billions.
  EXPECT_LT(tree.size(), static_cast<size_t>(kDepth + 1) * 170);
  EXPECT_EQ(std::count(tree.begin(), tree.end(), '\n'), kDepth + 1);
}

TEST(IffTree, ASizeBeyond2GiBIsListedAsTheFileGivesIt) {
  Bytes file{'D', 'A', 'T', 'A'};
  testsupport::PutU32BE(file, 0xFFFFFFF0u);
  file.resize(16, 1);
  EXPECT_EQ(TreeOf(file), "DATA 0 4294967280\n");
}
