// Copy start: one disc's files burned onto another drive's disc, read from
// the source as they are written; nothing is staged on disk.
#include <QComboBox>
#include <QGroupBox>
#include <QPointer>
#include <QPushButton>
#include <memory>

#include "app/burning_form.h"
#include "app/burning_texts.h"
#include "app/main_form.h"
#include "appcore/disc_copy.h"
#include "engine/kavo_burner.h"
#include "ui/dialogs.h"

namespace app {

namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }

}  // namespace

void TBurningForm::CopyStart() {
  if (cmbSource->currentText() == cmbDestination->currentText()) {
    ui::CurrentDialogs().Inform(this, Text(texts::kSameDrives));
    StartDropped();
    return;
  }
  // Reading the source's file system takes the drive a while: not here.
  btnStartBurn->setEnabled(false);
  auto source = std::make_shared<appcore::DiscCopySource>();
  const std::string sourceDrive = cmbSource->currentText().toStdString();
  FMain.RunOnDrive(
      engine::OperationPhase::Preparing,
      [source, sourceDrive](engine::TKavoBurner& b) {
        *source = appcore::OpenDiscCopySource(b, sourceDrive, nullptr);
      },
      [source, guard = QPointer<TBurningForm>(this)](engine::TKavoBurner&) {
        if (!guard.isNull()) guard->CopySourceOpened(source);
      });
}

void TBurningForm::CopySourceOpened(std::shared_ptr<appcore::DiscCopySource> source) {
  btnStartBurn->setEnabled(true);
  // Closed while the source was read: nothing starts unseen.
  if (!StartStillWanted()) return;
  if (!source->Error.empty() || source->Label.empty() || !source->AddToCompilation) {
    ui::CurrentDialogs().Inform(
        this, source->Error.empty() ? Text(texts::kInsertSource) : QString::fromStdString(source->Error));
    StartDropped();
    return;
  }
  ShowProgress(Text(texts::kProgressCopy), Text(texts::kEjectAndDone), false);
  gpbCopy->hide();
  OpenLog(false);
  LogStreamingChoice();
  FMain.RestartClock();
  appcore::BurnJobRequest request = JobRequest(appcore::JobKind::Copy);
  request.Label = source->Label;
  // For this copy only: the end of the operation gives the options' choice back.
  request.Finalize = true;
  request.Copy = source;
  request.Device = cmbDestination->currentText().toStdString();
  FMain.StartBurnJob(std::move(request));
}

}  // namespace app
