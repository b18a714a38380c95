#include "viewers/ModelViewer.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions_1_1>
#include <QOpenGLVersionFunctionsFactory>
#include <QPointer>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <cmath>

#include "images/PictureFormats.h"
#include "images/TextureSource.h"
#include "mesh/FaceBatches.h"
#include "mesh/Materials.h"
#include "mesh/MeshDocument.h"
#include "util/Log.h"
#include "viewers/Dialogs.h"

uint32_t MillisecondClock() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

QString MaterialDigits(int32_t material) {
  return QString::fromStdString(MaterialIdText(material));
}

namespace {

std::string Text(const QString& s) { return s.toStdString(); }

}  // namespace

TModelViewer::TModelViewer(TMeshDocument& document, TDialogs& dialogs,
                           const QString& materialFolder, QWidget* owner)
    : QOpenGLWidget(owner, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      MaterialFolder(materialFolder),
      TextureSlots(std::make_unique<std::array<TTextureSlot, kMaxTextureSlots>>()),
      // The hand-over queues the tick onto the window thread; the timer itself waits for it.
      // Queued on the application object, so a tick outliving this window finds no receiver
      // problem: the timer drops it.
      FrameTimer([](std::function<void()> call) {
        if (QCoreApplication* app = QCoreApplication::instance()) {
          QMetaObject::invokeMethod(app, std::move(call), Qt::QueuedConnection);
        }
      }),
      m_document(document),
      m_dialogs(dialogs) {
  setObjectName(QStringLiteral("frmMeshView"));
  setWindowTitle(QStringLiteral("Model Viewer"));
  // The main window alone ends the program; a viewer left open must not keep it running.
  setAttribute(Qt::WA_QuitOnClose, false);
  setFormat(GlViewerSurfaceFormat());
  setCursor(Qt::CrossCursor);
  setFocusPolicy(Qt::StrongFocus);
  setGeometry(539, 98, 238, 227);

  FrameCount = 0;
  CounterStart = MillisecondClock();
  LogLine("MV_VERSION: " + std::to_string(kModelViewerVersion));
  // The context itself is made by the widget when it first becomes visible (initializeGL).
  LogLine("Init OpenGL...");

  ContextMenu = new QMenu(this);
  auto checkable = [this](const QString& text) {
    QAction* a = ContextMenu->addAction(text);
    a->setCheckable(true);
    return a;
  };
  ShowOrigin = checkable(QStringLiteral("Show &coordinate system origin"));
  WireframeOnly = checkable(QStringLiteral("&Wireframe only"));
  MotionBlur = ContextMenu->addAction(QStringLiteral("Motion &Blur"));
  ContextMenu->addSeparator();
  RotateX = checkable(QStringLiteral("Rotate &X"));
  RotateY = checkable(QStringLiteral("Rotate &Y"));
  RotateZ = checkable(QStringLiteral("Rotate &Z"));
  ContextMenu->addSeparator();
  ResetItem = ContextMenu->addAction(QStringLiteral("&Reset"));
  ContextMenu->addSeparator();
  PerspectiveItem = checkable(QStringLiteral("&Perspective"));
  PerspectiveItem->setChecked(MeshViewState.Perspective);
  connect(PerspectiveItem, &QAction::toggled, this, [this](bool on) { SetPerspective(on); });

  for (QAction* a : {ShowOrigin, WireframeOnly}) {
    connect(a, &QAction::triggered, this, [this] {
      ResetFrameCounter();
      Redraw();
    });
  }
  for (QAction* a : {RotateX, RotateY, RotateZ}) {
    connect(a, &QAction::triggered, this, [this] {
      FrameTimer.SetEnabled(true);
      ResetFrameCounter();
      Redraw();
    });
  }
  connect(ResetItem, &QAction::triggered, this, [this] { ResetClick(); });

  FrameTimer.SetInterval(kModelViewerTimerInterval);
  FrameTimer.SetThreadPriority(tpHigher);
  FrameTimer.SetOnTimer([this](TThreadedTimer&) { OnFrameTimer(); });
}

TModelViewer::~TModelViewer() {
  FrameTimer.SetOnTimer(nullptr);  // no tick from here on
  CloseLog();
  if (m_gl && context()) {
    makeCurrent();
    if (m_namesGenerated > 0) m_gl->glDeleteTextures(m_namesGenerated, TextureNames.data());
    if (m_pictureName != 0) m_gl->glDeleteTextures(1, &m_pictureName);
    m_faceList.reset();
    PictureTexture.reset();
    doneCurrent();
  }
}

void TModelViewer::initializeGL() {
  m_gl = QOpenGLVersionFunctionsFactory::get<QOpenGLFunctions_1_1>(context());
  if (!m_gl) {
    LogLine("Init OpenGL failed: no OpenGL 1.1 functions");
    return;
  }
  m_gl->glMatrixMode(GL_MODELVIEW);
  m_gl->glLoadIdentity();
  // Black and opaque: the widget's frame is composed into the window with its alpha, so
  // a clear alpha of 0 would let the window background show through instead of black.
  m_gl->glClearColor(0, 0, 0, 1);
  m_gl->glEnable(GL_DEPTH_TEST);
  m_gl->glEnable(GL_CULL_FACE);
  m_gl->glCullFace(GL_BACK);
  // DrawFace sends the corners in reverse: a face whose corners run counter-clockwise in
  // the window (its front, as in Blender: see viewers/ViewerCamera.h) arrives clockwise.
  m_gl->glFrontFace(GL_CW);
  m_gl->glEnable(GL_TEXTURE_2D);
  auto glString = [this](GLenum name) {
    const GLubyte* s = m_gl->glGetString(name);
    return s ? std::string(reinterpret_cast<const char*>(s)) : std::string();
  };
  LogLine("GL_VENDOR: " + glString(GL_VENDOR));
  LogLine("GL_RENDERER: " + glString(GL_RENDERER));
  LogLine("GL_VERSION: " + glString(GL_VERSION));
  LogLine("GL_EXTENSIONS: " + glString(GL_EXTENSIONS));
}

void TModelViewer::resizeGL(int w, int h) {
  if (!m_gl) return;
  const qreal ratio = devicePixelRatioF();
  m_gl->glMatrixMode(GL_PROJECTION);
  m_gl->glLoadIdentity();
  m_gl->glViewport(0, 0, static_cast<GLsizei>(w * ratio), static_cast<GLsizei>(h * ratio));
  m_gl->glMatrixMode(GL_MODELVIEW);
  m_gl->glLoadIdentity();
}

void TModelViewer::paintGL() {
  if (!m_gl) return;
  TModelViewerState& v = MeshViewState;
  const uint32_t now = MillisecondClock();
  const uint32_t dt = now - v.LastPaintTime;
  if (dt != 0) v.RotationStep = static_cast<float>(dt) / 30.0f;
  v.LastPaintTime = now;

  m_inPaint = true;
  m_gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  m_gl->glMatrixMode(GL_PROJECTION);
  m_gl->glLoadMatrixf(v.ProjectionMatrix().data());
  m_gl->glMatrixMode(GL_MODELVIEW);
  m_gl->glLoadMatrixf(v.ModelViewMatrix().data());
  DrawScene();
  m_inPaint = false;
  ++FrameCount;
  // The widget swaps (composes) the frame after paintGL returns.
}

void TModelViewer::DrawSceneNow() {
  if (m_inPaint) {
    DrawScene();
    return;
  }
  if (!m_gl) return;
  makeCurrent();
  DrawScene();
  doneCurrent();
  update();
}

void TModelViewer::DrawScene() {
  if (!m_gl) return;
  QOpenGLFunctions_1_1& gl = *m_gl;
  if (WireframeOnly->isChecked()) {
    gl.glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
    gl.glDisable(GL_TEXTURE_2D);
    gl.glDisable(GL_DEPTH_TEST);
    gl.glDisable(GL_CULL_FACE);
  } else {
    gl.glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    gl.glEnable(GL_TEXTURE_2D);
    gl.glEnable(GL_DEPTH_TEST);
    gl.glEnable(GL_CULL_FACE);
  }

  // The widget's own frame-buffer handling may bind textures between frames; the texture
  // this viewer bound last is what the scene expects to find bound.
  gl.glBindTexture(GL_TEXTURE_2D, m_boundName);

  // Face record 0 exists whatever NumFace says: its material decides the texture.
  const int32_t firstMaterial = m_document.FACE[0].Mat;
  if (firstMaterial != LoadedMaterial) {
    try {
      LoadMaterialTexture(firstMaterial);
    } catch (const std::exception& e) {
      // The pass ends here; LoadedMaterial keeps the new number, so it is not repeated.
      gl.glMatrixMode(GL_MODELVIEW);
      setWindowTitle(CountsCaption());
      QueueMessage(QString::fromStdString(e.what()), true);
    }
  }

  gl.glColor3f(0.7f, 0.7f, 0.7f);
  {
    // VERT has a single writer, on this same window thread (the tool window's rotation
    // steps run here too), so a frame never sees half a step and needs no lock.
    DrawFaces();

    if (ShowOrigin->isChecked()) {
      gl.glDisable(GL_TEXTURE_2D);
      gl.glBegin(GL_LINES);
      gl.glColor3f(1, 1, 1);
      gl.glVertex3f(0, 0, 0);
      gl.glVertex3f(10000, 0, 0);
      gl.glVertex3f(0, 0, 0);
      gl.glVertex3f(0, 10000, 0);
      gl.glVertex3f(0, 0, 0);
      gl.glVertex3f(0, 0, 10000);
      gl.glEnd();
      gl.glEnable(GL_TEXTURE_2D);
    }

    if (HighlightedFace >= 0 && m_document.FaceAt(HighlightedFace)) {
      gl.glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
      gl.glDisable(GL_TEXTURE_2D);
      gl.glEnable(GL_DEPTH_TEST);
      gl.glEnable(GL_CULL_FACE);
      gl.glColor3f(1, 1, 0);
      DrawFace(HighlightedFace);
    }
  }

  m_drawnFirstMaterial = firstMaterial;
  m_drawnHighlight = HighlightedFace;
  // A still model is drawn only when something changed: a rate of those frames says
  // nothing (it read "0.0 fps"), so the rate is shown only while the timer spins the model.
  if (!Spinning()) {
    setWindowTitle(CountsCaption());
    return;
  }
  const uint32_t elapsed = MillisecondClock() - CounterStart;
  const double fps = FrameCount / (elapsed / 1000.0);
  setWindowTitle(CountsCaption() + QStringLiteral(" - ") + QString::number(fps, 'f', 1) +
                 QStringLiteral(" fps"));
}

void TModelViewer::DrawFaces() {
  const bool current = m_faceList && m_faceList->Compiled() &&
                       m_listTextureLoads == m_textureLoads && m_listMultiTexture == MultiTexture &&
                       m_listSource.Matches(m_document);
  if (!current) BuildFaceList();
  if (WireframeOnly->isChecked())
    m_faceList->DrawOutlines();
  else
    m_faceList->Draw();
}

void TModelViewer::BuildFaceList() {
  if (!m_faceList) m_faceList = std::make_unique<TFaceBatchList>(m_gl);
  m_listSource.Take(m_document);
  m_listTextureLoads = m_textureLoads;
  m_listMultiTexture = MultiTexture;
  // One texture for every face (a picture, a single slot): the faces in one batch.
  const TFaceBatches batches = BuildFaceBatches(m_document, TFaceOrder::Descending, MultiTexture);
  bool first = true;
  m_faceList->Compile(batches, [&](const TFaceBatch& batch) {
    if (!MultiTexture) return;
    // The list starts from whatever the previous frame left bound, so its first batch
    // binds its own texture whatever this build started from.
    if (first) LastBoundMaterial = ~batch.Material;
    first = false;
    SelectFaceTexture(batch.Material);
  });
}

void TModelViewer::DrawFace(int32_t face) {
  QOpenGLFunctions_1_1& gl = *m_gl;
  const TFaceRecord& f = m_document.FACE[face];
  gl.glBegin(GL_POLYGON);
  if (const TPoint3* n = m_document.VtnmAt(f.Vtnm)) gl.glNormal3f(n->x, n->y, n->z);
  const TCornerRange corners = m_document.FaceCorners(f);
  for (int32_t k = corners.Count - 1; k >= 0; --k) {
    const TFvrtRecord& r = m_document.FVRT[corners.First + k];
    gl.glTexCoord2f(r.Tx, r.Ty);
    if (const TPoint3* p = m_document.VertAt(r.Vert)) gl.glVertex3f(p->x, p->y, p->z);
  }
  gl.glEnd();
}

QString TModelViewer::CountsCaption() const {
  return QStringLiteral("Model Viewer: %1 faces, %2 vertices")
      .arg(m_document.NumFace)
      .arg(m_document.NumVert);
}

void TModelViewer::ShowModel() {
  HighlightedFace = -1;
  setWindowTitle(CountsCaption());
}

void TModelViewer::ResetView(bool fitZoom, bool resetAngles) {
  TModelViewerState& v = MeshViewState;
  if (m_document.Radius == 0) m_document.Radius = 1.0f;
  if (fitZoom) v.Zoom = 1.0f / m_document.Radius / 1.1f;
  if (resetAngles) {
    v.AngleX = v.AngleY = v.AngleZ = 0;
    v.PanX = v.PanY = v.PanZ = 0;
  }
  if (fitZoom && v.Perspective) FrameBox();
  ResetFrameCounter();
  Redraw();
}

void TModelViewer::ResetFrameCounter() {
  FrameCount = 0;
  const uint32_t now = MillisecondClock();
  MeshViewState.LastPaintTime = now;
  CounterStart = now - 1;
}

void TModelViewer::Redraw() {
  // From inside a frame a redraw can only be scheduled; elsewhere it happens at once.
  if (m_inPaint || !isVisible())
    update();
  else
    repaint();
}

void TModelViewer::ResetClick() {
  RotateX->setChecked(false);
  RotateY->setChecked(false);
  RotateZ->setChecked(false);
  FrameTimer.SetEnabled(true);
  ResetFrameCounter();
  Redraw();
}

bool TModelViewer::Spinning() const {
  return RotateX->isChecked() || RotateY->isChecked() || RotateZ->isChecked();
}

bool TModelViewer::SceneChanged() const {
  return m_document.FACE[0].Mat != m_drawnFirstMaterial || HighlightedFace != m_drawnHighlight ||
         !m_listSource.Matches(m_document);
}

void TModelViewer::OnFrameTimer() {
  const bool spinning = Spinning();
  if (!spinning) {
    // Nothing moves: a frame only when the model changed under the viewer.
    if (isVisible() && SceneChanged()) Redraw();
    return;
  }
  Redraw();
  TModelViewerState& v = MeshViewState;
  if (RotateX->isChecked()) v.AngleX += v.RotationStep;
  if (RotateY->isChecked()) v.AngleY += v.RotationStep;
  if (RotateZ->isChecked()) v.AngleZ += v.RotationStep;
}

void TModelViewer::LoadMaterialTexture(int32_t material) {
  ++m_textureLoads;
  MultiTexture = false;
  if (WireframeOnly->isChecked()) return;
  const QString caption = windowTitle();
  setWindowTitle(QStringLiteral("Loading texture..."));
  LoadedMaterial = material;
  const std::string found =
      FindMaterialTexture(Text(MaterialFolder), material, kModelViewerTextureExtensions);
  const bool picture = PictureExtension(found) != "gct";
  if (picture) SlotCount = 0;
  if (!found.empty()) {
    const QString path = QString::fromStdString(found);
    if (picture) {
      LogLine("Loading BMP texture " + found + "...");
      // The picture gets a texture object of its own rather than whatever is bound (the
      // default texture, or a compressed slot's): one the viewer can free, and no slot
      // overwritten behind its back.
      if (m_pictureName == 0) m_gl->glGenTextures(1, &m_pictureName);
      BindTexture(m_pictureName);
      if (!PictureTexture) PictureTexture = std::make_unique<TGlTexture>(m_gl);
      PictureTexture->LoadPicture(path);
      PictureTexture->Upload();
    } else {
      LoadCompressedTextures();
    }
    m_gl->glMatrixMode(GL_TEXTURE);
    m_gl->glLoadIdentity();
    m_gl->glRotatef(90, 0, 0, 1);
  } else {
    const QString path =
        QString::fromStdString(MaterialFileName(Text(MaterialFolder), material, ".bmp"));
    // Said once a window: every import or material change with the viewer open would
    // otherwise bring the same box up again; later misses go to the log.
    if (!m_saidMissingTexture)
      QueueMessage(path + QStringLiteral(" not found. Switching to wireframe..."), false);
    else
      LogLine(path.toStdString() + " not found. Switching to wireframe...");
    m_saidMissingTexture = true;
    WireframeOnly->setChecked(true);
    ResetFrameCounter();
    Redraw();
    DisableTexturing(m_gl);
  }
  m_gl->glMatrixMode(GL_MODELVIEW);
  setWindowTitle(caption);
}

int TModelViewer::FindTextureSlot(int32_t material) const {
  for (int s = SlotCount - 1; s >= 0; --s) {
    if ((*TextureSlots)[static_cast<size_t>(s)].Material == material) return s;
  }
  return -1;
}

void TModelViewer::SelectFaceTexture(int32_t material) {
  if (material == LastBoundMaterial) return;
  const int s = FindTextureSlot(material);
  if (s >= 0) BindTexture((*TextureSlots)[static_cast<size_t>(s)].GlName);
  LastBoundMaterial = material;
}

void TModelViewer::LoadCompressedTextures() {
  ++m_textureLoads;
  QOpenGLFunctions_1_1& gl = *m_gl;
  auto& textureSlots = *TextureSlots;
  // Every name made earlier goes, also those a picture pass left behind by zeroing SlotCount.
  if (m_namesGenerated > 0) gl.glDeleteTextures(m_namesGenerated, TextureNames.data());
  m_namesGenerated = 0;
  if (m_boundName != m_pictureName) m_boundName = 0;  // it was one of those just deleted
  SlotCount = 0;

  setWindowTitle(QStringLiteral("Looking for textures..."));
  LogLine("Looking for textures...");
  textureSlots[0].Material = m_document.FACE[0].Mat;
  SlotCount = 1;
  bool tooMany = false;
  const int32_t numFace = std::clamp<int32_t>(m_document.NumFace, 0, MeshCapacity);
  for (int32_t i = 0; i < numFace; ++i) {
    const int32_t mat = m_document.FACE[i].Mat;
    if (FindTextureSlot(mat) >= 0) continue;
    if (SlotCount == kMaxTextureSlots) {
      tooMany = true;
      continue;
    }
    textureSlots[SlotCount].Material = mat;
    ++SlotCount;
  }
  if (tooMany) {
    QueueMessage(QStringLiteral("LoadCompressedTextures: the model uses more than %1 materials; "
                                "only the first %1 get textures.")
                     .arg(kMaxTextureSlots),
                 false);
  }
  MultiTexture = SlotCount > 1;
  gl.glGenTextures(SlotCount, TextureNames.data());
  m_namesGenerated = SlotCount;
  setWindowTitle(QStringLiteral("Loading textures..."));
  LogLine("Loading textures...");

  for (int s = 0; s < SlotCount; ++s) {
    TTextureSlot& slot = textureSlots[static_cast<size_t>(s)];
    const std::string path = MaterialFileName(Text(MaterialFolder), slot.Material, ".gct");
    LogLine(path + "...");
    if (FindMaterialTexture(Text(MaterialFolder), slot.Material, kCompressedTextureExtensions)
            .empty())
      continue;
    const TGctTextureRead read =
        ReadGctTexture(path, slot.Pixels.data(), kTextureSlotBytes, [&](const std::string& text) {
          LogLine(text);
          QueueMessage(QString::fromStdString(text), false);
        });
    slot.Width = read.Header.Width;
    slot.Height = read.Header.Height;
    if (!read.Read) continue;
    BindTexture(TextureNames[static_cast<size_t>(s)]);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    gl.glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    gl.glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    // Rows are packed without padding; the default alignment of 4 would read past the slot
    // for widths whose rows are not a multiple of 4 bytes.
    gl.glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gl.glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, slot.Width, slot.Height, 0, GL_RGB, GL_UNSIGNED_BYTE,
                    slot.Pixels.data());
    slot.GlName = TextureNames[static_cast<size_t>(s)];
    // The texture bound now is the one bound last; per-face binding starts from it.
    LastBoundMaterial = slot.Material;
  }
  gl.glEnable(GL_TEXTURE_2D);
}

