#pragma once
// The program's scheduled run: the task becomes the main window's
// compilation and is burnt through the burn dialog in "Burn" mode, shown or
// hidden as the options say, with the main window's operation "Schedule".
// Before that the drive the options name is selected and tested; a drive
// without a disc asks OK/Cancel or ends the run, as the options say.
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/schedule_run.h"
#include "appcore/options.h"
#include "appcore/task_burn.h"
#include "appcore/task_tree.h"
#include "base/cancel_token.h"

namespace ui {
class DialogInteraction;
}

namespace app {

class TForm1;

class TScheduleDialogRun final : public QObject, public TScheduleRunHost {
 public:
  explicit TScheduleDialogRun(TForm1& main);
  ~TScheduleDialogRun() override;

  bool StartRun(appcore::TaskTree tree, bool showWindow, std::function<void()> started,
                std::function<void(const ScheduledBurnEnd&)> ended) override;
  bool Running() const override { return FStep != Step::Idle; }
  void Abort() override;

 private:
  enum class Step { Idle, Checking, Burning };
  void TestDrive();
  void DriveTested(const appcore::PreparedTask& tested);
  void Burn();
  void Finish(bool burnt, const QString& problem);

  TForm1& FMain;
  Step FStep = Step::Idle;
  bool FAborted = false;
  bool FShow = false;
  bool FHooked = false;  // the burn dialog's dropped-start hook is ours
  // Bumped by every run: a late answer of an earlier run is dropped.
  unsigned FRun = 0;
  std::uint64_t FHold = 0;  // the program, held from the start of the run to its end
  appcore::Options FOptions;  // as the run started: the options window may change them meanwhile
  appcore::TaskTree FTree;
  std::function<void()> FStarted;
  std::function<void(const ScheduledBurnEnd&)> FEnded;
  // The wait for a disc asks here; shared with the drive job that asks.
  std::shared_ptr<ui::DialogInteraction> FQuestions;
  base::CancelTokenPtr FCancel;  // this run's: ends its wait for a disc
};

}  // namespace app
