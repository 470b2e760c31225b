// Writes an image as one session onto a virtual disc through the engine's
// command wrappers and the built-in layer, or reads it back and compares:
//
//   zantic_vdrive_burn burn DISC IMAGE     prints "nwa N blocks M profile P"
//   zantic_vdrive_burn verify DISC IMAGE LBA
//
// The interop check runs each step in its own process, so the disc file is
// what carries the session from one to the next.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/device/scsi_device.h"
#include "engine/device/transport.h"
#include "platform/process.h"
#include "vdrive/registration.h"

namespace {

int Fail(const std::string& what, const device::TSCSIDevice& dev) {
  std::fprintf(stderr, "%s: %s\n", what.c_str(), dev.LastErrorText().c_str());
  return 1;
}

// The write parameters a burner sends for the medium: TAO on CD,
// incremental on DVD-R/-RW, session at once on DVD+; next session allowed.
std::vector<std::uint8_t> WriteParameters(device::TSCSIDevice& dev, std::uint16_t profile) {
  std::vector<std::uint8_t> sensed(512, 0);
  dev.ModeSense10(0x05, device::TModeValues::Current, sensed);
  std::vector<std::uint8_t> list(8 + 52, 0);
  std::copy_n(sensed.begin() + 8, 52, list.begin() + 8);
  std::uint8_t& b2 = list[8 + 2];
  std::uint8_t& b3 = list[8 + 3];
  if (profile == 0x09 || profile == 0x0A) {
    b2 = 0x01;
    b3 = 0xC4;
  } else if (profile == 0x11 || profile == 0x14) {
    b2 = 0x20;
    b3 = 0xC5;
    list[8 + 5] = 16;
  } else {
    b2 = 0x22;
    b3 = 0x04;
  }
  list[8 + 4] = 0x08;
  return list;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: zantic_vdrive_burn burn|verify DISC IMAGE [LBA]\n", stderr);
    return 2;
  }
  const std::string mode = argv[1];
  platform::SetEnvironment("ZANTIC_VDISC", argv[2]);
  std::ifstream in(argv[3], std::ios::binary);
  std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  image.resize((image.size() + 2047) / 2048 * 2048, 0);
  const auto blocks = static_cast<std::uint32_t>(image.size() / 2048);

  vdrive::RegisterVirtualRecorders();
  device::TSCSIDevice dev;
  if (!dev.InitASPI(true, "")) return Fail("no transport", dev);
  std::string line;
  for (const auto& l : dev.DeviceList())
    if (l.find("ZANTIC  VIRTUAL RECORDER") != std::string::npos) line = l;
  if (line.empty()) return Fail("no virtual recorder listed", dev);
  dev.SelectDevice(line);
  if (!dev.TestUnitReady(5000)) return Fail("TEST UNIT READY", dev);
  if (!dev.GetConfiguration(0)) return Fail("GET CONFIGURATION", dev);
  const std::uint16_t profile = dev.Configuration().CurrentProfile;

  if (mode == "verify") {
    const auto lba = static_cast<std::uint32_t>(std::strtoul(argc > 4 ? argv[4] : "0", nullptr, 10));
    std::vector<std::uint8_t> data;
    for (std::uint32_t done = 0; done < blocks; done += 32) {
      const auto n = static_cast<std::uint16_t>(std::min<std::uint32_t>(32, blocks - done));
      if (!dev.Read10(lba + done, n, data)) return Fail("READ (10)", dev);
      if (!std::equal(data.begin(), data.begin() + n * 2048, image.begin() + static_cast<std::ptrdiff_t>(done) * 2048)) {
        std::fprintf(stderr, "block %u differs\n", lba + done);
        return 1;
      }
    }
    std::printf("verified %u blocks at %u\n", blocks, lba);
    return 0;
  }

  std::vector<std::uint8_t> page = WriteParameters(dev, profile);
  if (!dev.ModeSelect10(page)) return Fail("MODE SELECT", dev);
  if (!dev.ReadDiscInformation()) return Fail("READ DISC INFORMATION", dev);
  if (!dev.ReadTrackInformation(dev.LastDiscInfo().LastTrackInLastSession)) return Fail("READ TRACK INFORMATION", dev);
  const std::uint32_t nwa = dev.LastTrackInfo().NextWritableAddress;
  for (std::uint32_t done = 0; done < blocks; done += 32) {
    const auto n = static_cast<std::uint16_t>(std::min<std::uint32_t>(32, blocks - done));
    std::span<std::uint8_t> chunk(image.data() + std::size_t{done} * 2048, std::size_t{n} * 2048);
    if (!dev.Write10(nwa + done, n, chunk)) return Fail("WRITE (10)", dev);
  }
  if (!dev.SynchronizeCache(device::TImmediate::No, 120000)) return Fail("SYNCHRONIZE CACHE", dev);
  // Close the session (function 2); the track number field is not used for it.
  if (!dev.CloseTrackSession(device::TImmediate::No, 2, 0, 0, 0)) return Fail("CLOSE TRACK/SESSION", dev);
  std::printf("nwa %u blocks %u profile %u\n", nwa, blocks, profile);
  device::FinalizeTransport();
  return 0;
}
