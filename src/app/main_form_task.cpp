// New, Open and Save of task files, closing the window, and the long work
// that runs off the window's thread.
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QDateTime>
#include <QLabel>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <utility>

#include "app/main_form.h"
#include "app/name_list_model.h"
#include "app/texts.h"
#include "appcore/source_size.h"
#include "appcore/texts.h"
#include "ui/dialogs.h"
#include "ui/size_bar.h"

namespace app {

namespace {

QString TaskFilter() { return QString::fromUtf8(texts::kTaskFilter); }

}  // namespace

void TForm1::ResetTask() {
  const QDate today = QDate::currentDate();
  ShowTask(appcore::NewTask(appcore::RootText(today.year(), today.month(), today.day())), 0, false);
}

void TForm1::ShowTask(appcore::TaskTree task, int newFolders, bool modified) {
  FTask = std::move(task);
  FOperationFiles.clear();
  FNewFolderCount = newFolders;
  ForgetClipIfGone();
  RebuildFolderTree();
  UpdateSizeBar();
  FModified = modified;
}

void TForm1::btnNewClick() {
  if (FBusy) return;
  if (FModified) {
    const ui::Button answer = ui::CurrentDialogs().Message(this, QString::fromUtf8(appcore::texts::kQuery),
                                                           QString::fromUtf8(appcore::texts::kSaveQuestion),
                                                           ui::MessageIcon::Question, ui::Yes | ui::No | ui::Cancel,
                                                           ui::Yes);
    if (answer == ui::Cancel) return;
    // A save that did not happen keeps the task: the person asked for it.
    if (answer == ui::Yes) {
      btnSaveClick([this](bool written) {
        if (written) ResetTask();
      });
      return;
    }
  }
  ResetTask();
}

namespace {

std::unique_ptr<appcore::TaskNode> CopyTree(const appcore::TaskNode& from) {
  auto root = std::make_unique<appcore::TaskNode>();
  std::vector<std::pair<const appcore::TaskNode*, appcore::TaskNode*>> todo{{&from, root.get()}};
  while (!todo.empty()) {
    auto [source, target] = todo.back();
    todo.pop_back();
    target->Kind = source->Kind;
    target->Name = source->Name;
    target->SizeText = source->SizeText;
    target->Children.reserve(source->Children.size());
    for (const auto& child : source->Children) {
      target->Children.push_back(std::make_unique<appcore::TaskNode>());
      todo.emplace_back(child.get(), target->Children.back().get());
    }
  }
  return root;
}

}  // namespace

bool TForm1::btnSaveClick(std::function<void(bool written)> done) {
  if (FBusy || FSaving || FTask.Root == nullptr) return false;
  QString path = ui::CurrentDialogs().SaveFileName(this, QString::fromUtf8(texts::kSaveTaskCaption), FAppFolder,
                                                   TaskFilter());
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += QString::fromUtf8(appcore::kTaskFileExtension);
  // The task as it is now goes to the file; an edit from here on marks the
  // window modified again.
  std::shared_ptr<appcore::TaskNode> snapshot = CopyTree(*FTask.Root);
  FSaving = true;
  const bool wasModified = FModified;
  FModified = false;
  FWorker->Run([this, snapshot, path, done = std::move(done), wasModified]() -> appcore::Worker::Delivery {
    auto written = std::make_shared<base::Status>(appcore::WriteTaskFile(path.toStdString(), *snapshot));
    return [this, written, path, done, wasModified] {
      FSaving = false;
      if (!written->Ok()) {
        // Nothing was kept: the window's task is as unsaved as before.
        if (wasModified) FModified = true;
        ui::CurrentDialogs().Inform(this, QString::fromUtf8(texts::kSaveFailed) + path + QStringLiteral("\n") +
                                              QString::fromStdString(written->Err().Message));
      }
      const bool ok = written->Ok();
      std::function<void()> close = std::move(FCloseAfterSave);
      FCloseAfterSave = nullptr;
      const bool onlyIfWritten = std::exchange(FCloseOnlyIfWritten, false);
      emit SaveFinished(ok);
      if (done) done(ok);
      // A close asked for meanwhile comes now, with its question if the
      // task is still unsaved.
      if (close && (ok || !onlyIfWritten)) close();
    };
  });
  return true;
}

void TForm1::btnOpenClick() {
  if (FBusy) return;
  const QString path = ui::CurrentDialogs().OpenFileName(this, QString::fromUtf8(texts::kOpenTaskCaption), FAppFolder,
                                                         TaskFilter());
  if (!path.isEmpty()) OpenTaskFile(path);
}

void TForm1::OpenTaskFile(const QString& path) {
  if (FBusy) return;
  SetBusy(true, QString::fromUtf8(texts::kLoadingTask));
  const std::uint64_t generation = ++FGeneration;
  const std::string file = path.toStdString();
  FWorker->Run([this, generation, file]() -> appcore::Worker::Delivery {
    auto result = std::make_shared<base::Result<std::string>>(appcore::ReadTaskFileText(file));
    auto tree = std::make_shared<base::Result<appcore::TaskTree>>(appcore::TaskTree{});
    if (result->Ok()) *tree = appcore::ParseTaskText(result->Value());
    else *tree = result->Err();
    return [this, generation, tree] {
      if (generation != FGeneration) return;
      if (!tree->Ok()) {
        EndBusy();
        ui::CurrentDialogs().Inform(this, QString::fromStdString(tree->Err().Message));
        return;
      }
      // An empty file changes nothing.
      if (tree->Value().Empty()) {
        EndBusy();
        return;
      }
      FPendingTask = std::make_unique<appcore::TaskTree>(std::move(tree->Value()));
      FPendingRoot.reset(AddFolderItem(nullptr, *FPendingTask->Root));
      FPendingTodo.assign(1, {FPendingTask->Root.get(), FPendingRoot.get()});
      BuildOpenedTreeSlice(generation);
    };
  });
}

void TForm1::BuildOpenedTreeSlice(std::uint64_t generation) {
  if (generation != FGeneration || FPendingTask == nullptr) return;
  // A task of many folders gets its folder items a slice at a time, so the
  // window keeps answering; the task shown stays until the new one is whole.
  constexpr int kFoldersPerSlice = 2000;
  for (int made = 0; made < kFoldersPerSlice && !FPendingTodo.empty(); ++made) {
    auto [node, item] = FPendingTodo.back();
    FPendingTodo.pop_back();
    for (const auto& child : node->Children)
      if (!child->IsItem()) FPendingTodo.emplace_back(child.get(), AddFolderItem(item, *child));
  }
  if (!FPendingTodo.empty()) {
    QTimer::singleShot(0, this, [this, generation] { BuildOpenedTreeSlice(generation); });
    return;
  }
  FUpdatingTree = true;
  trvDir->clear();
  FTask = std::move(*FPendingTask);
  FOperationFiles.clear();
  FPendingTask.reset();
  QTreeWidgetItem* root = FPendingRoot.release();
  trvDir->addTopLevelItem(root);
  root->setExpanded(true);
  trvDir->setCurrentItem(root);
  FUpdatingTree = false;
  ForgetClipIfGone();
  RefreshNameList();
  UpdateSizeBar();
  FModified = false;
  EndBusy();
}

void TForm1::DropPendingTask() {
  FPendingTodo.clear();
  FPendingRoot.reset();
  FPendingTask.reset();
}

void TForm1::SetBusy(bool busy, const QString& text) {
  FBusy = busy;
  for (QAction* action : FEditActions) action->setEnabled(!busy);
  trvDir->setEnabled(!busy);
  clbox->setEnabled(!busy);
  if (!busy) return;
  labBusy->setText(text);
  FBusyStartMs = QDateTime::currentMSecsSinceEpoch();
  FProgressTimer = new QTimer(this);
  FProgressTimer->setInterval(100);
  connect(FProgressTimer, &QTimer::timeout, this, [this] {
    // Quick work finishes without a flash of the panel.
    if (QDateTime::currentMSecsSinceEpoch() - FBusyStartMs >= 300) panBusy->show();
    if (FMeasure) labBusy->setText(QString::fromUtf8(texts::kMeasuringDrop).arg(FMeasure->EntriesSeen.load()));
  });
  FProgressTimer->start();
}

void TForm1::EndBusy() {
  if (FProgressTimer != nullptr) {
    FProgressTimer->stop();
    FProgressTimer->deleteLater();
    FProgressTimer = nullptr;
  }
  panBusy->hide();
  SetBusy(false, {});
  emit BusyFinished();
}

void TForm1::CancelBusy() {
  if (!FBusy) return;
  // A drop's walk stops at its next entry; a task being read is read to its
  // end (the file is bounded) and thrown away.
  ++FGeneration;
  DropPendingTask();
  // The cancelled walk's late result is dropped by its generation.
  if (FMeasure) {
    FMeasure->Cancel = true;
    FMeasure.reset();
  }
  EndBusy();
}

bool TForm1::FormCloseQuery(std::function<void()> afterSave) {
  CancelBusy();
  if (FSaving) {
    // Asked again once the file is written (the save may fail).
    FCloseAfterSave = std::move(afterSave);
    FCloseOnlyIfWritten = false;
    return false;
  }
  if (!FModified) return true;
  const ui::Button answer = ui::CurrentDialogs().Message(this, QString::fromUtf8(appcore::texts::kQuery),
                                                         QString::fromUtf8(appcore::texts::kSaveQuestion),
                                                         ui::MessageIcon::Question, ui::Yes | ui::No | ui::Cancel,
                                                         ui::Yes);
  if (answer == ui::Cancel) return false;
  if (answer == ui::Yes) {
    // A save that fails or is cancelled keeps the window open.
    FCloseAfterSave = std::move(afterSave);
    FCloseOnlyIfWritten = true;
    if (!btnSaveClick()) {
      FCloseAfterSave = nullptr;
      FCloseOnlyIfWritten = false;
    }
    return false;
  }
  FModified = false;
  return true;
}

void TForm1::closeEvent(QCloseEvent* event) {
  if (!FormCloseQuery([this] { close(); })) {
    event->ignore();
    return;
  }
  event->accept();
  if (OnClosed) OnClosed();
}

}  // namespace app
