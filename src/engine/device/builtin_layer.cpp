#include "engine/device/builtin_layer.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace device {

namespace {

constexpr std::uint8_t kUnaddressedLun = 250;  // marker while the table is built
constexpr std::uint32_t kPassThroughTimeoutMs = 120000;  // for requests that carry none
constexpr std::size_t kPassThroughSenseSize = 32;
constexpr const char* kManagerId = "Zantic KVASPI32 ";  // 16 characters
constexpr std::uint8_t kCdDvdDeviceType = 5;
constexpr std::uint8_t kNoDeviceType = 31;

void CompleteEvent(SRB_ExecSCSICmd& srb) {
  if (srb.SRB_PostProc != nullptr) srb.SRB_PostProc->Set();
}

}  // namespace

TBuiltInLayer::TBuiltInLayer() = default;

TBuiltInLayer::~TBuiltInLayer() { CloseAllHandles(); }

bool TBuiltInLayer::Probe(TDriveEntry& entry, std::unique_ptr<TPassThroughDrive> drive) {
  if (!drive) return false;
  if (!drive->Open()) {
    if (std::string problem = drive->OpenProblem(); !problem.empty()) FProblems.push_back(std::move(problem));
    return false;
  }
  // INQUIRY, 96 bytes, asked once; later INQUIRY requests are answered from it.
  const std::array<std::uint8_t, 6> cdb{0x12, 0x00, 0x00, 0x00, 0x60, 0x00};
  std::array<std::uint8_t, 96> data{};
  std::array<std::uint8_t, kSenseLen> sense{};
  const auto outcome = drive->Execute(cdb, platform::ScsiDirection::In, data, sense, kPassThroughTimeoutMs);
  if (!outcome.CallOk) {
    drive->Close();
    return false;
  }
  std::copy_n(data.begin(), kStoredInquirySize, entry.Inquiry.begin());
  entry.Present = true;
  if (auto address = drive->Address()) {
    entry.HostAdapter = address->HostAdapter;
    entry.Target = address->Target;
    entry.Lun = address->Lun;
  } else {
    entry.Lun = kUnaddressedLun;
  }
  // The handle stays: a selection that follows uses it instead of opening again.
  entry.Drive = std::move(drive);
  return true;
}

int TBuiltInLayer::SptiScan() {
  std::lock_guard<std::mutex> g(FTableMutex);
  if (FScanned) return 0;
  FScanned = true;
  FAdapterCount = 0;
  FProblems.clear();
  std::vector<std::unique_ptr<TPassThroughDrive>> drives = SystemOpticalDrives();
  for (auto& d : RegisteredDrives()) drives.push_back(std::move(d));

  // A drive with a letter takes the slot of its letter (C: is 2); the rest,
  // Linux drives and virtual recorders, take the free slots from C: on.
  std::uint8_t unaddressed = 0;
  std::size_t nextFree = kFirstDriveNumber;
  for (auto& drive : drives) {
    const char letter = drive->DriveLetter();
    std::size_t number = 0;
    if (letter != '\0') {
      number = static_cast<std::size_t>(letter - 'A');
      if (number < kFirstDriveNumber || number >= kDriveTableSize || FTable[number].Drive) continue;
    } else {
      while (nextFree < kDriveTableSize && FTable[nextFree].Drive) ++nextFree;
      if (nextFree >= kDriveTableSize) continue;  // the table has 25 usable slots
      number = nextFree;
    }
    TDriveEntry& entry = FTable[number];
    entry.DriveNumber = static_cast<std::uint8_t>(number);
    if (!Probe(entry, std::move(drive))) continue;
    if (entry.Lun == kUnaddressedLun) entry.Target = unaddressed++;
  }
  auto adapterCount = [this] {
    int highest = -1;
    for (std::size_t i = kFirstDriveNumber; i < kDriveTableSize; ++i)
      if (FTable[i].Present) highest = std::max<int>(highest, FTable[i].HostAdapter);
    return static_cast<std::uint8_t>(std::min(highest + 1, 255));
  };
  FAdapterCount = adapterCount();
  if (unaddressed > 0) {
    // Drives without an address sit on one extra adapter, numbered by target.
    for (std::size_t i = kFirstDriveNumber; i < kDriveTableSize; ++i) {
      if (FTable[i].Present && FTable[i].Lun == kUnaddressedLun) {
        FTable[i].Lun = 0;
        FTable[i].HostAdapter = FAdapterCount;
      }
    }
    FAdapterCount = adapterCount();
  }
  int present = 0;
  for (const auto& e : FTable) present += e.Present ? 1 : 0;
  return present;
}

