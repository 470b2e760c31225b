// The disc file: state slots with sequence numbers and CRCs, validation of
// untrusted files, sparse sectors, and a disc written in one process and
// read in another.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

class DiscFile : public ::testing::Test {
 protected:
  testsupport::TempDir Dir;
  std::string Path = Dir.Str() + "/d.zvd";
};

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

TEST_F(DiscFile, BlankAreasCostNoDiskSpace) {
  auto file = vdrive::TDiscFile::Create(Path, vdrive::BlankDisc(TMedia::DvdPlusRDl, 0));
  ASSERT_TRUE(file.Ok());
  std::vector<std::uint8_t> sector(2048, 0x42);
  ASSERT_TRUE(file.Value()->WriteSectors(4000000, 1, sector).Ok());
  struct stat st {};
  ASSERT_EQ(::stat(Path.c_str(), &st), 0);
  EXPECT_GT(st.st_size, 4000000ll * 2048);
  EXPECT_LT(st.st_blocks * 512, 4 << 20);
  std::vector<std::uint8_t> back(4096, 0xFF);
  ASSERT_TRUE(file.Value()->ReadSectors(3999999, 2, back).Ok());
  EXPECT_EQ(back[0], 0);
  EXPECT_EQ(back[2048], 0x42);
}

TEST_F(RecorderTest, ASessionWrittenInOneProcessReadsBackInAnother) {
  Make(TMedia::CdR);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    vdrive::TVirtualRecorder writer(Path);
    writer.SetLogFile("");
    std::vector<std::uint8_t> data(27 * 2048);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i / 2048 + 1);
    std::vector<std::uint8_t> sense(32);
    const auto w = writer.Execute(cdb::Write10(0, 27), platform::ScsiDirection::Out, data, sense);
    const auto c = writer.Execute(cdb::Close(2), platform::ScsiDirection::None, {}, sense);
    std::_Exit(w.ScsiStatus == 0 && c.ScsiStatus == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  ASSERT_TRUE(Recorder->Open());  // picks up what the other process did
  const auto info = Run(cdb::DiscInfo(), 34);
  EXPECT_EQ(info.Data[2] & 0x03, 2);  // closed: the default page allows no next session
  const auto read = Run(cdb::Read10(0, 27), 27 * 2048);
  ASSERT_TRUE(read.Good());
  EXPECT_EQ(read.Data[0], 1);
  EXPECT_EQ(read.Data[26 * 2048], 27);
  Recorder->Close();
}

}  // namespace
}  // namespace vdrivetest
