#include "appcore/drive_wait.h"

#include "engine/kavo_burner.h"

namespace appcore {

DiscWait WaitForDisc(engine::TKavoBurner& burner, engine::Interaction& ask, const DiscWaitSettings& settings) {
  while (!base::IsCancelled(settings.Cancel)) {
    // A disc just inserted is announced once (UNIT ATTENTION, medium
    // changed) before the drive answers ready: that is no reason to ask.
    if (burner.TestUnitReady(5000) || burner.TestUnitReady(5000)) return DiscWait::Ready;
    // Nobody is asked: the run gives up without a word.
    if (settings.Action == NotReadyAction::Cancel) return DiscWait::Cancelled;
    if (settings.Action == NotReadyAction::EjectAndAsk) burner.StartStopUnit(device::TStartStop::Eject);
    engine::DriveQuestion question;
    const char letter = burner.DriveLetter();
    question.Drive = letter != 0 ? std::string(1, letter) : burner.DriveLocation();
    question.Text = settings.Text;
    if (ask.DriveNotReady(question) == engine::NotReadyAnswer::Cancel) return DiscWait::Cancelled;
    if (settings.RetryPauseMs > 0 && burner.Sleeper().PauseUnlessCancelled(settings.Cancel, settings.RetryPauseMs))
      break;
  }
  return DiscWait::Cancelled;
}

}  // namespace appcore
