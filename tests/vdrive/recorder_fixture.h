#pragma once
// A virtual recorder on a scratch disc file with a hand-driven clock, and
// command blocks built here from the MMC-5 layouts (never with the engine's
// builders, so that both sides are checked against the standard).
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "engine/device/sleeper.h"
#include "vdrive/disc_image.h"
#include "vdrive/drive.h"

namespace vdrivetest {

class TFakeClock final : public vdrive::TClock {
 public:
  std::int64_t NowMs() override { return Now; }
  void SleepMs(std::int64_t ms) override {
    Slept += ms;
    Now += ms;
    if (OnSleep) OnSleep();
  }
  std::int64_t Now = 1000;
  std::int64_t Slept = 0;
  std::function<void()> OnSleep;  // runs after each of the recorder's own waits
};

// Engine pauses move the recorder's clock, so waits take no real time.
class TClockSleeper final : public device::TSleeper {
 public:
  explicit TClockSleeper(TFakeClock& clock) : FClock(clock) {}
  void Sleep(std::uint32_t ms) override {
    FClock.Now += ms;
    if (OnSleep) OnSleep();
  }
  std::function<void()> OnSleep;  // runs after each pause, on the pausing thread

 private:
  TFakeClock& FClock;
};

struct TAnswer {
  std::uint8_t Status = 0;
  std::vector<std::uint8_t> Data;
  std::vector<std::uint8_t> Sense;
  std::uint8_t Key() const { return static_cast<std::uint8_t>(Sense[2] & 0x0F); }
  std::uint8_t Asc() const { return Sense[12]; }
  std::uint8_t Ascq() const { return Sense[13]; }
  bool Good() const { return Status == 0; }
  // "K/AA/QQ" for readable failures.
  std::string SenseText() const;
};

inline std::uint32_t Be(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t width) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < width; ++i) v = (v << 8) | b.at(at + i);
  return v;
}

// Command blocks, by the byte positions of MMC-5.
namespace cdb {
std::vector<std::uint8_t> Write10(std::uint32_t lba, std::uint16_t blocks);
std::vector<std::uint8_t> Read10(std::uint32_t lba, std::uint16_t blocks);
std::vector<std::uint8_t> DiscInfo();
std::vector<std::uint8_t> TrackInfo(std::uint32_t number, std::uint8_t addressType = 1);
std::vector<std::uint8_t> Toc(std::uint8_t format, std::uint8_t number = 0, bool msf = false);
std::vector<std::uint8_t> Close(std::uint8_t function, std::uint16_t track = 0, bool immediate = false);
std::vector<std::uint8_t> Reserve(std::uint32_t blocks);
std::vector<std::uint8_t> Blank(std::uint8_t type, bool immediate);
std::vector<std::uint8_t> FormatUnit();
std::vector<std::uint8_t> ModeSense(std::uint8_t page, std::uint8_t control = 0);
std::vector<std::uint8_t> ModeSelect(std::uint16_t length);
std::vector<std::uint8_t> GetConfiguration(std::uint8_t rt, std::uint16_t feature);
std::vector<std::uint8_t> Sync(bool immediate);
}  // namespace cdb

// A Write Parameters page behind an 8-byte header, ready for MODE SELECT.
std::vector<std::uint8_t> WritePage(std::uint8_t byte2, std::uint8_t byte3, std::uint8_t blockType = 8);
std::vector<std::uint8_t> FormatList(std::uint32_t blocks, std::uint8_t type, std::uint32_t parameter, bool immediate);

// A scratch folder and the path of a disc file in it, not made yet.
class DiscFile : public ::testing::Test {
 protected:
  testsupport::TempDir Dir;
  std::string Path = Dir.Str() + "/d.zvd";
};

class RecorderTest : public ::testing::Test {
 protected:
  // Makes a disc file and a recorder on it.
  void Make(vdrive::TMedia media, std::uint32_t blocks = 0);
  void Reopen();  // a new recorder on the same file, as another process would have
  TAnswer Run(const std::vector<std::uint8_t>& cdb, std::size_t inLength = 0);
  TAnswer RunOut(const std::vector<std::uint8_t>& cdb, const std::vector<std::uint8_t>& data);
  // WRITE (10) of `blocks` blocks filled with `fill`.
  TAnswer WriteBlocks(std::uint32_t lba, std::uint16_t blocks, std::uint8_t fill = 0xA5);
  vdrive::TDisc Disc() const { return Recorder->Disc().value(); }

  testsupport::TempDir Dir;
  std::string Path;
  TFakeClock Clock;
  std::unique_ptr<vdrive::TVirtualRecorder> Recorder;

 private:
  int FDiscs = 0;
};

}  // namespace vdrivetest