std::uint32_t TBuiltInLayer::GetASPI32SupportInfo() {
  std::lock_guard<std::mutex> g(FTableMutex);
  if (FAdapterCount > 0) return (std::uint32_t{kSsComp} << 8) | FAdapterCount;
  return std::uint32_t{kSsNoAdapters} << 8;
}

TBuiltInLayer::TDriveEntry* TBuiltInLayer::Find(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun) {
  std::lock_guard<std::mutex> g(FTableMutex);
  for (std::size_t i = kFirstDriveNumber; i < kDriveTableSize; ++i) {
    TDriveEntry& e = FTable[i];
    if (e.Present && e.HostAdapter == hostAdapter && e.Target == target && e.Lun == lun) return &e;
  }
  return nullptr;
}

char TBuiltInLayer::DriveLetterOf(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun) {
  TDriveEntry* e = Find(hostAdapter, target, lun);
  return e != nullptr && e->Drive ? e->Drive->DriveLetter() : '\0';
}

std::string TBuiltInLayer::LocationOf(std::uint8_t hostAdapter, std::uint8_t target, std::uint8_t lun) {
  TDriveEntry* e = Find(hostAdapter, target, lun);
  return e != nullptr && e->Drive ? e->Drive->Location() : std::string();
}

std::vector<TDeviceAddress> TBuiltInLayer::AddressesOn(std::uint8_t hostAdapter) {
  std::lock_guard<std::mutex> g(FTableMutex);
  std::vector<TDeviceAddress> found;
  for (std::size_t i = kFirstDriveNumber; i < kDriveTableSize; ++i) {
    const TDriveEntry& e = FTable[i];
    if (e.Present && e.HostAdapter == hostAdapter) found.push_back(TDeviceAddress{e.HostAdapter, e.Target, e.Lun});
  }
  std::sort(found.begin(), found.end(), [](const TDeviceAddress& a, const TDeviceAddress& b) {
    return a.Target != b.Target ? a.Target < b.Target : a.Lun < b.Lun;
  });
  return found;
}

std::vector<std::string> TBuiltInLayer::Problems() {
  std::lock_guard<std::mutex> g(FTableMutex);
  return FProblems;
}

void TBuiltInLayer::CloseAllHandles() {
  for (auto& e : FTable) {
    std::lock_guard<std::mutex> g(e.CommandMutex);
    if (e.Drive) e.Drive->Close();
  }
}

