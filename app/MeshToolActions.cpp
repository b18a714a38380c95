#include "app/MeshToolActions.h"

#include <QLineEdit>

#include "app/Unit1.h"
#include "mesh/NumberText.h"
#include "util/Exception.h"
#include "viewers/Dialogs.h"

namespace {
[[noreturn]] void Pending(const char* what) { throw Exception(std::string(what) + ": not built in yet"); }
}  // namespace

void RipMeshAction(TForm1&) { Pending("Rip mesh"); }
void ImportAscAction(TForm1&) { Pending("Import ASC"); }
void OutputObjAction(TForm1&) { Pending("Output obj"); }
void DelVtAction(TForm1& form) { form.Document().NumVtnm = 0; }
void CalcVtnmAction(TForm1&) { Pending("Calc VTNM"); }
void CalcDAction(TForm1&) { Pending("CALC D"); }
void FlipVtnmAction(TForm1&) { Pending("flip VTNM"); }
void ScaleAction(TForm1&) { Pending("Scale!"); }
void FlipAction(TForm1&, int) { Pending("flip"); }
void SetAllMaterialsAction(TForm1&, int) { Pending("Cg all mat"); }
void ResetTexCoordsAction(TForm1&) { Pending("all 0"); }
void RandAllAction(TForm1&) { Pending("RandAll"); }
