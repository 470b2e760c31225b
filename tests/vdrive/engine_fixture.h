#pragma once
// The burner component with one virtual recorder as its only drive: the
// disc file, the drive provider and the selection that engine-level tests
// share. Engine pauses move the recorder's clock.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/device/transport.h"
#include "engine/kavo_burner.h"
#include "vdrive/recorder_fixture.h"
#include "vdrive/registration.h"

namespace vdrivetest {

class EngineRecorderTest : public RecorderTest {
 protected:
  explicit EngineRecorderTest(std::string provider) : FProvider(std::move(provider)) {}

  // A recorder on a fresh disc of `media`, found and selected by the burner.
  void AttachRecorder(vdrive::TMedia media, std::uint32_t blocks) {
    Make(media, blocks);
    Recorder.reset();
    device::FinalizeTransport();
    Shared = std::make_shared<vdrive::TVirtualRecorder>(Path, &Clock);
    Shared->SetLogFile("");
    device::RegisterDriveProvider(FProvider, [this] {
      std::vector<std::unique_ptr<device::TPassThroughDrive>> drives;
      drives.push_back(vdrive::MakePassThroughDrive(Shared));
      return drives;
    });
    Burner.SetSleeper(Sleeper);
    ASSERT_TRUE(Burner.InitASPI(true, ""));
    for (const auto& line : Burner.DeviceList())
      if (line.find("VIRTUAL RECORDER") != std::string::npos) Burner.SelectDevice(line);
    ASSERT_EQ(Burner.DeviceType(), 5);
  }
  void DetachRecorder() {
    device::FinalizeTransport();
    device::UnregisterDriveProvider(FProvider);
  }

  std::shared_ptr<vdrive::TVirtualRecorder> Shared;
  TClockSleeper Sleeper{Clock};
  engine::TKavoBurner Burner;
  std::string Result;
  bool Ended = false;

 private:
  std::string FProvider;
};

}  // namespace vdrivetest
