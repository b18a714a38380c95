// The block compiler: FORM/CHUNK layout and size patching, braces, PROP blocks and the
// data items, byte for byte and message for message. Expected bytes are built by hand
// from the container layout (big-endian sizes, pad byte behind odd chunks, little-endian
// data).

#include <zlib.h>

#include <filesystem>

#include "iffc/CompilerFixture.h"
#include "util/Crc32.h"
#include "util/Exception.h"

using namespace iffctest;
using testsupport::PutText;
using testsupport::PutU32;

namespace {

using Strings = std::vector<std::string>;

// --- layout ---

class Layout : public CompilerTest {};

TEST_F(Layout, OneLongInOneChunkIsTwentyFourBytes) {
  Compile("IFF \"a.iff\"\n{\nFORM TEST\n{\nCHUNK DATA\n{\nLONG 1\n}\n}\n}\n");
  Bytes expected;
  PutHeader(expected, "FORM", 0x10);
  PutText(expected, "TEST");
  PutHeader(expected, "DATA", 4);
  PutU32(expected, 1);
  EXPECT_EQ(Output("a.iff"), expected);
  EXPECT_EQ(Diagnostics(), Strings{});
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0], "compiling IFF [" + dir.Path().string() + "/a.iff] ...");
  EXPECT_EQ(all[1], "done. Compile time: 00:00");
}

TEST_F(Layout, OddChunkIsPaddedAndTheFormCountsThePad) {
  CompileInChunk("BYTE [3] 1 2 3\n");
  Bytes expected;
  PutHeader(expected, "FORM", 4 + 3 + 1 + 8);
  PutText(expected, "TEST");
  PutHeader(expected, "DATA", 3);
  expected.insert(expected.end(), {1, 2, 3, 0});
  EXPECT_EQ(Output(), expected);
}

TEST_F(Layout, NestedFormsAddChildHeadersAndPads) {
  Compile(
      "IFF out.iff\n{\nFORM OUTR\n{\nFORM INNR\n{\nCHUNK AAAA\n{\nBYTE 9\n}\n}\n"
      "CHUNK BBBB\n{\nLONG 2\n}\n}\n}\n");
  Bytes inner;
  PutHeader(inner, "FORM", 4 + 8 + 2);
  PutText(inner, "INNR");
  PutHeader(inner, "AAAA", 1);
  inner.insert(inner.end(), {9, 0});
  Bytes expected;
  PutHeader(expected, "FORM", 4 + static_cast<uint32_t>(inner.size()) + 12);
  PutText(expected, "OUTR");
  expected.insert(expected.end(), inner.begin(), inner.end());
  PutHeader(expected, "BBBB", 4);
  PutU32(expected, 2);
  EXPECT_EQ(Output(), expected);
}

TEST_F(Layout, ShortFormTypeIsZeroPadded) {
  Compile("IFF out.iff\n{\nFORM AB\n{\n}\n}\n");
  Bytes expected;
  PutHeader(expected, "FORM", 4);
  expected.insert(expected.end(), {'A', 'B', 0, 0});
  EXPECT_EQ(Output(), expected);
}

TEST_F(Layout, FormClosedByTheOutermostBraceKeepsAZeroHeader) {
  Compile("IFF out.iff\nFORM TEST\n{\nCHUNK DATA\n{\nLONG 1\n}\n}\n");
  Bytes expected(12, 0);
  PutHeader(expected, "DATA", 4);
  PutU32(expected, 1);
  EXPECT_EQ(Output(), expected);
}

TEST_F(Layout, DollarChunkIdIsALittleEndianValue) {
  CompileInChunk("}\nCHUNK $54524556\n{\nLONG 7\n");
  const Bytes out = Output();
  ASSERT_EQ(out.size(), 12u + 8 + 8 + 4);
  EXPECT_EQ(std::string(out.begin() + 20, out.begin() + 24), "VERT");
  EXPECT_EQ(Diagnostics(), Strings{});
}

TEST_F(Layout, LongChunkIdIsCutAndReported) {
  Compile("IFF out.iff\n{\nFORM TEST\n{\nCHUNK ABCDE\n{\n}\n}\n}\n");
  const Bytes out = Output();
  ASSERT_EQ(out.size(), 20u);
  EXPECT_EQ(std::string(out.begin() + 12, out.begin() + 16), "ABCD");
  EXPECT_EQ(Diagnostics(), Strings{"error: line 5, chunk id \"ABCDE\" invalid."});
}

