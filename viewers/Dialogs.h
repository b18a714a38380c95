#pragma once
// Every window asks the user through this one interface, so that tests can answer without
// a person: they install their own TDialogs with SetDialogs() and script the answers.
// The default implementation uses Qt's standard dialogs.

#include <QString>
#include <QStringList>
#include <optional>

class QSettings;
class QWidget;

// The answers to "Save changes?".
enum class TSaveChoice { Save, Discard, Cancel };

class TDialogs {
public:
  virtual ~TDialogs() = default;
  // A plain message box.
  virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
  // The standard error box for an error that ended a user action.
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
  // A Yes/No question; true for Yes.
  virtual bool AskYesNo(QWidget* parent, const QString& text) = 0;
  // "Save changes?" with Save / Discard / Cancel.
  virtual TSaveChoice AskSaveChanges(QWidget* parent, const QString& text) = 0;
  // An input box; nullopt when cancelled.
  virtual std::optional<QString> InputBox(QWidget* parent, const QString& caption, const QString& prompt,
                                          const QString& defaultText) = 0;
  // File dialogs; nullopt when cancelled. `filter` is in Qt's filter syntax. The standard
  // dialogs start in the folder last used with the same filter (see SetDialogFolders).
  virtual std::optional<QString> OpenFileName(QWidget* parent, const QString& caption, const QString& filter) = 0;
  virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& caption, const QString& filter) = 0;
};

// The dialogs in use (Qt's standard dialogs unless a test installed others).
TDialogs& Dialogs();
// Installs `dialogs` (not owned); nullptr restores the standard dialogs.
void SetDialogs(TDialogs* dialogs);

// Where the standard file dialogs remember their folders: the "Folders" group of
// `settings` (not owned; nullptr forgets nothing but remembers nothing either), one key per
// filter, so rips, exports and scripts each start where their kind was last chosen.
void SetDialogFolders(QSettings* settings);
// The remembered folder for `filter` ("" when none), and remembering the folder of `file`.
QString DialogFolder(const QString& filter);
void RememberDialogFolder(const QString& filter, const QString& file);
