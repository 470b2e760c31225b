#pragma once
// The name list's view: takes drops and hands them to the window.
#include <QTreeView>
#include <functional>

class QMimeData;

namespace app {

class TNameListView : public QTreeView {
  Q_OBJECT
 public:
  using QTreeView::QTreeView;

  std::function<bool(const QMimeData*, const QObject*)> CanDrop;
  std::function<bool(const QMimeData*, const QObject*)> Drop;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

}  // namespace app
