#include "appcore/drive_select.h"

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

bool SelectDrive(device::TSCSIDevice& device, const std::string& wanted, std::string& error) {
  if (!device.ASPIInitialized() && !device.InitASPI(true, std::string())) {
    error = "no CD/DVD drive: no optical drive answers through the pass-through layer";
    return false;
  }
  const auto& lines = device.DeviceList();
  if (lines.empty()) {
    error = "no CD/DVD drives found";
    return false;
  }
  for (const auto& line : lines) {
    // The options store keeps the whole line the drive box showed.
    const bool named =
        wanted.empty() || line == wanted || line.rfind(wanted + ",", 0) == 0 || LocationOfLine(line) == wanted;
    if (!named) continue;
    device.SelectDevice(line);
    if (device.DeviceId().empty()) continue;
    if (!wanted.empty() || CanWrite(device)) return true;
  }
  error = wanted.empty() ? "no drive that can write was found" : "no drive matches " + wanted + " (see zantic-cli devices)";
  return false;
}

}  // namespace appcore
