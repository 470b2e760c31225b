#include "ui/line_edit_text.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetrics>
#include <QLineEdit>
#include <QPointer>

namespace ui {

namespace {

bool BoundsTooTall(const QFontMetrics& fm) {
  return fm.boundingRect(QStringLiteral("0Xg")).height() > fm.height() * 3 / 2;
}

class LineEditAligner final : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Polish || event->type() == QEvent::FontChange) {
      if (auto* edit = qobject_cast<QLineEdit*>(watched)) {
        const Qt::Alignment a = edit->alignment();
        const bool centred = (a & Qt::AlignVertical_Mask) == Qt::AlignVCenter || (a & Qt::AlignVertical_Mask) == 0;
        if (centred && BoundsTooTall(edit->fontMetrics()))
          edit->setAlignment((a & Qt::AlignHorizontal_Mask) | Qt::AlignTop);
      }
    }
    return false;
  }
};

}  // namespace

void KeepLineEditTextInside() {
  static QPointer<QObject> installed;  // goes with its application
  if (qApp == nullptr || installed != nullptr) return;
  installed = new LineEditAligner(qApp);
  qApp->installEventFilter(installed);
}

}  // namespace ui
