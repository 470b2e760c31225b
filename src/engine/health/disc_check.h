#pragma once
// Reads every file of a session and compares it with the session's
// checksum file, when it has one.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/result.h"
#include "engine/health/disc_reader.h"
#include "engine/health/sector_map.h"
#include "engine/iso/disc_source.h"

namespace health {

enum class Verdict {
  Good,        // read, and the checksum matches
  Read,        // read in full; no checksum to compare with
  Damaged,     // read, but the checksum differs
  Unreadable,  // some sectors could not be read
  Missing,     // listed in the checksum file, not on the disc
};

const char* VerdictText(Verdict v);
inline bool IsFault(Verdict v) { return v == Verdict::Damaged || v == Verdict::Unreadable || v == Verdict::Missing; }

struct FileCheck {
  std::string Path;
  Verdict Result = Verdict::Read;
  std::uint64_t Size = 0;
  std::vector<SectorRange> Sectors;  // Unreadable: the sectors that failed
};

struct CheckReport {
  std::uint8_t Session = 0;
  bool HasChecksums = false;
  std::vector<std::string> Notes;  // lines set aside, directories read in part
  std::vector<FileCheck> Files;
  bool Cancelled = false;
  std::size_t Faults() const;
};

struct CheckCallbacks {
  std::function<bool()> Cancelled;
  std::function<void(std::uint64_t doneBytes, std::uint64_t totalBytes)> Progress;
  std::function<void(const FileCheck&)> FileDone;
};

base::Result<CheckReport> CheckSession(iso::DiscSource& disc, std::uint8_t session, const ReadSettings& settings,
                                       const CheckCallbacks& callbacks);

}  // namespace health
