#include "viewers/GlViewer.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QOpenGLFunctions_1_1>
#include <QOpenGLVersionFunctionsFactory>
#include <QSet>
#include <algorithm>

#include "images/TextureSource.h"
#include "mesh/FaceBatches.h"
#include "mesh/Materials.h"
#include "mesh/MeshDocument.h"
#include "viewers/Dialogs.h"
#include "viewers/ModelViewer.h"

TGlViewer::TGlViewer(TMeshDocument& document, TDialogs& dialogs, QWidget* owner)
    : QOpenGLWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint),
      m_document(document),
      m_dialogs(dialogs) {
  // Its placement section in the settings file is named after it.
  setObjectName(QStringLiteral("frmGlView"));
  setWindowTitle(QStringLiteral("GlView"));
  setAttribute(Qt::WA_QuitOnClose, false);
  setFormat(GlViewerSurfaceFormat());
  setFocusPolicy(Qt::StrongFocus);
  setGeometry(200, 203, 166, 205);
  FrameTimer.setInterval(kGlViewTimerInterval);
  connect(&FrameTimer, &QTimer::timeout, this, [this] { OnFrameTimer(); });
  FrameTimer.start();
}

TGlViewer::~TGlViewer() {
  FrameTimer.stop();
  if (m_gl && context()) {
    makeCurrent();
    for (TPictureSlot& slot : PictureSlots) slot.Texture.reset();
    Light.reset();
    m_faceList.reset();
    m_gl->glDeleteTextures(kGlViewPictureSlots, m_slotNames.data());
    doneCurrent();
  }
}

void TGlViewer::initializeGL() {
  m_gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_1_1>(context());
  if (!m_gl) return;
  // Each entry's picture goes into a texture object of its own, uploaded once; the wrap and
  // filter settings each entry makes at its creation are that object's.
  m_gl->glGenTextures(kGlViewPictureSlots, m_slotNames.data());
  for (size_t s = 0; s < PictureSlots.size(); ++s) {
    m_gl->glBindTexture(GL_TEXTURE_2D, m_slotNames[s]);
    PictureSlots[s].Texture = std::make_unique<TGlTexture>(m_gl);
  }
  m_boundName = m_slotNames[0];
  QOpenGLFunctions_1_1& gl = *m_gl;
  gl.glMatrixMode(GL_MODELVIEW);
  gl.glLoadIdentity();
  // Black and opaque: the widget's frame is composed into the window with its alpha, so
  // a clear alpha of 0 would let the window background show through instead of black.
  gl.glClearColor(0, 0, 0, 1);
  gl.glEnable(GL_DEPTH_TEST);
  gl.glEnable(GL_CULL_FACE);
  gl.glEnable(GL_AUTO_NORMAL);
  gl.glEnable(GL_NORMALIZE);
  gl.glCullFace(GL_BACK);
  gl.glShadeModel(GL_SMOOTH);
  gl.glEnable(GL_TEXTURE_2D);
  Light = std::make_unique<TGlLight>(m_gl, GL_LIGHT0);
  Light->SetPosition({1, 1, 3, 1});
  Light->Enable();
  if (m_loadPending) {
    // Loading shows messages: not from inside the context's set-up.
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (!m_loadPending) return;
          m_loadPending = false;
          try {
            LoadTextures(m_pendingFolder);
          } catch (const std::exception& e) {
            m_dialogs.ShowError(this, QString::fromStdString(e.what()));
          }
        },
        Qt::QueuedConnection);
  }
}

void TGlViewer::resizeGL(int w, int h) {
  if (!m_gl) return;
  const qreal ratio = devicePixelRatioF();
  m_gl->glMatrixMode(GL_PROJECTION);
  m_gl->glLoadIdentity();
  m_gl->glViewport(0, 0, static_cast<GLsizei>(w * ratio), static_cast<GLsizei>(h * ratio));
}

int TGlViewer::FindPictureSlot(const QString& name) const {
  for (int s = PictureCount - 1; s >= 0; --s) {
    if (PictureSlots[static_cast<size_t>(s)].SlotName == name) return s;
  }
  return -1;
}

void TGlViewer::LoadTextures(const QString& materialFolder) {
  if (!m_gl) {
    m_loadPending = true;
    m_pendingFolder = materialFolder;
    return;
  }
  makeCurrent();
  try {
    LoadTexturesNow(materialFolder);
  } catch (...) {
    doneCurrent();
    throw;
  }
  doneCurrent();
}

