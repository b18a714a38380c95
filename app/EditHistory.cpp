// The main window's edit history: every action that may change the document runs as one
// undoable step (RunEdit), a spin of the tool window is one step from its start to its stop,
// the Edit menu's undo and redo, the status bar's result of a step, and whether the records
// differ from what the record files hold ("Save changes?").

#include "app/MainWindow.h"

#include <QAction>
#include <QElapsedTimer>
#include <QLabel>
#include <QTabWidget>
#include <QUndoStack>
#include <algorithm>
#include <array>

#include "app/MainWindowShared.h"
#include "app/TexturingTab.h"
#include "mesh/Snapshot.h"
#include "viewers/ToolWindow.h"

using namespace mainwindow;

namespace {

// One step of the history. The action has already run when the step is pushed, so the
// first redo (QUndoStack::push calls it) does nothing.
class TStepCommand final : public QUndoCommand {
public:
  // `modelBefore` and `modelAfter`: the model named in the title before and after the step
  // (an import or a rip names a new one), so that undo and redo name the right one again.
  TStepCommand(TMainWindow& form, TMeshStep step, TDiskSides disk, QString modelBefore,
               QString modelAfter)
      : QUndoCommand(QString::fromStdString(step.Name)),
        m_form(form),
        m_step(std::move(step)),
        m_disk(std::move(disk)),
        m_modelBefore(std::move(modelBefore)),
        m_modelAfter(std::move(modelAfter)) {}
  const TMeshStep& Step() const { return m_step; }
  void undo() override {
    m_form.ModelName = m_modelBefore;
    m_form.ApplyStep(m_step, m_disk, true);
  }
  void redo() override {
    if (m_pushed) {
      m_form.ModelName = m_modelAfter;
      m_form.ApplyStep(m_step, m_disk, false);
    }
    m_pushed = true;
  }

private:
  TMainWindow& m_form;
  TMeshStep m_step;
  TDiskSides m_disk;
  QString m_modelBefore, m_modelAfter;
  bool m_pushed = false;
};

QString CountsText(const std::array<TBlob, 4>& before, const std::array<TBlob, 4>& after) {
  return QString::fromStdString(ChangedRecordsText(before, after));
}

// The status bar's result of a step: what changed, counted in records ("cg mat: 1 face in
// 0 ms", "Calc VTNM: 14 normals, 6 corners, 2 faces, saved in 3 ms"); a step that only
// wrote files counts the records it wrote ("Save: 1 face saved in 2 ms"). `ms` is the time
// of the work alone, without the questions.
QString ResultText(const TMeshStep& step, qint64 ms) {
  QString text = QString::fromStdString(step.Name) + QStringLiteral(": ");
  const QString changed = CountsText(step.Before.Arrays, step.After.Arrays);
  if (!changed.isEmpty()) {
    text += changed;
    if (step.WritesFiles()) text += QStringLiteral(", saved");
  } else if (step.WritesFiles()) {
    std::array<TBlob, 4> filesBefore, filesAfter;
    std::copy_n(step.FilesBefore.Files.begin(), 4, filesBefore.begin());
    std::copy_n(step.FilesAfter.Files.begin(), 4, filesAfter.begin());
    const QString written = CountsText(filesBefore, filesAfter);
    text += written.isEmpty() ? QStringLiteral("record files written")
                              : written + QStringLiteral(" saved");
  } else {
    text += QStringLiteral("mesh unchanged");
  }
  return text + QStringLiteral(" in %1 ms").arg(ms);
}

}  // namespace
bool TMainWindow::RunEdit(const QString& name, const std::function<void()>& action) {
  if (m_busy || !m_undo) return false;
  // A spin running meanwhile ends its step here and goes on as a new one after this edit.
  const bool spinning = m_spinStep.has_value();
  if (spinning) EndSpinStep();
  m_busy = true;
  QElapsedTimer clock;
  clock.start();
  const qint64 waitedBefore = m_timedDialogs.WaitedMs();
  TDiskSides disk = m_savedState.Begin();
  m_modelBeforeStep = ModelName;
  std::optional<TMeshStep> step;
  const bool ok = RunAction([&] { step = RecordStep(m_document, Std(name), TopStep(), action); });
  m_busy = false;
  if (ok && step) {
    FinishStep(std::move(*step), std::move(disk),
               clock.elapsed() - (m_timedDialogs.WaitedMs() - waitedBefore));
  } else if (!ok) {
    StatusResult->setText(name + QStringLiteral(": failed"));
  }
  if (spinning && m_tools->Spinning()) SpinChanged(true);
  UpdateState();
  return ok;
}

