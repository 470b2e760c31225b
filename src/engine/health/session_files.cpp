#include "engine/health/session_files.h"

#include <algorithm>
#include <deque>
#include <set>
#include <unordered_map>

#include "engine/iso/entries.h"
#include "engine/iso/session_reader.h"

namespace health {

namespace {

std::string ProblemText(iso::ReadProblem p) {
  switch (p) {
    case iso::ReadProblem::NameTooLong: return "name too long, passed over";
    case iso::ReadProblem::NameRenamed: return "name with unusable characters, renamed";
    case iso::ReadProblem::NameUnusable: return "unusable name, passed over";
    case iso::ReadProblem::OutsideDisc: return "lies outside the disc, passed over";
    case iso::ReadProblem::DirectoryLoop: return "directory loop, not read again";
    case iso::ReadProblem::DirectoryTooLarge: return "directory too large, read in part";
    case iso::ReadProblem::TooDeep: return "nested too deep, passed over";
    case iso::ReadProblem::ReadLimit: return "too many directory sectors, the walk ended";
    case iso::ReadProblem::DirectoryUnreadable: return "directory unreadable, read in part";
    case iso::ReadProblem::MultiExtent: return "file of several extents that do not fit together, passed over";
    case iso::ReadProblem::RockRidgeDamaged: return "damaged Rock Ridge entries, the rest of them ignored";
  }
  return "problem";
}

std::string Slashed(std::string p) {
  std::replace(p.begin(), p.end(), '\\', '/');
  while (!p.empty() && p.front() == '/') p.erase(p.begin());
  return p;
}

class Collector final : public iso::ImportSink {
 public:
  Collector(SessionTree& tree, const std::function<bool()>& cancelled) : FTree(tree), FCancelled(cancelled) {}

  iso::TDEntry* Add(iso::TDEntry& parent, const iso::DiscRecord& r) override {
    SessionFile f;
    f.Path = parent.PathKey.empty() ? r.Name : parent.PathKey + "/" + r.Name;
    std::string name = r.DiscName.empty() ? r.Name : r.DiscName;
    std::replace(name.begin(), name.end(), '/', '_');
    const auto up = FListed.find(&parent);
    const std::string& above = up == FListed.end() ? std::string() : up->second;
    f.Listed = above.empty() ? name : above + "/" + name;
    f.Extent = r.Extent;
    f.Size = r.Size;
    f.Directory = r.IsDirectory();
    FTree.Files.push_back(f);
    if (!f.Directory) return nullptr;
    iso::TDEntry& d = FDirs.emplace_back();
    d.PathKey = f.Path;
    FListed.emplace(&d, FTree.Files.back().Listed);
    return &d;
  }
  bool Stop() override { return FCancelled && FCancelled(); }
  void Problem(iso::ReadProblem p, const std::string& what) override {
    if (p == iso::ReadProblem::DirectoryUnreadable) FTree.UnreadDirectories.push_back(Slashed(what));
    FTree.Problems.push_back(Slashed(what) + ": " + ProblemText(p));
    if (p != iso::ReadProblem::NameRenamed) FTree.LeftOut.push_back(FTree.Problems.back());
  }