void TGlViewer::LoadTexturesNow(const QString& materialFolder) {
  QOpenGLFunctions_1_1& gl = *m_gl;
  bool reportedFull = false;
  // A missing picture is said once per material, not once per face that uses it.
  QSet<int32_t> missing;
  const int32_t numFace = std::clamp<int32_t>(m_document.NumFace, 0, MeshCapacity);
  for (int32_t i = 0; i < numFace; ++i) {
    const int32_t mat = m_document.FACE[i].Mat;
    if (mat > kGlViewMaxPictureMaterial) continue;
    const QString name = QString::number(mat);
    if (FindPictureSlot(name) >= 0 || missing.contains(mat)) continue;
    const std::string found =
        FindMaterialTexture(materialFolder.toStdString(), mat, kPictureTextureExtensions);
    const QString path =
        QString::fromStdString(MaterialFileName(materialFolder.toStdString(), mat, ".bmp"));
    if (found.empty()) {
      missing.insert(mat);
      m_dialogs.ShowMessage(this, path + QStringLiteral(" not found. Cannot display textures!"));
      continue;
    }
    if (PictureCount == kGlViewPictureSlots) {
      if (!reportedFull) {
        m_dialogs.ShowMessage(this,
                              QStringLiteral("GlView: no room for the picture of material %1; "
                                             "at most %2 pictures are shown.")
                                  .arg(mat)
                                  .arg(kGlViewPictureSlots));
        reportedFull = true;
      }
      continue;
    }
    TPictureSlot& slot = PictureSlots[PictureCount];
    slot.Texture->LoadPicture(path);
    // The one upload of this picture: the entry keeps it until the window goes.
    gl.glBindTexture(GL_TEXTURE_2D, m_slotNames[PictureCount]);
    slot.Texture->Upload();
    m_boundName = m_slotNames[PictureCount];
    slot.SlotName = name;
    gl.glMatrixMode(GL_TEXTURE);
    gl.glLoadIdentity();
    gl.glRotatef(90, 0, 0, 1);
    gl.glMatrixMode(GL_MODELVIEW);
    gl.glLoadIdentity();
    ++PictureCount;
  }
}

void TGlViewer::paintGL() {
  if (!m_gl) return;
  QOpenGLFunctions_1_1& gl = *m_gl;
  gl.glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  const bool current = m_faceList && m_faceList->Compiled() && m_listPictureCount == PictureCount &&
                       m_listSource.Matches(m_document);
  if (!current) BuildFaceList();
  // The widget's frame-buffer handling may have bound another texture since the last frame;
  // a first material without a picture gets the texture the list leaves bound at its end.
  gl.glBindTexture(GL_TEXTURE_2D, m_boundName);
  m_faceList->Draw();
  gl.glFlush();
}

void TGlViewer::BuildFaceList() {
  if (!m_faceList) m_faceList = std::make_unique<TFaceBatchList>(m_gl);
  m_listSource.Take(m_document);
  m_listPictureCount = PictureCount;
  const TFaceBatches batches = BuildFaceBatches(m_document, TFaceOrder::Ascending, true);
  m_faceList->Compile(batches, [this](const TFaceBatch& batch) {
    const int s = FindPictureSlot(QString::number(batch.Material));
    if (s < 0) return;
    m_boundName = m_slotNames[static_cast<size_t>(s)];
    m_gl->glBindTexture(GL_TEXTURE_2D, m_boundName);
  });
}

void TGlViewer::OnFrameTimer() {
  if (m_gl) {
    makeCurrent();
    m_gl->glRotatef(1, 1, 1, 1);
    doneCurrent();
  }
  update();
}

void TGlViewer::keyPressEvent(QKeyEvent* event) {
  const QString text = event->text();
  if (!m_gl || text.isEmpty()) return;
  const QChar c = text.at(0);
  if (c == QLatin1Char('r')) {
    if (FrameTimer.isActive())
      FrameTimer.stop();
    else
      FrameTimer.start();
    return;
  }
  if (c != QLatin1Char('+') && c != QLatin1Char('-')) return;
  const float f = c == QLatin1Char('+') ? 1.2f : 0.8f;
  makeCurrent();
  m_gl->glScalef(f, f, f);
  doneCurrent();
}

void TGlViewer::closeEvent(QCloseEvent* event) { event->ignore(); }
