#pragma once
// The model viewer: the mesh document drawn in 3D with fixed-function OpenGL 1.1, textured
// with the faces' materials, redrawn by a threaded timer so that it can spin.
// This file is the drawing; where the model is seen from is the camera
// (viewers/ViewerCamera.h), and what keys, drags and the wheel do to it is the navigation
// (viewers/ViewerNavigation.h), both without a window of their own.
//
// Lifecycle: created (hidden) by the main window's viewer host (viewers/ViewerHost.h) on the
// first "MeshViewer" click, then shown; it lives as long as the main window and refuses to
// close. Its own OpenGL context is
// the widget's (QOpenGLWidget); GL objects are made in initializeGL and freed in the
// destructor with that context current.
//
// It draws the faces from a display list made from the document's arrays and counts, and
// compares them with the copy the list was made from at every frame, so any edit shows at
// the next frame. Every index taken from a record goes through the document's safe
// accessors, so a corner pointing outside the model is left out instead of read out of
// bounds.
//
// Decisions where the behaviour was open:
//  - Keys A/S/W/Y/C/X move a lasting pan offset by s/10 (0.2, or 0.6 with Ctrl) along -x,
//    +x, +y, -y, +z, -z of the window; it is applied before zoom and rotation, so the
//    model moves on screen in the key's direction whatever its rotation. ResetView with
//    resetAngles (every "MeshViewer" click) clears it.
//  - At most 32 compressed textures: the materials after the 32nd get no slot (their faces
//    keep the texture bound before them) and a message says so once per loading pass. A
//    ".gct" texture whose width × height × 3 exceeds the slot's 202,800 bytes, or whose
//    width or height is not positive, is refused with a message and gets no texture; the
//    stream reader refuses streams longer than the slot. Nothing writes past a slot.
//  - Messages and errors that come up while a frame is drawn are shown once the frame is
//    finished (queued to the window thread), never from inside the paint.
//  - The faces are drawn by material (mesh/FaceBatches.h): with a texture per material each
//    texture is bound once per frame and the faces of one material go in one call, in the
//    order of the material's first face from the last; the faces keep their order within
//    a material. A material without a texture of its own keeps the texture bound before
//    its faces, as a face without one did. Where faces of different materials tie in depth
//    exactly, the material drawn first wins, which can differ from the per-face order.
//  - The batches go into a display list, built again only when the records drawn from, the
//    textures or the per-material binding change (viewers/DrawnMeshCopy.h tells). The timer
//    draws a frame only while a rotate item is checked; otherwise its tick only looks
//    whether the model, face 0's material or the highlighted face changed, and draws one
//    frame if so. Input, menu items and the main window's calls draw at once as before.
//  - The views added to the orthographic one (perspective, the side views of keypad 1, 3
//    and 7) frame the model's bounding box instead of centring its origin; so does
//    switching to perspective while the view still centres the origin.

#include <QOpenGLWidget>
#include <QString>
#include <array>
#include <cstdint>
#include <memory>

#include "util/ThdTimer.h"
#include "viewers/DrawnMeshCopy.h"
#include "viewers/FaceBatchList.h"
#include "viewers/GlTexture.h"
#include "viewers/ViewerCamera.h"
#include "viewers/ViewerNavigation.h"

class QAction;
class QMenu;
class QOpenGLFunctions_1_1;
class TDialogs;
class TMeshDocument;

// The viewer's version number, logged at creation.
constexpr int kModelViewerVersion = 238;
constexpr int kMaxTextureSlots = 32;
constexpr int kTextureSlotBytes = 202800;
constexpr int kModelViewerTimerInterval = 70;

// A monotonic millisecond clock as uint32 (wraps after 49 days; differences stay right).
uint32_t MillisecondClock();

// A material number as its file name digits (MaterialIdText of mesh/Materials.h as a
// QString): 42 -> "00000042", -5 -> "000000-5", 123456789 -> "123456789".
QString MaterialDigits(int32_t material);

// The view state: the camera (viewers/ViewerCamera.h) and the spin's clock.
struct TModelViewerState : TViewerCamera {
  float RotationStep = 0;
  uint32_t LastPaintTime = 0;
};

// One compressed texture.
struct TTextureSlot {
  std::array<uint8_t, kTextureSlotBytes> Pixels{};  // packed R, G, B, rows one after another
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Material = 0;
  uint32_t GlName = 0;
};

class TModelViewer : public QOpenGLWidget {
  Q_OBJECT
public:
  // Messages go to `dialogs`, which must outlive the viewer.
  TModelViewer(TMeshDocument& document, TDialogs& dialogs, const QString& materialFolder,
               QWidget* owner = nullptr);
  ~TModelViewer() override;

