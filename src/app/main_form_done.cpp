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
  // What the burner was told, not the options: a copy always closes its disc.
  if (FOperation != Text(texts::kOpBuildISO))
    AddLogLine(Text(FOperationCloses ? texts::kDiscClosed : texts::kDiscNotClosed), kGreen);
  // The next burn closes its disc only when the options say so.
  FBurner->SetFinalizeDisc(FOptions.CloseDisc);
  const bool ok = error.empty();
  if (!ok) ShowWritten(appcore::MakeJobEnd(error, FAbortAsked, FBurner->ProgressNow()));
  if (!ok) {
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
    // The same flag the transfer took only archived files by.
    if (FOptions.RunTime.ArchiveOnly) FBurner->ClearArchiveFlags();
  }
  if (ok && FOptions.EjectDone &&
      (FOperation == Text(texts::kOpBurn) || FOperation == Text(texts::kOpBurnISO) ||
       FOperation == Text(texts::kOpCopy))) {
    // The eject bit alone: the burn has flushed and closed already.
    RunOnDrive(
        engine::OperationPhase::Preparing,
        [](engine::TKavoBurner& b) { b.StartStopUnit(device::TStartStop::Eject); }, nullptr, FOperationDevice);
  }
  FBurner->ResetCompilation(600000, 20000);
  FChecksums.reset();

  if (FOperation == Text(texts::kOpBurn)) {
    ui::PlayEventSound(FOptions, appcore::SoundEvent::BurningDone, *FSound);
  } else if (FOperation == Text(texts::kOpBuildISO)) {
    ui::PlayEventSound(FOptions, appcore::SoundEvent::BuildIsoDone, *FSound);
  } else if (FOperation == Text(texts::kOpCopy)) {
    ui::PlayEventSound(FOptions, appcore::SoundEvent::CopyDone, *FSound);
  } else if (FOperation == Text(texts::kOpSchedule)) {
    // The run's record (the task's date and the "Backup task done" line)
    // is the schedule window's, so that the program and the daemon log
    // alike; it comes before the sound and before an exit.
    if (OnScheduleDone) OnScheduleDone(error);
    if (FOptions.Sound(appcore::SoundEvent::ScheduleDone).Enabled)
      ui::PlayEventSound(FOptions, appcore::SoundEvent::ScheduleDone, *FSound);
  }
  AddLogLine(QString(), kWhite);
  for (const char* name : {"/temp/autorun.inf", "/temp/icon.ico"}) QFile::remove(FAppFolder + Text(name));
  RemoveOperationFiles();

  if (FOptions.ExitProgram && OnExitProgram) {
    // After this handler has returned: the program's end destroys this window.
    QTimer::singleShot(0, this, [this] {
      if (OnExitProgram) OnExitProgram();
    });
  }
  if (FOptions.CloseComputer) {
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
