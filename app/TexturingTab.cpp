#include "app/TexturingTab.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPainter>
#include <QStringListModel>
#include <QVBoxLayout>

#include <cmath>

#include "app/PictureLoader.h"
#include "app/Unit1.h"
#include "mesh/Materials.h"
#include "mesh/NumberText.h"
#include "util/Paths.h"
#include "viewers/FaceView.h"
#include "viewers/ViewerHost.h"

namespace {

QString Padded(int32_t mat) { return QString::fromStdString(MaterialIdText(mat)); }

// FVRT index of corner k of a face, or -1 when it does not fit an index (hostile FirstFvrt).
int32_t CornerIndex(const TFaceRecord& f, int k) {
  const int64_t i = static_cast<int64_t>(f.FirstFvrt) + k;
  return i >= 0 && i <= INT32_MAX ? static_cast<int32_t>(i) : -1;
}

}  // namespace

TTextureImage::TTextureImage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Image1"));
  setFixedSize(256, 256);
  setMouseTracking(true);
  Image.fill(Qt::white);
}

void TTextureImage::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.drawImage(0, 0, Image);
}

void TTextureImage::mouseMoveEvent(QMouseEvent* event) {
  emit mouseMoved(static_cast<int>(event->position().x()), static_cast<int>(event->position().y()));
}

void TTextureImage::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  emit mouseMoved(static_cast<int>(event->position().x()), static_cast<int>(event->position().y()));
  emit leftClicked();
}

TTexturingTab::TTexturingTab(TForm1& form, QWidget* parent) : QWidget(parent), m_form(form) {
  auto* grid = new QGridLayout(this);
  LabelMouse = new QLabel(this);
  LabelMouse->setObjectName(QStringLiteral("LabelMouse"));
  Image = new TTextureImage(this);
  LabelFace = new QLabel(this);
  LabelFace->setObjectName(QStringLiteral("LabelFace"));
  ListFaces = new QListView(this);
  ListFaces->setObjectName(QStringLiteral("ListFaces"));
  ListFaces->setUniformItemSizes(true);
  ListFaces->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_faceLines = new QStringListModel(this);
  ListFaces->setModel(m_faceLines);
  ComboTexture = new QComboBox(this);
  ComboTexture->setObjectName(QStringLiteral("ComboTexture"));
  ComboTexture->setEditable(true);
  ComboTexture->setInsertPolicy(QComboBox::NoInsert);
  ComboTexture->setEditText(QStringLiteral("0"));

  auto* uv = new QGridLayout;
  for (int k = 0; k < 4; ++k) {
    EditU[k] = new QLineEdit(this);
    EditV[k] = new QLineEdit(this);
    EditU[k]->setObjectName(QStringLiteral("EditU%1").arg(k + 1));
    EditV[k]->setObjectName(QStringLiteral("EditV%1").arg(k + 1));
    uv->addWidget(new QLabel(QStringLiteral("U%1").arg(k + 1), this), k, 0);
    uv->addWidget(EditU[k], k, 1);
    uv->addWidget(new QLabel(QStringLiteral("V%1").arg(k + 1), this), k, 2);
    uv->addWidget(EditV[k], k, 3);
    connect(EditU[k], &QLineEdit::returnPressed, this,
            [this, k] { m_form.RunEdit(QStringLiteral("U%1").arg(k + 1), [this, k] { UvBoxEnter(k, false); }); });
    connect(EditV[k], &QLineEdit::returnPressed, this,
            [this, k] { m_form.RunEdit(QStringLiteral("V%1").arg(k + 1), [this, k] { UvBoxEnter(k, true); }); });
  }

  grid->addWidget(LabelMouse, 0, 0);
  grid->addWidget(Image, 1, 0, 2, 1, Qt::AlignTop | Qt::AlignLeft);
  grid->addWidget(LabelFace, 0, 1);
  grid->addWidget(ListFaces, 1, 1);
  auto* right = new QVBoxLayout;
  right->addWidget(ComboTexture);
  right->addLayout(uv);
  right->addStretch();
  grid->addLayout(right, 2, 1);

  connect(Image, &TTextureImage::mouseMoved, this, [this](int x, int y) { MouseMove(x, y); });
  connect(Image, &TTextureImage::leftClicked, this,
          [this] { m_form.RunEdit(QStringLiteral("pick texture coords"), [this] { LeftClick(); }); });
  // The face list's click is any current-line change the user makes, by mouse or keyboard,
  // and a click on the current line; the program's own moves are no click.
  connect(ListFaces->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& i) {
    if (m_filling || !i.isValid()) return;
    m_clickedRow = i.row();
    m_form.RunEdit(QStringLiteral("material"), [this, i] { ListFacesClick(i.row()); });
  });
  ListFaces->viewport()->installEventFilter(this);
  connect(ListFaces, &QListView::clicked, this, [this](const QModelIndex& i) {
    if (i.row() != m_clickedRow) m_form.RunEdit(QStringLiteral("material"), [this, i] { ListFacesClick(i.row()); });
    m_clickedRow = -1;
  });
  connect(ComboTexture->lineEdit(), &QLineEdit::returnPressed, this,
          [this] { m_form.RunEdit(QStringLiteral("material"), [this] { ApplyMaterialBox(); }); });
}

