// TRE archives written by the compiler: header, directory entries, block sizes, the
// closing brace, the end check, and scripts that would break the archive. Expected
// layouts are spelled out word by word from the archive format; the reader of
// iffc/TreArchive.h is then checked against the same files.

#include <zlib.h>

#include "iffc/Tre.h"
#include "iffc/TreArchive.h"
#include "tests/iffc/TreFuncScript.h"

using namespace flowtest;
using testsupport::PutU32;

namespace {

Bytes Entry(const std::string& name, uint32_t size, uint32_t offset, uint32_t stored) {
  Bytes b = Words({StrCrc32(name), size, offset, stored});
  Bytes field(256, 0);
  std::copy(name.begin(), name.end(), field.begin());
  b.insert(b.end(), field.begin(), field.end());
  return b;
}

Bytes Header(uint32_t count) { return Words({count, 1, 0, 0}); }

class TreScripts : public FlowScript {
protected:
  // 1000 bytes that pack well but not trivially.
  Bytes Input() const {
    Bytes b;
    for (int i = 0; i < 1000; ++i) b.push_back(static_cast<uint8_t>((i * i) % 13));
    return b;
  }
  // The same bytes through zlib's one-shot compress at the default level, as FILE.Z does.
  Bytes Packed() const {
    const Bytes in = Input();
    uLongf len = compressBound(in.size());
    Bytes out(len);
    EXPECT_EQ(compress(out.data(), &len, in.data(), in.size()), Z_OK);
    out.resize(len);
    return out;
  }
  std::string InputPath() {
    const std::string p = dir.File("a.bin");
    testsupport::WriteBytes(p, Input());
    return p;
  }
};

TEST_F(TreScripts, TwoDeclarationsOneBlock) {
  Compile({"TRE \"a.tre\"", "{", "TREFILE one.bin", "TREFILE two.bin", "BLOCK one.bin", "{",
           "LONG 7", "}", "}"});
  const uint32_t data = 16 + 2 * 272;
  EXPECT_EQ(Output("a.tre"),
            Cat({Header(2), Entry("one.bin", 4, data, 0), Entry("two.bin", 0, 0, 0), Words({7})}))
      << AllMessages();
  EXPECT_TRUE(Said("compiling TRE [" + dir.File("a.tre") + "] ...")) << AllMessages();
  EXPECT_TRUE(Said("sorting CRCs...")) << AllMessages();
  // two.bin never got its BLOCK.
  EXPECT_TRUE(Said("hint: some SFF blocks haven't been defined.")) << AllMessages();
  EXPECT_EQ(CountContaining("error"), 0) << AllMessages();
}

TEST_F(TreScripts, EveryBlockDefinedGivesNoHint) {
  Compile({"TRE \"a.tre\"", "{", "TREFILE one.bin", "BLOCK one.bin", "{", "LONG 7", "}", "}"});
  EXPECT_FALSE(Said("hint: some SFF blocks haven't been defined.")) << AllMessages();
}

TEST_F(TreScripts, SizeDifferentFromBytesWrittenIsKeptWithTheStoredSize) {
  const std::string in = InputPath();
  Compile(
      {"TRE \"a.tre\"", "{", "TREFILE a.bin", "BLOCK a.bin 1000", "{", "FILE.Z " + in, "}", "}"});
  const Bytes packed = Packed();
  EXPECT_EQ(Output("a.tre"),
            Cat({Header(1), Entry("a.bin", 1000, 16 + 272, static_cast<uint32_t>(packed.size())),
                 packed}))
      << AllMessages();
  // The reader hands back the original bytes.
  const TTreArchive archive(dir.File("a.tre"));
  EXPECT_TRUE(archive.Directory().Entries[0].IsPacked());
  EXPECT_EQ(archive.ReadBlock(0), Input());
}

TEST_F(TreScripts, WithoutSizeTheBytesWrittenAreTheSize) {
  const std::string in = InputPath();
  Compile({"TRE \"a.tre\"", "{", "TREFILE a.bin", "BLOCK a.bin", "{", "FILE.Z " + in, "}", "}"});
  const Bytes packed = Packed();
  EXPECT_EQ(
      Output("a.tre"),
      Cat({Header(1), Entry("a.bin", static_cast<uint32_t>(packed.size()), 16 + 272, 0), packed}));
}

TEST_F(TreScripts, SizeEqualToTheBytesWrittenStoresZero) {
  const std::string in = InputPath();
  Compile({"TRE \"a.tre\"", "{", "TREFILE a.bin", "BLOCK a.bin 1000", "{", "FILE " + in, "}", "}"});
  EXPECT_EQ(Output("a.tre"), Cat({Header(1), Entry("a.bin", 1000, 16 + 272, 0), Input()}));
}

TEST_F(TreScripts, MissingClosingBraceKeepsCountZero) {
  Compile({"TRE \"a.tre\"", "{", "TREFILE a.bin", "BLOCK a.bin", "{", "LONG 1", "}"});
  EXPECT_EQ(Output("a.tre"), Cat({Header(0), Entry("a.bin", 4, 16 + 272, 0), Words({1})}));
  EXPECT_FALSE(Said("sorting CRCs..."));
  EXPECT_TRUE(Said("hint: } missing.")) << AllMessages();
}

TEST_F(TreScripts, BlockNamesMatchDeclarationsIgnoringCase) {
  Compile({"TRE \"a.tre\"", "{", "TREFILE Tex.Mat", "BLOCK TEX.MAT", "{", "BYTE 1", "}", "}"});
  // The entry takes the BLOCK's spelling, checksum included.
  EXPECT_EQ(Output("a.tre"), Cat({Header(1), Entry("TEX.MAT", 1, 16 + 272, 0), Bytes{1}}));
}

TEST_F(TreScripts, RepeatedNameFillsItsFirstEntry) {
  Compile({"TRE \"a.tre\"", "{", "TREFILE a.bin", "TREFILE b.bin", "TREFILE A.BIN", "BLOCK a.bin",
           "{", "BYTE 1", "}", "BLOCK b.bin", "{", "BYTE 2", "}", "}"});
  const uint32_t data = 16 + 3 * 272;
  EXPECT_EQ(Output("a.tre"),
            Cat({Header(3), Entry("a.bin", 1, data, 0), Entry("b.bin", 1, data + 1, 0),
                 Entry("A.BIN", 0, 0, 0), Bytes{1, 2}}))
      << AllMessages();
  // The third declaration never gets a block of its own.
  EXPECT_TRUE(Said("hint: some SFF blocks haven't been defined.")) << AllMessages();
}

TEST_F(TreScripts, UndeclaredBlockIsWrittenWithoutAnEntry) {
  Compile({"TRE \"a.tre\"", "{", "TREFILE a.bin", "BLOCK b.bin", "{", "LONG 5", "}", "}"});
  EXPECT_EQ(Output("a.tre"), Cat({Header(1), Entry("a.bin", 0, 0, 0), Words({5})}));
  EXPECT_TRUE(Said("hint: line 4, Block (b.bin) not declared.")) << AllMessages();
}

TEST_F(TreScripts, ArchiveMatchesWhatTheReaderLists) {
  Compile({"TRE \"a.tre\"", "{", "TREFILE x.bin", "TREFILE sub\\y.bin", "BLOCK sub\\y.bin", "{",
           "CSTRING abc", "}", "BLOCK x.bin", "{", "LONG [2] 1 2", "}", "}"});
  const TTreArchive a(dir.File("a.tre"));
  const auto& e = a.Directory().Entries;
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].Name, "x.bin");
  EXPECT_EQ(e[0].Offset, 16u + 544 + 4);
  EXPECT_EQ(e[1].Name, "sub\\y.bin");
  EXPECT_EQ(e[1].Crc, StrCrc32("sub\\y.bin"));
  EXPECT_EQ(a.ReadBlock(1), (Bytes{'a', 'b', 'c', 0}));
  EXPECT_EQ(a.ReadBlock(0), Words({1, 2}));
  for (const auto& entry : e) EXPECT_TRUE(entry.Problem.empty()) << entry.Problem;
}