void TModelViewer::BindTexture(uint32_t name) {
  m_gl->glBindTexture(GL_TEXTURE_2D, name);
  m_boundName = name;
}

void TModelViewer::QueueMessage(const QString& text, bool error) {
  QPointer<TModelViewer> self(this);
  QMetaObject::invokeMethod(
      this,
      [self, text, error] {
        if (!self) return;  // the viewer went, and the dialogs it was given may have too
        if (error)
          self->m_dialogs.ShowError(self, text);
        else
          self->m_dialogs.ShowMessage(self, text);
      },
      Qt::QueuedConnection);
}

void TModelViewer::keyPressEvent(QKeyEvent* event) {
  const TKeyOutcome outcome = m_navigation.Key(event->key(), event->modifiers());
  switch (outcome.Request) {
    case TNavigationRequest::None:
      break;
    case TNavigationRequest::FrameModel:
      FrameModel();
      break;
    case TNavigationRequest::ShowSide:
      ShowSide(outcome.Side);
      break;
    case TNavigationRequest::TogglePerspective:
      PerspectiveItem->toggle();
      break;
    case TNavigationRequest::Reset: {
      ResetClick();
      TModelViewerState& v = MeshViewState;
      v.AngleX = v.AngleY = v.AngleZ = 0;
      break;
    }
  }
  Redraw();
}

