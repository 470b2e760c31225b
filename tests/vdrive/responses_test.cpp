// Answer layouts checked byte by byte against MMC-5 and SPC-3.
#include "vdrive/recorder_fixture.h"

namespace vdrivetest {
namespace {

using vdrive::TMedia;

std::string Text(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t n) {
  return std::string(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + n));
}

TEST_F(RecorderTest, InquiryNamesTheVirtualRecorder) {
  Make(TMedia::DvdPlusR);
  const auto a = Run({0x12, 0, 0, 0, 96, 0}, 96);
  ASSERT_TRUE(a.Good());
  EXPECT_EQ(a.Data[0], 0x05);  // CD/DVD device
  EXPECT_EQ(a.Data[1], 0x80);  // removable
  EXPECT_EQ(a.Data[4], 31);
  EXPECT_EQ(Text(a.Data, 8, 8), "ZANTIC  ");
  EXPECT_EQ(Text(a.Data, 16, 16), "VIRTUAL RECORDER");
  EXPECT_EQ(Text(a.Data, 32, 4), "1.00");
  EXPECT_EQ(a.Data[36], 0);  // only 36 bytes answered
}

TEST_F(RecorderTest, DiscInformationOfABlankCdR) {
  Make(TMedia::CdR);
  const auto a = Run(cdb::DiscInfo(), 64);
  ASSERT_TRUE(a.Good());
  EXPECT_EQ(Be(a.Data, 0, 2), 32u);  // disc information length
  EXPECT_EQ(a.Data[2], 0x00);        // not erasable, empty session, empty disc
  EXPECT_EQ(a.Data[3], 1);           // first track on disc
  EXPECT_EQ(a.Data[4], 1);           // sessions
  EXPECT_EQ(a.Data[5], 1);           // first track in last session
  EXPECT_EQ(a.Data[6], 1);           // last track in last session
  EXPECT_EQ(Be(a.Data, 16, 4), 0x00611A42u);  // lead-in at 97:26:66
  EXPECT_EQ(Be(a.Data, 20, 4), 0x004F3B4Au);  // last possible lead-out 79:59:74
  EXPECT_EQ(a.Data[34], 0);                   // 34 bytes, no more
}

TEST_F(RecorderTest, DiscInformationOfAnAppendableDvdPlusR) {
  Make(TMedia::DvdPlusR, 100000);
  ASSERT_TRUE(WriteBlocks(0, 32).Good());
  ASSERT_TRUE(Run(cdb::Close(2)).Good());
  const auto a = Run(cdb::DiscInfo(), 34);
  EXPECT_EQ(a.Data[2], 0x01);  // empty last session, incomplete disc
  EXPECT_EQ(a.Data[4], 2);
  EXPECT_EQ(a.Data[5], 2);
  EXPECT_EQ(a.Data[6], 2);
  EXPECT_EQ(Be(a.Data, 16, 4), 2080u);   // next session's start
  EXPECT_EQ(Be(a.Data, 20, 4), 100000u);  // DVD: an LBA
}

TEST_F(RecorderTest, TrackInformationOfTheInvisibleAndOfARecordedTrack) {
  Make(TMedia::DvdPlusR);
  auto a = Run(cdb::TrackInfo(0xFF), 48);
  ASSERT_TRUE(a.Good());
  EXPECT_EQ(Be(a.Data, 0, 2), 46u);
  EXPECT_EQ(a.Data[2], 1);
  EXPECT_EQ(a.Data[3], 1);
  EXPECT_EQ(a.Data[6] & 0x40, 0x40);  // blank
  EXPECT_EQ(a.Data[7], 0x01);         // NWA valid, LRA not
  EXPECT_EQ(Be(a.Data, 8, 4), 0u);
  EXPECT_EQ(Be(a.Data, 12, 4), 0u);
  EXPECT_EQ(Be(a.Data, 16, 4), 2295104u);
  EXPECT_EQ(Be(a.Data, 24, 4), 2295104u);

  Make(TMedia::CdR);
  ASSERT_TRUE(WriteBlocks(0, 32).Good());
  ASSERT_TRUE(Run(cdb::Close(2)).Good());
  a = Run(cdb::TrackInfo(1), 48);
  EXPECT_EQ(a.Data[5] & 0x0F, 4);     // data track, uninterrupted
  EXPECT_EQ(a.Data[6], 0x01);         // recorded, mode 1
  EXPECT_EQ(a.Data[7], 0x02);         // LRA valid, no NWA
  EXPECT_EQ(Be(a.Data, 16, 4), 0u);   // free
  EXPECT_EQ(Be(a.Data, 20, 4), 0u);   // CD: no blocking factor
  EXPECT_EQ(Be(a.Data, 24, 4), 32u);  // size
  EXPECT_EQ(Be(a.Data, 28, 4), 31u);  // last recorded
  EXPECT_EQ(Run(cdb::TrackInfo(5, 0), 48).Data[2], 1);  // by LBA
  EXPECT_EQ(Run(cdb::TrackInfo(1, 2), 48).Data[2], 1);  // by session
  EXPECT_EQ(Run(cdb::TrackInfo(0), 48).SenseText(), "5/24/00");
}

TEST_F(RecorderTest, TocFormatsZeroOneAndAtipOfACdR) {
  Make(TMedia::CdR);
  EXPECT_EQ(Run(cdb::Toc(0), 100).SenseText(), "5/24/00");  // nothing closed yet
  auto atip = Run(cdb::Toc(4, 0, true), 100);
  ASSERT_TRUE(atip.Good());
  EXPECT_EQ(Be(atip.Data, 0, 2), 26u);
  EXPECT_EQ(atip.Data[6], 0x80);  // CD-R
  EXPECT_EQ(atip.Data[8], 97);
  EXPECT_EQ(atip.Data[9], 26);
  EXPECT_EQ(atip.Data[10], 66);
  EXPECT_EQ(atip.Data[12], 79);
  EXPECT_EQ(atip.Data[13], 59);
  EXPECT_EQ(atip.Data[14], 74);

  ASSERT_TRUE(WriteBlocks(0, 32).Good());
  ASSERT_TRUE(Run(cdb::Close(2)).Good());
  auto toc = Run(cdb::Toc(0), 100);
  ASSERT_TRUE(toc.Good());
  EXPECT_EQ(Be(toc.Data, 0, 2), 18u);
  EXPECT_EQ(toc.Data[2], 1);
  EXPECT_EQ(toc.Data[3], 1);
  EXPECT_EQ(toc.Data[5], 0x14);  // ADR 1, data track
  EXPECT_EQ(toc.Data[6], 1);
  EXPECT_EQ(Be(toc.Data, 8, 4), 0u);
  EXPECT_EQ(toc.Data[14], 0xAA);  // lead-out
  EXPECT_EQ(Be(toc.Data, 16, 4), 32u);
  auto msf = Run(cdb::Toc(0, 0, true), 100);
  EXPECT_EQ(Be(msf.Data, 8, 4), 0x00000200u);   // 00:02:00
  EXPECT_EQ(Be(msf.Data, 16, 4), 0x00000220u);  // 00:02:32
  auto leadOutOnly = Run(cdb::Toc(0, 0xAA), 100);
  EXPECT_EQ(Be(leadOutOnly.Data, 0, 2), 10u);
  auto sessions = Run(cdb::Toc(1), 100);
  EXPECT_EQ(Be(sessions.Data, 0, 2), 10u);
  EXPECT_EQ(sessions.Data[2], 1);
  EXPECT_EQ(sessions.Data[3], 1);
  EXPECT_EQ(sessions.Data[6], 1);
  EXPECT_EQ(Be(sessions.Data, 8, 4), 0u);
}

TEST_F(RecorderTest, AtipBelongsToCdRecordablesOnly) {
  Make(TMedia::CdRw);
  EXPECT_EQ(Run(cdb::Toc(4, 0, true), 100).Data[6], 0xC0);  // CD-RW
  Make(TMedia::DvdR);
  EXPECT_EQ(Run(cdb::Toc(4, 0, true), 100).SenseText(), "5/24/00");
}

TEST_F(RecorderTest, CapacityAndFormatCapacities) {
  Make(TMedia::DvdPlusRw);
  auto caps = Run({0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0}, 248);
  ASSERT_TRUE(caps.Good());
  EXPECT_EQ(caps.Data[3], 16);  // two descriptors
  EXPECT_EQ(Be(caps.Data, 4, 4), 2295104u);
  EXPECT_EQ(caps.Data[8], 0x01);  // unformatted
  EXPECT_EQ(Be(caps.Data, 9, 3), 2048u);
  EXPECT_EQ(Be(caps.Data, 12, 4), 2295104u);
  EXPECT_EQ(caps.Data[16], 0x98);  // format type 26h
  EXPECT_EQ(Be(caps.Data, 17, 3), 0u);

  Make(TMedia::DvdRam);
  caps = Run({0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0}, 248);
  EXPECT_EQ(caps.Data[8], 0x02);  // formatted
  EXPECT_EQ(caps.Data[16], 0x00);
  EXPECT_EQ(Be(caps.Data, 17, 3), 2048u);
  auto cap = Run({0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 8);
  EXPECT_EQ(Be(cap.Data, 0, 4), 2236703u);
  EXPECT_EQ(Be(cap.Data, 4, 4), 2048u);

  Make(TMedia::DvdRw);
  caps = Run({0x23, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0}, 248);
  EXPECT_EQ(caps.Data[3], 32);  // current, 00h, 10h, 15h
  EXPECT_EQ(caps.Data[32], 0x15 << 2);
  EXPECT_EQ(Be(caps.Data, 33, 3), 16u);
}

struct TFeatureCase {
  const char* Name;
  TMedia Media;
  std::uint16_t Profile;
  bool Current2A, Current2F, Current3B;
};

class FeaturesByMedium : public RecorderTest, public ::testing::WithParamInterface<TFeatureCase> {};

TEST_P(FeaturesByMedium, HeaderAndFeatureDescriptors) {
  const auto& p = GetParam();
  Make(p.Media);
  for (auto [feature, current] : {std::pair<std::uint16_t, bool>{0x2A, p.Current2A}, {0x2F, p.Current2F}, {0x3B, p.Current3B}}) {
    const auto a = Run(cdb::GetConfiguration(2, feature), 64);
    ASSERT_TRUE(a.Good());
    EXPECT_EQ(Be(a.Data, 0, 4), 4u + 4 + 4);  // header rest plus one descriptor with 4 bytes
    EXPECT_EQ(Be(a.Data, 6, 2), p.Profile);
    EXPECT_EQ(Be(a.Data, 8, 2), feature);
    EXPECT_EQ(a.Data[10] & 0x01, current ? 1 : 0) << std::hex << feature;
    EXPECT_EQ(a.Data[11], 4);
    EXPECT_EQ(a.Data[12] & 0x01, feature == 0x2F ? 0 : 1);  // DVD+ features: Write bit
  }
  // RT 1 lists the current features only, in order, starting with the profile list.
  const auto all = Run(cdb::GetConfiguration(1, 0), 4096);
  EXPECT_EQ(Be(all.Data, 8, 2), 0x0000u);
  const std::size_t profiles = all.Data[11] / 4u;
  bool listed = false;
  for (std::size_t i = 0; i < profiles; ++i)
    if (Be(all.Data, 12 + 4 * i, 2) == p.Profile) listed = (all.Data[14 + 4 * i] & 0x01) != 0;
  EXPECT_TRUE(listed);
}

INSTANTIATE_TEST_SUITE_P(Media, FeaturesByMedium,
                         ::testing::Values(TFeatureCase{"DvdPlusRw", TMedia::DvdPlusRw, 0x1A, true, false, false},
                                           TFeatureCase{"DvdPlusRDl", TMedia::DvdPlusRDl, 0x2B, false, false, true},
                                           TFeatureCase{"DvdR", TMedia::DvdR, 0x11, false, true, false},
                                           TFeatureCase{"DvdRw", TMedia::DvdRw, 0x14, false, true, false},
                                           TFeatureCase{"CdR", TMedia::CdR, 0x09, false, false, false}),
                         [](const auto& row) { return std::string(row.param.Name); });

TEST_F(RecorderTest, CapabilitiesPageReportsSpeedsAndTheSpeedSetRoundedToTheList) {
  Make(TMedia::CdR);
  auto page = Run(cdb::ModeSense(0x2A), 512);
  ASSERT_TRUE(page.Good());
  EXPECT_EQ(Be(page.Data, 6, 2), 0u);  // no block descriptors
  const std::size_t p = 8;
  EXPECT_EQ(page.Data[p], 0x2A);
  EXPECT_EQ(page.Data[p + 1], 30 + 4 * 7);
  EXPECT_EQ(Be(page.Data, 0, 2), 6u + 32 + 4 * 7);
  EXPECT_EQ(page.Data[p + 2] & 0x3B, 0x3B);  // reads CD-R, CD-RW, DVD-ROM, DVD-R, DVD-RAM
  EXPECT_EQ(page.Data[p + 3] & 0x37, 0x37);  // writes CD-R, CD-RW, test write, DVD-R, DVD-RAM
  EXPECT_EQ(page.Data[p + 4] & 0x80, 0x80);  // BUF
  EXPECT_EQ(Be(page.Data, p + 12, 2), 2048u);  // buffer, KB
  EXPECT_EQ(Be(page.Data, p + 18, 2), 8467u);  // 48x
  EXPECT_EQ(Be(page.Data, p + 30, 2), 7u);
  EXPECT_EQ(Be(page.Data, p + 32 + 2, 2), 8467u);
  EXPECT_EQ(Be(page.Data, p + 32 + 6 * 4 + 2, 2), 706u);  // 4x

  ASSERT_TRUE(Run({0xBB, 0, 0xFF, 0xFF, 0x0B, 0xB8, 0, 0, 0, 0, 0, 0}).Good());  // 3,000 kB/s
  page = Run(cdb::ModeSense(0x2A), 512);
  EXPECT_EQ(Be(page.Data, p + 20, 2), 2822u);  // 16x
  EXPECT_EQ(Be(page.Data, p + 28, 2), 2822u);
  EXPECT_EQ(Be(Run(cdb::ModeSense(0x2A, 2), 512).Data, p + 20, 2), 8467u);  // default values
  ASSERT_TRUE(Run({0xBB, 0, 0xFF, 0xFF, 0, 2, 0, 0, 0, 0, 0, 0}).Good());
  EXPECT_EQ(Be(Run(cdb::ModeSense(0x2A), 512).Data, p + 28, 2), 706u);  // below the list: the slowest

  Make(TMedia::DvdPlusR);
  page = Run(cdb::ModeSense(0x2A), 512);
  EXPECT_EQ(Be(page.Data, p + 18, 2), 22160u);
  EXPECT_EQ(Be(page.Data, p + 30, 2), 4u);
}

TEST_F(RecorderTest, WriteParametersPageDefaultsAndWhatModeSelectTakes) {
  Make(TMedia::CdR);
  auto page = Run(cdb::ModeSense(0x05), 512);
  ASSERT_TRUE(page.Good());
  EXPECT_EQ(page.Data[8], 0x05);
  EXPECT_EQ(page.Data[9], 0x32);
  EXPECT_EQ(page.Data[10], 0x01);  // track at once
  EXPECT_EQ(page.Data[11], 0x04);
  EXPECT_EQ(page.Data[12], 0x08);
  EXPECT_EQ(Be(page.Data, 22, 2), 150u);
  EXPECT_EQ(Run(cdb::ModeSense(0x05, 3), 512).SenseText(), "5/39/00");
  EXPECT_EQ(Run(cdb::ModeSense(0x0E), 512).SenseText(), "5/24/00");

  struct TSelect {
    TMedia Media;
    std::uint8_t Byte2, Byte3, BlockType;
    const char* Expected;
  };
  const TSelect cases[] = {
      {TMedia::CdR, 0x02, 0xC4, 8, "GOOD"},      {TMedia::CdR, 0x11, 0x04, 8, "GOOD"},
      {TMedia::CdR, 0x01, 0x84, 8, "5/26/00"},   // multi-session 10b is reserved
      {TMedia::CdR, 0x01, 0x04, 1, "5/26/00"},   // raw blocks are not kept
      {TMedia::DvdR, 0x60, 0xE5, 8, "GOOD"},     {TMedia::DvdR, 0x01, 0x04, 8, "5/26/00"},  // TAO on DVD
      {TMedia::DvdRw, 0x30, 0xC5, 8, "GOOD"},    {TMedia::DvdPlusR, 0x22, 0xC4, 8, "GOOD"},
      {TMedia::DvdPlusR, 0x32, 0xC4, 8, "5/26/00"},  // DVD+R has no simulation
      {TMedia::DvdPlusRw, 0x22, 0x04, 10, "5/26/00"},
  };
  for (const auto& c : cases) {
    Make(c.Media);
    EXPECT_EQ(RunOut(cdb::ModeSelect(60), WritePage(c.Byte2, c.Byte3, c.BlockType)).SenseText(), c.Expected)
        << vdrive::MediaName(c.Media) << " " << int{c.Byte2};
  }
  Make(TMedia::DvdR);
  ASSERT_TRUE(RunOut(cdb::ModeSelect(60), WritePage(0x60, 0xE5)).Good());
  page = Run(cdb::ModeSense(0x05), 512);
  EXPECT_EQ(page.Data[10], 0x60);
  EXPECT_EQ(page.Data[11], 0xE5);
}

TEST_F(RecorderTest, BufferCapacityAndSenseLayouts) {
  Make(TMedia::CdR);
  auto buffer = Run({0x5C, 0, 0, 0, 0, 0, 0, 0, 12, 0}, 12);
  EXPECT_EQ(Be(buffer.Data, 0, 2), 10u);
  EXPECT_EQ(Be(buffer.Data, 4, 4), 2097152u);
  EXPECT_EQ(Be(buffer.Data, 8, 4), 2097152u);  // unthrottled: always drained
  auto sense = Run({0x03, 0, 0, 0, 18, 0}, 18);
  EXPECT_EQ(sense.Data[0], 0x70);
  EXPECT_EQ(sense.Data[2], 0);
  EXPECT_EQ(sense.Data[7], 10);
  const auto refused = Run({0xE7, 0, 0, 0, 0, 0});
  EXPECT_EQ(refused.Sense[0], 0x70);
  EXPECT_EQ(refused.SenseText(), "5/20/00");
}

}  // namespace
}  // namespace vdrivetest
