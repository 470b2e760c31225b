#include "app/schedule_run.h"

#include <QMetaObject>

#include "app/main_form.h"
#include "appcore/burn_run.h"
#include "appcore/schedule.h"
#include "appcore/task_burn.h"
#include "appcore/texts.h"
#include "engine/interaction.h"
#include "engine/kavo_burner.h"
#include "ui/dialogs.h"

namespace app {

namespace {

// A scheduled run's question for a drive without a disc: OK tries again,
// Cancel ends the run.
class ScheduleQuestions final : public engine::Interaction {
 public:
  explicit ScheduleQuestions(QWidget* parent) : FParent(parent) {}
  engine::NotReadyAnswer DriveNotReady(const engine::DriveQuestion& question) override { return Ask(question); }
  engine::NotReadyAnswer InsertDisc(const engine::DriveQuestion& question) override { return Ask(question); }
  engine::OverwriteAnswer OverwriteFile(const std::string&) override { return engine::OverwriteAnswer::Skip; }

 private:
  engine::NotReadyAnswer Ask(const engine::DriveQuestion& question) {
    const ui::Button b = ui::CurrentDialogs().Message(
        FParent, QString::fromUtf8(appcore::texts::kDriveNotReadyCaption), QString::fromStdString(question.Text),
        ui::MessageIcon::Information, ui::Ok | ui::Cancel, ui::Ok);
    return b == ui::Ok ? engine::NotReadyAnswer::Retry : engine::NotReadyAnswer::Cancel;
  }
  QWidget* FParent;
};

}  // namespace

struct TScheduleBurn::Preparation {
  ScheduleQuestions Questions;
  std::unique_ptr<engine::DispatchedInteraction> Ask;
  appcore::PreparedTask Result;
  explicit Preparation(QWidget* parent) : Questions(parent) {}
};

TScheduleBurn::TScheduleBurn(TForm1& main) : FMain(main) {}

TScheduleBurn::~TScheduleBurn() {
  if (FCancel) FCancel->Cancel();
  if (FWorker.joinable()) FWorker.join();
  if (FBurn && FBurn->Running()) {
    FBurn->Cancel();
    FMain.Burner().WaitForOperation();
  }
}

bool TScheduleBurn::StartRun(appcore::TaskTree tree, bool /*showWindow*/, std::function<void()> started,
                             std::function<void(const ScheduledBurnEnd&)> ended) {
  engine::TKavoBurner& burner = FMain.Burner();
  if (FRunning || burner.Writing()) return false;
  if (FWorker.joinable()) FWorker.join();
  FRunning = true;
  FOptions = FMain.Options();
  FTree = std::move(tree);
  FStarted = std::move(started);
  FEnded = std::move(ended);
  FCancel = std::make_shared<base::CancelToken>();
  FPrepared = std::make_shared<Preparation>(&FMain);
  FPrepared->Ask = std::make_unique<engine::DispatchedInteraction>(FPrepared->Questions, FMain.Dispatcher(), FCancel);
  // The drive test, the wait for a disc and the transfer can take seconds:
  // they run here, and the questions come back to the window's thread.
  FWorker = std::thread([this, prepared = FPrepared, cancel = FCancel, &burner] {
    appcore::TaskBurnSetup setup;
    setup.Scheduled = true;
    setup.Ask = prepared->Ask.get();
    setup.Cancel = cancel.get();
    setup.Started = [this, cancel] {
      QMetaObject::invokeMethod(
          this,
          [this, cancel] {
            if (cancel == FCancel && FStarted) FStarted();
          },
          Qt::QueuedConnection);
    };
    prepared->Result = appcore::PrepareTaskBurn(FTree, FOptions, setup, burner);
    QMetaObject::invokeMethod(
        this,
        [this, prepared] {
          if (prepared == FPrepared) Prepared();
        },
        Qt::QueuedConnection);
  });
  return true;
}

void TScheduleBurn::Prepared() {
  if (FWorker.joinable()) FWorker.join();
  const appcore::PreparedTask& p = FPrepared->Result;
  ScheduledBurnEnd end;
  switch (p.Step) {
    case appcore::TaskBurnStep::Ready: break;
    case appcore::TaskBurnStep::NotRecorder:
      // With "Cancel the task." the run just ends.
      if (appcore::ReportsDriveNotRecorder(FOptions))
        ui::CurrentDialogs().Inform(&FMain, QString::fromUtf8(appcore::texts::kDriveNotRecorder));
      end.Problem = QString::fromUtf8(appcore::texts::kDriveNotRecorder);
      End(end);
      return;
    case appcore::TaskBurnStep::NotReady:
    case appcore::TaskBurnStep::Aborted:
      End(end);
      return;
    case appcore::TaskBurnStep::NothingToBurn:
      end.Problem = QStringLiteral("Nothing to burn: the task's files and folders hold no files.");
      End(end);
      return;
    default:
      end.Problem = QString::fromStdString(p.Error);
      End(end);
      return;
  }
  if (FCancel->Cancelled()) {
    appcore::FinishTaskBurn(FOptions, FMain.Burner(), false);
    End(end);
    return;
  }
  FBurn = std::make_unique<appcore::BurnRun>(FMain.Burner());
  FBurn->Start(appcore::BurnRequest{}, [this](const appcore::BurnEnd& e) {
    appcore::FinishTaskBurn(FOptions, FMain.Burner(), e.Outcome == appcore::BurnOutcome::Done);
    ScheduledBurnEnd done;
    done.Burnt = e.Outcome == appcore::BurnOutcome::Done;
    if (e.Outcome == appcore::BurnOutcome::Failed || e.Outcome == appcore::BurnOutcome::VerifyFailed)
      done.Problem = QString::fromStdString(e.Error);
    // The run's handlers go once the burner has let go of this event.
    QMetaObject::invokeMethod(this, [this] { FBurn.reset(); }, Qt::QueuedConnection);
    End(done);
  });
}

void TScheduleBurn::End(const ScheduledBurnEnd& end) {
  FRunning = false;
  FTree = {};
  auto ended = std::move(FEnded);
  FEnded = nullptr;
  FStarted = nullptr;
  if (ended) ended(end);
}

void TScheduleBurn::Abort() {
  if (!FRunning) return;
  if (FCancel) FCancel->Cancel();
  if (FBurn && FBurn->Running()) FBurn->Cancel();
}

int TScheduleBurn::Percent() const {
  if (!FBurn || !FBurn->Running() || FBurn->TotalBytes() == 0) return -1;
  const std::uint64_t written = FMain.Burner().ProgressNow().BytesWritten;
  return static_cast<int>(std::min<std::uint64_t>(100, written * 100 / FBurn->TotalBytes()));
}

}  // namespace app
