// tessavor-cli image convert, run as a program: a picture sent through every format and
// back keeps its colours, --rle writes a run-length MAT, --palette and --dither reach the
// palette reduction, bad requests end with status 2.
// Skipped when the program has not been built.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "iff/IffReader.h"
#include "images/Gct.h"
#include "images/LifGraphic.h"
#include "images/MatGraphic.h"
#include "support/IffBytes.h"
#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace {

class ImageConvert : public ::testing::Test {
protected:
  void SetUp() override {
    if (!testsupport::ProgramBuilt("tessavor-cli")) GTEST_SKIP() << "tessavor-cli not built";
  }
  // Runs `image convert` with `args`; the exit status, with standard error kept in m_last.
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), {"image", "convert"});
    m_last = testsupport::RunProgram("tessavor-cli", args);
    return m_last.status;
  }
  std::string File(const std::string& name) const { return m_dir.File(name); }

  // Three colours in a 3 x 2 picture.
  static TLifGraphic Sample() {
    TLifGraphic lif;
    lif.SetPixelFormat(8);
    lif.SetSize(3, 2);
    lif.SetPalette({{255, 0, 0, 0}, {0, 128, 0, 0}, {10, 20, 250, 0}});
    const uint8_t px[6] = {0, 1, 2, 2, 2, 0};
    for (int i = 0; i < 6; ++i) lif.ScanLine(i / 3)[i % 3] = px[i];
    return lif;
  }

  static void ExpectSameColours(const TBitmap& a, const TBitmap& b) {
    ASSERT_EQ(a.Width(), b.Width());
    ASSERT_EQ(a.Height(), b.Height());
    for (int y = 0; y < a.Height(); ++y) {
      for (int x = 0; x < a.Width(); ++x) {
        uint8_t r0, g0, b0, r1, g1, b1;
        a.GetRgb(x, y, r0, g0, b0);
        b.GetRgb(x, y, r1, g1, b1);
        EXPECT_EQ((std::array<int, 3>{r0, g0, b0}), (std::array<int, 3>{r1, g1, b1}))
            << x << "," << y;
      }
    }
  }

  testsupport::TProgramResult m_last;
  testsupport::TempDir m_dir;
};

}  // namespace

TEST_F(ImageConvert, ChainThroughEveryFormatKeepsTheColours) {
  TLifGraphic start = Sample();
  start.SaveToFile(File("a.lif"));
  const char* chain[] = {"a.lif", "b.png", "c.mat", "d.gct", "e.bmp", "f.tga", "g.gct", "h.lif"};
  if (Run({File("a.lif"), File("probe.png")}) != 0 &&
      m_last.err.find("need the build with Qt") != std::string::npos) {
    GTEST_SKIP() << "tessavor-cli was built without Qt";
  }
  for (size_t i = 0; i + 1 < std::size(chain); ++i) {
    std::vector<std::string> args{File(chain[i]), File(chain[i + 1])};
    if (std::string(chain[i + 1]) == "g.gct") args.push_back("--zlib");
    ASSERT_EQ(Run(args), 0) << chain[i] << " -> " << chain[i + 1] << ": " << m_last.err;
  }
  TLifGraphic end;
  end.LoadFromFile(File("h.lif"));
  ExpectSameColours(Sample(), end);
  TBitmap gct;
  LoadGctFile(File("d.gct"), gct);
  ExpectSameColours(Sample(), gct);
}

TEST_F(ImageConvert, RleOptionWritesACompressedMat) {
  Sample().SaveToFile(File("a.lif"));
  ASSERT_EQ(Run({File("a.lif"), File("plain.mat")}), 0);
  ASSERT_EQ(Run({File("a.lif"), File("rle.mat"), "--rle"}), 0);
  TMATGraphic plain, rle;
  plain.LoadMatFile(File("plain.mat"));
  rle.LoadMatFile(File("rle.mat"));
  EXPECT_FALSE(plain.Compressed);
  EXPECT_TRUE(rle.Compressed);
  ExpectSameColours(Sample(), plain);
  ExpectSameColours(Sample(), rle);
}

TEST_F(ImageConvert, BadRequestsEndWithStatus2) {
  Sample().SaveToFile(File("a.lif"));
  EXPECT_EQ(Run({File("a.lif"), File("x.jpg")}), 2);
  EXPECT_NE(m_last.err.find("\".jpg\""), std::string::npos);
  EXPECT_EQ(Run({File("missing.mat"), File("x.lif")}), 2);
  EXPECT_FALSE(std::filesystem::exists(File("x.lif")));
  EXPECT_EQ(Run({File("a.lif")}), 2);
}