TEST_F(Layout, ShortChunkIdIsZeroPaddedAndReported) {
  Compile("IFF out.iff\n{\nFORM TEST\n{\nCHUNK AB\n{\n}\n}\n}\n");
  const Bytes out = Output();
  ASSERT_EQ(out.size(), 20u);
  EXPECT_EQ(Bytes(out.begin() + 12, out.begin() + 16), (Bytes{'A', 'B', 0, 0}));
  EXPECT_EQ(Diagnostics(), Strings{"error: line 5, chunk id \"AB\" invalid."});
}

TEST_F(Layout, ResultIsTheOutputPathAndTheScriptFolderWithout) {
  EXPECT_EQ(CompileInChunk(""), dir.Path().string() + "/");
  EXPECT_EQ(Compile("IFF out.iff\n{\n"), dir.Path().string() + "/out.iff");
}

// --- braces ---

class Braces : public CompilerTest {};

TEST_F(Braces, TooManyClosingBracesAreHintedAndNotCalledMissing) {
  Compile("}\n");
  EXPECT_EQ(Diagnostics(), Strings{"hint: line 1, too many }"});
}

TEST_F(Braces, BraceWithoutAnOpenFormIsAnUndeclaredIdentifier) {
  Compile("IFF out.iff\n{\n{\n}\n}\n");
  EXPECT_EQ(Diagnostics(), Strings{"error: line 4, \"}\" - undeclared identifier."});
}

TEST_F(Braces, MissingBraceAtTheEndAndBeforeTheNextIff) {
  Compile("IFF a.iff\n{\nIFF b.iff\n{\n");
  EXPECT_EQ(Diagnostics(), (Strings{"hint: line 3, } missing.", "hint: } missing."}));
  // Both files exist: the first was finished by the second IFF line, the second at the end.
  EXPECT_TRUE(std::filesystem::exists(dir.File("a.iff")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("b.iff")));
}

TEST_F(Braces, TwoFilesFromOneScript) {
  Compile("IFF a.iff\n{\nFORM AAAA\n{\n}\n}\nIFF b.iff\n{\nFORM BBBB\n{\n}\n}\n");
  Bytes a, b;
  PutHeader(a, "FORM", 4);
  PutText(a, "AAAA");
  PutHeader(b, "FORM", 4);
  PutText(b, "BBBB");
  EXPECT_EQ(Output("a.iff"), a);
  EXPECT_EQ(Output("b.iff"), b);
}

// --- PROP ---

class Prop : public CompilerTest {};

TEST_F(Prop, IsAFormOfTypePropHoldingOneChunk) {
  Compile("IFF out.iff\n{\nFORM TEST\n{\nPROP ABCD\n{\nLONG 5\n}\n}\n}\n");
  Bytes expected;
  PutHeader(expected, "FORM", 4 + 8 + 16);  // type, then the PROP FORM with its header
  PutText(expected, "TEST");
  PutHeader(expected, "FORM", 4 + 8 + 4);
  PutText(expected, "PROP");
  PutHeader(expected, "ABCD", 4);
  PutU32(expected, 5);
  EXPECT_EQ(Output(), expected);
  EXPECT_EQ(Diagnostics(), Strings{});
}

TEST_F(Prop, BlocksInsideAPropAreReportedAndCompiled) {
  Compile("IFF out.iff\n{\nFORM TEST\n{\nPROP ABCD\n{\nFORM X\nCHUNK Y\nPROP ZZZZ\n");
  EXPECT_EQ(Diagnostics(),
            (Strings{"error: line 7, FORM not allowed inside a PROP!",
                     "error: line 8, CHUNK not allowed inside a PROP!",
                     "error: line 8, chunk id \"Y\" invalid.",
                     "error: line 9, PROP not allowed inside a PROP!", "hint: } missing."}));
}

// --- data items ---

class Items : public CompilerTest {};

TEST_F(Items, LongValues) {
  CompileInChunk("LONG -1\nLONG $10\nLONG 0x20 x30 X40 0X50\n");
  EXPECT_EQ(ChunkPayload(), U32s({0xFFFFFFFF, 0x10, 0x20}));
  EXPECT_EQ(Diagnostics(), Strings{"hint: line 9, wrong number of elements. Expected: 1"});
}

