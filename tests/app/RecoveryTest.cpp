// Recovery of unsaved changes: a session that ends without closing (as a crash does) leaves
// the recovery file within the delay, the next start offers it, and the recovered records
// stay unsaved until Save; a clean close, Save and "don't save" leave no file.
#include <QPushButton>
#include <QTest>

#include <filesystem>

#include "AppTestSupport.h"
#include "mesh/Recovery.h"

namespace fs = std::filesystem;

namespace {

class Recovery : public WindowTest {
protected:
  bool FileThere() const { return fs::exists(home.File(kRecoveryFile)); }
  // The file appears at most the delay after the edit (with room for a loaded machine).
  bool WaitForFile() {
    return QTest::qWaitFor([this] { return FileThere(); }, TMainWindow::kRecoveryDelayMs + 3000);
  }
  void Click(const QString& caption) {
    QPushButton* b = form->Button(caption);
    ASSERT_NE(b, nullptr) << caption.toStdString();
    b->click();
    QApplication::processEvents();
  }
  // Flips the normals in memory only: the records then differ from the files.
  void EditWithoutSaving() {
    Click(QStringLiteral("flip VTNM"));
    ASSERT_TRUE(form->IsModified());
  }
};

TEST_F(Recovery, ACrashedSessionIsOfferedAndItsRecordsSavedAfterRecover) {
  OpenLoaded();
  const testsupport::Bytes saved = testsupport::ReadBytes(home.File("vtnm.kvt"));
  form->ModelName = QStringLiteral("/models/square.iff");
  EditWithoutSaving();
  ASSERT_TRUE(WaitForFile()) << "no recovery file " << TMainWindow::kRecoveryDelayMs
                             << " ms after the edit";
  EXPECT_EQ(testsupport::ReadBytes(home.File("vtnm.kvt")), saved) << "the record files changed";
  const TMeshSnapshot edited = TakeSnapshot(form->Document());
  form.reset();  // gone without closing, as after kill -9
  ASSERT_TRUE(FileThere()) << "the file went with the window";

  dialogs.YesNo.push_back(true);
  Open();
  ASSERT_EQ(dialogs.Questions.size(), 1);
  EXPECT_TRUE(dialogs.Questions[0].contains(QStringLiteral("/models/square.iff")))
      << dialogs.Questions[0].toStdString();
  EXPECT_TRUE(SnapshotMatches(form->Document(), edited));
  EXPECT_TRUE(form->windowTitle().endsWith(QStringLiteral(" *")))
      << form->windowTitle().toStdString();
  EXPECT_TRUE(form->windowTitle().contains(QStringLiteral("square.iff")));
  EXPECT_EQ(testsupport::ReadBytes(home.File("vtnm.kvt")), saved) << "recovered, not saved";

  Click(QStringLiteral("Save"));
  EXPECT_FALSE(form->windowTitle().endsWith(QStringLiteral(" *")));
  EXPECT_NE(testsupport::ReadBytes(home.File("vtnm.kvt")), saved);
  TMeshDocument onDisk;
  onDisk.LoadRecordFiles();
  EXPECT_TRUE(SnapshotMatches(onDisk, edited)) << "Save wrote the recovered records";
  EXPECT_FALSE(FileThere()) << "Save leaves no recovery file";
}

TEST_F(Recovery, DiscardKeepsTheFilesAndRemovesTheOffer) {
  OpenLoaded();
  EditWithoutSaving();
  ASSERT_TRUE(WaitForFile());
  form.reset();
  dialogs.YesNo.push_back(false);
  Open();
  ASSERT_EQ(dialogs.Questions.size(), 1);
  EXPECT_FALSE(form->IsModified());
  EXPECT_FALSE(FileThere());
  form.reset();
  Open();
  EXPECT_EQ(dialogs.Questions.size(), 1) << "asked again after Discard";
}

TEST_F(Recovery, ACleanCloseLeavesNothing) {
  OpenLoaded();
  EditWithoutSaving();
  ASSERT_TRUE(WaitForFile());
  dialogs.SaveChoices.push_back(TSaveChoice::Discard);
  form->close();
  EXPECT_EQ(dialogs.SaveQuestions.size(), 1);
  EXPECT_FALSE(FileThere());
}

TEST_F(Recovery, UndoBackToTheSavedRecordsRemovesTheFile) {
  OpenLoaded();
  EditWithoutSaving();
  ASSERT_TRUE(WaitForFile());
  form->Undo();
  QApplication::processEvents();
  EXPECT_FALSE(form->IsModified());
  EXPECT_FALSE(FileThere());
}

TEST_F(Recovery, ADamagedFileIsReportedAndRemovedWithoutAQuestion) {
  TSampleMesh::Square().Write(home);
  testsupport::WriteBytes(home.File(kRecoveryFile), {'T', 'V', 'R'});
  Open();
  EXPECT_TRUE(dialogs.Questions.isEmpty());
  ASSERT_EQ(dialogs.Errors.size(), 1);
  EXPECT_TRUE(dialogs.Errors[0].contains(QStringLiteral("ends inside its signature")))
      << dialogs.Errors[0].toStdString();
  EXPECT_FALSE(FileThere());
}

}  // namespace
