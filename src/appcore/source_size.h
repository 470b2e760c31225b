#pragma once
// The size of a dropped file or folder, measured when it is dropped: a file's
// own size, or the total of every file below a folder. The walk can be
// stopped between entries and counts what it has seen, so a window can run it
// on a worker thread with progress and an abort.
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

namespace appcore {

struct MeasureControl {
  std::atomic<bool> Cancel{false};
  std::atomic<std::uint64_t> EntriesSeen{0};
};

// Follows links; a folder reached again through a link is counted once.
// Entries that cannot be examined count nothing. Nothing when cancelled.
std::optional<std::int64_t> MeasureSource(const std::string& path, MeasureControl& control);

}  // namespace appcore
