#pragma once
// The main window's file dialogs around the core's rip, write-back, ASC import, OBJ output,
// model import and export. Each takes the main window for its document, its boxes and its
// dialogs; errors propagate to the caller's RunAction (the main window runs each that may
// change the mesh as one undoable step). Load, Save, opening a model file and the recent
// files are the main window's own (app/FileActions.cpp).

class QString;
class TMainWindow;

void RipMeshAction(TMainWindow& form);  // "Rip mesh": open dialog, rip, Load (Load also on Cancel)
void RipModelFile(TMainWindow& form,
                  const QString& path);  // rip `path`, remember it as recent, Load
// "Write back...": the record files into a copy of the last ripped model (asked for when
// nothing was ripped yet), saved where the save dialog says.
void WriteBackAction(TMainWindow& form);
// "Import ASC": a file chooser that starts on the fixed file (test.asc in the home folder),
// then the material asked with "Imput ASC" (Cancel in either imports nothing); the file is read
// and parsed off the window thread with a progress dialog that can cancel it.
void ImportAscAction(TMainWindow& form);
void ImportAscFile(TMainWindow& form,
                   const QString& path);  // the same for a chosen file, remembered as recent
void OutputObjAction(TMainWindow& form);  // "Output obj": save dialog, write the OBJ file
// "Import...": any model Assimp reads replaces the mesh (first new material number and the
// file's up axis asked; Cancel in any dialog imports nothing); the import report in a
// message box.
void ImportModelAction(TMainWindow& form);
void ImportModelFile(TMainWindow& form,
                     const QString& file);  // the same for a chosen file, remembered as recent
// "Export...": the mesh with its materials and the material folder's textures, in the
// format of the chosen file's extension (".obj" when it has none); the report in a message box.
void ExportModelAction(TMainWindow& form);
