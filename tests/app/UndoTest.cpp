// The editor that never loses work: undo and redo through the Edit menu, the unsaved-changes
// question, Cancel in every input box, the title's marker, recent files and dropped files.

#include <cctype>

#include <QAction>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QUndoStack>
#include <QUrl>

#include <chrono>
#include <thread>

#include "AppTestSupport.h"
#include "app/LineListModel.h"
#include "app/LongWork.h"
#include "support/IffBytes.h"

using testsupport::Bytes;
using testsupport::ReadBytes;

namespace {

constexpr int kTabFvrt = 1, kTabTexturing = 4;

class UndoTest : public WindowTest {
protected:
  void Click(const QString& caption) {
    QPushButton* b = form->Button(caption);
    ASSERT_NE(b, nullptr) << caption.toStdString();
    b->click();
  }
  std::vector<Bytes> Files() const {
    std::vector<Bytes> out;
    for (const char* name : kRecordFileNames) out.push_back(ReadBytes(home.File(name)));
    return out;
  }
  // Types a texture coordinate for corner 0 and applies it: an unsaved change.
  void ChangeCornerZero() {
    form->Tabs->setCurrentIndex(kTabFvrt);
    form->CornerList->ClickLine(0);
    form->EditTx->setText("0.75");
    Click("Apply TexCord");
  }
  // A model file with one triangle, as the game stores it.
  std::string WriteModel(const char* name) {
    using namespace iffbytes;
    Bytes vert, vtnm, fvrt, face, radi;
    for (float c : {0.f, 0.f, 0.f, 1.f, 0.f, 0.f, 0.f, 1.f, 0.f}) testsupport::PutF32(vert, c);
    for (float c : {0.f, 0.f, 1.f}) testsupport::PutF32(vtnm, c);
    for (int32_t k = 0; k < 3; ++k)
      for (uint32_t u : {uint32_t(k), 0u, 0u, 0u}) testsupport::PutU32(fvrt, u);
    for (uint32_t u : {0u, 0u, 9u, 0u, 3u, 0u, 0u}) testsupport::PutU32(face, u);
    testsupport::PutF32(radi, 1.5f);
    const std::string path = home.File(name);
    testsupport::WriteBytes(
        path, Form("MESH", Cat({Chunk("VERT", vert), Chunk("VTNM", vtnm), Chunk("FVRT", fvrt),
                                Chunk("FACE", face), Chunk("RADI", radi)})));
    return path;
  }
};

TEST_F(UndoTest, FlipYUndoneGivesBackTheRecordFilesAndRedoFlipsAgain) {
  OpenLoaded();
  const auto original = Files();
  Click("flipY");
  const auto flipped = Files();
  ASSERT_NE(flipped, original);
  EXPECT_EQ(form->UndoAction->text(), "&Undo flipY");
  form->UndoAction->trigger();
  EXPECT_EQ(Files(), original);
  EXPECT_EQ(form->Document().VERT[0].y, -10.0f);
  EXPECT_EQ(form->Document().VertexLines.Line(0), "-10.000, -10.000, 0.000");
  form->RedoAction->trigger();
  EXPECT_EQ(Files(), flipped);
  EXPECT_EQ(form->Document().VERT[0].y, 10.0f);
  EXPECT_FALSE(form->windowTitle().endsWith(" *"));
}

TEST_F(UndoTest, InMemoryChangeMarksTheTitleAndUndoClearsIt) {
  OpenLoaded();
  EXPECT_FALSE(form->windowTitle().endsWith(" *")) << form->windowTitle().toStdString();
  EXPECT_TRUE(form->windowTitle().startsWith("Tessavor 0.8 \u2014 "));
  ChangeCornerZero();
  EXPECT_TRUE(form->windowTitle().endsWith(" *"));
  EXPECT_EQ(form->UndoAction->text(), "&Undo Apply TexCord");
  form->UndoAction->trigger();
  EXPECT_EQ(form->Document().FVRT[0].Tx, 0.0f);
  EXPECT_FALSE(form->windowTitle().endsWith(" *"));
  EXPECT_TRUE(dialogs.SaveQuestions.isEmpty());
}

TEST_F(UndoTest, SaveChangesIsAskedOnlyWithUnsavedChanges) {
  OpenLoaded();
  Click("Load");
  EXPECT_TRUE(dialogs.SaveQuestions.isEmpty());

  ChangeCornerZero();
  // The Texturing tab shows the document as it is: no question, the typed value stays.
  form->Tabs->setCurrentIndex(kTabTexturing);
  form->Tabs->setCurrentIndex(0);
  EXPECT_TRUE(dialogs.SaveQuestions.isEmpty());
  EXPECT_EQ(form->Document().FVRT[0].Tx, 0.75f);
  // Cancel: Load and closing keep the typed value.
  dialogs.SaveChoices = {TSaveChoice::Cancel, TSaveChoice::Cancel};
  Click("Load");
  EXPECT_FALSE(form->close());
  EXPECT_EQ(dialogs.SaveQuestions, QStringList(2, "Save changes?"));
  EXPECT_EQ(form->Document().FVRT[0].Tx, 0.75f);
  EXPECT_TRUE(form->isVisible());

  // Save writes the change before the reload; Discard lets the reload drop it.
  dialogs.SaveChoices = {TSaveChoice::Save};
  Click("Load");
  EXPECT_EQ(form->Document().FVRT[0].Tx, 0.75f);
  EXPECT_FALSE(form->windowTitle().endsWith(" *"));
  form->EditTx->setText("0.5");
  form->CornerList->ClickLine(0);
  form->EditTx->setText("0.5");
  Click("Apply TexCord");
  dialogs.SaveChoices = {TSaveChoice::Discard};
  Click("Load");
  EXPECT_EQ(form->Document().FVRT[0].Tx, 0.75f);
  EXPECT_EQ(dialogs.SaveQuestions.size(), 4);
}

struct TCancelCase {
  const char* Button;
  bool YesNo;  // the button asks Yes/No (answered No) instead of an input box (cancelled)
};

class CancelTest : public UndoTest, public ::testing::WithParamInterface<TCancelCase> {};

TEST_P(CancelTest, CancelLeavesRecordsAndFilesAsTheyWere) {
  OpenLoaded();
  form->Tabs->setCurrentIndex(2);
  form->FaceList->ClickLine(0);
  const auto files = Files();
  const TMeshSnapshot before = TakeSnapshot(form->Document());
  if (GetParam().YesNo) dialogs.YesNo.push_back(false);
  Click(GetParam().Button);
  EXPECT_EQ(Files(), files);
  EXPECT_TRUE(SnapshotMatches(form->Document(), before));
  EXPECT_FALSE(form->IsModified());
  EXPECT_EQ(form->UndoStack()->count(), 0);
}

INSTANTIATE_TEST_SUITE_P(InputBoxes, CancelTest,
                         ::testing::Values(TCancelCase{"Cg all mat", false},
                                           TCancelCase{"cg mat", false},
                                           TCancelCase{"Import ASC", false},
                                           TCancelCase{"all 0", true},
                                           TCancelCase{"RandAll", true}),
                         // Named by the button: printed as raw bytes, the case's name would
                         // hold a pointer and change from run to run.
                         [](const auto& p) {
                           std::string name;
                           for (const char* c = p.param.Button; *c; ++c) {
                             if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                           }
                           return name;
                         });

TEST_F(UndoTest, HistoryKeepsTheLastHundredSteps) {
  OpenLoaded();
  for (int i = 0; i < kUndoSteps + 5; ++i) Click("flip VTNM");
  EXPECT_EQ(form->UndoStack()->count(), kUndoSteps);
  while (form->UndoStack()->canUndo()) form->UndoAction->trigger();
  // 105 flips, 100 undone: the normals stay flipped once more, as the oldest five steps are gone.
  EXPECT_EQ(form->Document().VTNM[0].z, -1.0f);
}

TEST_F(UndoTest, StatusBarCountsWhatChangedAndTimesOnlyTheWork) {
  OpenLoaded();
  EXPECT_EQ(form->StatusCounts->text(), "VERT 5  VTNM 4  FVRT 6  FACE 2");
  EXPECT_TRUE(form->StatusSize->text().contains("RADI=2.5"));
  form->Tabs->setCurrentIndex(2);
  form->FaceList->ClickLine(1);
  dialogs.Inputs.push_back(QString("512"));
  Click("cg mat");
  EXPECT_TRUE(form->StatusResult->text().startsWith("cg mat: 1 face in "))
      << form->StatusResult->text().toStdString();
  // The Save after it wrote that one face: never "mesh unchanged".
  Click("Save");
  EXPECT_TRUE(form->StatusResult->text().startsWith("Save: 1 face saved in "))
      << form->StatusResult->text().toStdString();
  // "flipY" on the five vertices: the vertices that changed (the fifth has y 0, and -0 has
  // other bits than 0), and the two triangles' last two corners each, swapped so that the
  // faces keep facing outwards; the normals (0, 0, 1) lie in the mirror and stay.
  Click("flipY");
  EXPECT_TRUE(form->StatusResult->text().startsWith("flipY: 5 vertices, 4 corners, saved in "))
      << form->StatusResult->text().toStdString();
}

TEST_F(UndoTest, TheTimeOfAQuestionIsNotCountedAsWork) {
  OpenLoaded();
  form->Tabs->setCurrentIndex(2);
  form->FaceList->ClickLine(1);
  dialogs.InputDelayMs = 400;  // a user who takes a while to answer; the work takes a few ms
  dialogs.Inputs.push_back(QString("7"));
  Click("cg mat");
  const QString text = form->StatusResult->text();
  const qsizetype in = text.lastIndexOf(" in ");
  ASSERT_TRUE(in >= 0 && text.endsWith(" ms")) << text.toStdString();
  EXPECT_LT(text.mid(in + 4).chopped(3).toInt(), 300) << text.toStdString();
}

TEST_F(UndoTest, RippedFileIsRecentAcrossARestartAndCanBeUndone) {
  OpenLoaded();
  const auto original = Files();
  const std::string model = WriteModel("ship.iff");
  dialogs.FileNames.push_back(QString::fromStdString(model));
  Click("Rip mesh");
  EXPECT_EQ(form->Document().NumVert, 3);
  form->UndoAction->trigger();
  EXPECT_EQ(Files(), original);
  EXPECT_EQ(form->Document().NumVert, 5);
  form.reset();
  Open();
  EXPECT_EQ(form->RecentFiles(), QStringList{QString::fromStdString(model)});
  ASSERT_EQ(form->RecentMenu->actions().size(), 1);
  form->RecentMenu->actions()[0]->trigger();
  EXPECT_EQ(form->Document().NumVert, 3);
}

TEST_F(UndoTest, DroppedModelFileIsRippedAfterTheQuestion) {
  OpenLoaded();
  ChangeCornerZero();
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(WriteModel("drop.IFF")))});
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  dialogs.SaveChoices = {TSaveChoice::Cancel, TSaveChoice::Discard};
  // Straight to the window: the application would hand a drop only to the target of a
  // real drag.
  static_cast<QObject*>(form.get())->event(&drop);
  EXPECT_EQ(form->Document().NumVert, 5);
  QDropEvent again(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  static_cast<QObject*>(form.get())->event(&again);
  EXPECT_EQ(form->Document().NumVert, 3);
  EXPECT_EQ(dialogs.SaveQuestions.size(), 2);
}

}  // namespace

