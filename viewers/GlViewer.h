#pragma once
// The GL viewer: a second, simpler OpenGL window that draws the mesh document textured with
// ".bmp" pictures by material and tumbles it slowly. Its transform is never rebuilt: the
// timer's rotation and the "+"/"-" scaling accumulate in the current OpenGL matrix.
//
// Lifecycle: created by the main window's viewer host (viewers/ViewerHost.h) on the first
// "GL" click, textures loaded, shown; it lives as long as the main window and refuses to
// close. Every Load makes it load textures again.
//
// Decisions where the behaviour was open:
//  - At most 8 pictured materials: further materials get no entry (their faces draw with
//    the texture uploaded before them); one message per LoadTextures names the first one
//    left out.
//  - LoadTextures before the window's context exists (the window not yet shown) is carried
//    out as soon as the context has been made.
//  - Each picture entry has a texture object of its own, uploaded once when its picture is
//    loaded (entries never change after that), instead of one texture uploaded again
//    whenever consecutive faces differ in picture. A frame binds each material's texture
//    once and draws the faces of one material in one call (mesh/FaceBatches.h), from a
//    display list built again only when the records or the entries change. Faces keep
//    their order within a material; a material without a picture keeps the texture bound
//    before its faces, as a face without one did.

#include <QOpenGLWidget>
#include <QString>
#include <QTimer>
#include <array>
#include <cstdint>
#include <memory>

#include "viewers/DrawnMeshCopy.h"
#include "viewers/FaceBatchList.h"
#include "viewers/GlLight.h"
#include "viewers/GlTexture.h"

class QOpenGLFunctions_1_1;
class TDialogs;
class TMeshDocument;

constexpr int kGlViewPictureSlots = 8;
constexpr int kGlViewTimerInterval = 45;
// Materials above this number have no pictures.
constexpr int32_t kGlViewMaxPictureMaterial = 1000000;

class TGlViewer : public QOpenGLWidget {
  Q_OBJECT
public:
  // Messages go to `dialogs`, which must outlive the viewer.
  TGlViewer(TMeshDocument& document, TDialogs& dialogs, QWidget* owner = nullptr);
  ~TGlViewer() override;

  // Loads a picture for every new material of the document's faces from
  // `materialFolder` + 8 digits + ".bmp". A missing picture is reported once per face that
  // needs it; a picture that cannot be read raises EGlTexture (the pass stops there).
  void LoadTextures(const QString& materialFolder);
  // The highest entry 0..PictureCount-1 whose SlotName equals `name`, or -1.
  int FindPictureSlot(const QString& name) const;
  // The timer's tick: rotates the current matrix by 1 degree about (1, 1, 1), repaints.
  void OnFrameTimer();

  struct TPictureSlot {
    std::unique_ptr<TGlTexture> Texture;
    QString SlotName;
  };

  QTimer FrameTimer;
  std::array<TPictureSlot, kGlViewPictureSlots> PictureSlots;
  uint8_t PictureCount = 0;
  std::unique_ptr<TGlLight> Light;

  bool GlReady() const { return m_gl != nullptr; }

protected:
  void initializeGL() override;
  void resizeGL(int w, int h) override;
  void paintGL() override;
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

private:
  void LoadTexturesNow(const QString& materialFolder);
  void BuildFaceList();

  TMeshDocument& m_document;
  TDialogs& m_dialogs;
  QOpenGLFunctions_1_1* m_gl = nullptr;
  std::array<uint32_t, kGlViewPictureSlots> m_slotNames{};  // each entry's texture object
  uint32_t m_boundName = 0;                    // the texture the face list leaves bound
  std::unique_ptr<TFaceBatchList> m_faceList;  // the faces by material
  TDrawnMeshCopy m_listSource;                 // the records m_faceList was built from
  int m_listPictureCount = -1;                 // PictureCount when m_faceList was built
  bool m_loadPending = false;
  QString m_pendingFolder;
};
