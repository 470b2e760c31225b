#include "appcore/schedule.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "appcore/options.h"
#include "appcore/texts.h"
#include "platform/autostart.h"
#include "support/temp_dir.h"

namespace {

using namespace appcore;
using platform::DateOrder;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(DueRule, IntervalsAndRadios) {
  const CalendarDate today{2026, 3, 10};
  struct Case {
    const char* Scheduling;
    const char* LastBackup;
    bool EqualOrLater;
    bool Once;
    bool Due;
  } const cases[] = {
      {"1 Days", "2026-03-10", true, false, false},   {"1 Days", "2026-03-09", true, false, true},
      {"1 Days", "2026-03-09", false, false, false},  {"1 Days", "2026-03-08", false, false, true},
      {"2 Weeks", "2026-02-25", true, false, false},  {"2 Weeks", "2026-02-24", true, false, true},
      {"3 Months", "2025-12-11", true, false, false}, {"3 Months", "2025-12-10", true, false, true},
      {"1 Days", "2026-02-08", true, true, false},    {"5 Other", "2026-03-05", true, false, true},
      {"1 Days", "2026-03-13", true, false, false},
  };
  for (const auto& c : cases) {
    ScheduleTask task;
    task.Name = "T";
    task.Scheduling = c.Scheduling;
    task.LastBackup = c.LastBackup;
    const DueCheck check = CheckDue(task, c.Once, c.EqualOrLater, today, DateOrder::MonthDayYear);
    EXPECT_EQ(check.Due, c.Due) << c.Scheduling << " " << c.LastBackup << " EL=" << c.EqualOrLater;
    EXPECT_TRUE(check.Problem.empty());
  }
  ScheduleTask bad;
  bad.Name = "T";
  bad.LastBackup = "someday";
  EXPECT_FALSE(CheckDue(bad, false, true, today, DateOrder::MonthDayYear).Due);
  EXPECT_NE(CheckDue(bad, false, true, today, DateOrder::MonthDayYear).Problem, "");
  bad.LastBackup = "2026-01-01";
  bad.Scheduling = "Days";
  EXPECT_NE(CheckDue(bad, false, true, today, DateOrder::MonthDayYear).Problem, "");
}

TEST(DueRule, DatesOfOtherLocalesStillRead) {
  struct Case {
    const char* Text;
    DateOrder Order;
    CalendarDate Date;
  } const cases[] = {
      {"2026-12-09", DateOrder::DayMonthYear, {2026, 12, 9}}, {"12/9/2026", DateOrder::MonthDayYear, {2026, 12, 9}},
      {"9/12/2026", DateOrder::DayMonthYear, {2026, 12, 9}},  {"09.12.26", DateOrder::DayMonthYear, {2026, 12, 9}},
      {"13/04/2026", DateOrder::MonthDayYear, {2026, 4, 13}}, {"4/13/2026", DateOrder::DayMonthYear, {2026, 4, 13}},
      {"2026/4/1", DateOrder::MonthDayYear, {2026, 4, 1}},    {"1/2/99", DateOrder::MonthDayYear, {1999, 1, 2}},
  };
  for (const auto& c : cases) {
    const auto d = ParseDate(c.Text, c.Order, 2026);
    ASSERT_TRUE(d.has_value()) << c.Text;
    EXPECT_EQ(*d, c.Date) << c.Text;
  }
  for (const char* bad : {"", "Dec 9", "2/30/2026", "13/13/2026", "1/2/3/4", "99999/1/1"})
    EXPECT_FALSE(ParseDate(bad, DateOrder::MonthDayYear, 2026).has_value()) << bad;
}

class ScheduleFiles : public ::testing::Test {
 protected:
  testsupport::TempDir FDir;
  ScheduleStore FStore{FDir.Str(), DateOrder::DayMonthYear};
  CalendarDate FToday{2026, 12, 9};
};

TEST_F(ScheduleFiles, TaskDialogWritesTheTaskAndReadsItBack) {
  TaskSettings settings;
  settings.Unit = IntervalUnit::Weeks;
  settings.Weeks = "2";
  settings.EqualOrLater = false;
  settings.Description = "docs";
  auto row = FStore.SaveTask("Weekly", settings, {{"C:\\Data", "1,234"}, {"/srv/C#(1)", "5"}}, FToday);
  ASSERT_TRUE(row.Ok());
  EXPECT_EQ(row.Value().Scheduling, "2 Weeks");
  EXPECT_EQ(ReadText(FStore.TaskFilePath("Weekly")).substr(0, 24), "Weekly(C:\\Data*1,234()#)");
  const IniFile ini(FStore.ListPath());
  EXPECT_EQ(ini.ReadString("Weekly", "Task File", ""), FStore.TaskFilePath("Weekly"));
  EXPECT_EQ(ini.ReadString("Weekly", "Equal", ""), "1");
  EXPECT_EQ(ini.ReadString("Weekly", "Last Backup", ""), "2026-12-09");

  const auto edited = FStore.ReadTaskForEdit("Weekly", FToday);
  EXPECT_EQ(edited.Problem, "");
  EXPECT_EQ(edited.Settings.Unit, IntervalUnit::Weeks);
  EXPECT_FALSE(edited.Settings.EqualOrLater);
  ASSERT_EQ(edited.Files.size(), 2u);
  EXPECT_EQ(edited.Files[1].Path, "/srv/C#(1)");

  std::filesystem::remove(FStore.TaskFilePath("Weekly"));
  EXPECT_EQ(FStore.ReadTaskForEdit("Weekly", FToday).Problem, texts::kTaskFileMissingEdit);
}

TEST_F(ScheduleFiles, AnEditKeepsTheLastBackupUnlessTheListsIsLater) {
  ASSERT_TRUE(FStore.SaveTask("Weekly", {}, {}, CalendarDate{2026, 12, 1}).Ok());
  EXPECT_EQ(FStore.SaveTask("Weekly", {}, {}, FToday, std::string("2026-12-01")).Value().LastBackup, "2026-12-01");
  // A run the daemon recorded meanwhile is later than the window's date.
  ASSERT_TRUE(FStore.RecordBackup("Weekly", CalendarDate{2026, 12, 5}).Ok());
  EXPECT_EQ(FStore.SaveTask("Weekly", {}, {}, FToday, std::string("2026-12-01")).Value().LastBackup, "2026-12-05");
  EXPECT_EQ(IniFile(FStore.ListPath()).ReadString("Weekly", "Last Backup", ""), "2026-12-05");
}

TEST_F(ScheduleFiles, TheKnownTaskLineByteForByte) {
  ASSERT_TRUE(FStore.SaveTask("Weekly", {}, {{"C:\\Data", "1,234"}}, FToday).Ok());
  EXPECT_EQ(ReadText(FStore.TaskFilePath("Weekly")), "Weekly(C:\\Data*1,234()#)#\r\n");
}

TEST_F(ScheduleFiles, NamesThatLeaveTheFolderAreRefused) {
  for (const char* name : {"", "../x", "a/b", "a\\b", "..", "[x]", " pad", "line\nbreak"}) {
    EXPECT_FALSE(FStore.SaveTask(name, {}, {}, FToday).Ok()) << name;
    EXPECT_FALSE(FStore.DeleteTask(name).Ok()) << name;
  }
  EXPECT_EQ(FStore.SaveTask("", {}, {}, FToday).Err().Message, texts::kEnterTaskName);
  EXPECT_FALSE(std::filesystem::exists(FDir.Path() / "x.mvt"));
}

TEST_F(ScheduleFiles, ListSavesLoadsDeletesAndClears) {
  ASSERT_TRUE(FStore.SaveTask("A", {}, {}, FToday).Ok());
  ASSERT_TRUE(FStore.SaveTask("B", {}, {}, FToday).Ok());
  auto rows = FStore.LoadList(FToday);
  EXPECT_TRUE(rows.empty()) << "the names reach the list when the window closes";
  ScheduleTask a, b;
  a.Name = "A";
  b.Name = "B";
  a.LastBackup = "12/01/2025";  // an older locale's text
  b.LastBackup = "not a date";
  ASSERT_TRUE(FStore.SaveList({a, b}).Ok());

  rows = FStore.LoadList(FToday);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].Scheduling, "1 Days");
  const auto scan = FStore.ScanDueTasks(rows, FToday);
  EXPECT_EQ(scan.Due, std::vector<std::size_t>{0});
  ASSERT_EQ(scan.Problems.size(), 1u);
  EXPECT_NE(scan.Problems[0].find("not a date"), std::string::npos);
  EXPECT_EQ(rows[0].LastBackup, "2026-12-09");
  EXPECT_EQ(rows[1].LastBackup, "not a date") << "an unreadable date is kept, not replaced";

  ASSERT_TRUE(FStore.DeleteTask("A").Ok());
  EXPECT_FALSE(std::filesystem::exists(FStore.TaskFilePath("A")));
  EXPECT_FALSE(IniFile(FStore.ListPath()).SectionExists("A"));
  rows.erase(rows.begin());
  ASSERT_TRUE(FStore.SaveList(rows).Ok());
  EXPECT_EQ(IniFile(FStore.ListPath()).ReadString("Task", "Task1", "none"), "none");

  ASSERT_TRUE(FStore.AppendLog("x").Ok());
  ASSERT_TRUE(FStore.ClearAll().Ok());
  ASSERT_TRUE(FStore.SaveList({}).Ok());
  EXPECT_EQ(IniFile(FStore.ListPath()).ReadInteger("Count", "Value", -1), 0);
  EXPECT_FALSE(std::filesystem::exists(FStore.LogPath()));
  EXPECT_FALSE(std::filesystem::exists(FStore.TaskFilePath("B")));
}

