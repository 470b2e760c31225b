#include "app/schedule_form.h"

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <unordered_map>

#include "app/add_schedule_form.h"
#include "app/schedule_run.h"
#include "app/schedule_texts.h"
#include "appcore/options.h"
#include "appcore/texts.h"
#include "platform/file_find.h"
#include "platform/time_zone.h"
#include "ui/dialogs.h"

namespace app {

namespace texts = schedule_texts;

namespace {

enum Column { kName, kVolume, kScheduling, kDescription, kTaskFile, kStartDate, kLastBackup };

// The later of two last-backup texts, as days; unreadable ones count as none.
std::int64_t DayOf(const std::string& text, int year) {
  const auto date = appcore::ParseDate(text, platform::ShortDateOrder(), year);
  return date ? appcore::DayNumber(*date) : -1;
}

}  // namespace

TScheduleForm::TScheduleForm(const QString& programFolder, TScheduleRunHost& host, QWidget* parent)
    : QWidget(parent, Qt::Window), FStore(programFolder.toStdString()), FHost(host) {
  setObjectName(QStringLiteral("TScheduleForm"));
  setWindowTitle(QString::fromUtf8(appcore::texts::kScheduleWindowCaption));
  setAccessibleName(windowTitle());
  BuildWindow();
  LoadList();
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(kCheckIntervalMs);
  connect(Timer1, &QTimer::timeout, this, &TScheduleForm::Timer1Timer);
  Timer1->start();
  FHost.OnPercent = [this](int percent) { ShowProgress(percent); };
}

TScheduleForm::~TScheduleForm() { FHost.OnPercent = nullptr; }

void TScheduleForm::BuildWindow() {
  auto* box = new QVBoxLayout(this);
  ToolBar1 = new QToolBar(this);
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setToolButtonStyle(Qt::ToolButtonTextOnly);
  auto add = [this](const char* name, const char* text, void (TScheduleForm::*handler)()) {
    QAction* action = ToolBar1->addAction(QString::fromUtf8(text));
    action->setObjectName(QString::fromUtf8(name));
    connect(action, &QAction::triggered, this, handler);
  };
  add("btnAdd", texts::kAdd, &TScheduleForm::btnAddClick);
  add("btnDelete", texts::kDelete, &TScheduleForm::btnDeleteClick);
  add("btnClear", texts::kClear, &TScheduleForm::btnClearClick);
  add("btnRun", texts::kRun, &TScheduleForm::btnRunClick);
  add("btnEdit", texts::kEdit, &TScheduleForm::btnEditClick);
  add("btnOption", texts::kOptions, &TScheduleForm::btnOptionClick);
  box->addWidget(ToolBar1);

  ltvTask = new QTreeWidget(this);
  ltvTask->setObjectName(QStringLiteral("ltvTask"));
  ltvTask->setAccessibleName(QString::fromUtf8(appcore::texts::kScheduleWindowCaption));
  ltvTask->setRootIsDecorated(false);
  ltvTask->setUniformRowHeights(true);
  ltvTask->setSelectionMode(QAbstractItemView::SingleSelection);
  QStringList headers;
  for (const char* column : texts::kColumns) headers << QString::fromUtf8(column);
  ltvTask->setHeaderLabels(headers);
  // The usual widths, wider where the desktop's font needs it for a caption
  // or a date.
  const QFontMetrics metrics(ltvTask->font());
  const int dateWidth = metrics.horizontalAdvance(QStringLiteral("8888-88-88")) + 16;
  int total = 0;
  for (int i = 0; i < headers.size(); ++i) {
    int width = std::max(texts::kColumnWidths[i], metrics.horizontalAdvance(headers[i]) + 24);
    if (i == kStartDate || i == kLastBackup) width = std::max(width, dateWidth);
    ltvTask->header()->resizeSection(i, width);
    total += width;
  }
  connect(ltvTask, &QTreeWidget::itemDoubleClicked, this, [this] { btnEditClick(); });
  box->addWidget(ltvTask, 1);

  auto* status = new QHBoxLayout;
  labStatus = new QLabel(this);
  labStatus->setObjectName(QStringLiteral("labStatus"));
  pbRun = new QProgressBar(this);
  pbRun->setObjectName(QStringLiteral("pbRun"));
  pbRun->setRange(0, 100);
  pbRun->setVisible(false);
  status->addWidget(labStatus, 1);
  status->addWidget(pbRun);
  box->addLayout(status);
  resize(std::max(680, total + 40), 340);
}

appcore::CalendarDate TScheduleForm::Today() const { return Clock ? Clock() : appcore::Today(); }

const appcore::Options& TScheduleForm::Opts() const {
  static const appcore::Options defaults;
  return CurrentOptions ? CurrentOptions() : defaults;
}

QString TScheduleForm::Hint() const { return QString::fromStdString(appcore::BackupTasksHint(FRows.size())); }

void TScheduleForm::FillRow(QTreeWidgetItem* item, const appcore::ScheduleTask& row) {
  const QString name = QString::fromStdString(row.Name);
  item->setText(kName, name);
  item->setText(kVolume, name);
  item->setText(kScheduling, QString::fromStdString(row.Scheduling));
  item->setText(kDescription, QString::fromStdString(row.Description));
  item->setText(kTaskFile, QString::fromStdString(row.TaskFile));
  item->setText(kStartDate, QString::fromStdString(row.StartDate));
  item->setText(kLastBackup, QString::fromStdString(row.LastBackup));
}

void TScheduleForm::LoadList() {
  FRows = FStore.LoadList(Today());
  ltvTask->clear();
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(FRows.size()));
  for (const auto& row : FRows) {
    auto* item = new QTreeWidgetItem;
    FillRow(item, row);
    items << item;
  }
  ltvTask->addTopLevelItems(items);
  if (OnHint) OnHint(Hint());
}

