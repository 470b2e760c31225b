#include "ui/picture_button.h"

#include <QPainter>
#include <QPainterPath>

namespace ui {

PictureButton::PictureButton(const QString& picture, const QString& accessibleName, QWidget* parent)
    : QAbstractButton(parent), FPicture(picture) {
  setAccessibleName(accessibleName);
  setToolTip(accessibleName);
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

QSize PictureButton::sizeHint() const { return FPicture.isNull() ? QSize(24, 24) : FPicture.deviceIndependentSize().toSize(); }

QSize PictureButton::minimumSizeHint() const { return sizeHint() / 2; }

void PictureButton::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  QSize size = FPicture.deviceIndependentSize().toSize().scaled(this->size(), Qt::KeepAspectRatio);
  QRect target(QPoint(0, 0), size);
  target.moveCenter(rect().center());
  if (isDown()) target.translate(1, 1);
  if (!isEnabled()) p.setOpacity(0.4);
  p.drawPixmap(target, FPicture);
  if ((FHover || hasFocus()) && isEnabled()) {
    const qreal radius = std::min<qreal>(16, target.height() / 6.0);
    p.setPen(QPen(hasFocus() ? palette().color(QPalette::Highlight) : QColor(255, 255, 255, 200), 2));
    p.setBrush(FHover ? QColor(255, 255, 255, 40) : Qt::transparent);
    p.drawRoundedRect(QRectF(target).adjusted(1, 1, -1, -1), radius, radius);
  }
}

void PictureButton::enterEvent(QEnterEvent* event) {
  FHover = true;
  update();
  QAbstractButton::enterEvent(event);
}

void PictureButton::leaveEvent(QEvent* event) {
  FHover = false;
  update();
  QAbstractButton::leaveEvent(event);
}

}  // namespace ui
