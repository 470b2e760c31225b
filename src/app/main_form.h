#pragma once
// The main window: the task being assembled (a folder tree, the name list of
// the selected folder, the source panes), the task files, and the one burner
// of the program with the options in memory.
//
// Pattern for every window: each control's objectName is its established
// name (btnNew, trvDir); texts come from app/texts.h exactly; message boxes and file
// dialogs go through ui::CurrentDialogs(); layouts only (no fixed geometry
// beyond the default size); "&" mnemonics on captions; controls without a
// caption get an accessible name saying what they are.
#include <QIcon>
#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "appcore/operation_job.h"
#include "appcore/drive_jobs.h"
#include "appcore/drive_select.h"
#include "appcore/options.h"
#include "appcore/progress.h"
#include "appcore/task_tree.h"
#include "appcore/worker.h"

class QAction;
class QFileSystemModel;
class QMenu;
class QMimeData;
class QLabel;
class QTimer;
class QToolBar;
class QTreeView;
class QTreeWidget;
class QTreeWidgetItem;

class QColor;

namespace engine {
class Interaction;
class TKavoBurner;
enum class OperationPhase : std::uint8_t;
}
namespace appcore {
struct DiscCopySource;
struct MeasureControl;
}
namespace ui {
class SizeBar;
class SoundPlayer;
class QtDispatcher;
class DialogInteraction;
}  // namespace ui

namespace dispatch {
class Dispatcher;
}

namespace app {

class TNameListModel;
class TAboutForm;
class TfrmSessions;
class TEraseForm;
class EraseRoutines;
class TBurningForm;

class TForm1 : public QMainWindow {
  Q_OBJECT
 public:
  static constexpr int kDefaultWidth = 969;
  static constexpr int kDefaultHeight = 660;

  TForm1(const QString& programFolder, const QString& versionText, QWidget* parent = nullptr);
  ~TForm1() override;

  engine::TKavoBurner& Burner() { return *FBurner; }
  // The burner's events arrive on this window's thread through it.
  dispatch::Dispatcher& Dispatcher();
  // The person's answers to an operation's questions, on this thread; an
  // operation on a worker asks through engine::DispatchedInteraction.
  engine::Interaction& Questions();
  appcore::Options& Options() { return FOptions; }
  const QString& AppFolder() const { return FAppFolder; }

  // The start window's two compilation jobs: which toolbar shows, where.
  enum class Job { Burn, ISO };
  void PlaceToolbars(Job job);
  void ShowForJob(Job job);

  // Actions on the task.
  void btnNewClick();
  void btnOpenClick();
  // Asks for a file and writes a snapshot of the task to it on a worker;
  // `done(written)` comes on this thread when it has ended, and edits made
  // meanwhile stay unsaved. False when no write was started.
  bool btnSaveClick(std::function<void(bool written)> done = {});
  bool Saving() const { return FSaving; }
  void btnCutClick();
  void btnCopyClick();
  void btnPasteClick();
  void CustomItem2Click();   // remove the selected rows
  void CustomItem3Click();   // remove every row of the name list
  void CustomItem7Click();   // create folder
  void CustomItem9Click();   // remove folder
  void CustomItem10Click();  // the folder tree's "Remove All": a new task
  // Drops on the name list: from the source panes or the desktop's file
  // manager, as local file URLs.
  bool clBoxDragOver(const QMimeData* mime, const QObject* source) const;
  bool clBoxDragDrop(const QMimeData* mime, const QObject* source);
  // Loads a task file off the window's thread; the window takes no edits
  // until it is loaded.
  void OpenTaskFile(const QString& path);
  // The save question; true when the window may close. When the person
  // chose to save, false now and `afterSave` runs once the task is written.
  bool FormCloseQuery(std::function<void()> afterSave = {});

  // Long work (opening a task, measuring a drop) in progress.
  bool Busy() const { return FBusy; }
  void CancelBusy();

  const appcore::TaskTree& Task() const { return FTask; }
  bool Modified() const { return FModified; }
  int NewFolderCount() const { return FNewFolderCount; }
  const ui::SizeBar& SizeBar() const { return *ProgressBar1; }

  // The start window shows again when this window closes.
  std::function<void()> OnClosed;
  // The options window, once it exists.
  std::function<void()> OnOptions;
  void SetOptionsAvailable(bool available);

