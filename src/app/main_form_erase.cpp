#include "app/main_form_erase.h"

#include <QAction>
#include <utility>

#include "app/erase_form.h"
#include "app/main_form.h"
#include "app/texts.h"
#include "appcore/erase_job.h"
#include "appcore/progress.h"
#include "engine/interaction.h"
#include "engine/kavo_burner.h"
#include "ui/dialog_interaction.h"
#include "ui/dialogs.h"

namespace app {

namespace {

QString Text(const char* s) { return QString::fromUtf8(s); }

}  // namespace

EraseRoutines::EraseRoutines(TForm1& form)
    : FForm(form), FJob(std::make_unique<appcore::EraseJob>(form.Burner(), form.Jobs(), form.Dispatcher())) {
  // The clocks are the main window's: its timer counts and estimates them.
  FForm.OnEraseTimer = [this] { Tick(); };
  if (auto* action = FForm.findChild<QAction*>(QStringLiteral("btnErase"))) {
    action->setEnabled(true);
    connect(action, &QAction::triggered, this, [this] { Open(); });
  }
}

EraseRoutines::~EraseRoutines() {
  FCancel->Cancel();
  FForm.OnEraseTimer = nullptr;
}

bool EraseRoutines::AwaitingEnd() const { return FJob->Running(); }
int EraseRoutines::Percent() const { return FJob->Percent(); }

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
  TEraseForm& dialog = Form();
  // What the dialog shows as Start is pressed is the erase.
  appcore::EraseRequest request;
  request.Drive = dialog.SelectedDrive().toStdString();
  request.Quick = quick;
  request.SpeedText = dialog.SelectedSpeed().toStdString();
  request.EjectAfter = FForm.Options().EjectDone;
  appcore::EraseEvents events;
  events.OnErasable = [this, quick](std::uint8_t) { Confirm(quick); };
  events.OnProgress = [this](int percent) {
    if (FDialog) FDialog->ShowProgress(percent);
  };
  // A refused disc was told through the questions already.
  events.OnEnd = [this](const appcore::EraseEnd& end) {
    if (!end.Refused) Ended(end);
  };
  // The notices come as boxes over the dialog; they wait on the drive's
  // thread, and the cancel lets that wait go when the window goes.
  std::shared_ptr<engine::Interaction> ask(
      new engine::DispatchedInteraction(*FQuestions, FForm.Dispatcher(), FCancel),
      [questions = FQuestions](engine::Interaction* asked) { delete asked; });
  FJob->Check(std::move(request), std::move(events), std::move(ask));
}

void EraseRoutines::Confirm(bool quick) {
  TEraseForm& dialog = Form();
  const QString caption = Text(quick ? texts::kQuickEraseQuestion : texts::kCompleteEraseQuestion);
  if (ui::CurrentDialogs().Message(&dialog, caption, Text(texts::kEraseDataLost), ui::MessageIcon::Warning,
                                   ui::Yes | ui::No, ui::No) != ui::Yes)
    return;
  FForm.StartProgressTimer();
  FJob->Go();
}

void EraseRoutines::Tick() {
  // The main window's timer has counted the tick and estimated from the
  // last percentage already: the clocks are time's, the bar the events'.
  if (!FForm.Burner().Erasing() || !FDialog) return;
  FDialog->ShowClocks(QString::fromStdString(appcore::ClockText(FForm.Clock().Elapsed())),
                      QString::fromStdString(appcore::ClockText(FForm.Clock().Remaining())));
}

void EraseRoutines::Ended(const appcore::EraseEnd& end) {
  FForm.StopProgressTimer();
  ui::PlayEventSound(FForm.Options(), appcore::SoundEvent::ErasingDone, FSound);
  TEraseForm& dialog = Form();
  // The last figures: an erase shorter than a tick shows its time too.
  if (end.Erased) FForm.ClockDone();
  dialog.ShowClocks(QString::fromStdString(appcore::ClockText(FForm.Clock().Elapsed())),
                    QString::fromStdString(appcore::ClockText(FForm.Clock().Remaining())));
  dialog.ShowEnd(!end.Erased);
  QString text = Text(end.Erased ? texts::kEraseDone : texts::kEraseDoneWithError);
  // A wait given up on a busy drive says why: the disc may still be formatting.
  if (!end.Erased && !end.Reason.empty()) text += QLatin1Char('\n') + QString::fromStdString(end.Reason);
  ui::CurrentDialogs().Inform(&dialog, text, Text(texts::kInformation));
  dialog.AllowClose(end.Erased);
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
