// TIffWriter: the bytes it lays down, its size bookkeeping, both modes, Discard, the typed
// writes and every message.
#include "iff/IffWriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>

#include "iff/IffTestFiles.h"
#include "util/Crc32.h"

using namespace ifftest;
using testsupport::TempDir;

namespace {

class IffWriterTest : public ::testing::TestWithParam<int> {
protected:
  std::string Path(const std::string& name = "w.iff") const { return m_dir.File(name); }
  Bytes Result(const std::string& name = "w.iff") const {
    return testsupport::ReadBytes(Path(name));
  }
  uint8_t Mode() const { return static_cast<uint8_t>(GetParam()); }
  TempDir m_dir;
};

}  // namespace

// The same bytes come out of both modes.
INSTANTIATE_TEST_SUITE_P(BothModes, IffWriterTest, ::testing::Values(0, 1));

TEST_P(IffWriterTest, FormWithThreeByteChunkIs24Bytes) {
  TIffWriter w(Path(), Mode());
  EXPECT_EQ(w.OpenForm("TEST"), 0);
  EXPECT_EQ(w.OpenChunk("DATA"), 12);
  EXPECT_EQ(w.Write("abc", 3), 3);
  EXPECT_EQ(w.CloseChunk(), 24);  // data 20..22, pad at 23
  EXPECT_EQ(w.CloseForm(), 24);
  w.Destroy();
  const Bytes expected = {'F', 'O', 'R', 'M', 0, 0, 0, 16, 'T', 'E', 'S', 'T',
                          'D', 'A', 'T', 'A', 0, 0, 0, 3,  'a', 'b', 'c', 0};
  EXPECT_EQ(Result(), expected);
}

TEST_P(IffWriterTest, EmptyFormHasSizeFour) {
  TIffWriter w(Path(), Mode());
  w.OpenForm("EMPT");
  w.CloseForm();
  w.Destroy();
  EXPECT_EQ(Result(), Form("EMPT", {}));
}

TEST_P(IffWriterTest, NestedFormsCountInnerHeaders) {
  TIffWriter w(Path(), Mode());
  w.OpenForm("OUTR");
  w.OpenChunk("HEAD");
  w.WriteLong(7);
  w.CloseChunk();
  EXPECT_EQ(w.OpenForm("INNR"), 24);
  w.OpenChunk("ODD ");
  w.Write("xyzzy", 5);
  w.CloseChunk();
  w.OpenForm(0x4D454D45u);  // "EMEM" in memory order
  w.CloseForm();
  w.CloseForm();
  w.OpenChunk("TAIL");
  w.CloseChunk();
  w.CloseForm();
  w.Destroy();
  const Bytes expected =
      Form("OUTR", Cat({Chunk("HEAD", {7, 0, 0, 0}),
                        Form("INNR", Cat({Chunk("ODD ", Text("xyzzy")), Form("EMEM", {})})),
                        Chunk("TAIL", {})}));
  EXPECT_EQ(Result(), expected);
  // Hand count: OUTR = 4 + 12 + (12 + 14 + 12) + 8 = 62.
  EXPECT_EQ(expected[7], 62);
}

TEST_P(IffWriterTest, TypedWritesAndTheirByteOrder) {
  TIffWriter w(Path(), Mode());
  w.OpenForm("TYPE");
  w.OpenChunk("VALS");
  EXPECT_EQ(w.WriteLong(1), 4);
  EXPECT_EQ(w.WriteFloat(42.5f), 4);
  EXPECT_EQ(w.WriteCRC("abc"), 4);
  EXPECT_EQ(w.WriteZString("abc"), 4);
  EXPECT_EQ(w.WriteZString(""), 1);
  w.CloseChunk();
  w.CloseForm();
  w.Destroy();
  const Bytes data = Result();
  const Bytes payload(data.begin() + 20, data.end());
  // 42.5 = 0x422A0000; StrCrc32("abc") = 0xCA6598D0.
  const Bytes expected = {1,    0,    0,    0,   0,   0,   0x2A, 0x42, 0xD0,
                          0x98, 0x65, 0xCA, 'a', 'b', 'c', 0,    0,    /*pad*/ 0};
  EXPECT_EQ(payload, expected);
  EXPECT_EQ(data[19], 17);  // the chunk counts 17 data bytes, not the pad
}

TEST_P(IffWriterTest, WriteCompressedIsOneZlibStream) {
  std::string input;
  for (int i = 0; i < 1000; ++i) input += "mesh ";
  TIffWriter w(Path(), Mode());
  w.OpenForm("ZIPD");
  w.OpenChunk("DATA");
  const int32_t n = w.WriteCompressed(input.data(), static_cast<int32_t>(input.size()));
  w.CloseChunk();
  w.CloseForm();
  w.Destroy();
  const Bytes data = Result();
  ASSERT_EQ(static_cast<int32_t>(data[16] << 24 | data[17] << 16 | data[18] << 8 | data[19]), n);
  EXPECT_LT(n, 100);
  std::string back(input.size(), '\0');
  uLongf len = back.size();
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(back.data()), &len, data.data() + 20, n), Z_OK);
  EXPECT_EQ(len, input.size());
  EXPECT_EQ(back, input);
}

