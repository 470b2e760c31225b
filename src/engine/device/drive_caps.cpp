// What the selected drive can do: the capability set from page 2Ah and the
// configuration features, the speeds, the medium in the drive, and the
// model quirks decided when a drive is selected.
#include <algorithm>
#include <array>

#include "engine/device/mmc_command.h"
#include "engine/device/scsi_device.h"

namespace device {
namespace {

constexpr std::uint16_t kDvdSpeedUnit = 1385;

// Where a mode page starts in a MODE SENSE (10) answer.
std::size_t LocatePage(std::span<const std::uint8_t> answer, std::uint8_t code) {
  if (answer[16] == code) return 16;
  if (answer[8] != code && answer[7] == code) return 7;
  return 8;
}

}  // namespace

void TSCSIDevice::DecodeCapabilityPage(std::span<const std::uint8_t> page) {
  const std::uint8_t reads = page[2], writes = page[3];
  if (reads & 0x01) FCapabilities |= kCapReadCdr;
  if (reads & 0x02) FCapabilities |= kCapReadCdrw;
  if (reads & 0x04) FCapabilities |= kCapMethod2;
  if (reads & 0x08) FCapabilities |= kCapReadDvd;
  if (reads & 0x10) FCapabilities |= kCapReadDvdr | kCapReadDvdrw;
  if (reads & 0x20) FCapabilities |= kCapReadDvdram;
  if (writes & 0x01) FCapabilities |= kCapWriteCdr;
  if (writes & 0x02) FCapabilities |= kCapWriteCdrw;
  if (writes & 0x04) FCapabilities |= kCapWriteTest;
  if (writes & 0x10) FCapabilities |= kCapWriteDvdr | kCapWriteDvdrw;
  if (writes & 0x20) FCapabilities |= kCapWriteDvdram;
  if (page[4] & 0x80) FCapabilities |= kCapUnderrunProtection;
  std::array<std::uint8_t, 128> vendor{};
  const bool vendorPage = ModeSense10(0x30, TModeValues::Current, vendor) &&
                          (vendor[16] == 0x30 || vendor[8] == 0x30 || vendor[7] == 0x30);
  if (vendorPage || FQuirks.ForcedUnderrun) FCapabilities |= kCapUnderrunProtection;
  // A feature counts as current by its current bit alone: drives report
  // versions above 0 in the same byte.
  auto feature = [&](std::uint8_t code, std::uint32_t supported, std::uint32_t current) {
    if (!GetConfiguration(code) || FConfiguration.Feature != code) return;
    FCapabilities |= supported;
    if (FConfiguration.FeatureFlags & 0x01) FCapabilities |= current;
  };
  // DVD+RW (002Ah) and DVD+R (002Bh) each say by their own Write bit whether
  // the drive writes that medium, whatever disc is in it.
  auto plusFeature = [&](std::uint8_t code, std::uint32_t readBits, std::uint32_t write) {
    if (!GetConfiguration(code) || FConfiguration.Feature != code) return;
    FCapabilities |= readBits;
    if (FConfiguration.FeatureData & 0x01) FCapabilities |= write;
  };
  plusFeature(0x2A, kCapReadDvdpr | kCapReadDvdprw, kCapWriteDvdprw);
  plusFeature(0x2B, kCapReadDvdpr, kCapWriteDvdpr);
  feature(0x3B, kCapReadDvdprDl, kCapWriteDvdprDl);
  feature(0x2F, kCapReadDvdr | kCapReadDvdrw, kCapWriteDvdr | kCapWriteDvdrw);
  // MMC-6 BD Read and BD Write features: a class 0 version map that is not all zeros names a medium read or written.
  auto bdFeature = [&](std::uint8_t code, std::initializer_list<std::pair<std::size_t, std::uint32_t>> maps) {
    if (!GetConfiguration(code) || FConfiguration.Feature != code) return;
    for (const auto& [at, bit] : maps) {
      // Body index = feature byte - 4.
      if ((FConfiguration.FeatureBody[at - 4] | FConfiguration.FeatureBody[at - 3]) != 0) FCapabilities |= bit;
    }
  };
  bdFeature(0x40, {{8, kCapReadBdre}, {16, kCapReadBdr}, {24, kCapReadBd}});
  bdFeature(0x41, {{8, kCapWriteBdre}, {16, kCapWriteBdr}});
}

bool TSCSIDevice::RefreshCapabilities() {
  FCapabilities = 0;
  FDeviceMaxWriteSpeed = FDeviceMaxReadSpeed = 0;
  FCapsPage.fill(0);

  std::array<std::uint8_t, 255> defaults{};
  std::size_t at = 15;
  const bool haveDefaults = ModeSense10(0x2A, TModeValues::Default, defaults);
  if (haveDefaults) {
    at = LocatePage(defaults, 0x2A);
    const auto page = std::span<const std::uint8_t>(defaults).subspan(at);
    DecodeCapabilityPage(page);
    auto speed = [&](std::size_t field) {
      const auto v = static_cast<std::uint16_t>(page[field] << 8 | page[field + 1]);
      return v == 0 && (page[3] & 0x20) != 0 ? std::uint16_t{1} : v;
    };
    FDeviceMaxWriteSpeed = speed(18);
    FDeviceMaxReadSpeed = speed(8);
  }

  std::array<std::uint8_t, 128> current{};
  if (!ModeSense10(0x2A, TModeValues::Current, current)) return false;
  for (const std::size_t candidate : {std::size_t{16}, std::size_t{8}, std::size_t{7}}) {
    if (current[candidate] == 0x2A) {
      at = candidate;
      break;
    }
  }
  std::copy(current.begin() + static_cast<std::ptrdiff_t>(at), current.end(), FCapsPage.begin());
  // Drives that answer only current values (defaults refused) still say
  // what they read and write there.
  if (!haveDefaults && FCapsPage[0] == 0x2A) DecodeCapabilityPage(FCapsPage);
  // A drive that writes nothing has no write speed to show.
  if (WritesAnything()) {
    for (const std::size_t field : {std::size_t{18}, std::size_t{20}}) {
      if (CapsPage16(field) == 0) {
        FCapsPage[field] = kDvdSpeedUnit >> 8;
        FCapsPage[field + 1] = kDvdSpeedUnit & 0xFF;
      }
    }
  }
  FDeviceMaxWriteSpeed = std::max(FDeviceMaxWriteSpeed, CapsPage16(18));
  FDeviceMaxReadSpeed = std::max(FDeviceMaxReadSpeed, CapsPage16(8));
  return true;
}

bool TSCSIDevice::WritesAnything() const {
  constexpr std::uint32_t kWrites = kCapWriteCdr | kCapWriteCdrw | kCapWriteDvdr | kCapWriteDvdrw | kCapWriteDvdram |
                                    kCapWriteDvdpr | kCapWriteDvdprw | kCapWriteDvdprDl | kCapWriteBdr | kCapWriteBdre;
  return (FCapabilities & kWrites) != 0;
}

std::uint16_t TSCSIDevice::MaxWriteSpeed() { return RefreshCapabilities() ? CapsPage16(18) : 0; }
std::uint16_t TSCSIDevice::MaxReadSpeed() { return RefreshCapabilities() ? CapsPage16(8) : 0; }
std::uint16_t TSCSIDevice::CurrentWriteSpeed() { return RefreshCapabilities() ? CapsPage16(20) : 0; }
std::uint16_t TSCSIDevice::CurrentReadSpeed() { return RefreshCapabilities() ? CapsPage16(14) : 0; }
std::uint16_t TSCSIDevice::BufferSizeKB() const { return CapsPage16(12); }

std::uint8_t TSCSIDevice::DetectMediaType() {
  std::uint8_t code = kMediumUnknown;
  if (GetConfiguration(0)) code = MediumCodeOfProfile(FConfiguration.CurrentProfile);
  if (code == kMediumUnknown) {
    std::vector<std::uint8_t> atip;
    if (ReadAtip(atip))
      code = (atip[6] & 0x80) == 0 ? kMediumCdRom : (atip[6] & 0x40) != 0 ? kMediumCdrw : kMediumCdr;
  }
  if (code == kMediumUnknown && ReadDiscInformation())
    code = FLastDiscInfo.Erasable() ? kMediumCdrw : kMediumCdr;
  if (code == kMediumUnknown && TestUnitReady(5000)) code = kMediumCdRom;
  return code;
}

void TSCSIDevice::ApplyModelQuirks() {
  const auto field = [&](std::size_t at, std::size_t n) {
    return std::string(reinterpret_cast<const char*>(FInquiry.data() + at), n);
  };
  FQuirks = DecideModelQuirks(field(8, 8), field(16, 16));
  if (FQuirks.ForcedUnderrun) FCapabilities |= kCapUnderrunProtection;
  FSlowReadyQuirk = FQuirks.SlowReadyDevice;
  SetSharedSlowReady(FQuirks.SlowReadyShared);
}

}  // namespace device
