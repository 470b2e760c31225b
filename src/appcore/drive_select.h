#pragma once
// Finding the drive a command names: the leading address of a device-list
// line ("1:0:0") or the whole line, a device node ("/dev/sr0"), or nothing for the first drive
// that can write.
#include <string>
#include <vector>

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

// The burn button's rule: a drive that writes CD-R, DVD-R or DVD-RAM. One
// that writes only DVD+ media leaves it off.
bool BurnsWithButton(device::TSCSIDevice& device);

// What the drive box shows of the selected drive.
struct DriveScan {
  bool LayerStarted = false;
  std::vector<std::string> Drives;  // every line the layer lists
  std::string Selected;             // empty: no drive
  char Letter = 0;                  // 0: none
  bool Burns = false;               // BurnsWithButton
};

// The selected drive as it is now (Drives left empty).
DriveScan DescribeSelectedDrive(device::TSCSIDevice& device);
// At start-up: loads the transport and selects the first drive that
// BurnsWithButton, else the last one listed stays selected.
DriveScan ScanDrives(device::TSCSIDevice& device);

}  // namespace appcore
