// Building the Write Parameters page from the medium, the drive and the
// caller's choices, and the constant lists sent around recording.
#include "engine/device/write_params.h"

#include <algorithm>
#include <cstdio>

#include "engine/device/media_types.h"
#include "engine/device/scsi_device.h"
#include "platform/time_zone.h"

namespace device {
namespace {

void PutBe32(std::span<std::uint8_t> b, std::size_t at, std::uint32_t v) {
  b[at] = static_cast<std::uint8_t>(v >> 24);
  b[at + 1] = static_cast<std::uint8_t>(v >> 16);
  b[at + 2] = static_cast<std::uint8_t>(v >> 8);
  b[at + 3] = static_cast<std::uint8_t>(v);
}

void SetBit(std::uint8_t& b, std::uint8_t mask, bool on) {
  b = static_cast<std::uint8_t>(on ? (b | mask) : (b & ~mask));
}

constexpr std::uint8_t kBufe = 0x40, kLsV = 0x20, kTest = 0x10, kMultiSession = 0xC0;

}  // namespace

std::size_t LocateWritePage(std::span<const std::uint8_t> answer) {
  if (answer.size() > 16 && answer[16] == 0x05) return 16;
  if (answer.size() > 8 && answer[8] != 0x05 && answer[7] == 0x05) return 7;
  return 8;
}

std::array<std::uint8_t, kWritePageSent> BuildWriteParameters(std::span<const std::uint8_t, kWritePageRetained> page,
                                                              const TWritePageInput& in) {
  std::array<std::uint8_t, kWritePageRetained> p{};
  std::copy(page.begin(), page.end(), p.begin());
  const std::uint8_t m = in.Medium;
  const bool dvdr = m == kMediumDvdr, dvdrw = m == kMediumDvdrwRestricted || m == kMediumDvdrwSequential;
  const bool plusR = m == kMediumDvdpr, plusRw = m == kMediumDvdprw, plusRDl = m == kMediumDvdprDl;
  auto setLink = [&](std::uint8_t v) { p[5] = v; };
  auto setPacket = [&](std::uint32_t v) { PutBe32(p, 10, v); };

  p[1] = 0x32;
  if (dvdr) {
    p[2] = 0x60;
    p[3] = 0xE5;
    setLink(16);
    setPacket(16);
  } else {
    p[2] = 0x01;
    p[3] = 0x04;
    setLink(0);
    setPacket(0);
  }
  p[4] = 8;
  if (plusRw || plusR) {
    p[2] = 0x22;
    p[3] |= kMultiSession;
  }
  if (in.LinkSizeQuirk) p[2] |= kLsV;
  if (dvdr || dvdrw || plusR)
    p[3] |= 0xE0;
  else
    SetBit(p[3], kMultiSession, !in.TestWrite && !in.FinalizeDisc);
  SetBit(p[2], kBufe, in.UnderrunProtection && (in.Capabilities & kCapUnderrunProtection) != 0);
  SetBit(p[2], kTest, in.TestWrite && (in.Capabilities & kCapWriteTest) != 0);
  std::fill(p.begin() + 6, p.begin() + 10, std::uint8_t{0});
  if (plusR) setPacket(16);
  if (dvdrw) {
    p[2] = 0x20;
    p[3] = 0xC5;
    setLink(16);
  }
  if (plusR) p[3] = 0xC4;
  if (plusRDl) {
    p[2] = static_cast<std::uint8_t>((p[2] & 0xF0) | 0x22);
    p[3] = static_cast<std::uint8_t>(((p[3] & 0xF0) | 0x04) & ~0x20);
    setLink(0);
    setPacket(0);
    SetBit(p[3], kMultiSession, in.Last);
  } else if (in.UnderrunProtection && in.PageBuf) {
    p[2] |= kBufe;
  }
  if (plusRw) {
    p[3] = 0x04;
    setLink(16);
  }
  p[14] = 0;
  p[15] = 150;

  std::array<std::uint8_t, kWritePageSent> out{};
  std::copy_n(p.begin(), kWritePageSent - 8, out.begin() + 8);
  return out;
}

std::uint32_t StreamingRate(std::uint16_t kbps) {
  return static_cast<std::uint32_t>(static_cast<double>(kbps) / 1385.0 * 1440.25);
}

std::array<std::uint8_t, 28> GenericStreamingDescriptor(std::uint32_t startLba, std::uint32_t imageBlocks,
                                                        std::uint16_t readKBps, std::uint16_t writeKBps) {
  std::array<std::uint8_t, 28> d{};
  PutBe32(d, 8, startLba + imageBlocks);
  PutBe32(d, 12, StreamingRate(readKBps));
  PutBe32(d, 16, 1000);
  PutBe32(d, 20, StreamingRate(writeKBps));
  PutBe32(d, 24, 1000);
  return d;
}

std::array<std::uint8_t, 28> FixedDvdrStreamingDescriptor() {
  std::array<std::uint8_t, 28> d{};
  PutBe32(d, 8, 2298495);
  PutBe32(d, 12, 43965);
  PutBe32(d, 16, 1000);
  PutBe32(d, 20, 1418);
  PutBe32(d, 24, 1000);
  return d;
}

std::array<std::uint8_t, 22> DvdrTimestamp(const std::string& digits14) {
  std::array<std::uint8_t, 22> t{};
  t[1] = 0x14;
  for (std::size_t i = 0; i < 14 && i < digits14.size(); ++i) t[8 + i] = static_cast<std::uint8_t>(digits14[i]);
  return t;
}

std::string TimestampDigitsNow() {
  const platform::CivilTime now = platform::NowLocal();
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d%02d%02d%02d", now.Year % 10000, now.Month, now.Day, now.Hour,
                now.Minute, now.Second);
  return std::string(text, 14);
}

bool TSCSIDevice::SetWriteParameters(bool testWrite, bool underrunProtection, std::uint8_t medium, bool last) {
  if (medium == kMediumDvdRam) return true;
  std::array<std::uint8_t, 512> answer{};
  if (!ModeSense10(0x05, TModeValues::Current, answer)) return false;
  const std::size_t at = LocateWritePage(answer);
  TWritePageInput in;
  in.Medium = medium;
  in.TestWrite = testWrite;
  in.UnderrunProtection = underrunProtection;
  in.FinalizeDisc = FFinalizeDisc;
  in.Last = last;
  in.Capabilities = FCapabilities;
  in.PageBuf = (FCapsPage[4] & 0x80) != 0;
  in.LinkSizeQuirk = FQuirks.LinkSize;
  auto list = BuildWriteParameters(std::span<const std::uint8_t, kWritePageRetained>(answer.data() + at,
                                                                                     kWritePageRetained),
                                   in);
  return ModeSelect10(list);
}

}  // namespace device