void TBuiltInLayer::Execute(SRB_ExecSCSICmd& srb) {
  TDriveEntry* entry = Find(srb.SRB_HaId, srb.SRB_Target, srb.SRB_Lun);
  if (entry == nullptr) {
    srb.SRB_Status = kSsNoDevice;
    return;
  }
  if (srb.SRB_BufLen > 0 && srb.SRB_BufPointer == nullptr) {
    srb.SRB_Status = kSsInvalidSrb;
    return;
  }
  if (srb.CDBByte[0] == 0x12) {
    // Answered from the stored data, so INQUIRY works even while the drive is busy.
    const std::size_t n = std::min<std::size_t>(kInquiryAnswerSize, srb.SRB_BufLen);
    std::copy_n(entry->Inquiry.begin(), n, srb.SRB_BufPointer);
    std::uint8_t count = 0;
    {
      std::lock_guard<std::mutex> g(FTableMutex);
      count = FAdapterCount;
    }
    srb.SRB_Status = srb.SRB_HaId < count ? kSsComp : kSsInvalidHa;
    return;
  }
  std::lock_guard<std::mutex> g(entry->CommandMutex);
  TPassThroughDrive& drive = *entry->Drive;
  if (!drive.IsOpen()) drive.Open();
  const auto direction = (srb.SRB_Flags & kSrbDirIn) != 0    ? platform::ScsiDirection::In
                         : (srb.SRB_Flags & kSrbDirOut) != 0 ? platform::ScsiDirection::Out
                                                             : platform::ScsiDirection::None;
  const std::size_t cdbLen = std::min<std::size_t>(srb.SRB_CDBLen, srb.CDBByte.size());
  std::array<std::uint8_t, kPassThroughSenseSize> sense{};
  const std::size_t senseLen = std::min<std::size_t>(srb.SRB_SenseLen, sense.size());
  std::span<std::uint8_t> data;
  if (srb.SRB_BufLen > 0) data = std::span<std::uint8_t>(srb.SRB_BufPointer, srb.SRB_BufLen);
  platform::ScsiOutcome outcome;
  if (drive.IsOpen() && cdbLen > 0)
    outcome = drive.Execute(std::span<const std::uint8_t>(srb.CDBByte.data(), cdbLen), direction, data,
                            std::span<std::uint8_t>(sense.data(), senseLen),
                            srb.TimeoutMs != 0 ? srb.TimeoutMs : kPassThroughTimeoutMs);
  if (outcome.CallOk && outcome.ScsiStatus == 0 && outcome.HostStatus == 0) {
    srb.SRB_Status = kSsComp;
  } else {
    srb.SRB_Status = kSsErr;
    std::copy_n(sense.begin(), senseLen, srb.SenseArea.begin());
    srb.SRB_TargStat = outcome.ScsiStatus;
  }
  if (CloseHandleAfterCommand()) drive.Close();
}

std::uint32_t TBuiltInLayer::SendASPI32Command(TSRB* srb) {
  if (srb == nullptr) return kSsErr;
  if (auto* ha = std::get_if<SRB_HAInquiry>(srb); ha != nullptr && ha->SRB_Cmd == kScHaInquiry) {
    std::lock_guard<std::mutex> g(FTableMutex);
    ha->HA_Count = FAdapterCount;
    if (ha->SRB_HaId < FAdapterCount) {
      ha->HA_SCSI_ID = 7;
      std::memcpy(ha->HA_ManagerId.data(), kManagerId, ha->HA_ManagerId.size());
      ha->HA_Identifier.fill(0);
      const std::string identifier = "SPTI " + std::to_string(ha->SRB_HaId);
      std::memcpy(ha->HA_Identifier.data(), identifier.data(), identifier.size());
      ha->HA_Unique.fill(0);
      ha->HA_Unique[0] = 7;  // buffer alignment mask
      ha->HA_Unique[3] = 8;  // maximum targets
      ha->HA_Unique[6] = 0xFF;  // maximum transfer FF0000h, little-endian at 4..7
      ha->SRB_Status = kSsComp;
    } else {
      ha->SRB_Status = kSsInvalidHa;
    }
    return ha->SRB_Status;
  }
  if (auto* dev = std::get_if<SRB_GDEVBlock>(srb); dev != nullptr && dev->SRB_Cmd == kScGetDevType) {
    const bool found = Find(dev->SRB_HaId, dev->SRB_Target, dev->SRB_Lun) != nullptr;
    dev->SRB_Status = found ? kSsComp : kSsNoDevice;
    dev->SRB_DeviceType = found ? kCdDvdDeviceType : kNoDeviceType;
    return dev->SRB_Status;
  }
  if (auto* exec = std::get_if<SRB_ExecSCSICmd>(srb); exec != nullptr && exec->SRB_Cmd == kScExecScsiCmd) {
    Execute(*exec);
    CompleteEvent(*exec);
    return exec->SRB_Status;
  }
  if (auto* disk = std::get_if<SRB_GetDiskInfo>(srb); disk != nullptr && disk->SRB_Cmd == kScGetDiskInfo) {
    return kSsErr;  // not served: status stays pending
  }
  std::visit([](auto& r) { r.SRB_Status = kSsErr; }, *srb);
  return kSsErr;
}

}  // namespace device
