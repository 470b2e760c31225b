#include "ui/size_bar.h"

#include <QPainter>
#include <algorithm>


namespace ui {

namespace {
// The main window's design width, which the bar widths are computed for.
constexpr std::int64_t kDesignWidth = 969;
}  // namespace

SizeBar::SizeBar(QWidget* parent) : QWidget(parent) {
  setAccessibleName(QStringLiteral("Size of the task"));
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  setToolTip(QStringLiteral("0 MB"));
}

void SizeBar::SetBar(std::int64_t width, const QString& hint) {
  FWidth = std::max<std::int64_t>(width, 0);
  setToolTip(hint);
  setAccessibleDescription(hint);
  update();
}

QSize SizeBar::sizeHint() const { return {static_cast<int>(kDesignWidth), fontMetrics().height() / 2 + 6}; }

void SizeBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().color(QPalette::Base));
  // A task beyond the full scale fills the bar and no more.
  const std::int64_t shown = std::min<std::int64_t>(FWidth, kDesignWidth);
  const int pixels = static_cast<int>(shown * width() / kDesignWidth);
  const QColor fill = FWidth > kDesignWidth ? QColor(200, 40, 40) : palette().color(QPalette::Highlight);
  p.fillRect(QRect(0, 0, pixels, height()), fill);
  p.setPen(palette().color(QPalette::Mid));
  p.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace ui