int TScheduleForm::RowOf(const std::string& name) const {
  for (std::size_t i = 0; i < FRows.size(); ++i)
    if (FRows[i].Name == name) return static_cast<int>(i);
  return -1;
}

bool TScheduleForm::SaveList() {
  // The command line's daemon may have burnt a task since the list was read:
  // its date stays unless ours is later.
  const int year = Today().Year;
  std::unordered_map<std::string, std::string> inFile;
  for (auto& row : FStore.LoadList(Today())) inFile.emplace(row.Name, std::move(row.LastBackup));
  for (std::size_t i = 0; i < FRows.size(); ++i) {
    const auto found = inFile.find(FRows[i].Name);
    if (found == inFile.end() || DayOf(found->second, year) <= DayOf(FRows[i].LastBackup, year)) continue;
    FRows[i].LastBackup = found->second;
    if (QTreeWidgetItem* item = ltvTask->topLevelItem(static_cast<int>(i)))
      item->setText(kLastBackup, QString::fromStdString(found->second));
  }
  const base::Status saved = FStore.SaveList(FRows);
  if (!saved.Ok()) {
    FStatus = QString::fromUtf8(texts::kSaveFailed) + QString::fromStdString(saved.Err().Message);
    labStatus->setText(FStatus);
    return false;
  }
  return true;
}

void TScheduleForm::ListChanged() {
  // Written at once, not only at close, so that the daemon sees the change
  // and a crash loses nothing.
  SaveList();
  if (OnHint) OnHint(Hint());
}

void TScheduleForm::closeEvent(QCloseEvent* event) {
  SaveList();
  if (OnHint) OnHint(Hint());
  event->accept();
}

TAddScheduleForm& TScheduleForm::TaskDialog() {
  if (FTaskDialog == nullptr) FTaskDialog = new TAddScheduleForm(*this);
  return *FTaskDialog;
}

void TScheduleForm::btnAddClick() { TaskDialog().Open(TAddScheduleForm::Mode::Add, nullptr); }

void TScheduleForm::btnEditClick() {
  QTreeWidgetItem* item = ltvTask->currentItem();
  if (item == nullptr) return;
  const int row = ltvTask->indexOfTopLevelItem(item);
  if (row < 0) return;
  TaskDialog().Open(TAddScheduleForm::Mode::Edit, &FRows[static_cast<std::size_t>(row)]);
}

