#include "app/name_list_model.h"

#include "app/texts.h"

namespace app {

void TNameListModel::SetFolder(appcore::TaskNode* folder) {
  beginResetModel();
  FFolder = folder;
  FRows.clear();
  if (folder != nullptr) {
    for (const auto& child : folder->Children)
      if (child->IsItem()) FRows.push_back(child.get());
  }
  endResetModel();
}

appcore::TaskNode* TNameListModel::Node(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= FRows.size()) return nullptr;
  return FRows[static_cast<std::size_t>(row)];
}

int TNameListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(FRows.size());
}

int TNameListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant TNameListModel::data(const QModelIndex& index, int role) const {
  const appcore::TaskNode* node = Node(index.row());
  if (node == nullptr) return {};
  if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
    return QString::fromStdString(index.column() == 0 ? node->Name : node->SizeText);
  }
  if (role == Qt::TextAlignmentRole && index.column() == 1) return int(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

QVariant TNameListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  return QString::fromUtf8(section == 0 ? texts::kNameColumn : texts::kSizeColumn);
}

}  // namespace app
