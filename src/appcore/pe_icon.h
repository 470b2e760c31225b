#pragma once
// The first icon group of a Windows executable (PE32 or PE32+), found
// through its resource directory: RT_GROUP_ICON names the RT_ICON resources
// that hold the pictures. Everything in the file is untrusted: every offset,
// size and count is checked against the file before it is used, the
// directory is read at its three fixed levels only, and nothing is read
// past the limits below.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace appcore {

enum class PeIconStatus { Ok, NoIcon, NotExecutable };

// One picture of the group: the header fields of its group entry and the
// bytes of its RT_ICON resource (a BMP without file header, or a PNG).
struct PeIconImage {
  std::uint32_t Width = 0;  // 256 where the entry says 0
  std::uint32_t Height = 0;
  std::uint8_t ColorCount = 0;
  std::uint16_t Planes = 0;
  std::uint16_t BitCount = 0;
  std::vector<std::uint8_t> Data;
  bool IsPng() const;
};

struct PeIconGroup {
  PeIconStatus Status = PeIconStatus::NotExecutable;
  std::string Error;  // why, when Status is not Ok
  std::vector<PeIconImage> Images;
};

// Reads `length` bytes at `offset` into `out`; false when the file has fewer.
using PeByteReader = std::function<bool(std::uint64_t offset, std::size_t length, std::uint8_t* out)>;

inline constexpr std::size_t kMaxIconBytes = 4u << 20;   // one picture; a 256 x 256 BMP is about 270 KiB
inline constexpr std::size_t kMaxIconsInGroup = 64;      // pictures taken from one group
inline constexpr std::uint32_t kMaxResourceEntries = 4096;  // entries read from one directory

PeIconGroup FirstIconGroup(std::uint64_t fileSize, const PeByteReader& read);
PeIconGroup FirstIconGroup(std::span<const std::uint8_t> file);
// A file on disk, read piece by piece (an executable can be large).
PeIconGroup FirstIconGroupOfFile(const std::string& path);

// The index of the picture closest to `size` x `size`, preferring more
// colours at equal size; -1 when the list is empty.
int ClosestIcon(const std::vector<PeIconImage>& images, std::uint32_t size);

// An .ico file holding the given pictures (ICONDIR, entries, data).
std::vector<std::uint8_t> BuildIcoFile(const std::vector<PeIconImage>& images);

}  // namespace appcore
