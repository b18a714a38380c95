#pragma once
// The main window's buttons that run the core's mesh tools. Each takes the main window for
// its document, its edit boxes and its dialogs, and adds only the questions around a core
// call; errors propagate to the caller's RunAction (the main window runs each as one
// undoable step). The operations that end with Save and Load do so in the
// core (mesh/Geometry.h, mesh/Normals.h, mesh/Materials.h).

#include <string>

class QString;
class TMainWindow;

void DelVtAction(TMainWindow& form);     // "del VT"
void CalcVtnmAction(TMainWindow& form);  // "Calc VTNM", then Save and Load
void CalcDAction(TMainWindow& form);     // "CALC D", then Save and Load
void FlipVtnmAction(TMainWindow& form);  // "flip VTNM" (in memory only)
void ScaleAction(TMainWindow& form);     // "Scale!" with the percentage box, then Save and Load
void FlipAction(TMainWindow& form,
                int axis);  // "flipY" (axis 1), "flipZ" (axis 2), then Save and Load
void SetAllMaterialsAction(TMainWindow& form, int mat);  // "Cg all mat" after the question
void ResetTexCoordsAction(TMainWindow& form);            // "all 0" after the question
void RandAllAction(TMainWindow& form);                   // "RandAll" after the question
void CleanUpAction(TMainWindow& form);  // "Clean up" (mesh/MeshClean.h), then its report