const TMeshStep* TMainWindow::TopStep() const {
  if (!m_undo || m_undo->index() <= 0) return nullptr;
  return &static_cast<const TStepCommand*>(m_undo->command(m_undo->index() - 1))->Step();
}

void TMainWindow::FinishStep(TMeshStep step, TDiskSides disk, qint64 ms) {
  // The lines of the records the step changed show them as they are now; the labels the
  // refresh may set belong to the step's "after" side.
  RefreshChangedLines(m_document, step.Before);
  step.After.BoxMin = m_document.BoxMin();
  step.After.BoxMax = m_document.BoxMax();
  step.After.SizeLabel = m_document.SizeLabel();
  m_savedState.End(step, disk);
  StatusResult->setText(ResultText(step, std::max<qint64>(0, ms)));
  if (step.ChangesRecords())
    m_undo->push(
        new TStepCommand(*this, std::move(step), std::move(disk), m_modelBeforeStep, ModelName));
}

void TMainWindow::SpinChanged(bool spinning) {
  if (!spinning) {
    EndSpinStep();
    UpdateState();
    return;
  }
  if (m_spinStep || !m_undo) return;
  m_spinDisk = m_savedState.Begin();
  m_modelBeforeStep = ModelName;
  RunAction([this] { m_spinStep = BeginStep(m_document, "spin", TopStep()); });
  UpdateUndoActions();
}

void TMainWindow::EndSpinStep() {
  if (!m_spinStep) return;
  TMeshStep step = std::move(*m_spinStep);
  m_spinStep.reset();
  const bool ended = RunAction([&] { EndStep(m_document, step, TopStep()); });
  if (ended) FinishStep(std::move(step), std::move(m_spinDisk), 0);
  UpdateUndoActions();
  if (!ended) return;
  // A spin has no meaningful work time of its own: the result names what turned.
  StatusResult->setText(StatusResult->text().section(QStringLiteral(" in "), 0, 0));
}

void TMainWindow::UpdateUndoActions() {
  if (!UndoAction || !m_undo) return;
  // While a spin runs, its step is the one undo would take back.
  const QString undoText = m_spinStep ? QStringLiteral("spin") : m_undo->undoText();
  UndoAction->setText(undoText.isEmpty() ? QStringLiteral("&Undo") : "&Undo " + undoText);
  UndoAction->setEnabled(m_spinStep || m_undo->canUndo());
  const QString redoText = m_undo->redoText();
  RedoAction->setText(redoText.isEmpty() ? QStringLiteral("&Redo") : "&Redo " + redoText);
  RedoAction->setEnabled(m_undo->canRedo());
}

void TMainWindow::Undo() {
  m_tools->StopSpin();
  m_undo->undo();
}

void TMainWindow::Redo() {
  m_tools->StopSpin();
  m_undo->redo();
}

void TMainWindow::ApplyStep(const TMeshStep& step, const TDiskSides& disk, bool undo) {
  const bool applied = RunAction([&] {
    std::vector<TBlob> candidates;
    AddCandidates(candidates, step.FilesBefore);
    AddCandidates(candidates, step.FilesAfter);
    const TRecordFileSet onDisk = ReadRecordFileSet(candidates);
    if (undo)
      step.Undo(m_document, onDisk);
    else
      step.Redo(m_document, onDisk);
  });
  if (undo)
    m_savedState.Undone(step, disk, applied);
  else
    m_savedState.Redone(step, disk, applied);
  RepaintViews();
  m_viewers.MeshViewerDrawScene();
  if (Tabs->currentIndex() == kTabTexturing) RunAction([this] { Texturing->TabShown(false); });
  StatusResult->setText((undo ? QStringLiteral("Undo ") : QStringLiteral("Redo ")) +
                        QString::fromStdString(step.Name));
  UpdateState();
}

bool TMainWindow::IsModified() const { return m_savedState.IsModified(m_document); }

bool TMainWindow::MaySaveChanges() {
  if (!IsModified() && !ScriptModified()) return true;
  switch (Dialogs().AskSaveChanges(this, QStringLiteral("Save changes?"))) {
    case TSaveChoice::Save:
      return RunEdit(QStringLiteral("Save"), [this] { Save(); });
    case TSaveChoice::Discard:
      return true;
    case TSaveChoice::Cancel:
      break;
  }
  return false;
}
