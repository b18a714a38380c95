#include "app/MeshToolActions.h"

#include <QFileInfo>
#include <QLineEdit>
#include <QMenuBar>

#include "app/LongWork.h"
#include "app/Unit1.h"
#include "mesh/AscImport.h"
#include "mesh/Geometry.h"
#include "mesh/Materials.h"
#include "mesh/Normals.h"
#include "mesh/NumberText.h"
#include "mesh/ObjExport.h"
#include "mesh/Rip.h"
#include "util/Paths.h"
#include "viewers/Dialogs.h"
#include "viewers/FaceView.h"

void RipMeshAction(TForm1& form) {
  const auto chosen = Dialogs().OpenFileName(&form, QStringLiteral("Rip mesh"), QStringLiteral("IFF Files (*.iff)"));
  // A cancelled dialog still reloads the record files as they are.
  if (chosen) RipModelFile(form, *chosen);
  else form.Load();
}

void RipModelFile(TForm1& form, const QString& path) {
  RipMesh(path.toStdString());
  form.AddRecentFile(path);
  form.Load();
}

namespace {

bool ImportAscFrom(TForm1& form, const std::string& path) {
  const auto answer =
      Dialogs().InputBox(&form, QStringLiteral("MAT file:"), QStringLiteral("Imput ASC"), QStringLiteral("70000"));
  if (!answer) return false;  // Cancel imports nothing
  const int32_t mat = ParseTypedInt(answer->toStdString());
  TAscMesh mesh;
  const bool done = RunLongWork(&form, {form.centralWidget(), form.menuBar()}, QStringLiteral("Importing ASC..."), true,
                                [&mesh, &path](const std::atomic<bool>& cancelled) {
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

void ImportAscAction(TForm1& form) { ImportAscFrom(form, DefaultAscPath()); }

void ImportAscFile(TForm1& form, const QString& path) {
  if (ImportAscFrom(form, path.toStdString())) form.AddRecentFile(path);
}

void OutputObjAction(TForm1& form) {
  const auto chosen =
      Dialogs().SaveFileName(&form, QStringLiteral("Output obj"), QStringLiteral("WaveFront OBJ (*.obj)"));
  if (!chosen) return;
  QString path = *chosen;
  if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".obj");
  ExportObj(form.Document(), path.toStdString());
}

void DelVtAction(TForm1& form) { DeleteVtnm(form.Document()); }
void CalcVtnmAction(TForm1& form) { CalcVtnm(form.Document()); }
void CalcDAction(TForm1& form) { CalcD(form.Document()); }
void FlipVtnmAction(TForm1& form) { FlipVtnm(form.Document()); }

void ScaleAction(TForm1& form) {
  const auto percent = static_cast<float>(ParseTypedFloat(form.EditScale->text().toStdString()));
  ScaleModel(form.Document(), percent);
}

void FlipAction(TForm1& form, int axis) {
  if (axis == 1) FlipY(form.Document());
  else FlipZ(form.Document());
}

void SetAllMaterialsAction(TForm1& form, int mat) { SetAllMaterials(form.Document(), mat); }
void ResetTexCoordsAction(TForm1& form) { ResetTexCoords(form.Document()); }
void RandAllAction(TForm1& form) { RandAllTexCoords(form.Document()); }
