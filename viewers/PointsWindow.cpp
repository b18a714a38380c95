#include "viewers/PointsWindow.h"

#include <QCloseEvent>
#include <QMouseEvent>

#include "mesh/MeshDocument.h"

TPainterCanvas::TPainterCanvas(QPainter& painter) : m_painter(painter), m_pen(Qt::black) {
  m_pen.setWidth(0);
  m_painter.setPen(m_pen);
  m_painter.setBrush(Qt::white);
}

void TPainterCanvas::SetPenColor(TColor color) {
  m_pen.setColor(QColor(color.Red, color.Green, color.Blue));
  m_painter.setPen(m_pen);
}

void TPainterCanvas::SetPenStyle(TPenStyle style) {
  m_pen.setStyle(style == TPenStyle::Dot ? Qt::DotLine : Qt::SolidLine);
  m_painter.setPen(m_pen);
}

void TPainterCanvas::Ellipse(int left, int top, int right, int bottom) {
  m_painter.drawEllipse(QRect(QPoint(left, top), QPoint(right, bottom)));
}

void TPainterCanvas::Polyline(const TPixel* points, size_t count) {
  // Pixels are ints already; QPoint has the same two ints but no layout guarantee.
  QVarLengthArray<QPoint, 16> pts(static_cast<qsizetype>(count));
  for (size_t i = 0; i < count; ++i)
    pts[static_cast<qsizetype>(i)] = QPoint(points[i].X, points[i].Y);
  m_painter.drawPolyline(pts.constData(), static_cast<int>(count));
}

void TPainterCanvas::Line(TPixel from, TPixel to) {
  m_painter.drawLine(from.X, from.Y, to.X, to.Y);
}

TProjectionWindow::TProjectionWindow(TMeshDocument& document, TProjection& projection,
                                     const QString& name, const QString& caption, QRect bounds,
                                     QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      m_document(document),
      m_projection(projection) {
  setObjectName(name);
  setWindowTitle(caption);
  setAttribute(Qt::WA_QuitOnClose, false);
  setCursor(Qt::CrossCursor);
  setAttribute(Qt::WA_OpaquePaintEvent);
  move(bounds.topLeft());
  resize(bounds.size());
}

void TProjectionWindow::mousePressEvent(QMouseEvent* event) {
  m_dragging = event->button() == Qt::RightButton;
}

void TProjectionWindow::mouseMoveEvent(QMouseEvent* event) {
  if (!m_dragging) return;
  m_projection.SetAnchor(static_cast<float>(event->position().x()),
                         static_cast<float>(event->position().y()));
  m_showAxes = true;
  update();
  if (m_partner) m_partner->update();
}

void TProjectionWindow::mouseReleaseEvent(QMouseEvent*) {
  m_dragging = false;
  m_showAxes = false;
  update();
}

void TProjectionWindow::closeEvent(QCloseEvent* event) {
  if (m_allowClose)
    event->accept();
  else
    event->ignore();
}

void TProjectionWindow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  TPainterCanvas canvas(painter);
  TProjection& proj = m_projection;
  proj.SetDrawCanvas(&canvas);
  PaintContent(canvas);
  if (m_showAxes) proj.DrawAxes();
  // The canvas dies with this paint; nothing may draw on it afterwards.
  proj.SetDrawCanvas(nullptr);
}

TPointsWindow::TPointsWindow(TMeshDocument& document, TProjection& projection,
                             std::function<void()> addFvrt, QWidget* parent)
    : TProjectionWindow(document, projection, QStringLiteral("frmPoints"), QStringLiteral("Points"),
                        QRect(564, 92, 215, 210), parent),
      m_addFvrt(std::move(addFvrt)) {
  m_projection.SetDepth(2.0f);
  m_projection.SetScale(1.0f);
}

void TPointsWindow::PaintContent(TPainterCanvas& canvas) {
  const TProjection& proj = m_projection;
  const TPoint3* vert = m_document.VERT.get();
  for (int32_t i = 0; i < m_document.NumVert; ++i) proj.DrawPointMarker(vert[i]);
  if (const TPoint3* v = m_document.VertAt(m_document.VertexLines.Current())) {
    canvas.SetPenColor(kYellow);
    proj.DrawPointMarker(*v);
    canvas.SetPenColor(kBlack);
  }
}

void TPointsWindow::mousePressEvent(QMouseEvent* event) {
  TProjectionWindow::mousePressEvent(event);
  const bool left = event->button() == Qt::LeftButton;
  const int previous = m_document.VertexLines.Current();
  const int hit = PickPoint(
      m_projection, m_document.VERT.get(), static_cast<size_t>(m_document.NumVert),
      static_cast<float>(event->position().x()), static_cast<float>(event->position().y()));
  m_document.VertexLines.SetCurrent(hit);
  update();
  if (left && hit >= 0 && hit != previous && m_addFvrt) m_addFvrt();
}