// Makes the list look written a minute ago, as a list usually is.
void AgeFile(const std::string& path) {
  std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::minutes(1));
}

TEST_F(ScheduleFiles, TheListIsParsedAgainOnlyWhenTheFileChanged) {
  std::vector<ScheduleTask> rows;
  for (const char* name : {"A", "B", "C"}) {
    auto row = FStore.SaveTask(name, {}, {}, FToday);
    ASSERT_TRUE(row.Ok());
    rows.push_back(row.Value());
  }
  ASSERT_TRUE(FStore.SaveList(rows).Ok());
  AgeFile(FStore.ListPath());
  const std::size_t first = FStore.ListReads();
  rows = FStore.LoadList(FToday);
  ASSERT_EQ(rows.size(), 3u);
  for (int tick = 0; tick < 50; ++tick) {
    auto copy = rows;
    EXPECT_TRUE(FStore.ScanDueTasks(copy, FToday).Due.empty());
  }
  EXPECT_EQ(FStore.LoadList(FToday).size(), 3u);
  EXPECT_EQ(FStore.ReadTaskForEdit("B", FToday).Settings.Days, "1");
  EXPECT_EQ(FStore.ListReads(), first + 1) << "an unchanged list is read once";

  // The daemon, with a store of its own, burns "B": this store sees the new
  // date on its next look, and only then reads the file again.
  const ScheduleStore daemon(FDir.Str(), DateOrder::DayMonthYear);
  const CalendarDate later{2026, 12, 20};
  ASSERT_TRUE(daemon.RecordBackup("B", later).Ok());
  rows = FStore.LoadList(FToday);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1].LastBackup, "2026-12-20");
  AgeFile(FStore.ListPath());
  EXPECT_EQ(FStore.LoadList(FToday)[1].LastBackup, "2026-12-20");
  const std::size_t afterDaemon = FStore.ListReads();
  EXPECT_EQ(FStore.LoadList(FToday).size(), 3u);
  EXPECT_EQ(FStore.ListReads(), afterDaemon);

  // Our own writes, and a list deleted under us, are never answered from memory.
  ASSERT_TRUE(FStore.RecordBackup("A", later).Ok());
  AgeFile(FStore.ListPath());
  EXPECT_EQ(FStore.LoadList(FToday)[0].LastBackup, "2026-12-20");
  std::filesystem::remove(FStore.ListPath());
  EXPECT_TRUE(FStore.LoadList(FToday).empty());
  // A copy of the store shares what it knows.
  const ScheduleStore copy = FStore;
  const std::size_t before = FStore.ListReads();
  EXPECT_TRUE(copy.LoadList(FToday).empty());
  EXPECT_EQ(FStore.ListReads(), before);
}

