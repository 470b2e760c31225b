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

// Loads the transport and selects the drive; false with a message for the
// user in `error` when there is no such drive.
bool SelectDrive(device::TSCSIDevice& device, const std::string& wanted, std::string& error);

}  // namespace appcore
