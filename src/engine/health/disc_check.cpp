#include "engine/health/disc_check.h"

#include <algorithm>
#include <cctype>
#include <unordered_set>

#include "engine/health/checksum_file.h"
#include "engine/health/session_files.h"
#include "platform/sha256.h"

namespace health {

const char* VerdictText(Verdict v) {
  switch (v) {
    case Verdict::Good: return "good";
    case Verdict::Read: return "read";
    case Verdict::Damaged: return "damaged";
    case Verdict::Unreadable: return "unreadable";
    case Verdict::Missing: return "missing";
    case Verdict::Unverified: return "unverified";
  }
  return "?";
}

std::size_t CheckReport::Faults() const {
  const auto files = static_cast<std::size_t>(
      std::count_if(Files.begin(), Files.end(), [](const FileCheck& f) { return IsFault(f.Result); }));
  return files + LeftOut.size() + (Incomplete ? 1 : 0) + (ChecksumProblem.empty() ? 0 : 1);
}

namespace {

// Without Joliet the checksum file is known by its ISO 9660 name, in capitals.
bool IsChecksumFile(const SessionFile& f) {
  const std::string_view want = kChecksumFileName;
  if (f.Directory || f.Listed.size() != want.size()) return false;
  for (std::size_t i = 0; i < want.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(f.Listed[i])) != want[i]) return false;
  return true;
}

struct FileRead {
  std::vector<SectorRange> Unreadable;
  bool Cancelled = false;
  std::string Hex;
  std::string Bytes;  // only when asked to keep them
};

base::Result<FileRead> ReadFile(iso::DiscSource& disc, const SessionFile& f, const ReadSettings& settings,
                                const CheckCallbacks& callbacks, std::uint64_t before, std::uint64_t total,
                                bool keep) {
  FileRead r;
  platform::Sha256 hash;
  if (!hash.Ok()) return base::MakeError(base::ErrorKind::System, "the system's SHA-256 is not available");
  std::uint64_t left = f.Size;
  const SectorSink sink = [&](std::uint32_t, std::uint32_t, std::span<const std::uint8_t> data) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, data.size()));
    hash.Update(data.data(), n);
    if (keep) r.Bytes.append(reinterpret_cast<const char*>(data.data()), n);
    left -= n;
    return base::Ok();
  };
  ReadCallbacks inner;
  inner.Cancelled = callbacks.Cancelled;
  if (callbacks.Progress)
    inner.Progress = [&](std::uint64_t done, std::uint64_t, std::uint64_t) {
      callbacks.Progress(before + std::min<std::uint64_t>(done * 2048, f.Size), total);
    };
  const std::vector<SectorRange> ranges = f.Sectors() == 0 ? std::vector<SectorRange>{}
                                                           : std::vector<SectorRange>{{f.Extent, static_cast<std::uint32_t>(f.Sectors())}};
  auto outcome = ReadRanges(disc, ranges, settings, inner, sink);
  if (!outcome) return outcome.Err();
  r.Unreadable = std::move(outcome.Value().Unreadable);
  r.Cancelled = outcome.Value().Cancelled;
  const auto digest = hash.Finish();
  if (!hash.Ok()) return base::MakeError(base::ErrorKind::System, "the system's SHA-256 failed");
  r.Hex = platform::HexDigest(digest);
  return r;
}

}  // namespace

base::Result<CheckReport> CheckSession(iso::DiscSource& disc, std::uint8_t session, const ReadSettings& settings,
                                       const CheckCallbacks& callbacks) {
  auto tree = ReadSessionTree(disc, session, callbacks.Cancelled);
  if (!tree) return tree.Err();
  CheckReport report;
  report.Session = session;
  report.LeftOut = tree.Value().LeftOut;
  report.Incomplete = tree.Value().Incomplete;
  for (const auto& d : tree.Value().UnreadDirectories)
    report.Notes.push_back("directory " + (d.empty() ? std::string("/") : "/" + d) + " could not be read in full");
  std::vector<const SessionFile*> files;
  const SessionFile* sums = nullptr;
  std::uint64_t total = 0;
  for (const auto& f : tree.Value().Files) {
    if (f.Directory) continue;
    total += f.Size;
    // The exact name first; its capitalised form only when there is none.
    if (f.Listed == kChecksumFileName || (IsChecksumFile(f) && (sums == nullptr || sums->Listed != kChecksumFileName))) {
      if (sums != nullptr) files.push_back(sums);
      sums = &f;
    } else {
      files.push_back(&f);
    }
  }
  ChecksumList list;
  std::uint64_t done = 0;
  if (sums != nullptr) {
    report.HasChecksums = true;
    if (sums->Size > kMaxChecksumFileBytes) {
      report.ChecksumProblem = "/" + sums->Listed + " is too large to use";
    } else {
      auto read = ReadFile(disc, *sums, settings, callbacks, done, total, true);
      if (!read) return read.Err();
      if (read.Value().Cancelled) {
        report.Cancelled = true;
        return report;
      }
      done += sums->Size;
      if (!read.Value().Unreadable.empty()) {
        report.ChecksumProblem = "/" + sums->Listed + " cannot be read";
        FileCheck c{sums->Listed, Verdict::Unreadable, sums->Size, read.Value().Unreadable};
        if (callbacks.FileDone) callbacks.FileDone(c);
        report.Files.push_back(std::move(c));
      } else {
        list = ParseChecksumFile(read.Value().Bytes);
        for (auto& n : list.SetAside) report.Notes.push_back("/" + sums->Listed + " " + n + ": set aside");
        if (list.Unattributed != 0)
          report.ChecksumProblem = "/" + sums->Listed + ": " + std::to_string(list.Unattributed) +
                                   " lines could not be read as \"SHA-256  PATH\"";
      }
    }
  }
  // Files in disc order, so that a drive reads without seeking back.
  std::sort(files.begin(), files.end(), [](const SessionFile* a, const SessionFile* b) { return a->Extent < b->Extent; });
  std::unordered_set<std::string> seen;
  for (const SessionFile* f : files) {
    if (callbacks.Cancelled && callbacks.Cancelled()) {
      report.Cancelled = true;
      return report;
    }
    auto read = ReadFile(disc, *f, settings, callbacks, done, total, false);
    if (!read) return read.Err();
    if (read.Value().Cancelled) {
      report.Cancelled = true;
      return report;
    }
    done += f->Size;
    FileCheck c{PeerPath(f->Listed), Verdict::Read, f->Size, {}};
    const auto listed = list.ByPath.find(c.Path);
    if (listed != list.ByPath.end()) seen.insert(c.Path);
    if (!read.Value().Unreadable.empty()) {
      c.Result = Verdict::Unreadable;
      c.Sectors = std::move(read.Value().Unreadable);
    } else if (listed != list.ByPath.end()) {
      c.Result = listed->second == read.Value().Hex ? Verdict::Good : Verdict::Damaged;
    } else if (list.Unattributed != 0) {
      // One of the unusable lines may have been this file's.
      c.Result = Verdict::Unverified;
    }
    if (callbacks.FileDone) callbacks.FileDone(c);
    report.Files.push_back(std::move(c));
  }
  for (const auto& path : list.Order) {
    if (seen.count(path) != 0) continue;
    FileCheck c{path, Verdict::Missing, 0, {}};
    if (callbacks.FileDone) callbacks.FileDone(c);
    report.Files.push_back(std::move(c));
  }
  if (callbacks.Progress) callbacks.Progress(total, total);
  return report;
}

}  // namespace health
