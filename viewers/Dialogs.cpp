#include "viewers/Dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QInputDialog>
#include <QMessageBox>

namespace {

// The Points, Faces and tool windows and the viewers stay on top of other windows; a box
// that did not would open half under them, with its buttons out of reach.
int AskOnTop(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
             QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, title, text, buttons, parent);
  box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
  return box.exec();
}

class TQtDialogs final : public TDialogs {
public:
  void ShowMessage(QWidget* parent, const QString& text) override {
    AskOnTop(parent, QMessageBox::Information, QStringLiteral("Tessavor"), text, QMessageBox::Ok);
  }
  void ShowError(QWidget* parent, const QString& text) override {
    AskOnTop(parent, QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok);
  }
  bool AskYesNo(QWidget* parent, const QString& text) override {
    return AskOnTop(parent, QMessageBox::Question, QStringLiteral("Confirm"), text,
                    QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  }
  TSaveChoice AskSaveChanges(QWidget* parent, const QString& text) override {
    const auto answer = QMessageBox::question(parent, QStringLiteral("Tessavor"), text,
                                              QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel,
                                              QMessageBox::Save);
    if (answer == QMessageBox::Save) return TSaveChoice::Save;
    if (answer == QMessageBox::Discard) return TSaveChoice::Discard;
    return TSaveChoice::Cancel;
  }
  std::optional<QString> InputBox(QWidget* parent, const QString& caption, const QString& prompt,
                                  const QString& defaultText) override {
    QInputDialog box(parent, Qt::WindowStaysOnTopHint);
    box.setWindowTitle(caption);
    box.setLabelText(prompt);
    box.setTextValue(defaultText);
    if (box.exec() != QDialog::Accepted) return std::nullopt;
    return box.textValue();
  }
  std::optional<QString> OpenFileName(QWidget* parent, const QString& caption, const QString& filter) override {
    const QString name = QFileDialog::getOpenFileName(parent, caption, DialogFolder(filter), filter);
    if (name.isEmpty()) return std::nullopt;
    RememberDialogFolder(filter, name);
    return name;
  }
  std::optional<QString> SaveFileName(QWidget* parent, const QString& caption, const QString& filter) override {
    const QString name = QFileDialog::getSaveFileName(parent, caption, DialogFolder(filter), filter);
    if (name.isEmpty()) return std::nullopt;
    RememberDialogFolder(filter, name);
    return name;
  }
};

TQtDialogs g_qtDialogs;
TDialogs* g_dialogs = nullptr;
QSettings* g_folders = nullptr;

// "IFF Files (*.iff)" -> "Folders/iff": the patterns name the kind of file.
QString FolderKey(const QString& filter) {
  static const QRegularExpression nonWord(QStringLiteral("[^A-Za-z0-9]+"));
  const int open = filter.indexOf('(');
  const QString patterns = open >= 0 ? filter.mid(open) : filter;
  QString key = patterns.toLower().replace(nonWord, QStringLiteral("_"));
  while (key.startsWith('_')) key.remove(0, 1);
  while (key.endsWith('_')) key.chop(1);
  return QStringLiteral("Folders/") + (key.isEmpty() ? QStringLiteral("any") : key);
}

}  // namespace

TDialogs& Dialogs() { return g_dialogs ? *g_dialogs : g_qtDialogs; }

void SetDialogs(TDialogs* dialogs) { g_dialogs = dialogs; }

void SetDialogFolders(QSettings* settings) { g_folders = settings; }

QString DialogFolder(const QString& filter) {
  return g_folders ? g_folders->value(FolderKey(filter)).toString() : QString();
}

void RememberDialogFolder(const QString& filter, const QString& file) {
  if (g_folders) g_folders->setValue(FolderKey(filter), QFileInfo(file).absolutePath());
}
