// The README's "Getting started", steps 1 to 3, done in the windows as a newcomer does them:
// the demo seeded by seed-home.sh (run with sh), a face's material changed through "cg mat"
// and its dialog, Save, and "&compile" on the Script tab. The material folder must come out
// as seed-home.sh wrote it: a number typed into the wrong box would turn every texture into
// "no found!".
#include <QListView>
#include <QPushButton>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "AppTestSupport.h"
#include "app/LineListModel.h"
#include "support/RunProgram.h"

namespace {

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::ReadBytes;

void ClickTab(TMainWindow& f, const QString& title) {
  QTabBar* bar = f.Tabs->tabBar();
  for (int i = 0; i < bar->count(); ++i) {
    if (bar->tabText(i) != title) continue;
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->tabRect(i).center());
    QApplication::processEvents();
    ASSERT_EQ(f.Tabs->currentIndex(), i) << title.toStdString();
    return;
  }
  FAIL() << "no tab " << title.toStdString();
}

void ClickButton(TMainWindow& f, const QString& caption) {
  QPushButton* b = f.Button(caption);
  ASSERT_NE(b, nullptr) << caption.toStdString();
  ASSERT_TRUE(b->isVisible()) << caption.toStdString() << " is not on the page shown";
  QTest::mouseClick(b, Qt::LeftButton);
  QApplication::processEvents();
}

void ClickLine(QListView* list, int row) {
  const QRect rect = list->visualRect(list->model()->index(row, 0));
  ASSERT_TRUE(rect.isValid());
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
  QApplication::processEvents();
}

// A face record's material: bytes 8..11 of its 28.
int32_t FaceMat(const Bytes& faces, size_t face) {
  int32_t mat = 0;
  std::memcpy(&mat, faces.data() + face * 28 + 8, 4);
  return mat;
}

class GettingStarted : public WindowTest {
protected:
  void SetUp() override {
    if (!testsupport::ProgramBuilt("tessavor-cli") ||
        !fs::exists(testsupport::ProgramPath("demo/demo.iff")))
      GTEST_SKIP() << "tessavor-cli or the demo model not built";
  }
};

TEST_F(GettingStarted, StepsOneToThreeAsWritten) {
  // Step 1: the seed script, run as the README runs it (POSIX sh), then the editor.
  const testsupport::TProgramResult seeded = testsupport::RunPath(
      "/bin/sh", {testsupport::ProgramPath("seed-home.sh")}, testsupport::TRunOptions().Merged());
  ASSERT_EQ(seeded.status, 0) << seeded.out;
  const QString matPath = QSettings(Ini(), QSettings::IniFormat).value("qorvex/MatPath").toString();
  // The textures live in the home, where Import... can write beside them.
  ASSERT_EQ(matPath, QString::fromStdString((home.Path() / "textures").string() + "/"));
  for (const char* t : {"00001001.gct", "00001004.bmp"}) {
    EXPECT_EQ(ReadBytes((home.Path() / "textures" / t).string()),
              ReadBytes(testsupport::ProgramPath(std::string("demo/") + t)))
        << t;
  }
  TMainWindow& f = Open();
  ASSERT_GT(f.Document().NumFace, 1) << "the editor did not load the seeded demo";
  const int32_t before = FaceMat(ReadBytes(home.File("face.kvt")), 0);
  ASSERT_NE(before, 1002) << "the demo's first face must start with another material";

  // Step 2: select a face on the FACE tab, press "cg mat", type the number in the dialog.
  ClickTab(f, "FACE");
  ClickLine(f.FaceList, 0);
  dialogs.Inputs.push_back(QStringLiteral("1002"));
  ClickButton(f, "cg mat");
  ASSERT_EQ(dialogs.Prompts.size(), 1) << "\"cg mat\" asked nothing";
  EXPECT_TRUE(dialogs.Prompts[0].startsWith("Change Mat|Mat file:|"))
      << dialogs.Prompts[0].toStdString();
  ClickButton(f, "Save");
  const Bytes faces = ReadBytes(home.File("face.kvt"));
  EXPECT_EQ(FaceMat(faces, 0), 1002);

  // Step 3: "&compile" on the Script tab, the model going to house.iff.
  ClickTab(f, "Script");
  const fs::path out = home.Path() / "house.iff";
  dialogs.FileNames.push_back(QString::fromStdString(out.string()));
  ClickButton(f, "&compile");
  ASSERT_TRUE(fs::is_regular_file(out)) << "no model compiled";
  EXPECT_TRUE(fs::is_regular_file(home.Path() / "house.iff.txt")) << "the script beside it";
  // The compiled model carries the faces as saved, the new material included.
  const Bytes model = ReadBytes(out.string());
  EXPECT_NE(std::search(model.begin(), model.end(), faces.begin(), faces.end()), model.end());
  EXPECT_TRUE(dialogs.Errors.isEmpty()) << dialogs.Errors.join("\n").toStdString();

  // Closing keeps the material folder as seed-home.sh wrote it.
  form.reset();
  EXPECT_EQ(QSettings(Ini(), QSettings::IniFormat).value("qorvex/MatPath").toString(), matPath);
}

TEST_F(GettingStarted, SeedingLeavesAHomeWithAModelAsItIs) {
  testsupport::WriteBytes(home.File("vert.kvt"), Bytes(12, 0));
  const testsupport::TProgramResult seeded = testsupport::RunPath(
      "/bin/sh", {testsupport::ProgramPath("seed-home.sh")}, testsupport::TRunOptions().Merged());
  ASSERT_EQ(seeded.status, 0) << seeded.out;
  EXPECT_FALSE(fs::exists(home.Path() / "textures"));
  EXPECT_FALSE(fs::exists(home.File("model.ini")));
  EXPECT_EQ(ReadBytes(home.File("vert.kvt")).size(), 12u);
}

}  // namespace
