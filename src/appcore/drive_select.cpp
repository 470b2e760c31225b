#include "appcore/drive_select.h"

#include "appcore/texts.h"

#include "engine/device/builtin_layer.h"
#include "engine/device/device_address.h"
#include "engine/device/media_types.h"
#include "engine/device/scsi_device.h"
#include "engine/device/transport.h"

namespace appcore {
namespace {

std::string LocationOfLine(const std::string& line) {
  const auto layer = device::ActiveBuiltInLayer();
  const auto address = device::ParseDeviceAddress(line.substr(0, line.find(',') + 1));
  if (!layer || !address) return std::string();
  return layer->LocationOf(address->HostAdapter, address->Target, address->Lun);
}

}  // namespace

bool CanWrite(device::TSCSIDevice& d) {
  using namespace device;
  constexpr std::uint32_t kWrites = kCapWriteCdr | kCapWriteCdrw | kCapWriteDvdr | kCapWriteDvdrw | kCapWriteDvdram |
                                    kCapWriteDvdpr | kCapWriteDvdprw | kCapWriteDvdprDl;
  return (d.Capabilities() & kWrites) != 0;
}

DriveChoice SelectDrive(device::TSCSIDevice& device, const std::string& wanted) {
  if (!device.ASPIInitialized() && !device.InitASPI(true, std::string()))
    return {DriveSelection::NoPassThrough, texts::kNoPassThrough};
  const auto& lines = device.DeviceList();
  if (lines.empty()) return {DriveSelection::NoDrives, texts::kNoDrives};
  for (const auto& line : lines) {
    // The options store keeps the whole line the drive box showed.
    const bool named =
        wanted.empty() || line == wanted || line.rfind(wanted + ",", 0) == 0 || LocationOfLine(line) == wanted;
    if (!named) continue;
    device.SelectDevice(line);
    if (device.DeviceId().empty()) continue;
    if (!wanted.empty() || CanWrite(device)) return {DriveSelection::Selected, std::string()};
  }
  if (wanted.empty()) return {DriveSelection::NoWriter, texts::kNoWriter};
  return {DriveSelection::NotFound, std::string(texts::kNoSuchDrive) + wanted + texts::kNoSuchDriveHint};
}

}  // namespace appcore
