// MODE SENSE (10) and MODE SELECT (10): the Write Parameters page (05h) and
// the CD/DVD Capabilities and Mechanical Status page (2Ah).
#include <algorithm>

#include "vdrive/drive.h"
#include "vdrive/records.h"

namespace vdrive {

namespace {

constexpr std::uint8_t kWritePage = 0x05;
constexpr std::uint8_t kCapabilitiesPage = 0x2A;
constexpr std::uint8_t kWritePageLength = 0x32;
constexpr TSense kSavingNotSupported{0x05, 0x39, 0x00};

enum : std::uint8_t { kPcCurrent = 0, kPcChangeable = 1, kPcDefault = 2, kPcSaved = 3 };

void PutBe16(std::vector<std::uint8_t>& v, std::size_t offset, std::uint32_t value) { PutField(v, offset, 2, value); }

// MMC-5 7.5: the page a drive starts with for the medium.
std::array<std::uint8_t, 52> DefaultWritePage(std::optional<TMedia> media) {
  std::array<std::uint8_t, 52> p{};
  p[0] = kWritePage;
  p[1] = kWritePageLength;
  p[4] = 0x08;  // data block type: mode 1, 2048 bytes
  if (!media || IsCd(*media)) {
    p[2] = 0x01;  // track at once
    p[3] = 0x04;  // data track, uninterrupted
    p[14] = 0x00;
    p[15] = 150;  // audio pause length
  } else if (*media == TMedia::DvdR || *media == TMedia::DvdRw) {
    p[2] = 0x20;  // LS_V, incremental
    p[3] = 0x05;  // data track, incremental
    p[5] = 16;    // link size
  } else {
    p[3] = 0x05;
  }
  return p;
}

// Write types a drive takes for the medium (MMC-5 7.5.4.3): CD packet, TAO,
// SAO, raw; DVD incremental or disc-at-once.
bool WriteTypeValid(std::optional<TMedia> media, std::uint8_t type) {
  if (!media || IsRom(*media)) return type <= 4;
  if (IsCd(*media)) return type <= 3;
  return type == 0 || type == 2;
}

}  // namespace

void TVirtualRecorder::ResetWriteParameters() {
  FWriteParams = DefaultWritePage(FFile ? std::optional<TMedia>(FFile->State().Disc.Media) : std::nullopt);
}

bool TVirtualRecorder::TestWriteOn() const {
  return FFile && (FWriteParams[2] & 0x10) != 0 && SupportsTestWrite(FFile->State().Disc.Media);
}

bool TVirtualRecorder::NextSessionAllowed() const { return (FWriteParams[3] >> 6) != 0; }

std::vector<std::uint8_t> TVirtualRecorder::WriteParametersPage(std::uint8_t control) const {
  std::array<std::uint8_t, 52> p{};
  if (control == kPcCurrent) {
    p = FWriteParams;
  } else if (control == kPcDefault) {
    p = DefaultWritePage(FFile ? std::optional<TMedia>(FFile->State().Disc.Media) : std::nullopt);
  } else {
    p[0] = kWritePage;
    p[1] = kWritePageLength;
    p[2] = 0x7F;  // BUFE, LS_V, test write, write type
    p[3] = 0xFF;  // multi-session, FP, copy, track mode
    p[4] = 0x0F;  // data block type
    p[5] = 0xFF;  // link size
    p[7] = 0x3F;  // host application code
    p[8] = 0xFF;  // session format
    std::fill(p.begin() + 10, p.begin() + 16, std::uint8_t{0xFF});  // packet size, audio pause length
  }
  p[0] &= 0x3F;  // PS: the page is not saveable
  return {p.begin(), p.end()};
}

// MMC-3 5.5.10 (kept by MMC-5 drives): capabilities, speeds and the write
// speed descriptors, fastest first.
std::vector<std::uint8_t> TVirtualRecorder::CapabilitiesPage(std::uint8_t control) const {
  const auto speeds = WriteSpeeds();
  std::vector<std::uint8_t> p(32 + 4 * speeds.size(), 0);
  p[0] = kCapabilitiesPage;
  p[1] = static_cast<std::uint8_t>(p.size() - 2);
  if (control == kPcChangeable) return p;  // nothing in this page can be changed
  const bool current = control == kPcCurrent;
  p[2] = 0x3F;  // reads CD-R, CD-RW, method 2, DVD-ROM, DVD-R, DVD-RAM
  p[3] = 0x37;  // writes CD-R, CD-RW, test write, DVD-R, DVD-RAM
  p[4] = 0xD0;  // BUF (under-run free recording), multi-session, mode 2 form 1
  p[6] = 0x29 | (FPrevent ? 0x02 : 0x00);  // tray, eject, lock; lock state
  PutBe16(p, 8, MaxReadSpeed());
  PutBe16(p, 12, kBufferSize / 1024);
  PutBe16(p, 14, current ? FReadSpeed : MaxReadSpeed());
  PutBe16(p, 18, speeds.front());
  PutBe16(p, 20, current ? FWriteSpeed : speeds.front());
  PutBe16(p, 28, current ? FWriteSpeed : speeds.front());
  PutBe16(p, 30, static_cast<std::uint32_t>(speeds.size()));
  for (std::size_t i = 0; i < speeds.size(); ++i) PutBe16(p, 32 + 4 * i + 2, speeds[i]);
  return p;
}

TCheck TVirtualRecorder::ModeSense(TCommand& c) {
  const std::uint8_t control = CdbByte(c.Cdb, 2) >> 6;
  const std::uint8_t page = CdbByte(c.Cdb, 2) & 0x3F;
  if (control == kPcSaved) return kSavingNotSupported;
  std::vector<std::uint8_t> body;
  if (page == kWritePage || page == 0x3F) body = WriteParametersPage(control);
  if (page == kCapabilitiesPage || page == 0x3F) {
    const auto caps = CapabilitiesPage(control);
    body.insert(body.end(), caps.begin(), caps.end());
  }
  if (body.empty()) return sense::InvalidFieldInCdb;
  TModeHeader10 h;
  h.DataLength.Set(static_cast<std::uint16_t>(sizeof(TModeHeader10) - 2 + body.size()));
  std::vector<std::uint8_t> reply;
  Append(reply, h);
  reply.insert(reply.end(), body.begin(), body.end());
  Respond(c, reply, CdbField(c.Cdb, 7, 2));
  return std::nullopt;
}

// SPC-3 6.10 with MMC-5 7.5: only page 05h may be selected, and its write
// type, test write, multi-session and data block type must suit the medium.
TCheck TVirtualRecorder::ModeSelect(TCommand& c) {
  const std::uint32_t length = CdbField(c.Cdb, 7, 2);
  if (length > c.Data.size() || c.Direction != platform::ScsiDirection::Out) return sense::InvalidFieldInCdb;
  if (length == 0) return std::nullopt;
  const std::span<const std::uint8_t> list = c.Data.first(length);
  if (length < sizeof(TModeHeader10)) return sense::InvalidFieldInList;
  std::size_t at = sizeof(TModeHeader10) + CdbField(list, 6, 2);
  const std::optional<TMedia> media = FFile ? std::optional<TMedia>(FFile->State().Disc.Media) : std::nullopt;
  std::optional<std::array<std::uint8_t, 52>> accepted;
  while (at + 2 <= length) {
    const std::uint8_t code = list[at] & 0x3F;
    const std::size_t pageLength = list[at + 1];
    if (at + 2 + pageLength > length) return sense::InvalidFieldInList;
    if (code != kWritePage || (pageLength != kWritePageLength && pageLength != 0x36)) return sense::InvalidFieldInList;
    // MMC-6: the write parameters page does not apply to Blu-ray; BD drives refuse it.
    if (media && IsBd(*media)) return sense::InvalidFieldInList;
    const auto p = list.subspan(at, 2 + pageLength);
    const std::uint8_t writeType = p[2] & 0x0F;
    const bool testWrite = (p[2] & 0x10) != 0;
    const std::uint8_t multiSession = p[3] >> 6;
    const std::uint8_t blockType = p[4] & 0x0F;
    if (!WriteTypeValid(media, writeType)) return sense::InvalidFieldInList;
    if (testWrite && media && !SupportsTestWrite(*media)) return sense::InvalidFieldInList;
    if (multiSession == 2) return sense::InvalidFieldInList;  // reserved value
    if (media && !IsRom(*media)) {
      const bool cdBlock = blockType == 8 || blockType == 10;  // mode 1, mode 2 form 1
      if (IsCd(*media) ? !cdBlock : blockType != 8) return sense::InvalidFieldInList;
    }
    std::array<std::uint8_t, 52> page{};
    std::copy_n(p.begin(), page.size(), page.begin());
    page[0] = kWritePage;
    page[1] = kWritePageLength;
    accepted = page;
    at += 2 + pageLength;
  }
  if (accepted) {
    FWriteParams = *accepted;
    if (!TestWriteOn()) FTestDisc.reset();
  }
  return std::nullopt;
}

}  // namespace vdrive
