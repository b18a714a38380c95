#pragma once
// The Points window (TPointsWindow) and the painter canvas both flat views draw on.
//
// The window draws every vertex of the document as a small circle through the projection it
// shares with the Faces and tool windows (mesh/Projection.h; the main window owns it) and the
// current vertex of VertexList in yellow. A right button drag moves the anchor (the pixel of the
// model's zero point); a left click picks the vertex under the mouse, makes it the current line of
// VertexList and, when it differs from the line current before, runs the main window's "add
// FVRT..." command. A press of another button picks too but never adds a corner (a choice: only the
// left button builds faces).

#include <QPainter>
#include <QWidget>

#include <functional>

#include "mesh/Projection.h"

class TMeshDocument;

// TDrawCanvas on a QPainter (pen colour and style kept, brush white).
class TPainterCanvas final : public TDrawCanvas {
public:
  explicit TPainterCanvas(QPainter& painter);
  void SetPenColor(TColor color) override;
  void SetPenStyle(TPenStyle style) override;
  void Ellipse(int left, int top, int right, int bottom) override;
  void Polyline(const TPixel* points, size_t count) override;
  void Line(TPixel from, TPixel to) override;

private:
  QPainter& m_painter;
  QPen m_pen;
};

// Shared behaviour of the two drawing windows: captions, bounds, cross-hair cursor, tool
// window that stays on top and cannot be closed by the user, and anchor dragging.
class TProjectionWindow : public QWidget {
  Q_OBJECT
public:
  TProjectionWindow(TMeshDocument& document, TProjection& projection, const QString& name,
                    const QString& caption, QRect bounds, QWidget* parent = nullptr);
  bool Dragging() const { return m_dragging; }
  // The other drawing window, repainted while the anchor is dragged.
  void SetPartner(QWidget* partner) { m_partner = partner; }
  // Lets the program end close the window (the user cannot).
  void AllowClose() { m_allowClose = true; }

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Paints the window's content and, after an anchor drag step, the axes.
  void paintEvent(QPaintEvent* event) override;
  virtual void PaintContent(TPainterCanvas& canvas) = 0;

  TMeshDocument& m_document;
  TProjection& m_projection;

private:
  bool m_dragging = false;
  bool m_showAxes = false;
  bool m_allowClose = false;
  QWidget* m_partner = nullptr;
};

class TPointsWindow final : public TProjectionWindow {
  Q_OBJECT
public:
  // `addFvrt` runs the main window's "add FVRT..." command.
  TPointsWindow(TMeshDocument& document, TProjection& projection, std::function<void()> addFvrt,
                QWidget* parent = nullptr);

protected:
  void PaintContent(TPainterCanvas& canvas) override;
  void mousePressEvent(QMouseEvent* event) override;

private:
  std::function<void()> m_addFvrt;
};
