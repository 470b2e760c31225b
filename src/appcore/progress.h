#pragma once
// The figures a long operation shows once a second, computed the same way
// by the burn window and the command line.
#include <cstdint>
#include <string>

namespace appcore {

struct ProgressFigures {
  int Percent = 0;                 // whole percent of the bytes done
  std::int64_t ElapsedSeconds = 0;
  std::int64_t RemainingSeconds = 0;
  double KBytesPerSecond = 0;      // average since the start
};

// `previousRemaining` is kept while nothing is done yet (0 % tells nothing
// about the time left).
ProgressFigures ComputeProgress(std::uint64_t done, std::uint64_t total, double elapsedSeconds,
                                std::int64_t previousRemaining);
// Remaining time from elapsed seconds and a whole percent, rounded; the
// previous value at 0 %.
std::int64_t RemainingSeconds(std::int64_t elapsed, int percent, std::int64_t previous);
// The once-a-second clocks of a running operation: seconds elapsed and the
// time left estimated from the percent done.
class OperationClock {
 public:
  void Restart() { FElapsed = FRemaining = 0; }
  void Tick() { ++FElapsed; }
  void Estimate(int percent) { FRemaining = RemainingSeconds(FElapsed, percent, FRemaining); }
  // Done: nothing is left, however early the last estimate was made.
  void Done() { FRemaining = 0; }
  std::int64_t Elapsed() const { return FElapsed; }
  std::int64_t Remaining() const { return FRemaining; }

 private:
  std::int64_t FElapsed = 0;
  std::int64_t FRemaining = 0;
};

// Drive buffer fill in percent; 0 when the drive reports no buffer or
// reports more free space than it has.
int DriveBufferPercent(std::uint32_t size, std::uint32_t free);
// "1:2:5" for 3725 s: hours, minutes, seconds without leading zeros.
std::string ClockText(std::int64_t seconds);
// "1:02:05": minutes and seconds padded, for a terminal column.
std::string PaddedClockText(std::int64_t seconds);

}  // namespace appcore
