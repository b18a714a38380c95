#pragma once
// TMainWindow, the editor's main window: the five lists of the mesh document on the tabs
// "VERT/VTNM", "FVRT" and "FACE", the Script tab with the compiler's messages, the
// Texturing tab, and the buttons that run the mesh tools.
//
// Ownership: the window owns the one mesh document, the settings file ("model.ini" in the
// home folder, a QSettings INI object kept open until the window closes), the flat
// projection, the Points, Faces and tool windows, which it creates right after itself and
// shows with itself, and the two viewers (made on their buttons' first click). It hands
// each window what it needs: the document, the projection, the dialogs.
//
// Every user action runs through RunAction: an error that escapes it (the program's
// exceptions and any std::exception) is shown in the error box and ends only that action.
// Every action that may change the document runs through RunEdit, which makes it one step
// of the undo history (QUndoStack, "Edit" menu, at most kUndoSteps steps) when it changed
// the records; a spin of the tool window is one step from its start to its stop. After
// every step each list line shows its record as it is (RefreshChangedLines). The document
// counts as modified when its records differ from what the record files hold, which undo
// and redo track apart from the undo position (mesh/SavedState.h); the title then ends in
// " *", and anything that would drop the change (Load, "Rip mesh", the imports, "&compile",
// closing) first asks "Save changes?" (Save / Discard / Cancel).
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
//
// The class is one window in several source files, each owning one concern:
//   app/MainWindow.cpp   the frame: construction, button rows, tabs, menus, status bar, title
//   app/ListPanels.cpp   the tabs "VERT/VTNM", "FVRT", "FACE": the five lists and their buttons
//   app/EditHistory.cpp  RunEdit, undo and redo, the spin's step, "Save changes?"
//   app/ScriptTab.cpp    the Script tab, "&compile" and "make &tree"
//   app/FileActions.cpp  Load, Save, opening a model file, drops, the recent files, and the
//                        rip, write-back, import and export dialogs (app/FileActions.h)
//   app/StartUp.cpp      placement, the start-up Load, closing and ShutDown, RunEditor
//   app/CrashRecovery.cpp the recovery file of unsaved changes and the offer to recover
// The mesh tools are free functions on the window (app/MeshToolActions.h); the Texturing tab is its
// own widget (app/TexturingTab.h).

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/SteadyTabs.h"
#include "mesh/MeshDocument.h"
#include "mesh/Projection.h"
#include "mesh/SavedState.h"
#include "mesh/Snapshot.h"
#include "viewers/Dialogs.h"
#include "viewers/ViewerHost.h"

class QAction;
class QCheckBox;
class QMenu;
class QUndoStack;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSettings;
class QTabWidget;
class TDialogs;
class TListBox;
class TFacesWindow;
class TPointsWindow;
class TToolWindow;
class TTexturingTab;

class TMainWindow final : public QMainWindow {
  Q_OBJECT
public:
  // `settingsPath` empty: "model.ini" in the home folder. Every question goes to `dialogs`
  // (not owned; it must outlive the window); nullptr: Qt's standard dialogs, which remember
  // their folders in the settings file.
  explicit TMainWindow(const QString& settingsPath = QString(), TDialogs* dialogs = nullptr,
                       QWidget* parent = nullptr);
  ~TMainWindow() override;

  TMeshDocument& Document() { return m_document; }
  // Every question of the editor; the time spent waiting for answers is left out of the
  // status bar's timings.
  TDialogs& Dialogs() { return m_timedDialogs; }
  TViewerHost& Viewers() { return m_viewers; }
  // The flat projection the Points, Faces and tool windows share.
  TProjection& Projection() { return m_projection; }

  // Components, named as in the window layout.
  TSteadyTabs* Tabs = nullptr;
  TListBox* VertexList = nullptr;
  TListBox* NormalList = nullptr;
  TListBox* CornerList = nullptr;
  TListBox* FaceList = nullptr;
  TListBox* MaterialList = nullptr;
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
  QPlainTextEdit* ScriptEdit = nullptr;
  QListWidget* CompilerMessages = nullptr;
  TTexturingTab* Texturing = nullptr;
  QPushButton* ButtonGL = nullptr;
  // The tree-builder library "make &tree" loads: libbsp.so in the program folder.
  QString BspLibraryPath;
  // The model of the last rip in this session: where "Write back..." puts the mesh.
  QString LastRippedModel;
  // The model file last ripped or opened (imports included), named in the title.
  QString ModelName;

