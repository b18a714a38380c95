// The main window's Script tab: the compiler script (from the template "kvt_mesh.txt"), the
// compiler's messages and the line a message names, "&compile", and "make &tree", which
// builds the tree and compiles off the window thread.

#include "app/MainWindow.h"

#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QTextBlock>
#include <QVBoxLayout>

#include "app/LongWork.h"
#include "app/MainWindowShared.h"
#include "iffc/Compiler.h"
#include "mesh/TreeBuilder.h"
#include "util/Exception.h"
#include "util/FileIo.h"
#include "util/Paths.h"
#include "viewers/Dialogs.h"

using namespace mainwindow;

namespace {

constexpr const char* kSaveAndCompileQuestion =
    "The mesh has unsaved changes, and the script compiles the record files on disk. "
    "Save the changes and compile?";

// A message of the compiler that names a script line: "error: line 12, ..." and the like.
int MessageLine(const QString& message) {
  static const QRegularExpression re(QStringLiteral("\\bline (\\d+)"));
  const QRegularExpressionMatch m = re.match(message);
  return m.hasMatch() ? m.captured(1).toInt() : -1;
}

}  // namespace
QWidget* TMainWindow::BuildScriptTab() {
  auto* tab = new QWidget;
  auto* layout = new QVBoxLayout(tab);
  auto* split = new QSplitter(Qt::Vertical, tab);
  ScriptEdit = new QPlainTextEdit(split);
  ScriptEdit->setObjectName(QStringLiteral("ScriptEdit"));
  ScriptEdit->setLineWrapMode(QPlainTextEdit::NoWrap);
  ScriptEdit->setFont(QFont(QStringLiteral("Monospace")));
  // Typing in the script is an unsaved change: the title's " *" follows it.
  connect(ScriptEdit->document(), &QTextDocument::modificationChanged, this,
          [this] { UpdateState(); });
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

QString TMainWindow::SavedScriptPath() const {
  try {
    return Q(HomeFile("kvt_mesh.txt"));
  } catch (const Exception&) {
    return {};  // no home folder: the script is not kept
  }
}

bool TMainWindow::ScriptModified() const {
  return ScriptEdit && ScriptEdit->document()->isModified();
}

void TMainWindow::SaveScript() {
  if (!ScriptModified()) return;
  const QString path = SavedScriptPath();
  if (path.isEmpty()) return;
  const QByteArray bytes =
      (ScriptEdit->toPlainText().split('\n').join(QStringLiteral("\r\n")) + QStringLiteral("\r\n"))
          .toLocal8Bit();
  WriteFileAtomic(Std(path), bytes.constData(), static_cast<size_t>(bytes.size()));
  ScriptEdit->document()->setModified(false);
}

void TMainWindow::LoadTemplate() {
  // The script saved in the home folder is the user's; the program's template is the
  // start of a home that has none.
  QString path = SavedScriptPath();
  if (path.isEmpty() || !QFileInfo::exists(path))
    path = Q(ExeDirectory()) + QStringLiteral("kvt_mesh.txt");
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
  ScriptEdit->document()->setModified(false);
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
  // An edit of the first line rather than a new text: the script's undo history stays, and
  // a changed line counts as a change of the script.
  if (ScriptEdit->document()->firstBlock().text() != lines[0]) {
    QTextCursor first(ScriptEdit->document()->firstBlock());
    first.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    first.insertText(lines[0]);
  }
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
