#include "app/MainWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cstring>

#include "app/HelpPages.h"
#include "app/LineListModel.h"
#include "app/LongWork.h"
#include "app/MeshToolActions.h"
#include "app/TexturingTab.h"
#include "iffc/Compiler.h"
#include "interchange/Interchange.h"
#include "mesh/Geometry.h"
#include "mesh/Materials.h"
#include "mesh/NumberText.h"
#include "mesh/Projection.h"
#include "mesh/Rip.h"
#include "mesh/TreeBuilder.h"
#include "util/Exception.h"
#include "util/FileIo.h"
#include "util/Paths.h"
#include "viewers/Dialogs.h"
#include "viewers/FacesWindow.h"
#include "viewers/PointsWindow.h"
#include "viewers/ToolWindow.h"
#include "viewers/ViewerHost.h"
#include "viewers/WindowPlacement.h"

namespace {

constexpr const char* kSaveAndCompileQuestion =
    "The mesh has unsaved changes, and the script compiles the record files on disk. "
    "Save the changes and compile?";

enum { kTabVert = 0, kTabFvrt = 1, kTabFace = 2, kTabScript = 3, kTabTexturing = 4 };

std::string Std(const QString& s) { return s.toStdString(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

// Enter in an edit box moves the focus on, as Tab would.
void EnterMovesFocus(QLineEdit* edit) {
  QObject::connect(edit, &QLineEdit::returnPressed, edit, [edit] {
    if (QWidget* w = edit->nextInFocusChain()) {
      // Skip controls that take no keyboard focus (labels, disabled boxes).
      while (w != edit && (!(w->focusPolicy() & Qt::TabFocus) || !w->isEnabled() ||
                           !w->isVisibleTo(edit->window())))
        w = w->nextInFocusChain();
      w->setFocus(Qt::TabFocusReason);
    }
  });
}

QLineEdit* MakeEdit(QWidget* parent, const QString& name, const QString& text) {
  auto* e = new QLineEdit(text, parent);
  e->setObjectName(name);
  return e;
}

// A message of the compiler that names a script line: "error: line 12, ..." and the like.
int MessageLine(const QString& message) {
  static const QRegularExpression re(QStringLiteral("\\bline (\\d+)"));
  const QRegularExpressionMatch m = re.match(message);
  return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// One step of the history. The action has already run when the step is pushed, so the
// first redo (QUndoStack::push calls it) does nothing.
class TStepCommand final : public QUndoCommand {
public:
  TStepCommand(TMainWindow& form, TMeshStep step, TDiskSides disk)
      : QUndoCommand(QString::fromStdString(step.Name)),
        m_form(form),
        m_step(std::move(step)),
        m_disk(std::move(disk)) {}
  const TMeshStep& Step() const { return m_step; }
  void undo() override { m_form.ApplyStep(m_step, m_disk, true); }
  void redo() override {
    if (m_pushed) m_form.ApplyStep(m_step, m_disk, false);
    m_pushed = true;
  }

private:
  TMainWindow& m_form;
  TMeshStep m_step;
  TDiskSides m_disk;
  bool m_pushed = false;
};

// The records of `after` that are new or differ from `before`, plus those `before` had
// beyond the end of `after`.
size_t ChangedRecords(const TBlob& before, const TBlob& after, size_t recordSize) {
  const size_t n0 = before ? before->size() / recordSize : 0;
  const size_t n1 = after ? after->size() / recordSize : 0;
  size_t changed = n0 > n1 ? n0 - n1 : n1 - n0;
  for (size_t i = 0; i < std::min(n0, n1); ++i)
    if (std::memcmp(before->data() + i * recordSize, after->data() + i * recordSize, recordSize) !=
        0)
      ++changed;
  return changed;
}

// "1 face", "3 vertices" for each array whose records differ, joined by ", ".
QString CountsText(const std::array<TBlob, 4>& before, const std::array<TBlob, 4>& after) {
  static const char* const kOne[] = {"vertex", "normal", "corner", "face"};
  static const char* const kMany[] = {"vertices", "normals", "corners", "faces"};
  static const size_t kSizes[] = {sizeof(TPoint3), sizeof(TPoint3), sizeof(TFvrtRecord),
                                  sizeof(TFaceRecord)};
  QStringList parts;
  for (size_t i = 0; i < 4; ++i) {
    const size_t n = ChangedRecords(before[i], after[i], kSizes[i]);
    if (n > 0)
      parts << QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? kOne[i] : kMany[i]));
  }
  return parts.join(QStringLiteral(", "));
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

// The settings file, opened at creation and kept until the window closes.
std::unique_ptr<QSettings> OpenSettings(const QString& settingsPath) {
  const QString ini = settingsPath.isEmpty() ? Q(HomeFile("model.ini")) : settingsPath;
  return std::make_unique<QSettings>(ini, QSettings::IniFormat);
}

}  // namespace

TMainWindow::TMainWindow(const QString& settingsPath, TDialogs* dialogs, QWidget* parent)
    : QMainWindow(parent),
      m_settings(OpenSettings(settingsPath)),
      m_standardDialogs(dialogs ? nullptr : std::make_unique<TStandardDialogs>(m_settings.get())),
      m_dialogs(dialogs ? *dialogs : *m_standardDialogs),
      m_timedDialogs(m_dialogs),
      m_viewers(m_timedDialogs) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Tessavor " TESSAVOR_VERSION));
  setAcceptDrops(true);
  ModelFileSuffixes = {QStringLiteral("iff"), QStringLiteral("asc")};
  for (const TFormatInfo& f : ImportFormats()) {
    const QString suffix = QString::fromStdString(f.Extension).toLower();
    if (!ModelFileSuffixes.contains(suffix)) ModelFileSuffixes << suffix;
  }
  m_undo = new QUndoStack(this);
  m_undo->setUndoLimit(kUndoSteps);
  // "." as decimal separator for every float conversion, whatever the user's locale; the
  // core's own number texts never depend on the locale.
  QLocale::setDefault(QLocale::c());
  m_document.Clear();
  m_savedState.Holds(m_document);
  BspLibraryPath = Q(ProgramLibraryPath("libbsp.so"));
  BuildWindow();
  BuildMenus();
  BuildStatusBar();
  SetToolTips(*this);

  // The projection windows belong to the main window but are windows of their own.
  m_points = std::make_unique<TPointsWindow>(m_document, m_projection, [this] {
    RunEdit(QStringLiteral("add FVRT"), [this] { AddFvrtClick(); });
  });
  m_faces = std::make_unique<TFacesWindow>(m_document, m_projection);
  m_faces->SetPointsWindow(m_points.get());
  m_points->SetPartner(m_faces.get());
  m_tools = std::make_unique<TToolWindow>(m_document, m_projection, [this] {
    RepaintViews();
    UpdateState();
  });
  // A step button's rotation is one step; a spin is one step from its start to its stop.
  m_tools->SetEditHooks(
      [this](const QString& name, const std::function<void()>& rotate) { RunEdit(name, rotate); },
      [this](bool spinning) { SpinChanged(spinning); });

  m_listening.push_back(m_document.OnVertAdded.Connect([this](int32_t) { m_points->update(); }));
  m_listening.push_back(m_document.OnFaceAdded.Connect([this](int32_t) { m_faces->update(); }));
  m_listening.push_back(m_document.OnRepaint.Connect([this] { RepaintViews(); }));
  m_listening.push_back(m_document.OnLoaded.Connect([this] { AfterLoad(); }));

  LoadTemplate();
  resize(560, 520);
  move(0, 92);
  UpdateState();
}

TMainWindow::~TMainWindow() {
  // Commands refer to this window; none may run while it is being taken apart.
  delete m_undo;
  m_undo = nullptr;
  CompilerMessageHook = nullptr;
  m_listening.clear();  // the windows below go first
  if (m_points) m_points->AllowClose();
  if (m_faces) m_faces->AllowClose();
  if (m_tools) m_tools->AllowClose();
  m_tools.reset();
  m_faces.reset();
  m_points.reset();
  // The list views refer to the document's line stores: they go before the document, which
  // as a member would otherwise die before the base class deletes the children.
  delete takeCentralWidget();
}

QPushButton* TMainWindow::AddButton(QWidget* parent, const QString& caption,
                                    void (TMainWindow::*handler)(), bool askFirst) {
  return AddButton(
      parent, caption, [this, handler] { (this->*handler)(); }, askFirst);
}

QPushButton* TMainWindow::AddButton(QWidget* parent, const QString& caption,
                                    std::function<void()> handler, bool askFirst) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QStringLiteral("Button_") +
                   QString(caption).remove('&').remove('.').replace(' ', '_'));
  // The step's name is the caption as the Edit menu shows it: "Undo add VERT".
  const QString name = QString(caption).remove('&').remove(QStringLiteral("..."));
  connect(b, &QPushButton::clicked, this, [this, name, askFirst, handler = std::move(handler)] {
    if (askFirst && !MaySaveChanges()) return;
    RunEdit(name, handler);
  });
  return b;
}

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
    m_undo->push(new TStepCommand(*this, std::move(step), std::move(disk)));
}