TEST_P(IffWriterTest, WriteCompressedOfIncompressibleAndEmptyInput) {
  Bytes noise(5000);
  uint32_t x = 12345;
  for (auto& b : noise) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
  TIffWriter w(Path(), Mode());
  w.OpenForm("ZIPD");
  w.OpenChunk("DATA");
  const int32_t n = w.WriteCompressed(noise.data(), 5000);
  EXPECT_GT(n, 5000);
  EXPECT_EQ(w.WriteCompressed(nullptr, 0), 8);  // header, empty block, Adler-32
  w.CloseChunk();
  w.CloseForm();
  w.Destroy();
  EXPECT_EQ(Result().size(), 20u + ((n + 8 + 1) & ~1));
}

TEST_P(IffWriterTest, CallerErrorsWriteNothing) {
  TIffWriter w(Path(), Mode());
  ExpectError<EIffWriter>([&] { w.OpenChunk("LOST"); },
                          "TIffWriter.OpenChunk (LOST): Chunk outside form!");
  EXPECT_EQ(w.GetPosition(), 0);
  ExpectError<EIffWriter>([&] { w.CloseChunk(); }, "TIffWriter.CloseChunk: No open chunk!");
  ExpectError<EIffWriter>([&] { w.CloseForm(); }, "TIffWriter.CloseForm: No open form!");
  w.OpenForm("ROOT");
  w.OpenChunk("ONE ");
  ExpectError<EIffWriter>([&] { w.OpenChunk("TWO "); },
                          "TIffWriter.OpenChunk (TWO ): Chunk inside chunk!");
  ExpectError<EIffWriter>([&] { w.OpenForm("SUB "); },
                          "TIffWriter.OpenForm (SUB ): Form inside chunk!");
  ExpectError<EIffWriter>([&] { w.CloseForm(); }, "TIffWriter.CloseForm: Chunk ONE  still open!");
  EXPECT_EQ(w.GetPosition(), 20);
  w.CloseChunk();
  w.CloseForm();
  w.Destroy();
  EXPECT_EQ(Result(), Form("ROOT", Chunk("ONE ", {})));
}

TEST_P(IffWriterTest, DestroyWithOpenFormRaisesAndWritesNoFile) {
  {
    TIffWriter w(Path(), Mode());
    w.OpenForm("OUTR");
    w.OpenForm("INNR");
    ExpectError<EIffWriter>([&] { w.Destroy(); }, "TIffWriter.Destroy: Form INNR still open!");
  }
  // Mode 0 never wrote a file; mode 1 removed its incomplete one.
  EXPECT_FALSE(std::filesystem::exists(Path()));
}

TEST_P(IffWriterTest, DiscardDeletesTheFileEvenIfItExistedBefore) {
  testsupport::WriteText(Path(), "older file");
  TIffWriter w(Path(), Mode());
  w.OpenForm("ROOT");
  w.OpenChunk("HALF");
  w.Discard();
  EXPECT_FALSE(std::filesystem::exists(Path()));
}

TEST_P(IffWriterTest, MissingFolderRaisesTheStreamError) {
  const std::string bad = m_dir.File("no/such/folder/x.iff");
  if (Mode() == 1) {
    EXPECT_THROW(TIffWriter w(bad, 1), EInOutError);
  } else {
    TIffWriter w(bad, 0);
    w.OpenForm("ROOT");
    w.CloseForm();
    EXPECT_THROW(w.Destroy(), EInOutError);
  }
}

TEST(IffWriterModes, MemoryModeWritesNothingBeforeDestroy) {
  TempDir dir;
  const std::string path = dir.File("m.iff");
  TIffWriter w(path, 0);
  w.OpenForm("ROOT");
  w.CloseForm();
  EXPECT_FALSE(std::filesystem::exists(path));
  w.Destroy();
  EXPECT_EQ(testsupport::ReadBytes(path), Form("ROOT", {}));
}

TEST(IffWriterModes, FileModeCreatesTheFileAtOnce) {
  TempDir dir;
  const std::string path = dir.File("f.iff");
  testsupport::WriteText(path, "previous contents that are longer");
  TIffWriter w(path, 1);
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);  // truncated
  w.OpenForm("ROOT");
  w.CloseForm();
  EXPECT_EQ(testsupport::ReadBytes(path), Form("ROOT", {}));  // complete after the last CloseForm
  w.Destroy();
}

TEST(IffWriterModes, UnknownModeIsRefused) {
  TempDir dir;
  EXPECT_THROW(TIffWriter w(dir.File("x.iff"), 2), EIffWriter);
}

// Every typed write is routed through the virtual Write.
TEST(IffWriterModes, TypedWritesGoThroughWrite) {
  class TCounting : public TIffWriter {
  public:
    using TIffWriter::TIffWriter;
    int32_t Write(const void* buffer, int32_t count) override {
      ++calls;
      return TIffWriter::Write(buffer, count);
    }
    int calls = 0;
  };
  TempDir dir;
  TCounting w(dir.File("c.iff"), 0);
  w.OpenForm("ROOT");
  w.OpenChunk("DATA");
  w.WriteLong(1);
  w.WriteFloat(1);
  w.WriteCRC("x");
  w.WriteZString("x");
  w.WriteCompressed("abc", 3);
  EXPECT_EQ(w.calls, 5);
  w.CloseChunk();
  w.CloseForm();
  w.Destroy();
}
