// `tessavor --screenshot DIR` run as a program on the offscreen platform, on a home folder
// with nothing in it (no record files, no settings): the run still ends with status 0 and
// leaves one PNG per window. The viewers need OpenGL; without it their pictures may be missing.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/RunProgram.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TProgramResult;

class ScreenshotProgram : public ::testing::Test {
protected:
  void SetUp() override {
    if (!testsupport::ProgramBuilt("tessavor")) GTEST_SKIP() << "tessavor not built";
  }
  TProgramResult Shoot(const std::string& program, const fs::path& out) {
    return testsupport::RunPath(program, {"--screenshot", out.string()},
                                testsupport::TRunOptions()
                                    .Set("TESSAVOR_HOME", home.Path().string())
                                    .Set("QT_QPA_PLATFORM", "offscreen")
                                    .Unset("TESSAVOR_LOG"));
  }
  static void ExpectWindowPictures(const fs::path& out, const TProgramResult& r) {
    for (const char* name : {"Form1-vert", "Form1-fvrt", "Form1-face", "Form1-script", "frmPoints",
                             "frmFaces", "frmTools"}) {
      const fs::path png = out / (std::string(name) + ".png");
      ASSERT_TRUE(fs::is_regular_file(png)) << png << "\n" << r.out << r.err;
      const testsupport::Bytes b = testsupport::ReadBytes(png.string());
      ASSERT_GE(b.size(), 8u);
      EXPECT_EQ(testsupport::Bytes(b.begin(), b.begin() + 8),
                (testsupport::Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}))
          << png;
      // Each written picture is named on standard output.
      EXPECT_NE(r.out.find(png.string()), std::string::npos) << r.out;
    }
  }

  testsupport::TempDir home;
  testsupport::TempDir scratch{false};
};

TEST_F(ScreenshotProgram, EmptyHomeFolderStillGivesEveryWindowsPicture) {
  const fs::path out = scratch.Path() / "shots";
  const TProgramResult r = Shoot(testsupport::ProgramPath("tessavor"), out);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  ExpectWindowPictures(out, r);
  // Every window was shown and drawn on the platform's events, none waited out the cap.
  EXPECT_EQ(r.err.find("not drawn"), std::string::npos) << r.err;
}

TEST_F(ScreenshotProgram, ProgramFolderWithoutTheScriptTemplateStillGivesThePictures) {
  // A copy of the program in a folder of its own has no kvt_mesh.txt beside it: the
  // start-up message goes to the console and nobody is waited for.
  const fs::path exe = scratch.Path() / "tessavor";
  fs::copy_file(testsupport::ProgramPath("tessavor"), exe);
  ASSERT_FALSE(fs::exists(scratch.Path() / "kvt_mesh.txt"));
  const fs::path out = scratch.Path() / "shots";
  const TProgramResult r = Shoot(exe.string(), out);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find("kvt_mesh.txt"), std::string::npos) << r.err;
  ExpectWindowPictures(out, r);
}

TEST_F(ScreenshotProgram, FolderThatCannotBeMadeEndsWithStatus2) {
  testsupport::WriteText(scratch.File("plain"), "a file, not a folder");
  const TProgramResult r =
      Shoot(testsupport::ProgramPath("tessavor"), scratch.Path() / "plain" / "shots");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("cannot create"), std::string::npos) << r.err;
}

TEST_F(ScreenshotProgram, TheUsersModelIniIsLeftAsItWas) {
  // Placements, the material folder and the start-up guard as a user's last run left them.
  const std::string ini =
      "[qorvex]\nloadok=0\nMatPath=/tex/"
      "\n\n[frmPoints]\nWindowState=0\nLeft=900\nTop=40\nWidth=230\nHeight=240\n";
  testsupport::WriteText(home.File("model.ini"), ini);
  const TProgramResult r = Shoot(testsupport::ProgramPath("tessavor"), scratch.Path() / "shots");
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(testsupport::ReadText(home.File("model.ini")), ini);
}

// --help and --version answer before anything needs a display: with the X platform asked
// for and no X display, they still print and exit 0.
TEST_F(ScreenshotProgram, HelpAndVersionNeedNoDisplay) {
  const auto noDisplay = testsupport::TRunOptions()
                             .Set("QT_QPA_PLATFORM", "xcb")
                             .Unset("DISPLAY")
                             .Unset("WAYLAND_DISPLAY");
  const TProgramResult version = testsupport::RunProgram("tessavor", {"--version"}, noDisplay);
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_EQ(version.out, std::string("tessavor ") + TESSAVOR_VERSION + "\n");
  const TProgramResult help = testsupport::RunProgram("tessavor", {"--help"}, noDisplay);
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_NE(help.out.find("--screenshot DIR"), std::string::npos) << help.out;
  const TProgramResult cli = testsupport::RunProgram("tessavor-cli", {"--version"}, noDisplay);
  EXPECT_EQ(cli.status, 0) << cli.err;
  EXPECT_EQ(cli.out, std::string("tessavor-cli ") + TESSAVOR_VERSION + "\n");
}

}  // namespace
