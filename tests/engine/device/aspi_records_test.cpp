// The packed request blocks an ASPI library reads: byte offsets of the
// 32-bit layout (and its 64-bit widening), and the answer read back.
#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "engine/device/aspi_library.h"
#include "engine/device/aspi_records.h"

namespace {

using namespace device;

template <std::size_t P>
std::array<std::uint8_t, sizeof(aspi::TPackedExecSCSICmd<P>)> PackedBytes() {
  SRB_ExecSCSICmd srb;
  srb.SRB_Flags = kFlagsRead;
  srb.SRB_HaId = 1;
  srb.SRB_Target = 3;
  srb.SRB_Lun = 2;
  srb.SRB_BufLen = 0x10000;
  srb.SRB_SenseLen = kSenseLen;
  srb.SRB_CDBLen = 10;
  srb.CDBByte = {0x28, 0x40, 0, 0, 0x12, 0x34, 0, 0, 0x20, 0};
  const auto packed = aspi::Pack<P>(srb, 0x11223344, 0x55667788);
  std::array<std::uint8_t, sizeof packed> bytes{};
  std::memcpy(bytes.data(), &packed, sizeof packed);
  return bytes;
}

TEST(AspiRecords, ExecuteRecordOffsets) {
  const auto b = PackedBytes<4>();
  ASSERT_EQ(b.size(), 97u);
  EXPECT_EQ((std::array{b[0], b[2], b[3], b[8], b[9]}), (std::array<std::uint8_t, 5>{2, 1, 0x48, 3, 2}));
  EXPECT_EQ((std::array{b[12], b[13], b[14], b[15]}), (std::array<std::uint8_t, 4>{0, 0, 1, 0}));
  EXPECT_EQ((std::array{b[16], b[17], b[18], b[19]}), (std::array<std::uint8_t, 4>{0x44, 0x33, 0x22, 0x11}));
  EXPECT_EQ(b[20], 24);
  EXPECT_EQ(b[21], 10);
  EXPECT_EQ((std::array{b[24], b[25], b[26], b[27]}), (std::array<std::uint8_t, 4>{0x88, 0x77, 0x66, 0x55}));
  EXPECT_EQ((std::array{b[48], b[49], b[52], b[53], b[56]}), (std::array<std::uint8_t, 5>{0x28, 0x40, 0x12, 0x34, 0x20}));
  // A 64-bit library: both pointers 8 bytes wide, everything after them moved on.
  const auto w = PackedBytes<8>();
  ASSERT_EQ(w.size(), 105u);
  EXPECT_EQ((std::array{w[16], w[19], w[20], w[23]}), (std::array<std::uint8_t, 4>{0x44, 0x11, 0, 0}));
  EXPECT_EQ(w[24], 24);
  EXPECT_EQ((std::array{w[28], w[31], w[35]}), (std::array<std::uint8_t, 3>{0x88, 0x55, 0}));
  EXPECT_EQ(w[56], 0x28);
}

TEST(AspiRecords, AnswersComeBackAndThePointersStay) {
  std::array<std::uint8_t, 8> buffer{};
  SRB_ExecSCSICmd srb;
  srb.SRB_BufPointer = buffer.data();
  auto packed = aspi::Pack<sizeof(void*)>(srb, 0, 0);
  std::array<std::uint8_t, sizeof packed> raw{};
  std::memcpy(raw.data(), &packed, sizeof packed);
  const std::size_t p = sizeof(void*);
  raw[1] = kSsErr;
  raw[18 + p] = kHaStatTimeout;    // SRB_HaStat
  raw[19 + p] = kTargStatBusy;     // SRB_TargStat
  raw[56 + 2 * p + 12] = 0x3A;     // sense byte 12
  std::memcpy(&packed, raw.data(), sizeof packed);
  aspi::Unpack(packed, srb);
  EXPECT_EQ(srb.SRB_Status, kSsErr);
  EXPECT_EQ(srb.SRB_HaStat, kHaStatTimeout);
  EXPECT_EQ(srb.SRB_TargStat, kTargStatBusy);
  EXPECT_EQ(srb.SenseArea[12], 0x3A);
  EXPECT_EQ(srb.SRB_BufPointer, buffer.data());

  // Host adapter inquiry: count at 8, manager at 10, identifier at 26, unique at 42.
  std::array<std::uint8_t, 60> ha{};
  ha[1] = kSsComp;
  ha[8] = 2;
  ha[9] = 7;
  ha[10] = 'M';
  ha[26] = 'I';
  ha[42 + 3] = 8;
  aspi::TPackedHAInquiry packedHa{};
  std::memcpy(&packedHa, ha.data(), ha.size());
  SRB_HAInquiry inquiry;
  aspi::Unpack(packedHa, inquiry);
  EXPECT_EQ((std::array{inquiry.SRB_Status, inquiry.HA_Count, inquiry.HA_SCSI_ID, inquiry.HA_ManagerId[0],
                        inquiry.HA_Identifier[0], inquiry.HA_Unique[3]}),
            (std::array<std::uint8_t, 6>{kSsComp, 2, 7, 'M', 'I', 8}));
}

TEST(AspiRecords, LibrarySearchOrder) {
  EXPECT_EQ(AspiLibrarySearchOrder(""), (std::vector<std::string>{".\\WNASPI32.DLL", "WNASPI32.DLL"}));
  EXPECT_EQ(AspiLibrarySearchOrder("C:\\drv\\aspi.dll"),
            (std::vector<std::string>{"C:\\drv\\aspi.dll", ".\\WNASPI32.DLL", "WNASPI32.DLL"}));
}

}  // namespace
