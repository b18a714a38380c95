#include "viewers/MeshView.h"

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

constexpr float kDegreesPerPixel = 0.5f;
constexpr float kPi = 3.14159265358979f;

// R * p for R = Rx(ax) * Ry(ay) * Rz(az), angles in degrees (glRotatef's order).
void Rotate(const TMeshViewState& v, const float p[3], float out[3]) {
  const float cx = std::cos(v.AngleX * kPi / 180), sx = std::sin(v.AngleX * kPi / 180);
  const float cy = std::cos(v.AngleY * kPi / 180), sy = std::sin(v.AngleY * kPi / 180);
  const float cz = std::cos(v.AngleZ * kPi / 180), sz = std::sin(v.AngleZ * kPi / 180);
  // Rz first, then Ry, then Rx.
  const float x1 = cz * p[0] - sz * p[1], y1 = sz * p[0] + cz * p[1], z1 = p[2];
  const float x2 = cy * x1 + sy * z1, y2 = y1, z2 = -sy * x1 + cy * z1;
  out[0] = x2;
  out[1] = cx * y2 - sx * z2;
  out[2] = sx * y2 + cx * z2;
}

}  // namespace

void OrbitView(TMeshViewState& v, int dx, int dy) {
  v.AngleY += static_cast<float>(dx) * kDegreesPerPixel;
  v.AngleX += static_cast<float>(dy) * kDegreesPerPixel;
}

void PanView(TMeshViewState& v, int dx, int dy, int w, int h) {
  if (w <= 0 || h <= 0) return;
  v.PanX += 2.0f * static_cast<float>(dx) / static_cast<float>(w);
  v.PanY -= 2.0f * static_cast<float>(dy) / static_cast<float>(h);
}

void ZoomView(TMeshViewState& v, int wheelDelta) {
  const float factor = std::pow(1.1f, static_cast<float>(wheelDelta) / 120.0f);
  // Zooming about the frame centre keeps the model's centre where it is on screen.
  v.Zoom *= factor;
  v.PanX *= factor;
  v.PanY *= factor;
}

void FrameView(TMeshViewState& v, const float lo[3], const float hi[3]) {
  const float centre[3] = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
  const float half =
      std::sqrt((hi[0] - lo[0]) * (hi[0] - lo[0]) + (hi[1] - lo[1]) * (hi[1] - lo[1]) +
                (hi[2] - lo[2]) * (hi[2] - lo[2])) /
      2;
  v.Zoom = half > 0 && std::isfinite(half) ? 1.0f / half / 1.1f : 1.0f;
  float r[3];
  Rotate(v, centre, r);
  v.PanX = -v.Zoom * r[0];
  v.PanY = -v.Zoom * r[1];
  v.PanZ = -v.Zoom * r[2];
}

