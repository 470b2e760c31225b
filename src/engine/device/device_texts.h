#pragma once
// Every text of the device layer that a person can see, side by side.
#include <cstdint>
#include <string_view>

namespace device::texts {

// Status texts, chosen by SRB_Status, SRB_HaStat and SRB_TargStat.
inline constexpr const char* kUnknown = "UNKNOWN";
inline constexpr const char* kOperationAborted = "OPERATION ABORTED BY USER";
inline constexpr const char* kCheckCondition = "CHECK CONDITION";
inline constexpr const char* kTargetBusy = "TARGET BUSY";
inline constexpr const char* kTargetReservationConflict = "TARGET RESERVATION CONFLICT";
inline constexpr const char* kTargetQueueFull = "TARGET QUEUE FULL";
inline constexpr const char* kCommandTimeout = "COMMAND TIMEOUT";
inline constexpr const char* kSrbTimeout = "SRB TIMEOUT";
inline constexpr const char* kMessageReject = "MESSAGE REJECT";
inline constexpr const char* kBusReset = "BUS RESET";
inline constexpr const char* kParityError = "PARITY ERROR";
inline constexpr const char* kRequestSenseFailed = "REQUEST SENSE FAILED";
inline constexpr const char* kSelectionTimeout = "SELECTION TIMEOUT";
inline constexpr const char* kDataOverrun = "DATA OVERRUN";
inline constexpr const char* kUnexpectedBusFree = "UNEXPECTED BUS FREE";
inline constexpr const char* kInvalidRequest = "INVALID REQUEST";
inline constexpr const char* kInvalidHostAdapter = "INVALID HOST ADAPTER";
inline constexpr const char* kNoDevice = "NO DEVICE";
inline constexpr const char* kInvalidSrb = "INVALID SRB";
inline constexpr const char* kBufferAlignment = "BUFFER ALIGNMENT";
inline constexpr const char* kAspiIsBusy = "ASPI IS BUSY";
inline constexpr const char* kBufferTooBig = "BUFFER TOO BIG";

// Sense-key texts.
inline constexpr const char* kFilemark = "FILEMARK";
inline constexpr const char* kEndOfMedia = "END OF MEDIA";
inline constexpr const char* kIllegalLength = "ILLEGAL LENGTH";
inline constexpr const char* kNoAdditionalSense = "NO ADDITIONAL SENSE INFORMATION";
inline constexpr const char* kSenseKeyTexts[16] = {
    nullptr,  // key 0 depends on the flag bits
    "RECOVERED ERROR", "NOT READY", "MEDIUM ERROR", "HARDWARE ERROR", "ILLEGAL REQUEST", "UNIT ATTENTION",
    "DATA PROTECT", "ERASE CHECK",
    nullptr,  // 9: the status text stays
    "COPYABORTED", "ABORTED COMMAND",
    nullptr,  // 12: the status text stays
    "VOLUME OVERFLOW", "MISCOMPARE", "RESERVED"};

// Drive list and selection.
inline constexpr const char* kInvalidDeviceId = "INVALID DEVICE ID / NOT A CD OR DVD DRIVE";
inline constexpr const char* kNotSupported = " (not supported)";
inline constexpr const char* kAlignmentReport = "aaaa";

// Additional sense texts by (ASC, ASCQ); nullptr when the key is not listed.
const char* AdditionalSenseText(std::uint8_t asc, std::uint8_t ascq);
// Number of keys in the table.
std::size_t AdditionalSenseCount();

// An erase wait that gave up on a drive still busy (minutes, progress percent).
inline constexpr const char* kEraseStalled = "STOPPED WAITING: THE DRIVE IS STILL BUSY, ITS PROGRESS AT %d%% FOR %d MINUTES";
inline constexpr const char* kEraseNoProgress =
    "STOPPED WAITING: THE DRIVE IS STILL BUSY AFTER %d MINUTES AND REPORTS NO PROGRESS";
inline constexpr const char* kEraseTooLong = "STOPPED WAITING: THE DRIVE IS STILL BUSY AFTER %d MINUTES";

}  // namespace device::texts
