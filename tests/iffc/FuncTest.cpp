// Script functions and variables: headers, parameter and variable names, size patches,
// and the saving of GenCrc on the flag stack. Body lines start at script line 7.

#include "iffc/Functions.h"

#include "tests/iffc/TreFuncScript.h"

using namespace flowtest;

namespace {

using Functions = FlowScript;

const uint32_t kTurn = StrCrc32("TURN");

TEST_F(Functions, ParameterNamesStandForSixteenOnAndVanishAtTheEnd) {
  const Bytes data =
      CompileChunk({"$FUNC_BEGIN TURN A B", "LONG A", "LONG B", "$FUNC_END", "LONG A"});
  EXPECT_EQ(data, Words({kTurn, 0, 2, kCodeParam, kCodeParam, 8, 16, 17})) << AllMessages();
  // After $FUNC_END, A is a name again and GenCrc is back to clear.
  EXPECT_TRUE(Said("error: line 11, \"A\" not a valid integer!")) << AllMessages();
}

TEST_F(Functions, NamesAfterTheEndAreChecksummedWhenGenCrcIsOn) {
  const Bytes data =
      CompileChunk({"$FUNC_BEGIN TURN A B", "$FUNC_END", "$GEN_CRC+", "LONG A", "LONG B"});
  EXPECT_EQ(data, Words({kTurn, 0, 2, kCodeParam, kCodeParam, 0, StrCrc32("A"), StrCrc32("B")}));
}

TEST_F(Functions, CountFormDeclaresNoNames) {
  // Inside a function GenCrc is on, so an undeclared A is written as its checksum.
  const Bytes data = CompileChunk({"$FUNC_BEGIN TURN 3", "LONG A", "$FUNC_END"});
  EXPECT_EQ(data, Words({kTurn, 0, 3, kCodeParam, kCodeParam, kCodeParam, 4, StrCrc32("A")}));
  EXPECT_EQ(CountContaining("error"), 0) << AllMessages();
}

TEST_F(Functions, NoParametersAtAll) {
  const Bytes data = CompileChunk({"$FUNC_BEGIN idle", "LONG 1", "$FUNC_END"});
  EXPECT_EQ(data, Words({StrCrc32("idle"), 0, 0, 4, 1}));
}

TEST_F(Functions, EachVarStatementNumbersFromTwentyFour) {
  const Bytes data = CompileChunk(
      {"$FUNC_BEGIN F 0", "$VAR X Y", "LONG [2] X Y", "$VAR Z", "LONG Z", "$FUNC_END", "LONG X"});
  EXPECT_EQ(data, Words({StrCrc32("F"), 0, 0, 28, kCodeVar, 2, 24, 25, kCodeVar, 1, 24}))
      << AllMessages();
  EXPECT_TRUE(Said("error: line 13, \"X\" not a valid integer!")) << AllMessages();
}

TEST_F(Functions, VarWithoutNamesStillWritesItsWords) {
  const Bytes data = CompileChunk({"$VAR"});
  EXPECT_EQ(data, Words({kCodeVar, 0}));
  EXPECT_TRUE(Said("error: line 7, expected at least one identifier.")) << AllMessages();
}

TEST_F(Functions, SecondBeginWhileOpenReportsAndStartsANewHeader) {
  const Bytes data =
      CompileChunk({"$FUNC_BEGIN A 0", "LONG 1", "$FUNC_BEGIN B 0", "LONG 2", "$FUNC_END"});
  // The first size field is never patched.
  EXPECT_EQ(data, Words({StrCrc32("A"), 0, 0, 0, 1, StrCrc32("B"), 0, 0, 4, 2}));
  EXPECT_TRUE(Said("error: line 9, missing call to $function_end!")) << AllMessages();
}

TEST_F(Functions, EndWithoutBeginReportsAndKeepsGenCrc) {
  const Bytes data =
      CompileChunk({"$GEN_CRC+", "$FUNC_END", "LONG N", "$GEN_CRC-", "$FUNC_END", "LONG N"});
  EXPECT_EQ(data, Words({StrCrc32("N")}));
  EXPECT_TRUE(Said("error: line 8, missing call to $function_begin!")) << AllMessages();
  EXPECT_TRUE(Said("error: line 11, missing call to $function_begin!")) << AllMessages();
  EXPECT_TRUE(Said("error: line 12, \"N\" not a valid integer!")) << AllMessages();
}

TEST_F(Functions, ChunkClosedInsideAFunctionIsReported) {
  CompileChunk({"$FUNC_BEGIN A 0"});
  // The chunk's "}" is script line 8.
  EXPECT_TRUE(Said("error: line 8, missing call to $function_end!")) << AllMessages();
}

TEST_F(Functions, ParameterCountOutOfRangeWritesNoCodeWords) {
  const Bytes data =
      CompileChunk({"$FUNC_BEGIN A $7FFFFFFF", "$FUNC_END", "$FUNC_BEGIN B -1", "$FUNC_END"});
  EXPECT_EQ(data, Words({StrCrc32("A"), 0, 0, 0, StrCrc32("B"), 0, 0, 0}));
  EXPECT_EQ(CountContaining("out of range"), 2) << AllMessages();
}

TEST_F(Functions, FlagStackIndexCarriesOverBetweenRuns) {
  const uint8_t before = FlagStack().Top;
  // A function never closed: FinishOutput forgets it without restoring its saved flag.
  CompileChunk({"$FUNC_BEGIN A 0"});
  EXPECT_EQ(FlagStack().Top, static_cast<uint8_t>(before + 1));
  CompileChunk({"$FUNC_BEGIN B 0", "$FUNC_END", "$IF 1", "{", "}"});
  EXPECT_EQ(FlagStack().Top, static_cast<uint8_t>(before + 1));
}

}  // namespace
