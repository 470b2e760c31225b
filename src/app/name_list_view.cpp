#include "app/name_list_view.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>

namespace app {

void TNameListView::dragEnterEvent(QDragEnterEvent* event) {
  if (CanDrop && CanDrop(event->mimeData(), event->source())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void TNameListView::dragMoveEvent(QDragMoveEvent* event) {
  if (CanDrop && CanDrop(event->mimeData(), event->source())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

void TNameListView::dropEvent(QDropEvent* event) {
  if (Drop && Drop(event->mimeData(), event->source())) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->ignore();
  }
}

}  // namespace app
