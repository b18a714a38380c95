// MAT pictures: loading hand-made files (each fixture's bytes are built from the layout in
// MatGraphic.h), the palette rules, the run-length decoder's row handling, saving, and the
// answers to damaged files.
#include "images/MatGraphic.h"

#include <gtest/gtest.h>

#include "ImageFixtures.h"
#include "iff/IffReader.h"
#include "images/PictureFormats.h"

using namespace imagefixtures;
using testsupport::ReadBytes;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

class MatTest : public ::testing::Test {
protected:
  void SetUp() override { std::filesystem::create_directory(m_dir.File("pal")); }

  // Loads `bytes` as a MAT file; unknown codes are collected in `Reported`.
  TMATGraphic Load(const Bytes& bytes) {
    const std::string path = m_dir.File("pic.mat");
    WriteBytes(path, bytes);
    TMATGraphic mat;
    mat.OnUnknownCode = [this](int code) { Reported.push_back(code); };
    mat.PaletteDirectory = PaletteDir;
    mat.LoadMatFile(path);
    return mat;
  }

  std::string ErrorOf(const Bytes& bytes) {
    return ErrorMessageOf([&] { Load(bytes); });
  }

  static Bytes Row(const TBitmap& b, int y) {
    return Bytes(b.ScanLine(y), b.ScanLine(y) + b.RowBytes());
  }

  // An FBPP 1 compressed frame: COMP, a palette of 16 entries, YTAB and RLE as given.
  static Bytes Rle8(int width, int height, const Bytes& ytab, const Bytes& rle) {
    return Form("BITM",
                {Form("FRAM", {Chunk("COMP", Ints({width, height, 1})), Form("PAL ", {Cmap(16)}),
                               Chunk("YTAB", ytab), Chunk("RLE ", rle)})});
  }

  TempDir m_dir;
  std::vector<int> Reported;
  std::string PaletteDir = m_dir.File("pal") + "/";  // where named palettes are looked up
};

}  // namespace

// ---- frames and pixel formats ----

TEST_F(MatTest, InfoFrameGivesAn8BitPicture) {
  const TMATGraphic m =
      Load(Form("BITM", {Form("FRAM", {Chunk("INFO", Ints({3, 2, 4})), Form("PAL ", {Cmap(4)}),
                                       Chunk("PXLS", {0, 1, 2, 3, 2, 1})})}));
  EXPECT_EQ(m.BitsPerPixel(), 8);
  EXPECT_EQ(m.Width(), 3);
  EXPECT_EQ(m.Height(), 2);
  EXPECT_FALSE(m.Compressed);
  EXPECT_FALSE(m.SaveCompressed);
  EXPECT_EQ(m.FBPP, 1);
  EXPECT_EQ(Row(m, 0), (Bytes{0, 1, 2}));
  EXPECT_EQ(Row(m, 1), (Bytes{3, 2, 1}));
  ASSERT_EQ(m.Palette().size(), 4u);
  EXPECT_EQ(m.Palette()[3], (TPaletteEntry{3, 6, 9, 0}));
}

TEST_F(MatTest, Fbpp2FrameGivesA24BitPictureOfPaletteColours) {
  // Width 2, one row: literal of 2 indices 1 and 2 (16-bit codes); YTAB in 2-byte units.
  const Bytes rle = Words({0, 2, 1, 2});
  const TMATGraphic m =
      Load(Form("BITM", {Form("FRAM", {Chunk("COMP", Ints({2, 1, 2})), Form("PAL ", {Cmap(3)}),
                                       Chunk("YTAB", Ints({4})), Chunk("RLE ", rle)})}));
  EXPECT_EQ(m.BitsPerPixel(), 24);
  EXPECT_TRUE(m.Compressed);
  EXPECT_TRUE(m.SaveCompressed);
  // Entry 1 is (1, 2, 3) and entry 2 (2, 4, 6) as red, green, blue; stored blue first.
  EXPECT_EQ(Row(m, 0), (Bytes{3, 2, 1, 6, 4, 2}));
}

