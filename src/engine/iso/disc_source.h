#pragma once
// What reading an earlier session needs from a disc: 2048-byte sectors and
// the track table. One implementation reads a drive; ImageSource reads an
// image held in memory or in an .iso file.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"
#include "platform/file_stream.h"

namespace iso {

// One track as READ TRACK INFORMATION describes it (one session per track).
struct TrackEntry {
  std::uint8_t Number = 0;
  std::uint8_t Session = 0;
  std::uint32_t Start = 0;
  std::uint32_t Size = 0;  // sectors; 0 when unknown
  // One past the last sector recorded in the track; 0 when unknown. A
  // session whose volume reaches past it was never written completely.
  std::uint32_t RecordedEnd = 0;
};

class DiscSource {
 public:
  virtual ~DiscSource() = default;

  // Reads `count` sectors at `lba` into `out`, which holds count x 2048 bytes.
  virtual base::Status ReadSectors(std::uint32_t lba, std::uint32_t count, std::span<std::uint8_t> out) = 0;
  // False when the disc information cannot be read at all.
  virtual bool Ready() = 0;
  // The number of the last closed session; 0 for a blank disc or on failure.
  virtual std::uint8_t LastSession() = 0;
  virtual std::optional<TrackEntry> TrackInfo(std::uint8_t track) = 0;
  // First and last track number of the table of contents.
  virtual std::optional<std::pair<std::uint8_t, std::uint8_t>> TrackRange() = 0;
  // A track's start from the table of contents, in MSF form as a sector
  // number (LBA + 150); track 170 is the lead-out.
  virtual std::optional<std::uint32_t> TocAddress(std::uint8_t track) = 0;
  virtual std::uint32_t FreeBlocks() = 0;
  // Where a new session would start; nullopt when unknown.
  virtual std::optional<std::uint32_t> NextWritableAddress() = 0;
  // Sectors on the disc; 0 when unknown (no bounds check is made then).
  virtual std::uint64_t SectorCount() const = 0;
};

inline constexpr std::uint8_t kLeadOutTrack = 170;

// An image file or bytes in memory. Sessions are found as other readers find
// them in image files: the first at sector 0, each next one where the
// previous volume ends (as written, or rounded up to 16 or 32 sectors), or,
// in images grown by appending, from sector 32 on.
class ImageSource final : public DiscSource {
 public:
  static base::Result<std::unique_ptr<ImageSource>> OpenFile(const std::string& path);
  explicit ImageSource(std::vector<std::uint8_t> bytes);
  // Known session starts instead of the search.
  void SetSessionStarts(std::vector<std::uint32_t> starts);

  base::Status ReadSectors(std::uint32_t lba, std::uint32_t count, std::span<std::uint8_t> out) override;
  bool Ready() override { return true; }
  std::uint8_t LastSession() override;
  std::optional<TrackEntry> TrackInfo(std::uint8_t track) override;
  std::optional<std::pair<std::uint8_t, std::uint8_t>> TrackRange() override;
  std::optional<std::uint32_t> TocAddress(std::uint8_t track) override;
  std::uint32_t FreeBlocks() override { return 0; }
  std::optional<std::uint32_t> NextWritableAddress() override;
  std::uint64_t SectorCount() const override { return FSectors; }

  const std::vector<std::uint32_t>& SessionStarts();

  // Test hooks: reads of these sectors, and of these tracks' information, fail.
  std::vector<std::uint32_t> FailingSectors;
  std::vector<std::uint8_t> FailingTracks;
  // Test hook: every read made (start, count) while RecordReads is set.
  bool RecordReads = false;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> Reads;

 private:
  ImageSource() = default;
  void FindSessions();
  std::optional<std::uint32_t> VolumeSpaceAt(std::uint32_t start);

  std::vector<std::uint8_t> FBytes;
  platform::FileStream FFile;
  bool FInFile = false;
  std::uint64_t FSectors = 0;
  bool FSessionsKnown = false;
  std::vector<std::uint32_t> FStarts;
};

}  // namespace iso
