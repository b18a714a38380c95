// TIffReader: the tree built at construction, walking it by name, the read bound and every
// message of the reader.
#include "iff/IffReader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "iff/IffTestFiles.h"

using namespace ifftest;
using testsupport::TempDir;

namespace {

class IffReaderTest : public ::testing::Test {
protected:
  std::string Make(const Bytes& data, const std::string& name = "t.iff") {
    const std::string path = m_dir.File(name);
    testsupport::WriteBytes(path, data);
    return path;
  }
  TempDir m_dir;
};

// FORM MESH { INFO(5 bytes) FORM GEOM { VERT(12) } NAME("ab\0") }
Bytes Sample() {
  Bytes vert;
  for (int i = 0; i < 12; ++i) vert.push_back(static_cast<uint8_t>(i + 1));
  return Form("MESH", Cat({Chunk("INFO", Text("hello")), Form("GEOM", Chunk("VERT", vert)),
                           Chunk("NAME", Bytes{'a', 'b', 0})}));
}

}  // namespace

TEST_F(IffReaderTest, BuildsTheTreeWithOffsetsAndRoundedSizes) {
  TIffReader r(Make(Sample()));
  const TForm& root = r.Root();
  EXPECT_EQ(root.Name, TIffId("MESH"));
  EXPECT_EQ(root.Offset, 0);
  // 4 + INFO (8+5+1) + GEOM (12+8+12) + NAME (8+3+1) = 62
  EXPECT_EQ(root.Size, 62);
  EXPECT_EQ(root.Parent, nullptr);
  ASSERT_EQ(root.Chunks.size(), 2u);
  ASSERT_EQ(root.Forms.size(), 1u);
  EXPECT_EQ(root.Chunks[0]->Name, TIffId("INFO"));
  EXPECT_EQ(root.Chunks[0]->Offset, 12);
  EXPECT_EQ(root.Chunks[0]->Size, 6);  // 5 rounded up
  EXPECT_EQ(root.Forms[0]->Name, TIffId("GEOM"));
  EXPECT_EQ(root.Forms[0]->Offset, 26);  // 14 bytes after INFO's start
  EXPECT_EQ(root.Forms[0]->Size, 24);
  EXPECT_EQ(root.Forms[0]->Parent, &root);
  ASSERT_EQ(root.Forms[0]->Chunks.size(), 1u);
  EXPECT_EQ(root.Forms[0]->Chunks[0]->Offset, 38);
  EXPECT_EQ(root.Forms[0]->Chunks[0]->Parent, root.Forms[0].get());
  EXPECT_EQ(root.Chunks[1]->Name, TIffId("NAME"));
  EXPECT_EQ(root.Chunks[1]->Offset, 58);
  EXPECT_TRUE(r.OwnsStream());
  EXPECT_EQ(&r.CurrentForm(), &root);
  EXPECT_EQ(r.CurrentChunk(), nullptr);
}

TEST_F(IffReaderTest, WalksFormsAndReadsChunks) {
  TIffReader r(Make(Sample()));
  EXPECT_TRUE(r.FormExists("GEOM"));
  EXPECT_FALSE(r.FormExists("VERT"));
  EXPECT_TRUE(r.ChunkExists("INFO"));
  EXPECT_FALSE(r.ChunkExists("VERT"));  // only direct children count
  r.OpenForm("GEOM");
  EXPECT_EQ(r.GetSize(), 24);
  r.OpenChunk("VERT");
  EXPECT_EQ(r.GetPosition(), 8);
  EXPECT_EQ(r.GetSize(), 12);
  int32_t v = 0;
  EXPECT_EQ(r.ReadLong(v), 4);
  EXPECT_EQ(v, 0x04030201);  // little-endian
  EXPECT_EQ(r.GetPosition(), 12);
  r.CloseChunk();
  r.CloseForm();
  r.OpenChunk("NAME");
  std::string s;
  EXPECT_EQ(r.ReadZString(s), 2);
  EXPECT_EQ(s, "ab");
}

