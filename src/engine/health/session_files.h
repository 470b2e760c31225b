#pragma once
// The files of one session with the sectors they own, read from the disc's
// directory records (Joliet when present, else ISO 9660), and which of them
// a list of bad sectors hits.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/result.h"
#include "engine/health/sector_map.h"
#include "engine/iso/disc_source.h"

namespace health {

struct SessionFile {
  std::string Path;  // "/"-separated from the session root, no leading "/"
  // The same from the names as recorded, control characters, ":" and "\"
  // kept (a "/" inside a name becomes "_"): the path the checksum file uses.
  std::string Listed;
  std::uint32_t Extent = 0;
  std::uint64_t Size = 0;  // bytes; a file of several extents has them consecutive
  bool Directory = false;  // then Extent and Size are its records'
  std::uint64_t Sectors() const { return (Size + 2047) / 2048; }
};

struct SessionTree {
  std::uint8_t Session = 0;
  std::uint32_t Start = 0;
  std::vector<SessionFile> Files;  // directories before their contents
  // Directories whose records could not be read in full, and other
  // problems met on the way, as lines for the user.
  std::vector<std::string> Problems;
  std::vector<std::string> UnreadDirectories;
  // The records passed over or read in part, as "PATH: reason": the tree
  // lacks what they hold. A renamed record is not among them.
  std::vector<std::string> LeftOut;
  // The volume reaches past the sectors recorded in the session's track:
  // a burn that stopped before its end.
  bool Incomplete = false;
};

base::Result<SessionTree> ReadSessionTree(iso::DiscSource& disc, std::uint8_t session,
                                          const std::function<bool()>& cancelled = {});

struct FileDamage {
  std::string Path;
  bool Directory = false;
  std::vector<SectorRange> Sectors;  // the bad sectors it owns
};

struct DamageList {
  std::vector<FileDamage> Files;             // in the order of the tree
  std::vector<std::string> Directories;      // holding a damaged file, or damaged themselves
  std::vector<SectorRange> NoFile;           // bad sectors no file or directory owns
};

// `bad`: sorted, disjoint ranges.
DamageList DamagedFiles(const SessionTree& tree, const std::vector<SectorRange>& bad);

// "1200-1215, 3000" for a list of ranges.
std::string RangesText(const std::vector<SectorRange>& ranges);

}  // namespace health
