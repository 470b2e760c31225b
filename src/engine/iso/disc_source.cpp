#include "engine/iso/disc_source.h"

#include <algorithm>
#include <cstring>

#include "engine/iso/records.h"

namespace iso {
namespace {

constexpr std::uint32_t kMaxSessions = 99;
// Where a session after the first may begin in an image file: right after
// the previous volume, rounded up as appending tools align it, or after the
// gap a CD recorder leaves between sessions.
constexpr std::uint32_t kSessionGap = 11400;
constexpr std::uint64_t kSearchWindow = 16384;

std::uint32_t RoundUp(std::uint64_t v, std::uint32_t unit) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>((v + unit - 1) / unit * unit, 0xFFFFFFFFu));
}

}  // namespace

base::Result<std::unique_ptr<ImageSource>> ImageSource::OpenFile(const std::string& path) {
  auto file = platform::FileStream::OpenImage(path);
  if (!file) return file.Err();
  std::unique_ptr<ImageSource> source(new ImageSource());
  source->FFile = std::move(file.Value());
  source->FInFile = true;
  const std::int64_t size = source->FFile.Size();
  if (size < 0) return base::MakeError(base::ErrorKind::System, "size of " + path + " unknown");
  source->FSectors = static_cast<std::uint64_t>(size) / kSectorSize;
  return source;
}

ImageSource::ImageSource(std::vector<std::uint8_t> bytes)
    : FBytes(std::move(bytes)), FSectors(FBytes.size() / kSectorSize) {}

void ImageSource::SetSessionStarts(std::vector<std::uint32_t> starts) {
  FStarts = std::move(starts);
  FSessionsKnown = true;
}

base::Status ImageSource::ReadSectors(std::uint32_t lba, std::uint32_t count, std::span<std::uint8_t> out) {
  if (RecordReads) Reads.emplace_back(lba, count);
  if (out.size() < std::uint64_t{count} * kSectorSize)
    return base::MakeError(base::ErrorKind::Internal, "read buffer too small");
  if (std::uint64_t{lba} + count > FSectors)
    return base::MakeError(base::ErrorKind::InvalidData, "sector " + std::to_string(lba) + " lies past the image");
  for (const std::uint32_t bad : FailingSectors)
    if (bad >= lba && bad - lba < count)
      return base::MakeError(base::ErrorKind::Device, "sector " + std::to_string(bad) + " unreadable");
  const std::size_t bytes = std::size_t{count} * kSectorSize;
  const std::uint64_t at = std::uint64_t{lba} * kSectorSize;
  if (!FInFile) {
    std::memcpy(out.data(), FBytes.data() + at, bytes);
    return base::Ok();
  }
  if (auto s = FFile.Seek(at); !s) return s;
  if (FFile.Read(out.data(), bytes) != static_cast<std::int64_t>(bytes))
    return base::MakeError(base::ErrorKind::System, "image file could not be read at sector " + std::to_string(lba));
  return base::Ok();
}

std::optional<std::uint32_t> ImageSource::VolumeSpaceAt(std::uint32_t start) {
  if (std::uint64_t{start} + 17 > FSectors) return std::nullopt;
  std::vector<std::uint8_t> sector(kSectorSize);
  if (!ReadSectors(start + 16, 1, sector)) return std::nullopt;
  if (sector[0] != 1 || std::memcmp(sector.data() + 1, "CD001", 5) != 0) return std::nullopt;
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | sector[80 + static_cast<std::size_t>(i)];
  return v;
}

void ImageSource::FindSessions() {
  FSessionsKnown = true;
  FStarts.clear();
  // Images grown by appending keep a copy of the newest descriptors at
  // sector 0 and the sessions themselves from sector 32 on.
  std::uint32_t start = VolumeSpaceAt(32) ? 32 : 0;
  auto volume = VolumeSpaceAt(start);
  while (volume && FStarts.size() < kMaxSessions) {
    FStarts.push_back(start);
    // Tools disagree whether a session's volume space counts from sector 0
    // or from the session's own start: the nearest start that holds a
    // descriptor wins.
    std::vector<std::uint64_t> candidates;
    for (const std::uint64_t end : {std::uint64_t{*volume}, std::uint64_t{start} + *volume})
      for (const std::uint64_t c : {end, std::uint64_t{RoundUp(end, 16)}, std::uint64_t{RoundUp(end, 32)},
                                    end + kSessionGap})
        if (c > start && c <= 0xFFFFFFFFu) candidates.push_back(c);
    std::sort(candidates.begin(), candidates.end());
    // Recorders leave gaps of their own between sessions (lead-out and
    // lead-in): past the usual places, every 16th sector of a bounded
    // stretch is tried.
    const std::uint64_t end = std::max<std::uint64_t>(*volume, start);
    for (std::uint64_t c = RoundUp(end, 16); c < end + kSearchWindow && c + 17 <= FSectors; c += 16)
      if (c > start) candidates.push_back(c);
    std::optional<std::uint32_t> next;
    for (const std::uint64_t c : candidates)
      if ((volume = VolumeSpaceAt(static_cast<std::uint32_t>(c)))) {
        next = static_cast<std::uint32_t>(c);
        break;
      }
    if (!next) break;
    start = *next;
  }
}

const std::vector<std::uint32_t>& ImageSource::SessionStarts() {
  if (!FSessionsKnown) FindSessions();
  return FStarts;
}

std::uint8_t ImageSource::LastSession() { return static_cast<std::uint8_t>(SessionStarts().size()); }

std::optional<TrackEntry> ImageSource::TrackInfo(std::uint8_t track) {
  const auto& starts = SessionStarts();
  if (track == 0 || track > starts.size() ||
      std::find(FailingTracks.begin(), FailingTracks.end(), track) != FailingTracks.end())
    return std::nullopt;
  TrackEntry t;
  t.Number = t.Session = track;
  t.Start = starts[track - 1u];
  const std::uint64_t end = track < starts.size() ? starts[track] : FSectors;
  t.Size = end > t.Start ? static_cast<std::uint32_t>(std::min<std::uint64_t>(end - t.Start, 0xFFFFFFFFu)) : 0;
  return t;
}

std::optional<std::pair<std::uint8_t, std::uint8_t>> ImageSource::TrackRange() {
  const auto last = LastSession();
  if (last == 0) return std::nullopt;
  return std::make_pair(std::uint8_t{1}, last);
}

std::optional<std::uint32_t> ImageSource::TocAddress(std::uint8_t track) {
  if (track == kLeadOutTrack) return static_cast<std::uint32_t>(std::min<std::uint64_t>(FSectors + 150, 0xFFFFFFFFu));
  const auto t = TrackInfo(track);
  if (!t) return std::nullopt;
  return t->Start + 150;
}

std::optional<std::uint32_t> ImageSource::NextWritableAddress() {
  // Appending tools align a new session to 32 sectors.
  if (FSectors >= 0xFFFFFFE0u) return std::nullopt;
  return RoundUp(FSectors, 32);
}

}  // namespace iso
