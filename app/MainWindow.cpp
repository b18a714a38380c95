// The main window's frame: construction and teardown, the two button rows, the tabs, the
// menus, the status bar and title, the way every action runs (RunAction), and the buttons
// that open the viewers. The other parts of TMainWindow live beside it (app/MainWindow.h
// lists them).

#include "app/MainWindow.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QUndoStack>
#include <QVBoxLayout>

#include "app/FileActions.h"
#include "app/HelpPages.h"
#include "app/LineListModel.h"
#include "app/MainWindowShared.h"
#include "app/MeshToolActions.h"
#include "app/TexturingTab.h"
#include "iffc/Compiler.h"
#include "interchange/Interchange.h"
#include "util/Exception.h"
#include "util/Paths.h"
#include "viewers/Dialogs.h"
#include "viewers/FacesWindow.h"
#include "viewers/PointsWindow.h"
#include "viewers/ToolWindow.h"
#include "viewers/WindowPlacement.h"

using namespace mainwindow;

namespace {

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

  // The projection windows are tool windows of the main window (ShowToolWindows makes them
  // its transients): the window manager keeps them above it and below its dialogs, and
  // never above other programs. They are not its children: a Qt parent would tie their
  // sizes to it, and their placement is their own.
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

bool TMainWindow::RunAction(const std::function<void()>& action) {
  // A failure is news until the next action: left standing, it would read as the state of
  // whatever the user did since.
  if (StatusResult && StatusResult->text().endsWith(QStringLiteral(": failed")))
    StatusResult->clear();
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

QPushButton* TMainWindow::Button(const QString& caption) const {
  for (QPushButton* b : findChildren<QPushButton*>())
    if (b->text() == caption) return b;
  return nullptr;
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
  if (m_homeReadOnly) title += QStringLiteral(" [read-only]");
  if (IsModified() || ScriptModified()) title += QStringLiteral(" *");
  return title;
}

void TMainWindow::SetHomeReadOnly(bool readOnly) {
  m_homeReadOnly = readOnly;
  UpdateState();
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
  ScheduleRecovery();
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
  tools->addWidget(
      AddButton(central, QStringLiteral("Clean up"), [this] { CleanUpAction(*this); }));
  ShowData = new QCheckBox(QStringLiteral("Show Data"), central);
  ShowData->setObjectName(QStringLiteral("ShowData"));
  ShowData->setChecked(true);
  connect(ShowData, &QCheckBox::toggled, this, [this](bool on) { m_document.ShowData = on; });
  tools->addWidget(ShowData);
  tools->addStretch();
  layout->addLayout(top);
  layout->addLayout(tools);

  Tabs = new TSteadyTabs(central);
  Tabs->setObjectName(QStringLiteral("Tabs"));
  Tabs->addTab(BuildVertTab(), QStringLiteral("VERT/VTNM"));
  Tabs->addTab(BuildFvrtTab(), QStringLiteral("FVRT"));
  Tabs->addTab(BuildFaceTab(), QStringLiteral("FACE"));
  // Captions that count lines keep the width of their largest number.
  const QString most = QString::number(MeshCapacity - 1);
  Tabs->ReserveCaption(kTabVert, QStringLiteral("VERT/VTNM: %1/%1").arg(most));
  Tabs->ReserveCaption(kTabFvrt, QStringLiteral("FVRT: %1").arg(most));
  Tabs->ReserveCaption(kTabFace, QStringLiteral("Face: %1").arg(most));
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
  // On a screen smaller than the controls (a small screen at a large scale) the page
  // scrolls instead of pushing the window past the screen's edge.
  auto* scroll = new QScrollArea(this);
  scroll->setObjectName(QStringLiteral("PageScroll"));
  scroll->setFrameShape(QFrame::NoFrame);
  scroll->setWidgetResizable(true);
  scroll->setWidget(central);
  setCentralWidget(scroll);
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
  // Two rows, the result above what is selected and the model's size and counts: on one
  // row they are wider than the window at its default width, and a status bar cuts them.
  // Each may still wrap on a narrower window rather than be cut.
  auto* rows = new QWidget(this);
  auto* grid = new QGridLayout(rows);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setVerticalSpacing(0);
  grid->addWidget(StatusResult, 0, 0, 1, 3);
  grid->addWidget(StatusSelection, 1, 0);
  grid->addWidget(StatusSize, 1, 1);
  grid->addWidget(StatusCounts, 1, 2);
  grid->setColumnStretch(0, 1);
  for (QLabel* l : {StatusResult, StatusSelection, StatusSize, StatusCounts}) l->setWordWrap(true);
  StatusSize->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  StatusCounts->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  statusBar()->addWidget(rows, 1);
}

void TMainWindow::ShowKeyboardAndMouse() {
  ShowHelpPage(this, QStringLiteral("Keyboard and mouse"), KeyboardAndMousePage());
}

void TMainWindow::ShowAbout() { ShowHelpPage(this, QStringLiteral("About Tessavor"), AboutPage()); }

void TMainWindow::RepaintViews() {
  m_faces->update();
  m_points->update();
}

QString TMainWindow::MatPath() const { return EditMatPath->text(); }

void TMainWindow::SetCaption(int tab, const QString& text) { Tabs->setTabText(tab, text); }

QString TMainWindow::TabCaption(int tab) const { return Tabs->tabText(tab); }

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