void TModelViewer::FrameModel() {
  FrameBox();
  Redraw();
}

void TModelViewer::ShowSide(TViewSide side) {
  MeshViewState.LookFrom(side);
  FrameModel();
}

void TModelViewer::SetPerspective(bool on) {
  if (MeshViewState.Perspective == on) return;
  MeshViewState.Perspective = on;
  if (PerspectiveItem->isChecked() != on) PerspectiveItem->setChecked(on);
  // The starting view centres the origin, which leaves a model built up from it in the upper
  // half; a view the user has moved stays where it is.
  if (on && MeshViewState.CentresOrigin()) FrameBox();
  Redraw();
}

void TModelViewer::SetHighlightedFace(int32_t face) {
  if (face == HighlightedFace) return;
  HighlightedFace = face;
  if (isVisible()) update();
}

void TModelViewer::FrameBox() {
  float lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  bool any = false;
  {
    std::lock_guard<std::mutex> lock(m_document.VertLock);
    for (int32_t i = 0; i < m_document.NumVert; ++i) {
      const TPoint3& p = m_document.VERT[static_cast<size_t>(i)];
      const float c[3] = {p.x, p.y, p.z};
      if (!std::isfinite(c[0]) || !std::isfinite(c[1]) || !std::isfinite(c[2])) continue;
      for (int k = 0; k < 3; ++k) {
        lo[k] = any ? std::min(lo[k], c[k]) : c[k];
        hi[k] = any ? std::max(hi[k], c[k]) : c[k];
      }
      any = true;
    }
  }
  MeshViewState.Frame(lo, hi);
}

