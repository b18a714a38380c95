#include "app/MeshToolActions.h"

#include <QLineEdit>

#include "app/MainWindow.h"
#include "mesh/Geometry.h"
#include "mesh/Materials.h"
#include "mesh/MeshClean.h"
#include "mesh/Normals.h"
#include "mesh/NumberText.h"

void DelVtAction(TMainWindow& form) { DeleteVtnm(form.Document()); }
void CalcVtnmAction(TMainWindow& form) { CalcVtnm(form.Document()); }
void CalcDAction(TMainWindow& form) { CalcD(form.Document()); }
void FlipVtnmAction(TMainWindow& form) { FlipVtnm(form.Document()); }

void ScaleAction(TMainWindow& form) {
  const auto percent = static_cast<float>(ParseTypedFloat(form.EditScale->text().toStdString()));
  ScaleModel(form.Document(), percent);
}

void FlipAction(TMainWindow& form, int axis) {
  if (axis == 1)
    FlipY(form.Document());
  else
    FlipZ(form.Document());
}

void SetAllMaterialsAction(TMainWindow& form, int mat) { SetAllMaterials(form.Document(), mat); }
void ResetTexCoordsAction(TMainWindow& form) { ResetTexCoords(form.Document()); }
void RandAllAction(TMainWindow& form) { RandAllTexCoords(form.Document()); }

void CleanUpAction(TMainWindow& form) {
  const TCleanReport report = CleanMesh(form.Document());
  form.Dialogs().ShowMessage(&form, QString::fromStdString(report.Text()));
}
