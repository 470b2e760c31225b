#pragma once
// Every text the windows show, side by side. Texts the program has always
// shown are kept exactly as they were, typos included.
namespace app::texts {

inline constexpr const char* kProductName = "Zantic";
inline constexpr const char* kDefaultVersion = "3.9";
inline constexpr double kDefaultVersionNumber = 3.9;
inline constexpr const char* kWebSite = "http://www.zantic.example/";
inline constexpr const char* kWebSiteShown = "www.zantic.example";
inline constexpr const char* kTechnicalSupportMail = "mailto:support@zantic.example";
inline constexpr const char* kSaleSupportMail = "mailto:sales@zantic.example";
inline constexpr const char* kReportBugMail = "mailto:contact@zantic.example";

// Start window and tray.
inline constexpr const char* kVersionPrefix = "V";
inline constexpr const char* kTrayMainWindow = "&Main Window";
inline constexpr const char* kTrayScheduleList = "&Schedule List";
inline constexpr const char* kTrayOptions = "&Options";
inline constexpr const char* kTrayExit = "&Exit";
inline constexpr const char* kBackgroundImageFailed = "Can not open the background image: ";

// About box.
inline constexpr const char* kAboutCaption = "About";
inline constexpr const char* kAboutVersionPrefix = "Version ";
inline constexpr const char* kAboutSystems = "Windows95/98/ME/2000/NT/XP/2003";
inline constexpr const char* kOk = "OK";

// Tip window.
inline constexpr const char* kTipsCaption = "Everyday Tips";
inline constexpr const char* kTipsContent = "Content";
inline constexpr const char* kTipsNeverShow = "Never show Everyday Tips when start-up";
inline constexpr const char* kTipsOk = "&OK";

// Erase dialog and the erase routines.
inline constexpr const char* kEraseCaption = "Erase Disc";
inline constexpr const char* kSelectTheDrive = "Select the drive";
inline constexpr const char* kSelectEraseMethod = "Select the erase method";
inline constexpr const char* kQuickEraseMethod = "Quick erase rewritable disc";
inline constexpr const char* kFullEraseMethod = "Full erase rewritable disc";
inline constexpr const char* kQuickNote1 = "The disc appear to be empty but data is not physically";
inline constexpr const char* kQuickNote2 = "erased. Use this option with caution if the disc contains";
inline constexpr const char* kQuickNote3 = "confidential data.";
inline constexpr const char* kFullNote1 = "Select this option will physically erase all data in the ";
inline constexpr const char* kFullNote2 = "disc. Note: Physicall erasing will take more time.";
inline constexpr const char* kSelectEraseSpeed = "Select the erase speed";
inline constexpr const char* kProgressLabel = "Progress";
inline constexpr const char* kElapseTime = "Elapse Time:";
inline constexpr const char* kRemainTime = "Remain Time:";
inline constexpr const char* kEraseButton = "&Erase";
inline constexpr const char* kCancelButton = "&Cancel";
inline constexpr const char* kFinishButton = "&Finish";
inline constexpr const char* kAbortButton = "&Abort";
inline constexpr const char* kInformaiton = "Informaiton";
inline constexpr const char* kInformation = "Information";
inline constexpr const char* kEraseDriveNotReady = "Drive %1: is not ready. Please insert a rewritable disc into it first.";
inline constexpr const char* kDriveBusy = "The drive is busy with another operation. Please wait until it has ended.";
inline constexpr const char* kEraseDataLost = "All Data on the CD will be lost";
inline constexpr const char* kQuickEraseQuestion = "Want to Quick Erase the Disc ?";
inline constexpr const char* kCompleteEraseQuestion = "Want to Complete Erase the Disc ? (may take 10-70 mins)";
inline constexpr const char* kEraseDoneWithError = "Erase process done with error.";
inline constexpr const char* kEraseDone = "Erase process done.";
inline constexpr const char* kEraseStillRunning =
    "The disc is being erased. Zantic can end when the erase is done or aborted.";
inline constexpr const char* kBurnStillRunning =
    "A disc or an image is being written. Zantic can end when the operation is done or aborted.";

// Main window: panes.
inline constexpr const char* kDestinationDisc = "Destination Disc";
inline constexpr const char* kNameColumn = "Name (Drop files and folders here)";
inline constexpr const char* kSizeColumn = "Size (Byte)";
inline constexpr const char* kSourceList = "Source List ( Drag folders and files here and drop them into Buring List )";
inline constexpr const char* kDirlistHint = "Source - Directory list";
inline constexpr const char* kFilesHint = "Source - File List";
inline constexpr const char* kTaskFilter = "Mervil Task File (*.mvt)";
inline constexpr const char* kOpenTaskCaption = "Open";
inline constexpr const char* kSaveTaskCaption = "Save As";

// Main window: toolbar hints.
inline constexpr const char* kHintNew = "Creates a new task";
inline constexpr const char* kHintOpen = "Opens an existing task";
inline constexpr const char* kHintSave = "Saves current task";
inline constexpr const char* kHintCut = "Cuts the selection and puts it on the clipboard";
inline constexpr const char* kHintCopy = "Copys the selection and puts it on the clipboard";
inline constexpr const char* kHintPaste = "Inserts content of the clipboard";
inline constexpr const char* kHintDrives = "Selects a CD \\ DVD drive";
inline constexpr const char* kHintEject = "Ejects the disc";
inline constexpr const char* kHintCaps = "Displays the information of the drive";
inline constexpr const char* kHintDisc = "Displays the information of the disc";
inline constexpr const char* kHintBurn = "Burns the current task";
inline constexpr const char* kHintClone = "Creates a copy of CD \\ DVD";
inline constexpr const char* kHintErase = "Erases a CD \\ DVD";
inline constexpr const char* kHintBuildISO = "Builds ISO";
inline constexpr const char* kHintBurnISO = "Burns ISO";
inline constexpr const char* kHintOptions = "Options";
inline constexpr const char* kHintAbout = "About";
inline constexpr const char* kHintHelp = "Help";
inline constexpr const char* kNoDrive = "  Drive :";

// Long work.
inline constexpr const char* kLoadingTask = "Opening the task...";
inline constexpr const char* kMeasuringDrop = "Measuring the dropped files and folders: %1 entries";
inline constexpr const char* kCancel = "Cancel";
inline constexpr const char* kSaveFailed = "The task could not be saved: ";

}  // namespace app::texts
