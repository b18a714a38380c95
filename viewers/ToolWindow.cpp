#include "viewers/ToolWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpinBox>

#include "mesh/Geometry.h"
#include "mesh/MeshDocument.h"
#include "mesh/Projection.h"

TToolWindow::TToolWindow(TMeshDocument& document, TProjection& projection,
                         std::function<void()> repaint, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_document(document),
      m_projection(projection),
      m_repaint(std::move(repaint)) {
  setObjectName(QStringLiteral("frmTools"));
  setWindowTitle(QStringLiteral("frmTools"));
  setAttribute(Qt::WA_QuitOnClose, false);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  Zoom = new QSpinBox(this);
  Zoom->setObjectName(QStringLiteral("Zoom"));
  Zoom->setRange(-10000, -1);
  Zoom->setSingleStep(4);
  Zoom->setValue(-100);
  layout->addWidget(Zoom);
  connect(Zoom, &QSpinBox::valueChanged, this, &TToolWindow::ZoomChanged);

  auto addButton = [&](const QString& caption, std::function<void()> action, bool checkable,
                       const char* tip) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(caption == QStringLiteral("Button7") ? caption
                                                          : QStringLiteral("Btn") + caption);
    b->setCheckable(checkable);
    b->setFocusPolicy(Qt::NoFocus);
    b->setMinimumWidth(10);
    // As narrow as the caption: the window is a thin strip, not a row of full-size buttons.
    b->setMaximumWidth(b->fontMetrics().horizontalAdvance(caption) + 14);
    b->setToolTip(QString::fromUtf8(tip));
    layout->addWidget(b);
    connect(b, &QPushButton::clicked, this, std::move(action));
    return b;
  };
  Zoom->setToolTip(QStringLiteral("Zoom of the Points and Faces windows"));
  const char* const spinTip =
      "Turn the model's vertices about this axis until clicked again (one undo step)";
  ButtonX = addButton(
      QStringLiteral("X"), [this] { AxisClick(ButtonX); }, true, spinTip);
  ButtonY = addButton(
      QStringLiteral("Y"), [this] { AxisClick(ButtonY); }, true, spinTip);
  ButtonZ = addButton(
      QStringLiteral("Z"), [this] { AxisClick(ButtonZ); }, true, spinTip);
  struct TStepButton {
    const char* Caption;
    float Ax, Ay, Az;
    const char* Tip;
  };
  static const TStepButton kSteps[] = {
      {"X+", 0.05f, 0, 0, "Turn the vertices about x by 0.05 radians (about 3 degrees)"},
      {"X-", -0.05f, 0, 0, "Turn the vertices about x by -0.05 radians"},
      {"Y+", 0, 0.05f, 0, "Turn the vertices about y by 0.05 radians (about 3 degrees)"},
      {"Y-", 0, -0.05f, 0, "Turn the vertices about y by -0.05 radians"},
      {"Z+", 0, 0, 0.05f, "Turn the vertices about z by 0.05 radians (about 3 degrees)"},
      {"Z-", 0, 0, -0.05f, "Turn the vertices about z by -0.05 radians"},
      {"Button7", 0, 0, 1.6f, "Turn the vertices about z by 1.6 radians (about a quarter turn)"},
  };
  for (const TStepButton& b : kSteps) {
    const QString caption = QString::fromLatin1(b.Caption);
    addButton(
        caption, [this, caption, b] { StepButton(caption, b.Ax, b.Ay, b.Az); }, false, b.Tip);
  }

  move(564, 510);
  resize(std::max(209, sizeHint().width()), 20);

  m_thread = std::make_unique<TRotateThread>(this, [this](float angle, bool rx, bool ry, bool rz) {
    // A step queued before the spin stopped would turn the model outside its undo step.
    if (!m_spinning) return;
    // NumVert is read once per step: vertices added meanwhile turn from the next step on.
    RotateModelStep(m_document, angle, rx, ry, rz);
    if (m_repaint) m_repaint();
  });
}

TToolWindow::~TToolWindow() { m_thread.reset(); }

void TToolWindow::RotateBy(float ax, float ay, float az) {
  RotateModel(m_document, ax, ay, az);
  if (m_repaint) m_repaint();
}

void TToolWindow::SetEditHooks(TEditRunner runEdit,
                               std::function<void(bool spinning)> spinChanged) {
  m_runEdit = std::move(runEdit);
  m_spinChanged = std::move(spinChanged);
}

void TToolWindow::StepButton(const QString& name, float ax, float ay, float az) {
  if (m_runEdit)
    m_runEdit(name, [this, ax, ay, az] { RotateBy(ax, ay, az); });
  else
    RotateBy(ax, ay, az);
}

void TToolWindow::StopSpin() {
  for (QPushButton* b : {ButtonX, ButtonY, ButtonZ}) b->setChecked(false);
  AxisClick(ButtonX);
}

void TToolWindow::AxisClick(QPushButton* clicked) {
  // One group that allows all up: a button going down lifts the others.
  if (clicked->isChecked()) {
    for (QPushButton* b : {ButtonX, ButtonY, ButtonZ})
      if (b != clicked) b->setChecked(false);
  }
  TRotateThread& t = *m_thread;
  t.RotateX = ButtonX->isChecked();
  t.RotateY = ButtonY->isChecked();
  t.RotateZ = ButtonZ->isChecked();
  const bool spinning = t.RotateX || t.RotateY || t.RotateZ;
  if (spinning && !t.Started()) t.Resume();
  if (spinning == m_spinning) return;
  m_spinning = spinning;
  if (m_spinChanged) m_spinChanged(spinning);
}

void TToolWindow::ZoomChanged(int position) {
  m_projection.SetScale(ZoomScale(position));
  if (m_repaint) m_repaint();
}

void TToolWindow::closeEvent(QCloseEvent* event) {
  if (m_allowClose) {
    m_thread->Terminate();
    event->accept();
  } else {
    event->ignore();
  }
}