TEST_F(Items, NameWhereAnIntegerBelongs) {
  CompileInChunk("LONG 16777215\nLONG FOO\n");
  EXPECT_EQ(ChunkPayload(), Bytes{});
  EXPECT_EQ(Diagnostics(), (Strings{"error: line 7, \"16777215\" not a valid integer!",
                                    "error: line 8, \"FOO\" not a valid integer!"}));
}

TEST_F(Items, NamesBecomeChecksumsWithGenCrc) {
  CompileInChunk("$GEN_CRC+\nLONG 16777215\nLONG FOO\n$GEN_CRC-\nLONG BAR\n");
  EXPECT_EQ(ChunkPayload(), U32s({StrCrc32("16777215"), StrCrc32("FOO")}));
  EXPECT_EQ(Diagnostics(), Strings{"error: line 11, \"BAR\" not a valid integer!"});
}

TEST_F(Items, CountedLongWithTooFewAndTooManyElements) {
  CompileInChunk("LONG [3] 1 2 3\nLONG [3] 4 5\nLONG [2] 6 7 8\nLONG [x] 9\n");
  EXPECT_EQ(ChunkPayload(), U32s({1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(Diagnostics(), (Strings{"error: line 8, wrong number of elements. Expected: 3",
                                    "hint: line 9, wrong number of elements. Expected: 2",
                                    "error: line 10, \"x\" not a valid integer.",
                                    "hint: line 10, wrong number of elements. Expected: 0"}));
}

TEST_F(Items, ByteOutOfRangeStillWritesTheLastByte) {
  CompileInChunk("BYTE 7\nBYTE 256\nBYTE [2] $FF abc\n");
  EXPECT_EQ(ChunkPayload(), (Bytes{7, 7, 0xFF, 0xFF}));
  EXPECT_EQ(Diagnostics(), (Strings{"error: line 8, \"256\" not a valid byte value.",
                                    "error: line 9, \"abc\" not a valid byte value."}));
}

TEST_F(Items, FloatAndTheLastGoodValueForBadText) {
  CompileInChunk("FLOAT 1.5\nFLOAT 1,5\nFLOAT [2] -2e1 .25\n");
  Bytes expected;
  testsupport::PutF32(expected, 1.5f);
  testsupport::PutF32(expected, 1.0f);  // "1,5" is "1 5": the element is 1, 5 is extra
  testsupport::PutF32(expected, -20.0f);
  testsupport::PutF32(expected, 0.25f);
  EXPECT_EQ(ChunkPayload(), expected);
  EXPECT_EQ(Diagnostics(), Strings{"hint: line 8, wrong number of elements. Expected: 1"});
}

TEST_F(Items, FloatThatIsNoNumber) {
  CompileInChunk("FLOAT 2.0\nFLOAT abc\nFLOAT 1e99\n");
  Bytes expected;
  for (int i = 0; i < 3; ++i) testsupport::PutF32(expected, 2.0f);
  EXPECT_EQ(ChunkPayload(), expected);
  EXPECT_EQ(Diagnostics(), (Strings{"error: line 8, \"abc\" not a valid floating point value.",
                                    "error: line 9, \"1e99\" not a valid floating point value."}));
}

TEST_F(Items, CharPadsAndCuts) {
  CompileInChunk("CHAR [4] AB\nCHAR [2] ABCD\nCHAR AB\n");
  EXPECT_EQ(ChunkPayload(), (Bytes{'A', 'B', 0, 0, 'A', 'B'}));
  EXPECT_EQ(Diagnostics(), (Strings{"hint: line 8, wrong number of elements. Expected: 2",
                                    "error: line 9, expected number of elements."}));
}

// Found by the fuzzer: a CHAR without text handed an empty token's null pointer to memcpy.
TEST_F(Items, CharWithoutTextWritesZeros) {
  CompileInChunk("CHAR [3]\n");
  EXPECT_EQ(ChunkPayload(), (Bytes{0, 0, 0}));
  EXPECT_EQ(Diagnostics(), Strings{});
}

TEST_F(Items, CStringWithASpaceAndSeveral) {
  CompileInChunk("CSTRING \"a b\"\nCSTRING [2] x yz\n");
  EXPECT_EQ(ChunkPayload(), (Bytes{'a', ' ', 'b', 0, 'x', 0, 'y', 'z', 0}));
  EXPECT_EQ(Diagnostics(), Strings{});
}

TEST_F(Items, Crc32OfTheTextAsWritten) {
  CompileInChunk("CRC32 abc\nCRC32 [2] ABC int\n");
  EXPECT_EQ(ChunkPayload(), U32s({0xCA6598D0, 0x5CC2DA5A, 0xEB1003A3}));
}

TEST_F(Items, Crc32FuncWritesCodeAndParameters) {
  CompileInChunk("CRC32FUNC PLAY 8 1 2\n");
  EXPECT_EQ(ChunkPayload(), U32s({(StrCrc32("PLAY") & 0xFFFFFF00u) | 8u, 1, 2}));
  EXPECT_EQ(Diagnostics(), Strings{});
}

TEST_F(Items, Crc32FuncParameterCountChecks) {
  CompileInChunk("CRC32FUNC PLAY 8 1\nCRC32FUNC STOP 4 1 2\n");
  EXPECT_EQ(ChunkPayload(), U32s({(StrCrc32("PLAY") & 0xFFFFFF00u) | 8u, 1,
                                  (StrCrc32("STOP") & 0xFFFFFF00u) | 4u, 1}));
  EXPECT_EQ(Diagnostics(), (Strings{"error: line 7, wrong number of parameters. Expected: 2",
                                    "       \"CRC32FUNC PLAY 8 1\"",
                                    "hint: line 8, wrong number of parameters. Expected: 1",
                                    "      \"CRC32FUNC STOP 4 1 2\""}));
}

TEST_F(Items, Crc32FuncNameParameterNeedsGenCrc) {
  CompileInChunk("CRC32FUNC GO 4 target\n$GEN_CRC+\nCRC32FUNC GO 4 target\n");
  const uint32_t code = (StrCrc32("GO") & 0xFFFFFF00u) | 4u;
  EXPECT_EQ(ChunkPayload(), U32s({code, code, StrCrc32("target")}));
  EXPECT_EQ(Diagnostics(), Strings{"error: line 7, \"target\" not a valid integer."});
}

// --- data files ---

class DataFiles : public CompilerTest {
protected:
  void MakeFile(const std::string& name, size_t size) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(i * 7 + i / 256);
    testsupport::WriteBytes(dir.File(name), b);
    data = b;
  }
  Bytes data;
};

TEST_F(DataFiles, EmptyFileWritesNothing) {
  MakeFile("empty.bin", 0);
  CompileInChunk("$PATH " + dir.Path().string() + "\nFILE empty.bin\n");
  EXPECT_EQ(ChunkPayload(), Bytes{});
}

TEST_F(DataFiles, FileIsCopiedUnchanged) {
  MakeFile("block.bin", 512);
  CompileInChunk("$PATH " + dir.Path().string() + "\nFILE block.bin\n");
  EXPECT_EQ(ChunkPayload(), data);
  EXPECT_EQ(Diagnostics(), Strings{"path set to: " + dir.Path().string() + "/"});
}

TEST_F(DataFiles, LargeOddFileBetweenOtherItemsKeepsItsPlace) {
  MakeFile("big.bin", 3 * 1024 * 1024 + 1);
  CompileInChunk("LONG 1\nFILE " + dir.File("big.bin") + "\nBYTE 2\n");
  Bytes expected = U32s({1});
  expected.insert(expected.end(), data.begin(), data.end());
  expected.push_back(2);
  EXPECT_EQ(ChunkPayload(), expected);
}

TEST_F(DataFiles, HomeFolderDrivePrefix) {
  MakeFile("vert.kvt", 12);
  CompileInChunk("FILE c:\\vert.kvt\nFILE C:/vert.kvt\n");
  Bytes expected = data;
  expected.insert(expected.end(), data.begin(), data.end());
  EXPECT_EQ(ChunkPayload(), expected);
}

TEST_F(DataFiles, MissingFileIsReportedWithTheResolvedPath) {
  CompileInChunk("$PATH data\\\nFILE nothing.bin\nFILE.Z sub\\none.bin\n");
  EXPECT_EQ(ChunkPayload(), Bytes{});
  EXPECT_EQ(Diagnostics(),
            (Strings{"path set to: data\\", "error: line 8, File not found: data\\nothing.bin",
                     "error: line 9, File not found: sub\\none.bin"}));
}

TEST_F(DataFiles, FileZDecompressesToItsInput) {
  MakeFile("pic.gct", 5000);
  CompileInChunk("FILE.Z " + dir.File("pic.gct") + "\n");
  const Bytes packed = ChunkPayload();
  ASSERT_GT(packed.size(), 2u);
  EXPECT_EQ(packed[0], 0x78);  // zlib header, 32K window
  Bytes unpacked(data.size());
  uLongf size = unpacked.size();
  ASSERT_EQ(uncompress(unpacked.data(), &size, packed.data(), packed.size()), Z_OK);
  EXPECT_EQ(size, data.size());
  EXPECT_EQ(unpacked, data);
  char percent[32];
  std::snprintf(percent, sizeof percent, "%.1f",
                100.0 * static_cast<double>(packed.size()) / static_cast<double>(data.size()));
  EXPECT_EQ(Diagnostics(), Strings{"added " + dir.File("pic.gct") + " - " + percent + "%"});
}

TEST_F(DataFiles, EmptyFileZIsAnEmptyStream) {
  MakeFile("none.bin", 0);
  CompileInChunk("FILE.Z " + dir.File("none.bin") + "\n");
  const Bytes packed = ChunkPayload();
  uint8_t out = 0;
  uLongf size = 1;
  EXPECT_EQ(uncompress(&out, &size, packed.data(), packed.size()), Z_OK);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(Diagnostics(), Strings{"added " + dir.File("none.bin") + " - 100.0%"});
}

// --- limits ---

class Limits : public CompilerTest {};

TEST_F(Limits, FormsNestUpToTheSlotTableAndNoDeeper) {
  std::string script = "IFF out.iff\n{\n";
  const int depth = 2049 + 3;
  for (int i = 0; i < depth; ++i) script += "FORM NEST\n{\n";
  script += "CHUNK DATA\n{\nLONG 1\n}\n";
  for (int i = 0; i < depth; ++i) script += "}\n";
  script += "}\n";
  Compile(script);
  const Strings d = Diagnostics();
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d[0], "error: line " + std::to_string(3 + 2 * 2049) +
                      ", FORM nested too deeply (at most 2049 levels).");
  // The 2049 FORMs that were compiled are complete and nested: the innermost holds the
  // chunk, each outer one its child.
  const Bytes out = Output();
  ASSERT_EQ(out.size(), 2049u * 12 + 12);
  uint32_t size = 4 + 12;
  for (int level = 2048; level >= 0; --level) {
    const size_t at = static_cast<size_t>(level) * 12;
    const uint32_t got = static_cast<uint32_t>(out[at + 4]) << 24 | out[at + 5] << 16 |
                         out[at + 6] << 8 | out[at + 7];
    ASSERT_EQ(got, size) << "level " << level;
    size += 12;
  }
}

TEST_F(Limits, ManyChunksBetweenFormClosesAreAllPatched) {
  std::string body = "}\n";
  const int chunks = 3000;
  for (int i = 0; i < chunks; ++i)
    body += "CHUNK C" + std::to_string(100 + i % 900) + "\n{\nBYTE 1\n}\n";
  body += "CHUNK LAST\n{\n";
  CompileInChunk(body);
  const Bytes out = Output();
  ASSERT_EQ(out.size(), 12u + 8 + static_cast<size_t>(chunks) * 10 + 8);
  for (int i = 0; i < chunks; ++i) {
    const size_t at = 20 + static_cast<size_t>(i) * 10;
    ASSERT_EQ(Bytes(out.begin() + at + 4, out.begin() + at + 9), (Bytes{0, 0, 0, 1, 1})) << i;
  }
  const uint32_t formSize =
      static_cast<uint32_t>(out[4]) << 24 | out[5] << 16 | out[6] << 8 | out[7];
  EXPECT_EQ(formSize, out.size() - 8);
  EXPECT_EQ(Diagnostics(), Strings{});
}

TEST_F(Limits, OverlongCStringIsCutAndReported) {
  const std::string text(300, 'q');
  CompileInChunk("CSTRING " + text + "\n");
  Bytes expected(255, 'q');
  expected.push_back(0);
  EXPECT_EQ(ChunkPayload(), expected);
  EXPECT_EQ(Diagnostics(),
            Strings{"error: line 7, \"qqqqqqqqqqqqqqqqqqqq...\" too long for a CSTRING "
                    "(300 characters, at most 255); cut to 255."});
}

TEST_F(Limits, ChunkIdWithDollarThatIsNoIntegerIsReported) {
  Compile("IFF out.iff\n{\nFORM TEST\n{\nCHUNK $XYZ\n{\n}\n}\n}\n");
  const Bytes out = Output();
  ASSERT_EQ(out.size(), 20u);
  EXPECT_EQ(std::string(out.begin() + 12, out.begin() + 16), "$XYZ");
  EXPECT_EQ(Diagnostics(), Strings{"error: line 5, chunk id \"$XYZ\" invalid."});
}

TEST_F(Limits, Crc32FuncByteCountThatIsNoByte) {
  CompileInChunk("CRC32FUNC GO many\nCRC32FUNC GO 300\n");
  const uint32_t code = StrCrc32("GO") & 0xFFFFFF00u;
  EXPECT_EQ(ChunkPayload(), U32s({code, code}));
  EXPECT_EQ(Diagnostics(), (Strings{"error: line 7, \"many\" not a valid byte value.",
                                    "error: line 8, \"300\" not a valid byte value."}));
}

TEST_F(Limits, WritingWithoutAnOutputEndsTheRun) {
  testsupport::WriteText(ScriptPath(), "LONG 1\n");
  EXPECT_THROW(CompileScript(ScriptPath()), EInOutError);
}

TEST_F(Limits, IffWithoutANameEndsTheRunWithAFileError) {
  testsupport::WriteText(ScriptPath(), "IFF\n{\n}\n");
  EXPECT_THROW(CompileScript(ScriptPath()), EInOutError);
}

TEST_F(Limits, UnfinishedOutputIsRemovedWhenTheRunEnds) {
  testsupport::WriteBytes(dir.File("out.iff"), Bytes{1, 2, 3});
  testsupport::WriteText(ScriptPath(), "IFF out.iff\n{\nLONG 1\n$ORIGINAL_CRC nonsense\n");
  EXPECT_THROW(CompileScript(ScriptPath()), EConvertError);
  EXPECT_EQ(Output(), (Bytes{1, 2, 3}));
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
    EXPECT_EQ(e.path().filename().string().find(".tmp-"), std::string::npos) << e.path();
  }
}

