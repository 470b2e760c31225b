#pragma once
// A disc kept in one file. A 4 KiB file header, then two state slots of
// 64 KiB, each with a sequence number and a CRC-32; the newest valid slot
// wins, so a state write torn by a crash leaves the previous state. Sector
// data follows at a fixed offset + lba * 2048 in a sparse file, so blank
// areas cost no disk space. Sectors are written before the state that makes
// them visible. The file is untrusted input on load.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/result.h"
#include "platform/file_stream.h"
#include "vdrive/faults.h"
#include "vdrive/medium.h"

namespace vdrive {

inline constexpr std::uint64_t kHeaderSize = 4096;
inline constexpr std::uint64_t kSlotSize = 65536;
inline constexpr std::uint64_t kDataOffset = 1u << 20;

struct TStoredState {
  TDisc Disc;
  TFaults Faults;
  bool operator==(const TStoredState&) const = default;
};

std::uint32_t Crc32(std::span<const std::uint8_t> bytes);
// The payload of a state slot, and back (validated).
std::vector<std::uint8_t> EncodeState(const TStoredState& state);
base::Result<TStoredState> DecodeState(std::span<const std::uint8_t> payload);

class TDiscFile {
 public:
  ~TDiscFile();
  TDiscFile(const TDiscFile&) = delete;
  TDiscFile& operator=(const TDiscFile&) = delete;

  // Makes a new disc file; fails when the file exists.
  static base::Result<std::unique_ptr<TDiscFile>> Create(const std::string& path, const TDisc& disc);
  // A pressed disc holding a copy of an image file.
  static base::Result<std::unique_ptr<TDiscFile>> Press(const std::string& path, TMedia media,
                                                        const std::string& imagePath);
  static base::Result<std::unique_ptr<TDiscFile>> Open(const std::string& path);

  const std::string& Path() const { return FPath; }
  const TStoredState& State() const { return FState; }
  std::uint64_t Sequence() const { return FSequence; }

  // Writes the state into the older slot (no fsync).
  base::Status Save(const TStoredState& state);
  // Picks up a newer state another process saved; true when it changed.
  base::Result<bool> Refresh();
  // Blocks never written read as zeros.
  base::Status ReadSectors(std::uint32_t lba, std::uint32_t count, std::span<std::uint8_t> out) const;
  base::Status WriteSectors(std::uint32_t lba, std::uint32_t count, std::span<const std::uint8_t> in);
  // Drops every sector (blanking, formatting).
  base::Status DiscardSectors();
  base::Status Sync();
  // An advisory lock against a second process using the same disc.
  bool Lock();
  void Unlock();

 private:
  TDiscFile(std::string path, platform::FileStream file) : FPath(std::move(path)), FFile(std::move(file)) {}
  // A new disc file at `path` (which must not exist), not yet synced.
  static base::Result<std::unique_ptr<TDiscFile>> CreateAt(const std::string& path, const TDisc& disc);
  // Syncs and renames the file to `path`, which must not exist.
  base::Status MoveInto(const std::string& path);
  base::Status Load();

  std::string FPath;
  platform::FileStream FFile;
  platform::WritebackPacer FWriteback;
  TStoredState FState;
  std::uint64_t FSequence = 0;
};

}  // namespace vdrive
