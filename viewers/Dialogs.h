#pragma once
// Every window asks the user through this one interface, so that tests can answer without
// a person: the main window is given a TDialogs (tests give one that scripts the answers)
// and hands it to every window it makes. TStandardDialogs uses Qt's standard dialogs.

#include <QFileDialog>
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
  virtual std::optional<QString> InputBox(QWidget* parent, const QString& caption,
                                          const QString& prompt, const QString& defaultText) = 0;
  // File dialogs; nullopt when cancelled. `filter` is in Qt's filter syntax. The standard
  // dialogs start in the folder last used with the same filter.
  virtual std::optional<QString> OpenFileName(QWidget* parent, const QString& caption,
                                              const QString& filter) = 0;
  virtual std::optional<QString> SaveFileName(QWidget* parent, const QString& caption,
                                              const QString& filter) = 0;
  // A save dialog that also tells which of the filter's types was chosen ("Files of type"),
  // in `type`; empty when the dialog cannot tell. By default: SaveFileName, `type` empty.
  virtual std::optional<QString> SaveFileNameOfType(QWidget* parent, const QString& caption,
                                                    const QString& filter, QString& type) {
    type.clear();
    return SaveFileName(parent, caption, filter);
  }
  // "Save and compile" / Cancel; true for the first. Unless overridden, the answer to
  // AskSaveChanges: Save is yes, Discard and Cancel are no.
  virtual bool AskSaveAndCompile(QWidget* parent, const QString& text) {
    return AskSaveChanges(parent, text) == TSaveChoice::Save;
  }
  // "Recover unsaved changes": Recover (the default) or Discard; true for Recover. Unless
  // overridden, the answer to AskYesNo.
  virtual bool AskRecover(QWidget* parent, const QString& text) { return AskYesNo(parent, text); }
  // An open dialog that starts on `start` (a file, selected, or a folder); the plain one
  // unless overridden.
  virtual std::optional<QString> OpenFileNameAt(QWidget* parent, const QString& caption,
                                                const QString& filter, const QString& start) {
    (void)start;
    return OpenFileName(parent, caption, filter);
  }
};

// Forwards every question to `inner` and adds up the wall time spent waiting for the
// answers, so that a status message can time the work alone.
class TTimedDialogs final : public TDialogs {
public:
  explicit TTimedDialogs(TDialogs& inner) : m_inner(inner) {}
  // Milliseconds spent in questions since the object was made.
  qint64 WaitedMs() const { return m_waited; }

  void ShowMessage(QWidget* parent, const QString& text) override;
  void ShowError(QWidget* parent, const QString& text) override;
  bool AskYesNo(QWidget* parent, const QString& text) override;
  TSaveChoice AskSaveChanges(QWidget* parent, const QString& text) override;
  std::optional<QString> InputBox(QWidget* parent, const QString& caption, const QString& prompt,
                                  const QString& defaultText) override;
  std::optional<QString> OpenFileName(QWidget* parent, const QString& caption,
                                      const QString& filter) override;
  std::optional<QString> SaveFileName(QWidget* parent, const QString& caption,
                                      const QString& filter) override;
  std::optional<QString> OpenFileNameAt(QWidget* parent, const QString& caption,
                                        const QString& filter, const QString& start) override;
  std::optional<QString> SaveFileNameOfType(QWidget* parent, const QString& caption,
                                            const QString& filter, QString& type) override;
  bool AskSaveAndCompile(QWidget* parent, const QString& text) override;
  bool AskRecover(QWidget* parent, const QString& text) override;

private:
  template <class TCall>
  auto Timed(TCall call);
  TDialogs& m_inner;
  qint64 m_waited = 0;
};

// Qt's standard dialogs, each a child of the window that asks, so that it opens above it and
// its tool windows. The file
// dialogs remember their folders in the "Folders" group of `folders` (not owned; it must
// outlive these dialogs; nullptr remembers nothing), one key per filter, so rips, exports
// and scripts each start where their kind was last chosen.
class TStandardDialogs final : public TDialogs {
public:
  explicit TStandardDialogs(QSettings* folders = nullptr) : m_folders(folders) {}
  void ShowMessage(QWidget* parent, const QString& text) override;
  void ShowError(QWidget* parent, const QString& text) override;
  bool AskYesNo(QWidget* parent, const QString& text) override;
  TSaveChoice AskSaveChanges(QWidget* parent, const QString& text) override;
  std::optional<QString> InputBox(QWidget* parent, const QString& caption, const QString& prompt,
                                  const QString& defaultText) override;
  std::optional<QString> OpenFileName(QWidget* parent, const QString& caption,
                                      const QString& filter) override;
  std::optional<QString> SaveFileName(QWidget* parent, const QString& caption,
                                      const QString& filter) override;
  std::optional<QString> SaveFileNameOfType(QWidget* parent, const QString& caption,
                                            const QString& filter, QString& type) override;
  std::optional<QString> OpenFileNameAt(QWidget* parent, const QString& caption,
                                        const QString& filter, const QString& start) override;
  bool AskSaveAndCompile(QWidget* parent, const QString& text) override;
  bool AskRecover(QWidget* parent, const QString& text) override;

  // The remembered folder for `filter` ("" when none), and remembering the folder of `file`.
  QString DialogFolder(const QString& filter) const;
  void RememberDialogFolder(const QString& filter, const QString& file);

private:
  // `ask` is QFileDialog's getOpenFileName or getSaveFileName; the folder comes from and goes
  // back to the remembered one for `filter`.
  using TFileQuestion = QString (*)(QWidget*, const QString&, const QString&, const QString&,
                                    QString*, QFileDialog::Options);
  std::optional<QString> AskFileName(TFileQuestion ask, QWidget* parent, const QString& caption,
                                     const QString& filter);

  QSettings* m_folders;
};