void TMainWindow::SpinChanged(bool spinning) {
  if (!spinning) {
    EndSpinStep();
    UpdateState();
    return;
  }
  if (m_spinStep || !m_undo) return;
  m_spinDisk = m_savedState.Begin();
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
  if (!IsModified()) return true;
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

QString TMainWindow::TitleText() const {
  QString home;
  try {
    home = Q(HomeFolder());
    if (home.size() > 1 && home.endsWith('/')) home.chop(1);
  } catch (const Exception&) {}
  QString title = QStringLiteral("Tessavor " TESSAVOR_VERSION);
  const QString model = QFileInfo(ModelName).fileName();
  if (!model.isEmpty())
    title += QStringLiteral(" \u2014 ") + model + (home.isEmpty() ? QString() : " (" + home + ')');
  else if (!home.isEmpty())
    title += QStringLiteral(" \u2014 ") + home;
  if (IsModified()) title += QStringLiteral(" *");
  return title;
}

void TMainWindow::UpdateState() {
  setWindowTitle(TitleText());
  if (!StatusCounts) return;
  const TMeshDocument& d = m_document;
  StatusCounts->setText(QStringLiteral("VERT %1  VTNM %2  FVRT %3  FACE %4")
                            .arg(d.NumVert)
                            .arg(d.NumVtnm)
                            .arg(d.NumFvrt)
                            .arg(d.NumFace));
  StatusSize->setText((Q(d.SizeLabel()) + ' ' + Q(d.RadiusLabel())).trimmed());
  LabelSize->setText(Q(d.SizeLabel()));
  LabelRadius->setText(Q(d.RadiusLabel()));
  QStringList sel;
  if (d.VertexLines.Current() >= 0) sel << QStringLiteral("vertex %1").arg(d.VertexLines.Current());
  if (d.CornerLines.Current() >= 0 || d.CornerLines.SelectedCount() > 0)
    sel << QStringLiteral("FVRT %1 (%2 selected)")
               .arg(d.CornerLines.Current())
               .arg(d.CornerLines.SelectedCount());
  if (d.FaceLines.Current() >= 0) sel << QStringLiteral("face %1").arg(d.FaceLines.Current());
  StatusSelection->setText(sel.join(QStringLiteral(", ")));
}

void TMainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  auto clickOn = [this](const QString& caption) {
    return [this, caption] {
      if (QPushButton* b = Button(caption)) b->click();
    };
  };
  // Each entry runs its button, so both ask and record alike.
  auto entry = [&](const char* text, const char* button, const char* tip) {
    QAction* a = file->addAction(QString::fromUtf8(text), this, clickOn(QString::fromUtf8(button)));
    a->setStatusTip(QString::fromUtf8(tip));
    return a;
  };
  entry("&Load", "Load", "Read the record files of the home folder again")
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  entry("&Save", "Save", "Write the mesh into the record files")->setShortcut(QKeySequence::Save);
  file->addSeparator();
  entry("&Rip mesh...", "Rip mesh", "Take the mesh out of a model file (.iff)")
      ->setShortcut(QKeySequence::Open);
  entry("&Write back...", "Write back...",
        "Put the saved mesh into a copy of the model file it was ripped from");
  file->addSeparator();
  entry("Import &ASC...", "Import ASC", "Read a scene in the ASC text format");
  entry("&Import...", "Import...", "Read a model of any format the importer knows")
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
  entry("&Output obj...", "Output obj", "Write the mesh as a Wavefront OBJ file");
  entry("&Export...", "Export...", "Write the mesh with its textures in another format");
  RecentMenu = file->addMenu(QStringLiteral("Open &Recent"));
  FillRecentMenu();
  file->addSeparator();
  QAction* quit = file->addAction(QStringLiteral("&Quit"), this, [this] { close(); });
  quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  quit->setObjectName(QStringLiteral("QuitAction"));

  // Undo and redo end a running spin first, so their own actions rather than the stack's.
  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  UndoAction = edit->addAction(QStringLiteral("&Undo"), this, [this] { Undo(); });
  UndoAction->setShortcut(QKeySequence::Undo);
  RedoAction = edit->addAction(QStringLiteral("&Redo"), this, [this] { Redo(); });
  RedoAction->setShortcuts(
      {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  connect(m_undo, &QUndoStack::indexChanged, this, [this] { UpdateUndoActions(); });
  UpdateUndoActions();

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->addAction(QStringLiteral("&Keyboard and mouse"), this, [this] { ShowKeyboardAndMouse(); })
      ->setShortcut(QKeySequence::HelpContents);
  help->addAction(QStringLiteral("&About"), this, [this] { ShowAbout(); });
}

void TMainWindow::BuildStatusBar() {
  auto label = [this](const char* name) {
    auto* l = new QLabel(this);
    l->setObjectName(QLatin1String(name));
    return l;
  };
  StatusCounts = label("StatusCounts");
  StatusSize = label("StatusSize");
  StatusSelection = label("StatusSelection");
  StatusResult = label("StatusResult");
  statusBar()->addWidget(StatusResult, 1);
  statusBar()->addPermanentWidget(StatusSelection);
  statusBar()->addPermanentWidget(StatusSize);
  statusBar()->addPermanentWidget(StatusCounts);
}

QStringList TMainWindow::RecentFiles() const {
  return m_settings->value(QStringLiteral("Recent/Files")).toStringList();
}

void TMainWindow::AddRecentFile(const QString& path) {
  const QString file = QFileInfo(path).absoluteFilePath();
  QStringList files = RecentFiles();
  files.removeAll(file);
  files.prepend(file);
  while (files.size() > kRecentFiles) files.removeLast();
  m_settings->setValue(QStringLiteral("Recent/Files"), files);
  m_settings->sync();
  FillRecentMenu();
}

void TMainWindow::FillRecentMenu() {
  RecentMenu->clear();
  const QStringList files = RecentFiles();
  for (int i = 0; i < files.size(); ++i) {
    const QString& file = files[i];
    RecentMenu
        ->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(QFileInfo(file).fileName()), this,
                    [this, file] { OpenModelFile(file); })
        ->setToolTip(file);
  }
  RecentMenu->setEnabled(!files.isEmpty());
}

bool TMainWindow::OpenModelFile(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  if (!ModelFileSuffixes.contains(suffix)) {
    return RunAction([&path] {
      throw Exception("Cannot open \"" + Std(path) +
                      "\": the editor opens .iff models, .asc scenes and the formats of Import...");
    });
  }
  if (!MaySaveChanges()) return false;
  if (suffix == QStringLiteral("asc"))
    return RunEdit(QStringLiteral("Import ASC"), [this, path] { ImportAscFile(*this, path); });
  if (suffix == QStringLiteral("iff"))
    return RunEdit(QStringLiteral("Rip mesh"), [this, path] { RipModelFile(*this, path); });
  return RunEdit(QStringLiteral("Import"), [this, path] { ImportModelFile(*this, path); });
}

QString TMainWindow::DroppedModelFile(const QDropEvent* event) const {
  const QMimeData* mime = event->mimeData();
  if (!mime || !mime->hasUrls()) return {};
  for (const QUrl& url : mime->urls()) {
    if (!url.isLocalFile()) continue;
    QString file = url.toLocalFile();
    if (ModelFileSuffixes.contains(QFileInfo(file).suffix().toLower())) return file;
  }
  return {};
}

void TMainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedModelFile(event).isEmpty()) event->acceptProposedAction();
}

