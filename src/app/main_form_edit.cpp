// Editing the task: folders, name-list rows, Cut/Copy/Paste, renames and
// drops. Every visible folder and row holds its data node, so two nodes with
// the same text are never confused.
#include <QDir>
#include <QItemSelectionModel>
#include <QLocale>
#include <QMimeData>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>
#include <algorithm>
#include <unordered_set>

#include "app/main_form.h"
#include "app/name_list_model.h"
#include "app/texts.h"
#include "appcore/source_size.h"
#include "appcore/texts.h"
#include "ui/size_bar.h"

namespace app {

namespace {

constexpr int kNodeRole = Qt::UserRole + 1;

bool Contains(const appcore::TaskNode& root, const appcore::TaskNode* wanted) {
  std::vector<const appcore::TaskNode*> todo{&root};
  while (!todo.empty()) {
    const appcore::TaskNode* node = todo.back();
    todo.pop_back();
    if (node == wanted) return true;
    for (const auto& child : node->Children) todo.push_back(child.get());
  }
  return false;
}

// A dropped path as the system writes it (backslashes on Windows), without
// its trailing separator; a root ("/", "C:\") keeps its one, since "C:"
// alone names the current folder of drive C.
QString DropPath(const QUrl& url) {
  QString path = QDir::toNativeSeparators(url.toLocalFile());
  while (path.size() > 1 && (path.endsWith(QLatin1Char('/')) || path.endsWith(QLatin1Char('\\'))) &&
         !QDir(path).isRoot())
    path.chop(1);
  return path;
}

}  // namespace

appcore::TaskNode* TForm1::DataNode(const QTreeWidgetItem* item) {
  if (item == nullptr) return nullptr;
  return reinterpret_cast<appcore::TaskNode*>(item->data(0, kNodeRole).value<quintptr>());
}

QTreeWidgetItem* TForm1::AddFolderItem(QTreeWidgetItem* parent, appcore::TaskNode& node) {
  auto* item = parent == nullptr ? new QTreeWidgetItem : new QTreeWidgetItem(parent);
  item->setText(0, QString::fromStdString(node.Name));
  item->setData(0, kNodeRole, QVariant::fromValue(reinterpret_cast<quintptr>(&node)));
  item->setFlags(item->flags() | Qt::ItemIsEditable);
  item->setIcon(0, parent == nullptr ? FRootIcon : FFolderIcon);
  return item;
}

void TForm1::RebuildFolderTree() {
  FUpdatingTree = true;
  trvDir->clear();
  if (FTask.Root != nullptr) {
    QTreeWidgetItem* root = AddFolderItem(nullptr, *FTask.Root);
    // Built detached and added once: the view lays out only what it shows.
    std::vector<std::pair<appcore::TaskNode*, QTreeWidgetItem*>> todo{{FTask.Root.get(), root}};
    while (!todo.empty()) {
      auto [node, item] = todo.back();
      todo.pop_back();
      for (const auto& child : node->Children)
        if (!child->IsItem()) todo.emplace_back(child.get(), AddFolderItem(item, *child));
    }
    trvDir->addTopLevelItem(root);
    root->setExpanded(true);
    trvDir->setCurrentItem(root);
  }
  FUpdatingTree = false;
  RefreshNameList();
}

appcore::TaskNode* TForm1::SelectedFolder() {
  if (trvDir->currentItem() == nullptr && trvDir->topLevelItemCount() > 0)
    trvDir->setCurrentItem(trvDir->topLevelItem(0));
  return DataNode(trvDir->currentItem());
}

void TForm1::RefreshNameList() {
  if (FUpdatingTree) return;
  FNameList->SetFolder(DataNode(trvDir->currentItem()));
}

std::vector<appcore::TaskNode*> TForm1::SelectedRows() const {
  QModelIndexList rows = clbox->selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  std::vector<appcore::TaskNode*> nodes;
  for (const QModelIndex& row : rows)
    if (appcore::TaskNode* node = FNameList->Node(row.row())) nodes.push_back(node);
  return nodes;
}

void TForm1::RemoveItems(appcore::TaskNode& folder, const std::vector<appcore::TaskNode*>& items) {
  // One pass over the children, so removing many rows stays linear.
  const std::unordered_set<const appcore::TaskNode*> gone(items.begin(), items.end());
  std::erase_if(folder.Children, [&](const auto& child) { return gone.count(child.get()) != 0; });
  std::erase_if(FClipNodes, [&](const appcore::TaskNode* node) { return gone.count(node) != 0; });
  if (FNameList->Folder() == &folder) FNameList->Refresh();
}

void TForm1::UpdateSizeBar() {
  const appcore::SizeBar bar =
      appcore::ComputeSizeBar(FTask.Root == nullptr ? 0 : appcore::SumNodeSizes(*FTask.Root));
  ProgressBar1->SetBar(bar.Width, QString::fromStdString(bar.Hint));
}

void TForm1::CustomItem7Click() {
  if (FBusy) return;
  QTreeWidgetItem* parent = trvDir->currentItem();
  if (parent == nullptr && trvDir->topLevelItemCount() > 0) parent = trvDir->topLevelItem(0);
  appcore::TaskNode* folder = DataNode(parent);
  if (folder == nullptr) return;
  appcore::TaskNode& node = folder->AddFolder(appcore::texts::kNewFolderPrefix + std::to_string(FNewFolderCount));
  FUpdatingTree = true;
  AddFolderItem(parent, node);
  FUpdatingTree = false;
  parent->setExpanded(true);
  ++FNewFolderCount;
  FModified = true;
}

void TForm1::CustomItem9Click() {
  if (FBusy) return;
  QTreeWidgetItem* item = trvDir->currentItem();
  if (item == nullptr || item->parent() == nullptr) return;  // the root stays
  appcore::TaskNode* parentNode = DataNode(item->parent());
  appcore::TaskNode* node = DataNode(item);
  if (parentNode == nullptr || node == nullptr) return;
  // Forget cut or copied entries that go with the folder before it goes.
  if (FClipSource != nullptr && Contains(*node, FClipSource)) FClipSource = nullptr;
  std::erase_if(FClipNodes, [&](const appcore::TaskNode* n) { return Contains(*node, n); });
  FUpdatingTree = true;
  if (FNameList->Folder() != nullptr && Contains(*node, FNameList->Folder())) FNameList->SetFolder(nullptr);
  delete item;
  parentNode->RemoveChild(node);
  FUpdatingTree = false;
  RefreshNameList();
  UpdateSizeBar();
  FModified = true;
}

void TForm1::CustomItem2Click() {
  if (FBusy) return;
  appcore::TaskNode* folder = FNameList->Folder();
  const std::vector<appcore::TaskNode*> rows = SelectedRows();
  if (folder == nullptr || rows.empty()) return;
  RemoveItems(*folder, rows);
  UpdateSizeBar();
  FModified = true;
}

void TForm1::CustomItem3Click() {
  if (FBusy) return;
  appcore::TaskNode* folder = FNameList->Folder();
  if (folder == nullptr) return;
  std::vector<appcore::TaskNode*> rows;
  for (int row = 0; row < FNameList->rowCount(); ++row) rows.push_back(FNameList->Node(row));
  RemoveItems(*folder, rows);
  UpdateSizeBar();
  FModified = true;
}

void TForm1::CustomItem10Click() { btnNewClick(); }

void TForm1::btnCutClick() {
  const std::vector<appcore::TaskNode*> rows = SelectedRows();
  if (FBusy || rows.empty()) return;
  FClipMode = ClipMode::Cut;
  FClipSource = FNameList->Folder();
  FClipNodes = rows;
  FClipList.clear();
  for (const appcore::TaskNode* node : rows) FClipList.emplace_back(node->Name, node->SizeText);
}

void TForm1::btnCopyClick() {
  btnCutClick();
  if (FClipMode == ClipMode::Cut) FClipMode = ClipMode::Copy;
}

void TForm1::btnPasteClick() {
  if (FBusy || FClipMode == ClipMode::Empty || FClipMode == ClipMode::None || FClipList.empty()) return;
  appcore::TaskNode* target = DataNode(trvDir->currentItem());
  if (target == nullptr) return;
  if (FClipMode == ClipMode::Cut) {
    // A cut moves exactly the rows that were cut and are still there.
    for (const appcore::TaskNode* node : FClipNodes) target->AddItem(node->Name, node->SizeText);
    if (FClipSource != nullptr) RemoveItems(*FClipSource, std::vector<appcore::TaskNode*>(FClipNodes));
  } else {
    for (const auto& [name, size] : FClipList) target->AddItem(name, size);
  }
  FClipMode = ClipMode::None;
  FClipNodes.clear();
  FClipSource = nullptr;
  RefreshNameList();
  // Unsaved either way: closing must not lose what was pasted.
  FModified = true;
}

void TForm1::ForgetClipIfGone() {
  FClipMode = ClipMode::Empty;
  FClipSource = nullptr;
  FClipNodes.clear();
  FClipList.clear();
}

void TForm1::trvDirEdited(QTreeWidgetItem* item, int column) {
  if (FUpdatingTree || column != 0) return;
  appcore::TaskNode* node = DataNode(item);
  if (node == nullptr) return;
  const std::string name = item->text(0).toStdString();
  if (name == node->Name) return;
  if (item->text(0).trimmed().isEmpty()) {
    // A folder needs a name; the edit is undone.
    FUpdatingTree = true;
    item->setText(0, QString::fromStdString(node->Name));
    FUpdatingTree = false;
    return;
  }
  // Applied at once; "*", "(" and ")" are written escaped in task files.
  node->Name = name;
  FModified = true;
}

bool TForm1::clBoxDragOver(const QMimeData* mime, const QObject* source) const {
  if (FBusy || mime == nullptr || !mime->hasUrls() || mime->urls().isEmpty()) return false;
  // Rows moved within the window go by Cut and Paste.
  if (source != nullptr && (source == clbox || source == trvDir || source == clbox->viewport())) return false;
  const QList<QUrl> urls = mime->urls();
  return std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); });
}

