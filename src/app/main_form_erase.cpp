#include "app/main_form_erase.h"

#include <QAction>
#include <QPointer>
#include <algorithm>
#include <utility>

#include "app/erase_form.h"
#include "app/main_form.h"
#include "app/texts.h"
#include "appcore/burn_job.h"
#include "appcore/progress.h"
#include "appcore/speed_list.h"
#include "engine/device/media_types.h"
#include "engine/kavo_burner.h"
#include "ui/dialog_interaction.h"
#include "ui/dialogs.h"

namespace app {

namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }

constexpr std::uint8_t kBlankFull = 0;
constexpr std::uint8_t kBlankQuick = 1;

}  // namespace

EraseRoutines::EraseRoutines(TForm1& form) : FForm(form) {
  // The clocks are the main window's: its timer counts and estimates them.
  FForm.OnEraseTimer = [this] { Tick(); };
  // A refused blank reports on the thread that asked for it, inside the
  // call: the end always comes back through the event loop.
  QPointer<EraseRoutines> self(this);
  FForm.Burner().OnEraseDone = [self](engine::TKavoBurner&, bool withError, const std::string& reason) {
    QMetaObject::invokeMethod(
        self.data(),
        [self, withError, reason = QString::fromStdString(reason)] {
          if (self) self->kavobEraseDone(withError, reason);
        },
        Qt::QueuedConnection);
  };
  // Raised on the erase's thread, told here on the window's.
  FForm.Burner().OnEraseProgress = [this](engine::TKavoBurner&, int percent) { Progressed(percent); };
  if (auto* action = FForm.findChild<QAction*>(QStringLiteral("btnErase"))) {
    action->setEnabled(true);
    connect(action, &QAction::triggered, this, [this] { Open(); });
  }
}

EraseRoutines::~EraseRoutines() {
  FCancel->Cancel();
  FForm.Burner().OnEraseDone = nullptr;
  FForm.Burner().OnEraseProgress = nullptr;
  FForm.OnEraseTimer = nullptr;
}

TEraseForm& EraseRoutines::Form() {
  if (!FDialog) {
    // A window of its own: disabling the main window must not disable it.
    FDialog = std::make_unique<TEraseForm>(FForm.Burner(), FForm.Jobs());
    FQuestions = std::make_shared<ui::DialogInteraction>(FDialog.get());
    FDialog->OnStart = [this] {
      FForm.RestartClock();
      if (FDialog->QuickMethod())
        FForm.QuickErase();
      else
        FForm.CompleteErase();
    };
    FDialog->OnOpenChanged = [this](bool open) {
      // The open dialog holds the program: a scheduled run waits for its
      // close instead of burning beneath it.
      if (open)
        FHold = FForm.Jobs().Begin(appcore::JobKind::Erase);
      else
        FForm.Jobs().End(std::exchange(FHold, 0));
      FForm.setEnabled(!open);
      if (FForm.OnEraseDialog) FForm.OnEraseDialog(open);
    };
  }
  return *FDialog;
}

void EraseRoutines::Open() {
  TEraseForm& dialog = Form();
  dialog.show();
  dialog.raise();
  dialog.activateWindow();
}

void EraseRoutines::Start(bool quick) {
  struct Disc {
    bool Erasable = false;
    std::uint8_t Medium = 0;
  };
  auto disc = std::make_shared<Disc>();
  QPointer<EraseRoutines> self(this);
  Form();  // its boxes' parent
  // The disc of the drive the dialog names, which the blank then erases.
  FForm.Jobs().Run(
      engine::OperationPhase::Preparing,
      [disc, quick, questions = FQuestions, cancel = FCancel,
       &dispatcher = FForm.Dispatcher()](engine::TKavoBurner& burner) {
        disc->Medium = burner.DetectMediaType();
        engine::DispatchedInteraction ask(*questions, dispatcher, cancel);
        disc->Erasable = appcore::CheckErasable(burner, quick, disc->Medium, ask);
      },
      [self, disc, quick](engine::TKavoBurner&) {
        if (self) self->Checked(quick, true, disc->Erasable, disc->Medium);
      },
      Form().SelectedDrive().toStdString());
}

void EraseRoutines::Checked(bool quick, bool started, bool erasable, std::uint8_t medium) {
  TEraseForm& dialog = Form();
  if (!started) {
    ui::CurrentDialogs().Message(&dialog, Text(texts::kInformation), Text(texts::kDriveBusy),
                                 ui::MessageIcon::Warning, ui::Ok, ui::Ok);
    return;
  }
  if (!erasable) return;
  const QString caption = Text(quick ? texts::kQuickEraseQuestion : texts::kCompleteEraseQuestion);
  if (ui::CurrentDialogs().Message(&dialog, caption, Text(texts::kEraseDataLost), ui::MessageIcon::Warning,
                                   ui::Yes | ui::No, ui::No) != ui::Yes)
    return;
  Launch(quick, medium);
}

