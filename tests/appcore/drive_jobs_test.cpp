// The program's one queue of drive work: order, the drive each job runs on,
// the wake-up after an operation that went around the queue, and the busy
// answer every starter asks.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "appcore/drive_jobs.h"
#include "appcore/drive_select.h"
#include "appcore/recorder_jobs_fixture.h"
#include "engine/device/transport.h"
#include "engine/dispatch/dispatcher.h"
#include "engine/kavo_burner.h"
#include "platform/process.h"
#include "support/temp_dir.h"
#include "vdrive/disc_image.h"
#include "vdrive/registration.h"

namespace {

using namespace appcore;
using Phase = engine::OperationPhase;

class DriveJobsTest : public testsupport::RecorderJobs {
 protected:
  void SetUp() override { Attach({vdrive::TMedia::CdRw, vdrive::TMedia::CdRw}); }
  template <typename F>
  bool Loop(F until) {
    for (int i = 0; i < 100 && !until(); ++i) Queue.RunPending(std::chrono::milliseconds(100));
    return until();
  }
};

// The drive box at start-up: the first drive the burn button works with,
// else the last one listed. A drive that answers no capability page writes
// nothing the button knows.
TEST_F(DriveJobsTest, TheScanSelectsTheFirstDriveThatBurnsElseTheLastListed) {
  const auto scan = [] {
    engine::TKavoBurner scanner;
    return ScanDrives(scanner);
  };
  DriveScan found = scan();
  ASSERT_TRUE(found.LayerStarted);
  if (found.Drives.size() != Paths.size()) GTEST_SKIP() << "a drive of this machine is listed too";
  EXPECT_EQ(found.Selected, Devices[0]);
  EXPECT_TRUE(found.Burns);

  vdrive::TFaults mute;
  mute.RefuseOpcode = 0x5A;  // MODE SENSE (10)
  mute.RefuseAlways = true;
  vdrive::RecorderFor(Paths[0])->SetFaults(mute);
  found = scan();
  EXPECT_EQ(found.Selected, Devices[1]);
  EXPECT_TRUE(found.Burns);

  vdrive::RecorderFor(Paths[1])->SetFaults(mute);
  found = scan();
  EXPECT_EQ(found.Selected, found.Drives.back());
  EXPECT_FALSE(found.Burns);
}

TEST_F(DriveJobsTest, JobsRunInOrderOnTheirDriveOrTheChosenOneAndWaitForAWake) {
  DriveJobs jobs(Burner, Queue);
  jobs.ChooseDevice(Devices[0]);
  // An operation outside the queue (a burn) holds the burner first.
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  bool outsideDone = false;
  ASSERT_TRUE(Burner.StartBackground(
      Phase::Writing, [released](engine::TKavoBurner&) { released.wait(); },
      [&outsideDone](engine::TKavoBurner&) { outsideDone = true; }));
  std::vector<std::string> ranOn;
  const auto job = [&](std::string device) {
    jobs.Run(Phase::Preparing, nullptr, [&ranOn](engine::TKavoBurner& b) { ranOn.push_back(b.DeviceId()); },
             std::move(device));
  };
  job({});
  job(Devices[1]);  // a copy's or an image burn's own drive
  job({});          // does not follow the job before it
  release.set_value();
  ASSERT_TRUE(Loop([&] { return outsideDone; }));
  // Nothing polls: the jobs wait until that operation's end is told.
  Queue.RunPending(std::chrono::milliseconds(200));
  EXPECT_TRUE(ranOn.empty());
  EXPECT_EQ(jobs.Waiting(), 3u);
  jobs.Wake();
  ASSERT_TRUE(Loop([&] { return jobs.Idle(); }));
  EXPECT_EQ(ranOn, (std::vector<std::string>{Devices[0], Devices[1], Devices[0]}));
}

TEST_F(DriveJobsTest, OneOperationHoldsTheProgramAtATime) {
  DriveJobs jobs(Burner, Queue);
  const DriveJobs::HoldId burn = jobs.Begin(JobKind::Burn);
  ASSERT_NE(burn, 0u);
  EXPECT_EQ(jobs.Holder(), JobKind::Burn);
  for (JobKind other : {JobKind::ScheduledRun, JobKind::Erase, JobKind::Burn}) EXPECT_EQ(jobs.Begin(other), 0u);
  jobs.End(burn + 1);  // a stale id lets nothing go
  EXPECT_TRUE(jobs.Busy());
  jobs.End(burn);
  const DriveJobs::HoldId run = jobs.Begin(JobKind::ScheduledRun);
  ASSERT_NE(run, 0u);
  jobs.End(burn);  // ended twice: the next holder keeps the program
  EXPECT_EQ(jobs.Holder(), JobKind::ScheduledRun);
  jobs.End(run);
  EXPECT_FALSE(jobs.Busy());
}

}  // namespace
