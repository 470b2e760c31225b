// The main window's disc operations: the burn check, the routines the burn
// dialog starts, the once-a-second progress, the coloured log, eject and
// the end of a write.
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QTime>
#include <QTimer>
#include <cmath>
#include <utility>

#include "app/burning_form.h"
#include "app/burning_texts.h"
#include "app/main_form.h"
#include "appcore/burn_job.h"
#include "app/name_list_model.h"
#include "appcore/progress.h"
#include "appcore/speed_list.h"
#include "appcore/task_tree.h"
#include "engine/health/checksum_burn.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"
#include "ui/dialogs.h"
#include "ui/sound_player.h"

namespace app {

namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }
QString Now() { return QTime::currentTime().toString(Qt::TextDate); }
QString Line(const char* text) { return QStringLiteral(">>> ") + Now() + Text(text); }

const QColor kGreen(0, 128, 0);
const QColor kBlue(0, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kGray(128, 128, 128);
const QColor kWhite(255, 255, 255);

constexpr const char* kNothingToBurn = "NOTHING TO WRITE: THE TASK'S SOURCES HOLD NO FILES";

QString Megabytes(double bytes) {
  return QLocale().toString(bytes / 1048576.0, 'f', 2) + QStringLiteral(" MB");
}

}  // namespace

void TForm1::BindOperations() {
  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(1000);
  connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
  FSound = new ui::SoundPlayer(this);
  FBurner->OnWriteDone = [this](engine::TKavoBurner&, const std::string& error) { kavobWriteDone(error); };
  FBurner->OnFinalizingTrack = [this](engine::TKavoBurner&) { kavobFinalizingTrack(); };
  const auto bind = [this](const char* name, void (TForm1::*handler)()) {
    auto* action = findChild<QAction*>(Text(name));
    connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return action;
  };
  bind("bEject", &TForm1::EjectDisc)->setEnabled(true);
  bind("bBurn", &TForm1::bBurnClick);
  bind("btnClone", &TForm1::btnCloneClick)->setEnabled(true);
  bind("btnBuildISO", &TForm1::btnBuildISOClick)->setEnabled(true);
  bind("btnBurnISO", &TForm1::btnBurnISOClick)->setEnabled(true);
}

TBurningForm& TForm1::BurningForm() {
  if (FBurningForm == nullptr) FBurningForm = new TBurningForm(*this, nullptr);
  return *FBurningForm;
}

void TForm1::RunOnDrive(engine::OperationPhase phase, std::function<void(engine::TKavoBurner&)> work,
                        std::function<void(engine::TKavoBurner&)> done, const std::string& device) {
  FJobs->Run(phase, std::move(work), std::move(done), device);
}

bool TForm1::BeginOperation(appcore::JobKind kind) {
  if (FOperationHold != 0 || FScheduledRun) return true;
  FOperationHold = FJobs->Begin(kind);
  if (FOperationHold != 0) return true;
  ui::CurrentDialogs().Inform(&BurningForm(), Text(engine::texts::kAnotherOperation));
  return false;
}

void TForm1::EndOperation() {
  FJobs->End(std::exchange(FOperationHold, 0));
}

void TForm1::BeginRunning(const std::string& device) {
  FAbortAsked = false;
  FOperationDevice = device.empty() ? FJobs->ChosenDevice() : device;
  FOperationRunning = true;
  FWrittenBytes = 0;
}

void TForm1::AbortOperation() {
  FAbortAsked = true;
  FBurner->CancelOperation();
}

bool TForm1::EndIfAborted() {
  if (!FAbortAsked) return false;
  kavobWriteDone(engine::texts::kOperationAborted);
  return true;
}

bool TForm1::Timer1Active() const { return Timer1 != nullptr && Timer1->isActive(); }
void TForm1::StartProgressTimer() { Timer1->start(); }
void TForm1::StopProgressTimer() { Timer1->stop(); }

void TForm1::AddToRoot(const QString& path, bool forThisOperation) {
  if (FTask.Root == nullptr) return;
  // A small file (autorun.inf, an icon, one executable): measured here.
  const std::int64_t size = FBurner->MeasureSourceSize(path.toStdString());
  const appcore::TaskNode& added =
      FTask.Root->AddItem(path.toStdString(), appcore::FormatSize(size, QLocale().groupSeparator().toStdString()));
  if (FNameList->Folder() == FTask.Root.get()) FNameList->Refresh();
  UpdateSizeBar();
  // A file for one operation leaves again at its end: the task is unchanged.
  if (forThisOperation)
    FOperationFiles.push_back(&added);
  else
    FModified = true;
}

