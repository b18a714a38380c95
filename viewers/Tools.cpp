#include "viewers/Tools.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QSpinBox>

#include "mesh/MeshDocument.h"
#include "mesh/Projection.h"

TfrmTools::TfrmTools(TMeshDocument& document, TProjection& projection,
                     std::function<void()> repaint, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint),
      m_document(document),
      m_projection(projection),
      m_repaint(std::move(repaint)) {
  setObjectName(QStringLiteral("frmTools"));
  setWindowTitle(QStringLiteral("frmTools"));
  setAttribute(Qt::WA_QuitOnClose, false);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  UpDown1 = new QSpinBox(this);
  UpDown1->setObjectName(QStringLiteral("UpDown1"));
  UpDown1->setRange(-10000, -1);
  UpDown1->setSingleStep(4);
  UpDown1->setValue(-100);
  layout->addWidget(UpDown1);
  connect(UpDown1, &QSpinBox::valueChanged, this, &TfrmTools::UpDown1Changed);

  auto addButton = [&](const QString& caption, std::function<void()> action,
                       bool checkable = false) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(caption == QStringLiteral("Button7") ? caption
                                                          : QStringLiteral("Btn") + caption);
    b->setCheckable(checkable);
    b->setFocusPolicy(Qt::NoFocus);
    b->setMinimumWidth(10);
    layout->addWidget(b);
    connect(b, &QPushButton::clicked, this, std::move(action));
    return b;
  };
  ButtonX = addButton(
      QStringLiteral("X"), [this] { AxisClick(ButtonX); }, true);
  ButtonY = addButton(
      QStringLiteral("Y"), [this] { AxisClick(ButtonY); }, true);
  ButtonZ = addButton(
      QStringLiteral("Z"), [this] { AxisClick(ButtonZ); }, true);
  addButton(QStringLiteral("X+"), [this] { RotateBy(0.05f, 0, 0); });
  addButton(QStringLiteral("X-"), [this] { RotateBy(-0.05f, 0, 0); });
  addButton(QStringLiteral("Y+"), [this] { RotateBy(0, 0.05f, 0); });
  addButton(QStringLiteral("Y-"), [this] { RotateBy(0, -0.05f, 0); });
  addButton(QStringLiteral("Z+"), [this] { RotateBy(0, 0, 0.05f); });
  addButton(QStringLiteral("Z-"), [this] { RotateBy(0, 0, -0.05f); });
  addButton(QStringLiteral("Button7"), [this] { Button7Click(); });

  move(564, 510);
  resize(std::max(209, sizeHint().width()), 20);

  m_thread = std::make_unique<T3dRotate>(this, [this](float angle, bool rx, bool ry, bool rz) {
    // NumVert is read once per step: vertices added meanwhile turn from the next step on.
    RotateStep(m_document.VERT.get(), static_cast<size_t>(std::max(0, m_document.NumVert)), angle,
               rx, ry, rz);
    if (m_repaint) m_repaint();
  });
}

TfrmTools::~TfrmTools() { m_thread.reset(); }

void TfrmTools::RotateBy(float ax, float ay, float az) {
  RotatePoints(m_document.VERT.get(), static_cast<size_t>(MeshCapacity), ax, ay, az);
  if (m_repaint) m_repaint();
}

void TfrmTools::AxisClick(QPushButton* clicked) {
  // One group that allows all up: a button going down lifts the others.
  if (clicked->isChecked()) {
    for (QPushButton* b : {ButtonX, ButtonY, ButtonZ})
      if (b != clicked) b->setChecked(false);
  }
  T3dRotate& t = *m_thread;
  t.RotateX = ButtonX->isChecked();
  t.RotateY = ButtonY->isChecked();
  t.RotateZ = ButtonZ->isChecked();
  if ((t.RotateX || t.RotateY || t.RotateZ) && !t.Started()) t.Resume();
}

void TfrmTools::UpDown1Changed(int position) {
  m_projection.SetScale(ZoomScale(position));
  if (m_repaint) m_repaint();
}

void TfrmTools::closeEvent(QCloseEvent* event) {
  if (m_allowClose) {
    m_thread->Terminate();
    event->accept();
  } else {
    event->ignore();
  }
}