TEST_F(ScheduleFiles, AListWrittenMomentsAgoIsReadEachTime) {
  // Within the file system's time resolution a second write may keep the
  // stamp: such a young file is not trusted from memory.
  ASSERT_TRUE(FStore.SaveTask("A", {}, {}, FToday).Ok());
  ScheduleTask a;
  a.Name = "A";
  a.LastBackup = "2026-12-01";
  ASSERT_TRUE(FStore.SaveList({a}).Ok());
  const std::size_t first = FStore.ListReads();
  FStore.LoadList(FToday);
  FStore.LoadList(FToday);
  EXPECT_EQ(FStore.ListReads(), first + 2);
  const auto stamp = std::filesystem::last_write_time(FStore.ListPath());
  const auto size = std::filesystem::file_size(FStore.ListPath());
  // Rewritten with the same size and the same time by another writer.
  {
    std::string text = ReadText(FStore.ListPath());
    const auto at = text.find("2026-12-01");
    ASSERT_NE(at, std::string::npos);
    text.replace(at, 10, "2026-12-05");
    std::ofstream(FStore.ListPath(), std::ios::binary | std::ios::trunc) << text;
  }
  std::filesystem::last_write_time(FStore.ListPath(), stamp);
  ASSERT_EQ(std::filesystem::file_size(FStore.ListPath()), size);
  EXPECT_EQ(FStore.LoadList(FToday)[0].LastBackup, "2026-12-05");
}