void TMainWindow::dropEvent(QDropEvent* event) {
  const QString file = DroppedModelFile(event);
  if (file.isEmpty()) return;
  event->acceptProposedAction();
  OpenModelFile(file);
}

QPushButton* TMainWindow::Button(const QString& caption) const {
  for (QPushButton* b : findChildren<QPushButton*>())
    if (b->text() == caption) return b;
  return nullptr;
}

bool TMainWindow::RunAction(const std::function<void()>& action) {
  bool ok = false;
  try {
    action();
    ok = true;
  } catch (const Exception& e) {
    Dialogs().ShowError(this, Q(e.Message()));
  } catch (const std::exception& e) {
    Dialogs().ShowError(this, QString::fromLocal8Bit(e.what()));
  }
  UpdateState();
  return ok;
}

void TMainWindow::BuildWindow() {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);

  // Two rows, files and then tools, so that the window fits a small screen at a large scale.
  auto* top = new QHBoxLayout;
  auto* tools = new QHBoxLayout;
  top->addWidget(AddButton(central, QStringLiteral("Load"), &TMainWindow::Load, true));
  top->addWidget(AddButton(central, QStringLiteral("Save"), &TMainWindow::Save));
  top->addWidget(AddButton(
      central, QStringLiteral("Rip mesh"), [this] { RipMeshAction(*this); }, true));
  top->addWidget(
      AddButton(central, QStringLiteral("Write back..."), [this] { WriteBackAction(*this); }));
  top->addWidget(AddButton(
      central, QStringLiteral("Import ASC"), [this] { ImportAscAction(*this); }, true));
  top->addWidget(
      AddButton(central, QStringLiteral("Output obj"), [this] { OutputObjAction(*this); }));
  top->addStretch();
  tools->addWidget(AddButton(
      central, QStringLiteral("Import..."), [this] { ImportModelAction(*this); }, true));
  // Export changes nothing: no undo step, and it keeps the status line itself.
  auto* exportButton = new QPushButton(QStringLiteral("Export..."), central);
  exportButton->setObjectName(QStringLiteral("Button_Export"));
  connect(exportButton, &QPushButton::clicked, this, [this] {
    if (m_busy) return;
    ExportModelAction(*this);
  });
  tools->addWidget(exportButton);
  tools->addWidget(AddButton(central, QStringLiteral("MeshViewer"), &TMainWindow::MeshViewerClick));
  ButtonGL = AddButton(central, QStringLiteral("GL"), &TMainWindow::GLClick);
  ButtonGL->setVisible(false);
  tools->addWidget(ButtonGL);
  tools->addWidget(AddButton(central, QStringLiteral("make &tree"), &TMainWindow::MakeTreeClick));
  ShowData = new QCheckBox(QStringLiteral("Show Data"), central);
  ShowData->setObjectName(QStringLiteral("ShowData"));
  ShowData->setChecked(true);
  connect(ShowData, &QCheckBox::toggled, this, [this](bool on) { m_document.ShowData = on; });
  tools->addWidget(ShowData);
  tools->addStretch();
  layout->addLayout(top);
  layout->addLayout(tools);

  Tabs = new QTabWidget(central);
  Tabs->setObjectName(QStringLiteral("Tabs"));
  Tabs->addTab(BuildVertTab(), QStringLiteral("VERT/VTNM"));
  Tabs->addTab(BuildFvrtTab(), QStringLiteral("FVRT"));
  Tabs->addTab(BuildFaceTab(), QStringLiteral("FACE"));
  Tabs->addTab(BuildScriptTab(), QStringLiteral("Script"));
  Texturing = new TTexturingTab(*this, Tabs);
  Tabs->addTab(Texturing, QStringLiteral("Texturing"));
  connect(Tabs, &QTabWidget::currentChanged, this, [this](int tab) {
    if (tab != kTabTexturing) return;
    // The tab shows the document as it is: reloading would drop unsaved edits, and the
    // lists already show every record as it is.
    RunAction([this] { Texturing->TabShown(false); });
  });
  layout->addWidget(Tabs);
  setCentralWidget(central);
}

