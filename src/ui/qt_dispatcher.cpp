#include "ui/qt_dispatcher.h"

#include <QMetaObject>

namespace ui {

void QtDispatcher::Post(std::function<void()> call) {
  // QPointer is read on the posting thread: the context lives as long as the
  // window that owns the burner, and the burner joins its workers first.
  QObject* context = FContext.data();
  if (!context) return;
  QMetaObject::invokeMethod(context, std::move(call), Qt::QueuedConnection);
}

}  // namespace ui
