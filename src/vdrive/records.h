#pragma once
// Answer records of the virtual recorder, field by field as MMC-5 and SPC-3
// lay them out. Flag bytes stay plain bytes, set through the named helpers
// in the handlers; multi-byte fields are big-endian.
#include <array>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

#include "base/byte_order.h"

namespace vdrive {

// Big-endian field readers over a command block; bytes outside read as 0.
inline std::uint32_t CdbField(std::span<const std::uint8_t> cdb, std::size_t offset, std::size_t width) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < width; ++i) v = (v << 8) | (offset + i < cdb.size() ? cdb[offset + i] : 0u);
  return v;
}
inline std::uint8_t CdbByte(std::span<const std::uint8_t> cdb, std::size_t offset) {
  return offset < cdb.size() ? cdb[offset] : std::uint8_t{0};
}

// Writes a big-endian field of `width` bytes.
inline void PutField(std::span<std::uint8_t> out, std::size_t offset, std::size_t width, std::uint32_t v) {
  for (std::size_t i = 0; i < width; ++i) out[offset + i] = static_cast<std::uint8_t>(v >> (8 * (width - 1 - i)));
}

template <typename Record>
std::span<const std::uint8_t> Bytes(const Record& r) {
  static_assert(std::is_trivially_copyable_v<Record> && alignof(Record) == 1);
  return {reinterpret_cast<const std::uint8_t*>(&r), sizeof(Record)};
}

// SPC-3 4.5.3: fixed-format sense data.
struct TSenseData {
  std::uint8_t ResponseCode = 0x70;
  std::uint8_t Obsolete = 0;
  std::uint8_t Key = 0;  // bits 3-0
  base::Be32 Information;
  std::uint8_t AdditionalLength = 10;
  base::Be32 CommandSpecific;
  std::uint8_t Asc = 0;
  std::uint8_t Ascq = 0;
  std::uint8_t FieldReplaceableUnit = 0;
  std::uint8_t SenseKeySpecific0 = 0;  // bit 7 SKSV
  base::Be16 ProgressIndication;       // sense-key specific bytes 16-17 (SPC-3 4.5.2.4.4)
};
static_assert(sizeof(TSenseData) == 18);

// SPC-3 6.4.2: standard INQUIRY data (first 36 bytes).
struct TInquiryData {
  std::uint8_t PeripheralType = 0x05;  // CD/DVD device
  std::uint8_t Removable = 0x80;       // RMB
  std::uint8_t Version = 0x05;         // SPC-3
  std::uint8_t ResponseFormat = 0x02;
  std::uint8_t AdditionalLength = 31;
  std::array<std::uint8_t, 3> Flags{};
  std::array<std::uint8_t, 8> Vendor{};
  std::array<std::uint8_t, 16> Product{};
  std::array<std::uint8_t, 4> Revision{};
};
static_assert(sizeof(TInquiryData) == 36);

// MMC-5 6.22.3.1: standard disc information.
struct TDiscInformation {
  base::Be16 Length;                     // 32: bytes that follow
  std::uint8_t Status = 0;               // erasable bit 4, last session state 3-2, disc status 1-0
  std::uint8_t FirstTrack = 1;
  std::uint8_t SessionsLsb = 0;
  std::uint8_t FirstTrackLastSessionLsb = 0;
  std::uint8_t LastTrackLastSessionLsb = 0;
  std::uint8_t Validity = 0;             // DID_V, DBC_V, URU, DAC_V, Dbit, BG format status
  std::uint8_t DiscType = 0;             // 00h CD-DA or CD-ROM
  std::uint8_t SessionsMsb = 0;
  std::uint8_t FirstTrackLastSessionMsb = 0;
  std::uint8_t LastTrackLastSessionMsb = 0;
  base::Be32 DiscIdentification;
  base::Be32 LastSessionLeadIn;          // CD: 00 M S F
  base::Be32 LastPossibleLeadOut;        // CD: 00 M S F
  std::array<std::uint8_t, 8> BarCode{};
  std::uint8_t ApplicationCode = 0;
  std::uint8_t OpcTables = 0;
};
static_assert(sizeof(TDiscInformation) == 34);