// ---- long work ---------------------------------------------------------------------------

namespace {

QProgressDialog* VisibleProgress() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* p = qobject_cast<QProgressDialog*>(w); p && p->isVisible()) return p;
  return nullptr;
}

TEST(LongWork, WindowThreadRunsOnAndProgressAppearsAfterHalfASecond) {
  QWidget window;
  QLineEdit edit(&window);
  window.show();
  int ticks = 0;
  bool shownEarly = false, shownLate = false, blocked = false;
  QTimer timer;
  QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
  timer.start(20);
  QTimer::singleShot(200, [&] { shownEarly = VisibleProgress() != nullptr; });
  QTimer::singleShot(900, [&] {
    shownLate = VisibleProgress() != nullptr;
    blocked = !edit.isEnabled();
  });
  const bool done =
      RunLongWork(&window, {&edit}, "Working...", false, [](const std::atomic<bool>&) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
      });
  EXPECT_TRUE(done);
  EXPECT_GT(ticks, 10) << "the window thread kept handling events";
  EXPECT_FALSE(shownEarly);
  EXPECT_TRUE(shownLate);
  EXPECT_TRUE(blocked);
  EXPECT_TRUE(edit.isEnabled());
}

TEST(LongWork, CancelStopsTheWorkAndErrorsComeBackToTheCaller) {
  QWidget window;
  window.show();
  QTimer::singleShot(700, [] {
    if (QProgressDialog* p = VisibleProgress())
      if (auto* cancel = p->findChild<QPushButton*>()) cancel->click();
  });
  EXPECT_FALSE(RunLongWork(&window, {}, "Working...", true, [](const std::atomic<bool>& cancelled) {
    for (int i = 0; i < 500 && !cancelled; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (cancelled) throw EWorkCancelled("cancelled");
  }));
  EXPECT_THROW(RunLongWork(&window, {}, "Working...", false,
                           [](const std::atomic<bool>&) { throw EInOutError("disk gone"); }),
               EInOutError);
}

}  // namespace
