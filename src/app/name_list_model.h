#pragma once
// The name list (clbox): the dropped items of one folder, one row each. Each
// row holds its data node, so two rows with the same text stay two items.
#include <QAbstractTableModel>
#include <vector>

#include "appcore/task_tree.h"

namespace app {

class TNameListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  using QAbstractTableModel::QAbstractTableModel;

  // Shows the items of `folder` (nullptr: no rows).
  void SetFolder(appcore::TaskNode* folder);
  appcore::TaskNode* Folder() const { return FFolder; }
  // Re-reads the folder's children after they changed.
  void Refresh() { SetFolder(FFolder); }
  appcore::TaskNode* Node(int row) const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  appcore::TaskNode* FFolder = nullptr;
  std::vector<appcore::TaskNode*> FRows;
};

}  // namespace app
