#pragma once
// Finding the drive a command names: the leading address of a device-list
// line ("1:0:0") or the whole line, a device node ("/dev/sr0"), or nothing for the first drive
// that can write.
#include <string>

namespace device {
class TSCSIDevice;
}

namespace appcore {

// True when the selected drive writes some kind of CD or DVD.
bool CanWrite(device::TSCSIDevice& device);

enum class DriveSelection {
  Selected,
  NoPassThrough,  // the pass-through layer could not be loaded
  NoDrives,       // it lists no drive
  NotFound,       // none answers to the name asked for
  NoWriter,       // no name asked for, and no drive writes
};

struct DriveChoice {
  DriveSelection Outcome = DriveSelection::NotFound;
  std::string Text;  // why nothing was selected, for the person; empty when selected
  bool Selected() const { return Outcome == DriveSelection::Selected; }
};

// Loads the transport and selects the drive `wanted` names, or with nothing
// named the first that can write.
DriveChoice SelectDrive(device::TSCSIDevice& device, const std::string& wanted);

}  // namespace appcore
