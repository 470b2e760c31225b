// What disc the drive holds: the disc record, the session count and state,
// and the used, free and total space in 2048-byte blocks.
#include <algorithm>
#include <array>
#include <vector>

#include "engine/device/mmc_command.h"
#include "engine/device/scsi_device.h"

namespace device {
namespace {

constexpr std::uint32_t kNoValue = 0xFFFFFFFFu;

bool IsDvdFamily(std::uint8_t code) { return !IsCdMedium(code); }

}  // namespace

bool TSCSIDevice::ReadAtip(std::vector<std::uint8_t>& atip) {
  return ReadTocPmaAtip(TAddressForm::Msf, 4, 0, 26, 0, atip) && IsAtipAnswer(atip);
}

std::optional<std::uint32_t> TSCSIDevice::CapacityBlocks() {
  std::uint32_t lastLba = 0, blockLength = 0;
  if (!ReadCapacity(lastLba, blockLength) || lastLba == kNoValue) return std::nullopt;
  return lastLba + 1;
}

void TSCSIDevice::GetDiscInfo(TDisc& disc) {
  TDisc mine;
  if (!TestUnitReady(5000)) {
    // No disc: waiting cannot bring one.
    if (FSense.Asc == 0x3A) return;
    WaitForReady(3000, 5000);
    if (!TestUnitReady(5000)) return;
  }
  mine.Ready = 1;
  std::vector<std::uint8_t> toc;
  if (ReadTocPmaAtip(TAddressForm::Lba, 0, 0, 114, 0, toc)) {
    const std::uint8_t lastTrack = toc[3];
    ReadTocPmaAtip(TAddressForm::Lba, 0, lastTrack, 114, 0, toc);
    std::vector<std::uint8_t> sessions;
    if (ReadTocPmaAtip(TAddressForm::Lba, 1, 0, 4, 0, sessions)) {
      mine.FirstSession = sessions[2];
      mine.LastSession = sessions[3];
    }
    std::vector<std::uint8_t> atip;
    if (ReadAtip(atip)) mine.TotalBlocks = MsfBlocks(atip[12], atip[13], atip[14]);
    mine.MediaName = "CD-ROM";
  }
  if (GetConfiguration(0)) {
    const std::uint16_t profile = FConfiguration.CurrentProfile;
    mine.MediaName = ProfileName(profile);
    mine.Erasable = ProfileErasable(profile) ? 1 : 0;
    mine.Profile = profile;
    const std::uint8_t code = MediumCodeOfProfile(profile);
    if (ReadTrackInformation(code < kMediumDvdRom ? 255 : 1)) {
      mine.UsedBlocks = FLastTrackInfo.NextWritableAddress;
      mine.TotalBlocks = FLastTrackInfo.NextWritableAddress + FLastTrackInfo.FreeBlocks;
      mine.BlockSize = 2048;
      ReadDiscInformation();
    } else {
      std::vector<std::uint8_t> capacities;
      if (ReadFormatCapacities(capacities)) {
        mine.UsedBlocks = FormatCapacityBlocks(capacities);
        mine.TotalBlocks = std::max(mine.TotalBlocks, mine.UsedBlocks);
      }
    }
  }
  if (ReadDiscInformation()) {
    mine.SessionState = FLastDiscInfo.LastSessionState();
    mine.DiscStatus = FLastDiscInfo.DiscStatus();
    mine.Erasable = FLastDiscInfo.Erasable() ? 1 : 0;
  } else {
    std::uint32_t lastLba = 0, blockLength = 0;
    if (ReadCapacity(lastLba, blockLength)) {
      // The last address is one short of the count.
      mine.UsedBlocks = lastLba == kNoValue ? lastLba : lastLba + 1;
      mine.BlockSize = blockLength;
    }
    if (ReadTrackInformation(0)) mine.MediaName = "CD-ROM";
  }
  mine.TotalBlocks = std::max(mine.TotalBlocks, mine.UsedBlocks);
  disc = mine;
}

std::uint32_t TSCSIDevice::SessionCount() {
  if (!ReadDiscInformation()) return 0;
  if (FLastDiscInfo.DiscStatus() == 0) return 0;
  std::uint32_t sessions = FLastDiscInfo.Sessions;
  if (FLastDiscInfo.LastSessionState() == 0 && sessions > 0) --sessions;
  return sessions;
}

std::int32_t TSCSIDevice::DiscState() {
  if (!ReadDiscInformation()) return -1;
  return FLastDiscInfo.DiscStatus();
}

bool TSCSIDevice::IsRewritable() {
  if (ReadDiscInformation()) return FLastDiscInfo.Erasable();
  const std::uint8_t code = DetectMediaType();
  SetCurrentMediaType(code);
  return code == kMediumDvdRam || code == kMediumDvdrwRestricted || code == kMediumDvdrwSequential ||
         code == kMediumDvdprw || code == kMediumBdre;
}

std::uint32_t TSCSIDevice::VolumeSpaceSize() {
  std::vector<std::uint8_t> block;
  for (std::uint32_t lba = 16; lba <= 32; ++lba) {
    if (!Read10(lba, 1, block)) continue;
    const bool descriptor = (block[0] == 1 || block[0] == 2) && block[1] == 'C' && block[2] == 'D' &&
                            block[3] == '0' && block[4] == '0' && block[5] == '1';
    if (descriptor)
      return std::uint32_t{block[80]} | std::uint32_t{block[81]} << 8 | std::uint32_t{block[82]} << 16 |
             std::uint32_t{block[83]} << 24;
  }
  return 0;
}

std::uint8_t TSCSIDevice::SpaceQueryStart(std::uint8_t& lastTrack) {
  const bool finalize = FFinalizeDisc;
  FFinalizeDisc = true;
  SetWriteParameters(false, FUnderrunProtection, CurrentMediaType(), true);
  FFinalizeDisc = finalize;
  lastTrack = ReadDiscInformation() ? FLastDiscInfo.LastTrackInLastSession : 0;
  return DetectMediaType();
}

bool TSCSIDevice::TrackInfoFor(std::uint32_t track) {
  // Track numbers past 255 do not fit the command; such a track is not there.
  return track <= 0xFF && ReadTrackInformation(static_cast<std::uint8_t>(track));
}

std::uint32_t TSCSIDevice::DiscUsedBlocks() {
  std::uint8_t last = 0;
  const std::uint8_t code = SpaceQueryStart(last);
  if (IsDvdFamily(code)) {
    // A pressed disc in a reading drive: all of it is used.
    if ((code == kMediumDvdRom || code == kMediumBdRom) && !TrackInfoFor(last)) return CapacityBlocks().value_or(0);
    if (!TrackInfoFor(last) || FLastTrackInfo.TrackSize == kNoValue) return 0;
    const TTrackInfo track = FLastTrackInfo;
    if (code == kMediumDvdRam || code == kMediumDvdprw || code == kMediumBdre) return VolumeSpaceSize();
    if (code == kMediumDvdrwRestricted || code == kMediumDvdrwSequential) {
      std::vector<std::uint8_t> capacities;
      if (ReadFormatCapacities(capacities)) return track.TrackSize == track.FreeBlocks ? 0 : track.TrackSize;
    }
    return track.NextWritableAddress;
  }
  const std::uint32_t sessions = SessionCount();
  if (TrackInfoFor(sessions + 1)) {
    const std::uint32_t nwa = FLastTrackInfo.NextWritableAddress == kNoValue ? FLastTrackInfo.TrackSize
                                                                             : FLastTrackInfo.NextWritableAddress;
    if (sessions == 0 || nwa != 0) return nwa;
  }
  std::uint32_t lastLba = 0, blockLength = 0;
  if (ReadCapacity(lastLba, blockLength)) {
    if (lastLba <= 0x7F000000u) return lastLba + 1;
    std::vector<std::uint8_t> capacities;
    return ReadFormatCapacities(capacities) ? FormatCapacityBlocks(capacities) : 0;
  }
  return TrackInfoFor(SessionCount() + 1) ? FLastTrackInfo.FreeBlocks : 0;
}

std::uint32_t TSCSIDevice::DiscFreeBlocks() {
  std::uint8_t last = 0;
  const std::uint8_t code = SpaceQueryStart(last);
  if (IsDvdFamily(code)) {
    if (!TrackInfoFor(last)) return 0;
    const TTrackInfo track = FLastTrackInfo;
    // A recorded size above the track's would wrap to a huge free space.
    auto less = [](std::uint32_t a, std::uint32_t b) { return a > b ? a - b : 0u; };
    if (code == kMediumDvdRam || code == kMediumDvdprw || code == kMediumBdre) return less(track.TrackSize, VolumeSpaceSize());
    if (code == kMediumDvdrwRestricted) {
      if (track.NextWritableAddress != 0) return track.FreeBlocks;
      std::vector<std::uint8_t> capacities;
      if (ReadFormatCapacities(capacities))
        return track.FreeBlocks == track.TrackSize ? track.FreeBlocks
                                                   : less(FormatCapacityBlocks(capacities), track.TrackSize);
    }
    if (track.TrackSize == kNoValue) return 0;
    return track.LastRecordedAddress != 0 ? track.FreeBlocks : track.TrackSize;
  }
  const bool finalize = FFinalizeDisc;
  FFinalizeDisc = true;
  SetWriteParameters(false, FUnderrunProtection, CurrentMediaType(), true);
  FFinalizeDisc = finalize;
  if (DiscState() == 2) return 0;
  ReadDiscInformation();
  if (!TrackInfoFor(last) && !TrackInfoFor(last)) return 0;
  return std::max(FLastTrackInfo.FreeBlocks, FLastTrackInfo.TrackSize);
}

std::uint32_t TSCSIDevice::DiscTotalBlocks() {
  std::uint8_t last = 0;
  const std::uint8_t code = SpaceQueryStart(last);
  std::uint32_t total = 0;
  if (IsDvdFamily(code)) {
    if (!TrackInfoFor(last)) return code == kMediumDvdRom || code == kMediumBdRom ? CapacityBlocks().value_or(0) : 0;
    const TTrackInfo track = FLastTrackInfo;
    if (code == kMediumDvdRam || code == kMediumDvdrwRestricted || code == kMediumDvdprw || code == kMediumBdre) {
      std::vector<std::uint8_t> capacities;
      if (ReadFormatCapacities(capacities)) return FormatCapacityBlocks(capacities);
    }
    return track.FreeBlocks + track.NextWritableAddress;
  }
  std::vector<std::uint8_t> atip;
  std::vector<std::uint8_t> capacities;
  if (ReadAtip(atip)) {
    total = MsfBlocks(atip[12], atip[13], atip[14]);
    if (total < 20000) total = std::max(total, CapacityBlocks().value_or(0));
  } else if (ReadFormatCapacities(capacities)) {
    total = FormatCapacityBlocks(capacities);
    if (total == 0xFFFD0001u) {
      const std::uint32_t sessions = SessionCount();
      total = TrackInfoFor(sessions + 1) || TrackInfoFor(sessions)
                  ? FLastTrackInfo.TrackStart + FLastTrackInfo.FreeBlocks
                  : 0;
    }
  } else if (TrackInfoFor(SessionCount())) {
    total = FLastTrackInfo.TrackStart + FLastTrackInfo.FreeBlocks;
  } else if (ReadFormatCapacities(capacities)) {
    total = FormatCapacityBlocks(capacities);
  } else {
    // A reading drive with a pressed or closed disc tells only its capacity.
    total = CapacityBlocks().value_or(0);
  }
  return total == kNoValue ? DiscUsedBlocks() : total;
}

}  // namespace device
