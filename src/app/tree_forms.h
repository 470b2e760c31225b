#pragma once
// Windows over the burner's compilation tree: the disc layout window, which
// removes files and folders just before a burn, and the tree window, which
// browses an imported session and extracts from it.
#include <QDialog>
#include <QString>

class QLabel;
class QSplitter;
class QVBoxLayout;
class QTableWidget;
class QTreeWidget;
class QTreeWidgetItem;
class QPushButton;

namespace engine {
class TKavoBurner;
}
namespace appcore {
class DriveJobs;
}
namespace iso {
struct TDEntry;
struct TFEntry;
}

namespace app {

class TCompilationView : public QDialog {
  Q_OBJECT
 public:
  // Rebuilds the tree from the burner's root and lists the root.
  void Refresh();
  // Lists the directory of a tree node.
  void ListDirectory(QTreeWidgetItem* node);
  iso::TDEntry* SelectedDirectory() const;
  // The entry on the grid's current row; null for the header or an empty row.
  iso::TFEntry* CurrentEntry() const;
  QTreeWidget* Tree() const { return tvDir; }
  QTableWidget* Grid() const { return fl; }

 protected:
  enum class Kind { Layout, Tree };
  TCompilationView(engine::TKavoBurner& burner, Kind kind, QWidget* parent);
  // The tree beside the grid, filling `layout`, with room for the tree and
  // every column of the grid.
  void AddSplitView(QVBoxLayout& layout);
  engine::TKavoBurner& FBurner;
  QTreeWidget* tvDir = nullptr;
  QTableWidget* fl = nullptr;

 private:
  QString RowName(int row, const iso::TFEntry& entry) const;
  Kind FKind;
};

class TfrmDiscLayout : public TCompilationView {
  Q_OBJECT
 public:
  TfrmDiscLayout(engine::TKavoBurner& burner, QWidget* parent = nullptr);
  // "Delete" on the grid: the file of the current row.
  void flDeleteClick();
  // "Delete" on the tree: the selected directory with all it holds.
  void tvDirDeleteClick();
};

class TfrmTree : public TCompilationView {
  Q_OBJECT
 public:
  // Extractions run as jobs of `jobs`, the queue of `burner`.
  TfrmTree(engine::TKavoBurner& burner, appcore::DriveJobs& jobs, QWidget* parent = nullptr);
  // Double-click on a row: one file, to the path the person gives.
  void ExtractRow(int row);
  // Click on Msg: every file of the listed directory, to one folder.
  void MsgClick();
  QLabel* StatusPanel() const { return Msg; }

 private:
  // Runs the extraction off the window's thread, asking before anything is
  // replaced; the names that failed, empty when all went well.
  QStringList Extract(const std::vector<std::pair<const iso::TFEntry*, QString>>& jobs);
  appcore::DriveJobs& FJobs;
  QLabel* Msg = nullptr;
};

}  // namespace app