void TForm1::RemoveOperationFiles() {
  // Left in the task they would be burned again next time, twice over, or
  // be missing once the generated files are deleted.
  if (FOperationFiles.empty() || FTask.Root == nullptr) return;
  for (const appcore::TaskNode* node : FOperationFiles) FTask.Root->RemoveChild(node);
  FOperationFiles.clear();
  if (FNameList->Folder() == FTask.Root.get()) FNameList->Refresh();
  UpdateSizeBar();
}

// --- opening the dialog ------------------------------------------------------

void TForm1::OpenBurningForm(const char* mode, bool returnToMain) {
  hide();
  TBurningForm& dialog = BurningForm();
  dialog.Setup(Text(mode));
  dialog.SetReturnToMain(returnToMain);
  dialog.showNormal();
  dialog.raise();
  dialog.activateWindow();
}

void TForm1::btnCloneClick() { OpenBurningForm(texts::kModeCopy); }
void TForm1::CopyFromStartWindow() { OpenBurningForm(texts::kModeCopy, false); }
void TForm1::btnBuildISOClick() { OpenBurningForm(texts::kModeBuildISO); }
void TForm1::btnBurnISOClick() { OpenBurningForm(texts::kModeBurnISO); }

void TForm1::bBurnClick() {
  if (FBusy || FCheckingFit) return;
  if (FTask.OnlyRoot()) {
    ui::CurrentDialogs().Message(this, Text(texts::kInformaiton), Text(texts::kEmptyTask), ui::MessageIcon::Warning,
                                 ui::Ok, ui::Ok);
    return;
  }
  // Checked against the room after the disc's earlier sessions, which the
  // drive is asked for off the window's thread.
  const auto bytes = static_cast<std::uint64_t>(std::max<std::int64_t>(0, appcore::SumNodeSizes(*FTask.Root)));
  const std::uint64_t sectors = (bytes + 2047) / 2048;
  auto fits = std::make_shared<bool>(false);
  FCheckingFit = true;
  RunOnDrive(
      engine::OperationPhase::Preparing,
      [fits, sectors](engine::TKavoBurner& b) {
        // Without a disc nothing is known yet: the dialog waits for one, and
        // the burn checks again before its first write.
        const engine::FitOutcome outcome = b.CheckFit(sectors, engine::BurnSource::Compilation).Outcome;
        *fits = outcome != engine::FitOutcome::TooLarge && outcome != engine::FitOutcome::DiscClosed;
      },
      [this, fits](engine::TKavoBurner&) {
        FCheckingFit = false;
        if (!*fits) {
          ui::CurrentDialogs().Inform(this, Text(texts::kNoSpace));
          return;
        }
        OpenBurningForm(texts::kModeBurn);
      });
}

// --- the routines -------------------------------------------------------------

void TForm1::StartBurnJob(appcore::BurnJobRequest request) {
  FRequest = std::move(request);
  BeginRunning(FRequest.Device);
  ApplyRequest();
  switch (FRequest.Kind) {
    case appcore::JobKind::ImageBuild: BuildIsoImage(); break;
    case appcore::JobKind::ImageBurn: BurnIsoImage(); break;
    default: BurnCompilation(); break;
  }
}

void TForm1::ApplyRequest() {
  // What Start was pressed with, whatever a box says by the time the write
  // begins.
  FBurner->SetTestWrite(FRequest.TestWrite);
  FBurner->SetFinalizeDisc(FRequest.Finalize);
  FOperationCloses = FRequest.Finalize;
  if (!FRequest.Label.empty()) FBurner->SetIdVolume(FRequest.Label);
  if (FRequest.Kind == appcore::JobKind::ImageBuild) FBurner->SetISOFileName(FRequest.ImageFile);
}

void TForm1::BurnCompilation() {
  // The job burns its own copy of the task; the window stays disabled as
  // the person expects while a burn prepares.
  setEnabled(false);
  auto filled = std::make_shared<appcore::FilledCompilation>();
  RunOnDrive(
      engine::OperationPhase::Preparing,
      [request = FRequest, filled](engine::TKavoBurner& b) { *filled = appcore::FillCompilation(request, b); },
      [this, filled](engine::TKavoBurner&) { CompilationPrepared(*filled); }, FOperationDevice);
}

bool TForm1::EndIfNotFilled(const appcore::FilledCompilation& filled) {
  if (EndIfAborted()) return true;
  if (!filled.Error.empty() || filled.Aborted) {
    kavobWriteDone(filled.Error.empty() ? std::string(engine::texts::kOperationAborted) : filled.Error);
    return true;
  }
  return false;
}

void TForm1::LogSkipped(const appcore::FilledCompilation& filled) {
  for (const auto* list : {&filled.Missing, &filled.Refused, &filled.RefusedNames})
    for (const std::string& skipped : *list)
      AddLogLine(QStringLiteral(">>> ") + Now() + QStringLiteral(" ") + QString::fromStdString(skipped), kGray);
}

