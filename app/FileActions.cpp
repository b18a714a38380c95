// The main window's file actions: Load and Save of the record files, what follows a Load,
// opening a model file (command line, "Open Recent", a file dropped on the window) and the
// recent-file list.

#include "app/MainWindow.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QSettings>

#include "app/MainWindowShared.h"
#include "app/MeshToolActions.h"
#include "interchange/Interchange.h"
#include "util/Exception.h"
#include "viewers/PointsWindow.h"

using namespace mainwindow;
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