TEST_F(MatTest, Fbpp2RunsSkipsAndIndexBeyondThePaletteGiveBlack) {
  // Width 4: run of 2 of index 1, skip 1, literal index 500 (no such entry).
  const Bytes rle = Words({1, 2, 1, 2, 1, 0, 1, 500});
  const TMATGraphic m =
      Load(Form("BITM", {Form("FRAM", {Chunk("COMP", Ints({4, 1, 2})), Form("PAL ", {Cmap(3)}),
                                       Chunk("YTAB", Ints({8})), Chunk("RLE ", rle)})}));
  EXPECT_EQ(Row(m, 0), (Bytes{3, 2, 1, 3, 2, 1, 0, 0, 0, 0, 0, 0}));
}

TEST_F(MatTest, Fbpp2WithoutAnyPaletteGivesBlack) {
  const TMATGraphic m =
      Load(Form("BITM", {Form("FRAM", {Chunk("COMP", Ints({1, 1, 2})), Chunk("YTAB", Ints({3})),
                                       Chunk("RLE ", Words({1, 1, 0}))})}));
  EXPECT_EQ(Row(m, 0), (Bytes{0, 0, 0}));
}

TEST_F(MatTest, Fbpp3WithAPaletteCannotBeHandled) {
  EXPECT_EQ(
      ErrorOf(Form("BITM", {Form("FRAM", {Chunk("COMP", Ints({1, 1, 3})), Form("PAL ", {Cmap(2)}),
                                          Chunk("YTAB", Ints({0})), Chunk("RLE ", {})})})),
      "Cannot handle this. FBPP = 3");
}

TEST_F(MatTest, Fbpp3WithoutAPaletteIsRefusedByThePixelReader) {
  EXPECT_EQ(ErrorOf(Form("BITM", {Form("FRAM", {Chunk("COMP", Ints({1, 1, 3})),
                                                Chunk("YTAB", Ints({0})), Chunk("RLE ", {})})})),
            "Cannot handle this. FBPP = 3");
}

TEST_F(MatTest, NoFramFormIsNotAMat) {
  EXPECT_EQ(ErrorOf(Form("BITM", {Chunk("INFO", Ints({1, 1}))})),
            "This doesn't seem to be a mat (no FRAM form).");
}

TEST_F(MatTest, MissingPixelChunkReportsTheReadersError) {
  const std::string e = ErrorOf(Form("BITM", {Form("FRAM", {Chunk("INFO", Ints({1, 1}))})}));
  EXPECT_NE(e.find("PXLS"), std::string::npos) << e;
  EXPECT_NE(e.find("doesn't exist!"), std::string::npos) << e;
}

TEST_F(MatTest, LoadingFromAStreamIsRefused) {
  TMATGraphic m;
  TMemoryStream s;
  try {
    m.LoadMatStream(s);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "Cannot load MAT from stream");
  }
}

// ---- palettes ----

TEST_F(MatTest, FramPaletteWinsOverBitmPalette) {
  const Bytes red = Chunk("CMAP", {255, 0, 0});
  const Bytes blue = Chunk("CMAP", {0, 0, 255});
  const TMATGraphic both = Load(Form(
      "BITM", {Form("PAL ", {red}), Form("FRAM", {Chunk("INFO", Ints({1, 1})), Form("PAL ", {blue}),
                                                  Chunk("PXLS", {0})})}));
  ASSERT_EQ(both.Palette().size(), 1u);
  EXPECT_EQ(both.Palette()[0], (TPaletteEntry{0, 0, 255, 0}));
  const TMATGraphic bitmOnly =
      Load(Form("BITM", {Form("PAL ", {red}),
                         Form("FRAM", {Chunk("INFO", Ints({1, 1})), Chunk("PXLS", {0})})}));
  ASSERT_EQ(bitmOnly.Palette().size(), 1u);
  EXPECT_EQ(bitmOnly.Palette()[0], (TPaletteEntry{255, 0, 0, 0}));
}