  // The drive side. The scan runs off the window's thread; the drive box
  // fills when it ends.
  void StartDriveScan();
  bool DrivesScanned() const { return FDrivesScanned; }
  void cbDrivesChange();
  void bCapsClick();
  void bDiscClick();
  void btnHelpClick();
  // The filled session window; shown modally unless a test takes it.
  std::function<void(TfrmSessions&)> OnShowSessions;
  // Erasing (main_form_erase.cpp): the erase dialog and the routines it
  // calls once the drive is ready. The window stays enabled.
  void btnEraseClick();
  void QuickErase();
  void CompleteErase();
  TEraseForm& EraseForm();
  // A blanking started and not yet ended: the program must not end now.
  bool EraseRunning() const;
  // The last percentage the running erase told.
  int ErasePercent() const;
  // The erase dialog opened (true) or closed (false): the start window follows.
  std::function<void(bool open)> OnEraseDialog;
  // Tools menu: its item (false) and a click on its title (true).
  std::function<void(bool menuTitle)> OnCheckVersion;
  // --- disc operations (main_form_ops.cpp, main_form_done.cpp) ---------------
  // Starts the operation as a job and returns; the window renders the
  // job's events, its end included. It runs on the request's drive, or on
  // the drive the drive box shows.
  void StartBurnJob(appcore::BurnJobRequest request);
  // What the running (or last) operation was started with.
  const appcore::BurnJobRequest& Request() const;
  // Appends a line to the burn dialog's log in `colour`.
  void AddLogLine(const QString& text, const QColor& colour);
  // SYNCHRONIZE CACHE, allow removal, eject: off the window's thread.
  void EjectDisc();
  // Stops the running burn or image build, also while the drive work
  // before its start still runs (the start then does not come).
  void AbortOperation();
  TBurningForm& BurningForm();
  // The program's one queue of drive work and its answer to "busy".
  appcore::DriveJobs& Jobs() { return *FJobs; }
  const appcore::DriveJobs& Jobs() const { return *FJobs; }
  // Drive work off the window's thread through the queue; `done` runs on
  // this thread. Without a drive named, the one the drive box shows.
  void RunOnDrive(engine::OperationPhase phase, std::function<void(engine::TKavoBurner&)> work,
                  std::function<void(engine::TKavoBurner&)> done, const std::string& device = {});
  // The drive the next job without a drive of its own runs on: the one the
  // drive box shows, whatever drive the job before used.
  std::string NextJobDevice() const { return FJobs->ChosenDevice(); }
  // No drive job running or waiting.
  bool DriveJobsIdle() const { return FJobs->Idle(); }
  // A person's operation holds the program from the press of Start to its
  // end; false (after saying so) when another operation holds it. A
  // scheduled run holds it itself.
  bool BeginOperation(appcore::JobKind kind);
  void EndOperation();
  bool OperationHeld() const { return FOperationHold != 0; }
  // A burn, image build or copy runs, from its preparation to its end.
  bool OperationRunning() const;
  // One file into the root of the task, checked, with its size. A file
  // added for one operation only (autorun.inf, the icon, the auto-run
  // program) leaves the task again when the operation ends.
  void AddToRoot(const QString& path, bool forThisOperation = false);
  void RemoveOperationFiles();
  void bBurnClick();
  void btnCloneClick();
  // The start window's Copy Disc: closing the dialog leaves the main window hidden.
  void CopyFromStartWindow();
  void btnBuildISOClick();
  void btnBurnISOClick();
  void Timer1Timer();
  bool Timer1Active() const;
  // The once-a-second progress of an erase, which leaves the window enabled.
  void StartProgressTimer();
  void StopProgressTimer();
  // The job's end as the dialog shows it.
  void ShowOperationEnd(const appcore::OperationEnd& end);

  // A scheduled run's burn is under way: its end is the schedule's.
  void SetScheduledRun(bool on) { FScheduledRun = on; }
  bool ScheduledRun() const { return FScheduledRun; }
  // The running operation's clocks, counted by the progress timer.
  const appcore::OperationClock& Clock() const { return FClock; }
  void RestartClock() { FClock.Restart(); }
  void ClockDone() { FClock.Done(); }
  // Shown modally before a burn when "Show files before burning" is on.
  std::function<void()> OnShowDiscLayout;
  // The erase branch of the progress timer, set by the erase dialog.
  std::function<void()> OnEraseTimer;
  // The burn dialog's percent, each time the progress is shown.
  std::function<void(int percent)> OnBurnPercent;
  // "Exit program when Burning Done.": the program's end.
  std::function<void()> OnExitProgram;
  // The end of a "Schedule" operation, with its error (empty when written).
  std::function<void(const std::string& error)> OnScheduleDone;
  // A scheduled run's task becomes the current compilation; the person's
  // own task (edits included) is kept aside and comes back afterwards.
  void LoadScheduledTask(appcore::TaskTree tree);
  void RestorePersonsTask();
  bool HoldsPersonsTask() const { return FPersonsTask != nullptr; }

 signals:
  void BusyFinished();
  void DriveScanFinished();
  void DriveSelected();
  void SaveFinished(bool written);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildActions();
  void BuildMenus();
  void BuildToolbars();
  void BuildPanes();
  void BuildBusyPanel(QWidget* parent);
  void ShowSources();
  QAction* MakeAction(const char* name, const char* text, const char* hint, void (TForm1::*handler)());

  // The folder tree mirrors the data tree's folders; each visible node holds
  // its data node.
  static appcore::TaskNode* DataNode(const QTreeWidgetItem* item);
  QTreeWidgetItem* AddFolderItem(QTreeWidgetItem* parent, appcore::TaskNode& node);
  void RebuildFolderTree();
  appcore::TaskNode* SelectedFolder();
  void RefreshNameList();
  std::vector<appcore::TaskNode*> SelectedRows() const;
  void RemoveItems(appcore::TaskNode& folder, const std::vector<appcore::TaskNode*>& items);
  void UpdateSizeBar();
  void trvDirEdited(QTreeWidgetItem* item, int column);
  void ForgetClipIfGone();
  void ResetTask();
  // `task` becomes the window's task, shown from its root.
  void ShowTask(appcore::TaskTree task, int newFolders, bool modified);
  void AskedNew();

