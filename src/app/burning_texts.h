#pragma once
// Texts of the burn, copy and image dialog and of the main window's disc
// operations, kept exactly as the program has always shown them.
namespace app::texts {

// Modes.
inline constexpr const char* kModeBurn = "Burn";
inline constexpr const char* kModeCopy = "Copy";
inline constexpr const char* kModeBuildISO = "BuildISO";
inline constexpr const char* kModeBurnISO = "BurnISO";

// Captions.
inline constexpr const char* kCaptionBurn = "Burn a disc";
inline constexpr const char* kCaptionBuildISO = "Build .ISO";
inline constexpr const char* kCaptionBurnISO = "Burn .ISO to CD \\ DVD";
inline constexpr const char* kCaptionCopy = "Make a copy of the disc";
inline constexpr const char* kPreference = "Preference";
inline constexpr const char* kVolumeLabel = "Volume Label of Disc";
inline constexpr const char* kIsoFileName = ".ISO File Name:";
inline constexpr const char* kIsoFilter = ".ISO File (*.iso)";
inline constexpr const char* kQuickSave = "Quick save .ISO";
inline constexpr const char* kDiskIcon = "Disk Icon";
inline constexpr const char* kBlankIcon = "Blank (Default)";
inline constexpr const char* kCustomIcon = "Custom Icon";
inline constexpr const char* kAutoRunIcon = "Icon of Auto Run Execute File";
inline constexpr const char* kIconFilter = "*.ico ; *.bmp (*.ico *.bmp)";
inline constexpr const char* kAutoRunGroup = "Auto Run Execute File";
inline constexpr const char* kUseAutoRun = "Use Auto-Run Execute File";
inline constexpr const char* kFileThatAutoRuns = "File that auto run";
inline constexpr const char* kExeFilter = "EXE Files (*.exe);;All Files (*.*)";
inline constexpr const char* kOptionsGroup = "Options";
inline constexpr const char* kBurningSpeed = "Burning Speed:";
// A Blu-ray disc formatted with spare areas: defect management halves the speed.
inline constexpr const char* kStreaming = "Streaming: full speed, spare areas unused";
inline constexpr const char* kSpareAreasNote =
    " MB of spare areas on this Blu-ray disc: defect management verifies what is written, at about half the speed.";
inline constexpr const char* kLogDefectManagement = "Defect management on: the disc's spare areas halve the speed";
inline constexpr const char* kLogStreaming = "Streaming: full speed, the disc's spare areas unused";
inline constexpr const char* kCloseDisk = "Close disk (Finialize)";
inline constexpr const char* kTestWrite = "Test write";
inline constexpr const char* kEjectAfter = "Eject the disc after done";
inline constexpr const char* kBootable = "Bootable";
inline constexpr const char* kShowFiles = "Show files before buring";
inline constexpr const char* kAdvance = "&Advance";
inline constexpr const char* kStart = "&Start";
inline constexpr const char* kBurnISOGroup = "Burn .ISO to CD \\ DVD";
inline constexpr const char* kSourceISO = "Source .ISO File:";
inline constexpr const char* kDestinationDrive = "Destination Drive";
inline constexpr const char* kCopyGroup = "Make a copy of the disc";
inline constexpr const char* kDualCopy = "Dual Drives Copy";
inline constexpr const char* kSource = "Source:";
inline constexpr const char* kDestination = "Destination:";
inline constexpr const char* kCopyStep1 = "Steps: 1. Insert the source disc into the dirve.";
inline constexpr const char* kCopyStep2 = "2. Click Start button. ";
inline constexpr const char* kProgressGroup = "Progress and Log";
inline constexpr const char* kTotalSize = "Total Size:";
inline constexpr const char* kFinished = "Finished:";
inline constexpr const char* kElapse = "Elapse Time:";
inline constexpr const char* kRemain = "Remain Time:";
inline constexpr const char* kProgress = "Progress:";
inline constexpr const char* kSoftBuffer = "Software Buffer Status:";
inline constexpr const char* kDeviceBuffer = "Device Buffer Status:";
inline constexpr const char* kLog = "Log:";
inline constexpr const char* kSaveLog = "S&ave";
inline constexpr const char* kPrint = "&Print";
inline constexpr const char* kClear = "&Clear";
inline constexpr const char* kAbort = "&Abort";
inline constexpr const char* kSaveISO = "Save &ISO";
inline constexpr const char* kCloseTrack = "&Close Track";
inline constexpr const char* kDoneAndEject = "&Done and Eject";
inline constexpr const char* kEjectAndDone = "Eject && Done";
inline constexpr const char* kDone = "Done";
inline constexpr const char* kDiscard = "Discard";
inline constexpr const char* kCancelButton = "&Cancel";
inline constexpr const char* kNoteRw =
    "Note for CD-RW (DVD+/- RW): Please make sure the CD-RW (DVD+/-RW) disc is not Closed (You can change this "
    "setting in Options.) ";
inline constexpr const char* kNoteClosed =
    "If the rewritable disc is closed, please erase (Quick Erase or Full Erase) the CD-RW (DVD+/-RW) disc before the "
    "burning.";
inline constexpr const char* kProgressBurning = "Progress and Log - Burning ";
inline constexpr const char* kProgressBuild = "Progress and Log - Build .ISO";
inline constexpr const char* kProgressBurnISO = "Progress and Log - Burn .ISO to CD \\ DVD";
inline constexpr const char* kProgressCopy = "Progress and Log - Making a copy of disc";
inline constexpr const char* kLogFilter = "Rich Text File (*.rtf);;TXT File (*.txt)";

// Messages.
inline constexpr const char* kInformation = "Information";
inline constexpr const char* kInformaiton = "Informaiton";
inline constexpr const char* kNotReadyWait =
    ": is not ready. Please insert a writable disc.\n\rIf you have inserted the disc,please be patient and wait a few "
    "seconds for your drive to detect the disc. Then click button Retry";
inline constexpr const char* kNotReadyStart = ": is not ready. Please insert a writable disc into it first.";
inline constexpr const char* kAbortByUser = "Abort by user";
inline constexpr const char* kEnterAutoRunFirst = "Please enter Auto-Run Execute File first.";
inline constexpr const char* kNoIconInExe = "The Auto-Run Execute File contains no icon.";
inline constexpr const char* kAutoRunMissing = "The Auto-Run Execute File you enter does not exists.";
inline constexpr const char* kIconMissing = "The icon file you enter does not exists.";
inline constexpr const char* kEnterIsoPath = "Please enter path and name of the destination .ISO file.";
inline constexpr const char* kSourceIsoMissing = "The source .ISO file you enter does not exist.";
inline constexpr const char* kSameDrives = "The Source Drive and Destination Drive can not be the same.";
inline constexpr const char* kInsertSource = "Please insert source disc into your source drive";
inline constexpr const char* kEmptyTask = "Please add files or folders to the Burning List.";
inline constexpr const char* kNoSpace = "The space of the disc in not enough, please insert another disc.";
inline constexpr const char* kTempWriteFailed = "Can not write the file ";

// Log lines (after ">>> " and the time, where one is shown).
inline constexpr const char* kBanner = "Zantic - burns CD and DVD discs";
inline constexpr const char* kAspiOk = " Initialize ASPI successfully.";
inline constexpr const char* kAspiOkBuild = " Initialize ASPI Successfully.";
inline constexpr const char* kDriveReady = " Drive is ready.";
inline constexpr const char* kDetectingDone = ">>> Detecting disc done";
inline constexpr const char* kAddedToDisc = " Add files / dirs to CD(DVD) done.";
inline constexpr const char* kAddedToIso = " Add files / dirs to .ISO done.";
inline constexpr const char* kStartBurningOn = " Start burning CD(DVD) on ";
inline constexpr const char* kSmartBurn = ">>> Smart-Burn Actived";
inline constexpr const char* kBurnProof = ">>> Burn-Proof Actived";
inline constexpr const char* kLeadIn = " It costs about 30 seconds to prepare and lead-in before burning. Please wait.";
inline constexpr const char* kStartBuilding = " Start building .ISO file";
inline constexpr const char* kStartBurningIso = " Start burning .ISO Image on ";
inline constexpr const char* kStartBurning = " Start burning.";
inline constexpr const char* kFinalizing = " Finalizing track...Please wait.";
inline constexpr const char* kDiscClosed =
    ">>> Disc Closed -> This disc can not be add files or folders in next burning. (rewritable disc should be erased "
    "before next burning)You can change this setting in Options";
inline constexpr const char* kDiscNotClosed =
    ">>> Disc not Closed -> This disc can be read and burned in all CD(DVD) RW drives but maybe not in some CD-Rom "
    "drives.You can change this setting in Options";
inline constexpr const char* kDoneWithError = " Write/Burn CD(DVD) Process done with error";
inline constexpr const char* kDoneOk = " Write/Burn CD(DVD) Process done";
inline constexpr const char* kBackupDone = "Backup task done ";

}  // namespace app::texts