TEST_F(MatTest, NameWithBlanksLoadsThePaletteFile) {
  WriteBytes(m_dir.File("pal/stone.pal"), Form("PALT", {Chunk("CMAP", {10, 20, 30, 40, 50, 60})}));
  Bytes name{' '};
  testsupport::PutText(name, "stone ");
  name.push_back(0);
  const TMATGraphic m =
      Load(Form("BITM", {Form("FRAM", {Chunk("INFO", Ints({1, 1})),
                                       Form("PAL ", {Chunk("NAME", name)}), Chunk("PXLS", {1})})}));
  ASSERT_EQ(m.Palette().size(), 2u);
  EXPECT_EQ(m.Palette()[1], (TPaletteEntry{40, 50, 60, 0}));
}

TEST_F(MatTest, MissingPaletteFileFails) {
  Bytes name;
  testsupport::PutText(name, "nowhere");
  name.push_back(0);
  EXPECT_THROW(
      Load(Form("BITM", {Form("FRAM", {Chunk("INFO", Ints({1, 1})),
                                       Form("PAL ", {Chunk("NAME", name)}), Chunk("PXLS", {1})})})),
      EInOutError);
}

TEST_F(MatTest, PaletteNameLeadingOutOfTheFolderIsRefused) {
  Bytes name;
  testsupport::PutText(name, "../stone");
  name.push_back(0);
  WriteBytes(m_dir.File("stone.pal"), Form("PALT", {Chunk("CMAP", {1, 2, 3})}));
  const std::string e = ErrorOf(
      Form("BITM", {Form("FRAM", {Chunk("INFO", Ints({1, 1})), Form("PAL ", {Chunk("NAME", name)}),
                                  Chunk("PXLS", {0})})}));
  EXPECT_NE(e.find("names another folder"), std::string::npos) << e;
}

struct TCmapCase {
  int Bytes;
  size_t Entries;
};

class MatCmapSize : public MatTest, public ::testing::WithParamInterface<TCmapCase> {};

TEST_P(MatCmapSize, EntriesAreSizeDivThreeAtMost256) {
  imagefixtures::Bytes raw(static_cast<size_t>(GetParam().Bytes), 7);
  const TMATGraphic m =
      Load(Form("BITM", {Form("FRAM", {Chunk("INFO", Ints({1, 1})),
                                       Form("PAL ", {Chunk("CMAP", raw)}), Chunk("PXLS", {0})})}));
  EXPECT_EQ(m.Palette().size(), GetParam().Entries);
}

INSTANTIATE_TEST_SUITE_P(Sizes, MatCmapSize,
                         ::testing::Values(TCmapCase{768, 256}, TCmapCase{30, 10}, TCmapCase{3, 1},
                                           TCmapCase{0, 0}, TCmapCase{2000, 256},
                                           TCmapCase{31, 10}));

TEST_F(MatTest, LargeCmapForFbpp2IsCutTo131071Entries) {
  // 140,000 entries: the last kept one is 131,070; index 65,535 (the largest a code can
  // name) still comes from the file.
  imagefixtures::Bytes raw(140000 * 3, 0);
  raw[65535 * 3] = 9;
  raw[65535 * 3 + 1] = 8;
  raw[65535 * 3 + 2] = 7;
  const TMATGraphic m = Load(Form(
      "BITM", {Form("FRAM", {Chunk("COMP", Ints({1, 1, 2})), Form("PAL ", {Chunk("CMAP", raw)}),
                             Chunk("YTAB", Ints({3})), Chunk("RLE ", Words({1, 1, 65535}))})}));
  EXPECT_EQ(Row(m, 0), (Bytes{7, 8, 9}));
}

// ---- the FBPP 1 run-length decoder ----

TEST_F(MatTest, LiteralRunAndSkipMakeOneRow) {
  // literal 2 (5, 6), run 3 of 7, skip 1: 5 6 7 7 7 0 for width 6.
  const TMATGraphic m = Load(Rle8(6, 1, Ints({9}), {0, 2, 5, 6, 1, 3, 7, 2, 1}));
  EXPECT_EQ(Row(m, 0), (Bytes{5, 6, 7, 7, 7, 0}));
  EXPECT_TRUE(Reported.empty());
}

