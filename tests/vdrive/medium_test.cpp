// The state machine of each medium, driven by command blocks: blank ->
// appendable -> closed, multisession addresses, reserved tracks, overwrite
// in place, blanking and formatting with their NOT READY phases, test write.
#include "vdrive/recorder_fixture.h"

namespace vdrivetest {
namespace {

using vdrive::TMedia;

struct TSequentialCase {
  const char* Name;
  TMedia Media;
  std::uint8_t PageByte2;  // write type page: write type and flags
  std::uint8_t PageByte3;  // multi-session 11b, track mode
  std::uint32_t SecondSessionStart;  // after 32 blocks in session 1
  std::uint32_t ThirdSessionStart;   // after 32 more in session 2
  std::uint8_t FinalizeFunction;
};

class SequentialMedia : public RecorderTest, public ::testing::WithParamInterface<TSequentialCase> {};

std::uint8_t DiscStatus(const TAnswer& a) { return a.Data[2] & 0x03; }
std::uint8_t SessionState(const TAnswer& a) { return (a.Data[2] >> 2) & 0x03; }

TEST_P(SequentialMedia, BlankThenAppendableThenClosed) {
  const auto& p = GetParam();
  Make(p.Media, 100000);
  ASSERT_TRUE(RunOut(cdb::ModeSelect(60), WritePage(p.PageByte2, p.PageByte3)).Good());

  auto info = Run(cdb::DiscInfo(), 34);
  EXPECT_EQ(DiscStatus(info), 0);
  EXPECT_EQ(SessionState(info), 0);

  EXPECT_EQ(WriteBlocks(16, 16).SenseText(), "5/21/02");  // not the next writable address
  ASSERT_TRUE(WriteBlocks(0, 16).Good());
  ASSERT_TRUE(WriteBlocks(16, 16).Good());
  info = Run(cdb::DiscInfo(), 34);
  EXPECT_EQ(DiscStatus(info), 1);
  EXPECT_EQ(SessionState(info), 1);  // incomplete
  auto track = Run(cdb::TrackInfo(1), 48);
  EXPECT_EQ(Be(track.Data, 12, 4), 32u);           // next writable address
  EXPECT_EQ(Be(track.Data, 16, 4), 100000u - 32);  // free blocks

  ASSERT_TRUE(Run(cdb::Close(2)).Good());
  info = Run(cdb::DiscInfo(), 34);
  EXPECT_EQ(DiscStatus(info), 1);  // appendable
  EXPECT_EQ(SessionState(info), 0);
  EXPECT_EQ(info.Data[4], 2);  // the empty second session counts
  track = Run(cdb::TrackInfo(2), 48);
  EXPECT_EQ(track.Data[3], 2);  // session 2
  EXPECT_EQ(Be(track.Data, 8, 4), p.SecondSessionStart);
  EXPECT_EQ(Be(track.Data, 12, 4), p.SecondSessionStart);
  EXPECT_EQ(Be(track.Data, 16, 4), 100000u - p.SecondSessionStart);

  EXPECT_EQ(WriteBlocks(32, 32).SenseText(), "5/21/02");  // inside the gap
  ASSERT_TRUE(WriteBlocks(p.SecondSessionStart, 32).Good());
  ASSERT_TRUE(Run(cdb::Close(2)).Good());
  EXPECT_EQ(Be(Run(cdb::TrackInfo(3), 48).Data, 12, 4), p.ThirdSessionStart);
  ASSERT_TRUE(WriteBlocks(p.ThirdSessionStart, 16).Good());

  ASSERT_TRUE(Run(cdb::Close(p.FinalizeFunction)).Good());
  info = Run(cdb::DiscInfo(), 34);
  EXPECT_EQ(DiscStatus(info), 2);
  EXPECT_EQ(SessionState(info), 3);
  EXPECT_EQ(info.Data[4], 3);
  EXPECT_EQ(WriteBlocks(p.ThirdSessionStart + 16, 16).SenseText(), "5/21/02");
  EXPECT_EQ(Run(cdb::TrackInfo(4), 48).SenseText(), "5/24/00");  // no invisible track any more

  // What was written reads back; the gaps between sessions do not.
  auto read = Run(cdb::Read10(p.SecondSessionStart, 1), 2048);
  ASSERT_TRUE(read.Good());
  EXPECT_EQ(read.Data[0], 0xA5);
  EXPECT_EQ(Run(cdb::Read10(40, 1), 2048).SenseText(), "3/11/00");
}

INSTANTIATE_TEST_SUITE_P(
    Media, SequentialMedia,
    ::testing::Values(
        // CD: lead-out 6,750 then 2,250, lead-in 4,500, pre-gap 150.
        TSequentialCase{"CdR", TMedia::CdR, 0x01, 0xC4, 32 + 11400, 32 + 11400 + 32 + 6900, 5},
        TSequentialCase{"CdRw", TMedia::CdRw, 0x01, 0xC4, 32 + 11400, 32 + 11400 + 32 + 6900, 5},
        TSequentialCase{"DvdR", TMedia::DvdR, 0x20, 0xC5, 32 + 6144, 32 + 6144 + 32 + 2048, 5},
        TSequentialCase{"DvdRw", TMedia::DvdRw, 0x20, 0xC5, 32 + 6144, 32 + 6144 + 32 + 2048, 5},
        TSequentialCase{"DvdPlusR", TMedia::DvdPlusR, 0x22, 0x04, 32 + 2048, 32 + 2048 + 32 + 2048, 5},
        TSequentialCase{"DvdPlusRDl", TMedia::DvdPlusRDl, 0x22, 0x04, 32 + 2048, 32 + 2048 + 32 + 2048, 6}),
    [](const auto& row) { return std::string(row.param.Name); });

TEST_F(RecorderTest, ACdSessionClosedWithoutNextSessionFinalizesTheDisc) {
  Make(TMedia::CdR);
  ASSERT_TRUE(RunOut(cdb::ModeSelect(60), WritePage(0x01, 0x04)).Good());  // multi-session 00b
  ASSERT_TRUE(WriteBlocks(0, 27).Good());
  ASSERT_TRUE(Run(cdb::Close(2)).Good());
  EXPECT_EQ(Run(cdb::DiscInfo(), 34).Data[2] & 0x03, 2);
}

TEST_F(RecorderTest, ReservedTrackTakesWritesUpToItsSizeAndTheInvisibleTrackFollows) {
  Make(TMedia::DvdR, 50000);
  ASSERT_TRUE(Run(cdb::Reserve(100)).Good());  // rounded up to 112, a whole ECC block
  auto t1 = Run(cdb::TrackInfo(1), 48);
  EXPECT_EQ(t1.Data[6] & 0x80, 0x80);  // RT
  EXPECT_EQ(Be(t1.Data, 24, 4), 112u);
  EXPECT_EQ(Be(t1.Data, 16, 4), 112u);
  EXPECT_EQ(Be(Run(cdb::TrackInfo(2), 48).Data, 8, 4), 112u);
  ASSERT_TRUE(WriteBlocks(0, 96).Good());
  EXPECT_EQ(WriteBlocks(96, 32).SenseText(), "5/21/00");  // past the reservation
  ASSERT_TRUE(WriteBlocks(96, 16).Good());
  ASSERT_TRUE(Run(cdb::Close(1, 1)).Good());
  ASSERT_TRUE(Run(cdb::Close(1, 2)).Good());  // the empty invisible track: nothing to do
  EXPECT_EQ(Run(cdb::Close(1, 0)).SenseText(), "5/24/00");
  EXPECT_EQ(Run(cdb::Close(1, 9)).SenseText(), "5/24/00");
  EXPECT_TRUE(Disc().Tracks[0].Closed);
}

struct TOverwriteCase {
  const char* Name;
  TMedia Media;
  std::uint32_t Formatted;  // right after creation
};

class OverwritableMedia : public RecorderTest, public ::testing::WithParamInterface<TOverwriteCase> {};

TEST_P(OverwritableMedia, WritesAnywhereInsideTheFormattedAreaAndOverwritesInPlace) {
  const auto& p = GetParam();
  Make(p.Media, 4096);
  if (p.Formatted == 0) {
    EXPECT_EQ(WriteBlocks(0, 16).SenseText(), "2/30/10");
    EXPECT_EQ(Run(cdb::DiscInfo(), 34).Data[2] & 0x03, 0);
    ASSERT_TRUE(RunOut(cdb::FormatUnit(), FormatList(2295104, 0x26, 0, false)).Good());
  }
  ASSERT_TRUE(WriteBlocks(1000, 16, 0x11).Good());
  ASSERT_TRUE(WriteBlocks(1008, 16, 0x22).Good());
  ASSERT_TRUE(WriteBlocks(0, 16, 0x33).Good());
  auto read = Run(cdb::Read10(1000, 16), 16 * 2048);
  ASSERT_TRUE(read.Good());
  EXPECT_EQ(read.Data[0], 0x11);
  EXPECT_EQ(read.Data[8 * 2048], 0x22);
  EXPECT_EQ(WriteBlocks(4090, 16).SenseText(), "5/21/00");
  const auto info = Run(cdb::DiscInfo(), 34);
  EXPECT_EQ(info.Data[2], 0x10 | 0x0C | 0x02);  // erasable, complete session, complete disc
  EXPECT_EQ(Be(Run(cdb::TrackInfo(1), 48).Data, 24, 4), 4096u);
}

INSTANTIATE_TEST_SUITE_P(Media, OverwritableMedia,
                         ::testing::Values(TOverwriteCase{"DvdPlusRw", TMedia::DvdPlusRw, 0},
                                           TOverwriteCase{"DvdRwRestrictedOverwrite", TMedia::DvdRwRo, 4096},
                                           TOverwriteCase{"DvdRam", TMedia::DvdRam, 4096}),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST_F(RecorderTest, BlankingACdRwAnswersNotReadyWithProgressUntilItIsDone) {
  Make(TMedia::CdRw);
  ASSERT_TRUE(WriteBlocks(0, 32).Good());
  ASSERT_TRUE(Run(cdb::Close(2)).Good());
  ASSERT_TRUE(Run(cdb::Blank(1, true)).Good());
  Clock.Now += 1000;  // half of the 2 s minimal blank
  auto tur = Run({0, 0, 0, 0, 0, 0});
  EXPECT_EQ(tur.SenseText(), "2/04/07");
  EXPECT_EQ(tur.Sense[15] & 0x80, 0x80);  // SKSV: progress indication follows
  EXPECT_NEAR(Be(tur.Sense, 16, 2), 32768u, 64u);
  EXPECT_EQ(Run(cdb::DiscInfo(), 34).SenseText(), "2/04/07");
  auto sense = Run({0x03, 0, 0, 0, 18, 0}, 18);  // REQUEST SENSE answers GOOD with the condition
  EXPECT_TRUE(sense.Good());
  EXPECT_EQ(sense.Data[12], 0x04);
  EXPECT_TRUE(Run(cdb::GetConfiguration(0, 0), 64).Good());
  Clock.Now += 1000;
  EXPECT_TRUE(Run({0, 0, 0, 0, 0, 0}).Good());
  EXPECT_EQ(Run(cdb::DiscInfo(), 34).Data[2], 0x10);  // erasable, blank
  EXPECT_TRUE(WriteBlocks(0, 16).Good());
}

TEST_F(RecorderTest, OnlyRewritableMediaBlank) {
  Make(TMedia::CdR);
  EXPECT_EQ(Run(cdb::Blank(0, false)).SenseText(), "5/30/00");
  Make(TMedia::CdRw);
  EXPECT_EQ(Run(cdb::Blank(4, false)).SenseText(), "5/24/00");
}

TEST_F(RecorderTest, DvdRwQuickFormatGoesRestrictedOverwriteAndBlankBringsItBack) {
  Make(TMedia::DvdRw, 20000);
  ASSERT_TRUE(RunOut(cdb::FormatUnit(), FormatList(1000, 0x15, 16, true)).Good());
  EXPECT_EQ(Run(cdb::DiscInfo(), 34).SenseText(), "2/04/04");
  Clock.Now += 4000;
  auto config = Run(cdb::GetConfiguration(2, 0x26), 64);
  EXPECT_EQ(Be(config.Data, 6, 2), 0x0013u);
  EXPECT_EQ(Disc().FormattedBlocks, 1008u);
  // The intermediate state grows at the end of the formatted area.
  ASSERT_TRUE(WriteBlocks(1008, 32).Good());
  EXPECT_EQ(Disc().FormattedBlocks, 1040u);
  EXPECT_EQ(WriteBlocks(1100, 16).SenseText(), "5/21/00");
  ASSERT_TRUE(Run(cdb::Blank(0, false)).Good());
  EXPECT_EQ(Be(Run(cdb::GetConfiguration(2, 0), 64).Data, 6, 2), 0x0014u);
}

TEST_F(RecorderTest, DvdRamFormatNeedsTheBlockLengthAndIsImmediateWhenAsked) {
  Make(TMedia::DvdRam, 8192);
  EXPECT_EQ(RunOut(cdb::FormatUnit(), FormatList(8192, 0x00, 512, false)).SenseText(), "5/26/00");
  ASSERT_TRUE(WriteBlocks(0, 16).Good());
  ASSERT_TRUE(RunOut(cdb::FormatUnit(), FormatList(8192, 0x00, 2048, true)).Good());
  EXPECT_EQ(Run({0, 0, 0, 0, 0, 0}).SenseText(), "2/04/04");
  Clock.Now += 4000;
  auto read = Run(cdb::Read10(0, 1), 2048);
  ASSERT_TRUE(read.Good());
  EXPECT_EQ(read.Data[0], 0);  // the format cleared the disc
  EXPECT_EQ(RunOut(cdb::FormatUnit(), FormatList(8192, 0x26, 0, false)).SenseText(), "5/26/00");
}

TEST_F(RecorderTest, ImmediateCloseSessionIsNotReadyForItsSimulatedTime) {
  Make(TMedia::DvdPlusR, 50000);
  ASSERT_TRUE(WriteBlocks(0, 32).Good());
  ASSERT_TRUE(Run(cdb::Close(2, 0, true)).Good());
  EXPECT_EQ(Run(cdb::DiscInfo(), 34).SenseText(), "2/04/07");
  Clock.Now += 1500;
  EXPECT_TRUE(Run(cdb::DiscInfo(), 34).Good());
}

TEST_F(RecorderTest, TestWriteRecordsNothingAndLeavesTheDiscAsItWas) {
  Make(TMedia::CdR);
  ASSERT_TRUE(RunOut(cdb::ModeSelect(60), WritePage(0x11, 0xC4)).Good());  // test write, TAO
  ASSERT_TRUE(WriteBlocks(0, 27).Good());
  ASSERT_TRUE(WriteBlocks(27, 27).Good());  // the simulated next writable address moves on
  EXPECT_EQ(WriteBlocks(0, 27).SenseText(), "5/21/02");
  ASSERT_TRUE(Run(cdb::Close(2)).Good());
  const vdrive::TDisc before = vdrive::BlankDisc(TMedia::CdR, 0);
  EXPECT_EQ(Disc(), before);
  EXPECT_EQ(Run(cdb::DiscInfo(), 34).Data[2] & 0x03, 0);
  Reopen();
  EXPECT_EQ(Disc(), before);
  // With the bit cleared the same writes are real.
  ASSERT_TRUE(RunOut(cdb::ModeSelect(60), WritePage(0x01, 0xC4)).Good());
  ASSERT_TRUE(WriteBlocks(0, 27).Good());
  EXPECT_EQ(Disc().Tracks.at(0).Written, 27u);
}

TEST_F(RecorderTest, PressedDiscsReadButRefuseWrites) {
  const std::string iso = Dir.WriteBytes("image.iso", std::vector<std::uint8_t>(40 * 2048 + 100, 0x5A));
  Path = Dir.Str() + "/pressed.zvd";
  auto pressed = vdrive::TDiscFile::Press(Path, TMedia::DvdRom, iso);
  ASSERT_TRUE(pressed.Ok()) << pressed.Err().Message;
  Reopen();
  EXPECT_EQ(WriteBlocks(41, 1).SenseText(), "5/30/05");
  auto read = Run(cdb::Read10(40, 1), 2048);
  ASSERT_TRUE(read.Good());
  EXPECT_EQ(read.Data[99], 0x5A);
  EXPECT_EQ(read.Data[100], 0);  // the image's tail is padded to a whole block
  EXPECT_EQ(Run(cdb::Read10(41, 1), 2048).SenseText(), "5/21/00");
  EXPECT_EQ(Be(Run(cdb::GetConfiguration(2, 0), 64).Data, 6, 2), 0x0010u);
}

}  // namespace
}  // namespace vdrivetest
