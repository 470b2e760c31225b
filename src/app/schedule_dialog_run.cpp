#include "app/schedule_dialog_run.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QMetaObject>
#include <QSignalBlocker>
#include <algorithm>
#include <memory>
#include <utility>

#include "app/burning_form.h"
#include "app/burning_texts.h"
#include "app/main_form.h"
#include "appcore/schedule.h"
#include "appcore/texts.h"
#include "engine/kavo_burner.h"
#include "ui/dialog_interaction.h"

namespace app {

namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }

constexpr const char* kDialogInUse = "the burn window or the drive was taken for another operation meanwhile";

}  // namespace

TScheduleDialogRun::TScheduleDialogRun(TForm1& main)
    : FMain(main),
      FQuestions(std::make_shared<ui::DialogInteraction>(&main, ui::DialogInteraction::RetryStyle::OkCancel)) {
  FMain.OnScheduleDone = [this](const std::string& error) {
    if (FStep != Step::Burning) return;
    // After the write-done handler has finished with the burner and the
    // task: the run's end may start the next due task at once.
    QMetaObject::invokeMethod(
        this,
        [this, run = FRun, error] {
          if (run == FRun && FStep == Step::Burning) Finish(error.empty(), QString::fromStdString(error));
        },
        Qt::QueuedConnection);
  };
  FMain.OnBurnPercent = [this](int percent) {
    if (FStep == Step::Burning && OnPercent) OnPercent(percent);
  };
}

TScheduleDialogRun::~TScheduleDialogRun() {
  if (FCancel) FCancel->Cancel();
  FMain.OnScheduleDone = nullptr;
  FMain.OnBurnPercent = nullptr;
  if (FHooked) FMain.BurningForm().OnStartDropped = nullptr;
}

bool TScheduleDialogRun::StartRun(appcore::TaskTree tree, bool showWindow, std::function<void()> started,
                                  std::function<void(const ScheduledBurnEnd&)> ended) {
  if (Running() || tree.Empty()) return false;
  // The person's own work comes first: an operation from the press of its
  // Start on, the erase dialog, a task being opened, or the burn dialog
  // open on its settings.
  TBurningForm& d = FMain.BurningForm();
  if (FMain.Busy() || (d.isVisible() && !d.gpbProgress->isVisible())) return false;
  FHold = FMain.Jobs().Begin(appcore::JobKind::ScheduledRun);
  if (FHold == 0) return false;
  FStep = Step::Checking;
  FAborted = false;
  FCancel = std::make_shared<base::CancelToken>();
  ++FRun;
  FOptions = FMain.Options();
  FShow = showWindow;
  FTree = std::move(tree);
  FStarted = std::move(started);
  FEnded = std::move(ended);
  TestDrive();
  return true;
}

void TScheduleDialogRun::TestDrive() {
  auto tested = std::make_shared<appcore::PreparedTask>();
  QPointer<TScheduleDialogRun> self(this);
  appcore::TaskBurnSetup setup;
  setup.Scheduled = true;
  setup.RetryPauseMs = static_cast<std::uint32_t>(std::max(0, FMain.BurningForm().RetryPauseMs));
  setup.Cancel = FCancel.get();
  // Selecting the drive, TEST UNIT READY and the wait for a disc take
  // seconds on a real drive; the question comes to this thread meanwhile.
  FMain.RunOnDrive(
      engine::OperationPhase::Preparing,
      [tested, setup, options = FOptions, cancel = FCancel, questions = FQuestions,
       &dispatcher = FMain.Dispatcher()](engine::TKavoBurner& b) mutable {
        engine::DispatchedInteraction ask(*questions, dispatcher, cancel);
        setup.Ask = &ask;
        *tested = appcore::PrepareTaskDrive(options, setup, b);
      },
      [self, tested, run = FRun](engine::TKavoBurner&) {
        if (self.isNull() || run != self->FRun || self->FStep != Step::Checking) return;
        self->DriveTested(*tested);
      });
}