void TScheduleForm::TaskSaved(const appcore::ScheduleTask& saved, bool edit) {
  const int row = RowOf(saved.Name);
  if (row < 0) {
    FRows.push_back(saved);
    auto* item = new QTreeWidgetItem;
    FillRow(item, saved);
    ltvTask->addTopLevelItem(item);
  } else {
    appcore::ScheduleTask& kept = FRows[static_cast<std::size_t>(row)];
    if (edit) {
      // An edit changes the schedule and the description; the dates shown stay.
      kept.Scheduling = saved.Scheduling;
      kept.Description = saved.Description;
    } else {
      kept = saved;
    }
    FillRow(ltvTask->topLevelItem(row), kept);
  }
  ListChanged();
  const base::Status entry = appcore::UpdateScheduledStart(Opts().AutoExecute, FRows.size(), Executable);
  if (!entry.Ok()) labStatus->setText(QString::fromStdString(entry.Err().Message));
}

void TScheduleForm::btnDeleteClick() {
  QTreeWidgetItem* item = ltvTask->currentItem();
  if (item == nullptr) return;
  const int row = ltvTask->indexOfTopLevelItem(item);
  if (row < 0) return;
  const std::string name = FRows[static_cast<std::size_t>(row)].Name;
  FRows.erase(FRows.begin() + row);
  delete item;
  const bool hadFile = platform::FileExists(FStore.TaskFilePath(name));
  const base::Status deleted = FStore.DeleteTask(name);
  if (!deleted.Ok() && hadFile) labStatus->setText(QString::fromStdString(deleted.Err().Message));
  ListChanged();
}

void TScheduleForm::btnClearClick() {
  if (ui::CurrentDialogs().Ask(this, QString::fromUtf8(appcore::texts::kClearQuestion), ui::Yes | ui::No, ui::No) !=
      ui::Yes)
    return;
  FRows.clear();
  ltvTask->clear();
  const base::Status cleared = FStore.ClearAll();
  if (!cleared.Ok()) labStatus->setText(QString::fromStdString(cleared.Err().Message));
  ListChanged();
}

void TScheduleForm::btnRunClick() {
  QTreeWidgetItem* item = ltvTask->currentItem();
  const int row = item != nullptr ? ltvTask->indexOfTopLevelItem(item) : -1;
  if (row < 0) {
    ui::CurrentDialogs().Inform(this, QString::fromUtf8(appcore::texts::kSelectTaskFirst));
    return;
  }
  const appcore::ScheduleTask& task = FRows[static_cast<std::size_t>(row)];
  if (Running()) {
    ui::CurrentDialogs().Inform(this, QString::fromUtf8(texts::kRunnerBusy));
    return;
  }
  RunTask(task.Name, false, task.LastBackup);
}

void TScheduleForm::btnOptionClick() {
  if (OnOptions) OnOptions();
}

void TScheduleForm::Timer1Timer() {
  Timer1->stop();
  if (!Running() && FQueue.empty() && !FRows.empty()) {
    std::vector<std::string> previous;
    previous.reserve(FRows.size());
    for (const auto& row : FRows) previous.push_back(row.LastBackup);
    std::vector<std::string> problems;
    for (const std::size_t i : FRunner.Check(FStore, FRows, Today(), appcore::ScheduleRunner::Clock::now(), problems)) {
      ShowLastBackup(i);
      FQueue.emplace_back(FRows[i].Name, previous[i]);
    }
    if (!problems.empty()) labStatus->setText(QString::fromStdString(problems.front()));
  }
  NextQueued();
}

void TScheduleForm::NextQueued() {
  while (!Running() && !FQueue.empty()) {
    auto [name, previous] = FQueue.front();
    FQueue.pop_front();
    RunTask(name, true, previous);
  }
  // A run, and the questions it asks, hold the check until it ends.
  if (!Running() && FQueue.empty() && !Timer1->isActive()) Timer1->start();
}

void TScheduleForm::ShowLastBackup(std::size_t row, const std::string* date) {
  if (row >= FRows.size()) return;
  if (date != nullptr) FRows[row].LastBackup = *date;
  ltvTask->topLevelItem(static_cast<int>(row))->setText(kLastBackup, QString::fromStdString(FRows[row].LastBackup));
}

