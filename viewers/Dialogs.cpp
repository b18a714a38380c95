#include "viewers/Dialogs.h"

#include <QFileDialog>
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
    const QString name = QFileDialog::getOpenFileName(parent, caption, QString(), filter);
    if (name.isEmpty()) return std::nullopt;
    return name;
  }
  std::optional<QString> SaveFileName(QWidget* parent, const QString& caption, const QString& filter) override {
    const QString name = QFileDialog::getSaveFileName(parent, caption, QString(), filter);
    if (name.isEmpty()) return std::nullopt;
    return name;
  }
};

TQtDialogs g_qtDialogs;
TDialogs* g_dialogs = nullptr;

}  // namespace

TDialogs& Dialogs() { return g_dialogs ? *g_dialogs : g_qtDialogs; }

void SetDialogs(TDialogs* dialogs) { g_dialogs = dialogs; }
