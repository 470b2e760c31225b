// The end of a burn, an image build or a copy as the job reports it: the
// log, the dialog's buttons, sounds, the schedule log and what the options
// ask to happen afterwards.
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
#include "appcore/operation_job.h"
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

void TForm1::ShowOperationEnd(const appcore::OperationEnd& end) {
  TBurningForm& d = BurningForm();
  const bool wasRunning = Timer1->isActive();
  Timer1->stop();
  setEnabled(true);
  // The last figures, as the job had them at its end.
  if (wasRunning) ShowProgress(end.Last);
  const appcore::BurnJobRequest& request = FJob->Request();
  // What the burner was told, not the options: a copy always closes its disc.
  if (end.Plan.LogDiscClosing) AddLogLine(Text(request.Finalize ? texts::kDiscClosed : texts::kDiscNotClosed), kGreen);
  if (end.Outcome != appcore::JobOutcome::Done) {
    ShowWritten(end);
    AddLogLine(Line(texts::kDoneWithError), kRed);
    AddLogLine(Line(" ") + QString::fromStdString(end.Text), kRed);
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
  // The run's record (the task's date and the "Backup task done" line) is
  // the schedule window's, so that the program and the daemon log alike;
  // it comes before the sound and before an exit.
  if (request.Scheduled && OnScheduleDone) OnScheduleDone(end.Text);
  if (end.Plan.Sound) ui::PlayEventSound(FOptions, *end.Plan.Sound, *FSound);
  AddLogLine(QString(), kWhite);
  for (const char* name : {"/temp/autorun.inf", "/temp/icon.ico"}) QFile::remove(FAppFolder + Text(name));
  RemoveOperationFiles();

  if (end.Plan.ExitProgram && OnExitProgram) {
    // After this handler has returned: the program's end destroys this window.
    QTimer::singleShot(0, this, [this] {
      if (OnExitProgram) OnExitProgram();
    });
  }
  if (end.Plan.PowerOff) {
    std::string failed;
    if (!platform::PowerOff(failed)) AddLogLine(Line(" ") + QString::fromStdString(failed), kRed);
  }
  EndOperation();
}

void TForm1::ShowWritten(const appcore::JobEnd& end) {
  // An aborted or failed write shows what reached the disc, not the
  // closing track's "everything".
  TBurningForm& d = BurningForm();
  if (d.pcd->maximum() <= 0) return;
  const std::uint64_t written = end.BytesWritten;
  const std::uint64_t total = std::uint64_t(d.pcd->maximum()) * 2048;
  if (written >= total) return;
  d.pcd->setValue(static_cast<int>(written / 2048));
  d.labFinished->setText(QLocale().toString(double(written) / 1048576.0, 'f', 2) + QStringLiteral(" MB"));
  d.labProgress->setText(QString::number(written * 100 / total) + QStringLiteral("%"));
}

}  // namespace app
