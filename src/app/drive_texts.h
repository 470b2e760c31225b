#pragma once
// Texts of the drive and disc windows, exactly as the program has always
// shown them (typos included), beside the few new ones.
namespace app::texts {

inline constexpr const char* kAspiFailed =
    "Error initializing ASPI Layer, Please visit support page, %1 for more information";
inline constexpr const char* kDrivePrefix = "Drive ";
inline constexpr const char* kScanningDrives = "Looking for CD and DVD drives...";

// Device capabilities.
inline constexpr const char* kCapsCaption = "Device Capabilities";
inline constexpr const char* kBluRayBox = "Blu-ray";
inline constexpr const char* kMaxWriteSpeed = "Max Write Speed   :  ";
inline constexpr const char* kMaxReadSpeed = "Max Read Speed    :  ";
inline constexpr const char* kClose = "Close";

// Disc information and sessions.
inline constexpr const char* kSessionsCaption = "Disc & Sessions Information";
inline constexpr const char* kMediumLabel = "Medium  :";
inline constexpr const char* kDiscSizeLabel = "Disc Size  :";
inline constexpr const char* kUsedSpaceLabel = "Used Space  :";
inline constexpr const char* kShowFiles = "Show Files";
inline constexpr const char* kSelectSession = "Select session from list";
inline constexpr const char* kReadingDisc = "Reading the disc information...";
inline constexpr const char* kImportingSession = "Reading session %1...";
inline constexpr const char* kSessionNotRead = "The session could not be read.";

// Disc layout and tree windows.
inline constexpr const char* kLayoutCaption = "Remove files or directories";
inline constexpr const char* kTreeCaption =
    "File and Directories Viewer and Extractor (Double Click on a file name to extract)";
inline constexpr const char* kRootNode = "CDROOT";
inline constexpr const char* kFileName = "File Name";
inline constexpr const char* kFileSize = "File Size";
inline constexpr const char* kDateTime = "    Date & Time ";
inline constexpr const char* kDirMark = " < DIR > ";
inline constexpr const char* kDelete = "Delete";
inline constexpr const char* kRefresh = "Refresh";
inline constexpr const char* kNoDeleteDir = "You can not delete directory, %1 is a directory, use tree view to delete directory";
inline constexpr const char* kNoExtractDir = "You can not extract directory, %1 is a directory";
inline constexpr const char* kExtractCaption = "Extract File";
inline constexpr const char* kExtractPrompt = "Enter Filename and Path";
inline constexpr const char* kExtracting = "Extracting ";
inline constexpr const char* kExtractAllHint = "Click here to extract every file of the listed directory";
inline constexpr const char* kExtractAllCaption = "Extract the files of this directory to";
inline constexpr const char* kExtractFailed = "Some files could not be extracted:\n%1";
inline constexpr const char* kUnsafeName = "%1 (a name that cannot be a file here)";

// Background work.
inline constexpr const char* kWorkingCaption = "Please wait";

// Help.
inline constexpr const char* kHelpCaption = "Zantic Help";
inline constexpr const char* kHelpMissing = "The help file could not be found: ";

}  // namespace app::texts
