#include "platform/scsi_passthrough.h"

#include <fcntl.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <filesystem>

namespace platform {

namespace {

int SystemSgIo(ScsiHandle handle, void* request) {
  return ::ioctl(static_cast<int>(handle), SG_IO, request) < 0 ? errno : 0;
}

std::atomic<ScsiSystemCall> gSystemCall{&SystemSgIo};

}  // namespace

void SetScsiSystemCall(ScsiSystemCall call) { gSystemCall.store(call != nullptr ? call : &SystemSgIo); }

std::vector<std::string> ListOpticalDrives() {
  std::vector<std::pair<unsigned long, std::string>> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/dev", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.size() < 3 || name.compare(0, 2, "sr") != 0) continue;
    const std::string digits = name.substr(2);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
    if (digits.size() > 6) continue;
    found.emplace_back(std::stoul(digits), entry.path().string());
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> nodes;
  for (auto& f : found) nodes.push_back(std::move(f.second));
  return nodes;
}

char DriveLetterOfDevice(const std::string&) { return '\0'; }

ScsiHandle OpenScsiDevice(const std::string& node) {
  // O_NONBLOCK: an optical drive without a disc must still open.
  int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) fd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  return fd < 0 ? kNoScsiHandle : fd;
}

void CloseScsiDevice(ScsiHandle handle) {
  if (handle >= 0) ::close(static_cast<int>(handle));
}

ScsiOutcome ScsiPassThrough(ScsiHandle handle, std::span<const std::uint8_t> cdb, ScsiDirection direction,
                            std::span<std::uint8_t> data, std::span<std::uint8_t> sense,
                            std::uint32_t timeoutMs) {
  ScsiOutcome out;
  if (handle < 0 || cdb.empty() || cdb.size() > 16 || data.size() > UINT_MAX) {
    out.OsError = EINVAL;
    return out;
  }
  std::uint8_t cdbCopy[16] = {};
  std::copy(cdb.begin(), cdb.end(), cdbCopy);
  sg_io_hdr_t io{};
  io.interface_id = 'S';
  io.cmd_len = static_cast<unsigned char>(cdb.size());
  io.cmdp = cdbCopy;
  io.mx_sb_len = static_cast<unsigned char>(std::min<std::size_t>(sense.size(), 255));
  io.sbp = sense.data();
  io.timeout = timeoutMs;
  if (data.empty() || direction == ScsiDirection::None) {
    io.dxfer_direction = SG_DXFER_NONE;
  } else {
    io.dxfer_direction = direction == ScsiDirection::In ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
    io.dxfer_len = static_cast<unsigned int>(data.size());
    io.dxferp = data.data();
  }
  if (const int error = gSystemCall.load()(handle, &io); error != 0) {
    out.OsError = error;
    return out;
  }
  out.CallOk = true;
  out.ScsiStatus = io.status;
  out.HostStatus = static_cast<std::uint8_t>(io.host_status);
  return out;
}

std::optional<ScsiAddress> GetScsiAddress(ScsiHandle handle) {
  // SCSI_IOCTL_GET_IDLUN: id in bits 0-7, lun 8-15, channel 16-23, host 24-31.
  struct {
    int DevId;
    int HostUniqueId;
  } idlun{};
  if (handle < 0 || ::ioctl(static_cast<int>(handle), SCSI_IOCTL_GET_IDLUN, &idlun) < 0) return std::nullopt;
  const auto v = static_cast<std::uint32_t>(idlun.DevId);
  ScsiAddress a;
  a.Target = static_cast<std::uint8_t>(v & 0xFF);
  a.Lun = static_cast<std::uint8_t>((v >> 8) & 0xFF);
  a.HostAdapter = static_cast<std::uint8_t>((v >> 24) & 0xFF);
  return a;
}

std::optional<ScsiAddress> ScsiAddressOfLetter(char) { return std::nullopt; }

SilentCriticalErrors::SilentCriticalErrors() = default;
SilentCriticalErrors::~SilentCriticalErrors() = default;

}  // namespace platform
