#include "app/tree_forms.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <set>
#include <utility>
#include <vector>

#include "app/background_work.h"
#include "app/disc_layout_form.h"
#include "app/drive_texts.h"
#include "engine/kavo_burner.h"
#include "engine/iso/date_time.h"
#include "platform/file_find.h"
#include "ui/dialog_interaction.h"
#include "ui/dialogs.h"

namespace app {
namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }
constexpr std::uint32_t kDirectoryBit = 0x10;
constexpr int kEntryRole = Qt::UserRole + 1;

QString DateText(iso::TDateTime value) {
  const auto t = iso::DecodeDateTime(value);
  if (!t) return QString();
  return QStringLiteral("%1-%2-%3 %4:%5:%6")
      .arg(t->Month, 2, 10, QLatin1Char('0'))
      .arg(t->Day, 2, 10, QLatin1Char('0'))
      .arg(t->Year, 4, 10, QLatin1Char('0'))
      .arg(t->Hour, 2, 10, QLatin1Char('0'))
      .arg(t->Minute, 2, 10, QLatin1Char('0'))
      .arg(t->Second, 2, 10, QLatin1Char('0'));
}

QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

// A file's name as it goes on the person's disk: without the dot that the
// add rule gives names without an extension; empty when the name from the
// disc could lead out of the chosen folder.
QString LocalName(const iso::TFEntry& entry) {
  std::string name = entry.LongName;
  if (name.size() > 1 && name.back() == '.') name.pop_back();
  if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos ||
      !platform::IsValidFileName(name))
    return QString();
  return QString::fromStdString(name);
}

// The status panel answers clicks.
class TStatusPanel : public QLabel {
 public:
  using QLabel::QLabel;
  std::function<void()> OnClick;

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()) && OnClick) OnClick();
    QLabel::mouseReleaseEvent(event);
  }
};

}  // namespace

TCompilationView::TCompilationView(engine::TKavoBurner& burner, Kind kind, QWidget* parent)
    : QDialog(parent), FBurner(burner), FKind(kind) {
  setModal(true);
  tvDir = new QTreeWidget(this);
  tvDir->setObjectName(QStringLiteral("tvDir"));
  tvDir->setAccessibleName(QStringLiteral("Directories"));
  tvDir->setHeaderHidden(true);
  fl = new QTableWidget(this);
  fl->setObjectName(QStringLiteral("fl"));
  fl->setAccessibleName(QStringLiteral("Files of the directory"));
  fl->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  fl->setSelectionBehavior(QAbstractItemView::SelectRows);
  fl->setSelectionMode(QAbstractItemView::SingleSelection);
  fl->setEditTriggers(QAbstractItemView::NoEditTriggers);
  fl->verticalHeader()->hide();
  fl->verticalHeader()->setDefaultSectionSize(std::max(18, fl->fontMetrics().height() + 4));
  fl->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  const QStringList headers = kind == Kind::Layout
                                  ? QStringList{Text(texts::kFileName), Text(texts::kFileSize), Text(texts::kDateTime)}
                                  : QStringList{Text(texts::kFileName), Text(texts::kFileSize)};
  fl->setColumnCount(static_cast<int>(headers.size()));
  fl->setHorizontalHeaderLabels(headers);
  const int scale = std::max(96, logicalDpiX());
  const std::vector<int> widths = kind == Kind::Layout ? std::vector<int>{254, 71, 141} : std::vector<int>{361, 71};
  for (std::size_t c = 0; c < widths.size(); ++c) fl->setColumnWidth(static_cast<int>(c), widths[c] * scale / 96);
  // Sizes (9 characters) and dates ("mm-dd-yyyy hh:nn:ss") fit whatever the font.
  const QFontMetrics fixed(fl->font());
  fl->setColumnWidth(1, std::max(fl->columnWidth(1), fixed.horizontalAdvance(QStringLiteral("999999999")) + 16));
  if (kind == Kind::Layout)
    fl->setColumnWidth(2, std::max(fl->columnWidth(2), fixed.horizontalAdvance(QStringLiteral("00-00-0000 00:00:00")) + 16));
  fl->horizontalHeader()->setStretchLastSection(true);
  connect(tvDir, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* node) { ListDirectory(node); });
}