TEST_F(MatTest, UnknownCodeIsReportedAndSkipped) {
  // code 9 (count 4) is reported; decoding goes on with the next two bytes, a run.
  const TMATGraphic m = Load(Rle8(2, 1, Ints({5}), {9, 4, 1, 2, 3}));
  EXPECT_EQ(Reported, (std::vector<int>{9}));
  EXPECT_EQ(Row(m, 0), (Bytes{3, 3}));
}

TEST_F(MatTest, WithoutAReporterTheCodesGoToStandardError) {
  WriteBytes(m_dir.File("a.mat"), Rle8(2, 1, Ints({4}), {7, 0, 5, 0}));
  TMATGraphic m;
  testing::internal::CaptureStderr();
  m.LoadMatFile(m_dir.File("a.mat"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "7\n5\n");
}

TEST_F(MatTest, YtabEndingAtTheDataSizeEndsAfterTheLastRow) {
  // Two rows of runs; the codes behind the last row (an unknown code) are never read.
  const TMATGraphic m = Load(Rle8(2, 2, Ints({3, 6}), {1, 2, 10, 1, 2, 11, 9, 0}));
  EXPECT_EQ(Row(m, 0), (Bytes{10, 10}));
  EXPECT_EQ(Row(m, 1), (Bytes{11, 11}));
  EXPECT_TRUE(Reported.empty());
}

TEST_F(MatTest, RunPastTheRowContinuesOnTheNextRowAndStopsAtTheImageEnd) {
  // Width 2, height 2, no YTAB entries that match: a run of 200 fills columns 0 and 1,
  // drops column 2, wraps when the column passes 2, and ends at the bottom.
  const TMATGraphic m = Load(Rle8(2, 2, Ints({1000, -5}), {1, 200, 4}));
  EXPECT_EQ(Row(m, 0), (Bytes{4, 4}));
  EXPECT_EQ(Row(m, 1), (Bytes{4, 4}));
}

TEST_F(MatTest, SkipPastTheRowDropsTheRest) {
  const TMATGraphic m = Load(Rle8(3, 2, Ints({}), {2, 250, 1, 3, 6}));
  EXPECT_EQ(Row(m, 0), (Bytes{0, 0, 0}));
  EXPECT_EQ(Row(m, 1), (Bytes{6, 6, 6}));
}

TEST_F(MatTest, YtabOutOfOrderStillMatchesEveryEnd) {
  const TMATGraphic m = Load(Rle8(1, 3, Ints({6, 3, 9}), {1, 1, 1, 1, 1, 2, 1, 1, 3}));
  EXPECT_EQ(Row(m, 0), (Bytes{1}));
  EXPECT_EQ(Row(m, 1), (Bytes{2}));
  EXPECT_EQ(Row(m, 2), (Bytes{3}));
}

TEST_F(MatTest, LiteralPastTheChunkFailsAsAReadBeyondTheChunk) {
  EXPECT_EQ(ErrorOf(Rle8(8, 1, Ints({}), {0, 8, 1, 2})), "TIffReader: Read beyond end of chunk!");
}

TEST_F(MatTest, HugeDimensionsAreRefusedBeforeAllocating) {
  const std::string e = ErrorOf(Rle8(1 << 30, 1 << 30, Ints({}), {}));
  EXPECT_NE(e.find("out of range"), std::string::npos) << e;
  EXPECT_NE(ErrorOf(Rle8(-1, 4, Ints({}), {})).find("out of range"), std::string::npos);
}

// ---- saving ----

TEST_F(MatTest, PlainSaveHasTheDocumentedLayout) {
  TMATGraphic m;
  m.SetPixelFormat(8);
  m.SetSize(2, 1);
  m.SetPalette({{1, 2, 3, 0}, {4, 5, 6, 0}});
  m.ScanLine(0)[0] = 1;
  m.ScanLine(0)[1] = 0;
  const std::string path = m_dir.File("out.mat");
  m.SaveMatFile(path);
  const Bytes f = ReadBytes(path);
  // BITM: 4 + FRAM (12 + INFO 20 + PAL 12 + CMAP 776 + PXLS 10) = 834; the file is 842 bytes.
  ASSERT_EQ(f.size(), 842u);
  Bytes head;
  testsupport::PutText(head, "FORM");
  testsupport::PutU32BE(head, 834);
  testsupport::PutText(head, "BITMFORM");
  testsupport::PutU32BE(head, 822);
  testsupport::PutText(head, "FRAMINFO");
  testsupport::PutU32BE(head, 12);
  const Bytes ints = Ints({2, 1, 4});
  head.insert(head.end(), ints.begin(), ints.end());
  testsupport::PutText(head, "FORM");
  testsupport::PutU32BE(head, 780);
  testsupport::PutText(head, "PAL CMAP");
  testsupport::PutU32BE(head, 768);
  head.insert(head.end(), {1, 2, 3, 4, 5, 6, 0, 0, 0});
  EXPECT_EQ(Bytes(f.begin(), f.begin() + static_cast<long>(head.size())), head);
  Bytes tail;
  testsupport::PutText(tail, "PXLS");
  testsupport::PutU32BE(tail, 2);
  tail.insert(tail.end(), {1, 0});
  EXPECT_EQ(Bytes(f.end() - 10, f.end()), tail);
}

class MatRoundTrip : public MatTest, public ::testing::WithParamInterface<std::tuple<bool, int>> {};

TEST_P(MatRoundTrip, SavedPictureLoadsBackUnchanged) {
  const auto [rle, width] = GetParam();
  TMATGraphic m;
  m.SetPixelFormat(8);
  m.SetSize(width, 5);
  std::vector<TPaletteEntry> palette;
  for (int i = 0; i < 256; ++i)
    palette.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), 7, 0});
  m.SetPalette(palette);
  for (int y = 0; y < 5; ++y) {
    for (int x = 0; x < width; ++x) {
      // Long runs, short runs and noise in one picture.
      m.ScanLine(y)[x] = static_cast<uint8_t>(y == 0   ? 9
                                              : y == 1 ? x / 2
                                              : y == 2 ? (x * 37) % 251
                                                       : (x / 300) + y);
    }
  }
  m.SaveCompressed = rle;
  const std::string path = m_dir.File("rt.mat");
  m.SaveMatFile(path);
  TMATGraphic back;
  back.OnUnknownCode = [this](int code) { Reported.push_back(code); };
  back.LoadMatFile(path);
  EXPECT_EQ(back.Compressed, rle);
  EXPECT_EQ(back.SaveCompressed, rle);
  ASSERT_EQ(back.Width(), width);
  ASSERT_EQ(back.Height(), 5);
  for (int y = 0; y < 5; ++y) EXPECT_EQ(Row(back, y), Row(m, y)) << "row " << y;
  EXPECT_EQ(back.Palette(), palette);
  EXPECT_TRUE(Reported.empty());
}