void TModelViewer::mousePressEvent(QMouseEvent* event) {
  m_navigation.Press(event->button(), event->modifiers(), event->position().toPoint());
}

void TModelViewer::mouseMoveEvent(QMouseEvent* event) {
  if (m_navigation.Move(event->position().toPoint(), width(), height())) Redraw();
}

void TModelViewer::mouseReleaseEvent(QMouseEvent* event) {
  const bool menu = m_navigation.Release(event->button(), event->position().toPoint(),
                                         QApplication::startDragDistance());
  Redraw();
  if (menu) ContextMenu->exec(event->globalPosition().toPoint());
}

void TModelViewer::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) FrameModel();
}

void TModelViewer::wheelEvent(QWheelEvent* event) {
  m_navigation.Wheel(event->angleDelta().y());
  Redraw();
  event->accept();
}

void TModelViewer::closeEvent(QCloseEvent* event) { event->ignore(); }

void TModelViewer::showEvent(QShowEvent* event) {
  QOpenGLWidget::showEvent(event);
  ResetClick();
}

void TModelViewer::contextMenuEvent(QContextMenuEvent* event) {
  // The mouse's right button pans; its menu opens on release (mouseReleaseEvent).
  if (event->reason() != QContextMenuEvent::Mouse) ContextMenu->exec(event->globalPos());
}
