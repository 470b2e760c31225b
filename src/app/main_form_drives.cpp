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
#include "engine/device/media_types.h"
#include "engine/kavo_burner.h"
#include "ui/dialogs.h"

namespace app {
namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }

// The burn button's rule: a drive that writes CD-R, DVD-R or DVD-RAM. One
// that writes only DVD+ media leaves it off.
bool BurnsWithButton(const engine::TKavoBurner& burner) {
  using namespace device;
  return burner.HasCapability(kCapWriteCdr) || burner.HasCapability(kCapWriteDvdr) ||
         burner.HasCapability(kCapWriteDvdram);
}

}  // namespace

// What the worker found for the selected drive, shown by the window.
struct DriveSelection {
  bool LayerStarted = false;
  std::vector<std::string> Drives;
  std::string Selected;
  char Letter = 0;
  bool Burns = false;
};

void TForm1::StartDriveScan() {
  auto found = std::make_shared<DriveSelection>();
  auto* cbDrives = findChild<QComboBox*>(QStringLiteral("cbDrives"));
  cbDrives->setEnabled(false);
  cbDrives->setPlaceholderText(Text(texts::kScanningDrives));
  RunOnDrive(
      engine::OperationPhase::Preparing,
      [found](engine::TKavoBurner& burner) {
        found->LayerStarted = burner.InitASPI(true, std::string());
        if (!found->LayerStarted) return;
        found->Drives = burner.DeviceList();
        // The first writer, else the last drive stays selected.
        for (const std::string& drive : found->Drives) {
          burner.SelectDevice(drive);
          found->Selected = drive;
          found->Burns = BurnsWithButton(burner);
          if (found->Burns) break;
        }
        if (!found->Selected.empty()) found->Letter = burner.DriveLetter();
      },
      [this, found](engine::TKavoBurner&) { DriveScanDone(*found); });
}

void TForm1::DriveScanDone(const DriveSelection& found) {
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

void TForm1::ShowSelectedDrive(const DriveSelection& found) {
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
  auto found = std::make_shared<DriveSelection>();
  found->LayerStarted = true;
  // Nothing reads the drive while it changes.
  cbDrives->setEnabled(false);
  findChild<QAction*>(QStringLiteral("bCaps"))->setEnabled(false);
  findChild<QAction*>(QStringLiteral("bDisc"))->setEnabled(false);
  // Queued behind the jobs asked for the drive before: the job selects
  // `wanted` before it runs.
  RunOnDrive(
      engine::OperationPhase::Preparing,
      [found](engine::TKavoBurner& burner) {
        found->Selected = burner.DeviceId();
        found->Burns = BurnsWithButton(burner);
        found->Letter = burner.DriveLetter();
      },
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
