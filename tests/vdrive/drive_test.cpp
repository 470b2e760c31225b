// Faults, the tray, the buffer and the command log.
#include <fstream>
#include <sstream>

#include "vdrive/recorder_fixture.h"

namespace vdrivetest {
namespace {

using vdrive::TMedia;

const std::vector<std::uint8_t> kTestUnitReady = {0, 0, 0, 0, 0, 0};

TEST_F(RecorderTest, BusyAndNotReadyLastTheirCountAndInquiryStillAnswers) {
  Make(TMedia::CdR);
  vdrive::TFaults f;
  f.BusyCommands = 2;
  f.NotReadyCommands = 1;
  Recorder->SetFaults(f);
  EXPECT_TRUE(Run({0x12, 0, 0, 0, 36, 0}, 36).Good());
  EXPECT_EQ(Run(kTestUnitReady).SenseText(), "BUSY");
  EXPECT_EQ(Run(cdb::DiscInfo(), 34).SenseText(), "BUSY");
  EXPECT_EQ(Run(kTestUnitReady).SenseText(), "2/04/01");
  EXPECT_TRUE(Run(kTestUnitReady).Good());
  EXPECT_EQ(Recorder->Faults(), vdrive::TFaults{});
}

TEST_F(RecorderTest, ANeverReadyDriveSaysSoToEveryCommandAndToRequestSense) {
  Make(TMedia::CdR);
  vdrive::TFaults f;
  f.NeverReady = true;
  Recorder->SetFaults(f);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Run(kTestUnitReady).SenseText(), "2/04/01");
  const auto sense = Run({0x03, 0, 0, 0, 18, 0}, 18);
  EXPECT_EQ(sense.Data[12], 0x04);
  EXPECT_EQ(sense.Data[13], 0x01);
}

TEST_F(RecorderTest, RefusedCommandsOnceOrAlways) {
  Make(TMedia::CdR);
  vdrive::TFaults f;
  f.RefuseOpcode = 0x51;
  Recorder->SetFaults(f);
  EXPECT_EQ(Run(cdb::DiscInfo(), 34).SenseText(), "5/20/00");
  EXPECT_TRUE(Run(cdb::DiscInfo(), 34).Good());
  f.RefuseAlways = true;
  Recorder->SetFaults(f);
  EXPECT_EQ(Run(cdb::DiscInfo(), 34).SenseText(), "5/20/00");
  EXPECT_EQ(Run(cdb::DiscInfo(), 34).SenseText(), "5/20/00");
  EXPECT_TRUE(Run(kTestUnitReady).Good());
}

TEST_F(RecorderTest, MediumErrorsAtAnLbaAndNothingRecordedByTheFailedWrite) {
  Make(TMedia::DvdPlusR, 10000);
  vdrive::TFaults f;
  f.WriteErrorLba = 40;
  f.ReadErrorLba = 5;
  Recorder->SetFaults(f);
  ASSERT_TRUE(WriteBlocks(0, 32).Good());
  EXPECT_EQ(WriteBlocks(32, 32).SenseText(), "3/0C/00");
  EXPECT_EQ(Disc().Tracks.at(0).Written, 32u);
  EXPECT_EQ(Run(cdb::Read10(4, 2), 4096).SenseText(), "3/11/00");
  EXPECT_TRUE(Run(cdb::Read10(6, 2), 4096).Good());
}

TEST_F(RecorderTest, FaultsStayWithTheDiscFile) {
  Make(TMedia::CdR);
  vdrive::TFaults f;
  f.BusyCommands = 7;
  f.RefuseOpcode = 0x5B;
  f.RefuseAlways = true;
  f.ThrottleKBps = 1000;
  Recorder->SetFaults(f);
  Reopen();
  EXPECT_EQ(Recorder->Faults(), f);
  EXPECT_NE(vdrive::DescribeFaults(f).find("refuses command 5Bh always"), std::string::npos);
}

TEST_F(RecorderTest, TrayAndUnitAttention) {
  Make(TMedia::DvdR);
  ASSERT_TRUE(Run({0x1E, 0, 0, 0, 1, 0}).Good());
  EXPECT_EQ(Run({0x1B, 0, 0, 0, 2, 0}).SenseText(), "5/53/02");
  ASSERT_TRUE(Run({0x1E, 0, 0, 0, 0, 0}).Good());
  ASSERT_TRUE(Run({0x1B, 0, 0, 0, 2, 0}).Good());
  EXPECT_EQ(Run(kTestUnitReady).SenseText(), "2/3A/02");
  EXPECT_EQ(Run(cdb::DiscInfo(), 34).SenseText(), "2/3A/02");
  EXPECT_EQ(Be(Run(cdb::GetConfiguration(0, 0), 64).Data, 6, 2), 0u);  // no current profile
  ASSERT_TRUE(Run({0x1B, 0, 0, 0, 3, 0}).Good());
  EXPECT_EQ(Run(kTestUnitReady).SenseText(), "6/28/00");
  EXPECT_TRUE(Run(kTestUnitReady).Good());
}

TEST_F(RecorderTest, AMissingOrDamagedDiscIsNoMediumNotACrash) {
  Path = Dir.Str() + "/absent.zvd";
  Reopen();
  EXPECT_TRUE(Run({0x12, 0, 0, 0, 36, 0}, 36).Good());
  EXPECT_EQ(Run(kTestUnitReady).SenseText(), "2/3A/00");
  EXPECT_FALSE(Recorder->LoadError().empty());
  Path = Dir.Write("junk.zvd", std::string(70000, 'x'));
  Reopen();
  EXPECT_EQ(Run(kTestUnitReady).SenseText(), "2/3A/00");
  EXPECT_NE(Recorder->LoadError().find("not a virtual disc file"), std::string::npos);
}

TEST_F(RecorderTest, ThrottledBufferFillsWaitsAndDrainsAtTheWriteSpeed) {
  Make(TMedia::DvdPlusR, 100000);
  vdrive::TFaults f;
  f.ThrottleKBps = 1000;  // 1,000 bytes per ms
  Recorder->SetFaults(f);
  const std::vector<std::uint8_t> capacity = {0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0};
  for (std::uint32_t lba = 0; lba < 32 * 32; lba += 32) ASSERT_TRUE(WriteBlocks(lba, 32).Good());
  EXPECT_EQ(Be(Run(capacity, 12).Data, 8, 4), 0u);  // 2 MiB written at once: full
  EXPECT_EQ(Clock.Slept, 0);
  Clock.Now += 100;
  EXPECT_EQ(Be(Run(capacity, 12).Data, 8, 4), 100000u);
  ASSERT_TRUE(WriteBlocks(1024, 32).Good());  // fits in what drained
  EXPECT_EQ(Clock.Slept, 0);
  ASSERT_TRUE(WriteBlocks(1056, 32).Good());  // 31,072 bytes too many: waits for them to drain
  EXPECT_GE(Clock.Slept, 31);
  EXPECT_LE(Clock.Slept, 33);
  Clock.Now += 5000;  // the host falls behind: the buffer runs dry
  ASSERT_TRUE(WriteBlocks(1088, 32).Good());
  ASSERT_TRUE(Run(cdb::Sync(true)).Good());
  const auto stats = Recorder->BufferStats();
  EXPECT_TRUE(stats.Filled);
  EXPECT_EQ(stats.EmptyAfterFull, 1u);
  EXPECT_EQ(stats.LowestAfterFull, 0u);
  EXPECT_EQ(Run(kTestUnitReady).SenseText(), "2/04/08");  // long write in progress
  Clock.Now += 2200;
  EXPECT_TRUE(Run(kTestUnitReady).Good());
}

TEST_F(RecorderTest, CommandLogInMemoryAndInAFile) {
  Make(TMedia::CdR);
  const std::string logPath = Dir.Str() + "/commands.log";
  Recorder->SetLogFile(logPath);
  Run(kTestUnitReady);
  Run(cdb::Close(2, 0, true));
  const auto log = Recorder->CommandLog();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].Opcode(), 0x00);
  EXPECT_EQ(log[0].Status, 0);
  EXPECT_EQ(log[1].Opcode(), 0x5B);
  EXPECT_EQ(log[1].Cdb.size(), 10u);
  EXPECT_EQ(log[1].Status, 2);
  EXPECT_EQ(log[1].Sense.Asc, 0x2C);  // nothing to close on a blank disc
  std::ifstream in(logPath);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_EQ(text.str(),
            "disc.zvd 00 00 00 00 00 00 : 00\n"
            "disc.zvd 5B 01 02 00 00 00 00 00 00 00 : 02 5/2C/00\n");
}

}  // namespace
}  // namespace vdrivetest