void TCompilationView::Refresh() {
  tvDir->clear();
  iso::TDEntry* root = FBurner.FindCompilationDir("\\");
  if (root == nullptr) {
    ListDirectory(nullptr);
    return;
  }
  auto* top = new QTreeWidgetItem(tvDir, QStringList{Text(texts::kRootNode)});
  top->setData(0, kEntryRole, QVariant::fromValue(reinterpret_cast<quintptr>(root)));
  // Iterative, so a deep tree from a disc cannot exhaust the stack.
  std::vector<std::pair<QTreeWidgetItem*, const iso::TDEntry*>> pending{{top, root}};
  while (!pending.empty()) {
    auto [node, dir] = pending.back();
    pending.pop_back();
    for (const iso::TFEntry* e = dir->FirstChild; e != nullptr; e = e->Next) {
      if ((e->Attributes & kDirectoryBit) == 0 || e->DirEntry == nullptr) continue;
      auto* child = new QTreeWidgetItem(node, QStringList{QString::fromStdString(e->LongName)});
      child->setData(0, kEntryRole, QVariant::fromValue(reinterpret_cast<quintptr>(e->DirEntry)));
      pending.emplace_back(child, e->DirEntry);
    }
  }
  top->setExpanded(true);
  tvDir->setCurrentItem(top);
  ListDirectory(top);
}

void TCompilationView::AddSplitView(QVBoxLayout& layout) {
  auto* split = new QSplitter(Qt::Horizontal, this);
  split->addWidget(tvDir);
  split->addWidget(fl);
  split->setStretchFactor(1, 3);
  layout.addWidget(split, 1);
  const int scale = std::max(96, logicalDpiX());
  int grid = 2 * fl->frameWidth() + fl->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4;
  for (int c = 0; c < fl->columnCount(); ++c) grid += fl->columnWidth(c);
  const int tree = 190 * scale / 96;
  split->setSizes({tree, grid});
  resize(std::max({tree + grid + 40, width(), fontMetrics().horizontalAdvance(windowTitle()) + 120}), 420 * scale / 96);
}

iso::TDEntry* TCompilationView::SelectedDirectory() const {
  const QTreeWidgetItem* node = tvDir->currentItem();
  return node == nullptr ? nullptr : reinterpret_cast<iso::TDEntry*>(node->data(0, kEntryRole).value<quintptr>());
}

QString TCompilationView::RowName(int row, const iso::TFEntry& entry) const {
  const QString name = QString::fromStdString(entry.LongName);
  if (FKind == Kind::Layout) return name;
  return QStringLiteral("%1 ").arg(row, 2) + name;
}

void TCompilationView::ListDirectory(QTreeWidgetItem* node) {
  fl->clearContents();
  const iso::TDEntry* dir =
      node == nullptr ? nullptr : reinterpret_cast<iso::TDEntry*>(node->data(0, kEntryRole).value<quintptr>());
  int rows = 0;
  for (const iso::TFEntry* e = dir == nullptr ? nullptr : dir->FirstChild; e != nullptr; e = e->Next) ++rows;
  // The header row is the grid's own header; an empty directory shows one
  // empty row.
  fl->setRowCount(std::max(rows, 1));
  int row = 0;
  for (const iso::TFEntry* e = dir == nullptr ? nullptr : dir->FirstChild; e != nullptr; e = e->Next, ++row) {
    const bool isDir = (e->Attributes & kDirectoryBit) != 0;
    auto* name = Cell(RowName(row + 1, *e));
    name->setData(kEntryRole, QVariant::fromValue(reinterpret_cast<quintptr>(e)));
    fl->setItem(row, 0, name);
    fl->setItem(row, 1, Cell(isDir ? Text(texts::kDirMark) : QStringLiteral("%1").arg(e->RecordedSize, 9)));
    if (FKind == Kind::Layout) fl->setItem(row, 2, Cell(isDir ? QString() : DateText(e->DateTime)));
  }
  if (rows == 0)
    for (int c = 0; c < fl->columnCount(); ++c) fl->setItem(0, c, Cell(QString()));
  fl->setCurrentCell(0, 0);
}

iso::TFEntry* TCompilationView::CurrentEntry() const {
  const QTableWidgetItem* item = fl->item(fl->currentRow(), 0);
  return item == nullptr ? nullptr : reinterpret_cast<iso::TFEntry*>(item->data(kEntryRole).value<quintptr>());
}

// --- disc layout -------------------------------------------------------------