TEST_F(ScheduleFiles, LogLinesAreAppended) {
  ASSERT_TRUE(FStore.AppendLog(StartLogLine("/s/W.mvt", "2026-12-09", "10:00:00")).Ok());
  ASSERT_TRUE(FStore.AppendLog(DoneLogLine("2026-12-09", "10:05:00")).Ok());
  EXPECT_EQ(ReadText(FStore.LogPath()),
            "Start backup task:/s/W.mvt 2026-12-09 10:00:00\r\nBackup task done 2026-12-09 10:05:00\r\n");
  Options options;
  EXPECT_TRUE(WritesDoneLine(options));
  options.Sound(SoundEvent::ScheduleDone).Enabled = false;
  EXPECT_FALSE(WritesDoneLine(options));
  options.Sound(SoundEvent::ScheduleDone).Enabled = true;
  options.RecordLog = false;
  EXPECT_FALSE(WritesDoneLine(options));
}

TEST(RunTask, NotReadyAndNotRecorderFollowTheRadios) {
  Options options;
  EXPECT_EQ(DriveNotReadyAction(options), NotReadyAction::Ask);
  EXPECT_TRUE(ReportsDriveNotRecorder(options));
  options.EjectNoDisc = true;
  EXPECT_EQ(DriveNotReadyAction(options), NotReadyAction::EjectAndAsk);
  options.Query = false;
  options.CancelTask = true;
  EXPECT_EQ(DriveNotReadyAction(options), NotReadyAction::Cancel);
  EXPECT_FALSE(ReportsDriveNotRecorder(options));
}

TEST(ScheduledStart, OnlyAnExactFirstArgument) {
  EXPECT_TRUE(IsScheduleStart({"-Schedule"}));
  EXPECT_TRUE(IsScheduleStart({"-Schedule", "x"}));
  EXPECT_FALSE(IsScheduleStart({}));
  EXPECT_FALSE(IsScheduleStart({"-schedule"}));
  EXPECT_FALSE(IsScheduleStart({"x", "-Schedule"}));
}

}  // namespace
