#include "app/MeshToolActions.h"

#include <QFileInfo>
#include <QLineEdit>

#include "app/Unit1.h"
#include "mesh/AscImport.h"
#include "mesh/Geometry.h"
#include "mesh/Materials.h"
#include "mesh/Normals.h"
#include "mesh/NumberText.h"
#include "mesh/ObjExport.h"
#include "mesh/Rip.h"
#include "mesh/WriteBack.h"
#include "util/Paths.h"
#include "viewers/Dialogs.h"
#include "viewers/FaceView.h"

namespace {
// The model of the last rip in this session: where "Write back..." puts the mesh.
QString g_lastRippedModel;
}  // namespace

void RipMeshAction(TForm1& form) {
  const auto chosen = Dialogs().OpenFileName(&form, QStringLiteral("Rip mesh"), QStringLiteral("IFF Files (*.iff)"));
  // A cancelled dialog still reloads the record files as they are.
  if (chosen) {
    RipMesh(chosen->toStdString());
    g_lastRippedModel = *chosen;
  }
  form.Load();
}

void WriteBackAction(TForm1& form) {
  QString model = g_lastRippedModel;
  if (model.isEmpty()) {
    const auto chosen =
        Dialogs().OpenFileName(&form, QStringLiteral("Write back: original model"), QStringLiteral("IFF Files (*.iff)"));
    if (!chosen) return;
    model = *chosen;
  }
  const auto out = Dialogs().SaveFileName(&form, QStringLiteral("Write back into a copy of ") + QFileInfo(model).fileName(),
                                          QStringLiteral("IFF Files (*.iff)"));
  if (!out) return;
  // What goes back is the record files, as the last Save left them.
  WriteBack(model.toStdString(), out->toStdString());
}

void ImportAscAction(TForm1& form) {
  TMeshDocument& doc = form.Document();
  const auto answer =
      Dialogs().InputBox(&form, QStringLiteral("MAT file:"), QStringLiteral("Imput ASC"), QStringLiteral("70000"));
  const int32_t mat = ParseTypedInt(answer.value_or(QStringLiteral("70000")).toStdString());
  // Long imports keep the Faces window drawing.
  ImportAsc(doc, DefaultAscPath(), mat, [&form] { form.Faces()->repaint(); });
  form.RepaintViews();
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