INSTANTIATE_TEST_SUITE_P(PlainAndRle, MatRoundTrip,
                         ::testing::Combine(::testing::Bool(),
                                            ::testing::Values(1, 2, 3, 7, 255, 256, 1000)));

TEST_F(MatTest, SavingA24BitPictureKeepsItsColours) {
  TMATGraphic m;
  m.SetPixelFormat(24);
  m.SetSize(3, 1);
  const uint8_t bgr[9] = {10, 20, 30, 40, 50, 60, 10, 20, 30};
  std::copy(bgr, bgr + 9, m.ScanLine(0));
  m.SaveMatFile(m_dir.File("c.mat"));
  TMATGraphic back;
  back.LoadMatFile(m_dir.File("c.mat"));
  uint8_t r, g, b;
  back.GetRgb(1, 0, r, g, b);
  EXPECT_EQ((std::array<int, 3>{r, g, b}), (std::array<int, 3>{60, 50, 40}));
  back.GetRgb(2, 0, r, g, b);
  EXPECT_EQ((std::array<int, 3>{r, g, b}), (std::array<int, 3>{30, 20, 10}));
}

// ---- every prefix of valid files: a clean error or a picture, never a crash ----

class MatTruncation : public MatTest, public ::testing::WithParamInterface<int> {};

