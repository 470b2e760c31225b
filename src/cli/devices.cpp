#include "cli/devices.h"

#include "cli/build_iso.h"
#include "engine/device/builtin_layer.h"
#include "engine/device/device_address.h"
#include "engine/device/scsi_device.h"
#include "engine/device/transport.h"
#include "platform/file_find.h"
#include "vdrive/registration.h"

namespace cli {

void RegisterRecorders(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i)
    if (args[i] == "--device" && platform::FileExists(args[i + 1])) {
      vdrive::RegisterVirtualRecorderFor(args[i + 1]);
      return;
    }
  vdrive::RegisterVirtualRecorders();
}

int RunDevices(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  for (const auto& a : args) {
    if (a == "-h" || a == "--help") {
      std::fputs(kDevicesUsage, out);
      return kExitOk;
    }
    std::fprintf(err, "zantic-cli: devices takes no argument: %s\n\n%s", a.c_str(), kDevicesUsage);
    return kExitBadInput;
  }
  device::TSCSIDevice scanner;
  if (!scanner.ASPIInitialized() && !scanner.InitASPI(true, std::string())) {
    // An ASPI library that was found but could not be used says why.
    if (const std::string problem = device::TransportProblem(); !problem.empty())
      std::fprintf(err, "zantic-cli: %s\n", problem.c_str());
    std::fputs(kNoTransport, out);
    return kExitOk;
  }
  if (scanner.DeviceList().empty()) {
    std::fprintf(out, kNoDrivesOn, device::TransportName().c_str());
    return kExitOk;
  }
  const auto layer = device::ActiveBuiltInLayer();
  for (const auto& line : scanner.DeviceList()) {
    std::string location;
    const auto address = device::ParseDeviceAddress(line.substr(0, line.find(',') + 1));
    if (layer && address) location = layer->LocationOf(address->HostAdapter, address->Target, address->Lun);
    std::fprintf(out, "%s%s%s\n", line.c_str(), location.empty() ? "" : "\t", location.c_str());
  }
  return kExitOk;
}

}  // namespace cli
