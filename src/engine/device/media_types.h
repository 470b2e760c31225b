#pragma once
// What a drive can do and what disc it holds: the capability bits, the
// medium codes with their names, the profile names and the disc record.
#include <cstdint>
#include <array>
#include <span>
#include <string>
#include <vector>

namespace device {

// Capability set, rebuilt by every RefreshCapabilities.
inline constexpr std::uint32_t kCapReadCdr = 0x00000001;
inline constexpr std::uint32_t kCapReadCdrw = 0x00000002;
inline constexpr std::uint32_t kCapMethod2 = 0x00000004;
inline constexpr std::uint32_t kCapReadDvd = 0x00000008;
inline constexpr std::uint32_t kCapReadDvdr = 0x00000010;
inline constexpr std::uint32_t kCapReadDvdrw = 0x00000020;
inline constexpr std::uint32_t kCapReadDvdram = 0x00000040;
inline constexpr std::uint32_t kCapReadDvdpr = 0x00000080;
inline constexpr std::uint32_t kCapReadDvdprDl = 0x00000100;
inline constexpr std::uint32_t kCapReadDvdprw = 0x00000200;
inline constexpr std::uint32_t kCapWriteCdr = 0x00000400;
inline constexpr std::uint32_t kCapWriteCdrw = 0x00000800;
inline constexpr std::uint32_t kCapWriteTest = 0x00001000;
inline constexpr std::uint32_t kCapWriteDvdr = 0x00002000;
inline constexpr std::uint32_t kCapWriteDvdrw = 0x00004000;
inline constexpr std::uint32_t kCapWriteDvdram = 0x00008000;
inline constexpr std::uint32_t kCapWriteDvdpr = 0x00010000;
inline constexpr std::uint32_t kCapWriteDvdprDl = 0x00020000;
inline constexpr std::uint32_t kCapWriteDvdprw = 0x00040000;
inline constexpr std::uint32_t kCapUnderrunProtection = 0x00100000;
// Blu-ray, from the BD Read (0040h) and BD Write (0041h) features' class 0 version maps.
inline constexpr std::uint32_t kCapReadBd = 0x00200000;
inline constexpr std::uint32_t kCapReadBdr = 0x00400000;
inline constexpr std::uint32_t kCapReadBdre = 0x00800000;
inline constexpr std::uint32_t kCapWriteBdr = 0x01000000;
inline constexpr std::uint32_t kCapWriteBdre = 0x02000000;

// Medium codes.
inline constexpr std::uint8_t kMediumUnknown = 0;
inline constexpr std::uint8_t kMediumCdRom = 1;
inline constexpr std::uint8_t kMediumCdr = 2;
inline constexpr std::uint8_t kMediumCdrw = 3;
inline constexpr std::uint8_t kMediumDvdRom = 4;
inline constexpr std::uint8_t kMediumDvdr = 5;
inline constexpr std::uint8_t kMediumDvdRam = 6;
inline constexpr std::uint8_t kMediumDvdrwRestricted = 8;
inline constexpr std::uint8_t kMediumDvdrwSequential = 9;
inline constexpr std::uint8_t kMediumDvdprw = 10;
inline constexpr std::uint8_t kMediumDvdpr = 11;
inline constexpr std::uint8_t kMediumDvdprDl = 12;
// Past the DDCD codes: Blu-ray, one code per MMC-6 profile (40h to 43h).
inline constexpr std::uint8_t kMediumBdRom = 16;
inline constexpr std::uint8_t kMediumBdr = 17;        // sequential recording
inline constexpr std::uint8_t kMediumBdrRandom = 18;  // random recording: not written here
inline constexpr std::uint8_t kMediumBdre = 19;

inline constexpr bool IsCdMedium(std::uint8_t code) { return code < kMediumDvdRom; }
inline constexpr bool IsBdMedium(std::uint8_t code) { return code >= kMediumBdRom && code <= kMediumBdre; }

// The medium name of a code; "UNKNOWN" past the table.
const char* MediumName(std::uint8_t code);
// The medium code of a current profile; 0 for any profile not in the table.
std::uint8_t MediumCodeOfProfile(std::uint16_t profile);
// The name of a profile as the disc record shows it, and whether that
// profile is erasable.
const char* ProfileName(std::uint16_t profile);
bool ProfileErasable(std::uint16_t profile);

// The UJDA/TDK slow-ready quirk of the last selected drive, for the whole
// process.
bool SharedSlowReady();
void SetSharedSlowReady(bool v);

// Disc information record handed to the caller.
struct TDisc {
  std::uint8_t Ready = 0;
  std::uint32_t TotalBlocks = 0;
  std::uint32_t UsedBlocks = 0;
  std::uint32_t BlockSize = 0;
  std::uint8_t FirstSession = 0;
  std::uint8_t LastSession = 0;
  std::uint8_t SessionState = 0;
  std::uint8_t DiscStatus = 0;
  std::uint16_t Profile = 0;
  std::string MediaName;
  std::uint8_t Erasable = 0;
};

// The capacity a READ FORMAT CAPACITIES answer stands for (248 bytes).
std::uint32_t FormatCapacityBlocks(std::span<const std::uint8_t> answer);

// A format descriptor of a READ FORMAT CAPACITIES answer: blocks, format
// type and the type-dependent parameter (MMC-6, READ FORMAT CAPACITIES).
struct TFormatDescriptor {
  std::uint32_t Blocks = 0;
  std::uint8_t Type = 0;
  std::uint32_t Parameter = 0;
};
// The formattable descriptors after the current/maximum one, bounded by the answer's list length.
std::vector<TFormatDescriptor> FormatDescriptors(std::span<const std::uint8_t> answer);
// The FORMAT UNIT parameter list (IMMED, FOV) for one descriptor with a sub-type.
std::array<std::uint8_t, 12> FormatList(const TFormatDescriptor& d, std::uint8_t subType);

// Blocks of an MSF address as the ATIP lead-out is counted (no 150 offset).
// Whether a READ TOC/PMA/ATIP format 4 answer is an ATIP (MMC-5 6.26.3.6):
// its length covers the lead-out time at bytes 12..14, which is a valid
// time, and bytes 2..3 are reserved where a TOC has its track numbers.
// Some drives answer every format with a plain TOC.
bool IsAtipAnswer(std::span<const std::uint8_t> answer);

inline constexpr std::uint32_t MsfBlocks(std::uint8_t m, std::uint8_t s, std::uint8_t f) {
  return std::uint32_t{m} * 4500 + std::uint32_t{s} * 75 + f;
}

// Drive models that need special treatment, from the INQUIRY fields.
struct TModelQuirks {
  bool ForcedUnderrun = false;   // the under-run capability is set whatever the drive says
  bool LinkSize = false;         // the write-parameters page always carries LS_V
  bool SlowReadyShared = false;  // UJDA/TDK: ready polling first, and while blanking
  bool SlowReadyDevice = false;  // DVR-103/104: ready polling first
  bool NoImmediateClose = false; // the CD session close waits for the drive
};
// vendor: INQUIRY bytes 8..15, product: bytes 16..31, both untrimmed.
TModelQuirks DecideModelQuirks(const std::string& vendor, const std::string& product);

}  // namespace device
