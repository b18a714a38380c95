// tessavor-cli image convert, run as a program: a picture sent through every format and
// back keeps its colours, --rle writes a run-length MAT, bad requests end with status 2.
// Skipped when the program has not been built.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "iff/IffReader.h"
#include "images/Gct.h"
#include "images/LifGraphic.h"
#include "images/MatGraphic.h"
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