bool TForm1::clBoxDragDrop(const QMimeData* mime, const QObject* source) {
  if (!clBoxDragOver(mime, source)) return false;
  appcore::TaskNode* target = SelectedFolder();
  if (target == nullptr) return false;
  QStringList paths;
  for (const QUrl& url : mime->urls()) paths << DropPath(url);
  // Sizes are measured on a worker; the folder cannot change meanwhile
  // because the window takes no edits until the drop is in.
  // A cancelled read still finishing goes first; its result is dropped.
  SetBusy(true, QString::fromUtf8(texts::kMeasuringDrop).arg(0));
  auto control = std::make_shared<appcore::MeasureControl>();
  FMeasure = control;
  const std::uint64_t generation = ++FGeneration;
  FWorker->Run([this, control, paths, target, generation]() -> appcore::Worker::Delivery {
    std::vector<std::int64_t> sizes;
    bool cancelled = false;
    for (const QString& path : paths) {
      const std::optional<std::int64_t> size = appcore::MeasureSource(path.toStdString(), *control);
      if (!size) {
        cancelled = true;
        break;
      }
      sizes.push_back(*size);
    }
    return [this, generation, target, paths, sizes, cancelled] {
      MeasureDone(generation, target, paths, sizes, cancelled);
    };
  });
  return true;
}

void TForm1::MeasureDone(std::uint64_t generation, appcore::TaskNode* target, QStringList paths,
                         std::vector<std::int64_t> sizes, bool cancelled) {
  if (generation != FGeneration) return;
  FMeasure.reset();
  if (!cancelled && Contains(*FTask.Root, target)) {
    const std::string separator = QLocale().groupSeparator().toStdString();
    for (qsizetype i = 0; i < paths.size() && static_cast<std::size_t>(i) < sizes.size(); ++i)
      target->AddItem(paths[i].toStdString(), appcore::FormatSize(sizes[static_cast<std::size_t>(i)], separator));
    if (FNameList->Folder() == target) FNameList->Refresh();
    UpdateSizeBar();
    FModified = true;
  }
  EndBusy();
}

}  // namespace app
