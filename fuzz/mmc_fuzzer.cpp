// libFuzzer target: the answers of a drive. Every command the device layer
// sends is answered from the input: a status byte (good, check condition
// with the sense that follows, or a transport failure), a length, and that
// many bytes of data. The queries run as a burn's selection and disc checks
// run them: inquiry, capabilities, medium, disc, session and space queries,
// and the session reader's track, TOC and capacity queries.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <variant>
#include <vector>

#include "engine/device/media_types.h"
#include "engine/device/scsi_device.h"
#include "engine/device/sense.h"
#include "engine/device/sleeper.h"
#include "engine/device/transport.h"
#include "engine/device/write_params.h"
#include "engine/device_disc_source.h"

namespace {

class FuzzLayer final : public device::TAspiLayer {
 public:
  std::span<const std::uint8_t> Input;

  std::uint32_t SendASPI32Command(device::TSRB* srb) override {
    if (srb == nullptr) return device::kSsErr;
    if (auto* ha = std::get_if<device::SRB_HAInquiry>(srb)) {
      ha->HA_Count = 1;
      ha->SRB_Status = ha->SRB_HaId < 1 ? device::kSsComp : device::kSsInvalidHa;
      return ha->SRB_Status;
    }
    auto* exec = std::get_if<device::SRB_ExecSCSICmd>(srb);
    if (exec == nullptr) return device::kSsErr;
    Answer(*exec);
    if (exec->SRB_PostProc != nullptr) exec->SRB_PostProc->Set();
    return exec->SRB_Status;
  }
  std::uint32_t GetASPI32SupportInfo() override { return (1u << 8) | 1u; }

 private:
  std::uint8_t Take() {
    if (Input.empty()) return 0;
    const std::uint8_t b = Input.front();
    Input = Input.subspan(1);
    return b;
  }
  std::span<const std::uint8_t> TakeBytes(std::size_t n) {
    n = std::min(n, Input.size());
    const auto bytes = Input.first(n);
    Input = Input.subspan(n);
    return bytes;
  }

  void Answer(device::SRB_ExecSCSICmd& srb) {
    if (Input.empty()) {  // the drive has gone away
      srb.SRB_Status = device::kSsNoDevice;
      return;
    }
    const std::uint8_t control = Take();
    const std::size_t length = static_cast<std::size_t>(Take()) << 8 | Take();
    const auto bytes = TakeBytes(length);
    switch (control & 3) {
      case 0:
      case 1:
        srb.SRB_Status = device::kSsComp;
        srb.SRB_TargStat = 0;
        if ((srb.SRB_Flags & device::kSrbDirIn) != 0 && srb.SRB_BufPointer != nullptr)
          std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), srb.SRB_BufLen), srb.SRB_BufPointer);
        break;
      case 2:
        srb.SRB_Status = device::kSsErr;
        srb.SRB_TargStat = device::kTargStatCheckCondition;
        std::copy_n(bytes.begin(), std::min(bytes.size(), srb.SenseArea.size()), srb.SenseArea.begin());
        break;
      default:
        srb.SRB_Status = device::kSsErr;
        srb.SRB_HaStat = control >> 2;
        srb.SRB_TargStat = static_cast<std::uint8_t>(control >> 4);
        break;
    }
  }
};

// Pauses and waits return at once: a fuzz input never waits real time.
class NoSleeper final : public device::TSleeper {
 public:
  void Sleep(std::uint32_t) override {}
  bool WaitForEvent(device::TSRBEvent& event, std::uint32_t) override { return event.WaitFor(0); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  // The pure decoders take the input as it is.
  device::DecodeSense(input);
  device::FormatCapacityBlocks(input);
  device::IsAtipAnswer(input);
  device::LocateWritePage(input);

  static NoSleeper sleeper;
  auto layer = std::make_shared<FuzzLayer>();
  layer->Input = input;
  device::InstallTransport(layer, "FUZZ");
  {
    device::TSCSIDevice drive;
    drive.SetSleeper(sleeper);
    drive.SelectDevice("0:0:0,?: FUZZ");
    drive.RefreshCapabilities();
    drive.MaxWriteSpeed();
    drive.BufferSizeKB();
    drive.SetCurrentMediaType(drive.DetectMediaType());
    device::TDisc disc;
    drive.GetDiscInfo(disc);
    drive.SessionCount();
    drive.DiscState();
    drive.IsRewritable();
    drive.DiscUsedBlocks();
    drive.DiscFreeBlocks();
    drive.DiscTotalBlocks();
    drive.VolumeSpaceSize();
    drive.ReadBufferCapacity();
    engine::DeviceDiscSource source(drive);
    if (source.Ready()) {
      const std::uint8_t last = source.LastSession();
      if (const auto range = source.TrackRange()) {
        for (unsigned t = range->first; t <= range->second && t < range->first + 4u; ++t) {
          source.TrackInfo(static_cast<std::uint8_t>(t));
          source.TocAddress(static_cast<std::uint8_t>(t));
        }
      }
      source.NextWritableAddress();
      source.SectorCount();
      std::vector<std::uint8_t> sector(2048);
      source.ReadSectors(16, 1, sector);
      (void)last;
    }
  }
  device::FinalizeTransport();
  return 0;
}
