// A scheduled run's task in the main window: it becomes the compilation the
// burn dialog burns, while the person's own task waits aside.
#include "app/main_form.h"

namespace app {

void TForm1::LoadScheduledTask(appcore::TaskTree tree) {
  // Only the first run keeps the person's task: a second run in a row
  // replaces the scheduled one, never what the person was building.
  if (FPersonsTask == nullptr) {
    FPersonsTask = std::make_unique<appcore::TaskTree>(std::move(FTask));
    FPersonsModified = FModified;
    FPersonsNewFolders = FNewFolderCount;
  }
  ShowTask(std::move(tree), 0, false);
}

void TForm1::RestorePersonsTask() {
  if (FPersonsTask == nullptr) return;
  appcore::TaskTree persons = std::move(*FPersonsTask);
  FPersonsTask.reset();
  ShowTask(std::move(persons), FPersonsNewFolders, FPersonsModified);
}

}  // namespace app
