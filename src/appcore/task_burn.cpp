#include "appcore/task_burn.h"

#include "appcore/burn_job.h"
#include "appcore/drive_select.h"
#include "appcore/drive_wait.h"
#include "appcore/options.h"
#include "appcore/schedule.h"
#include "appcore/speed_list.h"
#include "appcore/task_tree.h"
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

PreparedTask PrepareTaskBurn(const TaskTree& tree, const Options& options, const TaskBurnSetup& setup,
                             engine::TKavoBurner& burner) {
  PreparedTask p = PrepareTaskDrive(options, setup, burner);
  if (p.Step != TaskBurnStep::Ready) return p;
  p.Medium = burner.DetectMediaType();
  const auto speed = ParseSpeed(setup.Speed, p.Medium);
  if (!speed) {
    p.Step = TaskBurnStep::BadSpeed;
    return p;
  }
  if (setup.Started) setup.Started();

  options.ApplyToBurner(burner);
  burner.SetWriteSpeed(*speed);
  burner.SetIdVolume(tree.Root->Name);
  BurnJobRequest request = RequestFromOptions(JobKind::Burn, options);
  request.Scheduled = setup.Scheduled;
  // Filled before this returns: the caller's tree outlives its use here.
  request.Task = std::shared_ptr<const TaskTree>(std::shared_ptr<const TaskTree>{}, &tree);
  FilledCompilation filled = FillCompilation(request, burner);
  if (!filled.Error.empty()) {
    p.Error = filled.Error;
    p.Step = filled.Aborted ? TaskBurnStep::Aborted : TaskBurnStep::Refused;
    return p;
  }
  p.MissingSources = std::move(filled.Missing);
  p.RefusedFolders = std::move(filled.Refused);
  p.RefusedCount = filled.RefusedCount;
  p.Step = filled.Aborted ? TaskBurnStep::Aborted : filled.Empty ? TaskBurnStep::NothingToBurn : TaskBurnStep::Ready;
  return p;
}

void FinishTaskBurn(const Options& options, engine::TKavoBurner& burner, bool done) {
  BurnJobRequest request = RequestFromOptions(JobKind::Burn, options);
  request.TestWrite = burner.TestWrite();
  FinishBurn(PlanBurnEnd(request, options, done), burner);
}

}  // namespace appcore
