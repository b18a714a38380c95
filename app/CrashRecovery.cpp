// The main window's recovery of unsaved changes: the recovery file written a moment after
// each change that leaves the records unsaved, removed when they are saved or dropped, and
// offered at the next start when a crash left it behind.

#include <QLabel>
#include <QTimer>

#include "app/MainWindow.h"
#include "app/MainWindowShared.h"
#include "mesh/Recovery.h"

using namespace mainwindow;

void TMainWindow::ScheduleRecovery() {
  // Not before the start-up has offered what a crash left: its Load would count as saved
  // and take the file away.
  if (!KeepsRecovery || m_closed || !m_recoveryOffered) return;
  if (!m_recoveryTimer) {
    m_recoveryTimer = new QTimer(this);
    m_recoveryTimer->setSingleShot(true);
    connect(m_recoveryTimer, &QTimer::timeout, this, &TMainWindow::WriteRecoveryNow);
  }
  // One write per burst of edits: the timer is not restarted by later ones, so the file is
  // never more than the delay behind.
  if (IsModified()) {
    if (!m_recoveryTimer->isActive()) m_recoveryTimer->start(kRecoveryDelayMs);
  } else {
    m_recoveryTimer->stop();
    RemoveRecoveryFile();
  }
}

void TMainWindow::WriteRecoveryNow() {
  if (!KeepsRecovery || m_closed) return;
  // A spin turns the vertices without steps: what it has turned so far is written too.
  if (!IsModified()) {
    RemoveRecoveryFile();
    return;
  }
  try {
    WriteRecoveryFile(m_document, Std(ModelName));
  } catch (const Exception& e) {
    // Not worth a box in the middle of editing; the status bar says it.
    if (StatusResult) StatusResult->setText(QStringLiteral("Recovery file: ") + Q(e.Message()));
  }
}

void TMainWindow::OfferRecovery() {
  if (!KeepsRecovery || m_recoveryOffered) return;
  m_recoveryOffered = true;
  std::optional<TRecovery> found;
  try {
    found = ReadRecoveryFile();
  } catch (const Exception& e) {
    Dialogs().ShowError(this, QStringLiteral("The unsaved changes of the last session cannot be "
                                             "recovered: ") +
                                  Q(e.Message()));
    RemoveRecoveryFile();
    return;
  }
  if (!found) {
    UpdateState();  // an edit made before the offer (none, usually) gets its file now
    return;
  }
  const QString model =
      found->ModelName.empty() ? QString() : QStringLiteral(" of ") + Q(found->ModelName);
  const bool recover = Dialogs().AskRecover(
      this, QStringLiteral("The last session%1 ended without saving its changes. Recover "
                           "them? They stay unsaved until you save them.")
                .arg(model));
  if (!recover) {
    RemoveRecoveryFile();
    return;
  }
  const TRecovery recovery = std::move(*found);
  if (RunEdit(QStringLiteral("Recover"), [&] {
        RestoreSnapshot(m_document, recovery.Records);
        ModelName = Q(recovery.ModelName);
      })) {
    RepaintViews();
    UpdateState();
  }
}
