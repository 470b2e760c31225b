#pragma once
// The schedule window: the list of backup tasks, the ten-second check for
// due tasks and the runs. It lives from program start to program end,
// shown or not, so its timer runs whenever the program runs. The list and
// the task files are the same store the command line's schedule daemon
// reads; a lock in the Schedule folder keeps two runners from burning at once.
#include <QString>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "appcore/schedule.h"
#include "appcore/schedule_runner.h"

class QLabel;
class QProgressBar;
class QTimer;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace app {

class TAddScheduleForm;
class TScheduleRunHost;

class TScheduleForm : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kCheckIntervalMs = 10000;

  TScheduleForm(const QString& programFolder, TScheduleRunHost& host, QWidget* parent = nullptr);
  ~TScheduleForm() override;

  // Tests move the calendar on; the program uses the system's.
  std::function<appcore::CalendarDate()> Clock;
  // The options of the running program (drive answers, log, sounds).
  std::function<const appcore::Options&()> CurrentOptions;
  // The executable the log-on entry starts.
  std::string Executable;
  // The notification-area hint changed ("N Backup Tasks").
  std::function<void(const QString&)> OnHint;
  std::function<void()> OnOptions;
  // A run's start and end sounds; the program plays them.
  std::function<void(bool start)> OnSound;

  // The toolbar's actions.
  void btnAddClick();
  void btnEditClick();
  void btnDeleteClick();
  void btnClearClick();
  void btnRunClick();
  void btnOptionClick();
  // The ten-second check.
  void Timer1Timer();

  const std::vector<appcore::ScheduleTask>& Tasks() const { return FRows; }
  QString Hint() const;
  bool Running() const { return !FRunning.empty(); }
  const QString& RunStatus() const { return FStatus; }
  // Stops the running burn; `ended` runs once it has ended (at once when
  // nothing runs).
  void AbortRun(std::function<void()> ended);
  TAddScheduleForm& TaskDialog();
  appcore::ScheduleStore& Store() { return FStore; }
  appcore::CalendarDate Today() const;

  // Called by the task dialog's OK: the task is written; add or update its row.
  void TaskSaved(const appcore::ScheduleTask& row, bool replace);
  int RowOf(const std::string& name) const;
  // Writes the count and names now, keeping dates another runner wrote.
  bool SaveList();
  void LoadList();

 signals:
  void RunFinished();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildWindow();
  void FillRow(QTreeWidgetItem* item, const appcore::ScheduleTask& row);
  void ListChanged();
  const appcore::Options& Opts() const;
  // Runs the task `name`; `scheduled` runs only if still due once locked.
  void RunTask(const std::string& name, bool scheduled, const std::string& previousBackup);
  void RunEnded(bool scheduled, const std::string& previousBackup, bool burnt, const QString& problem,
                bool soundHandled);
  // Shows row `row`'s last backup, after setting it to `date` when given.
  void ShowLastBackup(std::size_t row, const std::string* date = nullptr);
  void NextQueued();
  void ShowProgress(int percent);

  appcore::ScheduleStore FStore;
  TScheduleRunHost& FHost;
  appcore::ScheduleRunner FRunner;
  std::vector<appcore::ScheduleTask> FRows;
  // Due tasks of the last check, waiting for the one before them: name and
  // the last backup to put back when the run does not burn.
  std::deque<std::pair<std::string, std::string>> FQueue;
  std::string FRunning;
  std::unique_ptr<appcore::ScheduledRun> FRun;  // the run under way, holding the runners' lock
  QString FStatus;
  std::function<void()> FAfterAbort;

  QToolBar* ToolBar1 = nullptr;
  QTreeWidget* ltvTask = nullptr;
  QLabel* labStatus = nullptr;
  QProgressBar* pbRun = nullptr;
  QTimer* Timer1 = nullptr;
  TAddScheduleForm* FTaskDialog = nullptr;
};

}  // namespace app