  TPointsWindow* Points() { return m_points.get(); }
  TFacesWindow* Faces() { return m_faces.get(); }
  TToolWindow* Tools() { return m_tools.get(); }

  // Finds a push button by its caption ("add VERT...", "make &tree").
  QPushButton* Button(const QString& caption) const;

  // `tessavor FILE`, "Open Recent" and a file dropped on the window: "Save changes?" first,
  // then an .iff model is ripped into the record files and loaded (as "Rip mesh" does), an
  // .asc scene imported (as "Import ASC" does, material asked), and any other format the
  // model import reads imported (as "Import..." does). Any other file is refused with an
  // error that names it, and nothing changes. Returns false when nothing was opened.
  bool OpenModelFile(const QString& path);
  // Runs `action`; an error is shown in the error box and ends only this action.
  // Returns false when the action ended with an error.
  bool RunAction(const std::function<void()>& action);

  // Runs `action` as one undoable step called `name` (see the top of this file): the
  // records before and after, and the record files when the action wrote them. Returns
  // false when it ended with an error (the records are then as before) or when long work
  // is running.
  bool RunEdit(const QString& name, const std::function<void()>& action);
  QUndoStack* UndoStack() const { return m_undo; }
  // Puts a step's records (and files, when it wrote them) back, or forward again.
  void ApplyStep(const TMeshStep& step, const TDiskSides& disk, bool undo);
  // Whether the records differ from what the record files hold.
  bool IsModified() const;
  // The Script tab holds typing not yet saved (Save writes it with the records).
  bool ScriptModified() const;
  // Undo and redo as the Edit menu runs them: a running spin is ended (and becomes a step)
  // first.
  void Undo();
  void Redo();
  // With unsaved changes asks "Save changes?": Save saves (false if that fails), Discard
  // goes on, Cancel returns false. Without changes asks nothing and returns true.
  bool MaySaveChanges();

  // The last kRecentFiles model files ripped or imported, newest first ("Recent/Files" in
  // model.ini), and adding one (also to the "Open Recent" menu).
  static constexpr int kRecentFiles = 8;
  QStringList RecentFiles() const;
  void AddRecentFile(const QString& path);
  // The extensions OpenModelFile takes, lower case without the dot.
  QStringList ModelFileSuffixes;

  // Status bar: counts, size and radius, the current lines, the last action's result.
  QLabel* StatusCounts = nullptr;
  QLabel* StatusSize = nullptr;
  QLabel* StatusSelection = nullptr;
  QLabel* StatusResult = nullptr;
  QAction* UndoAction = nullptr;
  QAction* RedoAction = nullptr;
  QMenu* RecentMenu = nullptr;
  // The title as it should be now: "Tessavor 0.8 — <home folder>", or with a model ripped
  // or opened "Tessavor 0.8 — house.iff (<home folder>)", then " [read-only]" on a home the
  // editor cannot write, and " *" when modified.
  QString TitleText() const;
  // The home folder opened read-only (a read-only file system, another user's lock file):
  // the title says so; the editor shows the mesh and every Save reports the system's error.
  void SetHomeReadOnly(bool readOnly);
  // Refreshes the title and the status bar.
  void UpdateState();

  // Load and Save of the record files (each ends the action on error).
  void Load();
  void Save();

  // List clicks (the handlers behind the lists' click signals).
  void OnVertexListClick();
  void OnNormalListClick();
  void OnCornerListClick();
  void OnFaceListClick();
  void OnMaterialListClick();

  // Buttons.
  void AddVertClick();
  // "Set VERT": the current vertex to the typed x, y, z (one step; its faces stay true).
  void SetVertClick();
  void AddFvrtClick();
  void AddFaceClick();
  void ApplyTexCordClick();
  void CgMatClick();
  void CgAllMatClick();
  void ResetTexCoordsClick();
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

