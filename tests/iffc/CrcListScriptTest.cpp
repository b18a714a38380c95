// "$CRC_OUT" in scripts: which CRC32 elements reach the list, and when it is closed.

#include "tests/iffc/TreFuncScript.h"

using namespace flowtest;

namespace {

class CrcListScript : public FlowScript {
protected:
  // "$PATH" makes the scratch folder the place of bare file names.
  std::string PathLine() const { return "$PATH " + dir.Path().string(); }
  std::vector<std::string> Iff(std::vector<std::string> before, std::vector<std::string> body) {
    std::vector<std::string> lines = {PathLine()};
    lines.insert(lines.end(), before.begin(), before.end());
    lines.insert(lines.end(), {"IFF \"out.iff\"", "{", "FORM TEST", "{", "CHUNK DATA", "{"});
    lines.insert(lines.end(), body.begin(), body.end());
    lines.insert(lines.end(), {"}", "}", "}"});
    return lines;
  }
};

TEST_F(CrcListScript, BeforeTheIffLineTheListStaysEmpty) {
  Compile(Iff({"$CRC_OUT crc.txt"}, {"CRC32 abc"}));
  EXPECT_TRUE(Said("writing CRCs to: " + dir.File("crc.txt"))) << AllMessages();
  EXPECT_EQ(testsupport::ReadText(dir.File("crc.txt")), "");
  EXPECT_EQ(Output("out.iff"), FormWithChunk("TEST", "DATA", Words({0xCA6598D0})));
}

TEST_F(CrcListScript, AfterTheIffLineEveryElementIsALine) {
  Compile(
      Iff({}, {"$CRC_OUT crc.txt", "CRC32 abc", "CRC32 [2] ABC \"x y\"", "LONG 1", "CRC32 abc"}));
  EXPECT_EQ(testsupport::ReadText(dir.File("crc.txt")), "abc\r\nABC\r\nx y\r\nabc\r\n");
  EXPECT_EQ(Output("out.iff"),
            FormWithChunk("TEST", "DATA",
                          Words({0xCA6598D0, 0x5CC2DA5A, StrCrc32("x y"), 1, 0xCA6598D0})));
}

TEST_F(CrcListScript, NextCrcOutClosesTheList) {
  Compile(Iff(
      {}, {"$CRC_OUT one.txt", "CRC32 a", "$CRC_OUT two.txt", "CRC32 b", "$CRC_OUT", "CRC32 c"}));
  EXPECT_EQ(testsupport::ReadText(dir.File("one.txt")), "a\r\n");
  EXPECT_EQ(testsupport::ReadText(dir.File("two.txt")), "b\r\n");
}

TEST_F(CrcListScript, EndOfRunClosesAListLeftOpen) {
  // No closing braces: only the end of the run closes the list.
  Compile({PathLine(), "IFF \"out.iff\"", "{", "FORM TEST", "{", "CHUNK DATA", "{",
           "$CRC_OUT crc.txt", "CRC32 last"});
  EXPECT_EQ(testsupport::ReadText(dir.File("crc.txt")), "last\r\n");
}

TEST_F(CrcListScript, NameWithAFolderIsNotMovedIntoTheSearchPath) {
  testsupport::TempDir other(false);
  const std::string target = other.File("list.txt");
  Compile(Iff({}, {"$CRC_OUT " + target, "CRC32 q"}));
  EXPECT_EQ(testsupport::ReadText(target), "q\r\n");
}

TEST_F(CrcListScript, ElementsInATreAreListedToo) {
  Compile({PathLine(), "TRE \"a.tre\"", "$CRC_OUT crc.txt", "{", "TREFILE a", "BLOCK a", "{",
           "CRC32 name", "}", "}"});
  EXPECT_EQ(testsupport::ReadText(dir.File("crc.txt")), "name\r\n");
}

}  // namespace
