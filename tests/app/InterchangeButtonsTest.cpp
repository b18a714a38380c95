// "Export..." and "Import..." in the main window: the mesh goes out as OBJ with its
// materials and comes back through the import, each with its report in a message box.
#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include "AppTestSupport.h"

namespace {

void Click(TForm1& f, const QString& caption) {
  QPushButton* b = f.Button(caption);
  ASSERT_NE(b, nullptr) << caption.toStdString();
  b->click();
}

TEST_F(WindowTest, ExportThenImportKeepsTheMeshAndReports) {
  TForm1& f = OpenLoaded();
  // No extension: the export is an OBJ.
  const QString out = QString::fromStdString(home.File("square"));
  dialogs.FileNames = {out, out + ".obj"};
  Click(f, "Export...");
  ASSERT_TRUE(dialogs.Errors.isEmpty()) << dialogs.Errors.join("\n").toStdString();
  ASSERT_EQ(dialogs.Messages.size(), 1);
  EXPECT_TRUE(dialogs.Messages[0].contains("Material 70000: no texture"))
      << dialogs.Messages[0].toStdString();

  // The OBJ holds an object per material: the list is shown, and an empty answer takes all.
  dialogs.Inputs = {QStringLiteral("5"), QString()};
  Click(f, "Import...");
  ASSERT_TRUE(dialogs.Errors.isEmpty()) << dialogs.Errors.join("\n").toStdString();
  ASSERT_EQ(dialogs.Prompts.size(), 2);
  EXPECT_TRUE(dialogs.Prompts[1].contains("1 faces, materials 00070001"))
      << dialogs.Prompts[1].toStdString();
  ASSERT_EQ(dialogs.Messages.size(), 2);
  EXPECT_TRUE(dialogs.Messages[1].contains("00070001 -> 70001"))
      << dialogs.Messages[1].toStdString();
  TMeshDocument& doc = f.Document();
  EXPECT_EQ(doc.NumFace, 2);
  EXPECT_EQ(doc.NumFvrt, 6);
  EXPECT_EQ(doc.FACE[1].Mat, 70001);
  EXPECT_FLOAT_EQ(doc.FVRT[5].Tx, 0.0625f);
  EXPECT_EQ(doc.ListBox4.Count(), 2);  // the lists were loaded anew
}

TEST_F(WindowTest, ImportCancelledInTheNumberBoxChangesNothing) {
  TForm1& f = OpenLoaded();
  testsupport::WriteText(home.File("t.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  dialogs.FileNames = {QString::fromStdString(home.File("t.obj"))};
  Click(f, "Import...");  // no input: the number box is cancelled
  EXPECT_EQ(f.Document().NumFace, 2);
  EXPECT_TRUE(dialogs.Messages.isEmpty());
}

// A file the model reader would read for ever: Cancel in the progress dialog stops the
// reader's child process, and nothing is imported or reported.
TEST_F(WindowTest, ImportCancelledWhileReadingChangesNothing) {
  TForm1& f = OpenLoaded();
  dialogs.FileNames = {QString::fromUtf8(
      QT_TESTCASE_SOURCEDIR "/../mesh/hostile-models/ply-header-of-unknown-words.ply")};
  dialogs.Inputs = {QStringLiteral("5")};
  bool clicked = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* progress = qobject_cast<QProgressDialog*>(w);
      if (!clicked && progress && progress->isVisible()) {
        if (auto* cancel = progress->findChild<QPushButton*>()) {
          cancel->click();
          clicked = true;
        }
      }
    }
  });
  poll.start(50);
  QElapsedTimer clock;
  clock.start();
  Click(f, "Import...");
  EXPECT_TRUE(clicked);
  // Long before the reader's own time limit (120 s): Cancel stopped the child itself.
  EXPECT_LT(clock.elapsed(), 60000);
  EXPECT_TRUE(dialogs.Errors.isEmpty()) << dialogs.Errors.join("\n").toStdString();
  EXPECT_TRUE(dialogs.Messages.isEmpty());
  EXPECT_EQ(f.Document().NumFace, 2);
}

}  // namespace