QWidget* TMainWindow::BuildVertTab() {
  auto* tab = new QWidget;
  auto* grid = new QGridLayout(tab);
  VertexList = new TListBox(m_document.VertexLines, false, QStringLiteral("VertexList"), tab);
  NormalList = new TListBox(m_document.NormalLines, false, QStringLiteral("NormalList"), tab);
  grid->addWidget(VertexList, 0, 0);
  grid->addWidget(NormalList, 0, 1);
  connect(VertexList, &TListBox::lineClicked, this,
          [this] { RunAction([this] { OnVertexListClick(); }); });
  connect(NormalList, &TListBox::lineClicked, this,
          [this] { RunAction([this] { OnNormalListClick(); }); });
  connect(VertexList, &QListView::doubleClicked, this,
          [this] { RunEdit(QStringLiteral("add FVRT"), [this] { AddFvrtClick(); }); });

  auto* vert = new QGroupBox(QStringLiteral("VERT"), tab);
  auto* vl = new QGridLayout(vert);
  EditX = MakeEdit(vert, QStringLiteral("EditX"), QStringLiteral("0"));
  EditY = MakeEdit(vert, QStringLiteral("EditY"), QStringLiteral("0"));
  EditZ = MakeEdit(vert, QStringLiteral("EditZ"), QStringLiteral("0"));
  vl->addWidget(EditX, 0, 0);
  vl->addWidget(EditY, 0, 1);
  vl->addWidget(EditZ, 0, 2);
  vl->addWidget(AddButton(vert, QStringLiteral("add VERT..."), &TMainWindow::AddVertClick), 0, 3);
  LabelSize = new QLabel(vert);
  LabelSize->setObjectName(QStringLiteral("LabelSize"));
  vl->addWidget(LabelSize, 1, 0, 1, 4);
  for (QLineEdit* e : {EditX, EditY, EditZ}) EnterMovesFocus(e);

  auto* vtnm = new QGroupBox(QStringLiteral("VTNM"), tab);
  auto* nl = new QHBoxLayout(vtnm);
  nl->addWidget(AddButton(vtnm, QStringLiteral("add FVRT..."), &TMainWindow::AddFvrtClick));
  nl->addWidget(AddButton(vtnm, QStringLiteral("del VT"), [this] { DelVtAction(*this); }));
  nl->addWidget(AddButton(vtnm, QStringLiteral("Calc VTNM"), [this] { CalcVtnmAction(*this); }));
  nl->addWidget(AddButton(vtnm, QStringLiteral("CALC D"), [this] { CalcDAction(*this); }));
  nl->addWidget(AddButton(vtnm, QStringLiteral("flip VTNM"), [this] { FlipVtnmAction(*this); }));

  auto* scale = new QGroupBox(QStringLiteral("Scale Model"), tab);
  auto* sl = new QHBoxLayout(scale);
  EditScale = MakeEdit(scale, QStringLiteral("EditScale"), QStringLiteral("100"));
  sl->addWidget(EditScale);
  sl->addWidget(AddButton(scale, QStringLiteral("Scale!"), [this] { ScaleAction(*this); }));
  sl->addWidget(AddButton(scale, QStringLiteral("flipY"), [this] { FlipAction(*this, 1); }));
  sl->addWidget(AddButton(scale, QStringLiteral("flipZ"), [this] { FlipAction(*this, 2); }));
  LabelRadius = new QLabel(scale);
  LabelRadius->setObjectName(QStringLiteral("LabelRadius"));
  sl->addWidget(LabelRadius);

  grid->addWidget(vert, 1, 0, 1, 2);
  grid->addWidget(vtnm, 2, 0, 1, 2);
  grid->addWidget(scale, 3, 0, 1, 2);
  return tab;
}

