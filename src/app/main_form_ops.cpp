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
#include "appcore/disc_copy.h"
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

// What the preparation on the worker found, handed to the window's thread.
struct TForm1::PreparedBurn {
  std::string Error;  // empty when the compilation is filled
  std::vector<std::string> Skipped;
  std::uint32_t BufferSize = 0;
  std::uint32_t Sectors = 0;
  std::string ChecksumError;
};

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
  if (FOperationHold != 0 || FOperation == Text(texts::kOpSchedule)) return true;
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
  FOperationCloses = FBurner->FinalizeDisc();
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

void TForm1::BurnCompilation(const std::string& device) {
  BeginRunning(device);
  TBurningForm& d = BurningForm();
  if (d.cbspeed->currentIndex() < 0 && d.cbspeed->count() > 0) d.cbspeed->setCurrentIndex(0);
  const std::string speed = d.cbspeed->currentText().toStdString();
  // A copy is the source disc as it was, its own checksum file included.
  const bool checksums = FOptions.Checksums && !FCopySource;
  const bool archiveOnly = FOptions.RunTime.ArchiveOnly;
  // The session number as the options window's OK (or the load) set it.
  const std::int8_t session = FOptions.RunTime.SessionNumber;
  // The worker reads the task: no edits until the burn has ended.
  setEnabled(false);
  auto prepared = std::make_shared<PreparedBurn>();
  // A disc copy burns the source disc's files; the person's task is left as it is.
  std::shared_ptr<appcore::DiscCopySource> copy = std::move(FCopySource);
  RunOnDrive(
      engine::OperationPhase::Preparing,
      [this, prepared, speed, archiveOnly, session, copy](engine::TKavoBurner& b) {
        b.ReadBufferCapacity();
        prepared->BufferSize = b.DeviceBufferSize();
        b.SetWriteSpeed(static_cast<std::uint16_t>(appcore::SpeedTextToKBps(speed, b.DetectMediaType())));
        b.ResetCompilation(600000, 20000);
        if (copy) {
          if (const base::Status added = copy->AddToCompilation(b); !added.Ok()) prepared->Error = added.Err().Message;
          return;
        }
        auto filled = appcore::PrepareCompilation(FTask, b, archiveOnly, session);
        if (!filled.Ok()) {
          prepared->Error = filled.Err().Message;
          return;
        }
        prepared->Skipped = filled.Value().MissingSources;
        for (const auto& folder : filled.Value().RefusedFolders) prepared->Skipped.push_back(folder);
        for (const auto& refused : filled.Value().RefusedNames) prepared->Skipped.push_back(refused);
      },
      [this, prepared, checksums](engine::TKavoBurner&) { CompilationPrepared(*prepared, checksums); },
      FOperationDevice);
}

void TForm1::CompilationPrepared(const PreparedBurn& prepared, bool checksums) {
  TBurningForm& d = BurningForm();
  if (EndIfAborted()) return;
  d.pHBuf->setMaximum(static_cast<int>(std::min<std::uint32_t>(prepared.BufferSize, INT32_MAX)));
  if (!prepared.Error.empty()) {
    kavobWriteDone(prepared.Error);
    return;
  }
  for (const std::string& skipped : prepared.Skipped)
    AddLogLine(QStringLiteral(">>> ") + Now() + QStringLiteral(" ") + QString::fromStdString(skipped), kGray);
  AddLogLine(Line(texts::kAddedToDisc), kGreen);
  // An empty compilation would leave the dialog waiting for an end that never comes.
  if (FBurner->CompilationDirCount() == 0 && FBurner->CompilationEntryCount() == 0) {
    kavobWriteDone(kNothingToBurn);
    return;
  }
  if (d.cShowFiles->isChecked() && OnShowDiscLayout) OnShowDiscLayout();
  auto laidOut = std::make_shared<PreparedBurn>();
  RunOnDrive(
      engine::OperationPhase::Preparing,
      [this, laidOut, checksums](engine::TKavoBurner& b) {
        {
          health::ChecksumCallbacks callbacks;
          callbacks.Cancelled = [&b] { return b.CancelRequested(); };
          // Without checksums the earlier session's file is kept current, never stale.
          auto attached = checksums ? health::AttachChecksumFile(b, callbacks) : health::KeepChecksumFileCurrent(b);
          if (!attached.Ok()) {
            laidOut->ChecksumError = attached.Err().Message;
            return;
          }
          FChecksums = std::move(attached.Value());
        }
        b.PrepareLayout(engine::LayoutTarget::Disc);
        laidOut->Sectors = b.ImageSectors();
      },
      [this, laidOut](engine::TKavoBurner&) { LayoutReady(*laidOut); }, FOperationDevice);
}

void TForm1::LayoutReady(const PreparedBurn& laidOut) {
  TBurningForm& d = BurningForm();
  if (EndIfAborted()) return;
  if (!laidOut.ChecksumError.empty()) {
    kavobWriteDone(laidOut.ChecksumError);
    return;
  }
  d.pcd->setMaximum(static_cast<int>(std::min<std::uint32_t>(laidOut.Sectors, INT32_MAX)));
  d.lSize->setText(Megabytes(double(laidOut.Sectors) * 2048.0));
  Timer1->start();
  AddLogLine(Line(texts::kStartBurningOn) + QString::fromStdString(FBurner->DeviceName()), kBlue);
  AddLogLine(Text(texts::kSmartBurn), kGreen);
  AddLogLine(Text(texts::kBurnProof), kGreen);
  AddLogLine(Line(texts::kLeadIn), kBlue);
  setEnabled(false);
  // Refused only when another operation holds the burner: then nothing else
  // would ever end this one.
  if (!FBurner->StartCompilationBurn()) kavobWriteDone(engine::texts::kAnotherOperation);
}

