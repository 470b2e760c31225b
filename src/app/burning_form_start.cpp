// Start: the wait for a disc, the autorun file, and each mode's start.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QTime>
#include <QTimer>
#include <QPointer>
#include <QToolButton>
#include <algorithm>
#include <memory>
#include <string>
#include <utility>

#include "app/burning_form.h"
#include "app/burning_texts.h"
#include "app/main_form.h"
#include "appcore/drive_wait.h"
#include "appcore/schedule.h"
#include "appcore/source_size.h"
#include "engine/kavo_burner.h"
#include "ui/dialog_interaction.h"
#include "ui/dialogs.h"
#include "ui/exe_icon.h"

namespace app {

namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }

const QColor kNavy(0, 0, 128);
const QColor kGreen(0, 128, 0);

bool IconExtension(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  return suffix == QStringLiteral("ico") || suffix == QStringLiteral("icon");
}

}  // namespace

// --- icon preview -----------------------------------------------------------

void TBurningForm::BindIconControls() {
  connect(rdbBlank, &QRadioButton::toggled, this, [this](bool on) {
    if (on) rdbBlankClick();
  });
  connect(rdbCustom, &QRadioButton::toggled, this, [this](bool on) {
    if (on) rdbCustomClick();
  });
  connect(rdbAutoIcon, &QRadioButton::toggled, this, [this](bool on) {
    if (on) rdbAutoIconClick();
  });
  connect(chkAutoRun, &QCheckBox::toggled, edtAutoRun, &QLineEdit::setEnabled);
  connect(edtAutoRun, &QLineEdit::textChanged, this, [this] {
    if (rdbAutoIcon->isChecked()) LoadAutoRunIcon(false);
  });
  connect(edtIcon, &QLineEdit::textChanged, this, [this](const QString& path) {
    if (rdbCustom->isChecked()) LoadIconPreview(path);
  });
}

void TBurningForm::ClearPreview() {
  FPreview = QImage();
  imgIcon->clear();
}

void TBurningForm::rdbBlankClick() {
  edtIcon->setEnabled(false);
  btnBrowseIcon->setEnabled(false);
  ClearPreview();
}

void TBurningForm::rdbCustomClick() {
  edtIcon->setEnabled(true);
  btnBrowseIcon->setEnabled(true);
  if (QFileInfo::exists(edtIcon->text()))
    LoadIconPreview(edtIcon->text());
  else
    ClearPreview();
}

void TBurningForm::rdbAutoIconClick() {
  edtIcon->setEnabled(false);
  btnBrowseIcon->setEnabled(false);
  if (!chkAutoRun->isChecked()) {
    ui::CurrentDialogs().Inform(this, Text(texts::kEnterAutoRunFirst));
    rdbBlank->setChecked(true);
    return;
  }
  LoadAutoRunIcon(true);
}

void TBurningForm::LoadIconPreview(const QString& path) {
  // An icon file as an icon, any other picture stretched into 32 x 32.
  QImage image;
  QString error;
  if (ui::LoadIconFile(path, image, error) != ui::IconLoad::Ok || image.isNull()) {
    ClearPreview();
    return;
  }
  FPreview = image.scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  imgIcon->setPixmap(QPixmap::fromImage(FPreview));
}