TfrmDiscLayout::TfrmDiscLayout(engine::TKavoBurner& burner, QWidget* parent)
    : TCompilationView(burner, Kind::Layout, parent) {
  setObjectName(QStringLiteral("TfrmDiscLayout"));
  setWindowTitle(Text(texts::kLayoutCaption));
  auto* layout = new QVBoxLayout(this);
  AddSplitView(*layout);
  auto* bClose = new QPushButton(Text(texts::kClose), this);
  bClose->setObjectName(QStringLiteral("bClose"));
  connect(bClose, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(bClose, 0, Qt::AlignRight);

  const auto action = [this](QWidget* owner, const char* name, const char* text, const QKeySequence& keys,
                             void (TfrmDiscLayout::*handler)()) {
    auto* a = new QAction(Text(text), owner);
    a->setObjectName(Text(name));
    a->setShortcut(keys);
    a->setShortcutContext(Qt::WidgetShortcut);
    connect(a, &QAction::triggered, this, handler);
    owner->addAction(a);
    return a;
  };
  const auto popup = [this](QWidget* owner, const char* name, std::initializer_list<QAction*> actions) {
    auto* menu = new QMenu(owner);
    menu->setObjectName(Text(name));
    menu->addActions(QList<QAction*>(actions));
    owner->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(owner, &QWidget::customContextMenuRequested, this, [menu, owner](const QPoint& at) {
      menu->popup(owner->mapToGlobal(at));
    });
  };
  QAction* flDelete = action(fl, "flDelete", texts::kDelete, QKeySequence::Delete, &TfrmDiscLayout::flDeleteClick);
  QAction* flRefresh = action(fl, "flRefresh", texts::kRefresh, QKeySequence(Qt::Key_F5), &TCompilationView::Refresh);
  QAction* tvDelete = action(tvDir, "tvDirDelete", texts::kDelete, QKeySequence::Delete, &TfrmDiscLayout::tvDirDeleteClick);
  QAction* tvRefresh = action(tvDir, "tvDirRefresh", texts::kRefresh, QKeySequence(Qt::Key_F5), &TCompilationView::Refresh);
  popup(fl, "PopupMenu1", {flDelete, flRefresh});
  popup(tvDir, "PopupMenu2", {tvDelete, tvRefresh});
  Refresh();
}

void TfrmDiscLayout::flDeleteClick() {
  iso::TFEntry* entry = CurrentEntry();
  if (entry == nullptr) return;
  if ((entry->Attributes & kDirectoryBit) != 0) {
    ui::CurrentDialogs().Inform(this, Text(texts::kNoDeleteDir).arg(QString::fromStdString(entry->LongName)));
    return;
  }
  iso::TDEntry* dir = SelectedDirectory();
  if (dir == nullptr) return;
  const int row = fl->currentRow();
  FBurner.RemoveCompilationEntry(dir->PathKey.empty() ? std::string("\\") : dir->PathKey, entry->LongName);
  ListDirectory(tvDir->currentItem());
  fl->setCurrentCell(std::min(row, fl->rowCount() - 1), 0);
}

void TfrmDiscLayout::tvDirDeleteClick() {
  // The root is refused by the burner: then only the view is rebuilt.
  FBurner.RemoveCompilationDir(SelectedDirectory());
  Refresh();
}

void ShowDiscLayout(QWidget* parent, engine::TKavoBurner& burner) {
  TfrmDiscLayout window(burner, parent);
  window.exec();
}

// --- tree and extraction -----------------------------------------------------

TfrmTree::TfrmTree(engine::TKavoBurner& burner, appcore::DriveJobs& jobs, QWidget* parent)
    : TCompilationView(burner, Kind::Tree, parent), FJobs(jobs) {
  setObjectName(QStringLiteral("TfrmTree"));
  setWindowTitle(Text(texts::kTreeCaption));
  auto* layout = new QVBoxLayout(this);
  AddSplitView(*layout);
  auto* status = new TStatusPanel(Text(texts::kExtractAllHint), this);
  Msg = status;
  Msg->setObjectName(QStringLiteral("Msg"));
  Msg->setFrameShape(QFrame::StyledPanel);
  Msg->setCursor(Qt::PointingHandCursor);
  Msg->setToolTip(Text(texts::kExtractAllHint));
  status->OnClick = [this] { MsgClick(); };
  layout->addWidget(Msg);
  connect(fl, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { ExtractRow(row); });
  FBurner.FindCompilationDir("\\");
  Refresh();
}

void TfrmTree::ExtractRow(int row) {
  fl->setCurrentCell(row, 0);
  const iso::TFEntry* entry = CurrentEntry();
  if (entry == nullptr) return;
  const QString name = QString::fromStdString(entry->LongName);
  if ((entry->Attributes & kDirectoryBit) != 0) {
    ui::CurrentDialogs().Inform(this, Text(texts::kNoExtractDir).arg(name));
    return;
  }
  // Prefilled in the person's home: a bare name would land wherever the
  // program happened to be started.
  const QString local = LocalName(*entry);
  QString target;
  if (!ui::CurrentDialogs().TextInput(this, Text(texts::kExtractCaption), Text(texts::kExtractPrompt),
                                      QDir::home().filePath(local.isEmpty() ? QStringLiteral("extracted") : local),
                                      target))
    return;
  target = target.trimmed();
  if (target.isEmpty()) return;
  if (QFileInfo(target).isRelative()) target = QDir::home().filePath(target);
  const QStringList failed = Extract({{entry, QDir::cleanPath(target)}});
  if (!failed.isEmpty()) ui::CurrentDialogs().Inform(this, Text(texts::kExtractFailed).arg(failed.join('\n')));
}

void TfrmTree::MsgClick() {
  const QString folder =
      ui::CurrentDialogs().ExistingDirectory(this, Text(texts::kExtractAllCaption), QDir::homePath());
  if (folder.isEmpty()) return;
  std::vector<std::pair<const iso::TFEntry*, QString>> jobs;
  QStringList unsafe;
  for (int row = 0; row < fl->rowCount(); ++row) {
    const QTableWidgetItem* item = fl->item(row, 0);
    const auto* entry = item == nullptr ? nullptr : reinterpret_cast<iso::TFEntry*>(item->data(kEntryRole).value<quintptr>());
    if (entry == nullptr || (entry->Attributes & kDirectoryBit) != 0) continue;
    const QString local = LocalName(*entry);
    if (local.isEmpty()) {
      unsafe << Text(texts::kUnsafeName).arg(QString::fromStdString(entry->LongName));
      continue;
    }
    jobs.emplace_back(entry, QDir(folder).filePath(local));
  }
  QStringList failed = unsafe;
  if (!jobs.empty()) failed << Extract(jobs);
  if (!failed.isEmpty()) ui::CurrentDialogs().Inform(this, Text(texts::kExtractFailed).arg(failed.join('\n')));
}

QStringList TfrmTree::Extract(const std::vector<std::pair<const iso::TFEntry*, QString>>& jobs) {
  // Asked on this thread while the worker waits; a No keeps the file.
  ui::DialogInteraction questions(this);
  std::set<std::string> kept;
  auto previous = std::exchange(FBurner.OnOverwriteFile, [&questions, &kept](engine::TKavoBurner&, const std::string& path) {
    const engine::OverwriteAnswer answer = questions.OverwriteFile(path);
    if (answer == engine::OverwriteAnswer::Skip) kept.insert(path);
    return answer;
  });
  std::vector<int> results(jobs.size(), -1);
  QLabel* status = Msg;
  const WorkOutcome outcome = RunWithProgress(
      this, FBurner, FJobs, engine::OperationPhase::Extracting, Text(texts::kExtracting).trimmed(),
      [&jobs, &results, status](engine::TKavoBurner& burner) {
        for (std::size_t i = 0; i < jobs.size() && !burner.CancelRequested(); ++i) {
          const QString shown = Text(texts::kExtracting) + QString::fromStdString(jobs[i].first->LongName);
          QMetaObject::invokeMethod(status, [status, shown] { status->setText(shown); }, Qt::QueuedConnection);
          results[i] = burner.ExtractDiscFile(*jobs[i].first, jobs[i].second.toStdString());
        }
      });
  FBurner.OnOverwriteFile = std::move(previous);
  Msg->setText(Text(texts::kExtractAllHint));
  QStringList failed;
  if (outcome == WorkOutcome::NotStarted) {
    for (const auto& job : jobs) failed << QString::fromStdString(job.first->LongName);
    return failed;
  }
  for (std::size_t i = 0; i < jobs.size(); ++i)
    if (results[i] == 0 && kept.count(jobs[i].second.toStdString()) == 0 && outcome == WorkOutcome::Done &&
        !FBurner.CancelRequested())
      failed << QString::fromStdString(jobs[i].first->LongName);
  return failed;
}

}  // namespace app
