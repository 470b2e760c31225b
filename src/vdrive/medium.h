#pragma once
// The disc in a virtual recorder: which medium it is, how big, and the
// sessions and tracks recorded on it. Pure state and arithmetic, no I/O:
// the drive asks here whether a command is allowed, then records the sectors
// and applies the change.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vdrive {

inline constexpr std::uint32_t kSectorSize = 2048;

enum class TMedia : std::uint8_t {
  CdR = 1,
  CdRw,
  DvdR,
  DvdRw,  // sequential recording
  DvdRwRo,  // restricted overwrite
  DvdPlusR,
  DvdPlusRDl,
  DvdPlusRw,
  DvdRam,
  CdRom,
  DvdRom,
  BdRom,
  BdR,  // sequential recording mode
  BdRDl,
  BdRe,
  BdReDl,
};
inline constexpr std::uint8_t kFirstMedia = 1;
inline constexpr std::uint8_t kLastMedia = 16;

// Blu-ray user capacities in blocks without spare areas.
inline constexpr std::uint32_t kBdSingleLayerBlocks = 12219392;
inline constexpr std::uint32_t kBdDualLayerBlocks = 24438784;
inline constexpr std::uint32_t kBdCluster = 32;  // BD records in 64 KiB clusters

// Sense key and additional sense code of a refused command (SPC-3 4.5.6).
struct TSense {
  std::uint8_t Key = 0;
  std::uint8_t Asc = 0;
  std::uint8_t Ascq = 0;
};
using TCheck = std::optional<TSense>;

// Sense answers used across the drive (MMC-5 annex F).
namespace sense {
inline constexpr TSense InvalidOpcode{0x05, 0x20, 0x00};
inline constexpr TSense LbaOutOfRange{0x05, 0x21, 0x00};
inline constexpr TSense InvalidWriteAddress{0x05, 0x21, 0x02};
inline constexpr TSense InvalidFieldInCdb{0x05, 0x24, 0x00};
inline constexpr TSense InvalidFieldInList{0x05, 0x26, 0x00};
inline constexpr TSense CommandSequenceError{0x05, 0x2C, 0x00};
inline constexpr TSense IncompatibleMedium{0x05, 0x30, 0x00};
inline constexpr TSense CannotWriteMedium{0x05, 0x30, 0x05};
inline constexpr TSense RemovalPrevented{0x05, 0x53, 0x02};
inline constexpr TSense NotFormatted{0x02, 0x30, 0x10};
inline constexpr TSense NoMedium{0x02, 0x3A, 0x00};
inline constexpr TSense TrayOpen{0x02, 0x3A, 0x02};
inline constexpr TSense BecomingReady{0x02, 0x04, 0x01};
inline constexpr TSense UnrecoveredRead{0x03, 0x11, 0x00};
inline constexpr TSense WriteError{0x03, 0x0C, 0x00};
inline constexpr TSense MediumChanged{0x06, 0x28, 0x00};
// The host's disk under the disc file refused the sectors (full, or failing):
// SPACE ALLOCATION FAILED, as emulators answer when their backing store is full.
inline constexpr TSense HostSpace{0x07, 0x27, 0x07};
}  // namespace sense

struct TTrack {
  std::uint32_t Start = 0;
  std::uint32_t Reserved = 0;  // reserved size in blocks; 0 for a track that grows
  std::uint32_t Written = 0;   // blocks recorded from Start
  std::uint16_t Session = 1;
  bool Closed = false;
  std::uint32_t Size() const { return Reserved != 0 ? Reserved : Written; }
  std::uint32_t End() const { return Start + Size(); }
  bool operator==(const TTrack&) const = default;
};

// A track as READ TRACK INFORMATION describes it, the invisible one included.
struct TTrackView {
  std::uint16_t Number = 0;
  std::uint16_t Session = 0;
  std::uint32_t Start = 0;
  std::uint32_t NextWritable = 0;
  bool NextWritableValid = false;
  std::uint32_t FreeBlocks = 0;
  std::uint32_t Size = 0;
  std::uint32_t LastRecorded = 0;
  bool LastRecordedValid = false;
  bool Blank = false;
  bool Reserved = false;  // RT
  bool Incremental = false;
  bool Invisible = false;  // not yet a recorded track
};

enum class TDiscStatus : std::uint8_t { Empty = 0, Incomplete = 1, Complete = 2 };
enum class TSessionState : std::uint8_t { Empty = 0, Incomplete = 1, Complete = 3 };

