// The lock that keeps two runners from burning scheduled tasks at once: one
// holder at a time, across processes, and a dead holder blocks nobody. The
// files of the Schedule folder when links or FIFOs stand in their place.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "appcore/options.h"
#include "appcore/schedule.h"
#include "appcore/schedule_runner.h"
#include "appcore/task_tree.h"
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

namespace {

using namespace appcore;

std::string Contents(const std::string& path) {
  const auto bytes = testsupport::ReadAll(path);
  return std::string(bytes.begin(), bytes.end());
}

// Runs `call`; when it blocks on the FIFO, opening both its ends lets it go
// on, and the test fails instead of hanging.
template <typename F>
auto WithinSeconds(const std::string& fifo, F&& call) {
  ::signal(SIGPIPE, SIG_IGN);
  auto running = std::async(std::launch::async, std::forward<F>(call));
  if (running.wait_for(std::chrono::seconds(5)) == std::future_status::timeout) {
    const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ADD_FAILURE() << "blocked on the FIFO " << fifo;
    running.wait();
    ::close(fd);
  }
  return running.get();
}

TEST(ScheduleFileSafety, TheLockAndTheListsTemporaryFollowNoLink) {
  testsupport::TempDir dir;
  const ScheduleStore store(dir.Path().string());
  const std::string victim = dir.Write("victim.txt", "precious");
  dir.MakeDir("Schedule");
  std::filesystem::create_symlink(victim, store.Folder() + "/" + kRunLockFileName);
  std::filesystem::create_symlink(victim, store.ListPath() + ".tmp");
  platform::FileLock lock;
  EXPECT_FALSE(TryLockScheduledRuns(store, lock).Ok());
  EXPECT_FALSE(lock.Held());
  ScheduleTask row;
  row.Name = "Daily";
  row.LastBackup = "2026-03-01";
  ASSERT_TRUE(store.SaveList({row}).Ok());
  EXPECT_EQ(Contents(victim), "precious");
  EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(store.ListPath())));
  EXPECT_EQ(store.LoadList(CalendarDate{2026, 3, 2}).size(), 1u);
  // A task file is replaced the same way.
  const std::string task = store.TaskFilePath("Daily");
  std::filesystem::create_symlink(victim, task + ".tmp");
  ASSERT_TRUE(WriteTaskFile(task, *NewTask("Daily").Root).Ok());
  EXPECT_EQ(Contents(victim), "precious");
}

TEST(ScheduleFileSafety, FifosInPlaceOfTheFilesAreRefusedNotWaitedOn) {
  testsupport::TempDir dir;
  const ScheduleStore store(dir.Path().string());
  dir.MakeDir("Schedule");
  for (const std::string& name : {store.ListPath(), store.LogPath(), store.TaskFilePath("Daily"),
                                  dir.Str() + "/" + kOptionFileName})
    ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0) << name;

  EXPECT_TRUE(WithinSeconds(store.ListPath(), [&] { return store.LoadList(CalendarDate{2026, 3, 2}); }).empty());
  EXPECT_NE(store.ListProblem().find("not a regular file"), std::string::npos) << store.ListProblem();
  EXPECT_FALSE(WithinSeconds(store.ListPath(), [&] { return store.SaveList({}); }).Ok());
  EXPECT_TRUE(std::filesystem::is_fifo(store.ListPath()));

  EXPECT_FALSE(WithinSeconds(store.LogPath(), [&] { return store.AppendLog("Backup task done"); }).Ok());
  EXPECT_FALSE(WithinSeconds(store.TaskFilePath("Daily"), [&] { return ReadTaskFile(store.TaskFilePath("Daily")); }).Ok());
  Options options;
  const std::string optionFile = dir.Str() + "/" + kOptionFileName;
  EXPECT_FALSE(WithinSeconds(optionFile, [&] { return options.LoadFromFile(optionFile, ""); }).Ok());
}

}  // namespace
