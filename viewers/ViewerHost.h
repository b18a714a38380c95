#pragma once
// The main window's plug into the two OpenGL viewers. There is at most one model viewer and
// one GL viewer; each is created on the first click of its button and lives until
// DestroyViewers() at program end (the user cannot close either). All functions run on the
// window thread. Functions that act on a viewer do nothing when it has not been created.
//
// Typical wiring in the main window:
//   "MeshViewer" button:       ShowMeshViewer(this, doc, matPathEdit->text());
//   "GL" button:               if (ShowGlViewer(this, doc, matPathEdit->text()))
//                                RestoreWindowPlacement(..., GlViewerWindow());
//   Texturing tab face click:  SetHighlightedFace(row);
//   after "Apply TexCord":     MeshViewerDrawScene();
//   after every Load:          GlViewerLoadTextures(matPathEdit->text());
//   closing the main window:   save placements of GlViewerWindow()/MeshViewerWindow(), then
//                              DestroyViewers() before the application object goes.

class QString;
class QWidget;
class TMeshDocument;

// First call: creates the model viewer on `document` with `materialFolder` (a plain prefix
// of the texture paths, e.g. "./" or "/data/tex/") and shows it. Every call then shows the
// model (caption with the counts, no highlighted face), fits the zoom to the radius, resets
// the angles and enables the redraw timer. The viewer is a top-level tool window; `owner`
// only keeps it above the main window.
void ShowMeshViewer(QWidget* owner, TMeshDocument& document, const QString& materialFolder);

// Whether the model viewer exists, and its window (nullptr before the first click).
bool MeshViewerExists();
QWidget* MeshViewerWindow();

// The face drawn with a yellow outline in the model viewer; -1 for none.
void SetHighlightedFace(int face);

// Redraws the model viewer's scene at once (after a texture coordinate changed).
void MeshViewerDrawScene();

// First call: creates the GL viewer on `document`, loads its textures from `materialFolder`
// and shows it; returns true. Later calls do nothing and return false (the caller restores
// the saved placement only when this returns true).
bool ShowGlViewer(QWidget* owner, TMeshDocument& document, const QString& materialFolder);

// Whether the GL viewer exists, and its window (nullptr before the first click).
bool GlViewerExists();
QWidget* GlViewerWindow();

// Makes an existing GL viewer load the textures of the document's materials again (after
// every Load). A picture that cannot be read is reported through the dialogs interface.
void GlViewerLoadTextures(const QString& materialFolder);

// Whether this display can give the viewers an OpenGL context (checked once). Without one
// the viewer buttons show a message instead of opening a window: an OpenGL window on a
// platform without OpenGL (Qt's offscreen platform, for one) would bring the program down.
bool ViewersHaveOpenGl();

// Destroys both viewers (closes the diagnostic log, releases their OpenGL contexts).
void DestroyViewers();
