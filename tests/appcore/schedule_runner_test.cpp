// The daemon's and the timer's rules around a run: retry after a failure,
// what a task file can be, and what a finished run leaves.
#include <gtest/gtest.h>

#include "appcore/options.h"
#include "appcore/schedule_runner.h"
#include "support/temp_dir.h"

namespace {

using namespace appcore;

TEST(ScheduleRunner, AFailedTaskWaitsTenMinutesOthersRunAtOnce) {
  std::vector<ScheduleTask> rows(3);
  rows[0].Name = "Daily";
  rows[1].Name = "Weekly";
  rows[2].Name = "Monthly";
  ScheduleRunner runner;
  const auto t0 = ScheduleRunner::Clock::now();
  EXPECT_EQ(runner.Runnable(rows, {0, 2}, t0), (std::vector<std::size_t>{0, 2}));
  runner.Finished("Daily", true, t0);
  runner.Finished("Monthly", false, t0);
  EXPECT_EQ(runner.Runnable(rows, {0, 2, 7}, t0 + std::chrono::minutes(9)), std::vector<std::size_t>{2});
  EXPECT_EQ(runner.Runnable(rows, {0, 2}, t0 + kRetryAfter), (std::vector<std::size_t>{0, 2}));
  // Done at last: no more waiting after a later failure of another task.
  runner.Finished("Daily", false, t0 + kRetryAfter);
  EXPECT_EQ(runner.Runnable(rows, {0}, t0 + kRetryAfter), std::vector<std::size_t>{0});
}

TEST(ScheduleRunner, TaskFilesAndTheRecordOfARun) {
  testsupport::TempDir dir;
  const ScheduleStore store(dir.Str());
  EXPECT_EQ(LoadScheduledTask(store, "../x").Status, TaskFileStatus::BadName);
  EXPECT_EQ(LoadScheduledTask(store, "Gone").Status, TaskFileStatus::Missing);
  dir.Write("Schedule/Empty.mvt", "");
  EXPECT_EQ(LoadScheduledTask(store, "Empty").Status, TaskFileStatus::Empty);
  dir.Write("Schedule/Bad.mvt", "T(..(x*1()#)#)#\r\n");
  const auto bad = LoadScheduledTask(store, "Bad");
  EXPECT_EQ(bad.Status, TaskFileStatus::Damaged);
  EXPECT_FALSE(bad.Error.empty());
  dir.Write("Schedule/Good.mvt", "Good(/data/a.txt*5()#)#\r\n");
  const auto good = LoadScheduledTask(store, "Good");
  ASSERT_EQ(good.Status, TaskFileStatus::Ready);
  EXPECT_EQ(good.Tree.Root->Name, "Good");

  Options options;
  std::vector<std::string> problems;
  EXPECT_EQ(RecordScheduledRun(store, "Good", options, false, problems), RunRecord::StaysDue);
  options.TestWrite = true;
  EXPECT_EQ(RecordScheduledRun(store, "Good", options, true, problems), RunRecord::TestWrite);
  options.TestWrite = false;
  EXPECT_EQ(RecordScheduledRun(store, "Good", options, true, problems), RunRecord::MarkedDone);
  EXPECT_TRUE(problems.empty());
  const auto log = testsupport::ReadAll(store.LogPath());
  EXPECT_NE(std::string(log.begin(), log.end()).find("Backup task done "), std::string::npos);
}

// Whoever runs the check, a run that leaves its task due (a test write, a
// task without files) makes it wait; a run kept off by another runner does not.
TEST(ScheduleRunner, ARunThatLeavesItsTaskDueWaitsWhicheverRunnerChecks) {
  testsupport::TempDir dir;
  const ScheduleStore store(dir.Str());
  dir.Write("Schedule/Good.mvt", "Good(/data/a.txt*5()#)#\r\n");
  dir.Write("Schedule/Bare.mvt", "Bare()#\r\n");
  std::vector<ScheduleTask> rows(2);
  rows[0].Name = "Good";
  rows[1].Name = "Bare";
  ScheduleRunner runner;
  const CalendarDate today = Today();
  {
    platform::FileLock other;
    ASSERT_TRUE(TryLockScheduledRuns(store, other).Value());
    EXPECT_EQ(ScheduledRun(store, "Good", &runner).Begin(false, today), RunStart::Busy);
  }
  EXPECT_EQ(runner.Runnable(rows, {0}, ScheduleRunner::Clock::now()), std::vector<std::size_t>{0});
  ScheduledRun bare(store, "Bare", &runner);
  EXPECT_EQ(bare.Begin(false, today), RunStart::TaskProblem);
  EXPECT_EQ(bare.Task().Status, TaskFileStatus::Empty);
  ScheduledRun good(store, "Good", &runner);
  ASSERT_EQ(good.Begin(false, today), RunStart::Ready);
  Options options;
  options.TestWrite = true;
  std::vector<std::string> problems;
  good.Started(options, today, problems);
  options.TestWrite = false;  // changed while the burn runs: the record keeps the start's
  EXPECT_EQ(good.End(true, today, problems), RunRecord::TestWrite);
  EXPECT_TRUE(runner.Runnable(rows, {0, 1}, ScheduleRunner::Clock::now()).empty());
}

}  // namespace
