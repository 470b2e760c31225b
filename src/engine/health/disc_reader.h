#pragma once
// Copies sectors of a disc into an image file at the same offsets. A read
// that fails is split into smaller reads down to single sectors, each of
// which is tried a bounded number of times; what still fails is left as
// zeros and listed.
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "base/result.h"
#include "engine/health/sector_map.h"
#include "engine/iso/disc_source.h"
#include "platform/file_stream.h"

namespace health {

struct ReadSettings {
  std::uint32_t ChunkSectors = 32;  // 64 KiB, what every drive takes in one READ (10)
  int SectorRetries = 4;            // more tries for one sector after the smaller reads failed
};

struct ReadCallbacks {
  std::function<bool()> Cancelled;
  // Sectors handled so far of all to handle, and how many of them failed.
  std::function<void(std::uint64_t done, std::uint64_t total, std::uint64_t unreadable)> Progress;
};

struct ReadOutcome {
  std::vector<SectorRange> Unreadable;
  bool Cancelled = false;
  // Sectors of `ranges` not yet handled when cancelled (the rest is done).
  std::vector<SectorRange> NotDone;
};

// Receives the sectors read, in increasing order; unreadable ones as zeros.
using SectorSink = std::function<base::Status(std::uint32_t lba, std::uint32_t count, std::span<const std::uint8_t> data)>;

// Reads every range of `ranges` (sorted, disjoint) from `disc` into `sink`.
// Fails only when the sink fails.
base::Result<ReadOutcome> ReadRanges(iso::DiscSource& disc, const std::vector<SectorRange>& ranges,
                                     const ReadSettings& settings, const ReadCallbacks& callbacks,
                                     const SectorSink& sink);

// Reads every range of `ranges` (sorted, disjoint) from `disc` into `image`.
// Fails only when the image cannot be written.
base::Result<ReadOutcome> ReadIntoImage(iso::DiscSource& disc, platform::FileStream& image,
                                        const std::vector<SectorRange>& ranges, const ReadSettings& settings,
                                        const ReadCallbacks& callbacks);

// How a session's end is found. Media written in place (DVD+RW, DVD-RAM,
// restricted-overwrite DVD-RW) have one track over the whole formatted
// area: the file system tells where the data end.
enum class SessionBounds { Track, FileSystem };

// The sector a session ends at (exclusive), counted from sector 0: the end
// of its track as the drive reports it, or where the file system says the
// volume ends (also when the drive reports no size). nullopt when unknown.
std::optional<std::uint32_t> SessionEnd(iso::DiscSource& disc, std::uint8_t session,
                                        SessionBounds bounds = SessionBounds::Track);

// The sectors holding sessions 1 to `session`; the gaps a CD recorder
// leaves between sessions hold nothing to read. Empty when unknown.
std::vector<SectorRange> RecordedRanges(iso::DiscSource& disc, std::uint8_t session,
                                        SessionBounds bounds = SessionBounds::Track);

// A CD track written at once ends in two run-out sectors that drives
// cannot read; they lie past the track's file system and hold no data.
// The run-out ranges of sessions 1 to `session`, as far as they can be told.
std::vector<SectorRange> RunOutSectors(iso::DiscSource& disc, std::uint8_t session);

// `from` without the sectors of `minus` (both sorted and disjoint).
std::vector<SectorRange> Without(const std::vector<SectorRange>& from, const std::vector<SectorRange>& minus);

// The session asked for: -1 or a number above the last means the last.
std::uint8_t ChosenSession(iso::DiscSource& disc, int wanted);

}  // namespace health
