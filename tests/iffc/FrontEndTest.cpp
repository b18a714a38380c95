// The script front end: line normalisation, declarations, include files, macros, DATA
// lines, directives, line numbering and the run's entry points.

#include <filesystem>

#include "iffc/CompilerFixture.h"
#include "iffc/CompilerState.h"
#include "util/Crc32.h"
#include "util/Exception.h"
#include "util/Paths.h"
#include "util/StrTools.h"

using namespace iffctest;

namespace {

using Strings = std::vector<std::string>;

// --- NormalizeLine on its own ---

struct NormalizeCase {
  const char* input;
  const char* expected;
};

class Normalize : public ::testing::TestWithParam<NormalizeCase> {};

TEST_P(Normalize, Line) {
  TCompilerState s;
  EXPECT_EQ(NormalizeLine(s, GetParam().input), GetParam().expected);
  // The tokens handed out with the line are those a second split would find.
  std::string line;
  TScriptTokens tokens;
  NormalizeLineInto(s, GetParam().input, line, &tokens);
  const TScriptTokens again(line);
  ASSERT_EQ(tokens.Count(), again.Count()) << line;
  for (size_t i = 0; i < again.Count(); ++i)
    EXPECT_EQ(tokens.Get(static_cast<int64_t>(i)), again.Get(static_cast<int64_t>(i)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Normalize,
    ::testing::Values(
        NormalizeCase{"LONG 1, 2, 3", "LONG 1 2 3"},   // ", " loses the comma
        NormalizeCase{"LONG 1,2,3", "LONG 1 2 3"},     // "," becomes a space
        NormalizeCase{"LONG 1,, 2", "LONG 1 2"},       // a run of commas before a space
        NormalizeCase{"LONG 1 , 2", "LONG 1 \" 2\""},  // space before the comma: two spaces
        NormalizeCase{"LONG 1  2", "LONG 1 \" 2\""},   // two spaces: rest is one token
        NormalizeCase{"FLOAT (1.5)", "FLOAT 1.5"},     // parentheses go
        NormalizeCase{"  LONG 4 // four", "LONG 4"},   // comment and blanks
        NormalizeCase{"// only a comment", ""},        //
        NormalizeCase{"CSTRING \"a b\" x", "CSTRING \"a b\" x"},  // quoted with a space: kept
        NormalizeCase{"CSTRING \"ab\"", "CSTRING ab"},            // quoted without: quotes lost
        NormalizeCase{"CSTRING \"a, (b)\"", "CSTRING \"a b\""},   // quotes do not protect
        NormalizeCase{"CSTRING \"http://x\"", "CSTRING http"},    // nor from comments
        NormalizeCase{"FILE a/b c/", "FILE a/b c/"},              // a lone "/" is text
        NormalizeCase{"long\t5", "long\t5"},                      // a tab is no separator
        NormalizeCase{"A\r", "A"}));

TEST(NormalizeLimits, AtMost256TokensSurvive) {
  TCompilerState s;
  std::string line = "LONG";
  for (int i = 1; i <= 300; ++i) line += " " + std::to_string(i);
  const std::string out = NormalizeLine(s, line);
  EXPECT_EQ(GetToken(out, 255), "255");
  EXPECT_EQ(GetToken(out, 256), "");
}

TEST(NormalizeLimits, TypeOnlyFirstConstOnlyAfterAndOnce) {
  TCompilerState s;
  s.TypeList.PushBack({"vec", "FLOAT [3]"});
  s.TypeList.PushBack({"EMPTY", ""});
  s.ConstList.PushBack({"ONE", "1"});
  s.ConstList.PushBack({"TWO", "ONE"});
  s.ConstList.PushBack({"one", "99"});  // shadowed: the first entry wins
  EXPECT_EQ(NormalizeLine(s, "VEC one two vec"), "FLOAT [3] 1 ONE vec");
  EXPECT_EQ(NormalizeLine(s, "ONE ONE"), "ONE 1");
  EXPECT_EQ(NormalizeLine(s, "empty 1"), "empty 1");
}

// --- lines and messages ---

class Lines : public CompilerTest {};

TEST_F(Lines, BlankAndCommentLinesAreSilentButCounted) {
  Compile("\n   \n// note\n\t\nFOO\n");
  EXPECT_EQ(Diagnostics(), Strings{"error: line 5, \"FOO\" - undeclared identifier."});
}

TEST_F(Lines, LastLineWithoutLineEndIsCompiled) {
  Compile("foo\nbar");
  EXPECT_EQ(Diagnostics(), (Strings{"error: line 1, \"FOO\" - undeclared identifier.",
                                    "error: line 2, \"BAR\" - undeclared identifier."}));
}

TEST_F(Lines, CrLfAndLfScriptsCompileTheSame) {
  const std::string lf =
      "IFF out.iff\n{\nFORM TEST\n{\nCHUNK DATA\n{\nCSTRING \"a b\"\nLONG 1, 2\nBAD\n}\n}\n}\n";
  std::string crlf;
  for (char c : lf) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  Compile(lf);
  const Bytes lfOut = Output();
  const Strings lfMessages = Diagnostics();
  Compile(crlf);
  EXPECT_EQ(Output(), lfOut);
  EXPECT_EQ(Diagnostics(), lfMessages);
  EXPECT_EQ(lfMessages, (Strings{"hint: line 8, wrong number of elements. Expected: 1",
                                 "error: line 9, \"BAD\" - undeclared identifier."}));
}

TEST_F(Lines, KeywordsInAnyCase) {
  CompileInChunk("long 5\nLoNg 6\n");
  EXPECT_EQ(ChunkPayload(), U32s({5, 6}));
}

TEST_F(Lines, KeywordsAreMatchedWhole) {
  // Same length and first eight characters as a keyword, or a keyword's beginning.
  Compile("CRC32FUNX A 0\n$ORIGINAL_CRX 5\nLON 1\nLONGS 1\n");
  EXPECT_EQ(Diagnostics(), (Strings{"error: line 1, \"CRC32FUNX\" - undeclared identifier.",
                                    "error: line 2, \"$ORIGINAL_CRX\" - undeclared identifier.",
                                    "error: line 3, \"LON\" - undeclared identifier.",
                                    "error: line 4, \"LONGS\" - undeclared identifier."}));
}

TEST_F(Lines, DoneIsTheLastMessage) {
  Compile("X\n");
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all.back(), "done. Compile time: 00:00");
}

TEST_F(Lines, DirectiveMessages) {
  Compile("$OUTPUT Hello, world  (again)\n$NO_IFF\n$PATH some\\dir\n$PATH other/dir/\n$PATH\n");
  EXPECT_EQ(Diagnostics(),
            (Strings{"Hello world \" again\"", "error: line 2, $no_iff not yet implemented!",
                     "path set to: some\\dir\\", "path set to: other/dir/",
                     "error: line 5, $PATH expects a directory."}));
}

TEST_F(Lines, LineReaderReplacesTheFile) {
  const Strings script = {"IFF out.iff", "{",        "FORM TEST", "{", "CHUNK DATA",
                          "{",           "LONG 3\r", "}",         "}", "}"};
  size_t next = 0;
  SetLineReader([&](std::string& line, bool& end) {
    line = script[next++];
    end = next == script.size();
  });
  all.clear();
  // The script file does not exist: with a reader it is never opened; its folder still
  // decides where the output goes.
  CompileScript(dir.File("not-there.txt"));
  EXPECT_EQ(next, script.size());
  EXPECT_EQ(ChunkPayload(), U32s({3}));
}

TEST_F(Lines, MissingScriptEndsTheRunWithAFileError) {
  EXPECT_THROW(CompileScript(dir.File("missing.txt")), EInOutError);
}

TEST_F(Lines, CompileFileForwardsToTheHostHook) {
  testsupport::WriteText(ScriptPath(), "NOPE\n");
  Strings hooked;
  CompilerMessageHook = [&](const std::string& m) { hooked.push_back(m); };
  CompileFile(ScriptPath());
  CompilerMessageHook = nullptr;
  ASSERT_EQ(hooked.size(), 2u);
  EXPECT_EQ(hooked[0], "error: line 1, \"NOPE\" - undeclared identifier.");
  EXPECT_TRUE(all.empty());  // the fixture's sink was replaced
}

TEST_F(Lines, DeclarationsDoNotCarryOverToTheNextRun) {
  CompileInChunk("$CONST X = 5\nLONG X\n");
  EXPECT_EQ(ChunkPayload(), U32s({5}));
  CompileInChunk("LONG X\n");
  EXPECT_EQ(Diagnostics(), Strings{"error: line 7, \"X\" not a valid integer!"});
}

// --- CONST and TYPE ---

class Declarations : public CompilerTest {};

TEST_F(Declarations, ConstReplacesNamesAfterTheFirstToken) {
  CompileInChunk("$CONST SIZE = 8\nLONG SIZE\nSIZE\n");
  EXPECT_EQ(ChunkPayload(), U32s({8}));
  EXPECT_EQ(Diagnostics(), Strings{"error: line 9, \"SIZE\" - undeclared identifier."});
}

TEST_F(Declarations, ConstCannotBeRedefined) {
  CompileInChunk("$CONST SIZE = 8\n$CONST SIZE = 9\nLONG SIZE\nLONG 8\n");
  EXPECT_EQ(ChunkPayload(), U32s({8, 9}));
}

TEST_F(Declarations, TypeMakesADataLine) {
  CompileInChunk(
      "$TYPE VEC3 = DATA [3] \\ FLOAT %1% \\ FLOAT %2% \\ FLOAT %3% \\\\\nVEC3 1.0 2.0 3.0\n");
  Bytes expected;
  for (float f : {1.0f, 2.0f, 3.0f}) testsupport::PutF32(expected, f);
  EXPECT_EQ(ChunkPayload(), expected);
  EXPECT_EQ(Diagnostics(), Strings{});
}

// --- include files ---

class Includes : public CompilerTest {
protected:
  // The name to write behind "$INCLUDE" for a file of the temp folder: include files are
  // looked up in the program folder, so the name climbs out of it.
  std::string IncludeName(const std::string& file) {
    return std::filesystem::relative(dir.File(file), ExeDirectory()).string();
  }
};

TEST_F(Includes, DeclarationsFromAFileAndABadLine) {
  testsupport::WriteText(
      dir.File("decl.txt"),
      "ORPHAN = 1\r\n// comment\r\n\r\nconst\r\n  TEN = 10 // ten\r\nPAIR = LONG [2]\r\n"
      "Type\r\nPAIR2 = LONG [2]\r\n");
  const std::string name = IncludeName("decl.txt");
  CompileInChunk("$INCLUDE " + name + "\nLONG TEN\nPAIR2 1 2\n");
  EXPECT_EQ(ChunkPayload(), U32s({10, 1, 2}));
  EXPECT_EQ(Diagnostics(), Strings{"error: [" + ExeDirectory() + name +
                                   "] line 1, \"ORPHAN = 1\" - expected CONST or TYPE."});
}

TEST_F(Includes, MissingIncludeFile) {
  Compile("$INCLUDE nothing-here.def\n");
  EXPECT_EQ(Diagnostics(), Strings{"error: line 1, include file not found: " + ExeDirectory() +
                                   "nothing-here.def"});
}

// --- macros ---

class Macros : public CompilerTest {};

TEST_F(Macros, LinesRunNewestFirstAndWriteCClears) {
  CompileInChunk("M: LONG 1\nM:LONG 2\nWRITE m\nWRITE M\nWRITE.C M\nWRITE M\n");
  EXPECT_EQ(ChunkPayload(), U32s({2, 1, 2, 1, 2, 1}));
  EXPECT_EQ(Diagnostics(), Strings{});
}

TEST_F(Macros, ClearForgetsEveryLine) {
  CompileInChunk("A: LONG 1\nB: LONG 2\nA: LONG 3\nCLEAR a\nWRITE A\nWRITE B\nWRITE NONE\n");
  EXPECT_EQ(ChunkPayload(), U32s({2}));
  EXPECT_EQ(Diagnostics(), Strings{});
}

TEST_F(Macros, BadLineIsReportedAtItsDefinition) {
  CompileInChunk("M: LONG 1\nM: BOGUS 2\n\nWRITE M\n");
  EXPECT_EQ(ChunkPayload(), U32s({1}));
  EXPECT_EQ(Diagnostics(), Strings{"error: line 8, \"BOGUS\" - undeclared identifier."});
}

TEST_F(Macros, TextIsNormalisedAgainWhenRun) {
  CompileInChunk("M: LONG N\n$CONST N = 4\nWRITE M\n");
  EXPECT_EQ(ChunkPayload(), U32s({4}));
}

// --- DATA lines ---

class DataLines : public CompilerTest {};

TEST_F(DataLines, ArgumentsFillTheReferences) {
  CompileInChunk("DATA [2] \\ LONG %2% \\ BYTE %1% \\\\ 7 9\n");
  Bytes expected = U32s({9});
  expected.push_back(7);
  EXPECT_EQ(ChunkPayload(), expected);
  EXPECT_EQ(Diagnostics(), Strings{});
}

TEST_F(DataLines, TooFewArgumentsRunNothing) {
  CompileInChunk("DATA [2] \\ LONG %1% \\ LONG %2% \\\\ 5\n");
  EXPECT_EQ(ChunkPayload(), Bytes{});
  EXPECT_EQ(Diagnostics(), Strings{"error: line 7, wrong number of elements. Expected: 2"});
}

TEST_F(DataLines, TooManyArgumentsAreHintedAndTheLineRuns) {
  CompileInChunk("DATA [1] \\ LONG %1% \\\\ 5 6\n");
  EXPECT_EQ(ChunkPayload(), U32s({5}));
  EXPECT_EQ(Diagnostics(), Strings{"hint: line 7, wrong number of elements. Expected: 1"});
}

TEST_F(DataLines, ZeroCountAndUnknownStatement) {
  CompileInChunk("DATA [0] \\ LONG 3 \\ NOPE 1 \\\\\n");
  EXPECT_EQ(ChunkPayload(), U32s({3}));
  EXPECT_EQ(Diagnostics(), (Strings{"error: line 7, \"0\" not a valid integer.",
                                    "error: line 7, \"NOPE\" - undeclared identifier.",
                                    "error: line 7, \"DATA\" - undeclared identifier."}));
}

TEST_F(DataLines, ArgumentsStayForTheNextLine) {
  CompileInChunk("DATA [2] \\ LONG %2% \\\\ 1 2\nDATA \\ LONG %2% \\\n");
  EXPECT_EQ(ChunkPayload(), U32s({2, 2}));
}

TEST_F(DataLines, ReferenceOutsideTheSlotsIsReported) {
  CompileInChunk("DATA [1] \\ LONG %33% \\ LONG %1% \\\\ 4\n");
  EXPECT_EQ(ChunkPayload(), U32s({4}));
  EXPECT_EQ(Diagnostics(),
            Strings{"error: line 7, \"%33%\" not a valid argument reference (1 to 32)."});
}

TEST_F(DataLines, CountAbove32IsRefused) {
  CompileInChunk("DATA [33] \\ LONG 1 \\\\ 1\n");
  EXPECT_EQ(ChunkPayload(), Bytes{});
  EXPECT_EQ(Diagnostics(), Strings{"error: line 7, too many DATA arguments: 33 (at most 32)."});
}

TEST_F(DataLines, ReferenceThatIsNoIntegerEndsTheRun) {
  testsupport::WriteText(ScriptPath(), "IFF out.iff\n{\nDATA [1] \\ LONG %x% \\\\ 1\n");
  EXPECT_THROW(CompileScript(ScriptPath()), EConvertError);
}

}  // namespace