struct TDisc {
  TMedia Media = TMedia::DvdPlusR;
  std::uint32_t Capacity = 0;         // user blocks: last possible lead-out start, or full-format size
  std::uint32_t FormattedBlocks = 0;  // overwritable media; 0 while unformatted
  std::uint32_t HighWater = 0;        // one past the highest block ever recorded
  std::uint16_t ClosedSessions = 0;
  bool Finalized = false;
  // Blu-ray formatted with spare areas: blocks set aside for defect
  // management. Capacity is then the user area; the raw disc holds Capacity + SpareBlocks.
  std::uint32_t SpareBlocks = 0;
  std::vector<TTrack> Tracks;

  bool operator==(const TDisc&) const = default;
};

// --- the medium's nature ---------------------------------------------------
bool IsCd(TMedia m);
bool IsBd(TMedia m);
bool IsBdR(TMedia m);
bool IsBdRe(TMedia m);
bool IsDualLayer(TMedia m);
bool IsRom(TMedia m);
bool IsOverwritable(TMedia m);  // DVD+RW, DVD-RW restricted overwrite, DVD-RAM
bool IsSequential(TMedia m);    // recordable with sessions and tracks
bool IsErasable(TMedia m);
bool SupportsTestWrite(TMedia m);
std::uint16_t Profile(TMedia m);  // MMC-5 5.3.1
std::uint32_t DefaultCapacity(TMedia m);
// Command-line names ("cd-r", "dvd+r-dl", ...); nullopt for an unknown name.
const char* MediaName(TMedia m);
std::optional<TMedia> MediaFromName(const std::string& name);
// A valid TMedia value from a stored byte.
std::optional<TMedia> MediaFromByte(std::uint8_t b);

// A blank disc of that medium (overwritable media come formatted except DVD+RW).
TDisc BlankDisc(TMedia m, std::uint32_t blocks);
// A pressed disc holding `blocks` blocks in one closed track.
TDisc PressedDisc(TMedia m, std::uint32_t blocks);
// Empty string when the state is coherent, else what is wrong (loaded files are untrusted).
std::string Validate(const TDisc& d);

// --- what the disc looks like ----------------------------------------------
TDiscStatus Status(const TDisc& d);
TSessionState LastSessionState(const TDisc& d);
// Sessions as READ DISC INFORMATION counts them: the open (possibly empty) session included.
std::uint16_t SessionCount(const TDisc& d);
// Where the next new track would start, with the gaps real discs leave.
std::uint32_t NextTrackStart(const TDisc& d);
// Tracks with the invisible/incomplete one, numbered from 1.
std::vector<TTrackView> TrackViews(const TDisc& d);
// One past the last block of session n (1-based); 0 when there is no such session.
std::uint32_t SessionEnd(const TDisc& d, std::uint16_t session);
// Last block that READ CAPACITY reports (0 on a blank disc).
std::uint32_t LastLba(const TDisc& d);
// True when the block may be read back (recorded, or inside the formatted area).
bool Readable(const TDisc& d, std::uint32_t lba);

// --- changes -----------------------------------------------------------------
// Checks a WRITE of n blocks at lba; on success, applies it.
TCheck Write(TDisc& d, std::uint32_t lba, std::uint32_t n, bool apply);
TCheck ReserveTrack(TDisc& d, std::uint32_t blocks);
// CLOSE TRACK/SESSION (MMC-5 6.3): function, track number; `finalize` tells
// what function 2 does on media where the write parameters page decides.
TCheck Close(TDisc& d, std::uint8_t function, std::uint16_t track, bool nextSessionAllowed);
// The spare area sizes a blank BD-R or BD-RE may be formatted with, smallest first (0 is none).
std::vector<std::uint32_t> BdSpareChoices(const TDisc& d);
// The spare areas of a default format (393,216 blocks a layer on a full-size disc).
std::uint32_t BdDefaultSpare(const TDisc& d);
// BLANK types 0 (full) and 1 (minimal).
TCheck Blank(TDisc& d, std::uint8_t type);
// FORMAT UNIT with one descriptor (MMC-5 6.5.4, MMC-6 for BD): blocks, format type, sub-type.
TCheck Format(TDisc& d, std::uint32_t blocks, std::uint8_t type, std::uint8_t subType = 0);

}  // namespace vdrive