TfrmMeshView::TfrmMeshView(TMeshDocument& document, TDialogs& dialogs,
                           const QString& materialFolder, QWidget* owner)
    : QOpenGLWidget(owner, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                               Qt::WindowTitleHint),
      MaterialFolder(materialFolder),
      TextureSlots(std::make_unique<std::array<TTextureSlot, kMaxTextureSlots>>()),
      // The hand-over queues the tick onto the window thread; the timer itself waits for it.
      // Queued on the application object, so a tick outliving this window finds no receiver
      // problem: the timer drops it.
      Timer1([](std::function<void()> call) {
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
  LogLine("MV_VERSION: " + std::to_string(kMeshViewVersion));
  // The context itself is made by the widget when it first becomes visible (initializeGL).
  LogLine("Init OpenGL...");

  PopupMenu1 = new QMenu(this);
  auto checkable = [this](const QString& text) {
    QAction* a = PopupMenu1->addAction(text);
    a->setCheckable(true);
    return a;
  };
  ShowOrigin = checkable(QStringLiteral("Show &coordinate system origin"));
  WireframeOnly = checkable(QStringLiteral("&Wireframe only"));
  MotionBlur = PopupMenu1->addAction(QStringLiteral("Motion &Blur"));
  PopupMenu1->addSeparator();
  RotateX = checkable(QStringLiteral("Rotate &X"));
  RotateY = checkable(QStringLiteral("Rotate &Y"));
  RotateZ = checkable(QStringLiteral("Rotate &Z"));
  PopupMenu1->addSeparator();
  ResetItem = PopupMenu1->addAction(QStringLiteral("&Reset"));
  PopupMenu1->addSeparator();
  PerspectiveItem = checkable(QStringLiteral("&Perspective"));
  PerspectiveItem->setChecked(MeshViewState.Perspective);
  connect(PerspectiveItem, &QAction::toggled, this, [this](bool on) {
    MeshViewState.Perspective = on;
    Redraw();
  });

  for (QAction* a : {ShowOrigin, WireframeOnly}) {
    connect(a, &QAction::triggered, this, [this] {
      ResetFrameCounter();
      Redraw();
    });
  }
  for (QAction* a : {RotateX, RotateY, RotateZ}) {
    connect(a, &QAction::triggered, this, [this] {
      Timer1.SetEnabled(true);
      ResetFrameCounter();
      Redraw();
    });
  }
  connect(ResetItem, &QAction::triggered, this, [this] { ResetClick(); });

  Timer1.SetInterval(kMeshViewTimerInterval);
  Timer1.SetThreadPriority(tpHigher);
  Timer1.SetOnTimer([this](TThreadedTimer&) { Timer1Timer(); });
}

TfrmMeshView::~TfrmMeshView() {
  Timer1.SetOnTimer(nullptr);  // no tick from here on
  CloseLog();
  if (m_gl && context()) {
    makeCurrent();
    if (m_namesGenerated > 0) m_gl->glDeleteTextures(m_namesGenerated, TextureNames.data());
    if (m_pictureName != 0) m_gl->glDeleteTextures(1, &m_pictureName);
    PictureTexture.reset();
    doneCurrent();
  }
}

void TfrmMeshView::initializeGL() {
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

void TfrmMeshView::resizeGL(int w, int h) {
  if (!m_gl) return;
  const qreal ratio = devicePixelRatioF();
  m_gl->glMatrixMode(GL_PROJECTION);
  m_gl->glLoadIdentity();
  m_gl->glViewport(0, 0, static_cast<GLsizei>(w * ratio), static_cast<GLsizei>(h * ratio));
  m_gl->glMatrixMode(GL_MODELVIEW);
  m_gl->glLoadIdentity();
}

void TfrmMeshView::paintGL() {
  if (!m_gl) return;
  TMeshViewState& v = MeshViewState;
  const uint32_t now = MillisecondClock();
  const uint32_t dt = now - v.LastPaintTime;
  if (dt != 0) v.RotationStep = static_cast<float>(dt) / 30.0f;
  v.LastPaintTime = now;

  m_inPaint = true;
  m_gl->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  m_gl->glMatrixMode(GL_PROJECTION);
  m_gl->glLoadIdentity();
  // Perspective: the frame's unit cube seen from 4 units away through a frustum whose
  // cross-section there is the same -1..1, so switching keeps the model's size.
  if (v.Perspective) m_gl->glFrustum(-0.5, 0.5, -0.5, 0.5, 2.0, 6.0);
  m_gl->glMatrixMode(GL_MODELVIEW);
  m_gl->glLoadIdentity();
  if (v.Perspective) m_gl->glTranslatef(0, 0, -4);
  m_gl->glTranslatef(v.PanX, v.PanY, v.PanZ);
  m_gl->glScalef(v.Zoom, v.Zoom, v.Zoom);
  m_gl->glRotatef(v.AngleX, 1, 0, 0);
  m_gl->glRotatef(v.AngleY, 0, 1, 0);
  m_gl->glRotatef(v.AngleZ, 0, 0, 1);
  DrawScene();
  m_inPaint = false;
  ++FrameCount;
  // The widget swaps (composes) the frame after paintGL returns.
}

void TfrmMeshView::DrawSceneNow() {
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

void TfrmMeshView::DrawScene() {
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
    const int32_t numFace = std::clamp<int32_t>(m_document.NumFace, 0, MeshCapacity);
    for (int32_t i = numFace - 1; i >= 0; --i) {
      if (MultiTexture) SelectFaceTexture(m_document.FACE[i].Mat);
      DrawFace(i);
    }

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

  const uint32_t elapsed = MillisecondClock() - CounterStart;
  const double fps = FrameCount / (elapsed / 1000.0);
  setWindowTitle(CountsCaption() + QStringLiteral(" - ") + QString::number(fps, 'f', 1) +
                 QStringLiteral(" fps"));
}

void TfrmMeshView::DrawFace(int32_t face) {
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

QString TfrmMeshView::CountsCaption() const {
  return QStringLiteral("Model Viewer: %1 faces, %2 vertices")
      .arg(m_document.NumFace)
      .arg(m_document.NumVert);
}

void TfrmMeshView::ShowModel() {
  HighlightedFace = -1;
  setWindowTitle(CountsCaption());
}

void TfrmMeshView::ResetView(bool fitZoom, bool resetAngles) {
  TMeshViewState& v = MeshViewState;
  if (m_document.Radius == 0) m_document.Radius = 1.0f;
  if (fitZoom) v.Zoom = 1.0f / m_document.Radius / 1.1f;
  if (resetAngles) {
    v.AngleX = v.AngleY = v.AngleZ = 0;
    v.PanX = v.PanY = v.PanZ = 0;
  }
  ResetFrameCounter();
  Redraw();
}

void TfrmMeshView::ResetFrameCounter() {
  FrameCount = 0;
  const uint32_t now = MillisecondClock();
  MeshViewState.LastPaintTime = now;
  CounterStart = now - 1;
}

void TfrmMeshView::Redraw() {
  // From inside a frame a redraw can only be scheduled; elsewhere it happens at once.
  if (m_inPaint || !isVisible())
    update();
  else
    repaint();
}

void TfrmMeshView::ResetClick() {
  RotateX->setChecked(false);
  RotateY->setChecked(false);
  RotateZ->setChecked(false);
  Timer1.SetEnabled(true);
  ResetFrameCounter();
  Redraw();
}

void TfrmMeshView::Timer1Timer() {
  Redraw();
  TMeshViewState& v = MeshViewState;
  if (RotateX->isChecked()) v.AngleX += v.RotationStep;
  if (RotateY->isChecked()) v.AngleY += v.RotationStep;
  if (RotateZ->isChecked()) v.AngleZ += v.RotationStep;
}

void TfrmMeshView::LoadMaterialTexture(int32_t material) {
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
    QueueMessage(path + QStringLiteral(" not found. Switching to wireframe..."), false);
    WireframeOnly->setChecked(true);
    ResetFrameCounter();
    Redraw();
    DisableTexturing(m_gl);
  }
  m_gl->glMatrixMode(GL_MODELVIEW);
  setWindowTitle(caption);
}

int TfrmMeshView::FindTextureSlot(int32_t material) const {
  for (int s = SlotCount - 1; s >= 0; --s) {
    if ((*TextureSlots)[static_cast<size_t>(s)].Material == material) return s;
  }
  return -1;
}

void TfrmMeshView::SelectFaceTexture(int32_t material) {
  if (material == LastBoundMaterial) return;
  const int s = FindTextureSlot(material);
  if (s >= 0) BindTexture((*TextureSlots)[static_cast<size_t>(s)].GlName);
  LastBoundMaterial = material;
}

void TfrmMeshView::LoadCompressedTextures() {
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

void TfrmMeshView::BindTexture(uint32_t name) {
  m_gl->glBindTexture(GL_TEXTURE_2D, name);
  m_boundName = name;
}

void TfrmMeshView::QueueMessage(const QString& text, bool error) {
  QPointer<TfrmMeshView> self(this);
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

void TfrmMeshView::keyPressEvent(QKeyEvent* event) {
  TMeshViewState& v = MeshViewState;
  const float s = (event->modifiers() & Qt::ControlModifier) ? 6.0f : 2.0f;
  const bool keypad = event->modifiers() & Qt::KeypadModifier;
  const int key = event->key();
  // Keypad digits arrive as cursor keys when Num Lock is off.
  if (keypad && (key == Qt::Key_8 || key == Qt::Key_Up))
    v.AngleX += s;
  else if (keypad && (key == Qt::Key_2 || key == Qt::Key_Down))
    v.AngleX -= s;
  else if (keypad && (key == Qt::Key_4 || key == Qt::Key_Left))
    v.AngleY += s;
  else if (keypad && (key == Qt::Key_6 || key == Qt::Key_Right))
    v.AngleY -= s;
  else if (keypad && (key == Qt::Key_7 || key == Qt::Key_Home))
    v.AngleZ += s;
  else if (keypad && (key == Qt::Key_9 || key == Qt::Key_PageUp))
    v.AngleZ -= s;
  else if (keypad && (key == Qt::Key_5 || key == Qt::Key_Clear)) {
    ResetClick();
    v.AngleX = v.AngleY = v.AngleZ = 0;
  } else if (key == Qt::Key_F)
    FrameModel();
  else if (keypad && key == Qt::Key_Plus)
    v.Zoom *= 1.1f;
  else if (keypad && key == Qt::Key_Minus)
    v.Zoom /= 1.1f;
  else if (key == Qt::Key_A)
    v.PanX -= s / 10;
  else if (key == Qt::Key_S)
    v.PanX += s / 10;
  else if (key == Qt::Key_W)
    v.PanY += s / 10;
  else if (key == Qt::Key_Y)
    v.PanY -= s / 10;
  else if (key == Qt::Key_C)
    v.PanZ += s / 10;
  else if (key == Qt::Key_X)
    v.PanZ -= s / 10;
  Redraw();
}

void TfrmMeshView::FrameModel() {
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
  FrameView(MeshViewState, lo, hi);
  Redraw();
}

void TfrmMeshView::mousePressEvent(QMouseEvent* event) {
  m_dragButton = event->button();
  m_dragLast = m_pressPos = event->position().toPoint();
}

void TfrmMeshView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const QPoint d = pos - m_dragLast;
  m_dragLast = pos;
  if (m_dragButton == Qt::LeftButton)
    OrbitView(MeshViewState, d.x(), d.y());
  else if (m_dragButton == Qt::RightButton || m_dragButton == Qt::MiddleButton)
    PanView(MeshViewState, d.x(), d.y(), width(), height());
  else
    return;
  Redraw();
}

void TfrmMeshView::mouseReleaseEvent(QMouseEvent* event) {
  // A right click that did not drag opens the menu; a right drag pans.
  const bool menu = event->button() == Qt::RightButton && m_dragButton == Qt::RightButton &&
                    (event->position().toPoint() - m_pressPos).manhattanLength() <
                        QApplication::startDragDistance();
  m_dragButton = Qt::NoButton;
  Redraw();
  if (menu) PopupMenu1->exec(event->globalPosition().toPoint());
}

void TfrmMeshView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) FrameModel();
}

void TfrmMeshView::wheelEvent(QWheelEvent* event) {
  ZoomView(MeshViewState, event->angleDelta().y());
  Redraw();
  event->accept();
}

void TfrmMeshView::closeEvent(QCloseEvent* event) { event->ignore(); }

void TfrmMeshView::showEvent(QShowEvent* event) {
  QOpenGLWidget::showEvent(event);
  ResetClick();
}

void TfrmMeshView::contextMenuEvent(QContextMenuEvent* event) {
  // The mouse's right button pans; its menu opens on release (mouseReleaseEvent).
  if (event->reason() != QContextMenuEvent::Mouse) PopupMenu1->exec(event->globalPos());
}
