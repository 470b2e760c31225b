// The lock that keeps two runners from burning scheduled tasks at once: one
// holder at a time, across processes, and a dead holder blocks nobody.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "appcore/schedule.h"
#include "appcore/schedule_runner.h"
#include "support/temp_dir.h"

namespace {

using namespace appcore;

TEST(ScheduleLock, OneHolderAtATimeAndClearLeavesTheLockFile) {
  testsupport::TempDir dir;
  const ScheduleStore store(dir.Path().string());
  platform::FileLock first;
  platform::FileLock second;
  ASSERT_TRUE(TryLockScheduledRuns(store, first).Value());
  EXPECT_TRUE(first.Held());
  // A second runner in the same process is refused as one in another would be.
  EXPECT_FALSE(TryLockScheduledRuns(store, second).Value());
  EXPECT_FALSE(second.Held());
  // Clearing every task does not pull the file from under its holder.
  ASSERT_TRUE(store.ClearAll().Ok());
  EXPECT_TRUE(std::filesystem::exists(store.Folder() + "/" + kRunLockFileName));
  EXPECT_FALSE(TryLockScheduledRuns(store, second).Value());
  first.Release();
  EXPECT_TRUE(TryLockScheduledRuns(store, second).Value());
}

TEST(ScheduleLock, ALockHeldByAKilledProcessIsTakenOver) {
  testsupport::TempDir dir;
  const ScheduleStore store(dir.Path().string());
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    platform::FileLock held;
    const bool taken = TryLockScheduledRuns(store, held).Value();
    const char c = taken ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    for (;;) ::pause();
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ASSERT_EQ(c, 'y');
  platform::FileLock mine;
  EXPECT_FALSE(TryLockScheduledRuns(store, mine).Value()) << "the living holder must block";
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  // The stale file is still there, and it blocks nothing.
  EXPECT_TRUE(std::filesystem::exists(store.Folder() + "/" + kRunLockFileName));
  EXPECT_TRUE(TryLockScheduledRuns(store, mine).Value());
  ::close(ready[0]);
  ::close(ready[1]);
}

TEST(ScheduleLock, UnderTheLockATaskAnotherRunnerBurntIsNoLongerDue) {
  testsupport::TempDir dir;
  const ScheduleStore store(dir.Path().string(), platform::DateOrder::YearMonthDay);
  const CalendarDate day1{2026, 3, 1};
  const CalendarDate day2{2026, 3, 2};
  TaskSettings settings;
  auto row = store.SaveTask("Daily", settings, {{"/data", "1"}}, day1);
  ASSERT_TRUE(row.Ok());
  ASSERT_TRUE(store.SaveList({row.Value()}).Ok());
  EXPECT_TRUE(StillDueInList(store, "Daily", day2));
  ASSERT_TRUE(store.RecordBackup("Daily", day2).Ok());
  EXPECT_FALSE(StillDueInList(store, "Daily", day2));
  EXPECT_FALSE(StillDueInList(store, "Nobody", day2));
}

}  // namespace
