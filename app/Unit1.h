#pragma once
// TForm1, the editor's main window: the five lists of the mesh document on the tabs
// "VERT/VTNM", "FVRT" and "FACE", the Script tab with the compiler's messages, the
// Texturing tab, and the buttons that run the mesh tools.
//
// Ownership: the window owns the one mesh document, the settings file ("model.ini" in the
// home folder, a QSettings INI object kept open until the window closes) and the Points,
// Faces and tool windows, which it creates right after itself and shows with itself.
//
// Every user action runs through RunAction: an error that escapes it (the program's
// exceptions and any std::exception) is shown in the error box and ends only that action.
// All questions go through the dialogs interface (viewers/Dialogs.h), so tests answer them.
//
// Start-up (first show): restore the placement, put "MatPath" (default "./") into the
// material-folder box, and when "loadok" is 1 write "loadok" 0 to disk, run Load, then
// write "loadok" 1. A Load that fails is reported, and "loadok" stays 0 so the next start
// does not load automatically; the program goes on running with what was loaded.
// Closing the main window ends the program (ShutDown): placements of Form1, "MatPath", the
// GL viewer (when created), frmFaces, frmPoints, frmTools; then the tool windows close,
// the viewers are hidden and Closed() tells the event loop to end (RunEditor).
// Windows without a saved placement start beside the main window (PlaceBeside), so that
// none covers a control of it.

#include <QMainWindow>

#include <functional>
#include <memory>

#include "mesh/MeshDocument.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSettings;
class QTabWidget;
class TListBox;
class TfrmFaces;
class TfrmPoints;
class TfrmTools;
class TTexturingTab;

class TForm1 final : public QMainWindow {
  Q_OBJECT
public:
  // `settingsPath` empty: "model.ini" in the home folder.
  explicit TForm1(const QString& settingsPath = QString(), QWidget* parent = nullptr);
  ~TForm1() override;

  TMeshDocument& Document() { return m_document; }
  QSettings& Settings() { return *m_settings; }

  // Components, named as in the window layout.
  QTabWidget* PageControl1 = nullptr;
  TListBox* ListBox1 = nullptr;
  TListBox* ListBox2 = nullptr;
  TListBox* ListBox3 = nullptr;
  TListBox* ListBox4 = nullptr;
  TListBox* ListBox5 = nullptr;
  QCheckBox* ShowData = nullptr;
  QLineEdit* EditX = nullptr;
  QLineEdit* EditY = nullptr;
  QLineEdit* EditZ = nullptr;
  QLineEdit* EditTx = nullptr;
  QLineEdit* EditTy = nullptr;
  QLineEdit* EditScale = nullptr;
  QLineEdit* EditMatPath = nullptr;
  QLabel* LabelSize = nullptr;
  QLabel* LabelRadius = nullptr;
  QPlainTextEdit* MemoScript = nullptr;
  QListWidget* MemoMessages = nullptr;
  TTexturingTab* Texturing = nullptr;
  QPushButton* ButtonGL = nullptr;
  // The tree-builder library "make &tree" loads: libbsp.so in the program folder.
  QString BspLibraryPath;

  TfrmPoints* Points() { return m_points.get(); }
  TfrmFaces* Faces() { return m_faces.get(); }
  TfrmTools* Tools() { return m_tools.get(); }

  // Finds a push button by its caption ("add VERT...", "make &tree").
  QPushButton* Button(const QString& caption) const;

  // `tessavor FILE`, as a file manager opens a model with the editor: an .iff model is
  // ripped into the record files and loaded (as "Rip mesh" does), an .asc scene imported
  // (as "Import ASC" does, material asked). Any other file is refused with an error that
  // names it, and nothing changes. Returns false when an error was shown.
  bool OpenModelFile(const QString& path);
  // Runs `action`; an error is shown in the error box and ends only this action.
  // Returns false when the action ended with an error.
  bool RunAction(const std::function<void()>& action);

  // Load and Save of the record files (each ends the action on error).
  void Load();
  void Save();

  // List clicks (the handlers behind the lists' click signals).
  void ListBox1Click();
  void ListBox2Click();
  void ListBox3Click();
  void ListBox4Click();
  void ListBox5Click();

  // Buttons.
  void AddVertClick();
  void AddFvrtClick();
  void AddFaceClick();
  void ApplyTexCordClick();
  void CgMatClick();
  void CgAllMatClick();
  void All0Click();
  void RandAllClick();
  void MakeTreeClick();
  void CompileClick();
  void MeshViewerClick();
  void GLClick();

  // Tab captions as the lists set them.
  QString TabCaption(int tab) const;
  // The material folder as typed in the box.
  QString MatPath() const;

  // Repaints the Faces and then the Points window.
  void RepaintViews();

  // Shows the three tool windows (done by the first show; PlaceWindows placed them before).
  void ShowToolWindows();

  // The end of the editing session, run once when the main window's close is accepted:
  // saves the placements and "MatPath", stops the rotation thread, closes the tool windows,
  // hides the viewers and emits Closed(). A question that may cancel the close belongs in
  // closeEvent before the call.
  void ShutDown();

  // Moves a window that has no saved placement beside the main window. Slots in order:
  // 0 Points, 1 Faces, 2 tool window, 3 model viewer, 4 GL viewer.
  enum { kSlotPoints, kSlotFaces, kSlotTools, kSlotMeshView, kSlotGlView };
  void PlaceBeside(QWidget& window, int slot);

signals:
  // The session has ended (ShutDown ran): the program ends.
  void Closed();

public:

  // The compiler's messages of the last compile, and selecting a message's script line.
  void SelectScriptLine(int line);
  void MessageClicked(int row);

  // The first show places every window first (PlaceWindows): the saved placements, or
  // beside the main window.
  void setVisible(bool visible) override;

protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void BuildWindow();
  QWidget* BuildVertTab();
  QWidget* BuildFvrtTab();
  QWidget* BuildFaceTab();
  QWidget* BuildScriptTab();
  QPushButton* AddButton(QWidget* parent, const QString& caption, void (TForm1::*handler)());
  QPushButton* AddButton(QWidget* parent, const QString& caption, std::function<void()> handler);
  void LoadTemplate();
  void StartUp();
  void PlaceWindows();
  void AfterLoad();
  void SetCaption(int tab, const QString& text);
  void CompileScriptFile(const QString& scriptPath);

  TMeshDocument m_document;
  std::unique_ptr<QSettings> m_settings;
  std::unique_ptr<TfrmPoints> m_points;
  std::unique_ptr<TfrmFaces> m_faces;
  std::unique_ptr<TfrmTools> m_tools;
  bool m_started = false;
  bool m_placed = false;
  bool m_closed = false;
};

// Shows the main window and runs the event loop until the main window has closed (viewers
// left open do not keep the program running). Returns the loop's exit status.
int RunEditor(TForm1& form, const QString& modelFile = {});
