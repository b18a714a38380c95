// The main window's file actions: Load and Save of the record files, what follows a Load,
// opening a model file (command line, "Open Recent", a file dropped on the window), the
// recent-file list, and the dialogs of rip, write back, ASC import, OBJ output, model import
// and export (app/FileActions.h).

#include "app/MainWindow.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QSettings>

#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <vector>

#include "app/FileActions.h"
#include "app/LongWork.h"
#include "app/MainWindowShared.h"
#include "app/MeshToolActions.h"
#include "interchange/GameReady.h"
#include "interchange/Interchange.h"
#include "mesh/AscImport.h"
#include "mesh/Materials.h"
#include "mesh/NumberText.h"
#include "mesh/ObjExport.h"
#include "mesh/Rip.h"
#include "mesh/WriteBack.h"
#include "util/Exception.h"
#include "util/Paths.h"
#include "viewers/Dialogs.h"
#include "viewers/FacesWindow.h"
#include "viewers/PointsWindow.h"

using namespace mainwindow;
void TMainWindow::Load() { m_document.LoadRecordFiles(); }

void TMainWindow::Save() {
  m_document.SaveRecordFiles();
  SaveScript();
  m_savedState.Holds(m_document, {TopStep() ? &TopStep()->After : nullptr});
}

void TMainWindow::AfterLoad() {
  // What was just loaded is what the files hold.
  m_savedState.Holds(m_document, {TopStep() ? &TopStep()->After : nullptr});
  // The model is framed in the Points window's client area (from its vertices: Load's box
  // always reaches the zero point); then everything is drawn anew.
  m_projection.FitPoints(m_document.VERT.get(),
                         static_cast<size_t>(std::max(0, m_document.NumVert)), m_points->width(),
                         m_points->height());
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

void RipMeshAction(TMainWindow& form) {
  const auto chosen = form.Dialogs().OpenFileName(&form, QStringLiteral("Rip mesh"),
                                                  QStringLiteral("IFF Files (*.iff)"));
  // A cancelled dialog still reloads the record files as they are.
  if (chosen)
    RipModelFile(form, *chosen);
  else
    form.Load();
}

void RipModelFile(TMainWindow& form, const QString& path) {
  RipMesh(path.toStdString());
  form.LastRippedModel = path;
  form.ModelName = path;
  form.AddRecentFile(path);
  form.Load();
}

void WriteBackAction(TMainWindow& form) {
  QString model = form.LastRippedModel;
  if (model.isEmpty()) {
    const auto chosen = form.Dialogs().OpenFileName(
        &form, QStringLiteral("Write back: original model"), QStringLiteral("IFF Files (*.iff)"));
    if (!chosen) return;
    model = *chosen;
  }
  const auto out = form.Dialogs().SaveFileName(
      &form, QStringLiteral("Write back into a copy of ") + QFileInfo(model).fileName(),
      QStringLiteral("IFF Files (*.iff)"));
  if (!out) return;
  // What goes back is the record files, as the last Save left them.
  WriteBack(model.toStdString(), out->toStdString());
}

namespace {

bool ImportAscFrom(TMainWindow& form, const std::string& path) {
  const auto answer = form.Dialogs().InputBox(&form, QStringLiteral("MAT file:"),
                                              QStringLiteral("Imput ASC"), QStringLiteral("70000"));
  if (!answer) return false;  // Cancel imports nothing
  const int32_t mat = ParseTypedInt(answer->toStdString());
  TAscMesh mesh;
  const bool done =
      RunLongWork(&form, {form.centralWidget(), form.menuBar()}, QStringLiteral("Importing ASC..."),
                  true, [&mesh, &path](const std::atomic<bool>& cancelled) {
                    mesh = ReadAsc(path, [&cancelled] {
                      if (cancelled) throw EWorkCancelled("Import cancelled");
                    });
                  });
  if (!done) return false;
  ApplyAsc(form.Document(), mesh, mat);
  form.RepaintViews();
  return true;
}

}  // namespace

void ImportAscAction(TMainWindow& form) {
  // The chooser starts on the fixed file the exporters write, so Enter takes it as before.
  const auto chosen = form.Dialogs().OpenFileNameAt(
      &form, QStringLiteral("Import ASC"), QStringLiteral("ASC scenes (*.asc);;All files (*)"),
      QString::fromStdString(DefaultAscPath()));
  if (chosen) ImportAscFile(form, *chosen);
}

void ImportAscFile(TMainWindow& form, const QString& path) {
  if (!ImportAscFrom(form, path.toStdString())) return;
  form.ModelName = path;
  form.AddRecentFile(path);
}

void OutputObjAction(TMainWindow& form) {
  const auto chosen = form.Dialogs().SaveFileName(&form, QStringLiteral("Output obj"),
                                                  QStringLiteral("WaveFront OBJ (*.obj)"));
  if (!chosen) return;
  QString path = *chosen;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".obj");
  ExportObj(form.Document(), path.toStdString());
}