void TForm1::CompilationPrepared(const appcore::FilledCompilation& filled) {
  TBurningForm& d = BurningForm();
  if (EndIfAborted()) return;
  d.pHBuf->setMaximum(static_cast<int>(std::min<std::uint32_t>(filled.BufferSize, INT32_MAX)));
  if (EndIfNotFilled(filled)) return;
  LogSkipped(filled);
  AddLogLine(Line(texts::kAddedToDisc), kGreen);
  // An empty compilation would leave the dialog waiting for an end that never comes.
  if (filled.Empty) {
    kavobWriteDone(kNothingToBurn);
    return;
  }
  if (d.cShowFiles->isChecked() && OnShowDiscLayout) OnShowDiscLayout();
  auto laidOut = std::make_shared<appcore::LaidOut>();
  RunOnDrive(
      engine::OperationPhase::Preparing,
      [this, request = FRequest, laidOut](engine::TKavoBurner& b) {
        *laidOut = appcore::LayOutCompilation(request, b, FChecksums);
      },
      [this, laidOut](engine::TKavoBurner&) { LayoutReady(*laidOut); }, FOperationDevice);
}

void TForm1::LayoutReady(const appcore::LaidOut& laidOut) {
  if (EndIfAborted()) return;
  if (!laidOut.Error.empty()) {
    kavobWriteDone(laidOut.Error);
    return;
  }
  ShowSize(laidOut.Sectors);
  Timer1->start();
  AddLogLine(Line(texts::kStartBurningOn) + QString::fromStdString(FBurner->DeviceName()), kBlue);
  AddLogLine(Text(texts::kSmartBurn), kGreen);
  AddLogLine(Text(texts::kBurnProof), kGreen);
  AddLogLine(Line(texts::kLeadIn), kBlue);
  setEnabled(false);
  ApplyRequest();
  // Refused only when another operation holds the burner: then nothing else
  // would ever end this one.
  if (!FBurner->StartCompilationBurn()) kavobWriteDone(engine::texts::kAnotherOperation);
}

void TForm1::ShowSize(std::uint32_t sectors) {
  TBurningForm& d = BurningForm();
  d.pcd->setMaximum(static_cast<int>(std::min<std::uint32_t>(sectors, INT32_MAX)));
  d.lSize->setText(Megabytes(double(sectors) * 2048.0));
}

void TForm1::BuildIsoImage() {
  Timer1->start();
  setEnabled(false);
  auto filled = std::make_shared<appcore::FilledCompilation>();
  auto laidOut = std::make_shared<appcore::LaidOut>();
  RunOnDrive(
      engine::OperationPhase::Preparing,
      [request = FRequest, filled, laidOut](engine::TKavoBurner& b) {
        *filled = appcore::FillCompilation(request, b);
        if (!filled->Error.empty() || filled->Aborted || filled->Empty) return;
        std::unique_ptr<health::ChecksumAttachment> none;
        *laidOut = appcore::LayOutCompilation(request, b, none);
      },
      [this, filled, laidOut](engine::TKavoBurner&) {
        if (EndIfNotFilled(*filled)) return;
        if (filled->Empty) {
          kavobWriteDone(kNothingToBurn);
          return;
        }
        LogSkipped(*filled);
        AddLogLine(Line(texts::kAddedToIso), kGreen);
        AddLogLine(Line(texts::kStartBuilding), kBlue);
        ShowSize(laidOut->Sectors);
        // The threaded writer keeps this thread free; the quick writer runs
        // on the burner's worker.
        const std::string path = FRequest.ImageFile;
        if (!FRequest.QuickSave) {
          FBurner->WriteImageFile(path, engine::SaveMode::Threaded);
          return;
        }
        RunOnDrive(
            engine::OperationPhase::Writing,
            [path](engine::TKavoBurner& b) { b.WriteImageFile(path, engine::SaveMode::Quick); }, nullptr,
            FOperationDevice);
      });
}

void TForm1::BurnIsoImage() {
  Timer1->start();
  AddLogLine(Line(texts::kStartBurningIso) + QString::fromStdString(FBurner->DeviceName()), kBlue);
  setEnabled(false);
  AddLogLine(Text(texts::kSmartBurn), kGreen);
  AddLogLine(Text(texts::kBurnProof), kGreen);
  auto buffer = std::make_shared<std::uint32_t>(0);
  // The buffer query and the start's checks talk to the drive: on the worker.
  RunOnDrive(
      engine::OperationPhase::Preparing,
      [buffer](engine::TKavoBurner& b) {
        b.ReadBufferCapacity();
        *buffer = b.DeviceBufferSize();
      },
      [this, buffer](engine::TKavoBurner&) {
        if (EndIfAborted()) return;
        BurningForm().pHBuf->setMaximum(static_cast<int>(std::min<std::uint32_t>(*buffer, INT32_MAX)));
        ApplyRequest();
        if (!FBurner->StartImageFileBurn(FRequest.ImageFile)) {
          kavobWriteDone(engine::texts::kAnotherOperation);
          return;
        }
        ShowSize(FBurner->ImageSectors());
      },
      FOperationDevice);
}

