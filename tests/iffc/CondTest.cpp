// Conditionals: code words, conditional braces and the restoring of InIf. Body lines start
// at script line 7.

#include "iffc/Functions.h"

#include "tests/iffc/TreFuncScript.h"

using namespace flowtest;

namespace {

using Conditionals = FlowScript;

TEST_F(Conditionals, IfWithBodyByteForByte) {
  const Bytes data = CompileChunk({"$IF 1", "{", "LONG 7", "}"});
  const Bytes expected = {0x04, 0x5D, 0x99, 0xB2, 0x01, 0x00, 0x00, 0x00, 0x00, 0xBB,
                          0xFB, 0x15, 0x07, 0x00, 0x00, 0x00, 0x00, 0x77, 0x82, 0x00};
  EXPECT_EQ(data, expected) << AllMessages();
  EXPECT_EQ(CountContaining("error"), 0) << AllMessages();
}

TEST_F(Conditionals, NestedConditionalsRestoreInIf) {
  // Eleven words; the chunk's own "}" afterwards must close the chunk again, which only
  // happens when InIf came back to clear.
  const Bytes data = CompileChunk({"$IF 1", "{", "$IF 2", "{", "}", "}", "$ELSE", "{", "}"});
  EXPECT_EQ(data, Words({kCodeIf, 1, kCodeIfOpen, kCodeIf, 2, kCodeIfOpen, kCodeIfClose,
                         kCodeIfClose, kCodeElse, kCodeIfOpen, kCodeIfClose}))
      << AllMessages();
  EXPECT_EQ(data.size(), 44u);
}

TEST_F(Conditionals, IfWithoutValueWritesOnlyTheCodeWord) {
  const Bytes data = CompileChunk({"$IF", "LONG 3"});
  EXPECT_EQ(data, Words({kCodeIf, 3}));
  EXPECT_TRUE(Said("error: line 7, wrong number of parameters. Expected: 1")) << AllMessages();
}

TEST_F(Conditionals, NameAsValueNeedsGenCrc) {
  const Bytes data = CompileChunk({"$IF ready", "{", "}", "$GEN_CRC+", "$IF ready", "{", "}"});
  EXPECT_EQ(data, Words({kCodeIf, kCodeIfOpen, kCodeIfClose, kCodeIf, StrCrc32("ready"),
                         kCodeIfOpen, kCodeIfClose}));
  EXPECT_TRUE(Said("error: line 7, \"ready\" not a valid integer!")) << AllMessages();
}

TEST_F(Conditionals, ExtraValueIsAHint) {
  const Bytes data = CompileChunk({"$IF 1 2", "{", "}"});
  EXPECT_EQ(data, Words({kCodeIf, 1, kCodeIfOpen, kCodeIfClose}));
  EXPECT_TRUE(Said("hint: line 7, wrong number of elements. Expected: 1")) << AllMessages();
}

TEST_F(Conditionals, BracesInsideDoNotCountTowardsTheDepth) {
  // Had the conditional braces counted, the last "}" of the script would not finish the
  // output and "hint: } missing." would follow.
  CompileChunk({"$IF 1", "{", "$ELSE", "{", "}", "}"});
  EXPECT_FALSE(Said("hint: } missing.")) << AllMessages();
}

TEST_F(Conditionals, FlagStackOverflowIsReportedAndStaysInItsTable) {
  std::vector<std::string> body;
  for (int i = 0; i < 300; ++i) body.insert(body.end(), {"$IF 1", "{"});
  for (int i = 0; i < 300; ++i) body.push_back("}");
  Compile([&] {
    std::vector<std::string> lines = {"IFF \"out.iff\"", "{", "FORM TEST", "{", "CHUNK CODE", "{"};
    lines.insert(lines.end(), body.begin(), body.end());
    return lines;
  }());
  // The 257th save is line 6 + 2 * 256 + 1.
  EXPECT_TRUE(
      Said("error: line 519, too many nested $IF, $ELSE and $FUNC_BEGIN (at most 256 open)."))
      << AllMessages();
  EXPECT_EQ(CountContaining("too many nested"), 1);
  // 300 x (IF, 1, {) and 300 x } were written after the 20 header bytes.
  EXPECT_EQ(Output("out.iff").size(), 20u + 300 * 16);
}

}  // namespace