// --- scripts that would break the archive ---

TEST_F(TreScripts, TreFileAfterBlockDataIsRefused) {
  Compile({"TRE \"a.tre\"", "{", "TREFILE a.bin", "BLOCK a.bin", "{", "LONG 1", "}",
           "TREFILE b.bin", "}"});
  EXPECT_EQ(Output("a.tre"), Cat({Header(1), Entry("a.bin", 4, 16 + 272, 0), Words({1})}));
  EXPECT_TRUE(
      Said("error: line 8, TREFILE (b.bin) must follow the TRE line, before the first BLOCK."))
      << AllMessages();
}

TEST_F(TreScripts, TreFileOutsideATreIsRefused) {
  Compile({"IFF \"x.iff\"", "TREFILE a.bin"});
  EXPECT_EQ(CountContaining("TREFILE (a.bin) must follow the TRE line"), 1) << AllMessages();
  EXPECT_TRUE(Output("x.iff").empty());
}

TEST_F(TreScripts, BlockInsideABlockClosesTheFirst) {
  Compile({"TRE \"a.tre\"", "{", "TREFILE a.bin", "TREFILE b.bin", "BLOCK a.bin", "{", "LONG 1",
           "BLOCK b.bin", "{", "LONG [2] 2 3", "}", "}"});
  const uint32_t data = 16 + 2 * 272;
  EXPECT_EQ(Output("a.tre"), Cat({Header(2), Entry("a.bin", 4, data, 0),
                                  Entry("b.bin", 8, data + 4, 0), Words({1, 2, 3})}))
      << AllMessages();
  EXPECT_TRUE(Said("error: line 8, BLOCK not allowed inside a BLOCK!")) << AllMessages();
}

