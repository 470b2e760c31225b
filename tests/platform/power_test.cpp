// The power-off request: the replacement tests use, and the real request
// where it cannot be sent.
#include "platform/power.h"

#include <gtest/gtest.h>

namespace {

class PowerOff : public ::testing::Test {
 protected:
  void TearDown() override { platform::SetPowerOffForTesting(nullptr); }
};

TEST_F(PowerOff, TheReplacementAnswersAndItsErrorIsPassedOn) {
  int calls = 0;
  platform::SetPowerOffForTesting([&](std::string&) {
    ++calls;
    return true;
  });
  std::string error = "left over";
  EXPECT_TRUE(platform::PowerOff(error));
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(error, "");

  platform::SetPowerOffForTesting([](std::string& e) {
    e = "Access denied";
    return false;
  });
  EXPECT_FALSE(platform::PowerOff(error));
  EXPECT_EQ(error, "Access denied");

  // A refusal without a reason still gives the person one.
  platform::SetPowerOffForTesting([](std::string&) { return false; });
  EXPECT_FALSE(platform::PowerOff(error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
