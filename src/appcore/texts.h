#pragma once
// Every text of the application core that a person reads, side by side.
// Texts are kept exactly, typos included: users and their logs know them.
namespace appcore::texts {

// Tasks and the compilation.
inline constexpr const char* kNothingSelected = "Atleast one file/directory should be selected";
inline constexpr const char* kSaveQuestion = "The task has been changed, save it?";
inline constexpr const char* kRootPrefix = "My Disc ";
inline constexpr const char* kNewFolderPrefix = "New_Folder_";
inline constexpr const char* kTaskFileTooLarge = "The task file is too large";
inline constexpr const char* kTaskFileTooManyNodes = "The task file holds too many files and folders";
inline constexpr const char* kTaskFileNesting = "The task file nests its folders too deeply";
inline constexpr const char* kTaskFileUnterminated = "The task file ends in the middle of a folder";
inline constexpr const char* kTaskFileTrailing = "The task file has text after its end";
inline constexpr const char* kTaskFileBadEscape = "The task file holds a damaged name";
inline constexpr const char* kTaskFileUnreadable = "The task file cannot be read: ";
inline constexpr const char* kTaskFileBadFolderName =
    "The task file holds a folder name that cannot go on a disc (\".\", \"..\", \"/\" or \"\\\"): ";

// Choosing a drive.
inline constexpr const char* kNoPassThrough =
    "no CD/DVD drive: no optical drive answers through the pass-through layer";
inline constexpr const char* kNoDrives = "no CD/DVD drives found";
inline constexpr const char* kNoWriter = "no drive that can write was found";
inline constexpr const char* kNoSuchDrive = "no drive matches ";
inline constexpr const char* kNoSuchDriveHint = " (see zantic-cli devices)";

// Burning.
inline constexpr const char* kNothingToBurn = "NOTHING TO WRITE: THE TASK'S SOURCES HOLD NO FILES";
inline constexpr const char* kVerifying = ">>> Verifying...";
inline constexpr const char* kVerified = ">>> Verified: every sector written reads back the same.";

// Copying a disc from another drive.
inline constexpr const char* kInsertSourceDisc = "Please insert source disc into your source drive";
inline constexpr const char* kSameDrives = "The Source Drive and Destination Drive can not be the same.";
inline constexpr const char* kSourceDriveMissing = "The source drive is not in the drive list: ";
inline constexpr const char* kSourceNotMounted =
    "The disc in the source drive (%s) is not mounted. Open it in the file manager or mount it, then start "
    "the copy again.";
inline constexpr const char* kSourceNoFileSystem = "The source disc holds no ISO 9660 file system that can be read.";
inline constexpr const char* kSourceUnreadable = "The source disc cannot be read: ";
inline constexpr const char* kSourceMountUnreadable = "The files of the source disc cannot be read from %s.";
inline constexpr const char* kCopyCancelled = "The copy was cancelled.";
inline constexpr const char* kSourceFilesLeftOut = "Some files of the source disc could not be read; see the log.";

// Scheduled tasks.
inline constexpr const char* kScheduleWindowCaption = "Schedule a backup";
inline constexpr const char* kBackupTasksHint = " Backup Tasks";
inline constexpr const char* kEnterTaskName = "Please enter the Task Name.";
inline constexpr const char* kTaskFileMissingEdit = "The task file does not exists!";
inline constexpr const char* kTaskFileMissingRun = "The task file does not exists.";
inline constexpr const char* kSelectTaskFirst = "Please select a task first.";
inline constexpr const char* kClearQuestion = "Are you sure to delete all backup tasks?";
inline constexpr const char* kClearListQuestion = "Are you sure to clear the list?";
inline constexpr const char* kNotErasable = "Disc is not Erasable";
inline constexpr const char* kDriveNotRecorder =
    "The drive you set is not a CD \\ DVD Recorder, please select another dirve.";
inline constexpr const char* kDriveNotReady =
    "The Driver is not ready. Please insert a writable disc.\n\rAnd Click OK to continue the task or Click Cancel to "
    "cancel.";
inline constexpr const char* kDriveNotReadyCaption = "Informaiton";
inline constexpr const char* kLogStart = "Start backup task:";
inline constexpr const char* kLogDone = "Backup task done ";
inline constexpr const char* kBadTaskName =
    "A task name cannot hold \"/\", \"\\\", \"[\", \"]\" or control characters, be \".\" or \"..\", or begin or "
    "end with a space";
inline constexpr const char* kUnreadableDate = "The last backup date of the task cannot be read: ";
inline constexpr const char* kUnreadableScheduling = "The scheduling of the task cannot be read: ";

// Tips and the new-version check.
inline constexpr const char* kTipCaption = "Everyday Tips";
inline constexpr const char* kNoTitle = "No title available.";
inline constexpr const char* kNoContent = "No content available.";
inline constexpr const char* kDetectFailed = "Detect latest version failed,please check your network.";
inline constexpr const char* kCheckFailed = "Checking the latest version failed,please check your network.";
inline constexpr const char* kIsLatest = "The current version is the latest version.";
inline constexpr const char* kLatestVersionOf = "The latest version of ";
inline constexpr const char* kDownloadQuestion = "Do you want to download it now?";

inline constexpr const char* kInformation = "Information";
inline constexpr const char* kQuery = "Query";

}  // namespace appcore::texts