bool TTexturingTab::eventFilter(QObject* watched, QEvent* event) {
  // A new mouse press has reported nothing yet (the view moves the current line after it).
  if (event->type() == QEvent::MouseButtonPress && watched == ListFaces->viewport()) m_clickedRow = -1;
  return QWidget::eventFilter(watched, event);
}

QPoint TTexturingTab::TexturePixel(float u, float v) {
  return {static_cast<int>(std::lround(u * 256.0f)), 256 - static_cast<int>(std::lround(v * 256.0f))};
}

void TTexturingTab::TabShown(bool load) {
  TMeshDocument& doc = m_form.Document();
  const int previous = m_face;
  if (load) doc.LoadRecordFiles();
  QStringList lines;
  lines.reserve(doc.ListBox4.Count());
  for (const std::string& s : doc.ListBox4.Lines()) lines << QString::fromStdString(s);
  m_filling = true;
  m_faceLines->setStringList(lines);
  ComboTexture->clear();
  QStringList mats;
  for (int32_t i = 0; i < doc.NumFace; ++i) {
    const QString m = Padded(doc.FACE[static_cast<size_t>(i)].Mat);
    if (!mats.contains(m)) mats << m;
  }
  mats.prepend(QStringLiteral("0"));
  ComboTexture->addItems(mats);
  if (m_faceLines->rowCount() < 2) {
    m_filling = false;
    ShowNoFace();
    return;
  }
  const int face = !load && previous >= 0 && previous < m_faceLines->rowCount() ? previous : 1;
  ListFaces->setCurrentIndex(m_faceLines->index(face));
  m_filling = false;
  ListFacesClick(face);
}

void TTexturingTab::ShowNoFace() {
  m_face = -1;
  PickCount = 0;
  PickTarget = 0;
  for (int k = 0; k < 4; ++k) {
    m_boundFvrt[k] = -1;
    EditU[k]->clear();
    EditV[k]->clear();
  }
  LabelFace->clear();
  Image->Image.fill(Qt::white);
  Image->update();
}

void TTexturingTab::ListFacesClick(int face) {
  TMeshDocument& doc = m_form.Document();
  const TFaceRecord* f = doc.FaceAt(face);
  if (!f || face >= m_faceLines->rowCount()) {
    ShowNoFace();
    return;
  }
  m_face = face;
  doc.ListBox4.SetCurrent(face);
  m_form.Faces()->update();
  m_form.Viewers().SetHighlightedFace(face);
  const int entry = ComboTexture->findText(Padded(f->Mat));
  ComboTexture->setCurrentIndex(entry >= 0 ? entry : 0);
  ComboTexture->setEditText(ComboTexture->itemText(entry >= 0 ? entry : 0));
  RedrawTexturePanel();
}

void TTexturingTab::ApplyMaterialBox() {
  TMeshDocument& doc = m_form.Document();
  const QString text = ComboTexture->currentText();
  const QString path = m_form.MatPath() + text + QStringLiteral(".mat");
  const QString file = QString::fromStdString(MapFixedPath(path.toStdString()));
  QImage texture;
  if (QFileInfo::exists(file)) texture = LoadPictureFile(file);
  Image->Image.fill(Qt::white);
  {
    QPainter p(&Image->Image);
    if (!texture.isNull()) {
      p.drawImage(QRect(0, 0, 256, 256), texture);
    } else {
      // Wrapped inside the image, anywhere in a long path, so that all of it stays readable.
      p.setPen(Qt::black);
      p.drawText(QRect(5, 5, 256 - 10, 256 - 10), Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere,
                 path + QStringLiteral(" no found!"));
    }
  }
  // Shown at once: Enter in the material box repaints without waiting for a panel redraw.
  Image->update();
  TFaceRecord* f = doc.FaceAt(m_face);
  if (!f) return;
  f->Mat = ParseIntOrZero(text.toStdString());
  m_faceLines->setData(m_faceLines->index(m_face), QString::fromStdString(TMeshDocument::FaceLineText(*f, false)));
  const QString id = Padded(f->Mat);
  if (ComboTexture->findText(id) < 0) ComboTexture->addItem(id);
}

