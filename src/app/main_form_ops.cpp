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
#include "app/name_list_model.h"
#include "appcore/operation_job.h"
#include "appcore/progress.h"
#include "appcore/speed_list.h"
#include "appcore/task_tree.h"
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
const QColor kGray(128, 128, 128);

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

void TForm1::AbortOperation() {
  if (FJob->Running())
    FJob->Cancel();
  else
    FBurner->CancelOperation();
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
  // The job burns its own copy of the task; the window stays disabled as
  // the person expects while a burn prepares. It only shows what the job says.
  setEnabled(false);
  appcore::JobEvents events;
  events.OnLine = [this](const appcore::JobLogLine& line) { ShowJobLine(line); };
  events.OnDriveBuffer = [this](std::uint32_t bytes) {
    BurningForm().pHBuf->setMaximum(static_cast<int>(std::min<std::uint32_t>(bytes, INT32_MAX)));
  };
  events.OnFilled = [this] {
    if (BurningForm().cShowFiles->isChecked() && OnShowDiscLayout) OnShowDiscLayout();
  };
  events.OnSize = [this](std::uint32_t sectors) { ShowSize(sectors); };
  events.OnProgressStart = [this] { Timer1->start(); };
  events.OnEnd = [this](const appcore::OperationEnd& end) { ShowOperationEnd(end); };
  FJob->Start(std::move(request), std::move(events));
}

const appcore::BurnJobRequest& TForm1::Request() const { return FJob->Request(); }
bool TForm1::OperationRunning() const { return FJob->Running(); }

void TForm1::ShowJobLine(const appcore::JobLogLine& line) {
  const QString detail = QString::fromStdString(line.Detail);
  switch (line.Kind) {
    case appcore::JobLine::NotFound:
    case appcore::JobLine::Skipped: AddLogLine(QStringLiteral(">>> ") + Now() + QStringLiteral(" ") + detail, kGray); break;
    case appcore::JobLine::AddedToDisc: AddLogLine(Line(texts::kAddedToDisc), kGreen); break;
    case appcore::JobLine::AddedToImage: AddLogLine(Line(texts::kAddedToIso), kGreen); break;
    case appcore::JobLine::StartBuilding: AddLogLine(Line(texts::kStartBuilding), kBlue); break;
    case appcore::JobLine::StartBurning: AddLogLine(Line(texts::kStartBurningOn) + detail, kBlue); break;
    case appcore::JobLine::StartBurningImage: AddLogLine(Line(texts::kStartBurningIso) + detail, kBlue); break;
    case appcore::JobLine::WriteSafeguards:
      AddLogLine(Text(texts::kSmartBurn), kGreen);
      AddLogLine(Text(texts::kBurnProof), kGreen);
      break;
    case appcore::JobLine::LeadIn: AddLogLine(Line(texts::kLeadIn), kBlue); break;
    case appcore::JobLine::Finalizing: {
      TBurningForm& d = BurningForm();
      d.pcd->setValue(d.pcd->maximum());
      d.labFinished->setText(d.lSize->text());
      AddLogLine(Line(texts::kFinalizing), kBlue);
      break;
    }
  }
}

void TForm1::ShowSize(std::uint32_t sectors) {
  TBurningForm& d = BurningForm();
  d.pcd->setMaximum(static_cast<int>(std::min<std::uint32_t>(sectors, INT32_MAX)));
  d.lSize->setText(Megabytes(double(sectors) * 2048.0));
}

// --- progress and log ---------------------------------------------------------

void TForm1::Timer1Timer() { ShowProgress(FJob->Progress()); }

void TForm1::ShowProgress(const engine::ProgressSnapshot& p) {
  if (FClock.Elapsed() == 0) AddLogLine(Line(texts::kStartBurning), kBlue);
  FClock.Tick();
  if (FBurner->Erasing() || EraseRunning()) {
    // The erase dialog shows the progress, also while the blank is starting.
    if (FBurner->Erasing()) FClock.Estimate(ErasePercent());
    if (OnEraseTimer) OnEraseTimer();
    return;
  }
  TBurningForm& d = BurningForm();
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
  if (OnBurnPercent && d.pcd->maximum() > 0) OnBurnPercent(n);
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

}  // namespace app
