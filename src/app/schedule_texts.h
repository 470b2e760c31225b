#pragma once
// The texts of the schedule window and the task dialog.
namespace app::schedule_texts {

inline constexpr const char* kAdd = "Add";
inline constexpr const char* kDelete = "Delete";
inline constexpr const char* kClear = "Clear";
inline constexpr const char* kRun = "Run";
inline constexpr const char* kEdit = "Edit";
inline constexpr const char* kOptions = "Options";
inline constexpr const char* kColumns[] = {"Task Name",  "Disc Volume", "Scheduling", "Discription",
                                           "Task File", "Start Date",  "Last Backup"};
inline constexpr int kColumnWidths[] = {80, 85, 85, 150, 100, 70, 70};

inline constexpr const char* kDialogSuffix = " Backup Task";
inline constexpr const char* kModeAdd = "Add";
inline constexpr const char* kModeEdit = "Edit";
inline constexpr const char* kTaskName = "Task Name";
inline constexpr const char* kDiscVolumeNote = "(Disc Volume)";
inline constexpr const char* kDescription = "Description:";
inline constexpr const char* kPeriodicity = "Periodicity and time";
inline constexpr const char* kCarryOut = "Carry out the task when:";
inline constexpr const char* kDays = "Days";
inline constexpr const char* kWeeks = "Weeks";
inline constexpr const char* kMonths = "Months";
inline constexpr const char* kEqualOrLater = "time is equal or later than the schedule";
inline constexpr const char* kExactlyEqual = "time is exactly equal to the schedule";
inline constexpr const char* kOnlyOnce = "Only once (1 time)";
inline constexpr const char* kDate = "Date";
inline constexpr const char* kTime = "Time";
inline constexpr const char* kFilesGroup = "File and Folder to backup";
inline constexpr const char* kFileColumn = "File or FolderName";
inline constexpr const char* kSizeColumn = "Size (B)";
inline constexpr const char* kAddButton = "&Add";
inline constexpr const char* kAddFile = "Add File";
inline constexpr const char* kAddFolder = "Add Folder";
inline constexpr const char* kRemove = "&Remove";
inline constexpr const char* kClearList = "C&lear";
inline constexpr const char* kOk = "&OK";
inline constexpr const char* kCancel = "&Cancel";
inline constexpr const char* kClearListQuestion = "Are you sure to clear the list?";
inline constexpr const char* kAllFiles = "All Files (*)";
inline constexpr const char* kMeasuring = "Measuring %1...";

// Not shown before: the window never asked these.
inline constexpr const char* kReplaceTask = "A backup task named \"%1\" already exists. Replace its files and schedule?";
inline constexpr const char* kRunnerBusy =
    "Another Zantic is burning a scheduled backup task now. Run this task again when it has finished.";
inline constexpr const char* kRunning = "Burning the backup task %1...";
inline constexpr const char* kRunningPercent = "Burning the backup task %1: %2 %";
inline constexpr const char* kRunDone = "Backup task %1 done.";
inline constexpr const char* kRunFailed = "Backup task %1 was not burnt: %2";
inline constexpr const char* kRunCancelled = "Backup task %1 was not burnt; it stays due.";
inline constexpr const char* kSaveFailed = "The schedule list could not be written: ";
inline constexpr const char* kExitWhileBurning =
    "A scheduled backup task is being burnt. Stop the burn and exit?\n"
    "A disc stopped in the middle of writing may not be readable.";

}  // namespace app::schedule_texts
