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
  FTask = std::move(tree);
  FOperationFiles.clear();
  FNewFolderCount = 0;
  ForgetClipIfGone();
  RebuildFolderTree();
  UpdateSizeBar();
  FModified = false;
}

void TForm1::RestorePersonsTask() {
  if (FPersonsTask == nullptr) return;
  FTask = std::move(*FPersonsTask);
  FPersonsTask.reset();
  FOperationFiles.clear();
  FNewFolderCount = FPersonsNewFolders;
  ForgetClipIfGone();
  RebuildFolderTree();
  UpdateSizeBar();
  FModified = FPersonsModified;
}

}  // namespace app
