// Draws the application icon, resources/icons/velda-installer.png: a keyboard with an arrow
// pointing into it, on a rounded tile. Run it again after changing the art:
//   velda-make-icon resources/icons/velda-installer.png
// Shapes only, no text, so it needs no fonts and no display.
#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>

#include <cstdio>

namespace {

constexpr int kSize = 256;

void DrawTile(QPainter& p) {
  QLinearGradient g(0, 0, 0, kSize);
  g.setColorAt(0.0, QColor(0x2B, 0x4F, 0x8E));
  g.setColorAt(1.0, QColor(0x14, 0x26, 0x4A));
  p.setPen(Qt::NoPen);
  p.setBrush(g);
  p.drawRoundedRect(QRectF(8, 8, kSize - 16, kSize - 16), 40, 40);
}

// Seven white keys with the five black ones of an octave.
void DrawKeyboard(QPainter& p) {
  const QRectF body(28, 132, 200, 96);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x0B, 0x12, 0x22));
  p.drawRoundedRect(body.adjusted(-6, -6, 6, 6), 10, 10);

  const int nWhite = 7;
  const double wKey = body.width() / nWhite;
  p.setPen(QPen(QColor(0x0B, 0x12, 0x22), 4));
  p.setBrush(QColor(0xF4, 0xF1, 0xE8));
  for (int i = 0; i < nWhite; ++i) {
    p.drawRect(QRectF(body.left() + i * wKey, body.top(), wKey, body.height()));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x0B, 0x12, 0x22));
  for (int i : {1, 2, 4, 5, 6}) {
    const double x = body.left() + i * wKey - wKey * 0.3;
    p.drawRect(QRectF(x, body.top(), wKey * 0.6, body.height() * 0.6));
  }
}

// The arrow: new firmware going down into the instrument.
void DrawArrow(QPainter& p) {
  QPolygonF arrow;
  arrow << QPointF(104, 24) << QPointF(152, 24) << QPointF(152, 72) << QPointF(188, 72) << QPointF(128, 124)
        << QPointF(68, 72) << QPointF(104, 72);
  p.setPen(QPen(QColor(0x0B, 0x12, 0x22), 6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  p.setBrush(QColor(0xFF, 0xB3, 0x2E));
  p.drawPolygon(arrow);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: velda-make-icon OUTPUT.png\n");
    return 2;
  }
  QImage img(kSize, kSize, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  {
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    DrawTile(p);
    DrawKeyboard(p);
    DrawArrow(p);
  }
  if (!img.save(QString::fromLocal8Bit(argv[1]), "PNG")) {
    std::fprintf(stderr, "velda-make-icon: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
