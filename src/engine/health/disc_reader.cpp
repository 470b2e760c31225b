#include "engine/health/disc_reader.h"

#include <algorithm>
#include <cstring>

#include "engine/iso/session_reader.h"

namespace health {

namespace {

constexpr std::size_t kSectorBytes = 2048;

class Copier {
 public:
  Copier(iso::DiscSource& disc, const SectorSink& sink, const ReadSettings& settings, const ReadCallbacks& callbacks,
         std::uint64_t total)
      : FDisc(disc),
        FSink(sink),
        FSettings(settings),
        FCallbacks(callbacks),
        FTotal(total),
        FBuffer(std::size_t{std::max<std::uint32_t>(settings.ChunkSectors, 1)} * kSectorBytes) {}

  base::Status Range(const SectorRange& r, ReadOutcome& outcome) {
    const std::uint32_t chunk = std::max<std::uint32_t>(FSettings.ChunkSectors, 1);
    for (std::uint64_t lba = r.Start; lba < r.End();) {
      if (FCallbacks.Cancelled && FCallbacks.Cancelled()) {
        outcome.Cancelled = true;
        outcome.NotDone.push_back({static_cast<std::uint32_t>(lba), static_cast<std::uint32_t>(r.End() - lba)});
        return base::Ok();
      }
      const auto n = static_cast<std::uint32_t>(std::min<std::uint64_t>(chunk, r.End() - lba));
      if (auto st = Block(static_cast<std::uint32_t>(lba), n, outcome); !st) return st;
      lba += n;
      FDone += n;
      if (FCallbacks.Progress) FCallbacks.Progress(FDone, FTotal, FUnreadable);
    }
    return base::Ok();
  }

 private:
  base::Status Block(std::uint32_t lba, std::uint32_t n, ReadOutcome& outcome) {
    const std::span<std::uint8_t> data(FBuffer.data(), std::size_t{n} * kSectorBytes);
    if (FDisc.ReadSectors(lba, n, data)) return Write(lba, n);
    if (n > 1) {
      // Halving finds the bad sectors in few reads and keeps the good ones around them.
      const std::uint32_t half = n / 2;
      if (auto st = Block(lba, half, outcome); !st) return st;
      return Block(lba + half, n - half, outcome);
    }
    for (int i = 0; i < FSettings.SectorRetries; ++i) {
      if (FCallbacks.Cancelled && FCallbacks.Cancelled()) break;
      if (FDisc.ReadSectors(lba, 1, data)) return Write(lba, 1);
    }
    AppendSector(outcome.Unreadable, lba);
    ++FUnreadable;
    std::memset(data.data(), 0, kSectorBytes);
    return Write(lba, 1);
  }

  base::Status Write(std::uint32_t lba, std::uint32_t n) {
    return FSink(lba, n, std::span<const std::uint8_t>(FBuffer.data(), std::size_t{n} * kSectorBytes));
  }

