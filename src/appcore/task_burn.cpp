#include "appcore/task_burn.h"

#include "appcore/drive_select.h"
#include "appcore/drive_wait.h"
#include "appcore/options.h"
#include "appcore/schedule.h"
#include "appcore/speed_list.h"
#include "appcore/task_tree.h"
#include "appcore/texts.h"
#include "engine/kavo_burner.h"

namespace appcore {

PreparedTask PrepareTaskBurn(const TaskTree& tree, const Options& options, const TaskBurnSetup& setup,
                             engine::TKavoBurner& burner) {
  PreparedTask p;
  if (const DriveChoice drive = SelectDrive(burner, setup.Device.empty() ? options.Drive : setup.Device);
      !drive.Selected()) {
    p.Error = drive.Text;
    return p;
  }
  if (!CanWrite(burner)) {
    p.Step = TaskBurnStep::NotRecorder;
    return p;
  }
  DiscWaitSettings wait;
  wait.Action = setup.Scheduled ? DriveNotReadyAction(options) : NotReadyAction::Ask;
  wait.Text = texts::kDriveNotReady;
  wait.RetryPauseMs = setup.RetryPauseMs;
  wait.Cancel = setup.Cancel;
  if (WaitForDisc(burner, *setup.Ask, wait) != DiscWait::Ready) {
    p.Step = TaskBurnStep::NotReady;
    return p;
  }
  p.Medium = burner.DetectMediaType();
  const auto speed = ParseSpeed(setup.Speed, p.Medium);
  if (!speed) {
    p.Step = TaskBurnStep::BadSpeed;
    return p;
  }
  if (setup.Started) setup.Started();

  burner.ResetCompilation(600000, 20000);
  options.ApplyToBurner(burner);
  burner.SetWriteSpeed(*speed);
  burner.SetIdVolume(tree.Root->Name);
  auto prepared = PrepareCompilation(tree, burner, options.RunTime.ArchiveOnly, options.SessionNumber());
  if (!prepared.Ok()) {
    p.Error = prepared.Err().Message;
    p.Step = prepared.Err().Kind == base::ErrorKind::Cancelled ? TaskBurnStep::Aborted : TaskBurnStep::Refused;
    return p;
  }
  p.MissingSources = prepared.Value().MissingSources;
  p.RefusedFolders = prepared.Value().RefusedFolders;
  p.RefusedCount = prepared.Value().RefusedCount;
  if (burner.CancelRequested()) {
    p.Step = TaskBurnStep::Aborted;
    return p;
  }
  p.Step = burner.CompilationDirCount() == 0 && burner.CompilationEntryCount() == 0 ? TaskBurnStep::NothingToBurn
                                                                                    : TaskBurnStep::Ready;
  return p;
}

void FinishTaskBurn(const Options& options, engine::TKavoBurner& burner, bool done) {
  if (done && options.RunTime.ArchiveOnly && !burner.TestWrite()) burner.ClearArchiveFlags();
  burner.ResetCompilation(600000, 20000);
}

}  // namespace appcore