bool TBurningForm::LoadAutoRunIcon(bool report) {
  const QString path = edtAutoRun->text();
  QImage icon;
  QString error;
  if (FirstExeIcon) {
    icon = FirstExeIcon(path);
  } else if (ui::FirstIconOfExecutable(path, icon, error) == ui::IconLoad::NotAnIcon) {
    // Not an executable, or its resources are damaged: said as such.
    ClearPreview();
    if (report) ui::CurrentDialogs().Inform(this, error);
    return false;
  }
  if (icon.isNull()) {
    ClearPreview();
    if (report) ui::CurrentDialogs().Inform(this, Text(texts::kNoIconInExe));
    return false;
  }
  FPreview = icon.scaled(32, 32, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  imgIcon->setPixmap(QPixmap::fromImage(FPreview));
  return true;
}

// --- start --------------------------------------------------------------------

void TBurningForm::btnStartBurnClick() {
  if (Waiting() || FMain.OperationRunning()) return;
  FDropStart = false;
  // From here on nothing else (a scheduled run above all) takes the drive.
  if (!FMain.BeginOperation(ModeKind())) return;
  if (FFilling > 0) {
    // Started as soon as the drive has answered the speed list.
    FStartPending = true;
    btnStartBurn->setEnabled(false);
    return;
  }
  // Only an image build writes no drive. Every other mode tests the drive
  // it writes once, through the one wait for a disc; its answer is the
  // start's. With the image-file flag clear the wait asks until a disc is
  // there, else one test says "not ready" and ends.
  if (ModeKind() == appcore::JobKind::ImageBuild) {
    Dispatch();
    return;
  }
  const bool ask = !FImageFile;
  if (ask) btnStartBurn->setEnabled(false);
  WaitForDisc(ask);
}

void TBurningForm::WaitForDisc(bool ask) {
  FWaitTries = 0;
  FWaitCancel = std::make_shared<base::CancelToken>();
  appcore::DiscWaitSettings wait;
  wait.Action = ask ? appcore::PersonNotReadyAction(FMain.Options()) : appcore::NotReadyAction::Cancel;
  wait.RetryPauseMs = static_cast<std::uint32_t>(std::max(0, RetryPauseMs));
  auto ready = std::make_shared<bool>(false);
  FMain.RunOnDrive(
      engine::OperationPhase::Preparing,
      [ready, ask, wait, eject = FMain.Options().EjectNoDisc, cancel = FWaitCancel, questions = FQuestions,
       &dispatcher = FMain.Dispatcher()](engine::TKavoBurner& b) mutable {
        const char letter = b.DriveLetter();
        // Without drive letters the drive is named by where it lives.
        const std::string drive = letter != 0 ? std::string(1, letter) : b.DriveLocation();
        wait.Text = "Drive " + drive + texts::kNotReadyWait;
        wait.Cancel = cancel.get();
        engine::DispatchedInteraction questionsHere(*questions, dispatcher, cancel);
        *ready = appcore::WaitForDisc(b, questionsHere, wait) == appcore::DiscWait::Ready;
        if (*ready || ask || base::IsCancelled(cancel.get())) return;
        // Nobody was asked: the one test said not ready. The tray that
        // opens is this drive's, the one the start was for.
        questionsHere.Notice({engine::NoticeKind::DriveNotReady, drive, "Drive " + drive + texts::kNotReadyStart});
        if (eject && !base::IsCancelled(cancel.get())) b.StartStopUnit(device::TStartStop::Eject);
      },
      [ready, ask, guard = QPointer<TBurningForm>(this)](engine::TKavoBurner&) {
        if (!guard.isNull()) guard->WaitAnswered(*ready, ask);
      },
      TargetDriveText().toStdString());
}

void TBurningForm::WaitAnswered(bool ready, bool asked) {
  if (!Waiting()) return;  // the dialog was closed meanwhile
  FWaitTries = -1;
  if (ready) {
    if (asked) FMain.AddLogLine(Text(texts::kDetectingDone), kGreen);
    Dispatch();
    return;
  }
  if (asked) ui::CurrentDialogs().Inform(this, Text(texts::kAbortByUser));
  btnStartBurn->setEnabled(true);
  StartDropped();
}

bool TBurningForm::StartStillWanted() {
  if (!std::exchange(FDropStart, false)) return true;
  StartDropped();
  return false;
}

void TBurningForm::StartDropped() {
  FMain.EndOperation();
  if (OnStartDropped) OnStartDropped();
}

void TBurningForm::Dispatch() {
  // Each start chooses afresh: a scheduled run never inherits a streaming burn.
  ApplyStreamingChoice();
  if (gpbPreference->isVisibleTo(this) && LabLabel->isVisibleTo(this))
    BurnStart();
  else if (gpbPreference->isVisibleTo(this))
    ImageBuildStart();
  else if (gpbCopy->isVisibleTo(this))
    CopyStart();
  else if (gpbBurnISO->isVisibleTo(this))
    ImageBurnStart();
}

bool TBurningForm::EnsureTempFolder() {
  const QString temp = FMain.AppFolder() + QStringLiteral("/temp");
  if (!QDir().mkpath(temp)) {
    ui::CurrentDialogs().Inform(this, Text(texts::kTempWriteFailed) + temp);
    return false;
  }
  for (const char* name : {"/autorun.inf", "/icon.ico"}) QFile::remove(temp + Text(name));
  return true;
}

void TBurningForm::AddToRoot(const QString& path) { FMain.AddToRoot(path, true); }

bool TBurningForm::PrepareAutoRun() {
  // A check that fails takes back what the earlier steps added.
  if (!PrepareAutoRunFiles()) {
    FMain.RemoveOperationFiles();
    return false;
  }
  return true;
}

bool TBurningForm::PrepareAutoRunFiles() {
  const QString temp = FMain.AppFolder() + QStringLiteral("/temp");
  QStringList lines{QStringLiteral("[AutoRun]")};
  FIconPath.clear();
  const QString autoRun = edtAutoRun->text();
  if (chkAutoRun->isChecked()) {
    if (!QFileInfo(autoRun).isFile()) {
      ui::CurrentDialogs().Inform(this, Text(texts::kAutoRunMissing));
      edtAutoRun->setFocus();
      return false;
    }
    lines << QStringLiteral("OPEN=") + QFileInfo(autoRun).fileName();
    AddToRoot(autoRun);
  }
  if (rdbCustom->isChecked()) {
    const QString icon = edtIcon->text();
    if (!QFileInfo(icon).isFile()) {
      ui::CurrentDialogs().Inform(this, Text(texts::kIconMissing));
      edtIcon->setFocus();
      return false;
    }
    if (IconExtension(icon)) {
      FIconPath = icon;
    } else {
      FIconPath = temp + QStringLiteral("/icon.ico");
      QString error;
      if (FPreview.isNull() || !ui::SaveAsIco(FPreview, FIconPath, error)) {
        ui::CurrentDialogs().Inform(this, Text(texts::kTempWriteFailed) + FIconPath + QStringLiteral("\n") + error);
        edtIcon->setFocus();
        return false;
      }
    }
    lines << QStringLiteral("ICON=") + QFileInfo(FIconPath).fileName();
    AddToRoot(FIconPath);
  } else if (rdbAutoIcon->isChecked()) {
    lines << QStringLiteral("ICON=") + QFileInfo(autoRun).fileName() + QStringLiteral(", 0");
  }
  if (lines.size() > 1) {
    const QString inf = temp + QStringLiteral("/autorun.inf");
    QFile file(inf);
    const QByteArray bytes = (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() ||
        !file.flush()) {
      ui::CurrentDialogs().Inform(this, Text(texts::kTempWriteFailed) + inf);
      return false;
    }
    file.close();
    AddToRoot(inf);
  }
  return true;
}

void TBurningForm::OpenLog(bool imageBuild) {
  memo1->clear();
  const QString time = QTime::currentTime().toString(Qt::TextDate);
  FMain.AddLogLine(QStringLiteral(">>> ") + FMain.windowTitle(), kNavy);
  FMain.AddLogLine(QStringLiteral(">>> ") + Text(texts::kBanner), kNavy);
  FMain.AddLogLine(QStringLiteral(">>> ") + time + Text(imageBuild ? texts::kAspiOkBuild : texts::kAspiOk), kGreen);
  FMain.AddLogLine(QStringLiteral(">>> ") + time + Text(texts::kDriveReady), kGreen);
}

void TBurningForm::ShowProgress(const QString& caption, const QString& ejectCaption, bool hideStart) {
  btnCancel->hide();
  gpbPreference->hide();
  gpbOption->hide();
  if (hideStart) {
    btnAdvance->hide();
    btnStartBurn->hide();
  }
  btnSaveISO->setEnabled(false);
  btnCloseTrack->setEnabled(false);
  btnEject->setText(ejectCaption);
  btnEject->setEnabled(false);
  btnAbort->show();
  btnAbort->setEnabled(true);
  gpbProgress->setTitle(caption);
  gpbProgress->show();
  for (QLabel* l : {lSize, labFinished, labElapse, labRemain, labProgress}) l->clear();
}

QString TBurningForm::TargetDriveText() const {
  if (gpbBurnISO->isVisibleTo(this)) return cmbDriveISO->currentText();
  if (gpbCopy->isVisibleTo(this)) return cmbDestination->currentText();
  return MainDriveText();
}

appcore::JobKind TBurningForm::ModeKind() const {
  if (gpbBurnISO->isVisibleTo(this)) return appcore::JobKind::ImageBurn;
  if (gpbCopy->isVisibleTo(this)) return appcore::JobKind::Copy;
  if (FImageFile) return appcore::JobKind::ImageBuild;
  return appcore::JobKind::Burn;
}

QString TBurningForm::MainDriveText() const {
  const auto* drives = FMain.findChild<QComboBox*>(QStringLiteral("cbDrives"));
  if (drives != nullptr && !drives->currentText().isEmpty()) return drives->currentText();
  return QString::fromStdString(FMain.Burner().DeviceId());
}

void TBurningForm::BurnStart() {
  if (!EnsureTempFolder() || !PrepareAutoRun()) {
    StartDropped();
    return;
  }
  ShowProgress(Text(texts::kProgressBurning) + edtLabel->text(), Text(texts::kEjectAndDone), false);
  OpenLog(false);
  LogStreamingChoice();
  FMain.RestartClock();
  appcore::BurnJobRequest request = JobRequest(appcore::JobKind::Burn);
  request.Scheduled = FMain.ScheduledRun();
  FMain.StartBurnJob(std::move(request));
}

appcore::BurnJobRequest TBurningForm::JobRequest(appcore::JobKind kind) const {
  // The options as they stand with this dialog's own choices, fixed now.
  appcore::BurnJobRequest r = appcore::RequestFromOptions(kind, FMain.Options());
  r.TestWrite = cTestWrite->isChecked();
  r.Finalize = cCloseDisc->isChecked();
  r.QuickSave = chkQuick->isChecked();
  r.Label = edtLabel->text().toStdString();
  if (kind == appcore::JobKind::Burn || kind == appcore::JobKind::Copy) {
    if (cbspeed->currentIndex() < 0 && cbspeed->count() > 0) cbspeed->setCurrentIndex(0);
    r.Speed = cbspeed->currentText().toStdString();
  }
  if (kind == appcore::JobKind::Burn || kind == appcore::JobKind::ImageBuild) r.Task = appcore::CopyTask(FMain.Task());
  return r;
}

void TBurningForm::ImageBuildStart() {
  if (edtISO->text().trimmed().isEmpty()) {
    ui::CurrentDialogs().Inform(this, Text(texts::kEnterIsoPath));
    edtISO->setFocus();
    StartDropped();
    return;
  }
  if (!EnsureTempFolder() || !PrepareAutoRun()) {
    StartDropped();
    return;
  }
  ShowProgress(Text(texts::kProgressBuild), Text(texts::kDone), true);
  OpenLog(true);
  FMain.RestartClock();
  appcore::BurnJobRequest request = JobRequest(appcore::JobKind::ImageBuild);
  request.ImageFile = edtISO->text().toStdString();
  FMain.StartBurnJob(std::move(request));
}

void TBurningForm::ImageBurnStart() {
  const QString source = edtSourceISO->text();
  if (!QFileInfo(source).isFile()) {
    ui::CurrentDialogs().Inform(this, Text(texts::kSourceIsoMissing));
    edtSourceISO->setFocus();
    StartDropped();
    return;
  }
  ShowProgress(Text(texts::kProgressBurnISO), Text(texts::kEjectAndDone), true);
  gpbBurnISO->hide();
  OpenLog(false);
  FMain.RestartClock();
  appcore::BurnJobRequest request = JobRequest(appcore::JobKind::ImageBurn);
  // The image carries its own label.
  request.Label.clear();
  request.ImageFile = edtSourceISO->text().toStdString();
  request.Device = cmbDriveISO->currentText().toStdString();
  FMain.StartBurnJob(std::move(request));
}

}  // namespace app
