#pragma once
#include <functional>
#include <memory>

// The two OpenGL viewers of a main window. There is at most one model viewer and one GL
// viewer per host; each is created on the first click of its button and lives until the
// host destroys it (DestroyViewers, or the host's own end). The user cannot close either.
// All functions run on the window thread. Functions that act on a viewer do nothing when it
// has not been created.
//
// How the main window, which owns its host, uses it:
//   "MeshViewer" button:       ShowMeshViewer(this, doc, matPathEdit->text(), place);
//   "GL" button:               ShowGlViewer(this, doc, matPathEdit->text(), place);
//                              (`place` puts the new window where it belongs before its
//                              first show: its saved placement, or beside the main window)
//   Texturing tab face click:  SetHighlightedFace(row);
//   after "Apply TexCord":     MeshViewerDrawScene();
//   after every Load:          GlViewerLoadTextures(matPathEdit->text());
//   closing the main window:   save the placement of GlViewerWindow(), HideViewers(); the
//                              viewers themselves go with the main window, before the
//                              document they draw and before the application object.
//
// The viewers never end the program by themselves (no quit-on-close): the main window does.

class QString;
class QWidget;
class TDialogs;
class TMeshDocument;
class TGlViewer;
class TModelViewer;

using TViewerPlacer = std::function<void(QWidget& window)>;

class TViewerHost {
public:
  // Messages of the viewers (no OpenGL, an unreadable picture) go to `dialogs`.
  explicit TViewerHost(TDialogs& dialogs);
  ~TViewerHost();
  TViewerHost(const TViewerHost&) = delete;
  TViewerHost& operator=(const TViewerHost&) = delete;

  // First call: creates the model viewer on `document` with `materialFolder` (a plain prefix
  // of the texture paths, e.g. "./" or "/data/tex/") and shows it. Every call then shows the
  // model (caption with the counts, no highlighted face), fits the zoom to the radius,
  // resets the angles and enables the redraw timer. The viewer is a top-level tool window;
  // `owner` only parents the message shown when there is no OpenGL. `place`, when given,
  // runs once on the new window before it is first shown.
  void ShowMeshViewer(QWidget* owner, TMeshDocument& document, const QString& materialFolder,
                      const TViewerPlacer& place = nullptr);

  // The model viewer (nullptr before the first click).
  TModelViewer* MeshViewer() const { return m_meshView.get(); }
  QWidget* MeshViewerWindow() const;

  // The face drawn with a yellow outline in the model viewer; -1 for none.
  void SetHighlightedFace(int face);

  // Redraws the model viewer's scene at once (after a texture coordinate changed).
  void MeshViewerDrawScene();

  // First call: creates the GL viewer on `document`, runs `place` on it, shows it and loads
  // its textures from `materialFolder`; returns true. Later calls do nothing and return false.
  bool ShowGlViewer(QWidget* owner, TMeshDocument& document, const QString& materialFolder,
                    const TViewerPlacer& place = nullptr);

  // The GL viewer (nullptr before the first click).
  TGlViewer* GlViewer() const { return m_glView.get(); }
  QWidget* GlViewerWindow() const;

  // Makes an existing GL viewer load the textures of the document's materials again (after
  // every Load). A picture that cannot be read is reported through the dialogs.
  void GlViewerLoadTextures(const QString& materialFolder);

  // Hides both viewers and stops the model viewer's redraw timer: the program is ending
  // (their own close is refused, so they cannot be closed).
  void HideViewers();

  // Destroys both viewers (closes the diagnostic log, releases their OpenGL contexts).
  void DestroyViewers();

private:
  TDialogs& m_dialogs;
  std::unique_ptr<TModelViewer> m_meshView;
  std::unique_ptr<TGlViewer> m_glView;
};

// Whether this display can give the viewers an OpenGL context (checked once: the display
// does not change while the program runs). Without one the viewer buttons show a message
// instead of opening a window: an OpenGL window on a platform without OpenGL (Qt's
// offscreen platform, for one) would bring the program down.
bool ViewersHaveOpenGl();