  // HighlightedFace := -1; caption with the face and vertex counts.
  void ShowModel();
  // Radius 0 becomes 1.0 (in the document); fitZoom: Zoom := 1 / Radius / 1.1; resetAngles:
  // the angles (and the pan offset) to 0; resets the frame counter; redraws.
  void ResetView(bool fitZoom, bool resetAngles);
  // DrawScene draws the scene into the current frame buffer, the context current (paintGL).
  // DrawSceneNow works from outside a paint too: it makes the context current, draws and
  // schedules a repaint.
  void DrawScene();
  void DrawSceneNow();

  void LoadMaterialTexture(int32_t material);
  void LoadCompressedTextures();
  void SelectFaceTexture(int32_t material);
  // The highest slot index 0..SlotCount-1 serving `material`, or -1.
  int FindTextureSlot(int32_t material) const;
  void ResetFrameCounter();

  // The timer's tick: a full frame, then each checked rotation adds RotationStep.
  void OnFrameTimer();

  TModelViewerState MeshViewState;
  int32_t HighlightedFace = -1;
  bool MultiTexture = false;
  int32_t FrameCount = 0;
  uint32_t CounterStart = 0;
  std::array<uint32_t, kMaxTextureSlots> TextureNames{};
  std::unique_ptr<TGlTexture> PictureTexture;
  int32_t LoadedMaterial = 0;
  QString MaterialFolder;
  std::unique_ptr<std::array<TTextureSlot, kMaxTextureSlots>> TextureSlots;
  uint8_t SlotCount = 0;
  int32_t LastBoundMaterial = 0;

  TThreadedTimer FrameTimer;

  QMenu* ContextMenu = nullptr;
  QAction* ShowOrigin = nullptr;     // "Show &coordinate system origin"
  QAction* WireframeOnly = nullptr;  // "&Wireframe only"
  QAction* MotionBlur = nullptr;     // "Motion &Blur"
  QAction* RotateX = nullptr;
  QAction* RotateY = nullptr;
  QAction* RotateZ = nullptr;
  QAction* ResetItem = nullptr;        // "&Reset"
  QAction* PerspectiveItem = nullptr;  // "&Perspective"

  // Fits the whole model into the window (double-click, "F", Home, keypad ".").
  void FrameModel();
  // Turns the model to show `side` and frames it (keypad 1, 3, 7; with Ctrl the opposite).
  void ShowSide(TViewSide side);
  // The projection; switching to perspective while the origin is centred frames the model.
  void SetPerspective(bool on);
  // The face the Texturing tab selected (-1: none), drawn at once.
  void SetHighlightedFace(int32_t face);
  // True while a rotate item is checked: the timer then draws every tick.
  bool Spinning() const;
  // True when what the next frame would draw differs from the last one drawn.
  bool SceneChanged() const;

  // Whether the context offers the OpenGL 1.1 functions the viewer draws with.
  bool GlReady() const { return m_gl != nullptr; }

protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

private:
  void ResetClick();
  void BindTexture(uint32_t name);
  void Redraw();
  void DrawFace(int32_t face);
  // The faces, from the display list, built again first when they changed.
  void DrawFaces();
  void BuildFaceList();
  // Zoom and pan to the box of the model's vertices (no redraw).
  void FrameBox();
  QString CountsCaption() const;
  // Shows a message or error after the current frame (queued to the window thread).
  void QueueMessage(const QString& text, bool error);

  TMeshDocument& m_document;
  TDialogs& m_dialogs;
  QOpenGLFunctions_1_1* m_gl = nullptr;
  int m_namesGenerated = 0;    // texture names to delete at the next pass
  uint32_t m_pictureName = 0;  // the picture texture's own texture object
  uint32_t m_boundName = 0;    // the texture this viewer bound last
  bool m_inPaint = false;
  bool m_saidMissingTexture = false;           // the missing-texture box was shown in this window
  std::unique_ptr<TFaceBatchList> m_faceList;  // the faces by material, made at the first build
  TDrawnMeshCopy m_listSource;                 // the records m_faceList was built from
  uint64_t m_textureLoads = 0;                 // counts texture loading passes
  uint64_t m_listTextureLoads = 0;             // the pass m_faceList binds the textures of
  bool m_listMultiTexture = false;
  int32_t m_drawnFirstMaterial = 0;               // face 0's material in the last frame
  int32_t m_drawnHighlight = -1;                  // HighlightedFace in the last frame
  TViewerNavigation m_navigation{MeshViewState};  // keys, drags and the wheel
};