QWidget* TMainWindow::BuildFvrtTab() {
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  CornerList = new TListBox(m_document.CornerLines, true, QStringLiteral("CornerList"), tab);
  layout->addWidget(CornerList);
  connect(CornerList, &TListBox::lineClicked, this,
          [this] { RunAction([this] { OnCornerListClick(); }); });

  auto* group = new QGroupBox(QStringLiteral("FVRT"), tab);
  auto* gl = new QGridLayout(group);
  EditTx = MakeEdit(group, QStringLiteral("EditTx"), QString());
  EditTy = MakeEdit(group, QStringLiteral("EditTy"), QString());
  EnterMovesFocus(EditTx);
  EnterMovesFocus(EditTy);
  gl->addWidget(EditTx, 0, 0);
  gl->addWidget(EditTy, 0, 1);
  gl->addWidget(AddButton(group, QStringLiteral("Apply TexCord"), &TMainWindow::ApplyTexCordClick),
                0, 2);
  gl->addWidget(AddButton(group, QStringLiteral("add FACE"), &TMainWindow::AddFaceClick), 1, 0);
  gl->addWidget(AddButton(group, QStringLiteral("all 0"), &TMainWindow::ResetTexCoordsClick), 1, 1);
  gl->addWidget(AddButton(group, QStringLiteral("RandAll"), &TMainWindow::RandAllClick), 1, 2);
  layout->addWidget(group);
  return tab;
}

QWidget* TMainWindow::BuildFaceTab() {
  auto* tab = new QWidget;
  auto* grid = new QGridLayout(tab);
  FaceList = new TListBox(m_document.FaceLines, false, QStringLiteral("FaceList"), tab);
  MaterialList = new TListBox(m_document.MaterialLines, false, QStringLiteral("MaterialList"), tab);
  grid->addWidget(FaceList, 0, 0);
  grid->addWidget(MaterialList, 0, 1);
  grid->setColumnStretch(0, 3);
  grid->setColumnStretch(1, 1);
  connect(FaceList, &TListBox::lineClicked, this,
          [this] { RunAction([this] { OnFaceListClick(); }); });
  connect(MaterialList, &TListBox::lineClicked, this,
          [this] { RunAction([this] { OnMaterialListClick(); }); });

  auto* group = new QGroupBox(QStringLiteral("FACE"), tab);
  auto* gl = new QHBoxLayout(group);
  EditMatPath = MakeEdit(group, QStringLiteral("EditMatPath"), QStringLiteral("./"));
  gl->addWidget(EditMatPath);
  gl->addWidget(AddButton(group, QStringLiteral("cg mat"), &TMainWindow::CgMatClick));
  gl->addWidget(AddButton(group, QStringLiteral("Cg all mat"), &TMainWindow::CgAllMatClick));
  grid->addWidget(group, 1, 0, 1, 2);
  return tab;
}

