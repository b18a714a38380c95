// Messages editors understand and scripts as editors save them: the GNU format, exit
// status by kind, byte order marks, CR line ends, tabs, the message rules, output names and
// the size limit.

#include <filesystem>
#include <regex>
#include <sstream>

#include "iffc/CompilerFixture.h"
#include "support/RunProgram.h"

using namespace iffctest;

namespace {

using Strings = std::vector<std::string>;

class IffcRun : public ::testing::Test {
protected:
  testsupport::TProgramResult Run(const Strings& args) {
    return testsupport::RunProgram("iffc", args,
                                   testsupport::TRunOptions().In(dir.Path().string()));
  }
  testsupport::TempDir dir;
};

TEST_F(IffcRun, GnuFormatNamesScriptOrIncludeFileAndLine) {
  // Include files come from the program folder: reach the test's folder from there.
  const std::string rel = std::filesystem::relative(dir.Path(), TESSAVOR_BIN_DIR).string();
  testsupport::WriteText(dir.File("decl.inc"), "// declarations\nstray\nCONST\nA = 1\n");
  testsupport::WriteText(dir.File("gnu.txt"), "$INCLUDE " + rel + "/decl.inc\nHELLO\n}\n");
  const auto r = Run({"--diagnostics=gnu", "gnu.txt"});
  EXPECT_EQ(r.status, 1);
  const std::regex gnu(R"(^(.+):([0-9]+): (error|note): (.+)$)");
  Strings seen;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    if (std::regex_match(line, m, gnu))
      seen.push_back(m[1].str() + "|" + m[2].str() + "|" + m[3].str() + "|" + m[4].str());
  }
  ASSERT_EQ(seen.size(), 3u) << r.out;
  const std::string include = "/" + rel + "/decl.inc|2|error|\"stray\" - expected CONST or TYPE.";
  EXPECT_EQ(seen[0].substr(seen[0].size() - std::min(seen[0].size(), include.size())), include);
  EXPECT_EQ(seen[1], "gnu.txt|2|error|\"HELLO\" - undeclared identifier.");
  EXPECT_EQ(seen[2], "gnu.txt|3|note|too many }");
}

TEST_F(IffcRun, ExitStatusComesFromTheKindNotTheWord) {
  testsupport::WriteText(dir.File("out.txt"), "$OUTPUT no error here\n");
  const auto r = Run({"out.txt"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "no error here\ndone. Compile time: 00:00\n");
  const auto v = Run({"--version"});
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out, std::string("iffc (Tessavor) ") + TESSAVOR_VERSION + "\n");
}

TEST_F(IffcRun, DecompileWritesAScriptOrTheReadersMessage) {
  testsupport::WriteBytes(dir.File("m.iff"),
                          Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 4, 'T', 'E', 'S', 'T'});
  const auto ok = Run({"--decompile", "m.iff", "-o", "m.txt"});
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(ok.out, "decompiled IFF [m.txt]\ncompiling the script gives the identical file.\n");
  testsupport::WriteBytes(dir.File("bad.iff"), Bytes{0, 0, 0, 0});
  const auto bad = Run({"--decompile", "bad.iff"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.err.rfind("EIffReader: ", 0), 0u) << bad.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("bad.iff.txt")));
}

using EditorScripts = CompilerTest;

TEST_F(EditorScripts, ScriptSavedByAnEditorReadsAsItLooks) {
  // Byte order mark, CR-only line ends, tabs between words, a tab inside quotes kept.
  Compile(
      "\xEF\xBB\xBFIFF out.iff\r{\rFORM TEST\r{\rCHUNK DATA\r{\rLONG\t[2]\t1\t2\rCSTRING "
      "\"a\tb\"\r}\r}\r}\r");
  EXPECT_EQ(Diagnostics(), Strings{});
  Bytes expected = U32s({1, 2});
  for (char c : std::string("a\tb")) expected.push_back(static_cast<uint8_t>(c));
  expected.push_back(0);
  EXPECT_EQ(ChunkPayload(), expected);
}

TEST_F(EditorScripts, SurplusBraceIsNotAlsoAMissingOne) {
  Compile("IFF a.iff\n{\n}\n}\nIFF b.iff\n{\n}\n");
  EXPECT_EQ(Diagnostics(), Strings{"hint: line 4, too many }"});
}

TEST_F(EditorScripts, NegativeCountIsReported) {
  CompileInChunk("CHAR [-3] AB\nLONG [-1] 5\n");
  EXPECT_EQ(Diagnostics(),
            (Strings{"error: line 7, \"-3\" not a valid element count (it must be 1 or more).",
                     "error: line 8, \"-1\" not a valid element count (it must be 1 or more)."}));
}

TEST_F(EditorScripts, NameCutForItsChecksumGetsAHint) {
  const std::string name(300, 'N');
  CompileInChunk("CRC32 " + name + "\n");
  EXPECT_EQ(
      Diagnostics(),
      Strings{"hint: line 7, name of 300 characters is cut to its first 255 for its checksum (\"" +
              std::string(20, 'N') + "...\")."});
}

TEST_F(EditorScripts, RepeatedMessageIsSummedUp) {
  std::string body = "BYTE [150]";
  for (int i = 0; i < 150; ++i) body += " 300";
  CompileInChunk(body + "\n");
  const Strings d = Diagnostics();
  ASSERT_EQ(d.size(), 101u);
  const std::string one = "error: line 7, \"300\" not a valid byte value.";
  EXPECT_EQ(d[0], one);
  EXPECT_EQ(d[99], one);
  EXPECT_EQ(d[100], one + " (49 more like this)");
  EXPECT_EQ(ChunkPayload().size(), 150u);  // every element still wrote its byte
}

TEST_F(EditorScripts, OutputNamesMayBeAbsoluteOrInTheHomeFolder) {
  std::filesystem::create_directory(dir.File("sub"));
  Compile("IFF " + dir.File("sub/abs.iff") + "\n{\n}\nIFF C:\\home.iff\n{\n}\n");
  EXPECT_TRUE(std::filesystem::exists(dir.File("sub/abs.iff")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("home.iff")));  // the test folder is the home folder
}

TEST_F(EditorScripts, OutputPastTheLargestSizeIsNotWritten) {
  testsupport::WriteText(dir.File("out.iff"), "previous");
  CompileInChunk("LONG 1\nCHAR [2147483640] A\nLONG 2\n");
  const Strings d = Diagnostics();
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0].rfind("error: line 8, the output would pass 2147483647 bytes", 0), 0u) << d[0];
  EXPECT_EQ(testsupport::ReadText(dir.File("out.iff")), "previous");
}

}  // namespace
