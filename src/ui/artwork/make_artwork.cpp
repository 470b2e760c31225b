// Draws the start window's picture buttons and the program icon into PNG
// files (the artwork under src/ui/artwork). Run by hand after a change:
//   cmake --build --preset debug --target zantic_make_artwork
//   QT_QPA_PLATFORM=offscreen build/debug/src/ui/zantic_make_artwork src/ui/artwork
#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>
#include <utility>

namespace {

enum class Glyph { Disc, Image, Copy, Erase, Backup, Options, Help, Minimise, Close, Icon, Cut, Page, Paste, Eject, Drive, Info };

void DrawDisc(QPainter& p, QPointF c, double r, QColor rim) {
  QRadialGradient g(c, r);
  g.setColorAt(0.0, QColor(250, 250, 255));
  g.setColorAt(0.6, QColor(200, 215, 240));
  g.setColorAt(1.0, rim);
  p.setPen(QPen(rim.darker(140), r / 14));
  p.setBrush(g);
  p.drawEllipse(c, r, r);
  p.setBrush(QColor(255, 255, 255));
  p.drawEllipse(c, r * 0.22, r * 0.22);
  p.setBrush(Qt::NoBrush);
  p.setPen(QPen(QColor(255, 255, 255, 150), r / 12));
  p.drawArc(QRectF(c.x() - r * 0.7, c.y() - r * 0.7, r * 1.4, r * 1.4), 30 * 16, 60 * 16);
}

void DrawGlyph(QPainter& p, Glyph glyph, QRectF box) {
  const QPointF c = box.center();
  const double r = std::min(box.width(), box.height()) / 2;
  switch (glyph) {
    case Glyph::Disc:
    case Glyph::Icon:
      DrawDisc(p, c, r, QColor(40, 90, 170));
      if (glyph == Glyph::Disc) {
        // a flame over the disc: burning
        QPainterPath flame;
        flame.moveTo(c.x() + r * 0.5, c.y() + r * 0.9);
        flame.cubicTo(c.x() + r * 1.3, c.y() + r * 0.3, c.x() + r * 0.7, c.y() - r * 0.2, c.x() + r * 0.9, c.y() - r * 0.7);
        flame.cubicTo(c.x() + r * 0.4, c.y() - r * 0.2, c.x() + r * 0.1, c.y() + r * 0.4, c.x() + r * 0.5, c.y() + r * 0.9);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(240, 120, 30));
        p.drawPath(flame);
      }
      break;
    case Glyph::Image: {
      DrawDisc(p, c - QPointF(r * 0.25, 0), r * 0.8, QColor(60, 130, 60));
      QRectF file(c.x() + r * 0.05, c.y() - r * 0.35, r * 0.9, r * 1.1);
      p.setPen(QPen(QColor(60, 60, 60), r / 16));
      p.setBrush(QColor(255, 250, 220));
      p.drawRect(file);
      QFont f("DejaVu Sans");
      f.setPixelSize(static_cast<int>(r * 0.32));
      f.setBold(true);
      p.setFont(f);
      p.drawText(file, Qt::AlignCenter, "ISO");
      break;
    }
    case Glyph::Copy:
      DrawDisc(p, c - QPointF(r * 0.35, r * 0.2), r * 0.65, QColor(120, 80, 160));
      DrawDisc(p, c + QPointF(r * 0.35, r * 0.2), r * 0.65, QColor(120, 80, 160));
      break;
    case Glyph::Erase: {
      DrawDisc(p, c, r * 0.85, QColor(170, 60, 60));
      p.setPen(QPen(QColor(200, 30, 30), r / 6, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(c + QPointF(-r * 0.6, -r * 0.6), c + QPointF(r * 0.6, r * 0.6));
      break;
    }
    case Glyph::Backup: {
      p.setPen(QPen(QColor(40, 40, 40), r / 14));
      p.setBrush(QColor(255, 255, 255));
      p.drawEllipse(c, r * 0.9, r * 0.9);
      p.setPen(QPen(QColor(40, 90, 170), r / 8, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(c, c + QPointF(0, -r * 0.6));
      p.drawLine(c, c + QPointF(r * 0.45, r * 0.2));
      break;
    }
    case Glyph::Options: {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(90, 90, 100));
      for (int i = 0; i < 8; ++i) {
        p.save();
        p.translate(c);
        p.rotate(45.0 * i);
        p.drawRect(QRectF(-r * 0.15, -r * 0.95, r * 0.3, r * 0.4));
        p.restore();
      }
      p.drawEllipse(c, r * 0.65, r * 0.65);
      p.setBrush(QColor(255, 255, 255));
      p.drawEllipse(c, r * 0.28, r * 0.28);
      break;
    }
    case Glyph::Help: {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(40, 110, 190));
      p.drawEllipse(c, r * 0.9, r * 0.9);
      QFont f("DejaVu Sans");
      f.setPixelSize(static_cast<int>(r * 1.3));
      f.setBold(true);
      p.setFont(f);
      p.setPen(QColor(255, 255, 255));
      p.drawText(box, Qt::AlignCenter, "?");
      break;
    }
    case Glyph::Minimise:
      p.setPen(QPen(QColor(255, 255, 255), r / 4, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(c + QPointF(-r * 0.5, r * 0.4), c + QPointF(r * 0.5, r * 0.4));
      break;
    case Glyph::Cut: {
      p.setPen(QPen(QColor(60, 60, 70), r / 7, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(c + QPointF(-r * 0.5, -r * 0.9), c + QPointF(r * 0.35, r * 0.35));
      p.drawLine(c + QPointF(r * 0.5, -r * 0.9), c + QPointF(-r * 0.35, r * 0.35));
      p.setBrush(Qt::NoBrush);
      p.setPen(QPen(QColor(190, 40, 40), r / 7));
      p.drawEllipse(c + QPointF(-r * 0.5, r * 0.6), r * 0.3, r * 0.3);
      p.drawEllipse(c + QPointF(r * 0.5, r * 0.6), r * 0.3, r * 0.3);
      break;
    }
    case Glyph::Page: {
      p.setPen(QPen(QColor(60, 60, 70), r / 10));
      p.setBrush(QColor(230, 235, 245));
      p.drawRect(QRectF(c.x() - r * 0.85, c.y() - r * 0.9, r * 1.1, r * 1.3));
      p.setBrush(QColor(255, 255, 255));
      p.drawRect(QRectF(c.x() - r * 0.3, c.y() - r * 0.4, r * 1.1, r * 1.3));
      break;
    }
    case Glyph::Paste: {
      p.setPen(QPen(QColor(90, 60, 30), r / 10));
      p.setBrush(QColor(200, 150, 90));
      p.drawRoundedRect(QRectF(c.x() - r * 0.75, c.y() - r * 0.8, r * 1.5, r * 1.75), r * 0.15, r * 0.15);
      p.setBrush(QColor(255, 255, 255));
      p.drawRect(QRectF(c.x() - r * 0.5, c.y() - r * 0.45, r * 1.0, r * 1.2));
      p.setBrush(QColor(120, 120, 130));
      p.drawRect(QRectF(c.x() - r * 0.3, c.y() - r * 0.95, r * 0.6, r * 0.3));
      break;
    }
    case Glyph::Eject: {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(60, 70, 90));
      QPolygonF triangle;
      triangle << c + QPointF(0, -r * 0.8) << c + QPointF(r * 0.8, r * 0.15) << c + QPointF(-r * 0.8, r * 0.15);
      p.drawPolygon(triangle);
      p.drawRect(QRectF(c.x() - r * 0.8, c.y() + r * 0.4, r * 1.6, r * 0.35));
      break;
    }
    case Glyph::Drive: {
      p.setPen(QPen(QColor(50, 50, 60), r / 10));
      p.setBrush(QColor(200, 205, 215));
      p.drawRoundedRect(QRectF(c.x() - r * 0.9, c.y() - r * 0.45, r * 1.8, r * 0.9), r * 0.1, r * 0.1);
      p.setBrush(QColor(60, 60, 70));
      p.drawRect(QRectF(c.x() - r * 0.7, c.y() - r * 0.1, r * 0.9, r * 0.12));
      p.setBrush(QColor(40, 180, 60));
      p.drawEllipse(c + QPointF(r * 0.6, r * 0.1), r * 0.1, r * 0.1);
      break;
    }
    case Glyph::Info: {
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(40, 110, 190));
      p.drawEllipse(c, r * 0.9, r * 0.9);
      QFont f("DejaVu Serif");
      f.setPixelSize(static_cast<int>(r * 1.4));
      f.setBold(true);
      p.setFont(f);
      p.setPen(QColor(255, 255, 255));
      p.drawText(box, Qt::AlignCenter, "i");
      break;
    }
    case Glyph::Close:
      p.setPen(QPen(QColor(255, 255, 255), r / 4, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(c + QPointF(-r * 0.45, -r * 0.45), c + QPointF(r * 0.45, r * 0.45));
      p.drawLine(c + QPointF(-r * 0.45, r * 0.45), c + QPointF(r * 0.45, -r * 0.45));
      break;
  }
}

// A round-rectangle button face with a glyph above its label.
QImage JobButton(Glyph glyph, const QString& label, QColor tint) {
  QImage img(150, 112, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient g(0, 0, 0, img.height());
  g.setColorAt(0, tint.lighter(165));
  g.setColorAt(1, tint);
  p.setPen(QPen(tint.darker(150), 2));
  p.setBrush(g);
  p.drawRoundedRect(QRectF(1, 1, img.width() - 2, img.height() - 2), 16, 16);
  DrawGlyph(p, glyph, QRectF(45, 10, 60, 60));
  QFont f("DejaVu Sans");
  f.setPixelSize(16);
  f.setBold(true);
  p.setFont(f);
  p.setPen(QColor(20, 30, 50));
  p.drawText(QRectF(4, 74, img.width() - 8, 30), Qt::AlignCenter, label);
  return img;
}

QImage SmallButton(Glyph glyph, QColor face) {
  QImage img(24, 24, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(face.darker(150), 1));
  p.setBrush(face);
  p.drawRoundedRect(QRectF(0.5, 0.5, 23, 23), 5, 5);
  DrawGlyph(p, glyph, QRectF(4, 4, 16, 16));
  return img;
}

// A toolbar picture: the glyph alone on a clear ground.
QImage ToolIcon(Glyph glyph) {
  QImage img(32, 32, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  DrawGlyph(p, glyph, QRectF(2, 2, 28, 28));
  return img;
}

QImage Icon(int size) {
  QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  DrawGlyph(p, Glyph::Icon, QRectF(size * 0.04, size * 0.04, size * 0.92, size * 0.92));
  return img;
}

bool Save(const QImage& img, const QString& folder, const QString& name) {
  const QString path = QDir(folder).filePath(name);
  if (img.save(path, "PNG")) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: zantic_make_artwork FOLDER\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  bool ok = true;
  ok &= Save(JobButton(Glyph::Disc, "Burn Disc", QColor(120, 160, 220)), out, "burn.png");
  ok &= Save(JobButton(Glyph::Image, "ISO Image", QColor(130, 190, 130)), out, "iso.png");
  ok &= Save(JobButton(Glyph::Copy, "Copy Disc", QColor(175, 150, 210)), out, "clone.png");
  ok &= Save(JobButton(Glyph::Erase, "Erase Disc", QColor(220, 150, 140)), out, "eraser.png");
  ok &= Save(JobButton(Glyph::Backup, "Backup", QColor(210, 190, 120)), out, "backup.png");
  ok &= Save(JobButton(Glyph::Options, "Options", QColor(170, 175, 185)), out, "option.png");
  ok &= Save(SmallButton(Glyph::Help, QColor(70, 120, 190)), out, "help.png");
  ok &= Save(SmallButton(Glyph::Minimise, QColor(70, 120, 190)), out, "min.png");
  ok &= Save(SmallButton(Glyph::Close, QColor(190, 70, 70)), out, "close.png");
  const std::pair<Glyph, const char*> tools[] = {
      {Glyph::Cut, "tool-cut.png"},       {Glyph::Page, "tool-copy.png"},    {Glyph::Paste, "tool-paste.png"},
      {Glyph::Eject, "tool-eject.png"},   {Glyph::Drive, "tool-drive.png"},  {Glyph::Icon, "tool-disc.png"},
      {Glyph::Disc, "tool-burn.png"},     {Glyph::Copy, "tool-clone.png"},   {Glyph::Erase, "tool-erase.png"},
      {Glyph::Image, "tool-iso.png"},     {Glyph::Options, "tool-options.png"}, {Glyph::Info, "tool-about.png"},
      {Glyph::Help, "tool-help.png"},
  };
  for (const auto& [glyph, name] : tools) ok &= Save(ToolIcon(glyph), out, name);
  for (const int size : {16, 32, 48, 64, 128, 256}) ok &= Save(Icon(size), out, QString("zantic-%1.png").arg(size));
  return ok ? 0 : 1;
}
