// Paints the program's icon (the shapes of zantic.svg) into PNG files of the
// sizes desktops look for: make_icons <folder> <size>...
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

namespace {

QImage Paint(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 256.0, size / 256.0);

  QRadialGradient disc(QPointF(0.42 * 256, 0.38 * 256), 0.7 * 256);
  disc.setColorAt(0, QColor("#ffffff"));
  disc.setColorAt(0.45, QColor("#c9d6e3"));
  disc.setColorAt(0.75, QColor("#8fa7c0"));
  disc.setColorAt(1, QColor("#5d7894"));
  p.setBrush(disc);
  p.setPen(QPen(QColor("#34506b"), 6));
  p.drawEllipse(QPointF(128, 128), 116, 116);

  QLinearGradient burn(QPointF(128, 38), QPointF(218, 128));
  burn.setColorAt(0, QColor("#ffb02e"));
  burn.setColorAt(1, QColor("#e8430c"));
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QBrush(burn), 22, Qt::SolidLine, Qt::RoundCap));
  p.drawArc(QRectF(38, 38, 180, 180), 0 * 16, 90 * 16);

  p.setPen(Qt::NoPen);
  p.setBrush(QColor("#34506b"));
  p.drawEllipse(QPointF(128, 128), 30, 30);
  p.setBrush(QColor("#f4f6f9"));
  p.drawEllipse(QPointF(128, 128), 14, 14);

  QPainterPath z;
  z.moveTo(70, 70);
  for (const QPointF& pt : {QPointF(186, 70), QPointF(186, 92), QPointF(110, 168), QPointF(186, 168),
                            QPointF(186, 190), QPointF(70, 190), QPointF(70, 168), QPointF(146, 92), QPointF(70, 92)})
    z.lineTo(pt);
  z.closeSubpath();
  p.setBrush(QColor("#1f4f86"));
  p.setPen(QPen(Qt::white, 5, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
  p.drawPath(z);
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_icons <folder> <size>...\n");
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    const int size = QByteArray(argv[i]).toInt();
    if (size < 8 || size > 1024) {
      std::fprintf(stderr, "make_icons: bad size %s\n", argv[i]);
      return 2;
    }
    const QString file = QStringLiteral("%1/zantic-%2.png").arg(QString::fromLocal8Bit(argv[1])).arg(size);
    if (!Paint(size).save(file, "PNG")) {
      std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
