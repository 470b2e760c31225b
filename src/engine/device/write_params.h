#pragma once
// The Write Parameters mode page and the constant parameter lists sent
// before recording: streaming descriptors, the DVD-R timestamp and the
// FORMAT UNIT lists.
#include <array>
#include <cstdint>
#include <span>
#include <string>

namespace device {

inline constexpr std::size_t kWritePageRetained = 54;
inline constexpr std::size_t kWritePageSent = 60;  // 8 header bytes + 52 page bytes

struct TWritePageInput {
  std::uint8_t Medium = 0;
  bool TestWrite = false;
  bool UnderrunProtection = false;
  bool FinalizeDisc = false;
  bool Last = false;
  std::uint32_t Capabilities = 0;
  bool PageBuf = false;  // page 2Ah byte 4 bit 7
  bool LinkSizeQuirk = false;
};

// Where page 05h starts in a MODE SENSE (10) answer.
std::size_t LocateWritePage(std::span<const std::uint8_t> answer);
// The MODE SELECT (10) parameter list (header + page) built from the page as
// the drive reported it (its first 54 bytes).
std::array<std::uint8_t, kWritePageSent> BuildWriteParameters(std::span<const std::uint8_t, kWritePageRetained> page,
                                                              const TWritePageInput& in);

// SET STREAMING performance descriptors.
std::array<std::uint8_t, 28> GenericStreamingDescriptor(std::uint32_t startLba, std::uint32_t imageBlocks,
                                                        std::uint16_t readKBps, std::uint16_t writeKBps);
std::array<std::uint8_t, 28> FixedDvdrStreamingDescriptor();
// Streaming units for a speed in kB/s: trunc(speed / 1385 x 1440.25).
std::uint32_t StreamingRate(std::uint16_t kbps);

// SEND DVD STRUCTURE format 0Fh: the local time as "yyyymmddhhnnss".
std::array<std::uint8_t, 22> DvdrTimestamp(const std::string& digits14);
std::string TimestampDigitsNow();

// FORMAT UNIT parameter lists.
inline constexpr std::array<std::uint8_t, 12> kFormatDvdPlusRw = {0x00, 0x82, 0x00, 0x08, 0x00, 0x23,
                                                                  0x05, 0x40, 0x98, 0x00, 0x00, 0x00};
// BD-RE type 00h (MMC-6, FORMAT UNIT): the drive's default spare areas; a
// count of 0 leaves the size to the drive.
inline constexpr std::array<std::uint8_t, 12> kFormatBdReDefault = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                                                    0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
// BD-RE type 31h sub-type 00b: quick format without spare areas (full speed, no defect management).
inline constexpr std::array<std::uint8_t, 12> kFormatBdReNoSpare = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                                                    0x00, 0x00, 0xC4, 0x00, 0x00, 0x00};
inline constexpr std::array<std::uint8_t, 12> kFormatDvdrwSequential = {0x00, 0xA2, 0x00, 0x08, 0x00, 0x00,
                                                                        0x03, 0xE8, 0x54, 0x00, 0x00, 0x10};
inline constexpr std::array<std::uint8_t, 12> kFormatDvdrwRestricted = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                                                        0x00, 0x00, 0x4C, 0x00, 0x00, 0x10};
inline constexpr std::array<std::uint8_t, 12> kFormatDvdrwSecondTry = {0x00, 0x82, 0x00, 0x08, 0x00, 0x00,
                                                                       0x00, 0x00, 0x54, 0x00, 0x00, 0x10};
inline constexpr std::array<std::uint8_t, 12> kFormatDvdRam = {0x00, 0x82, 0x00, 0x08, 0x00, 0x22,
                                                               0x21, 0x20, 0x00, 0x00, 0x08, 0x00};

}  // namespace device