namespace {

// File-dialog filters from Assimp's own lists.
QString ImportFilter() {
  QStringList patterns;
  for (const TFormatInfo& f : ImportFormats())
    patterns << QStringLiteral("*.") + QString::fromStdString(f.Extension);
  return QStringLiteral("Models (") + patterns.join(QLatin1Char(' ')) +
         QStringLiteral(");;All files (*)");
}

// The Export dialog's types: each offered format, the game's Y up and then Z up.
struct TExportType {
  QString Filter;  // "COLLADA - Digital Asset Exchange Schema (*.dae)"
  TFormatInfo Format;
  bool ZUp;
};

std::vector<TExportType> ExportTypes() {
  std::vector<TExportType> types;
  for (bool zUp : {false, true}) {
    for (const TFormatInfo& f : ExportFormats()) {
      types.push_back({QString::fromStdString(f.Description) +
                           (zUp ? QStringLiteral(", Z up") : QString()) + QStringLiteral(" (*.") +
                           QString::fromStdString(f.Extension) + QLatin1Char(')'),
                       f, zUp});
    }
  }
  return types;
}

QString ExportFilter() {
  QStringList filters;
  for (const TExportType& t : ExportTypes()) filters << t.Filter;
  return filters.join(QStringLiteral(";;"));
}

// ".bmp" textures through Qt, as 24-bit pictures in the core's byte order.
void LoadBmpWithQt(const std::string& fileName, TBitmap& bitmap) {
  QImage image(QString::fromStdString(fileName));
  if (image.isNull()) throw EInvalidGraphic("\"" + fileName + "\" cannot be read as a picture");
  image = image.convertToFormat(QImage::Format_RGB888);
  bitmap.SetPixelFormat(24);
  bitmap.SetSize(image.width(), image.height());
  for (int y = 0; y < image.height(); ++y) {
    const uchar* in = image.constScanLine(y);
    uint8_t* out = bitmap.ScanLine(y);
    for (int x = 0; x < image.width(); ++x) {
      out[3 * x] = in[3 * x + 2];
      out[3 * x + 1] = in[3 * x + 1];
      out[3 * x + 2] = in[3 * x];
    }
  }
}

}  // namespace

void ImportModelAction(TMainWindow& form) {
  const auto chosen = form.Dialogs().OpenFileName(&form, QStringLiteral("Import"), ImportFilter());
  if (chosen) ImportModelFile(form, *chosen);
}

