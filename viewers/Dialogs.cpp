#include "viewers/Dialogs.h"

#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>

namespace {

// A box belongs to the window that asks (the window manager keeps it above that window and
// its tool windows); it is never put above other programs.
int AskOnTop(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
             QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, title, text, buttons, parent);
  return box.exec();
}

// "IFF Files (*.iff)" -> "Folders/iff": the patterns name the kind of file.
QString FolderKey(const QString& filter) {
  static const QRegularExpression nonWord(QStringLiteral("[^A-Za-z0-9]+"));
  const qsizetype open = filter.indexOf('(');
  const QString patterns = open >= 0 ? filter.mid(open) : filter;
  QString key = patterns.toLower().replace(nonWord, QStringLiteral("_"));
  while (key.startsWith('_')) key.remove(0, 1);
  while (key.endsWith('_')) key.chop(1);
  return QStringLiteral("Folders/") + (key.isEmpty() ? QStringLiteral("any") : key);
}

}  // namespace

void TStandardDialogs::ShowMessage(QWidget* parent, const QString& text) {
  AskOnTop(parent, QMessageBox::Information, QStringLiteral("Tessavor"), text, QMessageBox::Ok);
}

void TStandardDialogs::ShowError(QWidget* parent, const QString& text) {
  AskOnTop(parent, QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok);
}

bool TStandardDialogs::AskYesNo(QWidget* parent, const QString& text) {
  return AskOnTop(parent, QMessageBox::Question, QStringLiteral("Confirm"), text,
                  QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

TSaveChoice TStandardDialogs::AskSaveChanges(QWidget* parent, const QString& text) {
  const auto answer = QMessageBox::question(
      parent, QStringLiteral("Tessavor"), text,
      QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
  if (answer == QMessageBox::Save) return TSaveChoice::Save;
  if (answer == QMessageBox::Discard) return TSaveChoice::Discard;
  return TSaveChoice::Cancel;
}

bool TStandardDialogs::AskRecover(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Recover unsaved changes"), text,
                  QMessageBox::NoButton, parent);
  QPushButton* recover = box.addButton(QStringLiteral("Recover"), QMessageBox::AcceptRole);
  box.addButton(QMessageBox::Discard);
  box.setDefaultButton(recover);
  box.exec();
  return box.clickedButton() == recover;
}

bool TStandardDialogs::AskSaveAndCompile(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Tessavor"), text, QMessageBox::Cancel,
                  parent);
  QPushButton* go = box.addButton(QStringLiteral("Save and compile"), QMessageBox::AcceptRole);
  box.setDefaultButton(go);
  box.exec();
  return box.clickedButton() == go;
}

std::optional<QString> TStandardDialogs::InputBox(QWidget* parent, const QString& caption,
                                                  const QString& prompt,
                                                  const QString& defaultText) {
  QInputDialog box(parent);
  box.setWindowTitle(caption);
  box.setLabelText(prompt);
  box.setTextValue(defaultText);
  if (box.exec() != QDialog::Accepted) return std::nullopt;
  return box.textValue();
}

std::optional<QString> TStandardDialogs::AskFileName(TFileQuestion ask, QWidget* parent,
                                                     const QString& caption,
                                                     const QString& filter) {
  const QString name = ask(parent, caption, DialogFolder(filter), filter, nullptr, {});
  if (name.isEmpty()) return std::nullopt;
  RememberDialogFolder(filter, name);
  return name;
}

std::optional<QString> TStandardDialogs::OpenFileName(QWidget* parent, const QString& caption,
                                                      const QString& filter) {
  return AskFileName(&QFileDialog::getOpenFileName, parent, caption, filter);
}

std::optional<QString> TStandardDialogs::OpenFileNameAt(QWidget* parent, const QString& caption,
                                                        const QString& filter,
                                                        const QString& start) {
  const QString name = QFileDialog::getOpenFileName(parent, caption, start, filter);
  if (name.isEmpty()) return std::nullopt;
  RememberDialogFolder(filter, name);
  return name;
}

std::optional<QString> TStandardDialogs::SaveFileName(QWidget* parent, const QString& caption,
                                                      const QString& filter) {
  return AskFileName(&QFileDialog::getSaveFileName, parent, caption, filter);
}

std::optional<QString> TStandardDialogs::SaveFileNameOfType(QWidget* parent, const QString& caption,
                                                            const QString& filter, QString& type) {
  type.clear();
  const QString name =
      QFileDialog::getSaveFileName(parent, caption, DialogFolder(filter), filter, &type, {});
  if (name.isEmpty()) return std::nullopt;
  RememberDialogFolder(filter, name);
  return name;
}

QString TStandardDialogs::DialogFolder(const QString& filter) const {
  return m_folders ? m_folders->value(FolderKey(filter)).toString() : QString();
}

void TStandardDialogs::RememberDialogFolder(const QString& filter, const QString& file) {
  if (m_folders) m_folders->setValue(FolderKey(filter), QFileInfo(file).absolutePath());
}

template <class TCall>
auto TTimedDialogs::Timed(TCall call) {
  QElapsedTimer clock;
  clock.start();
  struct TAdd {
    QElapsedTimer& Clock;
    qint64& Waited;
    ~TAdd() { Waited += Clock.elapsed(); }
  } add{clock, m_waited};
  return call();
}

void TTimedDialogs::ShowMessage(QWidget* parent, const QString& text) {
  Timed([&] { m_inner.ShowMessage(parent, text); });
}
void TTimedDialogs::ShowError(QWidget* parent, const QString& text) {
  Timed([&] { m_inner.ShowError(parent, text); });
}
bool TTimedDialogs::AskYesNo(QWidget* parent, const QString& text) {
  return Timed([&] { return m_inner.AskYesNo(parent, text); });
}
bool TTimedDialogs::AskRecover(QWidget* parent, const QString& text) {
  return Timed([&] { return m_inner.AskRecover(parent, text); });
}
TSaveChoice TTimedDialogs::AskSaveChanges(QWidget* parent, const QString& text) {
  return Timed([&] { return m_inner.AskSaveChanges(parent, text); });
}
std::optional<QString> TTimedDialogs::InputBox(QWidget* parent, const QString& caption,
                                               const QString& prompt, const QString& defaultText) {
  return Timed([&] { return m_inner.InputBox(parent, caption, prompt, defaultText); });
}
std::optional<QString> TTimedDialogs::OpenFileName(QWidget* parent, const QString& caption,
                                                   const QString& filter) {
  return Timed([&] { return m_inner.OpenFileName(parent, caption, filter); });
}
std::optional<QString> TTimedDialogs::SaveFileName(QWidget* parent, const QString& caption,
                                                   const QString& filter) {
  return Timed([&] { return m_inner.SaveFileName(parent, caption, filter); });
}
std::optional<QString> TTimedDialogs::SaveFileNameOfType(QWidget* parent, const QString& caption,
                                                         const QString& filter, QString& type) {
  return Timed([&] { return m_inner.SaveFileNameOfType(parent, caption, filter, type); });
}
std::optional<QString> TTimedDialogs::OpenFileNameAt(QWidget* parent, const QString& caption,
                                                     const QString& filter, const QString& start) {
  return Timed([&] { return m_inner.OpenFileNameAt(parent, caption, filter, start); });
}
bool TTimedDialogs::AskSaveAndCompile(QWidget* parent, const QString& text) {
  return Timed([&] { return m_inner.AskSaveAndCompile(parent, text); });
}