// MMC-5 6.27.3: track information.
struct TTrackInformation {
  base::Be16 Length;  // 46: bytes that follow
  std::uint8_t TrackLsb = 0;
  std::uint8_t SessionLsb = 0;
  std::uint8_t Reserved4 = 0;
  std::uint8_t TrackModeByte = 0;  // Damage bit 5, Copy bit 4, track mode 3-0
  std::uint8_t DataModeByte = 0;   // RT 7, Blank 6, Packet/Inc 5, FP 4, data mode 3-0
  std::uint8_t ValidFlags = 0;     // LRA_V bit 1, NWA_V bit 0
  base::Be32 TrackStart;
  base::Be32 NextWritable;
  base::Be32 FreeBlocks;
  base::Be32 FixedPacketSize;
  base::Be32 TrackSize;
  base::Be32 LastRecorded;
  std::uint8_t TrackMsb = 0;
  std::uint8_t SessionMsb = 0;
  std::array<std::uint8_t, 2> Reserved34{};
  base::Be32 ReadCompatibility;
  base::Be32 NextLayerJump;
  base::Be32 LastLayerJump;
};
static_assert(sizeof(TTrackInformation) == 48);

// MMC-5 6.26.2.3: a TOC track descriptor (formats 0 and 1).
struct TTocDescriptor {
  std::uint8_t Reserved0 = 0;
  std::uint8_t AdrControl = 0;
  std::uint8_t Track = 0;
  std::uint8_t Reserved3 = 0;
  base::Be32 Address;
};
static_assert(sizeof(TTocDescriptor) == 8);

// MMC-5 6.26.2.6: ATIP descriptor after the 4-byte header.
struct TAtipDescriptor {
  std::uint8_t WritingPower = 0x80;  // bit 7 one, indicative target writing power 6-4, reference speed 2-0
  std::uint8_t Uru = 0;
  std::uint8_t DiscTypeByte = 0x80;  // bit 7 one, disc type (CD-RW) bit 6, sub-type 5-3, A1/A2/A3 valid 2-0
  std::uint8_t Reserved3 = 0;
  std::array<std::uint8_t, 4> LeadInStart{};   // M S F, reserved
  std::array<std::uint8_t, 4> LastLeadOut{};   // M S F, reserved
  std::array<std::uint8_t, 12> A123{};
};
static_assert(sizeof(TAtipDescriptor) == 24);

// MMC-5 6.24.3: capacity descriptors of READ FORMAT CAPACITIES (8 bytes each).
struct TCapacityDescriptor {
  base::Be32 Blocks;
  std::uint8_t TypeByte = 0;  // current: descriptor type 1-0; formattable: format type 7-2
  base::Be24 Parameter;       // block length, or the type-dependent parameter
};
static_assert(sizeof(TCapacityDescriptor) == 8);

// MMC-5 5.2: feature header of GET CONFIGURATION.
struct TFeatureHeader {
  base::Be32 DataLength;  // bytes that follow this field
  std::array<std::uint8_t, 2> Reserved{};
  base::Be16 CurrentProfile;
};
static_assert(sizeof(TFeatureHeader) == 8);

// SPC-3 7.4.3: mode parameter header (10).
struct TModeHeader10 {
  base::Be16 DataLength;  // bytes that follow this field
  std::uint8_t MediumType = 0;
  std::uint8_t DeviceSpecific = 0;
  std::array<std::uint8_t, 2> Reserved{};
  base::Be16 BlockDescriptorLength;
};
static_assert(sizeof(TModeHeader10) == 8);

// CD addresses: LBA + 150 as minutes, seconds, frames (lead-in LBAs wrap below 0).
struct TMsf {
  std::uint8_t M = 0, S = 0, F = 0;
};
inline TMsf ToMsf(std::int64_t lba) {
  std::int64_t v = lba >= -150 ? lba + 150 : lba + 450150;
  if (v < 0) v = 0;
  TMsf m;
  m.M = static_cast<std::uint8_t>(v / 4500);
  m.S = static_cast<std::uint8_t>(v / 75 % 60);
  m.F = static_cast<std::uint8_t>(v % 75);
  return m;
}
inline std::uint32_t MsfField(std::int64_t lba) {
  const TMsf m = ToMsf(lba);
  return (std::uint32_t{m.M} << 16) | (std::uint32_t{m.S} << 8) | m.F;
}

template <typename Record>
void Append(std::vector<std::uint8_t>& out, const Record& r) {
  const auto b = Bytes(r);
  out.insert(out.end(), b.begin(), b.end());
}

}  // namespace vdrive
