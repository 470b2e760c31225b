#include "vdrive/recorder_fixture.h"

#include <cstdio>

namespace vdrivetest {

std::string TAnswer::SenseText() const {
  char text[16];
  std::snprintf(text, sizeof text, "%X/%02X/%02X", Key(), Asc(), Ascq());
  return Status == 0 ? "GOOD" : Status == 8 ? "BUSY" : text;
}

namespace cdb {
namespace {
std::vector<std::uint8_t> Ten(std::uint8_t op) { return {op, 0, 0, 0, 0, 0, 0, 0, 0, 0}; }
void Put(std::vector<std::uint8_t>& b, std::size_t at, std::size_t width, std::uint32_t v) {
  for (std::size_t i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * (width - 1 - i)));
}
}  // namespace
std::vector<std::uint8_t> Write10(std::uint32_t lba, std::uint16_t blocks) {
  auto b = Ten(0x2A);
  Put(b, 2, 4, lba);
  Put(b, 7, 2, blocks);
  return b;
}
std::vector<std::uint8_t> Read10(std::uint32_t lba, std::uint16_t blocks) {
  auto b = Ten(0x28);
  Put(b, 2, 4, lba);
  Put(b, 7, 2, blocks);
  return b;
}
std::vector<std::uint8_t> DiscInfo() {
  auto b = Ten(0x51);
  Put(b, 7, 2, 256);
  return b;
}
std::vector<std::uint8_t> TrackInfo(std::uint32_t number, std::uint8_t addressType) {
  auto b = Ten(0x52);
  b[1] = addressType;
  Put(b, 2, 4, number);
  Put(b, 7, 2, 256);
  return b;
}
std::vector<std::uint8_t> Toc(std::uint8_t format, std::uint8_t number, bool msf) {
  auto b = Ten(0x43);
  b[1] = msf ? 0x02 : 0;
  b[2] = format;
  b[6] = number;
  Put(b, 7, 2, 1024);
  return b;
}
std::vector<std::uint8_t> Close(std::uint8_t function, std::uint16_t track, bool immediate) {
  auto b = Ten(0x5B);
  b[1] = immediate ? 1 : 0;
  b[2] = function;
  Put(b, 4, 2, track);
  return b;
}
std::vector<std::uint8_t> Reserve(std::uint32_t blocks) {
  auto b = Ten(0x53);
  Put(b, 5, 4, blocks);
  return b;
}
std::vector<std::uint8_t> Blank(std::uint8_t type, bool immediate) {
  std::vector<std::uint8_t> b(12, 0);
  b[0] = 0xA1;
  b[1] = static_cast<std::uint8_t>(type | (immediate ? 0x10 : 0));
  return b;
}
std::vector<std::uint8_t> FormatUnit() { return {0x04, 0x11, 0, 0, 0, 0}; }
std::vector<std::uint8_t> ModeSense(std::uint8_t page, std::uint8_t control) {
  auto b = Ten(0x5A);
  b[2] = static_cast<std::uint8_t>((control << 6) | page);
  Put(b, 7, 2, 1024);
  return b;
}
std::vector<std::uint8_t> ModeSelect(std::uint16_t length) {
  auto b = Ten(0x55);
  b[1] = 0x10;
  Put(b, 7, 2, length);
  return b;
}
std::vector<std::uint8_t> GetConfiguration(std::uint8_t rt, std::uint16_t feature) {
  auto b = Ten(0x46);
  b[1] = rt;
  Put(b, 2, 2, feature);
  Put(b, 7, 2, 4096);
  return b;
}
std::vector<std::uint8_t> Sync(bool immediate) {
  auto b = Ten(0x35);
  b[1] = immediate ? 0x02 : 0;
  return b;
}
}  // namespace cdb

std::vector<std::uint8_t> WritePage(std::uint8_t byte2, std::uint8_t byte3, std::uint8_t blockType) {
  std::vector<std::uint8_t> p(8 + 52, 0);
  p[8] = 0x05;
  p[9] = 0x32;
  p[10] = byte2;
  p[11] = byte3;
  p[12] = blockType;
  return p;
}

std::vector<std::uint8_t> FormatList(std::uint32_t blocks, std::uint8_t type, std::uint32_t parameter, bool immediate) {
  std::vector<std::uint8_t> l = {0, static_cast<std::uint8_t>(0x80 | (immediate ? 0x02 : 0)), 0, 8,
                                 static_cast<std::uint8_t>(blocks >> 24), static_cast<std::uint8_t>(blocks >> 16),
                                 static_cast<std::uint8_t>(blocks >> 8), static_cast<std::uint8_t>(blocks),
                                 static_cast<std::uint8_t>(type << 2), static_cast<std::uint8_t>(parameter >> 16),
                                 static_cast<std::uint8_t>(parameter >> 8), static_cast<std::uint8_t>(parameter)};
  return l;
}

void RecorderTest::Make(vdrive::TMedia media, std::uint32_t blocks) {
  // Each disc of a test gets its own file; the first is disc.zvd.
  Path = Dir.Str() + "/disc" + (FDiscs == 0 ? std::string() : std::to_string(FDiscs)) + ".zvd";
  ++FDiscs;
  auto created = vdrive::TDiscFile::Create(Path, vdrive::BlankDisc(media, blocks));
  ASSERT_TRUE(created.Ok()) << created.Err().Message;
  Reopen();
}

void RecorderTest::Reopen() {
  Recorder.reset();
  Recorder = std::make_unique<vdrive::TVirtualRecorder>(Path, &Clock);
  Recorder->SetLogFile("");
  Recorder->SetTimings(vdrive::TTimings{});
}

TAnswer RecorderTest::Run(const std::vector<std::uint8_t>& cdb, std::size_t inLength) {
  TAnswer a;
  a.Data.assign(inLength, 0);
  a.Sense.assign(32, 0);
  const auto outcome = Recorder->Execute(cdb, inLength != 0 ? platform::ScsiDirection::In : platform::ScsiDirection::None,
                                         a.Data, a.Sense);
  EXPECT_TRUE(outcome.CallOk);
  a.Status = outcome.ScsiStatus;
  return a;
}

TAnswer RecorderTest::RunOut(const std::vector<std::uint8_t>& cdb, const std::vector<std::uint8_t>& data) {
  TAnswer a;
  a.Sense.assign(32, 0);
  std::vector<std::uint8_t> copy = data;
  const auto outcome = Recorder->Execute(cdb, platform::ScsiDirection::Out, copy, a.Sense);
  a.Status = outcome.ScsiStatus;
  return a;
}

TAnswer RecorderTest::WriteBlocks(std::uint32_t lba, std::uint16_t blocks, std::uint8_t fill) {
  return RunOut(cdb::Write10(lba, blocks), std::vector<std::uint8_t>(std::size_t{blocks} * 2048, fill));
}

}  // namespace vdrivetest
