#include "engine/device_disc_source.h"

#include <algorithm>
#include <cstring>

namespace engine {
namespace {

// One READ (10) moves at most this many sectors (64 KiB).
constexpr std::uint32_t kSectorsPerRead = 32;
constexpr std::uint8_t kTocAllocation = 12;  // header and one track descriptor
constexpr std::uint8_t kTocPairAllocation = 20;  // header, a track and the one after it

std::uint32_t Be32(const std::vector<std::uint8_t>& d, std::size_t at) {
  return std::uint32_t{d[at]} << 24 | std::uint32_t{d[at + 1]} << 16 | std::uint32_t{d[at + 2]} << 8 | d[at + 3];
}

// Descriptors a TOC answer holds by its own length field (MMC-5 6.26.3.2),
// never more than were transferred.
std::size_t TocDescriptors(const std::vector<std::uint8_t>& d) {
  if (d.size() < 4) return 0;
  const std::size_t length = std::size_t{d[0]} << 8 | d[1];
  const std::size_t bytes = std::min(length + 2, d.size());
  return bytes < 4 ? 0 : (bytes - 4) / 8;
}

}  // namespace

base::Status DeviceDiscSource::ReadSectors(std::uint32_t lba, std::uint32_t count, std::span<std::uint8_t> out) {
  if (out.size() < std::uint64_t{count} * 2048) return base::MakeError(base::ErrorKind::Internal, "read buffer too small");
  std::vector<std::uint8_t> data;
  for (std::uint32_t done = 0; done < count;) {
    const auto n = static_cast<std::uint16_t>(std::min(count - done, kSectorsPerRead));
    if (std::uint64_t{lba} + done > 0xFFFFFFFFu || !FDrive.Read10(lba + done, n, data))
      return base::MakeError(base::ErrorKind::Device, FDrive.LastErrorText());
    std::memcpy(out.data() + std::size_t{done} * 2048, data.data(), std::size_t{n} * 2048);
    done += n;
  }
  return base::Ok();
}

bool DeviceDiscSource::Ready() {
  FSectorCount.reset();
  return FDrive.ReadDiscInformation();
}

std::uint8_t DeviceDiscSource::LastSession() {
  FSectorCount.reset();
  return static_cast<std::uint8_t>(std::min<std::uint32_t>(FDrive.SessionCount(), 0xFF));
}

std::optional<iso::TrackEntry> DeviceDiscSource::TrackInfo(std::uint8_t track) {
  iso::TrackEntry e;
  e.Number = e.Session = track;
  if (FDrive.ReadTrackInformation(track)) {
    const device::TTrackInfo& t = FDrive.LastTrackInfo();
    e.Start = t.TrackStart;
    e.Size = t.TrackSize;
    // Drives that give no last recorded address (most CD drives) leave the
    // track's size as the bound.
    if (t.LastRecordedValid() && t.LastRecordedAddress >= t.TrackStart) e.RecordedEnd = t.LastRecordedAddress + 1;
    else if (!t.NextWritableValid()) e.RecordedEnd = t.TrackStart + t.TrackSize;
    return e;
  }
  // Many reading drives refuse READ TRACK INFORMATION: the table of contents
  // gives the start, the next entry (or the lead-out) the end.
  std::vector<std::uint8_t> data;
  if (!FDrive.ReadTocPmaAtip(device::TAddressForm::Lba, 0, track, kTocPairAllocation, 0, data)) return std::nullopt;
  const std::size_t count = TocDescriptors(data);
  if (count == 0 || data[6] != track) return std::nullopt;
  e.Start = Be32(data, 8);
  std::optional<std::uint32_t> end;
  if (count >= 2) end = Be32(data, 16);
  else end = CapacityEnd();
  e.Size = end && *end > e.Start ? *end - e.Start : 0;
  return e;
}

std::optional<std::uint32_t> DeviceDiscSource::CapacityEnd() const {
  std::uint32_t lastLba = 0, blockLength = 0;
  if (!FDrive.ReadCapacity(lastLba, blockLength) || lastLba == 0xFFFFFFFFu) return std::nullopt;
  return lastLba + 1;
}

std::uint64_t DeviceDiscSource::SectorCount() const {
  if (FSectorCount) return *FSectorCount;
  std::uint64_t end = CapacityEnd().value_or(0);
  std::vector<std::uint8_t> data;
  if (FDrive.ReadTocPmaAtip(device::TAddressForm::Lba, 0, iso::kLeadOutTrack, kTocAllocation, 0, data) &&
      TocDescriptors(data) >= 1 && data[6] == iso::kLeadOutTrack)
    end = std::max<std::uint64_t>(end, Be32(data, 8));
  FSectorCount = end;
  return end;
}

std::optional<std::pair<std::uint8_t, std::uint8_t>> DeviceDiscSource::TrackRange() {
  std::vector<std::uint8_t> data;
  if (!FDrive.ReadTocPmaAtip(device::TAddressForm::Msf, 0, 1, kTocAllocation, 0, data) || TocDescriptors(data) == 0)
    return std::nullopt;
  return std::make_pair(data[2], data[3]);
}

std::optional<std::uint32_t> DeviceDiscSource::TocAddress(std::uint8_t track) {
  std::vector<std::uint8_t> data;
  if (!FDrive.ReadTocPmaAtip(device::TAddressForm::Msf, 0, track, kTocAllocation, 0, data) ||
      TocDescriptors(data) == 0 || data[6] != track)
    return std::nullopt;
  // MMC-5 6.26.3.2: the first descriptor's address as 0, M, S, F.
  return std::uint32_t{data[9]} * 4500 + std::uint32_t{data[10]} * 75 + data[11];
}

std::uint32_t DeviceDiscSource::FreeBlocks() { return FDrive.DiscFreeBlocks(); }

std::optional<std::uint32_t> DeviceDiscSource::NextWritableAddress() {
  const std::uint8_t last = LastSession();
  if (last == 0 || !FDrive.ReadTrackInformation(static_cast<std::uint8_t>(last + 1))) return std::nullopt;
  const std::uint32_t next = FDrive.LastTrackInfo().NextWritableAddress;
  if (next == 0) return std::nullopt;
  return next;
}

}  // namespace engine