// --palette: a palette file of our own, or one the program ships named without its folder.
class ImageConvertPalette : public ImageConvert {
protected:
  // Red, blue, green and black, in that order.
  std::string OwnPalette() {
    const std::string path = File("own.pal");
    testsupport::WriteBytes(
        path, iffbytes::Form("PAL ",
                             iffbytes::Chunk("CMAP", {250, 0, 0, 0, 0, 255, 0, 120, 0, 0, 0, 0})));
    return path;
  }
  static std::vector<int> Indices(const TBitmap& b) {
    std::vector<int> v;
    for (int y = 0; y < b.Height(); ++y) {
      for (int x = 0; x < b.Width(); ++x) v.push_back(b.ScanLine(y)[x]);
    }
    return v;
  }
  // A 64 x 64 ".gct" of one colour.
  std::string Flat(uint8_t r, uint8_t g, uint8_t b) {
    testsupport::Bytes rgb;
    for (int i = 0; i < 64 * 64; ++i) rgb.insert(rgb.end(), {r, g, b});
    const std::string path = File("flat.gct");
    WriteGctFile(path, 64, 64, rgb.data(), TStreamFormat::Zlib);
    return path;
  }
};

TEST_F(ImageConvertPalette, PalettedPictureIsMappedToAnotherPaletteFile) {
  Sample().SaveToFile(File("a.lif"));
  ASSERT_EQ(Run({File("a.lif"), File("b.mat"), "--palette", OwnPalette()}), 0) << m_last.err;
  TMATGraphic mat;
  mat.LoadMatFile(File("b.mat"));
  ASSERT_GE(mat.Palette().size(), 4u);
  EXPECT_EQ(mat.Palette()[1], (TPaletteEntry{0, 0, 255, 0}));
  // The sample's red, green, blue, blue, blue, red.
  EXPECT_EQ(Indices(mat), (std::vector<int>{0, 2, 1, 1, 1, 0}));
}

TEST_F(ImageConvertPalette, ShippedPaletteByNameWithOrWithoutExtension) {
  if (!std::filesystem::exists(testsupport::ProgramPath("pal/grey.pal")))
    GTEST_SKIP() << "no shipped palettes beside the program";
  // Grey g is nearest (200, 0, 0) where (200 − g)² + 2g² is least: g = 66.7, so 67.
  const std::string source = Flat(200, 0, 0);
  for (const char* name : {"grey", "grey.pal"}) {
    ASSERT_EQ(Run({source, File("g.lif"), "--palette", name}), 0) << name << ": " << m_last.err;
    TLifGraphic lif;
    lif.LoadFromFile(File("g.lif"));
    EXPECT_EQ(lif.Palette()[255], (TPaletteEntry{255, 255, 255, 0}));
    EXPECT_EQ(Indices(lif), std::vector<int>(64 * 64, 67)) << name;
  }
}

TEST_F(ImageConvertPalette, DitherMixesTheTwoNearestColours) {
  const std::string path = File("bw.pal");
  testsupport::WriteBytes(
      path, iffbytes::Form("PAL ", iffbytes::Chunk("CMAP", {0, 0, 0, 255, 255, 255})));
  const std::string source = Flat(128, 128, 128);
  ASSERT_EQ(Run({source, File("plain.lif"), "--palette", path}), 0) << m_last.err;
  ASSERT_EQ(Run({source, File("dither.lif"), "--palette", path, "--dither"}), 0) << m_last.err;
  TLifGraphic plain, dither;
  plain.LoadFromFile(File("plain.lif"));
  dither.LoadFromFile(File("dither.lif"));
  const std::vector<int> p = Indices(plain), d = Indices(dither);
  EXPECT_EQ(std::set<int>(p.begin(), p.end()).size(), 1u);
  EXPECT_EQ(std::set<int>(d.begin(), d.end()), (std::set<int>{0, 1}));
}

TEST_F(ImageConvertPalette, MissingOrUnreadablePaletteEndsWithStatus2AndNoOutput) {
  Sample().SaveToFile(File("a.lif"));
  EXPECT_EQ(Run({File("a.lif"), File("b.mat"), "--palette"}), 2);
  EXPECT_NE(m_last.err.find("--palette needs a palette file"), std::string::npos) << m_last.err;
  EXPECT_EQ(Run({File("a.lif"), File("b.mat"), "--palette", "no-such-palette"}), 2);
  EXPECT_NE(m_last.err.find("no-such-palette"), std::string::npos) << m_last.err;
  EXPECT_FALSE(std::filesystem::exists(File("b.mat")));
}