// --- checksum comparison ---

class OriginalCrc : public CompilerTest {
protected:
  static Bytes TwentyFour() {
    Bytes b;
    PutHeader(b, "FORM", 0x10);
    PutText(b, "TEST");
    PutHeader(b, "DATA", 4);
    PutU32(b, 1);
    return b;
  }
  static std::string Hex(uint32_t v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "$%08X", v);
    return buf;
  }
};

TEST_F(OriginalCrc, MatchingChecksum) {
  const Bytes b = TwentyFour();
  Compile("$ORIGINAL_CRC " + Hex(Crc32Buffer(b.data(), static_cast<int64_t>(b.size()))) +
          "\nIFF out.iff\n{\nFORM TEST\n{\nCHUNK DATA\n{\nLONG 1\n}\n}\n}\n");
  EXPECT_EQ(Output(), b);
  EXPECT_EQ(Diagnostics(), Strings{"Compiled file CRC is identical to source."});
}

TEST_F(OriginalCrc, DifferentChecksumIsHintedOnce) {
  Compile(
      "IFF out.iff\n$ORIGINAL_CRC 12345\n{\nFORM TEST\n{\nCHUNK DATA\n{\nLONG 1\n}\n}\n}\nIFF "
      "b.iff\n{\n}\n");
  EXPECT_EQ(Diagnostics(), Strings{"hint: Compiled file CRC doesn't match original one."});
}

TEST_F(OriginalCrc, NotComparedWhenTheRunEndsWithTheOutputOpen) {
  Compile("IFF out.iff\n$ORIGINAL_CRC 12345\n{\n");
  EXPECT_EQ(Diagnostics(), Strings{"hint: } missing."});
  EXPECT_TRUE(std::filesystem::exists(dir.File("out.iff")));
}

TEST_F(OriginalCrc, ValueThatIsNoIntegerEndsTheRun) {
  testsupport::WriteText(ScriptPath(), "$ORIGINAL_CRC 4294967295\n");
  EXPECT_THROW(CompileScript(ScriptPath()), EConvertError);
}

}  // namespace
