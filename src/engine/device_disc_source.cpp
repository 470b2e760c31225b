#include "engine/device_disc_source.h"

#include <algorithm>
#include <cstring>

namespace engine {
namespace {

// One READ (10) moves at most this many sectors (64 KiB).
constexpr std::uint32_t kSectorsPerRead = 32;
constexpr std::uint8_t kTocAllocation = 12;  // header and one track descriptor

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

bool DeviceDiscSource::Ready() { return FDrive.ReadDiscInformation(); }

std::uint8_t DeviceDiscSource::LastSession() {
  return static_cast<std::uint8_t>(std::min<std::uint32_t>(FDrive.SessionCount(), 0xFF));
}

std::optional<iso::TrackEntry> DeviceDiscSource::TrackInfo(std::uint8_t track) {
  if (!FDrive.ReadTrackInformation(track)) return std::nullopt;
  const device::TTrackInfo& t = FDrive.LastTrackInfo();
  iso::TrackEntry e;
  e.Number = e.Session = track;
  e.Start = t.TrackStart;
  e.Size = t.TrackSize;
  // Drives that give no last recorded address (most CD drives) leave the
  // track's size as the bound.
  if (t.LastRecordedValid() && t.LastRecordedAddress >= t.TrackStart) e.RecordedEnd = t.LastRecordedAddress + 1;
  else if (!t.NextWritableValid()) e.RecordedEnd = t.TrackStart + t.TrackSize;
  return e;
}

std::optional<std::pair<std::uint8_t, std::uint8_t>> DeviceDiscSource::TrackRange() {
  std::vector<std::uint8_t> data;
  if (!FDrive.ReadTocPmaAtip(device::TAddressForm::Msf, 0, 1, kTocAllocation, 0, data) || data.size() < 4)
    return std::nullopt;
  return std::make_pair(data[2], data[3]);
}

std::optional<std::uint32_t> DeviceDiscSource::TocAddress(std::uint8_t track) {
  std::vector<std::uint8_t> data;
  if (!FDrive.ReadTocPmaAtip(device::TAddressForm::Msf, 0, track, kTocAllocation, 0, data) || data.size() < 12)
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
