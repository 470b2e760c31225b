// What the burn window and the command line show while an operation runs,
// and the speeds a person types.
#include <gtest/gtest.h>

#include "appcore/progress.h"
#include "appcore/speed_list.h"
#include "engine/device/media_types.h"

namespace {

using namespace appcore;

TEST(ProgressMaths, TimesAndRemainingTime) {
  EXPECT_EQ(ClockText(3725), "1:2:5");
  EXPECT_EQ(ClockText(75), "0:1:15");
  EXPECT_EQ(PaddedClockText(3725), "1:02:05");
  EXPECT_EQ(ClockText(-4), "0:0:0");
  // At 0 % the time left keeps its previous value; at the end it is none.
  EXPECT_EQ(RemainingSeconds(30, 0, 7), 7);
  EXPECT_EQ(RemainingSeconds(30, 25, 7), 90);
  EXPECT_EQ(RemainingSeconds(10, 3, 0), 323);  // 10 / 3 x 97, rounded
  EXPECT_EQ(RemainingSeconds(30, 100, 7), 0);

  const ProgressFigures start = ComputeProgress(0, 1000, 12.0, 42);
  EXPECT_EQ(start.Percent, 0);
  EXPECT_EQ(start.RemainingSeconds, 42);
  const ProgressFigures quarter = ComputeProgress(250, 1000, 10.0, 0);
  EXPECT_EQ(quarter.Percent, 25);
  EXPECT_EQ(quarter.RemainingSeconds, 30);
  EXPECT_EQ(quarter.ElapsedSeconds, 10);
  const ProgressFigures over = ComputeProgress(1200, 1000, 10.0, 5);  // padding past the estimate
  EXPECT_EQ(over.Percent, 100);
  EXPECT_EQ(over.RemainingSeconds, 0);
  EXPECT_EQ(ComputeProgress(5, 0, 1.0, 0).Percent, 0);  // total not known yet

  EXPECT_EQ(DriveBufferPercent(0, 0), 0);
  EXPECT_EQ(DriveBufferPercent(100, 150), 0);  // a drive reporting nonsense
  EXPECT_EQ(DriveBufferPercent(200, 50), 75);
}

TEST(ProgressMaths, SpeedsAsTyped) {
  EXPECT_EQ(ParseSpeed("", device::kMediumCdr), 0);
  EXPECT_EQ(ParseSpeed("Max", device::kMediumDvdr), 0);
  EXPECT_EQ(ParseSpeed("8X", device::kMediumCdr), 1416);
  EXPECT_EQ(ParseSpeed("8x", device::kMediumDvdr), 11080);
  EXPECT_EQ(ParseSpeed("16X", device::kMediumCdr), 2832);
  EXPECT_EQ(ParseSpeed("5540", device::kMediumCdr), 5540);
  for (const char* bad : {"fast", "0X", "0", "-4", "70000", "100X", "4.5.1X", "12 "})
    EXPECT_FALSE(ParseSpeed(bad, device::kMediumDvdr).has_value()) << bad;
}

}  // namespace
