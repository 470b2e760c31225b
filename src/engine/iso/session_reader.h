#pragma once
// Reading an earlier session back from a disc: the volume descriptor scan
// and the walk over directory records. Everything on the disc is untrusted:
// loops, sizes and names are checked and every limit is reported through
// the sink, never crashed on.
#include <cstdint>
#include <optional>
#include <string>

#include "engine/iso/disc_source.h"
#include "engine/iso/entries.h"

namespace iso {

// A directory or file record as the walk hands it over.
struct DiscRecord {
  std::string Name;  // identifier without ";version", safe as one path component
  // The identifier as recorded (without ";version"), before unusable
  // characters were replaced: what the session's own lists name the file by.
  std::string DiscName;
  std::uint32_t Extent = 0;
  // A file of several extents comes as one record: the first extent, the
  // parts' sizes added up. Its extents are always consecutive on the disc.
  std::uint64_t Size = 0;
  std::uint8_t Flags = 0;  // ECMA-119 9.1.6, without the multi-extent bit
  TDateTime Date = 0;      // local time as recorded, offset ignored
  bool IsDirectory() const { return (Flags & 0x02) != 0; }
  bool IsHidden() const { return (Flags & 0x01) != 0; }
  // Rock Ridge, where the tree carries it (Mode 0 where it does not).
  std::uint32_t Mode = 0;
  std::uint32_t Uid = 0;
  std::uint32_t Gid = 0;
  std::int64_t AccessTime = 0;  // seconds since 1970 UTC; 0 when not recorded
  std::int64_t ChangeTime = 0;
  std::string SymlinkTarget;  // a symbolic link: where it points, as recorded
  bool IsSymlink() const { return !SymlinkTarget.empty(); }
};

enum class ReadProblem {
  NameTooLong,          // passed over
  NameRenamed,          // "/", "\", ":" or control characters replaced by "_"
  NameUnusable,         // empty, "." or "..": passed over
  OutsideDisc,          // extent and length reach past the disc: passed over
  DirectoryLoop,        // a directory already read: not read again
  DirectoryTooLarge,    // read up to kMaxDirectorySectors
  TooDeep,              // below kMaxDirectoryDepth: passed over
  ReadLimit,            // kMaxTreeSectors read: the walk ends
  DirectoryUnreadable,  // the rest of that directory is not read
  MultiExtent,          // a file's parts not adjacent, overlapping, cut or renamed: passed over
  RockRidgeDamaged,     // Rock Ridge entries cut, looping or out of bounds: the rest of them ignored
};

// A legitimate directory of 100,000 entries is about 10 MB.
inline constexpr std::uint64_t kMaxDirectorySectors = 32768;
inline constexpr std::uint64_t kMaxTreeSectors = 262144;
inline constexpr int kMaxDirectoryDepth = 64;
// Identifier lengths passed over as too long.
inline constexpr std::size_t kMaxJolietImportId = 214;
inline constexpr std::size_t kMaxIsoImportId = 239;

class ImportSink {
 public:
  virtual ~ImportSink() = default;
  // Adds a record to `parent`. For a directory, the directory its records go
  // into, or nullptr to leave it unread.
  virtual TDEntry* Add(TDEntry& parent, const DiscRecord& record) = 0;
  // True when the walk must end (tables full, cancelled).
  virtual bool Stop() = 0;
  // `what`: the record's path on the disc, "\"-joined.
  virtual void Problem(ReadProblem problem, const std::string& what) = 0;
};

struct RootRecord {
  std::uint32_t Extent = 0;
  std::uint32_t Size = 0;
  bool Joliet = false;
  std::uint32_t VolumeSpaceSize = 0;
  // The primary tree carries Rock Ridge (SP in the root's first record);
  // set by DetectRockRidge.
  bool RockRidge = false;
  std::uint8_t SuspSkip = 0;
};

// Looks for SUSP's SP entry in the root's "." record.
void DetectRockRidge(DiscSource& disc, RootRecord& root);

// Scans sectors start+16 on (at most 21) for the Joliet (joliet) or the
// primary volume descriptor; the terminator or a failed read ends the scan.
std::optional<RootRecord> FindDescriptor(DiscSource& disc, std::uint32_t sessionStart, bool joliet);

// The tree a session is read from: the primary one when it carries Rock
// Ridge (whole names, modes, links), else Joliet, else the primary one.
std::optional<RootRecord> FindSessionRoot(DiscSource& disc, std::uint32_t sessionStart);

// Reads the tree below `root` into `target`.
void ReadTree(DiscSource& disc, const RootRecord& root, TDEntry& target, ImportSink& sink);

// UCS-2/UTF-16 big-endian to UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16BeToUtf8(const std::uint8_t* bytes, std::size_t length);

}  // namespace iso
