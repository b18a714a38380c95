// Draws the program's icon: the scalable SVG and the PNG sizes of the icon theme, all from
// the one list of shapes below, so the sizes can never drift apart from the SVG.
//   tessavor_icon OUT_DIR  ->  OUT_DIR/tessavor.svg, OUT_DIR/<n>x<n>/tessavor.png
// The picture: a cube drawn as a mesh (three shaded faces split into triangles, edges and
// vertices picked out) on a dark rounded square, in a 64 x 64 design grid.
#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTextStream>

#include <cstdio>
#include <vector>

namespace {

struct TShape {
  enum Kind { Fill, Stroke, Dot } kind;
  std::vector<QPointF> points;  // polygon corners, line ends, or a dot's centre
  const char* colour;
};

constexpr double kGrid = 64.0;

const std::vector<TShape>& Shapes() {
  static const std::vector<TShape> shapes = {
      {TShape::Fill, {{32, 10}, {53, 22}, {32, 34}, {11, 22}}, "#f2b63c"},  // top face
      {TShape::Fill, {{11, 22}, {32, 34}, {32, 57}, {11, 45}}, "#d9792b"},  // left face
      {TShape::Fill, {{32, 34}, {53, 22}, {53, 45}, {32, 57}}, "#9c4f1a"},  // right face
      {TShape::Stroke,
       {{32, 10}, {53, 22}, {53, 45}, {32, 57}, {11, 45}, {11, 22}, {32, 10}},
       "#ffffff"},
      {TShape::Stroke, {{11, 22}, {32, 34}, {53, 22}}, "#ffffff"},
      {TShape::Stroke, {{32, 34}, {32, 57}}, "#ffffff"},
      {TShape::Stroke, {{11, 22}, {53, 22}}, "#ffffff"},  // the faces' diagonals: triangles
      {TShape::Stroke, {{11, 22}, {32, 57}}, "#ffffff"},
      {TShape::Stroke, {{32, 34}, {53, 45}}, "#ffffff"},
      {TShape::Dot, {{32, 10}}, "#ffffff"},
      {TShape::Dot, {{53, 22}}, "#ffffff"},
      {TShape::Dot, {{11, 22}}, "#ffffff"},
      {TShape::Dot, {{32, 34}}, "#ffffff"},
      {TShape::Dot, {{53, 45}}, "#ffffff"},
      {TShape::Dot, {{11, 45}}, "#ffffff"},
      {TShape::Dot, {{32, 57}}, "#ffffff"},
  };
  return shapes;
}

constexpr const char* kBackground = "#22303e";
constexpr double kCorner = 12.0;  // background corner radius
constexpr double kStroke = 1.6;   // edge width
constexpr double kDot = 2.4;      // vertex radius

QString Points(const std::vector<QPointF>& pts) {
  QStringList s;
  for (const QPointF& p : pts) s << QStringLiteral("%1,%2").arg(p.x()).arg(p.y());
  return s.join(' ');
}

bool WriteSvg(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  QTextStream out(&f);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << kGrid << "\" height=\"" << kGrid
      << "\" viewBox=\"0 0 " << kGrid << ' ' << kGrid << "\">\n"
      << "  <rect x=\"2\" y=\"2\" width=\"60\" height=\"60\" rx=\"" << kCorner << "\" fill=\""
      << kBackground << "\"/>\n";
  for (const TShape& s : Shapes()) {
    switch (s.kind) {
      case TShape::Fill:
        out << "  <polygon points=\"" << Points(s.points) << "\" fill=\"" << s.colour << "\"/>\n";
        break;
      case TShape::Stroke:
        out << "  <polyline points=\"" << Points(s.points) << "\" fill=\"none\" stroke=\""
            << s.colour << "\" stroke-width=\"" << kStroke
            << "\" stroke-linejoin=\"round\" stroke-linecap=\"round\"/>\n";
        break;
      case TShape::Dot:
        out << "  <circle cx=\"" << s.points[0].x() << "\" cy=\"" << s.points[0].y() << "\" r=\""
            << kDot << "\" fill=\"" << s.colour << "\"/>\n";
        break;
    }
  }
  out << "</svg>\n";
  out.flush();
  return f.error() == QFileDevice::NoError;
}

QImage Draw(int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / kGrid, size / kGrid);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(kBackground));
  p.drawRoundedRect(QRectF(2, 2, 60, 60), kCorner, kCorner);
  for (const TShape& s : Shapes()) {
    const QColor c(s.colour);
    switch (s.kind) {
      case TShape::Fill:
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawPolygon(QPolygonF(QList<QPointF>(s.points.begin(), s.points.end())));
        break;
      case TShape::Stroke:
        p.setPen(QPen(c, kStroke, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(Qt::NoBrush);
        p.drawPolyline(QPolygonF(QList<QPointF>(s.points.begin(), s.points.end())));
        break;
      case TShape::Dot:
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        p.drawEllipse(s.points[0], kDot, kDot);
        break;
    }
  }
  return img;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tessavor_icon OUT_DIR\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  if (!QDir().mkpath(dir) || !WriteSvg(dir + QStringLiteral("/tessavor.svg"))) {
    std::fprintf(stderr, "tessavor_icon: cannot write %s/tessavor.svg\n", argv[1]);
    return 1;
  }
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    const QString sub = dir + QStringLiteral("/%1x%1").arg(size);
    if (!QDir().mkpath(sub) || !Draw(size).save(sub + QStringLiteral("/tessavor.png"), "PNG")) {
      std::fprintf(stderr, "tessavor_icon: cannot write the %d pixel icon in %s\n", size, argv[1]);
      return 1;
    }
  }
  return 0;
}