QWidget* TMainWindow::BuildScriptTab() {
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  auto* split = new QSplitter(Qt::Vertical, tab);
  ScriptEdit = new QPlainTextEdit(split);
  ScriptEdit->setObjectName(QStringLiteral("ScriptEdit"));
  ScriptEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
  ScriptEdit->setFont(QFont(QStringLiteral("Monospace")));
  // The compiler's messages of the last compile; a click on one that names a line selects
  // that line in the script.
  CompilerMessages = new QListWidget(split);
  CompilerMessages->setObjectName(QStringLiteral("CompilerMessages"));
  connect(CompilerMessages, &QListWidget::currentRowChanged, this,
          [this](int row) { MessageClicked(row); });
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 1);
  layout->addWidget(split);
  layout->addWidget(AddButton(tab, QStringLiteral("&compile"), &TMainWindow::CompileClick));
  // "make &tree" compiles on a worker thread: its messages are added on the window thread.
  CompilerMessageHook = [this](const std::string& text) {
    OnWindowThread([&] {
      CompilerMessages->addItem(
          QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size())));
    });
  };
  return tab;
}

void TMainWindow::LoadTemplate() {
  const QString path = Q(ExeDirectory()) + QStringLiteral("kvt_mesh.txt");
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    Dialogs().ShowError(
        this, QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString()));
    return;
  }
  QString text = QString::fromLocal8Bit(file.readAll());
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (text.endsWith('\n')) text.chop(1);
  ScriptEdit->setPlainText(text);
}

void TMainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (m_started) return;
  m_started = true;
  StartUp();
}

void TMainWindow::setVisible(bool visible) {
  if (visible && !m_placed) {
    m_placed = true;
    PlaceWindows();
  }
  QMainWindow::setVisible(visible);
}

void TMainWindow::PlaceWindows() {
  // Before the first show, while no window has its platform window yet: a position set
  // then is the frame's, and the window manager is asked for it that way. Set once the
  // window exists but is not framed, it would go to the inner window (20 px lower under a
  // title bar) and creep down at every start.
  RestoreWindowPlacement(*m_settings, *this);
  const int order[] = {kSlotPoints, kSlotFaces, kSlotTools};
  QWidget* const windows[] = {m_points.get(), m_faces.get(), m_tools.get()};
  for (int i = 0; i < 3; ++i) {
    if (HasWindowPlacement(*m_settings, *windows[i]))
      RestoreWindowPlacement(*m_settings, *windows[i]);
    else
      PlaceBeside(*windows[i], order[i]);
  }
}

void TMainWindow::StartUp() {
  EditMatPath->setText(
      m_settings->value(QStringLiteral("qorvex/MatPath"), QStringLiteral("./")).toString());
  ShowToolWindows();
  const QString loadok = m_settings->value(QStringLiteral("qorvex/loadok"), 0).toString().trimmed();
  if (loadok.toInt() != 0 || loadok.compare(QStringLiteral("true"), Qt::CaseInsensitive) == 0) {
    // The guard goes to disk before the Load, so a Load that crashes the program skips the
    // automatic Load at the next start.
    m_settings->setValue(QStringLiteral("qorvex/loadok"), 0);
    m_settings->sync();
    bool ok = true;
    try {
      m_document.LoadRecordFiles();
    } catch (const Exception& e) {
      ok = false;
      Dialogs().ShowError(this, Q(e.Message()));
    } catch (const std::exception& e) {
      ok = false;
      Dialogs().ShowError(this, QString::fromLocal8Bit(e.what()));
    }
    if (!ok) return;
  }
  m_settings->setValue(QStringLiteral("qorvex/loadok"), 1);
  m_settings->sync();
}

void TMainWindow::ShowKeyboardAndMouse() {
  ShowHelpPage(this, QStringLiteral("Keyboard and mouse"), KeyboardAndMousePage());
}

void TMainWindow::ShowAbout() { ShowHelpPage(this, QStringLiteral("About Tessavor"), AboutPage()); }

void TMainWindow::ShowToolWindows() {
  for (QWidget* w : std::initializer_list<QWidget*>{m_points.get(), m_faces.get(), m_tools.get()})
    w->show();
}

void TMainWindow::PlaceBeside(QWidget& window, int slot) {
  // Every slot's size is known whether or not its window exists yet, so a viewer opened
  // later lands where the layout of the first start left room for it.
  auto outerSize = [](QWidget* w, QSize designed) {
    return w ? OuterGeometry(*w).size() : designed.grownBy(QMargins(4, 28, 4, 4));
  };
  const QList<QSize> sizes = {outerSize(m_points.get(), {}), outerSize(m_faces.get(), {}),
                              outerSize(m_tools.get(), {}),
                              outerSize(m_viewers.MeshViewerWindow(), QSize(238, 227)),
                              outerSize(m_viewers.GlViewerWindow(), QSize(166, 205))};
  QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen();
  const QRect area = s ? s->availableGeometry() : QRect(0, 0, 1280, 1024);
  const QList<QPoint> places = LayoutBeside(OuterGeometry(*this), sizes, area);
  if (slot < 0 || slot >= places.size()) return;
  // Beside may lie off a small screen (a large scale): then fully on it, over the main
  // window if need be.
  const QRect outer(places[slot], sizes[slot]);
  const QRect fitted = FitInside(outer, area);
  if (fitted == outer)
    window.move(places[slot]);
  else
    SetOuterGeometry(window, fitted);
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  // Closing drops unsaved records: the question comes before anything is shut down (a
  // running spin is stopped first, so that its rotation counts as a change).
  if (!m_closed) m_tools->StopSpin();
  if (!m_closed && !MaySaveChanges()) {
    event->ignore();
    return;
  }
  ShutDown();
  event->accept();
}

