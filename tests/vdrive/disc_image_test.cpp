// The disc file: state slots with sequence numbers and CRCs, and
// validation of untrusted files. Sparse sectors and a disc shared between
// processes are in disc_image_linux_test.cpp.
#include <fstream>
#include <random>

#include "vdrive/recorder_fixture.h"

namespace vdrivetest {
namespace {

using vdrive::TMedia;

vdrive::TStoredState SampleState() {
  vdrive::TStoredState s;
  s.Disc = vdrive::BlankDisc(TMedia::CdR, 0);
  s.Disc.Tracks = {{0, 0, 300, 1, true}, {11700, 0, 50, 2, false}};
  s.Disc.ClosedSessions = 1;
  s.Disc.HighWater = 11750;
  s.Faults.WriteErrorLba = 12;
  s.Faults.RefuseOpcode = 0xA1;
  return s;
}

void Poke(const std::string& path, std::uint64_t offset, std::uint8_t value) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(offset));
  f.put(static_cast<char>(value));
}

TEST(DiscState, RoundTripsAndRejectsDamage) {
  const auto s = SampleState();
  const auto bytes = vdrive::EncodeState(s);
  auto back = vdrive::DecodeState(bytes);
  ASSERT_TRUE(back.Ok()) << back.Err().Message;
  EXPECT_EQ(back.Value(), s);

  auto truncated = bytes;
  truncated.pop_back();
  EXPECT_FALSE(vdrive::DecodeState(truncated).Ok());
  auto incoherent = s;
  incoherent.Disc.Tracks[1].Start = 100;  // overlaps track 1
  EXPECT_NE(vdrive::DecodeState(vdrive::EncodeState(incoherent)).Err().Message.find("overlap"), std::string::npos);
  auto badMedium = bytes;
  badMedium[1] = 77;
  EXPECT_FALSE(vdrive::DecodeState(badMedium).Ok());

  // Random damage never crashes the reader.
  std::mt19937 random(5);
  for (int i = 0; i < 2000; ++i) {
    auto noisy = bytes;
    noisy[random() % noisy.size()] = static_cast<std::uint8_t>(random());
    if (i % 3 == 0) noisy.resize(random() % noisy.size());
    (void)vdrive::DecodeState(noisy);
  }
}

TEST(DiscState, Crc32OfTheCheckString) {
  const std::string check = "123456789";
  EXPECT_EQ(vdrive::Crc32({reinterpret_cast<const std::uint8_t*>(check.data()), check.size()}), 0xCBF43926u);
}

TEST_F(DiscFile, ATornNewestSlotFallsBackToThePreviousState) {
  auto file = vdrive::TDiscFile::Create(Path, vdrive::BlankDisc(TMedia::DvdPlusR, 0));
  ASSERT_TRUE(file.Ok());
  auto s = SampleState();
  s.Disc = vdrive::BlankDisc(TMedia::DvdPlusR, 0);
  s.Disc.Tracks = {{0, 0, 16, 1, false}};
  s.Disc.HighWater = 16;
  ASSERT_TRUE(file.Value()->Save(s).Ok());
  const vdrive::TStoredState older = s;
  s.Disc.Tracks[0].Written = 32;
  s.Disc.HighWater = 32;
  ASSERT_TRUE(file.Value()->Save(s).Ok());
  const std::uint64_t newest = file.Value()->Sequence();
  file.Value().reset();
  // The newest slot loses a payload byte, as a write cut short would leave it.
  Poke(Path, vdrive::kHeaderSize + (newest % 2) * vdrive::kSlotSize + 30, 0xEE);
  auto reopened = vdrive::TDiscFile::Open(Path);
  ASSERT_TRUE(reopened.Ok()) << reopened.Err().Message;
  EXPECT_EQ(reopened.Value()->State(), older);
  EXPECT_EQ(reopened.Value()->Sequence(), newest - 1);
  // Both slots gone: a clear error.
  Poke(Path, vdrive::kHeaderSize + ((newest - 1) % 2) * vdrive::kSlotSize + 30, 0xEE);
  auto broken = vdrive::TDiscFile::Open(Path);
  ASSERT_FALSE(broken.Ok());
  EXPECT_NE(broken.Err().Message.find("no valid state slot"), std::string::npos);
}

TEST_F(DiscFile, ForeignOrNewerFilesAreRefusedWithAReason) {
  ASSERT_TRUE(vdrive::TDiscFile::Create(Path, vdrive::BlankDisc(TMedia::CdR, 0)).Ok());
  EXPECT_FALSE(vdrive::TDiscFile::Create(Path, vdrive::BlankDisc(TMedia::CdR, 0)).Ok());  // never overwrites
  Poke(Path, 8, 9);  // format version
  EXPECT_NE(vdrive::TDiscFile::Open(Path).Err().Message.find("unsupported"), std::string::npos);
  const std::string shortFile = Dir.Write("short.zvd", "ZANTICVD");
  EXPECT_NE(vdrive::TDiscFile::Open(shortFile).Err().Message.find("not a virtual disc file"), std::string::npos);
  EXPECT_FALSE(vdrive::TDiscFile::Open(Dir.Str() + "/none.zvd").Ok());
}

}  // namespace
}  // namespace vdrivetest