TEST_P(MatTruncation, PrefixesFailCleanlyOrLoad) {
  const Bytes files[] = {
      Rle8(6, 2, Ints({9, 12}), {0, 2, 5, 6, 1, 3, 7, 2, 1, 1, 6, 3}),
      Form("BITM", {Form("PAL ", {Cmap(5)}),
                    Form("FRAM", {Chunk("INFO", Ints({2, 2, 4})), Chunk("PXLS", {1, 2, 3, 4})})}),
      Form("BITM", {Form("FRAM", {Chunk("COMP", Ints({2, 1, 2})), Form("PAL ", {Cmap(3)}),
                                  Chunk("YTAB", Ints({4})), Chunk("RLE ", Words({0, 2, 1, 2}))})}),
  };
  for (const Bytes& full : files) {
    const size_t cut = static_cast<size_t>(GetParam());
    if (cut >= full.size()) continue;
    try {
      const TMATGraphic m = Load(Bytes(full.begin(), full.begin() + static_cast<long>(cut)));
      EXPECT_EQ(m.PixelBytes(), m.RowBytes() * static_cast<size_t>(m.Height()));
    } catch (const Exception&) {
      // EIffReader, EInvalidGraphic or the stream layer's error: all clean.
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Prefixes, MatTruncation, ::testing::Range(0, 200));

// ---- the picture-format registry ----

TEST_F(MatTest, RegistryListsTheFourFormatsInOrder) {
  RegisterImageFormats();
  const auto formats = PictureFormats();
  UnregisterImageFormats();
  ASSERT_EQ(formats.size(), 4u);
  EXPECT_EQ(formats[0].Extension, "lif");
  EXPECT_EQ(formats[0].Description, "Layered Image Format (Drevanth)");
  for (int i = 1; i < 4; ++i) EXPECT_EQ(formats[i].Description, "Halcyra MAT");
  EXPECT_EQ(formats[1].Extension, "mat");
  EXPECT_EQ(formats[2].Extension, "iff");
  EXPECT_EQ(formats[3].Extension, "tga");
  EXPECT_TRUE(PictureFormats().empty());
}

TEST_F(MatTest, TgaFileIsHandedToTheMatLoader) {
  RegisterImageFormats();
  WriteBytes(m_dir.File("Wall.TGA"),
             Form("BITM", {Form("FRAM", {Chunk("INFO", Ints({2, 1})), Form("PAL ", {Cmap(3)}),
                                         Chunk("PXLS", {2, 1})})}));
  TBitmap b;
  LoadPicture(m_dir.File("Wall.TGA"), b);
  EXPECT_EQ(b.BitsPerPixel(), 8);
  EXPECT_EQ(Row(b, 0), (Bytes{2, 1}));
  try {
    LoadPicture(m_dir.File("x.jpg"), b);
    ADD_FAILURE();
  } catch (const EInvalidGraphic& e) {
    EXPECT_STREQ(e.what(), "Unknown picture file extension (.jpg)");
  }
  UnregisterImageFormats();
}

// The palettes shipped in the program folder's pal/ are containers the loader accepts.
class ShippedPalette : public MatTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(ShippedPalette, NamedPaletteGives256Colours) {
  PaletteDir = std::string(TESSAVOR_SOURCE_DIR) + "/data/program/pal/";
  Bytes name;
  testsupport::PutText(name, GetParam());
  name.push_back(0);
  const TMATGraphic m =
      Load(Form("BITM", {Form("PAL ", {Chunk("NAME", name)}),
                         Form("FRAM", {Chunk("INFO", Ints({1, 1})), Chunk("PXLS", {255})})}));
  ASSERT_EQ(m.Palette().size(), 256u);
  EXPECT_EQ(m.Palette()[0], (TPaletteEntry{0, 0, 0, 0}));
  EXPECT_EQ(m.Palette()[255].Green, 255);
}

INSTANTIATE_TEST_SUITE_P(Pal, ShippedPalette, ::testing::Values("stone", "grey"));
