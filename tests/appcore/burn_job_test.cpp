// The steps every front end runs for a burn, an image build or a copy.
#include "appcore/burn_job.h"

#include <gtest/gtest.h>

#include "appcore/task_tree.h"
#include "engine/device/media_types.h"
#include "engine/kavo_burner.h"
#include "support/temp_dir.h"

namespace {

using namespace appcore;

TEST(BurnJob, TheEndOfAnOperationFollowsOneRule) {
  Options options;
  options.ArchiveFiles = true;
  options.EjectDone = true;
  options.UpdateRunTime();
  BurnJobRequest burn = RequestFromOptions(JobKind::Burn, options);
  EXPECT_TRUE(PlanBurnEnd(burn, options, true).ClearArchiveBits);
  EXPECT_TRUE(PlanBurnEnd(burn, options, true).Eject);
  burn.KeepDisc = true;  // the command line's next command reads the disc
  EXPECT_FALSE(PlanBurnEnd(burn, options, true).Eject);
  burn.KeepDisc = false;
  EXPECT_EQ(PlanBurnEnd(burn, options, true).Sound, SoundEvent::BurningDone);
  // Nothing recorded or nothing written: the files still wait for a backup.
  EXPECT_FALSE(PlanBurnEnd(burn, options, false).ClearArchiveBits);
  EXPECT_FALSE(PlanBurnEnd(burn, options, false).Eject);
  burn.TestWrite = true;
  EXPECT_FALSE(PlanBurnEnd(burn, options, true).ClearArchiveBits);

  // An image holds the files; it is no disc to eject or to close.
  BurnJobRequest image = RequestFromOptions(JobKind::ImageBuild, options);
  image.TestWrite = true;  // a box that means nothing for a file
  const BurnEndPlan built = PlanBurnEnd(image, options, true);
  EXPECT_TRUE(built.ClearArchiveBits);
  EXPECT_FALSE(built.Eject);
  EXPECT_FALSE(built.LogDiscClosing);
  EXPECT_EQ(built.Sound, SoundEvent::BuildIsoDone);
  EXPECT_EQ(image.Session, 0);

  // A copy and an image burn write no files of the person's.
  EXPECT_FALSE(PlanBurnEnd(RequestFromOptions(JobKind::Copy, options), options, true).ClearArchiveBits);
  EXPECT_FALSE(RequestFromOptions(JobKind::Copy, options).Checksums);
  const BurnEndPlan iso = PlanBurnEnd(RequestFromOptions(JobKind::ImageBurn, options), options, true);
  EXPECT_FALSE(iso.ClearArchiveBits);
  EXPECT_TRUE(iso.Eject);
  EXPECT_FALSE(iso.Sound.has_value());

  BurnJobRequest scheduled = RequestFromOptions(JobKind::Burn, options);
  scheduled.Scheduled = true;
  EXPECT_FALSE(PlanBurnEnd(scheduled, options, true).Eject);
  EXPECT_EQ(PlanBurnEnd(scheduled, options, true).Sound, SoundEvent::ScheduleDone);
  options.Sound(SoundEvent::ScheduleDone).Enabled = false;
  EXPECT_FALSE(PlanBurnEnd(scheduled, options, true).Sound.has_value());
}

TEST(BurnJob, OnlyAQuickEraseTakesADvdRamThatIsNotRewritable) {
  EXPECT_TRUE(CanErase(true, false, device::kMediumDvdRam));
  EXPECT_FALSE(CanErase(false, false, device::kMediumDvdRam));
  EXPECT_TRUE(CanErase(false, true, device::kMediumDvdRam));
  EXPECT_FALSE(CanErase(true, false, 2));  // CD-R
  EXPECT_TRUE(CanErase(false, true, 3));   // CD-RW
}

TEST(BurnJob, AJobBurnsTheTaskAsItWasAtItsStart) {
  testsupport::TempDir dir;
  TaskTree task = NewTask("R");
  const std::string a = dir.Write("a.txt", "a");
  task.Root->AddFolder("Docs").AddItem(a, "1");
  auto copy = CopyTask(task);
  task.Root->AddItem(dir.Write("later.txt", "b"), "1");
  task.Root->Children.front()->Name = "Renamed";
  task.Root->Children.front()->Children.clear();
  ASSERT_EQ(copy->Root->Children.size(), 1u);
  EXPECT_EQ(copy->Root->Children.front()->Name, "Docs");
  ASSERT_EQ(copy->Root->Children.front()->Children.size(), 1u);
  EXPECT_EQ(copy->Root->Children.front()->Children.front()->Name, a);
}

TEST(BurnJob, FillingReportsWhatIsMissingAndWhenNothingIsLeft) {
  testsupport::TempDir dir;
  TaskTree task = NewTask("R");
  task.Root->AddItem(dir.Write("a.txt", "a"), "1");
  task.Root->AddItem(dir.Str() + "/gone.txt", "1");
  BurnJobRequest request = RequestFromOptions(JobKind::ImageBuild, Options{});
  request.Task = CopyTask(task);
  engine::TKavoBurner burner;
  FilledCompilation filled = FillCompilation(request, burner);
  EXPECT_TRUE(filled.Error.empty()) << filled.Error;
  EXPECT_EQ(filled.Missing, std::vector<std::string>{dir.Str() + "/gone.txt"});
  EXPECT_FALSE(filled.Empty);
  EXPECT_EQ(burner.CompilationEntryCount(), 1u);

  task.Root->Children.erase(task.Root->Children.begin());
  request.Task = CopyTask(task);
  filled = FillCompilation(request, burner);
  EXPECT_TRUE(filled.Empty);  // the earlier fill is gone too
  EXPECT_TRUE(CompilationEmpty(burner));
}

}  // namespace
