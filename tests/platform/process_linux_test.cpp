// Thread priorities: what ThreadNiceFloor says against what the kernel
// allows, for this process and for a person's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "platform/process.h"
#include "support/priority.h"

namespace {

using testsupport::CurrentThreadNice;

// Lowers the calling thread to 5, asks for 0 again, and says where it ended.
int NiceAfterLoweringAndRaising() {
  testsupport::SetCurrentThreadNice(5);
  testsupport::SetCurrentThreadNice(0);
  return CurrentThreadNice();
}

TEST(ThreadPriority, TheFloorTellsWhetherALoweredThreadMayRiseAgain) {
  std::thread([] {
    const int floor = platform::ThreadNiceFloor();
    EXPECT_EQ(NiceAfterLoweringAndRaising(), floor <= 0 ? 0 : 5) << "floor " << floor;
  }).join();
  // A person's process: the kernel refuses the raise and the floor says so.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        testsupport::DropPriorityPrivileges();
        if (platform::ThreadNiceFloor() != 20) std::_Exit(2);
        std::_Exit(NiceAfterLoweringAndRaising() == 5 ? 0 : 3);
      },
      testing::ExitedWithCode(0), "");
}

TEST(ThreadPriority, TimeCriticalTakesTheHighestPriorityAllowed) {
  std::thread([] {
    const int before = CurrentThreadNice();
    platform::SetCurrentThreadTimeCritical();
    EXPECT_EQ(CurrentThreadNice(), std::min(before, std::max(-20, platform::ThreadNiceFloor())));
  }).join();
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        testsupport::DropPriorityPrivileges();
        platform::SetCurrentThreadTimeCritical();  // nothing above normal: stays, no failure
        std::_Exit(CurrentThreadNice() == 0 ? 0 : 4);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
