#include "viewers/Dialogs.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {

class TQtDialogs final : public TDialogs {
public:
  void ShowMessage(QWidget* parent, const QString& text) override {
    QMessageBox::information(parent, QStringLiteral("Tessavor"), text);
  }
  void ShowError(QWidget* parent, const QString& text) override {
    QMessageBox::critical(parent, QStringLiteral("Error"), text);
  }
  bool AskYesNo(QWidget* parent, const QString& text) override {
    return QMessageBox::question(parent, QStringLiteral("Confirm"), text, QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
  }
  std::optional<QString> InputBox(QWidget* parent, const QString& caption, const QString& prompt,
                                  const QString& defaultText) override {
    bool ok = false;
    const QString text = QInputDialog::getText(parent, caption, prompt, QLineEdit::Normal, defaultText, &ok);
    if (!ok) return std::nullopt;
    return text;
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
