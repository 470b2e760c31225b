#pragma once
// Every text the engine shows a person, side by side. "%d" and "%s" mark the
// one value each text takes.
#include <string>

namespace engine::texts {

inline constexpr const char* kInvalidDestinationPath = "INVALID DESTINATION PATH";
inline constexpr const char* kMaximumDirectories = "MAXIMUM DIRECTORIES CAN BE %d";
inline constexpr const char* kMaximumFiles = "MAXIMUM FILES CAN BE %d";
inline constexpr const char* kCantOpenFile = "CAN'T OPEN FILE \"%s\" OR FILE IS IN USES BY OTHER SOFTWARE";
inline constexpr const char* kCantCreateFile = "CAN'T CREATE FILE \"%s\"";
inline constexpr const char* kOperationAborted = "OPERATION ABORTED BY USER";
inline constexpr const char* kInternalError0004 = "INTERNAL ERROR 0004";
inline constexpr const char* kErrorNextWritableAddress = "ERROR GETTING NEXT WRITABLE ADDRESS";
inline constexpr const char* kImportingSession = "IMPORTING SESSION # %d";
inline constexpr const char* kErrorImportingSession = "ERROR IMPORTING SESSION";
inline constexpr const char* kIsoImageNotFound = "ERROR IMPORTING SESSION %d (ISO IMAGE NOT FOUND)";
inline constexpr const char* kFileNameLengthExceeds = "ERROR IMPORTING SESSION, FILE NAME LENGTH EXCEEDS 120 CHARS";
inline constexpr const char* kExtractingFile = "EXTRACTING FILE %s TO %s";
inline constexpr const char* kSessionInfoError = "     Error getting session information";

// Burning and erasing.
inline constexpr const char* kWriterBusy = "WRITER BUSY/BUFFER FULL";
inline constexpr const char* kWriterError = "WRITER ERROR";
inline constexpr const char* kStartingWrite = "STARTING WRITE PROCESS ON %s AT %s";
inline constexpr const char* kTestDummyWrite = "TEST/DUMMY WRITE";
inline constexpr const char* kStartingErase = "STARTING ERASE PROCESS ON %s AT %s";

// Refusals and damage reports.
inline constexpr const char* kNameTooLong = "NAME TOO LONG FOR ISO 9660/JOLIET, NOT ADDED \"%s\"";
inline constexpr const char* kNameTaken = "NAME ALREADY USED IN THIS FOLDER, NOT ADDED \"%s\"";
inline constexpr const char* kNameOtherCase = "NAME DIFFERS ONLY IN CASE FROM ANOTHER IN THIS FOLDER, NOT ADDED \"%s\"";
inline constexpr const char* kNotRegularFile = "NOT A REGULAR FILE, NOT ADDED \"%s\"";
inline constexpr const char* kFolderLoop = "FOLDER \"%s\" CONTAINS ITSELF, NOT ADDED AGAIN";
inline constexpr const char* kFileChangedSize = "FILE \"%s\" CHANGED SIZE SINCE IT WAS ADDED";
inline constexpr const char* kFileDamaged =
    "FILE \"%s\" COULD NOT BE READ COMPLETELY, MISSING BYTES WRITTEN AS ZEROS";
inline constexpr const char* kImageDamaged = "IMAGE WRITTEN, BUT %d FILE(S) COULD NOT BE READ COMPLETELY";
inline constexpr const char* kCantWriteFile = "CAN'T WRITE FILE \"%s\"";
inline constexpr const char* kLayoutFailed = "INTERNAL ERROR 0005";
inline constexpr const char* kAnotherOperation = "ANOTHER OPERATION IS RUNNING";
inline constexpr const char* kVerifyMismatch = "VERIFY FAILED: SECTORS %s DIFFER FROM WHAT WAS WRITTEN";
inline constexpr const char* kVerifyReadError = "VERIFY FAILED: CAN'T READ BACK SECTOR %d";
inline constexpr const char* kTestWriteImpossible =
    "TEST WRITE IS NOT POSSIBLE WITH THIS DRIVE AND DISC, NOTHING WAS WRITTEN";
// What a damaged or crafted disc is refused for.
inline constexpr const char* kDiscNameRenamed = "INVALID FILE NAME ON THE DISC, IMPORTED AS \"%s\"";
inline constexpr const char* kDiscNameUnusable = "INVALID FILE NAME ON THE DISC, NOT IMPORTED \"%s\"";
inline constexpr const char* kDiscOutside = "\"%s\" POINTS PAST THE END OF THE DISC, NOT IMPORTED";
inline constexpr const char* kDiscLoop = "FOLDER \"%s\" ON THE DISC POINTS AT A FOLDER ALREADY READ, NOT READ AGAIN";
inline constexpr const char* kDiscFolderTooLarge = "FOLDER \"%s\" ON THE DISC IS LARGER THAN 64 MB, THE REST IS NOT READ";
inline constexpr const char* kDiscTooDeep = "FOLDER \"%s\" ON THE DISC IS NESTED TOO DEEPLY, NOT IMPORTED";
inline constexpr const char* kDiscReadLimit = "THE FOLDERS OF THE DISC EXCEED 512 MB, THE REST FROM \"%s\" ON IS NOT IMPORTED";
inline constexpr const char* kDiscFolderUnreadable = "FOLDER \"%s\" ON THE DISC COULD NOT BE READ COMPLETELY";
inline constexpr const char* kDiscMultiExtent =
    "FILE \"%s\" ON THE DISC IS STORED IN PARTS THAT DO NOT FIT TOGETHER, NOT IMPORTED";
inline constexpr const char* kDiscRockRidgeDamaged =
    "THE ROCK RIDGE ENTRIES OF \"%s\" ON THE DISC ARE DAMAGED, THE REST OF THEM IS IGNORED";
inline constexpr const char* kDiscMoreErrors = "FURTHER ERRORS OF THIS SESSION ARE NOT REPORTED";
inline constexpr const char* kExtractReadFailed = "ERROR READING THE DISC, FILE NOT EXTRACTED \"%s\"";
inline constexpr const char* kExtractUnsafeName = "INVALID FILE NAME, NOT EXTRACTED \"%s\"";
inline constexpr const char* kExtractExists = "FILE \"%s\" ALREADY EXISTS, NOT REPLACED";
inline constexpr const char* kExtractLink = "\"%s\" IS A LINK IN THE DESTINATION, NOT FOLLOWED";
inline constexpr const char* kInvalidFolderName = "INVALID FOLDER NAME, NOT ADDED \"%s\"";
// Copying a disc from another drive.
inline constexpr const char* kAnotherDataDisc = "THE COMPILATION ALREADY HOLDS FILES OF ANOTHER SOURCE DISC";
inline constexpr const char* kSourceDiscReadFailed = "ERROR READING THE SOURCE DISC AT SECTOR %s, FILE \"%s\"";

// The end of a burn and what is checked before its first write. A failed
// step reads "... %s FAILED" with the step's name, then the drive's answer.
inline constexpr const char* kEndStepFailed = "THE BURN COULD NOT BE ENDED: %s FAILED";
inline constexpr const char* kEndStepRetried = "%s WAS REFUSED ONCE AND SUCCEEDED WHEN SENT AGAIN";
inline constexpr const char* kStepFlush = "SYNCHRONIZE CACHE";
inline constexpr const char* kStepFlushWait = "WAITING FOR THE DRIVE TO EMPTY ITS BUFFER";
inline constexpr const char* kStepCloseTrack = "CLOSE TRACK %d";
inline constexpr const char* kStepCloseSession = "CLOSE SESSION";
inline constexpr const char* kStepCloseDisc = "CLOSE DISC";
inline constexpr const char* kStepReadyAfterClose = "WAITING FOR THE DRIVE AFTER CLOSING";
inline constexpr const char* kStepHeaderCopy = "WRITING THE FILE SYSTEM HEADER AT SECTOR 0";
inline constexpr const char* kStepFormat = "FORMATTING THE DISC";
inline constexpr const char* kSessionStillOpen = "THE DRIVE LEFT THE SESSION OPEN";
inline constexpr const char* kDiscDamaged = "DISC WRITTEN, BUT %d FILE(S) COULD NOT BE READ COMPLETELY";
inline constexpr const char* kDiscTooSmall =
    "THE COMPILATION NEEDS %s SECTORS, BUT THE DISC HAS ONLY %s FREE: NOTHING WAS WRITTEN";
inline constexpr const char* kDiscClosed = "THE DISC IS CLOSED: NO FURTHER SESSION CAN BE WRITTEN ON IT";
inline constexpr const char* kImageNeedsBlankDisc =
    "AN IMAGE FILE STARTS AT SECTOR 0 AND CAN ONLY BE BURNED ONTO A BLANK OR REWRITABLE DISC";
inline constexpr const char* kImageFileEmpty = "IMAGE FILE \"%s\" IS EMPTY, NOTHING TO BURN";
inline constexpr const char* kClosingOpenSession =
    "THE LAST SESSION WAS LEFT OPEN BY A BURN THAT DID NOT END: CLOSING IT BEFORE THE NEW ONE";
inline constexpr const char* kOpenSessionNotClosed = "THE SESSION LEFT OPEN ON THE DISC COULD NOT BE CLOSED";
inline constexpr const char* kSessionIncomplete =
    "SESSION %d WAS NOT WRITTEN COMPLETELY (ITS BURN DID NOT END), NOT IMPORTED";
inline constexpr const char* kHostDiskFull =
    "THE HOST'S DISK THAT HOLDS THE VIRTUAL DISC FILE IS FULL OR CANNOT BE WRITTEN";

// Replaces the first "%d" or "%s" of a text with a value.
std::string Format(const char* text, const std::string& value);
std::string Format(const char* text, long long value);
// Replaces the first two "%d"/"%s" in order; the first value is not searched.
std::string Format(const char* text, const std::string& first, const std::string& second);

}  // namespace engine::texts