// --- progress and log ---------------------------------------------------------

void TForm1::Timer1Timer() {
  TBurningForm& d = BurningForm();
  if (FClock.Elapsed() == 0) AddLogLine(Line(texts::kStartBurning), kBlue);
  FClock.Tick();
  if (FBurner->Erasing() || EraseRunning()) {
    // The erase dialog shows the progress, also while the blank is starting.
    if (FBurner->Erasing()) FClock.Estimate(std::clamp(FBurner->ProgressNow().ErasePercent, 0, 100));
    if (OnEraseTimer) OnEraseTimer();
    return;
  }
  const engine::ProgressSnapshot p = FBurner->ProgressNow();
  FWrittenBytes = std::max<std::uint64_t>(FWrittenBytes, p.BytesWritten);
  d.pBuf->setValue(std::clamp(p.CacheFillPercent, 0, 100));
  const QString fill = QString::number(p.CacheFillPercent) + QStringLiteral("%");
  d.pBuf->setToolTip(fill);
  d.PanSoftBuff->setToolTip(fill);
  if (d.pcd->value() < d.pcd->maximum()) {
    d.labFinished->setText(Megabytes(double(p.BytesWritten)));
    d.pcd->setValue(static_cast<int>(std::min<std::uint64_t>(p.BytesWritten / 2048, std::uint64_t(d.pcd->maximum()))));
  }
  const int n = d.pcd->maximum() > 0
                    ? static_cast<int>(std::lround(double(d.pcd->value()) / double(d.pcd->maximum()) * 100.0))
                    : 0;
  d.labProgress->setText(QString::number(n) + QStringLiteral("%"));
  if (p.DriveBufferSize >= p.DriveFreeBufferSize) {
    d.pHBuf->setValue(static_cast<int>(std::min<std::uint32_t>(p.DriveBufferSize - p.DriveFreeBufferSize,
                                                                std::uint32_t(d.pHBuf->maximum()))));
    if (d.pHBuf->maximum() != 0) {
      const QString hint =
          QString::number(std::lround(double(d.pHBuf->value()) / double(d.pHBuf->maximum()) * 100.0)) +
          QStringLiteral("%");
      d.pHBuf->setToolTip(hint);
      d.PanDeviceBuff->setToolTip(hint);
    }
  }
  FClock.Estimate(n);
  d.labElapse->setText(QString::fromStdString(appcore::ClockText(FClock.Elapsed())));
  d.labRemain->setText(QString::fromStdString(appcore::ClockText(FClock.Remaining())));
}

void TForm1::AddLogLine(const QString& text, const QColor& colour) {
  QTextEdit* memo = BurningForm().memo1;
  QTextCursor cursor(memo->document());
  cursor.movePosition(QTextCursor::End);
  QTextCharFormat format;
  format.setForeground(colour);
  // A written line marks its block, so that an empty first line counts too.
  if (cursor.block().userState() == kLogLineState || !cursor.block().text().isEmpty())
    cursor.insertBlock(QTextBlockFormat(), format);
  cursor.setBlockCharFormat(format);
  cursor.insertText(text, format);
  cursor.block().setUserState(kLogLineState);
  memo->verticalScrollBar()->setValue(memo->verticalScrollBar()->maximum());
}

void TForm1::EjectDisc() {
  // The drive may take seconds to flush its cache: not on this thread.
  RunOnDrive(
      engine::OperationPhase::Preparing,
      [](engine::TKavoBurner& b) {
        b.SynchronizeCache(device::TImmediate::No, 300000);
        b.PreventAllowMediumRemoval(device::TRemoval::Allow);
        b.StartStopUnit(device::TStartStop::Eject);
      },
      nullptr);
}

void TForm1::kavobFinalizingTrack() {
  TBurningForm& d = BurningForm();
  FWrittenBytes = std::max<std::uint64_t>(FWrittenBytes, FBurner->ProgressNow().BytesWritten);
  d.pcd->setValue(d.pcd->maximum());
  d.labFinished->setText(d.lSize->text());
  AddLogLine(Line(texts::kFinalizing), kBlue);
}

}  // namespace app