void TScheduleForm::RunTask(const std::string& name, bool scheduled, const std::string& previousBackup) {
  const auto row = static_cast<std::size_t>(RowOf(name));
  auto say = [&](const QString& text) {
    FStatus = text;
    labStatus->setText(text);
  };
  auto run = std::make_unique<appcore::ScheduledRun>(FStore, name, scheduled ? &FRunner : nullptr);
  const appcore::RunStart start = run->Begin(scheduled, Today());
  if (start != appcore::RunStart::Ready) {
    if (start == appcore::RunStart::NoLongerDue) {
      // Another runner burnt it since the list was read: take its date.
      for (const auto& fresh : FStore.LoadList(Today()))
        if (fresh.Name == name) ShowLastBackup(row, &fresh.LastBackup);
      return;
    }
    if (scheduled) ShowLastBackup(row, &previousBackup);
    const bool fileProblem = start == appcore::RunStart::TaskProblem;
    const appcore::TaskFileStatus status = run->Task().Status;
    if (fileProblem && status == appcore::TaskFileStatus::Empty) return;  // nothing to burn, nothing to say
    const bool missing = fileProblem && status == appcore::TaskFileStatus::Missing;
    QString why = QString::fromStdString(fileProblem ? run->Task().Error : run->Error());
    if (start == appcore::RunStart::Busy) why = QString::fromUtf8(texts::kRunnerBusy);
    if (missing) why = QString::fromUtf8(appcore::texts::kTaskFileMissingRun);
    // A person's "Run" is told at once; the check says it in the window.
    if (!scheduled && (!fileProblem || missing)) ui::CurrentDialogs().Inform(this, why);
    else say(fileProblem ? QString::fromUtf8(texts::kRunFailed).arg(QString::fromStdString(name), why) : why);
    return;
  }
  const appcore::Options& options = Opts();
  const bool show = options.DisplayWindow && !options.HideWindow;
  FRunning = name;
  FRun = std::move(run);
  say(QString::fromUtf8(texts::kRunning).arg(QString::fromStdString(name)));
  const bool started = FHost.StartRun(
      FRun->TakeTree(), show,
      [this] {
        std::vector<std::string> problems;
        FRun->Started(Opts(), Today(), problems);
        if (!problems.empty()) labStatus->setText(QString::fromStdString(problems.front()));
        if (OnSound) OnSound(true);
      },
      [this, scheduled, previousBackup](const ScheduledBurnEnd& end) {
        RunEnded(scheduled, previousBackup, end.Burnt, end.Problem, end.EndSoundHandled);
      });
  if (!started) {
    FRunning.clear();
    FRun.reset();
    if (scheduled) ShowLastBackup(row, &previousBackup);
    say(QString::fromUtf8(texts::kRunCancelled).arg(QString::fromStdString(name)));
    return;
  }
  pbRun->setValue(0);
  pbRun->setVisible(true);
}

void TScheduleForm::RunEnded(bool scheduled, const std::string& previousBackup, bool burnt, const QString& problem,
                             bool soundHandled) {
  if (FRun == nullptr) return;  // the host's end comes once per started run
  pbRun->setVisible(false);
  const std::string name = FRun->Name();
  std::vector<std::string> problems;
  const appcore::RunRecord record = FRun->End(burnt, Today(), problems);
  FRun.reset();
  const auto row = static_cast<std::size_t>(RowOf(name));
  const QString qname = QString::fromStdString(name);
  if (record == appcore::RunRecord::MarkedDone) {
    const std::string today = appcore::FormatDate(Today());
    ShowLastBackup(row, &today);
    FStatus = QString::fromUtf8(texts::kRunDone).arg(qname);
  } else {
    if (scheduled) ShowLastBackup(row, &previousBackup);
    FStatus = problem.isEmpty() ? QString::fromUtf8(texts::kRunCancelled).arg(qname)
                                : QString::fromUtf8(texts::kRunFailed).arg(qname, problem);
  }
  if (!problems.empty()) FStatus += QStringLiteral("\n") + QString::fromStdString(problems.front());
  labStatus->setText(FStatus);
  if (OnSound && !soundHandled) OnSound(false);
  FRunning.clear();
  emit RunFinished();
  if (FAfterAbort) {
    auto after = std::move(FAfterAbort);
    FAfterAbort = nullptr;
    FQueue.clear();
    after();
    return;
  }
  NextQueued();
}

void TScheduleForm::AbortRun(std::function<void()> ended) {
  if (!Running()) {
    if (ended) ended();
    return;
  }
  FAfterAbort = std::move(ended);
  FHost.Abort();
}

void TScheduleForm::ShowProgress(int percent) {
  if (FRun == nullptr) return;
  pbRun->setValue(percent);
  labStatus->setText(QString::fromUtf8(texts::kRunningPercent).arg(QString::fromStdString(FRunning)).arg(percent));
}

}  // namespace app
