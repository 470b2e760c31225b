#pragma once
// Scheduled backup tasks: the list in ScheduleList.ini, one task file per
// task, the due rule checked every 10 seconds, and the run log Log.txt, all
// in the "Schedule" folder under the program folder.
//
// Dates are written as yyyy-mm-dd whatever the locale. Older lists hold them
// in the short date format of the day they were written; those are read in
// the order of the user's short date format, or the other order when only
// that one makes a date. A date that reads neither way is kept as it is and
// reported, and its task is not run, so that a change of locale can neither
// lose a task nor make every task due.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "appcore/ini_file.h"
#include "base/result.h"
#include "platform/time_zone.h"

namespace appcore {

class Options;

inline constexpr const char* kScheduleFolderName = "Schedule";
inline constexpr const char* kScheduleListFileName = "ScheduleList.ini";
inline constexpr const char* kLogFileName = "Log.txt";
inline constexpr const char* kScheduleArgument = "-Schedule";
inline constexpr const char* kScheduledStartName = "Zantic Schedule";
// The list is read no further: no one keeps more tasks, and a damaged count
// must not keep the program reading.
inline constexpr std::int32_t kMaxScheduleTasks = 1000;
inline constexpr int kScheduleCheckSeconds = 10;

struct CalendarDate {
  int Year = 0;
  int Month = 0;
  int Day = 0;
  bool operator==(const CalendarDate&) const = default;
};
CalendarDate Today();
std::int64_t DayNumber(const CalendarDate& date);
std::string FormatDate(const CalendarDate& date);                  // yyyy-mm-dd
std::string FormatTime(const platform::CivilTime& time);           // hh:mm:ss
std::optional<CalendarDate> ParseDate(std::string_view text, platform::DateOrder order, int currentYear);

// One row of the schedule window's list.
struct ScheduleTask {
  std::string Name;
  std::string Scheduling = "1 Days";
  std::string Description;
  std::string TaskFile;
  std::string StartDate;
  std::string LastBackup;
};

enum class IntervalUnit { Days, Weeks, Months };

// The section the task dialog writes for a task.
struct TaskSettings {
  IntervalUnit Unit = IntervalUnit::Days;
  bool Once = false;
  std::string Days = "1";
  std::string Weeks = "1";
  std::string Months = "1";
  bool EqualOrLater = true;  // else "time is exactly equal to the schedule"
  std::string Description;
  std::string Date2;
  std::string Time2;
  // The count of the chosen unit followed by " Days", " Weeks" or " Months".
  std::string SchedulingText() const;
};

struct TaskFileEntry {
  std::string Path;
  std::string SizeText;
};

// The interval in days: the integer before the first space, times 7 for
// "Weeks" and 30 for "Months". Nothing when there is no such integer.
std::optional<std::int64_t> IntervalDays(std::string_view scheduling);

struct DueCheck {
  bool Due = false;
  std::string Problem;  // why the task could not be judged; it is not run
};
// Due when elapsed >= interval ("equal or later"), or elapsed > interval.
DueCheck CheckDue(const ScheduleTask& task, bool once, bool equalOrLater, const CalendarDate& today,
                  platform::DateOrder order);

// A name becomes a file name and a section name.
base::Status ValidateTaskName(const std::string& name);

std::string StartLogLine(const std::string& taskFile, const std::string& date, const std::string& time);
std::string DoneLogLine(const std::string& date, const std::string& time);
// The done line is written only when the schedule-done sound is on as well.
bool WritesDoneLine(const Options& options);
std::string BackupTasksHint(std::size_t count);

// What a scheduled run does when the drive is not ready: give up silently
// ("Cancel the task."), or ask to insert a disc, ejecting first when the
// options say so.
enum class NotReadyAction { Cancel, Ask, EjectAndAsk };
NotReadyAction DriveNotReadyAction(const Options& options);
// The same for a run a person started: someone is there, so the question is
// always asked; the tray still opens first when the options say so.
NotReadyAction PersonNotReadyAction(const Options& options);
// A drive that cannot write is reported only with "Query"; with "Cancel the
// task." the run just ends.
bool ReportsDriveNotRecorder(const Options& options);

// True when the program was started for scheduled tasks: exactly "-Schedule"
// as the first argument.
bool IsScheduleStart(const std::vector<std::string>& arguments);

class ScheduleStore {
 public:
  explicit ScheduleStore(std::string programFolder, platform::DateOrder order = platform::ShortDateOrder());

  std::string Folder() const;
  std::string ListPath() const;
  // Why the list file could not be read (too large, not a regular file);
  // empty when it was read or is missing. Such a list reads as empty and is
  // never saved over.
  std::string ListProblem() const;
  std::string LogPath() const;
  // <folder>/Schedule/<name>.mvt, where runs read the task.
  std::string TaskFilePath(const std::string& name) const;

  // The rows in list order; names left empty are skipped.
  std::vector<ScheduleTask> LoadList(const CalendarDate& today) const;
  // The count, the names and each row's last backup; everything else in the
  // file stays.
  base::Status SaveList(const std::vector<ScheduleTask>& rows) const;

  // The task dialog's OK: writes the task file and the task's section and
  // returns the row for a new task (dates today). An edited task keeps its
  // last backup (`editedLastBackup`, or the list's date when that is later),
  // so that changing its description or files does not put off its next run.
  base::Result<ScheduleTask> SaveTask(const std::string& name, const TaskSettings& settings,
                                      const std::vector<TaskFileEntry>& files, const CalendarDate& today,
                                      const std::optional<std::string>& editedLastBackup = std::nullopt) const;
  struct EditedTask {
    TaskSettings Settings;
    std::vector<TaskFileEntry> Files;
    std::string Problem;  // the file list could not be read
  };
  EditedTask ReadTaskForEdit(const std::string& name, const CalendarDate& today) const;
  // Removes the task's section and file; the caller removes the row.
  base::Status DeleteTask(const std::string& name) const;
  // Deletes every file of the Schedule folder, the list and the log included.
  base::Status ClearAll() const;

  struct Scan {
    std::vector<std::size_t> Due;         // rows to run, in list order
    std::vector<std::string> Problems;    // tasks that could not be judged
  };
  // The timer's check: due rows get today as their last backup.
  Scan ScanDueTasks(std::vector<ScheduleTask>& rows, const CalendarDate& today) const;

  // A burn of the task ended well on `day`: only its "Last Backup" changes,
  // so a task that failed, or one the desktop's list holds, is left alone.
  base::Status RecordBackup(const std::string& name, const CalendarDate& day) const;

  // Appends one line; earlier lines are never rewritten.
  base::Status AppendLog(const std::string& line) const;

  // How many times the list file was read and parsed for LoadList,
  // ScanDueTasks and ReadTaskForEdit.
  std::size_t ListReads() const;

 private:
  // The parsed list, kept while the file's size and time stay the same, so
  // that the ten-second check does not parse a thousand sections each time.
  // Writes always start from the file itself and drop the kept copy. Copies
  // of a store share it.
  struct ListCache;
  std::shared_ptr<const IniFile> CachedList() const;
  void ForgetList() const;

  std::string FProgramFolder;
  platform::DateOrder FOrder;
  std::shared_ptr<ListCache> FCache;
};

// Writes the log-on entry that starts `executable` with "-Schedule" when
// auto-execute is on and there is a task and it is missing; removes it
// otherwise. An existing entry is left as it is.
base::Status UpdateScheduledStart(bool autoExecute, std::size_t taskCount, const std::string& executable);

}  // namespace appcore