  // Recovery (app/CrashRecovery.cpp). While the records differ from the record files, the
  // window writes them and ModelName to the recovery file (mesh/Recovery.h) at most
  // kRecoveryDelayMs after the change; once they agree again (Save, undo to the saved
  // state) and when the session ends (ShutDown: saved or "don't save") the file goes. The
  // start-up offers a file left behind by a crash in "Recover unsaved changes"; Recover
  // makes it one undoable step, so the model shows as unsaved until saved. With
  // KeepsRecovery false (a screenshot run) nothing is offered, written or removed.
  static constexpr int kRecoveryDelayMs = 2000;
  bool KeepsRecovery = true;
  void WriteRecoveryNow();
  void OfferRecovery();

  // Help: the page of every key and mouse action, and About (version, licence).
  void ShowKeyboardAndMouse();
  void ShowAbout();

  // The end of the editing session, run once when the main window's close is accepted:
  // saves the placements and "MatPath", stops the rotation thread, closes the tool windows,
  // hides the viewers and emits Closed(). A question that may cancel the close belongs in
  // closeEvent before the call.
  void ShutDown();

  // Moves a window that has no saved placement beside the main window (and fully onto its
  // screen, where the screen is too small for beside). Slots in order:
  // 0 Points, 1 Faces, 2 tool window, 3 model viewer, 4 GL viewer.
  enum { kSlotPoints, kSlotFaces, kSlotTools, kSlotMeshView, kSlotGlView };
  // The narrowest the first start makes the main window (outer width) to fit the side
  // windows beside it.
  static constexpr int kNarrowestMain = 360;
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
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

private:
  void BuildWindow();
  QWidget* BuildVertTab();
  QWidget* BuildFvrtTab();
  QWidget* BuildFaceTab();
  QWidget* BuildScriptTab();
  // A button whose click runs `handler` through RunEdit; with `askFirst` the unsaved-changes
  // question comes before it.
  QPushButton* AddButton(QWidget* parent, const QString& caption, void (TMainWindow::*handler)(),
                         bool askFirst = false);
  QPushButton* AddButton(QWidget* parent, const QString& caption, std::function<void()> handler,
                         bool askFirst = false);
  void BuildMenus();
  void BuildStatusBar();
  void FillRecentMenu();
  QString DroppedModelFile(const QDropEvent* event) const;
  void LoadTemplate();
  // The Script tab's text in the home folder's "kvt_mesh.txt" (Save), when it changed.
  void SaveScript();
  QString SavedScriptPath() const;
  void StartUp();
  void PlaceWindows();
  void AfterLoad();
  void SetCaption(int tab, const QString& text);
  void CompileScriptFile(const QString& scriptPath);
  // The tool window's spin: a step begun at its start and pushed at its stop.
  void SpinChanged(bool spinning);
  void EndSpinStep();
  void UpdateUndoActions();
  void ScheduleRecovery();
  // Pushes a recorded step (when it changed the records) and shows its result.
  void FinishStep(TMeshStep step, TDiskSides disk, qint64 ms);
  const TMeshStep* TopStep() const;

  TMeshDocument m_document;
  TProjection m_projection;
  std::unique_ptr<QSettings> m_settings;
  std::unique_ptr<TDialogs> m_standardDialogs;  // when none were given
  TDialogs& m_dialogs;
  TTimedDialogs m_timedDialogs;  // m_dialogs, timed
  // The viewers draw the document: they go before it.
  TViewerHost m_viewers;
  std::vector<TConnection> m_listening;  // to the document
  std::unique_ptr<TPointsWindow> m_points;
  std::unique_ptr<TFacesWindow> m_faces;
  std::unique_ptr<TToolWindow> m_tools;
  bool m_started = false;
  bool m_placed = false;
  bool m_closed = false;
  QUndoStack* m_undo = nullptr;
  // What the record files hold: the document is modified when it differs.
  TSavedState m_savedState;
  // The spin running now, recorded from its start.
  std::optional<TMeshStep> m_spinStep;
  TDiskSides m_spinDisk;
  bool m_busy = false;  // an action (possibly long work) is running
  class QTimer* m_recoveryTimer = nullptr;
  bool m_recoveryOffered = false;  // the start-up has looked for a recovery file
  QRect m_plannedOuter;            // the first start's outer bounds, until framed
  QString m_modelBeforeStep;       // ModelName when the running step began
  bool m_homeReadOnly = false;
};

// Shows the main window and runs the event loop until the main window has closed (viewers
// left open do not keep the program running). Returns the loop's exit status.
int RunEditor(TMainWindow& form, const QString& modelFile = {});
