// Turning a failed request block into the words the user sees, and the one
// log line that describes it.
#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "engine/device/device_texts.h"
#include "engine/device/scsi_device.h"

namespace device {

namespace {

std::string Hex2(std::uint32_t v) {
  char buf[12];
  std::snprintf(buf, sizeof buf, "%02X", static_cast<unsigned>(v));
  return buf;
}

const char* StatusText(const SRB_ExecSCSICmd& srb, bool& busy) {
  switch (srb.SRB_Status) {
    case kSsPending:
    case kSsComp:
      return "";
    case kSsAborted:
    case kSsAbortFail:
      return texts::kOperationAborted;
    case kSsErr:
      switch (srb.SRB_HaStat) {
        case 0x00:
          switch (srb.SRB_TargStat) {
            case 0x00:
            case kTargStatCheckCondition:
              return texts::kCheckCondition;
            case kTargStatBusy:
              busy = true;
              return texts::kTargetBusy;
            case 0x18:
              return texts::kTargetReservationConflict;
            case 0x28:
              return texts::kTargetQueueFull;
            default:
              return texts::kUnknown;
          }
        case kHaStatTimeout: return texts::kCommandTimeout;
        case 0x0B: return texts::kSrbTimeout;
        case 0x0D: return texts::kMessageReject;
        case 0x0E: return texts::kBusReset;
        case 0x0F: return texts::kParityError;
        case 0x10: return texts::kRequestSenseFailed;
        case 0x11: return texts::kSelectionTimeout;
        case 0x12: return texts::kDataOverrun;
        case 0x13: return texts::kUnexpectedBusFree;
        default: return texts::kUnknown;
      }
    case kSsInvalidCmd: return texts::kInvalidRequest;
    case kSsInvalidHa: return texts::kInvalidHostAdapter;
    case kSsNoDevice: return texts::kNoDevice;
    case kSsInvalidSrb: return texts::kInvalidSrb;
    case kSsBufferAlign: return texts::kBufferAlignment;
    case kSsAspiIsBusy: return texts::kAspiIsBusy;
    case kSsBufferTooBig: return texts::kBufferTooBig;
    default: return texts::kUnknown;
  }
}

std::string SenseKeyText(const TSense& sense) {
  // A failed command without sense data keeps its status text, so that no
  // failure reads as success.
  if (!sense.Present()) return texts::kCheckCondition;
  if (!sense.Fixed() && !sense.Descriptor()) return texts::kUnknown;
  if (sense.Key == 0) {
    if (sense.Filemark) return texts::kFilemark;
    if (sense.EndOfMedium) return texts::kEndOfMedia;
    if (sense.IncorrectLength) return texts::kIllegalLength;
    return texts::kNoAdditionalSense;
  }
  const char* text = texts::kSenseKeyTexts[sense.Key];
  return text != nullptr ? text : texts::kCheckCondition;
}

}  // namespace

void TSCSIDevice::DecodeFailure(const SRB_ExecSCSICmd& srb) {
  FTargetBusy = false;
  bool busy = false;
  std::string text = StatusText(srb, busy);
  FTargetBusy = busy;
  FLastSense = srb.SenseArea;
  FSense = DecodeSense(FLastSense);
  if (text == texts::kCheckCondition) text = SenseKeyText(FSense);
  const std::uint8_t asc = FSense.Asc, ascq = FSense.Ascq;
  std::string additional;
  if (const char* known = texts::AdditionalSenseText(asc, ascq))
    additional = known;
  else
    additional = std::to_string(asc) + "," + std::to_string(ascq);
  // The descriptor format always carries ASC and ASCQ in its header.
  if (FSense.Descriptor() || FSense.AdditionalLength != 0) text += " (" + additional + ")";
  FLastErrorText = text;
}

std::string TSCSIDevice::CommandName(std::uint8_t operationCode) {
  static const std::array<std::string, 255> kNames = [] {
    std::array<std::string, 255> names;
    for (std::size_t i = 0; i < names.size(); ++i) names[i] = Hex2(static_cast<std::uint32_t>(i));
    const std::pair<std::uint8_t, const char*> named[] = {
        {0x00, "TEST UNIT READY"},        {0x01, "REWIND UNIT"},
        {0x03, "REQUEST SENSE"},          {0x04, "FORMAT UNIT"},
        {0x12, "INQUIRY"},                {0x1B, "START STOP UNIT"},
        {0x1E, "PREVENT/ALLOW REMOVAL"},  {0x23, "READ FORMAT CAPACITIES"},
        {0x25, "READ CAPACITY"},          {0x28, "READ (10)"},
        {0x2A, "WRITE (10)"},             {0x2B, "SEEK (10)"},
        {0x2E, "WRITE AND VERIFY (10)"},  {0x2F, "VERIFY (10)"},
        {0x35, "SYNCHRONIZE CACHE"},      {0x42, "READ SUB-CHANNEL"},
        {0x43, "READ TOC/PMA/ATIP"},      {0x45, "PLAY AUDIO (10)"},
        {0x46, "GET CONFIGURATION"},      {0x47, "PLAY AUDIO MSF"},
        {0x4A, "GET EVENT/STATUS NOTIF"}, {0x4B, "PAUSE/RESUME"},
        {0x4E, "STOP PLAY/SCAN"},         {0x51, "READ DISC INFORMATION"},
        {0x52, "READ TRACK INFORMATION"}, {0x53, "RESERVE TRACK"},
        {0x54, "SEND OPC INFORMATION"},   {0x55, "MODE SELECT (10)"},
        {0x58, "REPAIR TRACK"},           {0x5A, "MODE SENSE (10)"},
        {0x5B, "CLOSE TRACK/SESSION"},    {0x5C, "READ BUFFER CAPACITY"},
        {0x5D, "SEND CUE SHEET"},         {0xA1, "BLANK"},
        {0xA2, "SEND EVENT"},             {0xA3, "SEND KEY"},
        {0xA4, "REPORT KEY"},             {0xA5, "PLAY AUDIO (12)"},
        {0xA6, "LOAD/UNLOAD CD/DVD"},     {0xA7, "SET READ AHEAD"},
        {0xA8, "READ (12)"},              {0xAA, "WRITE (12)"},
        {0xAC, "GET PERFORMANCE"},        {0xAD, "READ DVD STRUCTURE"},
        {0xB6, "SET STREAMING"},          {0xB9, "READ CD MSF"},
        {0xBA, "SCAN"},                   {0xBB, "SET CD SPEED"},
        {0xBD, "MECHANISM STATUS"},       {0xBE, "READ CD"},
        {0xBF, "SEND DVD STRUCTURE"}};
    for (const auto& [op, name] : named) {
      std::string padded = name;
      padded.resize(std::max<std::size_t>(padded.size(), 22), ' ');
      names[op] = padded;
    }
    return names;
  }();
  if (operationCode >= kNames.size()) return Hex2(operationCode);
  return kNames[operationCode];
}

std::string TSCSIDevice::FailureLogLine(const SRB_ExecSCSICmd& srb) const {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%u:%X:%u <%02X> [%05X]", unsigned{srb.SRB_HaId}, unsigned{srb.SRB_Target},
                unsigned{srb.SRB_Lun}, unsigned{srb.SRB_Status}, static_cast<unsigned>(srb.SRB_BufLen));
  std::string text = "(" + Hex2(srb.CDBByte[0]) + ") {" + Hex2(srb.SRB_Flags) + "|" + Hex2(srb.SRB_CDBLen) + "} - " +
                     buf + " ";
  for (std::size_t i = 1; i < 16; ++i) text += Hex2(srb.CDBByte[i]) + " ";
  text = CommandName(srb.CDBByte[0]) + " " + text + " ";
  text += "|";
  if (srb.SRB_BufLen != 0 && srb.SRB_BufPointer != nullptr) {
    const std::size_t n = std::min<std::size_t>(srb.SRB_BufLen, 257);
    for (std::size_t i = 0; i < n; ++i) text += Hex2(srb.SRB_BufPointer[i]) + " ";
  }
  const TSense sense = DecodeSense(srb.SenseArea);
  return "<<< " + text + "= " + Hex2(srb.SRB_HaStat) + " " + Hex2(srb.SRB_TargStat) + " " + Hex2(srb.SenseArea[0]) +
         " " + Hex2(sense.Fixed() ? srb.SenseArea[2] : sense.Key) + " " + "ASC:" + Hex2(sense.Asc) +
         ",ASQ:" + Hex2(sense.Ascq) + " " + FLastErrorText;
}

}  // namespace device
