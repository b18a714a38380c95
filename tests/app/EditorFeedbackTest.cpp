// What the main window tells about itself while the user works: the Script tab's typing as
// an unsaved change with its own undo, tabs that stay in place while their captions count,
// a failure that does not outlive the next action, and a status bar that shows its texts
// whole at the window's default size.

#include <QFontMetrics>
#include <QLabel>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabBar>
#include <QTest>
#include <QUndoStack>

#include <filesystem>

#include "AppTestSupport.h"
#include "app/LineListModel.h"
#include "app/MainWindowShared.h"

namespace {

using namespace mainwindow;

class EditorFeedback : public WindowTest {
protected:
  QLabel* Status(const char* name) const {
    return form->findChild<QLabel*>(QString::fromLatin1(name));
  }
  std::string SavedScript() const { return home.File("kvt_mesh.txt"); }
};

TEST_F(EditorFeedback, ScriptTypingIsUnsavedUntilSaveAndCtrlZUndoesItThere) {
  OpenLoaded();
  form->Tabs->setCurrentIndex(kTabScript);
  QPlainTextEdit* script = form->ScriptEdit;
  const QString before = script->toPlainText();
  ASSERT_FALSE(form->windowTitle().endsWith(QStringLiteral(" *")));
  script->setFocus();
  script->moveCursor(QTextCursor::End);
  QTest::keyClick(script, Qt::Key_Return);
  QTest::keyClicks(script, QStringLiteral("xyz"));
  EXPECT_TRUE(form->windowTitle().endsWith(QStringLiteral(" *"))) << "typing is a change";
  // Ctrl+Z, as the user presses it in the focused editor: the editor's own undo, not the
  // mesh's Edit menu.
  for (int i = 0; i < 5 && script->toPlainText() != before; ++i)
    QTest::keyClick(script, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(script->toPlainText(), before);
  EXPECT_FALSE(form->windowTitle().endsWith(QStringLiteral(" *")))
      << "undone to the text as loaded";
  // Save keeps the typing in the home folder, and the next start shows it.
  QTest::keyClicks(script, QStringLiteral("kept"));
  form->Button(QStringLiteral("Save"))->click();
  EXPECT_FALSE(form->windowTitle().endsWith(QStringLiteral(" *")));
  ASSERT_TRUE(std::filesystem::exists(SavedScript()));
  const QString saved = script->toPlainText();
  form.reset();
  Open();
  EXPECT_EQ(form->ScriptEdit->toPlainText(), saved);
  EXPECT_FALSE(form->ScriptModified());
}

TEST_F(EditorFeedback, ClosingWithScriptTypingAsksToSave) {
  OpenLoaded();
  ASSERT_FALSE(form->IsModified());
  form->ScriptEdit->appendPlainText(QStringLiteral("// typed"));
  dialogs.SaveChoices = {TSaveChoice::Cancel};
  form->close();
  EXPECT_EQ(dialogs.SaveQuestions.size(), 1);
  EXPECT_TRUE(form->isVisible()) << "cancel keeps the window";
  dialogs.SaveChoices = {TSaveChoice::Save};
  form->close();
  EXPECT_EQ(dialogs.SaveQuestions.size(), 2);
  EXPECT_TRUE(std::filesystem::exists(SavedScript()));
}

TEST_F(EditorFeedback, TabsStayInPlaceWhateverTheCaptionsCount) {
  OpenLoaded();
  QTabBar* bar = form->Tabs->tabBar();
  const int script = bar->tabRect(kTabScript).x();
  form->VertexList->ClickLine(4);
  EXPECT_EQ(form->TabCaption(kTabVert).toStdString(), "VERT/VTNM: 4/-1");
  // The widest numbers the arrays hold, and none at all.
  form->Tabs->setTabText(kTabVert, QStringLiteral("VERT/VTNM: %1/%1").arg(MeshCapacity - 1));
  form->Tabs->setTabText(kTabFvrt, QStringLiteral("FVRT: %1").arg(MeshCapacity - 1));
  form->Tabs->setTabText(kTabFace, QStringLiteral("Face: %1").arg(MeshCapacity - 1));
  EXPECT_EQ(bar->tabRect(kTabScript).x(), script);
  form->Tabs->setTabText(kTabVert, QStringLiteral("VERT/VTNM: -1/-1"));
  form->Tabs->setTabText(kTabFvrt, QStringLiteral("FVRT: 0"));
  EXPECT_EQ(bar->tabRect(kTabScript).x(), script);
}

TEST_F(EditorFeedback, AFailureIsClearedByTheNextAction) {
  OpenLoaded();
  form->Tabs->setCurrentIndex(kTabFace);
  form->FaceList->ClickLine(0);
  dialogs.Inputs.push_back(QStringLiteral("not a number"));
  form->Button(QStringLiteral("cg mat"))->click();
  ASSERT_EQ(dialogs.Errors.size(), 1);
  ASSERT_EQ(Status("StatusResult")->text().toStdString(), "cg mat: failed");
  form->VertexList->ClickLine(1);
  EXPECT_EQ(Status("StatusResult")->text().toStdString(), "");
  // A result that is not a failure stays until the next one replaces it.
  form->Button(QStringLiteral("Save"))->click();
  const QString saved = Status("StatusResult")->text();
  EXPECT_TRUE(saved.startsWith(QStringLiteral("Save: "))) << saved.toStdString();
  form->VertexList->ClickLine(2);
  EXPECT_EQ(Status("StatusResult")->text(), saved);
}

TEST_F(EditorFeedback, TheStatusBarShowsItsTextsWholeAtTheDefaultSize) {
  OpenLoaded();
  form->FaceList->ClickLine(1);
  form->CornerList->ClickLine(5);
  form->VertexList->ClickLine(4);
  form->Button(QStringLiteral("Save"))->click();
  QApplication::processEvents();
  const QRect bar = form->statusBar()->rect();
  for (const char* name : {"StatusResult", "StatusSelection", "StatusSize", "StatusCounts"}) {
    QLabel* l = Status(name);
    ASSERT_FALSE(l->text().isEmpty()) << name;
    const QRect at(l->mapTo(form->statusBar(), QPoint(0, 0)), l->size());
    EXPECT_TRUE(bar.contains(at)) << name;
    const QRect needed = QFontMetrics(l->font()).boundingRect(
        QRect(0, 0, l->contentsRect().width(), 10000), Qt::TextWordWrap, l->text());
    EXPECT_LE(needed.width(), l->contentsRect().width()) << name << ": " << l->text().toStdString();
    EXPECT_LE(needed.height(), l->contentsRect().height())
        << name << ": " << l->text().toStdString();
  }
}

}  // namespace