void EraseRoutines::Launch(bool quick, std::uint8_t medium) {
  TEraseForm& dialog = Form();
  const std::string drive = dialog.SelectedDrive().toStdString();
  const std::uint32_t kbps = appcore::SpeedTextToKBps(dialog.SelectedSpeed().toStdString(), medium);
  const auto speed = static_cast<std::uint16_t>(std::min<std::uint32_t>(kbps, 0xFFFF));
  const std::uint64_t generation = ++FGeneration;
  FAwaitingEnd = true;
  FPercent = 0;
  FForm.StartProgressTimer();
  FDrive = drive;
  // The speed talks to the drive, and the blank's own readiness checks run
  // on the burner's worker: nothing here waits for the drive.
  QPointer<EraseRoutines> self(this);
  FForm.Jobs().Run(
      engine::OperationPhase::Preparing, [speed](engine::TKavoBurner& burner) { burner.SetWriteSpeed(speed); },
      [self, quick, generation](engine::TKavoBurner& burner) {
        if (!self || burner.Erase(quick ? kBlankQuick : kBlankFull)) return;
        // Refused blanks have reported already; one that could not start
        // reports nothing, and the dialog must not wait for ever.
        QMetaObject::invokeMethod(
            self.data(),
            [self, generation] {
              if (self && self->FAwaitingEnd && self->FGeneration == generation) self->kavobEraseDone(true);
            },
            Qt::QueuedConnection);
      },
      drive);
}

void EraseRoutines::Progressed(int percent) {
  FPercent = std::clamp(percent, 0, 100);
  if (FAwaitingEnd && FDialog) FDialog->ShowProgress(FPercent);
}

void EraseRoutines::Tick() {
  // The main window's timer has counted the tick and estimated from the
  // last percentage already: the clocks are time's, the bar the events'.
  if (!FForm.Burner().Erasing() || !FDialog) return;
  FDialog->ShowClocks(QString::fromStdString(appcore::ClockText(FForm.Clock().Elapsed())),
                      QString::fromStdString(appcore::ClockText(FForm.Clock().Remaining())));
}

void EraseRoutines::kavobEraseDone(bool withError, const QString& reason) {
  if (!FAwaitingEnd) return;
  FAwaitingEnd = false;
  FForm.StopProgressTimer();
  FForm.Burner().CancelOperation();
  // The blank went around the queue: the jobs it kept waiting run now.
  FForm.Jobs().Wake();
  ui::PlayEventSound(FForm.Options(), appcore::SoundEvent::ErasingDone, FSound);
  // The tray opens after every finished erase, a failed one too.
  if (FForm.Options().EjectDone) EjectAfterErase();
  TEraseForm& dialog = Form();
  // The last figures: an erase shorter than a tick shows its time too.
  if (!withError) FForm.ClockDone();
  dialog.ShowClocks(QString::fromStdString(appcore::ClockText(FForm.Clock().Elapsed())),
                    QString::fromStdString(appcore::ClockText(FForm.Clock().Remaining())));
  dialog.ShowEnd(withError);
  QString text = Text(withError ? texts::kEraseDoneWithError : texts::kEraseDone);
  // A wait given up on a busy drive says why: the disc may still be formatting.
  if (withError && !reason.isEmpty()) text += QLatin1Char('\n') + reason;
  ui::CurrentDialogs().Inform(&dialog, text, Text(texts::kInformation));
  dialog.AllowClose(!withError);
}

void EraseRoutines::EjectAfterErase() {
  FForm.Jobs().Run(
      engine::OperationPhase::Preparing,
      [](engine::TKavoBurner& burner) {
        burner.SynchronizeCache(device::TImmediate::No, 300000);
        burner.PreventAllowMediumRemoval(device::TRemoval::Allow);
        burner.StartStopUnit(device::TStartStop::Eject);
      },
      nullptr, FDrive);
}

}  // namespace app

namespace app {

void TForm1::btnEraseClick() { FErase->Open(); }
void TForm1::QuickErase() { FErase->Start(true); }
void TForm1::CompleteErase() { FErase->Start(false); }
TEraseForm& TForm1::EraseForm() { return FErase->Form(); }
bool TForm1::EraseRunning() const { return FErase->AwaitingEnd(); }
int TForm1::ErasePercent() const { return FErase->Percent(); }

}  // namespace app
