// The disc file on Linux: blank areas left sparse, a disc written in one
// process and read in another, and a process that dies in the middle of a
// write (a forked death test: the child must share the parent's disc).
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "vdrive/recorder_fixture.h"

namespace vdrivetest {
namespace {

using vdrive::TMedia;

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

TEST_F(RecorderTest, ACrashInTheMiddleOfAWriteLeavesOnlyWhatWasWritten) {
  Make(TMedia::CdR);
  ASSERT_TRUE(WriteBlocks(0, 27, 0x01).Good());
  vdrive::TFaults f;
  f.CrashAfterSectors = 30;  // 27 more go through, then 3 of the next write
  Recorder->SetFaults(f);
  EXPECT_EXIT(
      {
        WriteBlocks(27, 27, 0x02);
        WriteBlocks(54, 27, 0x03);
        std::_Exit(0);
      },
      ::testing::ExitedWithCode(vdrive::kCrashExitCode), "");
  Reopen();
  const vdrive::TDisc d = Disc();
  ASSERT_EQ(d.Tracks.size(), 1u);
  EXPECT_EQ(d.Tracks[0].Written, 54u);
  EXPECT_EQ(Recorder->Faults().CrashAfterSectors, vdrive::kNoCrash);  // the next process lives
  EXPECT_EQ(Run(cdb::Read10(53, 1), 2048).Data[0], 0x02);
  EXPECT_EQ(Run(cdb::Read10(54, 1), 2048).SenseText(), "5/21/00");
  EXPECT_TRUE(WriteBlocks(54, 27, 0x04).Good());  // the disc goes on from its last state
}

}  // namespace
}  // namespace vdrivetest
