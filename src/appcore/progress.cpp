#include "appcore/progress.h"

#include <cmath>
#include <cstdio>

namespace appcore {

std::int64_t RemainingSeconds(std::int64_t elapsed, int percent, std::int64_t previous) {
  if (percent <= 0) return previous;
  if (percent >= 100) return 0;
  return std::llround(static_cast<double>(elapsed) / percent * (100 - percent));
}

ProgressFigures ComputeProgress(std::uint64_t done, std::uint64_t total, double elapsedSeconds,
                                std::int64_t previousRemaining) {
  ProgressFigures f;
  const double elapsed = elapsedSeconds < 0 ? 0 : elapsedSeconds;
  f.ElapsedSeconds = static_cast<std::int64_t>(elapsed);
  f.Percent = total == 0 ? 0 : done >= total ? 100 : static_cast<int>(done * 100 / total);
  f.KBytesPerSecond = elapsed > 0 ? static_cast<double>(done) / 1024.0 / elapsed : 0;
  // From the exact fraction, so that the estimate moves between whole percents.
  if (done == 0 || total == 0) {
    f.RemainingSeconds = previousRemaining;
  } else if (done >= total) {
    f.RemainingSeconds = 0;
  } else {
    const double fraction = static_cast<double>(done) / static_cast<double>(total);
    f.RemainingSeconds = static_cast<std::int64_t>(elapsed / fraction * (1 - fraction));
  }
  return f;
}

int DriveBufferPercent(std::uint32_t size, std::uint32_t free) {
  if (size == 0 || free > size) return 0;
  return static_cast<int>((size - free) * 100.0 / size + 0.5);
}

std::string ClockText(std::int64_t seconds) {
  const std::int64_t s = seconds < 0 ? 0 : seconds;
  return std::to_string(s / 3600) + ":" + std::to_string(s / 60 % 60) + ":" + std::to_string(s % 60);
}

std::string PaddedClockText(std::int64_t seconds) {
  const long long s = seconds < 0 ? 0 : seconds;
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  return text;
}

}  // namespace appcore
