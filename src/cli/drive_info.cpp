#include "cli/drive_info.h"

#include <cinttypes>

#include "appcore/speed_list.h"
#include "cli/build_iso.h"
#include "appcore/drive_select.h"
#include "engine/device/media_types.h"
#include "engine/kavo_burner.h"
#include "engine/session_list.h"

namespace cli {
namespace {

// --device DEV and --help are all these commands take.
bool ParseDeviceOnly(const std::vector<std::string>& args, const char* usage, std::string& device, bool& help,
                     std::FILE* err) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-h" || args[i] == "--help") {
      help = true;
    } else if (args[i] == "--device" && i + 1 < args.size()) {
      device = args[++i];
    } else {
      std::fprintf(err, "zantic-cli: unexpected argument: %s\n\n%s", args[i].c_str(), usage);
      return false;
    }
  }
  return true;
}

struct TCapabilityBox {
  std::uint32_t Bit;
  const char* Name;
};
// The device-capabilities window's check boxes, then the two bits it has none for, then Blu-ray.
constexpr TCapabilityBox kBoxes[] = {
    {device::kCapReadCdr, "ReadCDR"},           {device::kCapReadCdrw, "ReadCDRW"},
    {device::kCapReadDvd, "ReadDVD"},           {device::kCapReadDvdr, "ReadDVDR"},
    {device::kCapReadDvdrw, "ReadDVDRW"},       {device::kCapReadDvdram, "ReadDVDRAM"},
    {device::kCapReadDvdpr, "ReadDVDPR"},       {device::kCapReadDvdprw, "ReadDVDPRW"},
    {device::kCapWriteCdr, "WriteCDR"},         {device::kCapWriteCdrw, "WriteCDRW"},
    {device::kCapWriteTest, "WriteTest"},       {device::kCapWriteDvdr, "WriteDVDR"},
    {device::kCapWriteDvdrw, "WriteDVDRW"},     {device::kCapWriteDvdram, "WriteDVDRAM"},
    {device::kCapWriteDvdpr, "WriteDVDPR"},     {device::kCapWriteDvdprw, "WriteDVDPRW"},
    {device::kCapUnderrunProtection, "UnderrunProtection"},
    {device::kCapMethod2, "Method2"},           {device::kCapReadDvdprDl, "ReadDVDPRDL"},
    {device::kCapWriteDvdprDl, "WriteDVDPRDL"},     {device::kCapReadBd, "ReadBD"},
    {device::kCapReadBdr, "ReadBDR"},           {device::kCapReadBdre, "ReadBDRE"},
    {device::kCapWriteBdr, "WriteBDR"},         {device::kCapWriteBdre, "WriteBDRE"},
};

const char* DiscStatusText(std::uint8_t status) {
  switch (status) {
    case 0: return "empty";
    case 1: return "appendable";
    case 2: return "complete";
    default: return "other";
  }
}

}  // namespace

int RunDriveInfo(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  std::string wanted;
  bool help = false;
  if (!ParseDeviceOnly(args, kDriveInfoUsage, wanted, help, err)) return kExitBadInput;
  if (help) {
    std::fputs(kDriveInfoUsage, out);
    return kExitOk;
  }
  engine::TKavoBurner burner;
  if (const auto drive = appcore::SelectDrive(burner, wanted); !drive.Selected()) {
    std::fprintf(err, "zantic-cli: %s\n", drive.Text.c_str());
    return kExitFailed;
  }
  burner.RefreshCapabilities();
  std::fprintf(out, "Device Capabilities\n  %s\n", burner.DeviceName().c_str());
  for (const auto& box : kBoxes) std::fprintf(out, "  [%c] %s\n", burner.HasCapability(box.Bit) ? 'x' : ' ', box.Name);
  std::fprintf(out, "Max Write Speed   :  %ux\n", unsigned{burner.DeviceMaxWriteSpeed()});
  std::fprintf(out, "Max Read Speed    :  %ux\n", unsigned{burner.DeviceMaxReadSpeed()});
  std::fprintf(out, "Buffer            :  %u KB\n", unsigned{burner.BufferSizeKB()});
  const std::uint8_t medium = burner.DetectMediaType();
  if (!burner.WritesAnything()) {
    std::fputs("Write speeds: none (the drive writes no medium)\n", out);
    return kExitOk;
  }
  std::fprintf(out, "Write speeds for the disc in the drive (%s):\n", device::MediumName(medium));
  for (const auto& entry : appcore::FillSpeedList(burner)) std::fprintf(out, "  %s\n", entry.c_str());
  return kExitOk;
}

int RunDiscInfo(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  std::string wanted;
  bool help = false;
  if (!ParseDeviceOnly(args, kDiscInfoUsage, wanted, help, err)) return kExitBadInput;
  if (help) {
    std::fputs(kDiscInfoUsage, out);
    return kExitOk;
  }
  engine::TKavoBurner burner;
  if (const auto drive = appcore::SelectDrive(burner, wanted); !drive.Selected()) {
    std::fprintf(err, "zantic-cli: %s\n", drive.Text.c_str());
    return kExitFailed;
  }
  device::TDisc disc;
  burner.GetDiscInfo(disc);
  if (disc.Ready == 0) {
    std::fprintf(err, "zantic-cli: no disc in %s (the drive is not ready)\n", burner.DeviceName().c_str());
    return kExitFailed;
  }
  burner.RefreshCapabilities();
  const std::uint8_t medium = burner.DetectMediaType();
  burner.SetCurrentMediaType(medium);
  const std::uint32_t total = burner.DiscTotalBlocks(), used = burner.DiscUsedBlocks(), free = burner.DiscFreeBlocks();
  std::fprintf(out, "Drive      : %s\n", burner.DeviceName().c_str());
  std::fprintf(out, "Medium     : %s (%s)\n", device::MediumName(medium), disc.MediaName.c_str());
  std::fprintf(out, "Disc size  : %.2f MB\n", total / 512.0);
  std::fprintf(out, "Used space : %.2f MB\n", used / 512.0);
  std::fprintf(out, "Free space : %.2f MB\n", free / 512.0);
  std::fprintf(out, "Erasable   : %s\n", burner.IsRewritable() ? "yes" : "no");
  std::fprintf(out, "Disc status: %s\n", DiscStatusText(disc.DiscStatus));
  std::fprintf(out, "Sessions   : %" PRIu32 "\n", burner.SessionCount());
  std::fprintf(out, "\n%s\n", engine::kSessionListHeader);
  for (const auto& line : engine::SessionListLines(burner.DiscSource())) std::fprintf(out, "%s\n", line.c_str());
  return kExitOk;
}

}  // namespace cli
