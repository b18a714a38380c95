// What the editor shows is what it holds: "&compile" with unsaved edits, list lines after
// every kind of change, the tool window's rotations as undo steps, and the help the
// editor gives about itself (tooltips, File and Help menus, the title).

#include <QAbstractSpinBox>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QUndoStack>

#include <filesystem>

#include "AppTestSupport.h"
#include "app/HelpPages.h"
#include "app/LineListModel.h"
#include "app/TexturingTab.h"
#include "viewers/ToolWindow.h"

using testsupport::ReadBytes;

namespace {

class EditorState : public WindowTest {
protected:
  void Click(const QString& caption) {
    QPushButton* b = form->Button(caption);
    ASSERT_NE(b, nullptr) << caption.toStdString();
    b->click();
  }
  // "cg mat" on face `face`: an edit in memory only.
  void ChangeMaterial(int face, const char* mat) {
    form->Tabs->setCurrentIndex(2);
    form->FaceList->ClickLine(face);
    dialogs.Inputs.push_back(QString(mat));
    Click("cg mat");
  }
  QPushButton* ToolButton(const char* name) {
    return form->Tools()->findChild<QPushButton*>(QString::fromLatin1(name));
  }
};

TEST_F(EditorState, CompileWithUnsavedEditsAsksAndCompilesOnlyWhatWasSaved) {
  OpenLoaded();
  ChangeMaterial(0, "512");
  ASSERT_TRUE(form->IsModified());
  const std::string out = home.File("ship.iff");
  form->Tabs->setCurrentIndex(3);
  // Cancel: nothing saved, nothing compiled.
  dialogs.FileNames.push_back(QString::fromStdString(out));
  dialogs.SaveChoices = {TSaveChoice::Cancel};
  Click("&compile");
  EXPECT_EQ(dialogs.SaveQuestions.size(), 1);
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_TRUE(form->IsModified());
  // "Save and compile": the record files hold the edit, and the IFF file is made from them.
  dialogs.FileNames.push_back(QString::fromStdString(out));
  dialogs.SaveChoices = {TSaveChoice::Save};
  Click("&compile");
  EXPECT_EQ(dialogs.SaveQuestions.size(), 2);
  EXPECT_FALSE(form->IsModified());
  const auto face = ReadBytes(home.File("face.kvt"));
  ASSERT_GE(face.size(), 12u);
  EXPECT_EQ(face[8] | face[9] << 8, 512) << "face 0's material, saved before the compile";
  EXPECT_TRUE(std::filesystem::exists(out));
  // Without unsaved edits nothing is asked.
  dialogs.FileNames.push_back(QString::fromStdString(out));
  Click("&compile");
  EXPECT_EQ(dialogs.SaveQuestions.size(), 2);
}

TEST_F(EditorState, TexturingEditsShowInTheCornerAndFaceListsBeforeAndAfterSave) {
  OpenLoaded();
  form->Tabs->setCurrentIndex(4);
  TTexturingTab* tab = form->Texturing;
  ASSERT_EQ(tab->CurrentFace(), 1);
  tab->EditU[2]->setText("0.375");
  QTest::keyClick(tab->EditU[2], Qt::Key_Return);
  tab->ComboTexture->setEditText("123");
  QTest::keyClick(tab->ComboTexture->lineEdit(), Qt::Key_Return);
  Click("Save");
  const TMeshDocument& d = form->Document();
  // Corner 5 is vertex 3 with ty 0.5 (the sample's last corner).
  EXPECT_EQ(d.CornerLines.Line(5), "3, tx:0.375, ty:0.5");
  EXPECT_EQ(d.FaceLines.Line(1), "[3 4 5], mat: 123, d=0.000");
  EXPECT_FALSE(form->IsModified());
}

TEST_F(EditorState, AStepRotationIsOneUndoStepThatUpdatesListsAndTitle) {
  OpenLoaded();
  const std::string line0 = form->Document().VertexLines.Line(0);
  const QString size = form->LabelSize->text();
  ToolButton("Button7")->click();
  ASSERT_EQ(form->UndoStack()->count(), 1);
  EXPECT_EQ(form->UndoAction->text(), "&Undo Button7");
  EXPECT_TRUE(form->windowTitle().endsWith(" *"));
  // (-10, -10, 0) turned by 1.6 radians about z: the line shows the turned vertex.
  const TPoint3 v = form->Document().VERT[0];
  EXPECT_EQ(form->Document().VertexLines.Line(0), TMeshDocument::VertLineText(v));
  EXPECT_NE(form->Document().VertexLines.Line(0), line0);
  Click("Save");
  EXPECT_FALSE(form->windowTitle().endsWith(" *"));
  EXPECT_EQ(form->LabelSize->text().toStdString(),
            MakeSizeLabel(form->Document().BoxMin(), form->Document().BoxMax()));
  form->UndoAction->trigger();
  EXPECT_EQ(form->Document().VertexLines.Line(0), line0);
  EXPECT_EQ(form->LabelSize->text(), size);
  EXPECT_TRUE(form->windowTitle().endsWith(" *")) << "the disk holds the turned model";
}

TEST_F(EditorState, ASpinFromStartToStopIsOneUndoStep) {
  OpenLoaded();
  const TMeshSnapshot before = TakeSnapshot(form->Document());
  QPushButton* x = ToolButton("BtnX");
  ASSERT_NE(x, nullptr);
  x->click();
  const TRotateThread& thread = form->Tools()->RotateThread();
  ASSERT_TRUE(QTest::qWaitFor([&] { return thread.StepsRun() >= 3; }, 5000));
  EXPECT_TRUE(form->windowTitle().endsWith(" *"));
  // Undo ends the spin (its step is made) and undoes it whole.
  form->UndoAction->trigger();
  EXPECT_FALSE(x->isChecked());
  EXPECT_TRUE(SnapshotMatches(form->Document(), before));
  EXPECT_FALSE(form->windowTitle().endsWith(" *"));
  EXPECT_EQ(form->UndoStack()->count(), 1);
  EXPECT_EQ(form->UndoStack()->index(), 0);
  // A step queued by the thread before the stop does not turn the model afterwards.
  QTest::qWait(150);
  EXPECT_TRUE(SnapshotMatches(form->Document(), before));
}

TEST_F(EditorState, EveryButtonAndBoxSaysWhatItDoes) {
  Open();
  QList<QWidget*> missing;
  for (QWidget* root : QList<QWidget*>{form.get(), form->Tools()}) {
    for (QWidget* w : root->findChildren<QWidget*>()) {
      const bool control = qobject_cast<QPushButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                           qobject_cast<QCheckBox*>(w) || qobject_cast<QComboBox*>(w) ||
                           qobject_cast<QListView*>(w) || qobject_cast<QPlainTextEdit*>(w);
      // The inner parts of a combo or spin box are covered by the box's own tip; its popup
      // list is a window of its own.
      if (!control || w->window() != root || qobject_cast<QComboBox*>(w->parentWidget()) ||
          qobject_cast<QAbstractSpinBox*>(w->parentWidget()))
        continue;
      if (w->toolTip().isEmpty()) missing << w;
    }
  }
  QStringList names;
  for (QWidget* w : missing) {
    const auto* b = qobject_cast<QPushButton*>(w);
    names << (b ? b->text() : w->objectName());
  }
  EXPECT_TRUE(names.isEmpty()) << names.join(", ").toStdString();
  EXPECT_EQ(form->Button("cg mat")->toolTip(), "Give the selected face a material number");
}

TEST_F(EditorState, FileAndHelpMenusReachEveryFileActionAndEveryShortcutIsOnThePage) {
  OpenLoaded();
  QStringList fileEntries;
  QList<QAction*> withKeys;
  for (QAction* menu : form->menuBar()->actions()) {
    for (QAction* a : menu->menu()->actions()) {
      if (menu->text() == "&File") fileEntries << a->text();
      if (!a->shortcuts().isEmpty()) withKeys << a;
    }
  }
  for (const char* entry : {"&Load", "&Write back...", "&Output obj...", "Import &ASC...", "&Quit"})
    EXPECT_TRUE(fileEntries.contains(entry)) << entry;
  const QString page = KeyboardAndMousePage();
  for (QAction* a : withKeys)
    for (const QKeySequence& k : a->shortcuts())
      EXPECT_TRUE(page.contains(k.toString(QKeySequence::PortableText)))
          << a->text().toStdString() << ": " << k.toString().toStdString();
  // Ctrl+Q quits, asking first about unsaved edits.
  ChangeMaterial(0, "9");
  dialogs.SaveChoices = {TSaveChoice::Cancel};
  QTest::keySequence(form.get(), QKeySequence(Qt::CTRL | Qt::Key_Q));
  EXPECT_EQ(dialogs.SaveQuestions.size(), 1);
  EXPECT_TRUE(form->isVisible());
  // The Help menu's pages open as windows of their own.
  form->ShowAbout();
  auto* about = form->findChild<QDialog*>("HelpPage");
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(about->findChild<QTextBrowser*>()->toPlainText().contains("0.8"));
}

TEST_F(EditorState, ImportAscStartsAtTheFixedFileAndTheTitleNamesTheModel) {
  OpenLoaded();
  const std::string asc = home.File("hut.asc");
  testsupport::WriteText(asc,
                         "Vertex list:\nVertex 0: X:0 Y:0 Z:0\nVertex 1: X:1 Y:0 Z:0\n"
                         "Vertex 2: X:0 Y:1 Z:0\nFace list:\nFace 0: A:0 B:1 C:2 AB:1 BC:1 "
                         "CA:1\nSmoothing: 1\n");
  dialogs.FileNames.push_back(QString::fromStdString(asc));
  dialogs.Inputs.push_back(QString("70000"));
  Click("Import ASC");
  EXPECT_EQ(dialogs.OpenStart.toStdString(), home.File("test.asc"));
  EXPECT_EQ(form->Document().NumFace, 1);
  EXPECT_TRUE(form->windowTitle().contains("hut.asc (")) << form->windowTitle().toStdString();
}

// A home the editor cannot write is opened read-only, and the title says so; an unsaved
// change is still marked after it.
TEST_F(EditorState, AReadOnlyHomeIsNamedInTheTitle) {
  OpenLoaded();
  EXPECT_FALSE(form->windowTitle().contains("[read-only]"));
  form->SetHomeReadOnly(true);
  EXPECT_TRUE(form->windowTitle().endsWith(" [read-only]")) << form->windowTitle().toStdString();
  ChangeMaterial(0, "512");
  EXPECT_TRUE(form->windowTitle().endsWith(" [read-only] *")) << form->windowTitle().toStdString();
}

}  // namespace
