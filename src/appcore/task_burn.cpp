#include "appcore/task_burn.h"

#include "appcore/drive_select.h"
#include "appcore/drive_wait.h"
#include "appcore/options.h"
#include "appcore/schedule.h"
#include "appcore/texts.h"
#include "engine/kavo_burner.h"

namespace appcore {

PreparedTask PrepareTaskDrive(const Options& options, const TaskBurnSetup& setup, engine::TKavoBurner& burner) {
  PreparedTask p;
  if (const DriveChoice drive = SelectDrive(burner, setup.Device.empty() ? options.Drive : setup.Device);
      !drive.Selected()) {
    p.Error = drive.Text;
    return p;
  }
  if (!CanWrite(burner)) {
    p.Step = TaskBurnStep::NotRecorder;
    // "Cancel the task." ends a scheduled run without a word.
    if (!setup.Scheduled || ReportsDriveNotRecorder(options)) {
      engine::DriveNotice notice;
      notice.Kind = engine::NoticeKind::DriveCannotWrite;
      const char letter = burner.DriveLetter();
      notice.Drive = letter != 0 ? std::string(1, letter) : burner.DriveLocation();
      notice.Text = texts::kDriveNotRecorder;
      setup.Ask->Notice(notice);
    }
    return p;
  }
  DiscWaitSettings wait;
  wait.Action = setup.Scheduled ? DriveNotReadyAction(options) : PersonNotReadyAction(options);
  wait.Text = texts::kDriveNotReady;
  wait.RetryPauseMs = setup.RetryPauseMs;
  wait.Cancel = setup.Cancel;
  if (WaitForDisc(burner, *setup.Ask, wait) != DiscWait::Ready) {
    p.Step = TaskBurnStep::NotReady;
    return p;
  }
  p.Step = TaskBurnStep::Ready;
  return p;
}

}  // namespace appcore
