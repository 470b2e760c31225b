// The main window's drive side: the scan at start-up and the drive box,
// the capabilities and disc windows, and Help.
#include <QAction>
#include <QComboBox>
#include <QDesktopServices>
#include <QLabel>
#include <QUrl>
#include <memory>

#include "app/background_work.h"
#include "app/drive_forms.h"
#include "app/drive_texts.h"
#include "app/help_form.h"
#include "app/main_form.h"
#include "app/texts.h"
#include "appcore/drive_select.h"
#include "engine/kavo_burner.h"
#include "ui/dialogs.h"

namespace app {
namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }

}  // namespace

void TForm1::StartDriveScan() {
  auto found = std::make_shared<appcore::DriveScan>();
  auto* cbDrives = findChild<QComboBox*>(QStringLiteral("cbDrives"));
  cbDrives->setEnabled(false);
  cbDrives->setPlaceholderText(Text(texts::kScanningDrives));
  RunOnDrive(
      engine::OperationPhase::Preparing, [found](engine::TKavoBurner& burner) { *found = appcore::ScanDrives(burner); },
      [this, found](engine::TKavoBurner&) { DriveScanDone(*found); });
}

void TForm1::DriveScanDone(const appcore::DriveScan& found) {
  FDrivesScanned = true;
  auto* cbDrives = findChild<QComboBox*>(QStringLiteral("cbDrives"));
  cbDrives->setPlaceholderText(QString());
  if (!found.LayerStarted) {
    setEnabled(false);
    ui::CurrentDialogs().Inform(this, Text(texts::kAspiFailed).arg(Text(texts::kWebSite)));
    emit DriveScanFinished();
    return;
  }
  {
    const QSignalBlocker quiet(cbDrives);
    cbDrives->clear();
    for (const std::string& drive : found.Drives) cbDrives->addItem(QString::fromStdString(drive));
    cbDrives->setCurrentIndex(cbDrives->findText(QString::fromStdString(found.Selected)));
  }
  cbDrives->setEnabled(!found.Drives.empty());
  FJobs->ChooseDevice(found.Selected);
  ShowSelectedDrive(found);
  emit DriveScanFinished();
}

void TForm1::ShowSelectedDrive(const appcore::DriveScan& found) {
  auto* cbDrives = findChild<QComboBox*>(QStringLiteral("cbDrives"));
  auto* lDrive = findChild<QLabel*>(QStringLiteral("lDrive"));
  const bool any = !found.Selected.empty();
  cbDrives->setToolTip(any ? QString::fromStdString(found.Selected) : Text(texts::kHintDrives));
  lDrive->setText(found.Letter != 0 ? Text(texts::kDrivePrefix) + QChar::fromLatin1(found.Letter) + QStringLiteral(":")
                                    : Text(texts::kNoDrive));
  findChild<QAction*>(QStringLiteral("bBurn"))->setEnabled(found.Burns);
  findChild<QAction*>(QStringLiteral("bCaps"))->setEnabled(any);
  findChild<QAction*>(QStringLiteral("bDisc"))->setEnabled(any);
}

void TForm1::cbDrivesChange() {
  auto* cbDrives = findChild<QComboBox*>(QStringLiteral("cbDrives"));
  const std::string wanted = cbDrives->currentText().toStdString();
  if (wanted.empty()) return;
  // Every job asked from now on runs on it, whichever drive ran the last.
  FJobs->ChooseDevice(wanted);
  auto found = std::make_shared<appcore::DriveScan>();
  // Nothing reads the drive while it changes.
  cbDrives->setEnabled(false);
  findChild<QAction*>(QStringLiteral("bCaps"))->setEnabled(false);
  findChild<QAction*>(QStringLiteral("bDisc"))->setEnabled(false);
  // Queued behind the jobs asked for the drive before: the job selects
  // `wanted` before it runs.
  RunOnDrive(
      engine::OperationPhase::Preparing,
      [found](engine::TKavoBurner& burner) { *found = appcore::DescribeSelectedDrive(burner); },
      [this, found, cbDrives](engine::TKavoBurner&) {
        cbDrives->setEnabled(true);
        ShowSelectedDrive(*found);
        emit DriveSelected();
      },
      wanted);
}

void TForm1::bCapsClick() {
  TForm2 window(CapabilitiesOf(*FBurner), this);
  window.exec();
}

void TForm1::bDiscClick() {
  DiscInformation info;
  const WorkOutcome outcome = RunWithProgress(this, *FBurner, *FJobs, engine::OperationPhase::Preparing,
                                              Text(texts::kReadingDisc),
                                              [&info](engine::TKavoBurner& burner) { info = ReadDiscInformation(burner); });
  if (outcome != WorkOutcome::Done) return;
  TfrmSessions window(*FBurner, *FJobs, this);
  window.Fill(info);
  if (OnShowSessions)
    OnShowSessions(window);
  else
    window.exec();
}

void TForm1::btnHelpClick() {
  const QString file = HelpFile();
  if (file.isEmpty()) {
    ui::CurrentDialogs().Inform(this, Text(texts::kHelpMissing) + QStringLiteral("Help/index.html"));
    return;
  }
  ShowHelp(this, file);
}

void TForm1::ConnectDriveSide() {
  auto* cbDrives = findChild<QComboBox*>(QStringLiteral("cbDrives"));
  connect(cbDrives, &QComboBox::currentIndexChanged, this, [this] { cbDrivesChange(); });
  const auto bind = [this](const char* name, void (TForm1::*handler)()) {
    QAction* action = findChild<QAction*>(QString::fromUtf8(name));
    connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return action;
  };
  bind("bCaps", &TForm1::bCapsClick);
  bind("bDisc", &TForm1::bDiscClick);
  bind("btnHelp", &TForm1::btnHelpClick)->setEnabled(true);
}

}  // namespace app