void ImportModelFile(TMainWindow& form, const QString& file) {
  const auto first = form.Dialogs().InputBox(
      &form, QStringLiteral("Import"), QStringLiteral("First number for materials without one:"),
      QString::number(kDefaultMaterial));
  if (!first) return;
  TImportOptions options;
  options.FirstNewMat = ParseTypedInt(first->toStdString());
  options.MaterialFolder = form.MatPath().toStdString();
  options.LoadForeignPicture = LoadBmpWithQt;
  // As tessavor-cli import --up: auto takes the format's own axis (z for .blend), z turns
  // a z-up file (PLY and STL from Blender) to the game's y up. Any other answer asks again
  // (Cancel ends the import) rather than ending it.
  QString prompt = QStringLiteral("Up axis of the file (auto, y or z):");
  for (;;) {
    const auto up =
        form.Dialogs().InputBox(&form, QStringLiteral("Import"), prompt, QStringLiteral("auto"));
    if (!up) return;
    if (ParseUpAxis(up->trimmed().toLower().toStdString(), options.Up)) break;
    prompt = QStringLiteral(
                 "The up axis is auto, y or z, not \"%1\". Up axis of the file (auto, y "
                 "or z):")
                 .arg(*up);
  }
  // Reading and converting a large scene takes a while: it runs off the window thread, and
  // only the commit into the document happens on it. The reader's child process stops at
  // once on Cancel, and a cancelled import changes nothing.
  TImportReport report;
  TImportedMesh mesh;
  std::string objectList, tooLarge;
  std::vector<std::string> objects;
  const auto read = [&](const QString& caption, const std::function<void()>& work) {
    return RunLongWork(&form, {form.centralWidget(), form.menuBar()}, caption, true,
                       [&](const std::atomic<bool>& cancelled) {
                         options.Cancel = &cancelled;
                         try {
                           work();
                         } catch (const EInterchange&) {
                           if (cancelled) throw EWorkCancelled("Import cancelled");
                           throw;
                         }
                       });
  };
  // A file of several objects: the user picks which come in.
  if (!read(QStringLiteral("Reading..."),
            [&] { objectList = ListModelObjects(file.toStdString(), options, &objects); }))
    return;
  if (objects.size() > 1) {
    const auto chosen = form.Dialogs().InputBox(
        &form, QStringLiteral("Import"),
        QStringLiteral("Objects (name: faces, materials):\n") + QString::fromStdString(objectList) +
            QStringLiteral("Import which (names separated by commas; empty for all)?"),
        QString());
    if (!chosen) return;
    for (const QString& name : chosen->split(QLatin1Char(','), Qt::SkipEmptyParts))
      options.Objects.push_back(name.trimmed().toStdString());
  }
  double coarse = 0.0;
  const auto readModel = [&] {
    try {
      mesh = ReadModel(file.toStdString(), options, report);
    } catch (const EModelTooLarge& e) {
      tooLarge = e.what();
    } catch (const EFitTooCoarse& e) {
      tooLarge = e.what();
      coarse = e.Needed;
    }
  };
  if (!read(QStringLiteral("Importing..."), readModel)) return;
  // Over the record arrays: offered the same fit as tessavor-cli import --fit.
  if (!tooLarge.empty()) {
    // The reason names the command line's option; here the question below offers the fit.
    if (const size_t hint = tooLarge.find(". --fit "); hint != std::string::npos)
      tooLarge.resize(hint + 1);
    if (!form.Dialogs().AskYesNo(
            &form, QString::fromStdString(tooLarge) +
                       QStringLiteral("\n\nSimplify the model until it fits the arrays?")))
      return;
    options.Fit = true;
    tooLarge.clear();
    if (!read(QStringLiteral("Fitting..."), readModel)) return;
  }
  // A fit past --max-error: the error it needs is shown, and the user may accept it.
  if (coarse > 0.0) {
    if (!form.Dialogs().AskYesNo(
            &form, QString::fromStdString(tooLarge) +
                       QStringLiteral("\n\nAccept a fit that moves the surface up to %1% of "
                                      "the model's size?")
                           .arg(100.0 * coarse, 0, 'g', 4)))
      return;
    options.MaxError = coarse;
    tooLarge.clear();
    coarse = 0.0;
    if (!read(QStringLiteral("Fitting..."), readModel)) return;
  }
  if (!tooLarge.empty()) throw EInterchange(tooLarge);
  MakeTextureFolder(mesh, options);
  CommitImport(form.Document(), mesh);
  WriteImportTextures(mesh, options, report);
  form.RepaintViews();
  form.ModelName = file;
  form.AddRecentFile(file);
  form.Dialogs().ShowMessage(&form, QString::fromStdString(report.Text()));
}

void ExportModelAction(TMainWindow& form) {
  QString chosenType;
  const auto chosen = form.Dialogs().SaveFileNameOfType(&form, QStringLiteral("Export"),
                                                        ExportFilter(), chosenType);
  if (!chosen) return;
  const std::vector<TExportType> types = ExportTypes();
  const auto type = std::find_if(types.begin(), types.end(),
                                 [&](const TExportType& t) { return t.Filter == chosenType; });
  QString path = *chosen;
  const std::string suffix = QFileInfo(path).suffix().toLower().toStdString();
  TExportOptions options;
  if (type != types.end()) {
    options.ZUp = type->ZUp;
    // The chosen type, unless the name asks for another format by its own extension.
    if (suffix.empty()) {
      path += QLatin1Char('.') + QString::fromStdString(type->Format.Extension);
      options.FormatId = type->Format.Id;
    } else if (suffix == type->Format.Extension ||
               ExportFormatForFile(path.toStdString()).empty()) {
      options.FormatId = type->Format.Id;
    }
  } else if (suffix.empty()) {
    path += QStringLiteral(".obj");
  }
  options.MaterialFolder = form.MatPath().toStdString();
  options.LoadForeignPicture = LoadBmpWithQt;
  // Only the work is timed, not the dialogs; an export changes nothing, so it is no step.
  QElapsedTimer clock;
  clock.start();
  TExportReport report;
  const bool done =
      form.RunAction([&] { report = ExportModel(form.Document(), path.toStdString(), options); });
  if (!done) {
    form.StatusResult->setText(QStringLiteral("Export: failed"));
    return;
  }
  form.StatusResult->setText(
      QStringLiteral("Export: %1 faces in %2 ms").arg(report.Faces).arg(clock.elapsed()));
  form.Dialogs().ShowMessage(&form, QString::fromStdString(report.Text()));
}
