// "Export..." and "Import..." in the main window: the mesh goes out as OBJ with its
// materials and comes back through the import, each with its report in a message box.
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QUndoStack>
#include <tuple>

#include "AppTestSupport.h"

namespace {

void Click(TMainWindow& f, const QString& caption) {
  QPushButton* b = f.Button(caption);
  ASSERT_NE(b, nullptr) << caption.toStdString();
  b->click();
}

TEST_F(WindowTest, ExportThenImportKeepsTheMeshAndReports) {
  TMainWindow& f = OpenLoaded();
  // No extension: the export is an OBJ.
  const QString out = QString::fromStdString(home.File("square"));
  dialogs.FileNames = {out, out + ".obj"};
  Click(f, "Export...");
  ASSERT_TRUE(dialogs.Errors.isEmpty()) << dialogs.Errors.join("\n").toStdString();
  ASSERT_EQ(dialogs.Messages.size(), 1);
  EXPECT_TRUE(dialogs.Messages[0].contains("Material 70000: no texture"))
      << dialogs.Messages[0].toStdString();

  // The OBJ holds an object per material: the list is shown, and an empty answer takes all.
  dialogs.Inputs = {QStringLiteral("5"), QStringLiteral("y"), QString()};
  Click(f, "Import...");
  ASSERT_TRUE(dialogs.Errors.isEmpty()) << dialogs.Errors.join("\n").toStdString();
  ASSERT_EQ(dialogs.Prompts.size(), 3);
  EXPECT_TRUE(dialogs.Prompts[2].contains("1 faces, materials 00070001"))
      << dialogs.Prompts[2].toStdString();
  ASSERT_EQ(dialogs.Messages.size(), 2);
  EXPECT_TRUE(dialogs.Messages[1].contains("00070001 -> 70001"))
      << dialogs.Messages[1].toStdString();
  TMeshDocument& doc = f.Document();
  EXPECT_EQ(doc.NumFace, 2);
  EXPECT_EQ(doc.NumFvrt, 6);
  EXPECT_EQ(doc.FACE[1].Mat, 70001);
  EXPECT_FLOAT_EQ(doc.FVRT[5].Tx, 0.0625f);
  EXPECT_EQ(doc.FaceLines.Count(), 2);  // the lists were loaded anew
}

// The chosen "Files of type" gives a name without an extension its own, the status line
// times the export alone, and the export is no undo step.
TEST_F(WindowTest, ExportTakesTheChosenTypeAndIsNoStep) {
  TMainWindow& f = OpenLoaded();
  const int steps = f.UndoStack()->count();
  const QString out = QString::fromStdString(home.File("house"));
  dialogs.FileNames = {out};
  dialogs.FileTypes = {QStringLiteral("COLLADA - Digital Asset Exchange Schema, Z up (*.dae)")};
  Click(f, "Export...");
  ASSERT_TRUE(dialogs.Errors.isEmpty()) << dialogs.Errors.join("\n").toStdString();
  EXPECT_TRUE(QFileInfo::exists(out + ".dae"));
  EXPECT_FALSE(QFileInfo::exists(out + ".obj"));
  EXPECT_TRUE(f.StatusResult->text().startsWith("Export: 2 faces in "))
      << f.StatusResult->text().toStdString();
  EXPECT_EQ(f.UndoStack()->count(), steps);

  // A name with an extension of its own keeps it.
  dialogs.FileNames = {out + ".ply"};
  dialogs.FileTypes = {QStringLiteral("COLLADA - Digital Asset Exchange Schema (*.dae)")};
  Click(f, "Export...");
  EXPECT_TRUE(QFileInfo::exists(out + ".ply"));
  EXPECT_EQ(f.UndoStack()->count(), steps);
}

TEST_F(WindowTest, ImportCancelledInTheNumberBoxChangesNothing) {
  TMainWindow& f = OpenLoaded();
  testsupport::WriteText(home.File("t.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  dialogs.FileNames = {QString::fromStdString(home.File("t.obj"))};
  Click(f, "Import...");  // no input: the number box is cancelled
  EXPECT_EQ(f.Document().NumFace, 2);
  EXPECT_TRUE(dialogs.Messages.isEmpty());
}

// A file the model reader would read for ever: Cancel in the progress dialog stops the
// reader's child process, and nothing is imported or reported.
TEST_F(WindowTest, ImportCancelledWhileReadingChangesNothing) {
  TMainWindow& f = OpenLoaded();
  dialogs.FileNames = {QString::fromUtf8(
      QT_TESTCASE_SOURCEDIR "/../mesh/hostile-models/ply-header-of-unknown-words.ply")};
  dialogs.Inputs = {QStringLiteral("5"), QStringLiteral("y")};
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
  // Long before the reader's own time limit (60 s): Cancel stopped the child itself.
  EXPECT_LT(clock.elapsed(), 60000);
  EXPECT_TRUE(dialogs.Errors.isEmpty()) << dialogs.Errors.join("\n").toStdString();
  EXPECT_TRUE(dialogs.Messages.isEmpty());
  EXPECT_EQ(f.Document().NumFace, 2);
}

// The up-axis box after the number box, "auto" by default: "z" turns a z-up file (STL from
// Blender) to the game's y up, as tessavor-cli import --up z does; Cancel there imports
// nothing.
TEST_F(WindowTest, ImportAsksForTheUpAxis) {
  TMainWindow& f = OpenLoaded();
  const std::string stl = home.File("t.stl");
  testsupport::WriteText(stl,
                         "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
                         "vertex 1 2 3\nendloop\nendfacet\nendsolid t\n");
  dialogs.FileNames = {QString::fromStdString(stl)};
  dialogs.Inputs = {QStringLiteral("5")};  // the up-axis box is cancelled
  Click(f, "Import...");
  EXPECT_EQ(f.Document().NumFace, 2);
  EXPECT_TRUE(dialogs.Messages.isEmpty());
  ASSERT_FALSE(dialogs.Prompts.isEmpty());
  EXPECT_EQ(dialogs.Prompts.last(),
            QStringLiteral("Import|Up axis of the file (auto, y or z):|auto"));

  // Anything but auto, y or z asks again, naming what was typed; it does not end the import.
  dialogs.FileNames = {QString::fromStdString(stl)};
  dialogs.Inputs = {QStringLiteral("5"), QStringLiteral("x"), QStringLiteral("Z")};
  Click(f, "Import...");
  ASSERT_TRUE(dialogs.Errors.isEmpty()) << dialogs.Errors.join("\n").toStdString();
  ASSERT_GE(dialogs.Prompts.size(), 5);
  EXPECT_EQ(dialogs.Prompts[3], "Import|Up axis of the file (auto, y or z):|auto");
  EXPECT_EQ(dialogs.Prompts[4],
            "Import|The up axis is auto, y or z, not \"x\". Up axis of the file (auto, y or "
            "z):|auto");
  const TMeshDocument& doc = f.Document();
  ASSERT_EQ(doc.NumFace, 1);
  // (x, y, z) -> (x, z, -y)
  const TPoint3 p = doc.VERT[doc.FVRT[2].Vert];
  EXPECT_EQ(std::make_tuple(p.x, p.y, p.z), std::make_tuple(1.0f, 3.0f, -2.0f));
}

// The title names the model imported; undoing the import names the one before again, and
// redoing it the import's.
TEST_F(WindowTest, UndoOfAnImportPutsBackTheTitlesModel) {
  TMainWindow& f = OpenLoaded();
  f.ModelName = QStringLiteral("/models/house.iff");
  const std::string stl = home.File("crate.stl");
  testsupport::WriteText(stl,
                         "solid t\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\n"
                         "vertex 1 2 0\nendloop\nendfacet\nendsolid t\n");
  dialogs.FileNames = {QString::fromStdString(stl)};
  dialogs.Inputs = {QStringLiteral("5"), QStringLiteral("y")};
  Click(f, "Import...");
  ASSERT_TRUE(dialogs.Errors.isEmpty()) << dialogs.Errors.join("\n").toStdString();
  EXPECT_TRUE(f.windowTitle().contains(QStringLiteral("crate.stl")))
      << f.windowTitle().toStdString();
  f.Undo();
  EXPECT_TRUE(f.windowTitle().contains(QStringLiteral("house.iff")))
      << f.windowTitle().toStdString();
  EXPECT_FALSE(f.windowTitle().contains(QStringLiteral("crate.stl")));
  f.Redo();
  EXPECT_TRUE(f.windowTitle().contains(QStringLiteral("crate.stl")))
      << f.windowTitle().toStdString();
}

}  // namespace