  iso::DiscSource& FDisc;
  const SectorSink& FSink;
  const ReadSettings& FSettings;
  const ReadCallbacks& FCallbacks;
  std::uint64_t FTotal;
  std::uint64_t FDone = 0;
  std::uint64_t FUnreadable = 0;
  std::vector<std::uint8_t> FBuffer;
};

}  // namespace

base::Result<ReadOutcome> ReadIntoImage(iso::DiscSource& disc, platform::FileStream& image,
                                        const std::vector<SectorRange>& ranges, const ReadSettings& settings,
                                        const ReadCallbacks& callbacks) {
  platform::WritebackPacer pacer;
  const SectorSink sink = [&image, &pacer](std::uint32_t lba, std::uint32_t, std::span<const std::uint8_t> data) {
    const std::uint64_t offset = std::uint64_t{lba} * kSectorBytes;
    if (auto st = image.WriteAt(offset, data.data(), data.size()); !st) return st;
    pacer.Wrote(image, offset, data.size());
    return base::Ok();
  };
  return ReadRanges(disc, ranges, settings, callbacks, sink);
}

base::Result<ReadOutcome> ReadRanges(iso::DiscSource& disc, const std::vector<SectorRange>& ranges,
                                     const ReadSettings& settings, const ReadCallbacks& callbacks,
                                     const SectorSink& sink) {
  std::uint64_t total = 0;
  for (const auto& r : ranges) total += r.Count;
  Copier copier(disc, sink, settings, callbacks, total);
  ReadOutcome outcome;
  for (const auto& r : ranges) {
    if (outcome.Cancelled) {
      outcome.NotDone.push_back(r);
      continue;
    }
    if (auto st = copier.Range(r, outcome); !st) return st.Err();
  }
  return outcome;
}

std::vector<SectorRange> RecordedRanges(iso::DiscSource& disc, std::uint8_t session, SessionBounds bounds) {
  std::vector<SectorRange> ranges;
  for (std::uint8_t s = 1; s != 0 && s <= session; ++s) {
    const auto track = disc.TrackInfo(s);
    const auto end = SessionEnd(disc, s, bounds);
    if (!track || !end) return {};
    std::uint32_t start = track->Start;
    if (!ranges.empty()) start = static_cast<std::uint32_t>(std::max<std::uint64_t>(start, ranges.back().End()));
    if (*end <= start) continue;
    if (!ranges.empty() && ranges.back().End() == start) ranges.back().Count += *end - start;
    else ranges.push_back({start, *end - start});
  }
  return ranges;
}

std::vector<SectorRange> RunOutSectors(iso::DiscSource& disc, std::uint8_t session) {
  constexpr std::uint32_t kRunOut = 2;
  std::vector<SectorRange> out;
  for (std::uint8_t s = 1; s != 0 && s <= session; ++s) {
    const auto track = disc.TrackInfo(s);
    const auto trackEnd = SessionEnd(disc, s, SessionBounds::Track);
    const auto volumeEnd = SessionEnd(disc, s, SessionBounds::FileSystem);
    if (!track || !trackEnd || !volumeEnd || *volumeEnd >= *trackEnd || *trackEnd - *volumeEnd > kRunOut) continue;
    out.push_back({*volumeEnd, *trackEnd - *volumeEnd});
  }
  return out;
}

std::vector<SectorRange> Without(const std::vector<SectorRange>& from, const std::vector<SectorRange>& minus) {
  std::vector<SectorRange> out;
  std::size_t m = 0;
  for (const auto& r : from) {
    std::uint64_t at = r.Start;
    while (m < minus.size() && minus[m].End() <= at) ++m;
    for (std::size_t k = m; k < minus.size() && minus[k].Start < r.End(); ++k) {
      if (minus[k].Start > at) out.push_back({static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(minus[k].Start - at)});
      at = std::max<std::uint64_t>(at, minus[k].End());
    }
    if (at < r.End()) out.push_back({static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(r.End() - at)});
  }
  return out;
}

std::uint8_t ChosenSession(iso::DiscSource& disc, int wanted) {
  const std::uint8_t last = disc.LastSession();
  if (wanted < 1 || wanted > last) return last;
  return static_cast<std::uint8_t>(wanted);
}

std::optional<std::uint32_t> SessionEnd(iso::DiscSource& disc, std::uint8_t session, SessionBounds bounds) {
  if (session == 0) return std::nullopt;
  const auto track = disc.TrackInfo(session);
  if (!track) return std::nullopt;
  const std::uint64_t trackEnd = track->Size != 0 ? std::uint64_t{track->Start} + track->Size : 0;
  if (bounds == SessionBounds::Track && trackEnd != 0 && trackEnd <= 0xFFFFFFFFull)
    return static_cast<std::uint32_t>(trackEnd);
  // Images and media written in place report no track size: the volume's own size counts.
  const auto descriptor = iso::FindDescriptor(disc, track->Start, false);
  if (!descriptor || descriptor->VolumeSpaceSize == 0) return std::nullopt;
  // A volume records its size from sector 0 on a multisession disc, or from its start.
  std::uint64_t end = descriptor->VolumeSpaceSize > track->Start
                          ? descriptor->VolumeSpaceSize
                          : std::uint64_t{track->Start} + descriptor->VolumeSpaceSize;
  // The descriptor is data on the disc: what the drive reports bounds it,
  // and without such a bound it is not believed.
  const std::uint64_t discEnd = disc.SectorCount();
  if (trackEnd == 0 && discEnd == 0) return std::nullopt;
  if (trackEnd != 0) end = std::min(end, trackEnd);
  if (discEnd != 0) end = std::min(end, discEnd);
  if (end <= track->Start || end > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(end);
}

}  // namespace health