void TForm1::BuildIsoImage() {
  BeginRunning({});
  TBurningForm& d = BurningForm();
  Timer1->start();
  setEnabled(false);
  const bool archiveOnly = FOptions.RunTime.ArchiveOnly;
  // The dialog's box, which starts as the options' quick-save flag.
  const bool quick = d.chkQuick->isChecked();
  auto prepared = std::make_shared<PreparedBurn>();
  RunOnDrive(
      engine::OperationPhase::Preparing,
      [this, prepared, archiveOnly](engine::TKavoBurner& b) {
        b.ResetCompilation(600000, 20000);
        // An image file has no earlier session to carry on from.
        auto filled = appcore::PrepareCompilation(FTask, b, archiveOnly, 0);
        if (!filled.Ok()) {
          prepared->Error = filled.Err().Message;
          return;
        }
        prepared->Skipped = filled.Value().MissingSources;
        for (const auto& folder : filled.Value().RefusedFolders) prepared->Skipped.push_back(folder);
        for (const auto& refused : filled.Value().RefusedNames) prepared->Skipped.push_back(refused);
        if (b.CompilationDirCount() == 0 && b.CompilationEntryCount() == 0) return;
        b.PrepareLayout(engine::LayoutTarget::ImageFile);
        prepared->Sectors = b.ImageSectors();
      },
      [this, prepared, quick, &d](engine::TKavoBurner&) {
        if (EndIfAborted()) return;
        if (!prepared->Error.empty()) {
          kavobWriteDone(prepared->Error);
          return;
        }
        if (FBurner->CompilationDirCount() == 0 && FBurner->CompilationEntryCount() == 0) {
          kavobWriteDone(kNothingToBurn);
          return;
        }
        for (const std::string& skipped : prepared->Skipped)
          AddLogLine(QStringLiteral(">>> ") + Now() + QStringLiteral(" ") + QString::fromStdString(skipped), kGray);
        AddLogLine(Line(texts::kAddedToIso), kGreen);
        AddLogLine(Line(texts::kStartBuilding), kBlue);
        d.pcd->setMaximum(static_cast<int>(std::min<std::uint32_t>(prepared->Sectors, INT32_MAX)));
        d.lSize->setText(Megabytes(double(prepared->Sectors) * 2048.0));
        // The threaded writer keeps this thread free; the quick writer runs
        // on the burner's worker.
        const std::string path = FBurner->ISOFileName();
        if (!quick) {
          FBurner->WriteImageFile(path, engine::SaveMode::Threaded);
          return;
        }
        RunOnDrive(
            engine::OperationPhase::Writing,
            [path](engine::TKavoBurner& b) { b.WriteImageFile(path, engine::SaveMode::Quick); }, nullptr,
            FOperationDevice);
      });
}

void TForm1::BurnIsoImage(const std::string& device) {
  BeginRunning(device);
  TBurningForm& d = BurningForm();
  Timer1->start();
  AddLogLine(Line(texts::kStartBurningIso) + QString::fromStdString(FBurner->DeviceName()), kBlue);
  setEnabled(false);
  AddLogLine(Text(texts::kSmartBurn), kGreen);
  AddLogLine(Text(texts::kBurnProof), kGreen);
  const std::string path = FIsoFileName.toStdString();
  auto buffer = std::make_shared<std::uint32_t>(0);
  // The buffer query and the start's checks talk to the drive: on the worker.
  RunOnDrive(
      engine::OperationPhase::Preparing,
      [buffer](engine::TKavoBurner& b) {
        b.ReadBufferCapacity();
        *buffer = b.DeviceBufferSize();
      },
      [this, buffer, path, &d](engine::TKavoBurner&) {
        if (EndIfAborted()) return;
        d.pHBuf->setMaximum(static_cast<int>(std::min<std::uint32_t>(*buffer, INT32_MAX)));
        if (!FBurner->StartImageFileBurn(path)) {
          kavobWriteDone(engine::texts::kAnotherOperation);
          return;
        }
        d.pcd->setMaximum(static_cast<int>(std::min<std::uint32_t>(FBurner->ImageSectors(), INT32_MAX)));
        d.lSize->setText(Megabytes(double(FBurner->ImageSectors()) * 2048.0));
      },
      FOperationDevice);
}

// --- progress and log ---------------------------------------------------------

void TForm1::Timer1Timer() {
  TBurningForm& d = BurningForm();
  if (FTicks == 0) AddLogLine(Line(texts::kStartBurning), kBlue);
  ++FTicks;
  if (FBurner->Erasing() || EraseRunning()) {
    // The erase dialog shows the progress, also while the blank is starting.
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
  FRemainSecs = static_cast<int>(appcore::RemainingSeconds(FTicks, n, FRemainSecs));
  d.labElapse->setText(QString::fromStdString(appcore::ClockText(FTicks)));
  d.labRemain->setText(QString::fromStdString(appcore::ClockText(FRemainSecs)));
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
