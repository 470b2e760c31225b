#pragma once
// Virtual recorders as the program's drives for the job trials: one per
// medium asked for, each selected once, and a burner that reports through a
// queue this thread runs.
#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <string>
#include <vector>

#include "appcore/drive_select.h"
#include "engine/device/transport.h"
#include "engine/dispatch/dispatcher.h"
#include "engine/kavo_burner.h"
#include "platform/process.h"
#include "support/temp_dir.h"
#include "vdrive/disc_image.h"
#include "vdrive/registration.h"

namespace testsupport {

class RecorderJobs : public ::testing::Test {
 protected:
  void Attach(std::initializer_list<vdrive::TMedia> media, std::uint32_t blocks = 4000) {
    std::string discs;
    for (const vdrive::TMedia medium : media) {
      const std::string path = Dir.Str() + "/d" + std::to_string(Paths.size()) + ".zvd";
      ASSERT_TRUE(vdrive::TDiscFile::Create(path, vdrive::BlankDisc(medium, blocks)));
      discs += (discs.empty() ? "" : std::string(1, platform::kPathListSeparator)) + path;
      Paths.push_back(path);
    }
    platform::SetEnvironment("ZANTIC_VDISC", discs);
    device::FinalizeTransport();  // the drive table of the test before is gone
    vdrive::RegisterVirtualRecorders();
    platform::UnsetEnvironment("ZANTIC_VDISC");
    for (const std::string& path : Paths) {
      ASSERT_TRUE(appcore::SelectDrive(Burner, path).Selected());
      Devices.push_back(Burner.DeviceId());
    }
    Burner.SetDispatcher(&Queue);
  }
  void TearDown() override {
    Burner.WaitForOperation();
    Queue.RunPending(std::chrono::milliseconds(0));
    Burner.SetDispatcher(nullptr);
    vdrive::UnregisterVirtualRecorders();
    device::FinalizeTransport();
  }
  TempDir Dir;
  engine::TKavoBurner Burner;
  dispatch::QueueDispatcher Queue;
  std::vector<std::string> Paths, Devices;  // in the order asked for
};

}  // namespace testsupport
