#pragma once
#include <functional>

// The main window's plug into the two OpenGL viewers. There is at most one model viewer and
// one GL viewer; each is created on the first click of its button and lives until
// DestroyViewers() at program end (the user cannot close either). All functions run on the
// window thread. Functions that act on a viewer do nothing when it has not been created.
//
// Typical wiring in the main window:
//   "MeshViewer" button:       ShowMeshViewer(this, doc, matPathEdit->text(), place);
//   "GL" button:               ShowGlViewer(this, doc, matPathEdit->text(), place);
//                              (`place` puts the new window where it belongs before its
//                              first show: its saved placement, or beside the main window)
//   Texturing tab face click:  SetHighlightedFace(row);
//   after "Apply TexCord":     MeshViewerDrawScene();
//   after every Load:          GlViewerLoadTextures(matPathEdit->text());
//   closing the main window:   save the placement of GlViewerWindow(), HideViewers(); then
//                              DestroyViewers() before the application object goes.
//
// The viewers never end the program by themselves (no quit-on-close): the main window does.

class QString;
class QWidget;
class TMeshDocument;

// First call: creates the model viewer on `document` with `materialFolder` (a plain prefix
// of the texture paths, e.g. "./" or "/data/tex/") and shows it. Every call then shows the
// model (caption with the counts, no highlighted face), fits the zoom to the radius, resets
// the angles and enables the redraw timer. The viewer is a top-level tool window; `owner`
// only keeps it above the main window. `place`, when given, runs once on the new window
// before it is first shown.
using TViewerPlacer = std::function<void(QWidget& window)>;
void ShowMeshViewer(QWidget* owner, TMeshDocument& document, const QString& materialFolder,
                    const TViewerPlacer& place = nullptr);

// Whether the model viewer exists, and its window (nullptr before the first click).
bool MeshViewerExists();
QWidget* MeshViewerWindow();

// The face drawn with a yellow outline in the model viewer; -1 for none.
void SetHighlightedFace(int face);

// Redraws the model viewer's scene at once (after a texture coordinate changed).
void MeshViewerDrawScene();

// First call: creates the GL viewer on `document`, runs `place` on it, shows it and loads its
// textures from `materialFolder`; returns true. Later calls do nothing and return false.
bool ShowGlViewer(QWidget* owner, TMeshDocument& document, const QString& materialFolder,
                  const TViewerPlacer& place = nullptr);

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

// Hides both viewers and stops the model viewer's redraw timer: the program is ending
// (their own close is refused, so they cannot be closed).
void HideViewers();

// Destroys both viewers (closes the diagnostic log, releases their OpenGL contexts).
void DestroyViewers();
