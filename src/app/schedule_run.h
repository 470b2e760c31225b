#pragma once
// How the schedule window has a task burnt. The window decides what runs
// and when; a host does the burn and tells the window once how it ended,
// on the window's thread. The program's host is TScheduleDialogRun, which
// burns through the burn dialog (schedule_dialog_run.h).
#include <QString>
#include <functional>
#include <memory>

#include "appcore/task_tree.h"

namespace app {

struct ScheduledBurnEnd {
  bool Burnt = false;  // written without error: the task is done
  QString Problem;     // why it was not, for the window's status line; empty when cancelled
  // The host played the end sound (or the run ended before a burn, which
  // has none): the window does not play it again.
  bool EndSoundHandled = false;
};

class TScheduleRunHost {
 public:
  virtual ~TScheduleRunHost() = default;
  // Starts the burn of `tree`. `started` runs once the drive is ready and
  // before the first write; `ended` runs exactly once afterwards. False
  // (and neither callback) when another operation holds the burner.
  virtual bool StartRun(appcore::TaskTree tree, bool showWindow, std::function<void()> started,
                        std::function<void(const ScheduledBurnEnd&)> ended) = 0;
  virtual bool Running() const = 0;
  // Stops the run; its end still comes through `ended`.
  virtual void Abort() = 0;
  // Percent written, for the schedule window's progress bar, each time the
  // burn shows its progress (only while a run burns).
  std::function<void(int percent)> OnPercent;
};

}  // namespace app