void TScheduleDialogRun::DriveTested(const appcore::PreparedTask& tested) {
  if (FAborted) {
    Finish(false, {});
    return;
  }
  if (tested.Step == appcore::TaskBurnStep::NoDrive) {
    Finish(false, QString::fromStdString(tested.Error));
    return;
  }
  // The main window's drive box follows the drive the run uses.
  if (auto* drives = FMain.findChild<QComboBox*>(QStringLiteral("cbDrives"))) {
    const int index = drives->findText(QString::fromStdString(FMain.Burner().DeviceId()));
    if (index >= 0) {
      const QSignalBlocker quiet(drives);
      drives->setCurrentIndex(index);
      // What the box shows is what the next job uses.
      FMain.Jobs().ChooseDevice(FMain.Burner().DeviceId());
    }
  }
  if (tested.Step == appcore::TaskBurnStep::NotRecorder) {
    // Told already, on the drive's turn, as the options say.
    Finish(false, Text(appcore::texts::kDriveNotRecorder));
    return;
  }
  // Not ready after the wait: the options said give up, or the person did.
  if (tested.Step != appcore::TaskBurnStep::Ready) {
    Finish(false, {});
    return;
  }
  Burn();
}

void TScheduleDialogRun::Burn() {
  TBurningForm& d = FMain.BurningForm();
  // The person may have started something while the drive was tested.
  if (FAborted || FMain.Busy() || (d.isVisible() && !d.gpbProgress->isVisible())) {
    Finish(false, FAborted ? QString() : Text(kDialogInUse));
    return;
  }
  FMain.LoadScheduledTask(std::move(FTree));
  FTree = {};
  FHooked = true;
  d.OnStartDropped = [this] {
    if (FStep != Step::Burning) return;
    QMetaObject::invokeMethod(
        this,
        [this, run = FRun] {
          if (run == FRun && FStep == Step::Burning) Finish(false, {});
        },
        Qt::QueuedConnection);
  };
  // The label is the task's name, the root of the compilation just loaded.
  d.Setup(Text(texts::kModeBurn));
  d.SetReturnToMain(false);
  if (FShow) {
    // Showing refreshes the speed list and the option boxes.
    d.showNormal();
    d.raise();
  } else {
    d.FillSpeedList(d.cbspeed);
    const appcore::Options& o = FMain.Options();
    d.cCloseDisc->setChecked(o.CloseDisc);
    d.cTestWrite->setChecked(o.TestWrite);
    d.cBootable->setChecked(o.Bootable);
    d.cShowFiles->setChecked(o.ShowFiles);
    d.cEject->setChecked(o.EjectDone);
  }
  if (FStarted) FStarted();  // the start line and sound
  FStep = Step::Burning;
  FMain.SetScheduledRun(true);
  d.btnStartBurnClick();
}

void TScheduleDialogRun::Finish(bool burnt, const QString& problem) {
  const bool burning = FStep == Step::Burning;
  FStep = Step::Idle;
  if (burning) {
    FMain.SetScheduledRun(false);
    FMain.RestorePersonsTask();
  }
  FTree = {};
  FMain.Jobs().End(std::exchange(FHold, 0));
  auto ended = std::move(FEnded);
  FEnded = nullptr;
  FStarted = nullptr;
  ScheduledBurnEnd end;
  end.Burnt = burnt && !FAborted;
  end.Problem = problem;
  // The write-done handler plays the end sound; a run that never burnt has none.
  end.EndSoundHandled = true;
  if (ended) ended(end);
}

void TScheduleDialogRun::Abort() {
  if (!Running()) return;
  FAborted = true;
  switch (FStep) {
    case Step::Checking:
      // Ends the wait for a disc, an open question included.
      if (FCancel) FCancel->Cancel();
      FMain.Burner().CancelOperation();
      break;
    case Step::Burning: {
      TBurningForm& d = FMain.BurningForm();
      if (d.Waiting()) {
        static_cast<QDialog&>(d).reject();  // the start is dropped, and the run ends
        break;
      }
      FMain.AbortOperation();
      break;
    }
    case Step::Idle: break;
  }
}

}  // namespace app
