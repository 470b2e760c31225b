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

namespace {

// A drive that is there but could not be opened (a disc the desktop program
// holds) is what the person needs to hear, not that no drive answers.
std::string WithDriveProblems(const std::string& text) {
  const std::vector<std::string> problems = device::DriveProblems();
  if (problems.empty()) return text;
  std::string joined;
  for (const auto& p : problems) joined += (joined.empty() ? "" : "; ") + p;
  return joined;
}

}  // namespace

DriveChoice SelectDrive(device::TSCSIDevice& device, const std::string& wanted) {
  if (!device.ASPIInitialized() && !device.InitASPI(true, std::string()))
    return {DriveSelection::NoPassThrough, WithDriveProblems(texts::kNoPassThrough)};
  const auto& lines = device.DeviceList();
  if (lines.empty()) return {DriveSelection::NoDrives, WithDriveProblems(texts::kNoDrives)};
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
  const std::string notFound = std::string(texts::kNoSuchDrive) + wanted + texts::kNoSuchDriveHint;
  // Named by its disc file, a recorder another program holds is not "missing".
  for (const auto& problem : device::DriveProblems())
    if (problem.find(wanted) != std::string::npos) return {DriveSelection::NotFound, problem};
  return {DriveSelection::NotFound, notFound};
}

bool BurnsWithButton(device::TSCSIDevice& d) {
  using namespace device;
  return d.HasCapability(kCapWriteCdr) || d.HasCapability(kCapWriteDvdr) || d.HasCapability(kCapWriteDvdram);
}

DriveScan DescribeSelectedDrive(device::TSCSIDevice& device) {
  DriveScan found;
  found.LayerStarted = true;
  found.Selected = device.DeviceId();
  if (found.Selected.empty()) return found;
  found.Burns = BurnsWithButton(device);
  found.Letter = device.DriveLetter();
  return found;
}

DriveScan ScanDrives(device::TSCSIDevice& device) {
  DriveScan found;
  if (!device.InitASPI(true, std::string())) return found;
  const std::vector<std::string> drives = device.DeviceList();
  for (const std::string& drive : drives) {
    device.SelectDevice(drive);
    if (BurnsWithButton(device)) break;
  }
  found = DescribeSelectedDrive(device);
  found.Drives = drives;
  return found;
}

}  // namespace appcore
