#pragma once
// A device on the scripted transport with drive 0:0:0 selected.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/device/scsi_device.h"
#include "engine/device/transport.h"
#include "support/scripted_transport.h"

namespace devicetest {

class TTestDevice : public device::TSCSIDevice {
 public:
  void SetSlowReadyQuirk(bool v) { FSlowReadyQuirk = v; }
  void SetMediumCode(std::uint8_t v) { SetCurrentMediaType(v); }
};

inline std::vector<std::uint8_t> InquiryAnswer(std::uint8_t type, const std::string& fields) {
  std::vector<std::uint8_t> data(36, 0);
  data[0] = type;
  for (std::size_t i = 0; i < fields.size() && 8 + i < data.size(); ++i) data[8 + i] = static_cast<std::uint8_t>(fields[i]);
  return data;
}

// A drive that answers neither capabilities page, as selection first asks.
inline void ExpectNoCapabilities(testsupport::TScriptedTransport& t, std::uint8_t lun = 0) {
  const auto b1 = static_cast<std::uint8_t>(lun << 5);
  const auto sense = testsupport::FixedSense(5, 0x24, 0);
  t.Expect(testsupport::Failing({0x5A, b1, 0xAA, 0, 0, 0, 0, 0, 0xFF, 0}, sense));
  t.Expect(testsupport::Failing({0x5A, b1, 0x2A, 0, 0, 0, 0, 0, 0x80, 0}, sense));
}

class DeviceFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    Transport = std::make_shared<testsupport::TScriptedTransport>();
    device::InstallTransport(Transport, "SCRIPT");
    Device.SetSleeper(Sleeper);
    Device.OnDebugMessage = [this](device::TSCSIDevice&, const std::string& m, std::uint8_t kind) {
      Log.push_back({m, kind});
    };
    ExpectNoCapabilities(*Transport);
    testsupport::TScriptStep inquiry;
    inquiry.Cdb = {0x12, 0, 0, 0, 0x80, 0};
    inquiry.Data = InquiryAnswer(5, "VENDOR  PRODUCT         1.00");
    Transport->Expect(inquiry);
    Device.SelectDevice("0:0:0,?: VENDOR  PRODUCT         1.00");
    ASSERT_EQ(Device.DeviceType(), 5);
    Transport->Sent.clear();
    Log.clear();
  }
  void TearDown() override {
    EXPECT_TRUE(Transport->Mismatches.empty()) << Transport->Mismatches.front();
    device::FinalizeTransport();
    device::SetCloseHandleAfterCommand(true);
  }

  struct TLogLine {
    std::string Text;
    std::uint8_t Kind;
  };
  std::shared_ptr<testsupport::TScriptedTransport> Transport;
  testsupport::TFakeSleeper Sleeper;
  TTestDevice Device;
  std::vector<TLogLine> Log;
};

}  // namespace devicetest
