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

#include "app/MainWindow.h"
#include "app/PictureLoader.h"
#include "images/TextureSource.h"
#include "mesh/Materials.h"
#include "util/Paths.h"
#include "viewers/FacesWindow.h"
#include "viewers/ViewerHost.h"

namespace {

QString Padded(int32_t mat) { return QString::fromStdString(MaterialIdText(mat)); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

TTextureImage::TTextureImage(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TexturePicture"));
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

TTexturingTab::TTexturingTab(TMainWindow& form, QWidget* parent)
    : QWidget(parent), m_form(form), m_panel(form.Document()) {
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
    connect(EditU[k], &QLineEdit::returnPressed, this, [this, k] {
      m_form.RunEdit(QStringLiteral("U%1").arg(k + 1), [this, k] { UvBoxEnter(k, false); });
    });
    connect(EditV[k], &QLineEdit::returnPressed, this, [this, k] {
      m_form.RunEdit(QStringLiteral("V%1").arg(k + 1), [this, k] { UvBoxEnter(k, true); });
    });
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
  connect(Image, &TTextureImage::leftClicked, this, [this] {
    m_form.RunEdit(QStringLiteral("pick texture coords"), [this] { LeftClick(); });
  });
  // The face list's click is any current-line change the user makes, by mouse or keyboard,
  // and a click on the current line; the program's own moves are no click.
  connect(ListFaces->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& i) {
            if (m_filling || !i.isValid()) return;
            m_clickedRow = i.row();
            m_form.RunEdit(QStringLiteral("material"), [this, i] { ListFacesClick(i.row()); });
          });
  ListFaces->viewport()->installEventFilter(this);
  connect(ListFaces, &QListView::clicked, this, [this](const QModelIndex& i) {
    if (i.row() != m_clickedRow)
      m_form.RunEdit(QStringLiteral("material"), [this, i] { ListFacesClick(i.row()); });
    m_clickedRow = -1;
  });
  connect(ComboTexture->lineEdit(), &QLineEdit::returnPressed, this,
          [this] { m_form.RunEdit(QStringLiteral("material"), [this] { ApplyMaterialBox(); }); });
}

bool TTexturingTab::eventFilter(QObject* watched, QEvent* event) {
  // A new mouse press has reported nothing yet (the view moves the current line after it).
  if (event->type() == QEvent::MouseButtonPress && watched == ListFaces->viewport())
    m_clickedRow = -1;
  return QWidget::eventFilter(watched, event);
}

void TTexturingTab::TabShown(bool load) {
  TMeshDocument& doc = m_form.Document();
  const int previous = m_panel.Face();
  if (load) doc.LoadRecordFiles();
  QStringList lines;
  lines.reserve(doc.FaceLines.Count());
  for (const std::string& s : doc.FaceLines.Lines()) lines << QString::fromStdString(s);
  m_filling = true;
  m_faceLines->setStringList(lines);
  ComboTexture->clear();
  for (const std::string& entry : MaterialBoxEntries(doc)) ComboTexture->addItem(Q(entry));
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
  m_panel.ShowNoFace();
  for (int k = 0; k < 4; ++k) {
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
  m_panel.ShowFace(face);
  doc.FaceLines.SetCurrent(face);
  m_form.Faces()->update();
  m_form.Viewers().SetHighlightedFace(face);
  const int entry = ComboTexture->findText(Padded(f->Mat));
  ComboTexture->setCurrentIndex(entry >= 0 ? entry : 0);
  ComboTexture->setEditText(ComboTexture->itemText(entry >= 0 ? entry : 0));
  RedrawTexturePanel();
}

void TTexturingTab::ApplyMaterialBox() {
  const QString text = ComboTexture->currentText();
  const QString path = m_form.MatPath() + text + QStringLiteral(".mat");
  const QString file = QString::fromStdString(MapFixedPath(path.toStdString()));
  QImage texture;
  if (QFileInfo::exists(file)) {
    TBitmap bitmap;
    LoadTextureFile(file.toStdString(),
                    bitmap);  // a damaged file raises its error for the error box
    texture = BitmapImage(bitmap);
  }
  Image->Image.fill(Qt::white);
  {
    QPainter p(&Image->Image);
    if (!texture.isNull()) {
      p.drawImage(QRect(0, 0, 256, 256), texture);
    } else {
      // Wrapped inside the image, anywhere in a long path, so that all of it stays readable.
      p.setPen(Qt::black);
      p.drawText(QRect(5, 5, 256 - 10, 256 - 10),
                 Qt::AlignLeft | Qt::AlignTop | Qt::TextWrapAnywhere,
                 path + QStringLiteral(" no found!"));
    }
  }
  // Shown at once: Enter in the material box repaints without waiting for a panel redraw.
  Image->update();
  if (!m_panel.ApplyMaterial(text.toStdString())) return;
  m_faceLines->setData(m_faceLines->index(m_panel.Face()), Q(m_panel.FaceLine()));
  const QString id = Padded(m_form.Document().FaceAt(m_panel.Face())->Mat);
  if (ComboTexture->findText(id) < 0) ComboTexture->addItem(id);
}

void TTexturingTab::RedrawTexturePanel() {
  ApplyMaterialBox();
  if (!m_panel.ShowFace(m_panel.Face())) {
    ShowNoFace();
    return;
  }
  LabelFace->setText(Q(m_panel.FaceLabel()));
  for (int k = 0; k < 4; ++k) {
    EditU[k]->setText(Q(m_panel.BoxText(k, false)));
    EditV[k]->setText(Q(m_panel.BoxText(k, true)));
  }
  EditU[3]->setEnabled(m_panel.FourthBoxEnabled());
  EditV[3]->setEnabled(m_panel.FourthBoxEnabled());
  DrawPolyline(m_panel.Outline(), QColor(255, 255, 0));
  Image->update();
}

void TTexturingTab::DrawPolyline(const std::vector<TTexturePixel>& points, const QColor& colour) {
  if (points.empty()) return;
  QPolygon polyline;
  for (const TTexturePixel& p : points) polyline << QPoint(p.X, p.Y);
  QPainter p(&Image->Image);
  p.setPen(colour);
  p.drawPolyline(polyline);
}

void TTexturingTab::UvBoxEnter(int k, bool isV) {
  QLineEdit* box = isV ? EditV[k] : EditU[k];
  m_panel.UvBoxEnter(k, isV, box->text().toStdString());
  RedrawTexturePanel();
  box->selectAll();
}

void TTexturingTab::MouseMove(int x, int y) { LabelMouse->setText(Q(m_panel.MouseMove(x, y))); }

void TTexturingTab::LeftClick() {
  const std::vector<TTexturePixel> picked = m_panel.LeftClick();
  if (picked.empty()) return;  // no face shown
  DrawPolyline(picked, QColor(0, 255, 0));
  Image->update();
  if (!m_panel.Completed()) return;
  for (int k = 0; k < m_panel.PickTarget && k < 4; ++k) {
    EditU[k]->setText(Q(m_panel.PickText(k, false)));
    EditV[k]->setText(Q(m_panel.PickText(k, true)));
  }
}