void TTexturingTab::RedrawTexturePanel() {
  TMeshDocument& doc = m_form.Document();
  ApplyMaterialBox();
  const TFaceRecord* f = doc.FaceAt(m_face);
  if (!f) {
    ShowNoFace();
    return;
  }
  QString label = QStringLiteral("FACE: %1, FVRTs: ").arg(m_face);
  for (int32_t k = 0; k < f->FvrtCount && k < kMaxFaceLineCorners; ++k)
    label += QString::number(static_cast<int64_t>(f->FirstFvrt) + k) + ' ';
  LabelFace->setText(label);
  for (int k = 0; k < 4; ++k) {
    const int32_t index = f->FvrtCount > k ? CornerIndex(*f, k) : -1;
    const TFvrtRecord* r = doc.FvrtAt(index);
    m_boundFvrt[k] = r ? index : -1;
    EditU[k]->setText(r ? QString::fromStdString(FormatFixed(r->Tx, 3)) : QString());
    EditV[k]->setText(r ? QString::fromStdString(FormatFixed(r->Ty, 3)) : QString());
  }
  const bool four = f->FvrtCount >= 4;
  EditU[3]->setEnabled(four);
  EditV[3]->setEnabled(four);
  PickCount = 0;
  // Only the corners that exist can be picked, which also bounds the pick buffer.
  PickTarget = doc.FaceCorners(*f).Count;
  DrawOutline();
  Image->update();
}

void TTexturingTab::DrawOutline() {
  TMeshDocument& doc = m_form.Document();
  const TFaceRecord* f = doc.FaceAt(m_face);
  if (!f) return;
  const TCornerRange range = doc.FaceCorners(*f);
  QPolygon outline;
  for (int32_t k = 0; k < range.Count; ++k) {
    const TFvrtRecord& r = doc.FVRT[static_cast<size_t>(range.First + k)];
    outline << TexturePixel(r.Tx, r.Ty);
  }
  if (outline.isEmpty()) return;
  outline << outline.front();
  QPainter p(&Image->Image);
  p.setPen(QColor(255, 255, 0));
  p.drawPolyline(outline);
}

void TTexturingTab::UvBoxEnter(int k, bool isV) {
  QLineEdit* box = isV ? EditV[k] : EditU[k];
  if (TFvrtRecord* r = m_form.Document().FvrtAt(m_boundFvrt[k])) {
    const float value = static_cast<float>(ParseTypedFloat(box->text().toStdString()));
    (isV ? r->Ty : r->Tx) = value;
  }
  RedrawTexturePanel();
  box->selectAll();
}

void TTexturingTab::MouseMove(int x, int y) {
  MouseU = static_cast<float>(x) / 256.0f;
  MouseV = static_cast<float>(256 - y) / 256.0f;
  LabelMouse->setText(QStringLiteral("(%1,%2): Tx=%3, Ty=%4")
                          .arg(x)
                          .arg(y)
                          .arg(QString::fromStdString(FormatRounded(MouseU, 3)),
                               QString::fromStdString(FormatRounded(MouseV, 3))));
}

void TTexturingTab::LeftClick() {
  if (PickTarget <= 0) return;  // no face shown
  if (static_cast<size_t>(PickTarget) > PickU.size()) {
    PickU.resize(static_cast<size_t>(PickTarget));
    PickV.resize(static_cast<size_t>(PickTarget));
  }
  PickU[static_cast<size_t>(PickCount)] = MouseU;
  PickV[static_cast<size_t>(PickCount)] = MouseV;
  ++PickCount;
  QPolygon picked;
  for (int i = 0; i < PickCount; ++i) picked << TexturePixel(PickU[static_cast<size_t>(i)], PickV[static_cast<size_t>(i)]);
  picked << picked.front();
  {
    QPainter p(&Image->Image);
    p.setPen(QColor(0, 255, 0));
    p.drawPolyline(picked);
  }
  Image->update();
  if (PickCount < PickTarget) return;
  PickCount = 0;
  TMeshDocument& doc = m_form.Document();
  const TFaceRecord* f = doc.FaceAt(m_face);
  if (!f) return;
  for (int k = 0; k < PickTarget; ++k) {
    const float u = PickU[static_cast<size_t>(k)], v = PickV[static_cast<size_t>(k)];
    if (k < 4) {
      EditU[k]->setText(QString::fromStdString(FormatRounded(u, 6)));
      EditV[k]->setText(QString::fromStdString(FormatRounded(v, 6)));
    }
    if (TFvrtRecord* r = doc.FvrtAt(CornerIndex(*f, k))) {
      r->Tx = u;
      r->Ty = v;
    }
  }
}