TEST_F(IffReaderTest, OpenChunkRecordsTheFoundIndexAndReplacesAnOpenChunk) {
  TIffReader r(Make(Sample()));
  r.OpenChunk("NAME");
  EXPECT_EQ(r.CurrentForm().ChunkIndex, 1);
  r.OpenChunk("INFO");
  EXPECT_EQ(r.CurrentForm().ChunkIndex, 0);
  EXPECT_EQ(r.CurrentChunk()->Name, TIffId("INFO"));
  char buf[5];
  EXPECT_EQ(r.Read(buf, 5), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
}

TEST_F(IffReaderTest, ReadBoundAllowsThePadByteAndNotOneMore) {
  TIffReader r(Make(Sample()));
  r.OpenChunk("INFO");
  char buf[8];
  EXPECT_EQ(r.Read(buf, 6), 6);  // five data bytes and the pad byte
  EXPECT_EQ(buf[5], 0);
  ExpectError<EIffReader>([&] { r.Read(buf, 1); }, "TIffReader: Read beyond end of chunk!");
  EXPECT_EQ(r.GetPosition(), 14);  // nothing was read
}

TEST_F(IffReaderTest, ReadBeyondChunkReadsNothing) {
  TIffReader r(Make(Sample()));
  r.OpenChunk("INFO");
  char buf[8] = {};
  ExpectError<EIffReader>([&] { r.Read(buf, 7); }, "TIffReader: Read beyond end of chunk!");
  EXPECT_EQ(r.GetPosition(), 8);
  EXPECT_EQ(buf[0], 0);
}

TEST_F(IffReaderTest, ReadZStringWithoutZeroByteRunsIntoTheBound) {
  // An even chunk of letters with no zero byte at all.
  TIffReader r(Make(Form("TEST", Chunk("STRS", Text("abcd")))));
  r.OpenChunk("STRS");
  std::string s = "old";
  ExpectError<EIffReader>([&] { r.ReadZString(s); }, "TIffReader: Read beyond end of chunk!");
  EXPECT_EQ(s, "old");
}

TEST_F(IffReaderTest, ReadZStringStopsAtTheEndOfTheFile) {
  // The chunk claims 10 bytes, the file ends after 3 of them: the string ends there.
  TIffReader r(Make(FormWithTruncatedChunk("TEST", "STRS", 10, Text("xyz"))));
  r.OpenChunk("STRS");
  std::string s;
  EXPECT_EQ(r.ReadZString(s), 3);
  EXPECT_EQ(s, "xyz");
}

TEST_F(IffReaderTest, ShortReadAtTheEndOfTheFileIsNotAnError) {
  TIffReader r(Make(FormWithTruncatedChunk("TEST", "DATA", 8, Text("12"))));
  r.OpenChunk("DATA");
  char buf[8];
  EXPECT_EQ(r.Read(buf, 8), 2);
}

TEST_F(IffReaderTest, GetSizeWithoutChunkIsTheFormSizeWithItsType) {
  TIffReader r(Make(Form("EMPT", Bytes{})));
  EXPECT_EQ(r.GetSize(), 4);
}

TEST_F(IffReaderTest, ZeroSizeChunkAtTheEndOfAFormBelongsToIt) {
  // FORM OUTR { FORM INNR { A(2) Z(0) } B(2) }: Z starts exactly at INNR.Offset + Size.
  const Bytes file =
      Form("OUTR", Cat({Form("INNR", Cat({Chunk("AAAA", Text("xy")), Chunk("ZERO", {})})),
                        Chunk("BBBB", Text("zz"))}));
  TIffReader r(Make(file));
  const TForm& inner = *r.Root().Forms.at(0);
  ASSERT_EQ(inner.Chunks.size(), 2u);
  EXPECT_EQ(inner.Chunks[1]->Name, TIffId("ZERO"));
  EXPECT_EQ(inner.Chunks[1]->Offset, inner.Offset + inner.Size);
  EXPECT_EQ(inner.Chunks[1]->Size, 0);
  ASSERT_EQ(r.Root().Chunks.size(), 1u);
  EXPECT_EQ(r.Root().Chunks[0]->Name, TIffId("BBBB"));
}

TEST_F(IffReaderTest, SecondTopLevelFormIsAnError) {
  const Bytes file = Cat({Form("ONE ", Chunk("AAAA", Text("xy"))), Form("TWO ", Bytes{})});
  const std::string path = Make(file);
  // The second FORM starts at 12 + 10 = 22 = 0x16.
  ExpectError<EIffReader>([&] { TIffReader r(path); },
                          "TIffReader: " + path + ", error at offset 00000016!");
}

TEST_F(IffReaderTest, TrailingZeroBytesEndTheParse) {
  Bytes file = Form("ONE ", Chunk("AAAA", Text("xy")));
  file.resize(file.size() + 64, 0);
  TIffReader r(Make(file));
  EXPECT_EQ(r.Root().Chunks.size(), 1u);
}

TEST_F(IffReaderTest, EmptyOrZeroStartingFileIsNotValid) {
  for (const Bytes& data : {Bytes{}, Bytes{0, 'F', 'O', 'R', 'M'}, Bytes{'F', 'O'}}) {
    const std::string path = Make(data);
    ExpectError<EIffReader>([&] { TIffReader r(path); },
                            "TIffReader: " + path + "not a valid .iff file!");
  }
}

TEST_F(IffReaderTest, TruncatedHeadersRaiseTheScannerErrors) {
  const std::string form = Make(Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 4, 'A', 'B'}, "form.iff");
  ExpectError<EIffReader_ErrorInForm>([&] { TIffReader r(form); },
                                      "EIffReader_ErrorInForm: Error in Form \"AB\" at offset 0");
  // The nested chunk's size is cut off at offset 0x0C.
  Bytes cut = Form("ROOT", Bytes{'V', 'E', 'R', 'T', 0, 0});
  const std::string chunk = Make(cut, "chunk.iff");
  ExpectError<EIffReader_ErrorInChunk>(
      [&] { TIffReader r(chunk); }, "EIffReader_ErrorInChunk: Error in Chunk \"VERT\" at offset C");
  // An escape sequence as the id reaches the terminal as text, never as the sequence.
  const std::string esc = Make(Form("ROOT", Bytes{0x1B, '[', '2', 'J', 0, 0}), "esc.iff");
  ExpectError<EIffReader_ErrorInChunk>(
      [&] { TIffReader r(esc); },
      "EIffReader_ErrorInChunk: Error in Chunk \"\\x1B[2J\" at offset C");
}

