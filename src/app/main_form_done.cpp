// The end of a burn, an image build or a copy: the log, the dialog's
// buttons, eject, archive bits, sounds, the schedule log and what the
// options ask to happen afterwards.
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTime>
#include <QTimer>

#include "app/burning_form.h"
#include "app/burning_texts.h"
#include "app/main_form.h"
#include "appcore/burn_job.h"
#include "engine/health/checksum_burn.h"
#include "engine/kavo_burner.h"
#include "platform/power.h"
#include "ui/sound_player.h"

namespace app {

namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }
QString Line(const char* text) { return QStringLiteral(">>> ") + QTime::currentTime().toString(Qt::TextDate) + Text(text); }

const QColor kGreen(0, 128, 0);
const QColor kRed(255, 0, 0);
const QColor kWhite(255, 255, 255);

}  // namespace

void TForm1::kavobWriteDone(const std::string& error) {
  TBurningForm& d = BurningForm();
  const bool wasRunning = Timer1->isActive();
  Timer1->stop();
  setEnabled(true);
  if (wasRunning) Timer1Timer();
  FOperationRunning = false;
  const bool ok = error.empty();
  const appcore::BurnEndPlan plan = appcore::PlanBurnEnd(FRequest, FOptions, ok);
  // What the burner was told, not the options: a copy always closes its disc.
  if (plan.LogDiscClosing) AddLogLine(Text(FOperationCloses ? texts::kDiscClosed : texts::kDiscNotClosed), kGreen);
  // The next operation starts from the options, not from this one's request.
  FBurner->SetFinalizeDisc(FOptions.CloseDisc);
  FBurner->SetTestWrite(FOptions.TestWrite);
  if (!ok) {
    ShowWritten(appcore::MakeJobEnd(error, FAbortAsked, FBurner->ProgressNow()));
    AddLogLine(Line(texts::kDoneWithError), kRed);
    AddLogLine(Line(" ") + QString::fromStdString(error), kRed);
    d.btnAbort->hide();
    d.btnSaveISO->setEnabled(false);
    d.btnCloseTrack->setEnabled(false);
    d.btnEject->setText(Text(texts::kDiscard));
    d.btnEject->setEnabled(true);
  } else {
    AddLogLine(Line(texts::kDoneOk), kGreen);
    d.btnAbort->hide();
    d.btnSaveISO->setEnabled(true);
    d.btnCloseTrack->setEnabled(true);
    d.btnEject->setEnabled(true);
  }
  if (plan.Eject) {
    // The eject bit alone: the burn has flushed and closed already.
    RunOnDrive(
        engine::OperationPhase::Preparing,
        [](engine::TKavoBurner& b) { b.StartStopUnit(device::TStartStop::Eject); }, nullptr, FOperationDevice);
  }
  appcore::FinishBurn(plan, *FBurner);
  FChecksums.reset();
  // The job's copies (the task, a copy's source disc) go with it.
  FRequest.Task.reset();
  FRequest.Copy.reset();

  // The run's record (the task's date and the "Backup task done" line) is
  // the schedule window's, so that the program and the daemon log alike;
  // it comes before the sound and before an exit.
  if (FRequest.Scheduled && OnScheduleDone) OnScheduleDone(error);
  if (plan.Sound) ui::PlayEventSound(FOptions, *plan.Sound, *FSound);
  AddLogLine(QString(), kWhite);
  for (const char* name : {"/temp/autorun.inf", "/temp/icon.ico"}) QFile::remove(FAppFolder + Text(name));
  RemoveOperationFiles();

  if (plan.ExitProgram && OnExitProgram) {
    // After this handler has returned: the program's end destroys this window.
    QTimer::singleShot(0, this, [this] {
      if (OnExitProgram) OnExitProgram();
    });
  }
  if (plan.PowerOff) {
    std::string failed;
    if (!platform::PowerOff(failed)) AddLogLine(Line(" ") + QString::fromStdString(failed), kRed);
  }
  EndOperation();
  // The burn went around the queue: the jobs it kept waiting run now.
  FJobs->Wake();
}

void TForm1::ShowWritten(const appcore::JobEnd& end) {
  // An aborted or failed write shows what reached the disc, not the
  // closing track's "everything".
  TBurningForm& d = BurningForm();
  if (d.pcd->maximum() <= 0) return;
  const std::uint64_t written = std::max(FWrittenBytes, end.BytesWritten);
  const std::uint64_t total = std::uint64_t(d.pcd->maximum()) * 2048;
  if (written >= total) return;
  d.pcd->setValue(static_cast<int>(written / 2048));
  d.labFinished->setText(QLocale().toString(double(written) / 1048576.0, 'f', 2) + QStringLiteral(" MB"));
  d.labProgress->setText(QString::number(written * 100 / total) + QStringLiteral("%"));
}

}  // namespace app