TEST_F(TreScripts, BlockOutsideATreIsRefused) {
  Compile({"IFF \"x.iff\"", "{", "FORM TEST", "{", "CHUNK DATA", "{", "BLOCK a.bin", "LONG 1", "}",
           "}", "}"});
  EXPECT_TRUE(Said("error: line 7, BLOCK (a.bin) outside a TRE!")) << AllMessages();
  EXPECT_EQ(Output("x.iff"), FormWithChunk("TEST", "DATA", Words({1})));
}

TEST_F(TreScripts, FormAndChunkInsideABlockMakeAnIffBlock) {
  Compile({"TRE \"a.tre\"", "{", "TREFILE m.iff", "BLOCK m.iff", "{", "FORM TEST", "{",
           "CHUNK DATA", "{", "LONG 1", "}", "}", "}", "}"});
  const Bytes iff = FormWithChunk("TEST", "DATA", Words({1}));
  EXPECT_EQ(Output("a.tre"),
            Cat({Header(1), Entry("m.iff", static_cast<uint32_t>(iff.size()), 16 + 272, 0), iff}))
      << AllMessages();
  EXPECT_TRUE(Said("sorting CRCs...")) << AllMessages();
  EXPECT_FALSE(Said("hint: } missing.")) << AllMessages();
}

TEST_F(TreScripts, BlockLeftOpenDoesNotTakeOverTheNextIff) {
  Compile({"TRE \"a.tre\"", "{", "TREFILE a.bin", "BLOCK a.bin", "{", "LONG 1", "IFF \"b.iff\"",
           "{", "FORM TEST", "{", "CHUNK DATA", "{", "LONG 1", "}", "}", "}"});
  EXPECT_EQ(Output("b.iff"), FormWithChunk("TEST", "DATA", Words({1}))) << AllMessages();
  EXPECT_TRUE(Said("hint: line 7, } missing.")) << AllMessages();
}

TEST_F(TreScripts, EachFinishedArchiveIsCheckedForMissingBlocks) {
  Compile({"TRE \"a.tre\"", "{", "TREFILE a.bin", "}", "TRE \"b.tre\"", "{", "TREFILE b.bin",
           "BLOCK b.bin", "{", "}", "}"});
  ASSERT_EQ(CountContaining("SFF blocks"), 1) << AllMessages();
  // The hint belongs to a.tre: it comes before b.tre is started.
  size_t hint = 0, second = 0;
  for (size_t i = 0; i < messages.size(); ++i) {
    if (messages[i] == "hint: some SFF blocks haven't been defined.") hint = i;
    if (messages[i].find("compiling TRE") != std::string::npos) second = i;
  }
  EXPECT_LT(hint, second);
  EXPECT_EQ(Output("b.tre"), Cat({Header(1), Entry("b.bin", 0, 16 + 272, 0)}));
}

TEST_F(TreScripts, LongNameIsCutToTwoHundredFiftyFiveCharacters) {
  const std::string name(300, 'n');
  Compile({"TRE \"a.tre\"", "{", "TREFILE " + name, "}"});
  const Bytes out = Output("a.tre");
  ASSERT_EQ(out.size(), 16u + 272);
  EXPECT_EQ(out[16 + 16 + 254], 'n');
  EXPECT_EQ(out[16 + 16 + 255], 0);
  const TTreArchive a(dir.File("a.tre"));
  EXPECT_EQ(a.Directory().Entries[0].Name, std::string(255, 'n'));
  EXPECT_TRUE(a.Directory().Entries[0].Problem.empty());
}

}  // namespace