TEST_F(IffReaderTest, MissingFileRaisesTheStreamError) {
  EXPECT_THROW(TIffReader r(m_dir.File("nope.iff")), EInOutError);
}

TEST_F(IffReaderTest, ReadOnlyFileCanBeRead) {
  const std::string path = Make(Sample());
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  TIffReader r(path);
  EXPECT_EQ(r.Root().Name, TIffId("MESH"));
}

TEST_F(IffReaderTest, FailedCreateReleasesItsHandle) {
  const std::string bad = Make(Bytes{}, "bad.iff");
  for (int i = 0; i < kIffMaxHandles + 5; ++i) {
    EXPECT_THROW(TIffReader r(bad), EIffReader);
  }
  // Had a handle leaked per failure, the table would be full by now.
  const int h = IffOpenFile(Make(Sample()));
  IffCloseHandle(h);
  TIffReader ok(Make(Sample(), "ok.iff"));
}

TEST_F(IffReaderTest, ReaderOverACallersStream) {
  const Bytes data = Sample();
  TMemoryStream stream(data.data(), data.size());
  {
    TIffReader r(stream, "memory");
    EXPECT_FALSE(r.OwnsStream());
    r.OpenChunk("INFO");
    char buf[5];
    EXPECT_EQ(r.Read(buf, 5), 5);
  }
  EXPECT_EQ(stream.Size(), static_cast<int64_t>(data.size()));  // still alive
}

// ---- Errors of the walking operations; each leaves the state as it was. ----------------

TEST_F(IffReaderTest, WalkingErrorsSayWhatWasWrongAndChangeNothing) {
  TIffReader r(Make(Sample()));
  ExpectError<EIffReader>([&] { r.CloseForm(); }, "TIffReader: Cannot close last form!");
  EXPECT_EQ(&r.CurrentForm(), &r.Root());
  ExpectError<EIffReader>([&] { r.CloseChunk(); }, "TIffReader: No chunk is open!");
  char c;
  int32_t v;
  std::string s;
  ExpectError<EIffReader>([&] { r.Read(&c, 1); }, "TIffReader: Must open chunk before reading!");
  ExpectError<EIffReader>([&] { r.ReadLong(v); }, "TIffReader: Must open chunk before reading!");
  ExpectError<EIffReader>([&] { r.ReadZString(s); }, "TIffReader: Must open chunk before reading!");
  ExpectError<EIffReader>([&] { r.GetPosition(); }, "TIffReader: Must open chunk before seeking!");
  ExpectError<EIffReader>([&] { r.OpenForm("NONE"); }, "TIffReader: Form (NONE) doesn't exist!");
  EXPECT_EQ(&r.CurrentForm(), &r.Root());

  r.OpenChunk("INFO");
  ExpectError<EIffReader>([&] { r.OpenChunk("NONE"); },
                          "TIffReader[Form: MESH]: Chunk (NONE) doesn't exist!");
  EXPECT_EQ(r.CurrentForm().ChunkIndex, -1);
  ASSERT_NE(r.CurrentChunk(), nullptr);
  EXPECT_EQ(r.CurrentChunk()->Name, TIffId("INFO"));  // still open
  ExpectError<EIffReader>([&] { r.OpenForm("GEOM"); },
                          "TIffReader: Attempt to open new form, but chunk INFO is still open!");
  EXPECT_EQ(&r.CurrentForm(), &r.Root());
  r.CloseChunk();
  r.OpenForm("GEOM");
  r.OpenChunk("VERT");
  ExpectError<EIffReader>([&] { r.CloseForm(); },
                          "TIffReader: Attempt to close form, but chunk VERT is still open!");
  EXPECT_EQ(r.CurrentForm().Name, TIffId("GEOM"));
}

TEST_F(IffReaderTest, IdentifiersWithZeroAndHighBytes) {
  // A chunk named "A\0\xFF\x01" is found by its raw bytes and shown as "A" in messages.
  const std::string odd("A\0\xFF\x01", 4);
  TIffReader r(Make(Form("T\xE9ST", Chunk(odd, Text("ok")))));
  EXPECT_EQ(r.Root().Name, TIffId("T\xE9ST"));
  EXPECT_TRUE(r.ChunkExists(TIffId(odd)));
  EXPECT_FALSE(r.ChunkExists("A"));
  r.OpenChunk(TIffId(odd));
  r.CloseChunk();
  ExpectError<EIffReader>([&] { r.OpenChunk(TIffId(std::string("B\0\0\0", 4))); },
                          "TIffReader[Form: T\\xE9ST]: Chunk (B) doesn't exist!");
}
