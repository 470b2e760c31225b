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
  Unverified,  // read, but not listed while lines of the checksum file were unusable
};

const char* VerdictText(Verdict v);
inline bool IsFault(Verdict v) { return v != Verdict::Good && v != Verdict::Read; }

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
  // Records the file tree could not take in ("PATH: reason"): what they
  // hold was not checked.
  std::vector<std::string> LeftOut;
  bool Incomplete = false;  // the session's burn stopped before its end
  // Why the session's checksum file could not be used in full (unreadable,
  // too large, lines set aside); empty when it could, or there is none.
  std::string ChecksumProblem;
  std::vector<FileCheck> Files;
  bool Cancelled = false;
  // Faulty files, records left out, an incomplete session and an unusable
  // checksum file each count.
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