 private:
  SessionTree& FTree;
  const std::function<bool()>& FCancelled;
  std::deque<iso::TDEntry> FDirs;  // stable addresses while the walk runs
  std::unordered_map<const iso::TDEntry*, std::string> FListed;  // a directory's path as recorded
};

}  // namespace

base::Result<SessionTree> ReadSessionTree(iso::DiscSource& disc, std::uint8_t session,
                                          const std::function<bool()>& cancelled) {
  if (session == 0) return base::MakeError(base::ErrorKind::InvalidData, "the disc holds no session");
  const auto track = disc.TrackInfo(session);
  if (!track)
    return base::MakeError(base::ErrorKind::Device, "session " + std::to_string(session) + " cannot be found");
  auto root = iso::FindDescriptor(disc, track->Start, true);
  if (!root) root = iso::FindDescriptor(disc, track->Start, false);
  if (!root)
    return base::MakeError(base::ErrorKind::InvalidData,
                           "session " + std::to_string(session) + " holds no ISO 9660 file system");
  SessionTree tree;
  tree.Session = session;
  tree.Start = track->Start;
  // As the import judges it: the volume ends past what the track recorded.
  const std::uint32_t recorded = track->RecordedEnd;
  tree.Incomplete = recorded != 0 && recorded >= track->Start && root->VolumeSpaceSize > recorded;
  // The root's own records belong to it like any directory's.
  tree.Files.push_back({"", "", root->Extent, root->Size, true});
  iso::TDEntry top;
  Collector sink(tree, cancelled);
  iso::ReadTree(disc, *root, top, sink);
  if (cancelled && cancelled()) return base::MakeError(base::ErrorKind::Cancelled, "cancelled");
  return tree;
}

DamageList DamagedFiles(const SessionTree& tree, const std::vector<SectorRange>& bad) {
  DamageList out;
  if (bad.empty()) return out;
  std::vector<SectorRange> owned;
  std::set<std::string> dirs;
  for (const auto& f : tree.Files) {
    const std::uint64_t n = f.Sectors();
    if (n == 0) continue;
    const std::uint64_t end = std::uint64_t{f.Extent} + n;
    owned.push_back({f.Extent, static_cast<std::uint32_t>(std::min<std::uint64_t>(n, 0xFFFFFFFFull - f.Extent))});
    // The first bad range that ends after the file starts, then every one that starts before it ends.
    auto it = std::upper_bound(bad.begin(), bad.end(), std::uint64_t{f.Extent},
                               [](std::uint64_t v, const SectorRange& r) { return v < r.End(); });
    FileDamage hit;
    for (; it != bad.end() && it->Start < end; ++it) {
      const std::uint64_t from = std::max<std::uint64_t>(it->Start, f.Extent);
      const std::uint64_t to = std::min<std::uint64_t>(it->End(), end);
      hit.Sectors.push_back({static_cast<std::uint32_t>(from), static_cast<std::uint32_t>(to - from)});
    }
    if (hit.Sectors.empty()) continue;
    hit.Path = f.Path;
    hit.Directory = f.Directory;
    if (f.Directory) dirs.insert(f.Path);
    if (const auto cut = f.Path.rfind('/'); cut != std::string::npos)
      dirs.insert(f.Path.substr(0, cut));
    else if (!f.Directory)
      dirs.insert("");
    out.Files.push_back(std::move(hit));
  }
  for (const auto& d : dirs) out.Directories.push_back(d);
  // Bad sectors minus the union of what the files own.
  std::sort(owned.begin(), owned.end(), [](const SectorRange& a, const SectorRange& b) { return a.Start < b.Start; });
  std::size_t o = 0;
  std::uint64_t coveredTo = 0;  // everything below is owned, as far as scanned
  for (const auto& r : bad) {
    std::uint64_t at = r.Start;
    while (at < r.End()) {
      while (o < owned.size() && owned[o].Start <= at) coveredTo = std::max(coveredTo, owned[o++].End());
      if (coveredTo > at) {
        at = std::min<std::uint64_t>(coveredTo, r.End());
        continue;
      }
      const std::uint64_t next = o < owned.size() ? std::min<std::uint64_t>(owned[o].Start, r.End()) : r.End();
      out.NoFile.push_back({static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(next - at)});
      at = next;
    }
  }
  return out;
}

std::string RangesText(const std::vector<SectorRange>& ranges) {
  std::string s;
  for (const auto& r : ranges) {
    if (!s.empty()) s += ", ";
    s += std::to_string(r.Start);
    if (r.Count > 1) s += "-" + std::to_string(r.End() - 1);
  }
  return s;
}

}  // namespace health