void TMainWindow::ShutDown() {
  if (m_closed) return;
  m_closed = true;
  SaveWindowPlacement(*m_settings, *this);
  m_settings->setValue(QStringLiteral("qorvex/MatPath"), EditMatPath->text());
  if (QWidget* gl = m_viewers.GlViewerWindow()) SaveWindowPlacement(*m_settings, *gl);
  SaveWindowPlacement(*m_settings, *m_faces);
  SaveWindowPlacement(*m_settings, *m_points);
  SaveWindowPlacement(*m_settings, *m_tools);
  m_settings->sync();
  m_tools->RotateThread().Terminate();
  m_points->AllowClose();
  m_faces->AllowClose();
  m_tools->AllowClose();
  m_points->close();
  m_faces->close();
  m_tools->close();
  m_viewers.HideViewers();
  emit Closed();
}

int RunEditor(TMainWindow& form, const QString& modelFile) {
  // The main window decides when the program ends, whatever other window is still open.
  QApplication::setQuitOnLastWindowClosed(false);
  QObject::connect(&form, &TMainWindow::Closed, qApp, &QCoreApplication::quit,
                   Qt::QueuedConnection);
  // The first show runs the start-up (and its Load); the model opened after it wins.
  form.show();
  if (!modelFile.isEmpty()) form.OpenModelFile(modelFile);
  return QApplication::exec();
}

void TMainWindow::Load() { m_document.LoadRecordFiles(); }

void TMainWindow::Save() {
  m_document.SaveRecordFiles();
  m_savedState.Holds(m_document, {TopStep() ? &TopStep()->After : nullptr});
}

void TMainWindow::AfterLoad() {
  // What was just loaded is what the files hold.
  m_savedState.Holds(m_document, {TopStep() ? &TopStep()->After : nullptr});
  // The box fits into the Points window's client area; then everything is drawn anew.
  const TPoint3& lo = m_document.BoxMin();
  const TPoint3& hi = m_document.BoxMax();
  m_projection.FitView(lo.x, lo.y, lo.z, hi.x, hi.y, hi.z, m_points->width(), m_points->height());
  RepaintViews();
  m_viewers.GlViewerLoadTextures(MatPath());
  UpdateState();
}

void TMainWindow::RepaintViews() {
  m_faces->update();
  m_points->update();
}

QString TMainWindow::MatPath() const { return EditMatPath->text(); }

void TMainWindow::SetCaption(int tab, const QString& text) { Tabs->setTabText(tab, text); }

QString TMainWindow::TabCaption(int tab) const { return Tabs->tabText(tab); }

void TMainWindow::OnVertexListClick() {
  // The vertex and normal lists move together; a shorter normal list has no line there.
  const int v = m_document.VertexLines.Current();
  m_document.NormalLines.SetCurrent(v < m_document.NormalLines.Count() ? v : -1);
  m_points->update();
  OnNormalListClick();
}

void TMainWindow::OnNormalListClick() {
  SetCaption(kTabVert, QStringLiteral("VERT/VTNM: %1/%2")
                           .arg(m_document.VertexLines.Current())
                           .arg(m_document.NormalLines.Current()));
}

void TMainWindow::OnCornerListClick() {
  const int i = m_document.CornerLines.Current();
  if (const TFvrtRecord* r = m_document.FvrtAt(i)) {
    EditTx->setText(Q(FormatRounded(r->Tx, 5)));
    EditTy->setText(Q(FormatRounded(r->Ty, 5)));
  }
  SetCaption(kTabFvrt, QStringLiteral("FVRT: %1").arg(i));
}

void TMainWindow::OnFaceListClick() {
  const int f = m_document.FaceLines.Current();
  m_faces->update();
  SetCaption(kTabFace, QStringLiteral("Face: %1").arg(f));
  if (const TFaceRecord* face = m_document.FaceAt(f))
    m_document.CornerLines.SetCurrent(face->FirstFvrt);
}

void TMainWindow::OnMaterialListClick() {
  const int row = m_document.MaterialLines.Current();
  if (row < 0) return;
  const QString path =
      MatPath() + Q(PadMaterialText(m_document.MaterialLines.Line(row))) + QStringLiteral(".bmp");
  if (!QFileInfo::exists(Q(MapFixedPath(Std(path)))))
    Dialogs().ShowMessage(this, path + QStringLiteral(" not found!"));
}

void TMainWindow::AddVertClick() {
  // All three numbers are parsed before anything is added.
  const float x = static_cast<float>(ParseTypedFloat(Std(EditX->text())));
  const float y = static_cast<float>(ParseTypedFloat(Std(EditY->text())));
  const float z = static_cast<float>(ParseTypedFloat(Std(EditZ->text())));
  AddVertWithNormal(m_document, x, y, z);
}

void TMainWindow::AddFvrtClick() { AddFvrtFromCurrentLines(m_document); }

void TMainWindow::AddFaceClick() {
  if (!AddFaceFromSelection(m_document)) Dialogs().ShowMessage(this, Q(kSelectThreeFvrtsMessage));
}

void TMainWindow::ApplyTexCordClick() {
  const int i = m_document.CornerLines.Current();
  TFvrtRecord* r = m_document.FvrtAt(i);
  if (!r) return;  // no current corner: nothing to apply
  const float tx = static_cast<float>(ParseTypedFloat(Std(EditTx->text())));
  const float ty = static_cast<float>(ParseTypedFloat(Std(EditTy->text())));
  r->Tx = tx;
  r->Ty = ty;
  m_document.CornerLines.ReplaceLine(i, TMeshDocument::FvrtLineText(*r, true));
  // Walking down: the next corner becomes current, the selection stays.
  m_document.CornerLines.SetCurrent(i + 1);
  CornerList->setFocus();
  m_viewers.MeshViewerDrawScene();
}

