// Damaged media: unreadable, flaky and silently corrupt sectors.
#include "vdrive/recorder_fixture.h"

namespace vdrivetest {
namespace {

using vdrive::TDamage;
using vdrive::TDamageKind;
using vdrive::TMedia;

TEST_F(RecorderTest, DamagedSectorsFailReadOnlyAfterTriesOrReadWrong) {
  Make(TMedia::DvdPlusR, 10000);
  ASSERT_TRUE(WriteBlocks(0, 64).Good());
  const auto clean = Run(cdb::Read10(20, 4), 4 * 2048);
  ASSERT_TRUE(clean.Good());
  vdrive::TFaults f;
  f.Damage = {TDamage{10, 3, TDamageKind::Unreadable, 0}, TDamage{20, 1, TDamageKind::Flaky, 2},
              TDamage{22, 2, TDamageKind::Corrupt, 0}};
  Recorder->SetFaults(f);
  // Unreadable stays unreadable, in any read that covers it.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Run(cdb::Read10(8, 4), 4 * 2048).SenseText(), "3/11/00");
  EXPECT_EQ(Run(cdb::Read10(12, 1), 2048).SenseText(), "3/11/00");
  EXPECT_TRUE(Run(cdb::Read10(13, 1), 2048).Good());
  // The flaky sector fails twice, then reads; the corrupt ones read without an error but differ.
  EXPECT_EQ(Run(cdb::Read10(20, 4), 4 * 2048).SenseText(), "3/11/00");
  EXPECT_EQ(Run(cdb::Read10(20, 1), 2048).SenseText(), "3/11/00");
  const auto later = Run(cdb::Read10(20, 4), 4 * 2048);
  ASSERT_TRUE(later.Good());
  EXPECT_TRUE(std::equal(later.Data.begin(), later.Data.begin() + 2 * 2048, clean.Data.begin()));
  EXPECT_FALSE(std::equal(later.Data.begin() + 2 * 2048, later.Data.begin() + 3 * 2048, clean.Data.begin() + 2 * 2048));
  EXPECT_FALSE(std::equal(later.Data.begin() + 3 * 2048, later.Data.end(), clean.Data.begin() + 3 * 2048));
}

TEST_F(RecorderTest, DamageStaysWithTheDiscFileAndOlderStatesStillLoad) {
  Make(TMedia::CdR);
  vdrive::TFaults f;
  f.Damage = {TDamage{100, 16, TDamageKind::Unreadable, 0}, TDamage{500, 1, TDamageKind::Flaky, 7}};
  Recorder->SetFaults(f);
  Reopen();
  EXPECT_EQ(Recorder->Faults(), f);
  const std::string text = vdrive::DescribeFaults(f);
  EXPECT_NE(text.find("blocks 100-115 unreadable"), std::string::npos) << text;
  EXPECT_NE(text.find("block 500 read after 7 failed tries"), std::string::npos) << text;

  vdrive::TStoredState s;
  s.Disc = vdrive::BlankDisc(TMedia::CdR, 1000);
  auto payload = vdrive::EncodeState(s);
  auto plain = vdrive::DecodeState(payload);  // no damage: the layout without the tail
  ASSERT_TRUE(plain.Ok()) << plain.Err().Message;
  EXPECT_TRUE(plain.Value().Faults.Damage.empty());
  // A damaged tail is refused, never read past.
  s.Faults.Damage = {TDamage{1, 1, TDamageKind::Corrupt, 0}};
  payload = vdrive::EncodeState(s);
  for (std::size_t cut = 1; cut <= 10; ++cut) {
    const std::vector<std::uint8_t> shorter(payload.begin(), payload.end() - static_cast<std::ptrdiff_t>(cut));
    EXPECT_FALSE(vdrive::DecodeState(shorter).Ok()) << cut;
  }
  payload[payload.size() - 2] = 9;  // unknown kind
  EXPECT_FALSE(vdrive::DecodeState(payload).Ok());
}

}  // namespace
}  // namespace vdrivetest