  // An opened task's folder items, made in slices before it replaces the
  // task shown.
  void BuildOpenedTreeSlice(std::uint64_t generation);
  void DropPendingTask();
  void SetBusy(bool busy, const QString& text);
  void EndBusy();
  void MeasureDone(std::uint64_t generation, appcore::TaskNode* target, QStringList paths,
                   std::vector<std::int64_t> sizes, bool cancelled);

  void bAdvanceClick();
  void btnAboutClick();
  void ConnectDriveSide();
  void DriveScanDone(const appcore::DriveScan& found);
  void ShowSelectedDrive(const appcore::DriveScan& found);
  bool FDrivesScanned = false;
  void BuildVersionCheckEntries();

  bool FScheduledRun = false;
  appcore::OperationClock FClock;
  void ShowSize(std::uint32_t sectors);
  void ShowJobLine(const appcore::JobLogLine& line);
  // One second's figures (the timer's, and the end's last).
  void ShowProgress(const engine::ProgressSnapshot& p);
  appcore::DriveJobs::HoldId FOperationHold = 0;
  void ShowWritten(const appcore::JobEnd& end);
  void BindOperations();
  void OpenBurningForm(const char* mode, bool returnToMain = true);
  QTimer* Timer1 = nullptr;
  TBurningForm* FBurningForm = nullptr;
  ui::SoundPlayer* FSound = nullptr;
  bool FCheckingFit = false;
  std::vector<const appcore::TaskNode*> FOperationFiles;

  QString FAppFolder;
  QString FVersionText;
  std::unique_ptr<ui::QtDispatcher> FDispatcher;
  std::unique_ptr<ui::DialogInteraction> FQuestions;
  // Declared after the dispatcher: destroyed (its workers joined) first.
  std::unique_ptr<engine::TKavoBurner> FBurner;
  std::unique_ptr<appcore::DriveJobs> FJobs;
  appcore::Options FOptions;
  // The burn, image build, image burn or copy; destroyed before the queue
  // and the options it reads.
  std::unique_ptr<appcore::OperationJob> FJob;

  appcore::TaskTree FTask;
  bool FModified = false;
  // A close asked for while the task is being saved, and whether it waits
  // for the file to be written (the save question's Yes).
  std::function<void()> FCloseAfterSave;
  bool FCloseOnlyIfWritten = false;
  std::unique_ptr<appcore::TaskTree> FPersonsTask;
  bool FPersonsModified = false;
  int FPersonsNewFolders = 0;
  int FNewFolderCount = 0;
  bool FUpdatingTree = false;
  // Looked up once: a style's icon lookup costs milliseconds each time.
  QIcon FRootIcon;
  QIcon FFolderIcon;

  // Cut and Copy within the window: the entries, the folder they came from.
  enum class ClipMode { Empty, Cut, Copy, None };
  ClipMode FClipMode = ClipMode::Empty;
  appcore::TaskNode* FClipSource = nullptr;
  std::vector<appcore::TaskNode*> FClipNodes;
  std::vector<std::pair<std::string, std::string>> FClipList;  // name, size text

  std::unique_ptr<appcore::TaskTree> FPendingTask;
  std::unique_ptr<QTreeWidgetItem> FPendingRoot;
  std::vector<std::pair<appcore::TaskNode*, QTreeWidgetItem*>> FPendingTodo;
  bool FSaving = false;
  bool FBusy = false;
  std::uint64_t FGeneration = 0;
  // Reads, measures and saves off this thread.
  std::unique_ptr<appcore::Worker> FWorker;
  std::shared_ptr<appcore::MeasureControl> FMeasure;
  QTimer* FProgressTimer = nullptr;
  qint64 FBusyStartMs = 0;
  QWidget* panBusy = nullptr;
  QLabel* labBusy = nullptr;
  bool FSourcesShown = false;

  QTreeWidget* trvDir = nullptr;
  QTreeView* clbox = nullptr;
  TNameListModel* FNameList = nullptr;
  QTreeView* Dirlist = nullptr;
  QTreeView* lbFiles = nullptr;
  QFileSystemModel* FDirModel = nullptr;
  QFileSystemModel* FFileModel = nullptr;
  ui::SizeBar* ProgressBar1 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  QMenu* PopupMenu2 = nullptr;
  QToolBar* tbFile = nullptr;
  QToolBar* tbDrive = nullptr;
  QToolBar* tbBurn = nullptr;
  QToolBar* tbISO = nullptr;
  QToolBar* tbHelp = nullptr;
  std::vector<QAction*> FEditActions;
  QAction* FOptionsAction = nullptr;
  QAction* FOptionsMenu = nullptr;
  TAboutForm* FAbout = nullptr;
  // Last: its starter thread ends before the burner goes.
  std::unique_ptr<EraseRoutines> FErase;
};

}  // namespace app