void TMainWindow::CgMatClick() {
  const int f = m_document.FaceLines.Current();
  TFaceRecord* face = m_document.FaceAt(f);
  if (!face) return;
  const auto answer = Dialogs().InputBox(this, QStringLiteral("Change Mat"),
                                         QStringLiteral("Mat file:"), QString::number(face->Mat));
  if (!answer) return;
  // A mistyped number is refused with the conversion error, as the other boxes do.
  face->Mat = ParseTypedInt(Std(*answer));
  m_document.FaceLines.ReplaceLine(f, TMeshDocument::FaceLineText(*face));
  m_document.AddMaterialLine(face->Mat);
  m_document.FaceLines.SetCurrent(f);
  FaceList->setFocus();
}

void TMainWindow::CgAllMatClick() {
  const auto answer =
      Dialogs().InputBox(this, QStringLiteral("MAT file:"), QStringLiteral("change maT"),
                         QString::number(kDefaultMaterial));
  if (!answer) return;  // Cancel changes nothing
  SetAllMaterialsAction(*this, ParseTypedInt(Std(*answer)));
}

void TMainWindow::ResetTexCoordsClick() {
  if (!Dialogs().AskYesNo(this, Q(kResetTexCoordsQuestion))) return;
  ResetTexCoordsAction(*this);
}

void TMainWindow::RandAllClick() {
  if (!Dialogs().AskYesNo(this, Q(kRandomizeTexCoordsQuestion))) return;
  RandAllAction(*this);
}

void TMainWindow::MeshViewerClick() {
  m_viewers.ShowMeshViewer(this, m_document, MatPath(),
                           [this](QWidget& w) { PlaceBeside(w, kSlotMeshView); });
}

void TMainWindow::GLClick() {
  m_viewers.ShowGlViewer(this, m_document, MatPath(), [this](QWidget& w) {
    if (HasWindowPlacement(*m_settings, w))
      RestoreWindowPlacement(*m_settings, w);
    else
      PlaceBeside(w, kSlotGlView);
  });
}

void TMainWindow::CompileScriptFile(const QString& scriptPath) {
  CompilerMessages->clear();
  CompileFile(Std(scriptPath));
}

void TMainWindow::CompileClick() {
  auto chosen =
      Dialogs().SaveFileName(this, QStringLiteral("Save IFF"), QStringLiteral("IFF Files (*.iff)"));
  if (!chosen) return;
  QString path = *chosen;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".iff");
  // The script compiles the record files on disk: unsaved edits would silently be left out.
  if (IsModified()) {
    if (!Dialogs().AskSaveAndCompile(this, QString::fromLatin1(kSaveAndCompileQuestion))) return;
    Save();
  }
  // The first line names the output, relative to the script that lies beside it.
  QStringList lines = ScriptEdit->toPlainText().split('\n');
  const QString statement = QStringLiteral("IFF \"%1\"").arg(QFileInfo(path).fileName());
  if (lines.isEmpty())
    lines << statement;
  else
    lines[0] = statement;
  ScriptEdit->setPlainText(lines.join('\n'));
  const QString script = path + QStringLiteral(".txt");
  const QByteArray bytes =
      (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLocal8Bit();
  WriteFileAtomic(Std(script), bytes.constData(), static_cast<size_t>(bytes.size()));
  CompileScriptFile(script);
}

void TMainWindow::MakeTreeClick() {
  auto chosen =
      Dialogs().SaveFileName(this, QStringLiteral("Save IFF"), QStringLiteral("IFF Files (*.iff)"));
  if (!chosen) return;
  QString path = *chosen;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".iff");
  m_document.SaveRecordFiles();
  const QString script = path + QStringLiteral(".txt");
  // The builder and the compile run off the window thread (the library cannot be
  // interrupted, so there is no Cancel); what they show is shown on the window thread.
  TTreeBuilderHooks hooks;
  hooks.Message = [this](const std::string& text) {
    OnWindowThread([&] { Dialogs().ShowMessage(this, Q(text)); });
  };
  hooks.Error = [this](const std::string& text) {
    OnWindowThread([&] { Dialogs().ShowError(this, QString::fromLocal8Bit(text.c_str())); });
  };
  hooks.Compile = [this](const std::string& scriptPath) {
    OnWindowThread([this] { CompilerMessages->clear(); });
    CompileFile(scriptPath);
  };
  const std::string library = Std(BspLibraryPath);
  const std::string scriptFile = Std(script);
  RunLongWork(this, {centralWidget(), menuBar()}, QStringLiteral("Building the tree..."), false,
              [&](const std::atomic<bool>&) { RunTreeBuilder(library, scriptFile, hooks); });
}

void TMainWindow::MessageClicked(int row) {
  if (row < 0 || row >= CompilerMessages->count()) return;
  const int line = MessageLine(CompilerMessages->item(row)->text());
  if (line > 0) SelectScriptLine(line);
}

void TMainWindow::SelectScriptLine(int line) {
  const QTextBlock block = ScriptEdit->document()->findBlockByNumber(line - 1);
  if (!block.isValid()) return;
  QTextCursor cursor(block);
  cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
  ScriptEdit->setTextCursor(cursor);
  ScriptEdit->centerCursor();
}
