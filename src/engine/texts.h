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

// Burning and erasing.
inline constexpr const char* kWriterBusy = "WRITER BUSY/BUFFER FULL";
inline constexpr const char* kWriterError = "WRITER ERROR";
inline constexpr const char* kStartingWrite = "STARTING WRITE PROCESS ON %s AT %s";
inline constexpr const char* kTestDummyWrite = "TEST/DUMMY WRITE";
inline constexpr const char* kStartingErase = "STARTING ERASE PROCESS ON %s AT %s";

// Refusals and damage reports the original texts do not cover.
inline constexpr const char* kFileTooLarge = "FILE \"%s\" IS 4 GB OR LARGER AND CAN'T BE WRITTEN TO ISO 9660";
inline constexpr const char* kNameTooLong = "NAME TOO LONG FOR ISO 9660/JOLIET, NOT ADDED \"%s\"";
inline constexpr const char* kNameTaken = "NAME ALREADY USED IN THIS FOLDER, NOT ADDED \"%s\"";
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

// Replaces the first "%d" or "%s" of a text with a value.
std::string Format(const char* text, const std::string& value);
std::string Format(const char* text, long long value);

}  // namespace engine::texts
