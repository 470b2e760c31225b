// The compilation operations of TKavoBurner: the add rules, lookups and
// removal over the compilation tree.
#include <algorithm>
#include <cmath>

#include "engine/folder_prefetch.h"
#include "engine/iso/date_time.h"
#include "engine/iso/naming.h"
#include "engine/iso/rock_ridge.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"
#include "platform/file_find.h"
#include "platform/time_zone.h"

namespace engine {
namespace {

using iso::UpperKey;

bool IsSeparator(char c) { return c == '\\' || platform::IsPathSeparator(c); }

std::string WithTrailingSeparator(const std::string& folder) {
  if (!folder.empty() && IsSeparator(folder.back())) return folder;
  return folder + platform::kPathSeparator;
}

// The Delphi FindFirst rule: hidden, system and directory entries only when
// the mask asks for them.
bool PassesAttributeMask(std::uint32_t attributes, std::uint32_t mask) {
  const std::uint32_t excluded =
      ~mask & (platform::kAttrHidden | platform::kAttrSystem | platform::kAttrVolumeId | platform::kAttrDirectory);
  return (attributes & excluded) == 0;
}

}  // namespace

bool TKavoBurner::NameFits(const std::string& longName, std::size_t maxUnits) const {
  // Rock Ridge keeps the whole name; the other trees get shortened ones.
  // A trailing "." may be the one the add rule appended, which Rock Ridge leaves off.
  if (FRockRidge)
    return longName.size() <= iso::kMaxRockRidgeName + (!longName.empty() && longName.back() == '.' ? 1 : 0);
  return iso::Utf16Length(longName) <= maxUnits;
}

void TKavoBurner::RefuseSource(const std::string& text, std::uint8_t kind) {
  if (FRefused.size() < 1000) FRefused.push_back(text.rfind(">>> ", 0) == 0 ? text.substr(4) : text);
  ++FRefusedCount;
  DebugMessage(text, kind);
}

void TKavoBurner::TakePosixAttributes(iso::TFEntry& e, const platform::FindData& found) {
  e.Mode = found.Mode;
  e.Uid = found.Uid;
  e.Gid = found.Gid;
  e.AccessTime = found.AccessTimeSec;
  e.ChangeTime = found.ChangeTimeSec;
  if (!found.LinkTarget.empty())
    e.MutableExtra().SymlinkTarget = found.LinkTarget;
  else if (e.Extra != nullptr)
    e.Extra->SymlinkTarget.clear();
}

// Gives a recursive add its folder prefetch for as long as it runs; an add
// started inside another one keeps the outer one's when it looks at the
// same attributes.
class WalkScope {
 public:
  WalkScope(TKavoBurner& burner, bool archiveLookup, bool recurse) : FBurner(burner), FOuter(burner.FWalk) {
    if (!recurse || (FOuter != nullptr && FOuter->ArchiveLookup() == archiveLookup &&
                     FOuter->KeepLinks() == burner.KeepLinks()))
      return;
    FOwn = std::make_unique<FolderPrefetch>(archiveLookup);
    FOwn->SetKeepLinks(burner.KeepLinks());
    FBurner.FWalk = FOwn.get();
  }
  ~WalkScope() { FBurner.FWalk = FOuter; }
  WalkScope(const WalkScope&) = delete;
  WalkScope& operator=(const WalkScope&) = delete;

 private:
  TKavoBurner& FBurner;
  FolderPrefetch* FOuter;
  std::unique_ptr<FolderPrefetch> FOwn;
};

bool TKavoBurner::ResetCompilation(std::uint32_t maxEntries, std::uint32_t maxDirs) {
  FHeader = {};
  FLayout = {};
  FTables.Reset(maxEntries, maxDirs);
  FDataDisc.reset();
  FLaidOut = false;
  FRefused.clear();
  FRefusedCount = 0;
  return true;
}

TDEntry* TKavoBurner::FindCompilationDir(const std::string& path) const {
  if (path.empty() || path == "\\") return FTables.Root();
  std::string key = path;
  if (key.back() == '\\') key.pop_back();
  key = UpperKey(key);
  if (key == "\\") return nullptr;  // only directories after the root are compared
  return FTables.FindDirByKey(key);
}

TFEntry* TKavoBurner::AddDirectory(TDEntry& parent, const std::string& longName, const std::string& shortName,
                                   std::optional<iso::LocalDate> date, std::uint32_t attributes) {
  const std::string key = UpperKey(iso::JoinKey(parent.PathKey, longName));
  if (TDEntry* existing = FTables.FindDirByKey(key)) return existing->Self;
  // The name belongs to a file: two entries of one name would make the
  // directory ambiguous on the disc.
  if (FTables.FindEntry(parent, longName) != nullptr) {
    RefuseSource(">>> " + texts::Format(texts::kNameTaken, key), device::kMsgCompilationError);
    return nullptr;
  }
  if (FTables.DirsFull()) {
    RefuseSource(">>> " + texts::Format(texts::kMaximumDirectories, FTables.MaxDirs()), device::kMsgTableFull);
    return nullptr;
  }
  if (FTables.EntriesFull()) {
    RefuseSource(texts::Format(texts::kMaximumFiles, FTables.MaxEntries()), device::kMsgTableFull);
    return nullptr;
  }
  // A Joliet identifier takes two bytes a character and a record holds at
  // most 255 bytes: a longer name would corrupt the directory.
  if (!NameFits(longName, iso::kMaxJolietDirUnits)) {
    RefuseSource(">>> " + texts::Format(texts::kNameTooLong, key), device::kMsgCompilationError);
    return nullptr;
  }
  TFEntry* e = FTables.NewEntry(parent, longName);
  TDEntry* d = FTables.NewDir(*e, parent, key);
  const std::string iso = iso::CutUtf8(shortName.empty() ? UpperKey(longName) : shortName,
                                       iso::kMaxIsoIdentifierBytes);
  e->IsoName = d->IsoName = iso;
  d->LongName = longName;
  e->Attributes = attributes;
  const iso::LocalDate when = date.value_or(iso::NowLocalDate());
  e->DateTime = when.Value;
  e->TimeZoneOffset = when.Offset;
  Changed();
  return e;
}

TDEntry* TKavoBurner::MakeCompilationDir(const std::string& destPath, const std::string& name) {
  TDEntry* dest = FindCompilationDir(destPath);
  if (dest == nullptr) {
    RefuseSource(texts::kInvalidDestinationPath, device::kMsgCompilationError);
    return nullptr;
  }
  std::string n = name;
  if (!n.empty() && n.front() == '\\') n.erase(0, 1);
  if (!n.empty() && n.back() == '\\') n.pop_back();
  if (n.empty()) return nullptr;  // a nameless record cannot be written
  // Names from task files are untrusted: "..", a "/" or a "\" inside would
  // make a path on the disc that leads somewhere else when read back.
  if (n == "." || n == ".." || n.find_first_of("/\\") != std::string::npos) {
    RefuseSource(">>> " + texts::Format(texts::kInvalidFolderName, n), device::kMsgCompilationError);
    return nullptr;
  }
  TFEntry* e = AddDirectory(*dest, n, iso::ShortNameRule(n), iso::NowLocalDate(), platform::kAttrDirectory);
  if (e == nullptr) return nullptr;
  return e->DirEntry != nullptr ? e->DirEntry : FTables.Root();
}

namespace {

// Whether a file differs from what an earlier session recorded of it: its
// size, or its time to the second (records keep whole seconds), compared in
// UTC so that a change of the clock's offset is no change of the file.
bool ChangedSince(const TFEntry& recorded, std::int64_t size, TDateTime date, std::int8_t offset) {
  if (recorded.RecordedSize != size) return true;
  constexpr double kSecondsPerDay = 86400.0;
  const double recordedUtc = recorded.DateTime * kSecondsPerDay - recorded.TimeZoneOffset * 900.0;
  const double fileUtc = date * kSecondsPerDay - offset * 900.0;
  return std::abs(recordedUtc - fileUtc) >= 1.0;
}

}  // namespace

bool TKavoBurner::TakeFolderAttributes(TDEntry& dir, const std::string& sourceFolder) {
  platform::FindData found;
  if (!FRockRidge || dir.Self == nullptr || !platform::GetFileInfo(sourceFolder, found)) return false;
  // Without Rock Ridge the folder keeps the date it was made with, as images always had.
  if (const auto when = iso::FileTimeToLocalDate(found.WriteTimeSec, found.WriteTimeNsec)) {
    dir.Self->DateTime = when->Value;
    dir.Self->TimeZoneOffset = when->Offset;
  }
  TakePosixAttributes(*dir.Self, found);
  Changed();
  return true;
}

std::uint8_t TKavoBurner::AddFileEntry(TDEntry& dir, const std::string& sourcePath, const platform::FindData& found,
                                       bool clearArchive, std::optional<std::int32_t> absoluteSector,
                                       std::set<std::string>* listing) {
  std::string longName = found.Name;
  const bool isDir = (found.Attributes & platform::kAttrDirectory) != 0;
  if (!isDir && longName.find('.') == std::string::npos) longName += '.';
  std::string shortName = found.AlternateName.empty() ? UpperKey(longName) : found.AlternateName;
  const bool tooLong = !NameFits(longName, iso::kMaxLongFileName);
  bool skip = tooLong;
  const iso::LocalDate foundDate =
      iso::FileTimeToLocalDate(found.WriteTimeSec, found.WriteTimeNsec).value_or(iso::NowLocalDate());
  TDateTime date = foundDate.Value;
  const auto size = static_cast<std::int64_t>(found.Size);
  RaiseAndWait([&] {
    if (OnAddFile) OnAddFile(*this, sourcePath, longName, shortName, date, found.Attributes, size, skip);
  });
  if (skip) {
    // A file left out for its name is said so: a backup must not lose one quietly.
    if (tooLong && !NameFits(longName, iso::kMaxLongFileName))
      RefuseSource(">>> " + texts::Format(texts::kNameTooLong, sourcePath), device::kMsgCompilationError);
    return 0;
  }

  // Two files of one folder whose names differ only in case (Linux keeps
  // both) would be one entry here: the second is said to be left out.
  if (listing != nullptr && !listing->insert(UpperKey(longName)).second) {
    RefuseSource(">>> " + texts::Format(texts::kNameOtherCase, sourcePath), device::kMsgCompilationError);
    return 0;
  }
  // The handler may have renamed the entry, so look the name up afterwards.
  TFEntry* existing = FTables.FindEntry(dir, longName);
  // A person's file that changed since an earlier session recorded it takes
  // that session's place; otherwise a backup would keep the old copy and
  // still end as done.
  const bool newerThanImported = existing != nullptr && existing->Imported && !absoluteSector &&
                                 !existing->IsDirectory() && ChangedSince(*existing, size, date, foundDate.Offset);
  // A directory is never turned into a file.
  if (existing != nullptr && !newerThanImported && (!FReplaceFile || existing->IsDirectory())) return 0;
  if (existing == nullptr && FTables.EntriesFull()) {
    RefuseSource(texts::Format(texts::kMaximumFiles, FTables.MaxEntries()), device::kMsgTableFull);
    return 0;
  }
  if (!NameFits(longName, iso::kMaxJolietFileUnits)) {
    RefuseSource(">>> " + texts::Format(texts::kNameTooLong, sourcePath), device::kMsgCompilationError);
    return 0;
  }
  TFEntry* e = existing != nullptr ? existing : FTables.NewEntry(dir, longName);
  e->IsoName = iso::CutUtf8(UpperKey(shortName), iso::kMaxIsoIdentifierBytes - 2);
  e->LongName = longName;
  e->SourceSize = e->RecordedSize = size;
  e->Attributes = found.Attributes;
  e->DateTime = date;
  // A date the handler chose gets the offset in force at that date.
  e->TimeZoneOffset = date == foundDate.Value ? foundDate.Offset : iso::OffsetAtLocal(date);
  e->SourcePath = sourcePath;
  e->ClearArchive = clearArchive;
  e->DotAdded = longName.size() == found.Name.size() + 1 && longName.back() == '.' &&
                found.Name.find('.') == std::string::npos && longName.compare(0, found.Name.size(), found.Name) == 0;
  TakePosixAttributes(*e, found);
  e->Imported = absoluteSector.has_value();
  if (absoluteSector) e->Extent = e->JolietExtent = *absoluteSector;
  Changed();
  return 1;
}

std::string TKavoBurner::DeriveDestination(const std::string& destPath, const std::string& source) const {
  std::string rest = source;
  std::replace_if(rest.begin(), rest.end(), platform::IsPathSeparator, '\\');
  if (rest.rfind("\\\\", 0) == 0) {
    // \\server\share\rest keeps "\rest"
    const auto share = rest.find('\\', 2);
    const auto after = share == std::string::npos ? std::string::npos : rest.find('\\', share + 1);
    rest = after == std::string::npos ? std::string() : rest.substr(after);
  } else if (rest.size() >= 2 && rest[1] == ':') {
    rest = rest.substr(2);
  }
  while (rest.size() > 1 && rest.back() == '\\') rest.pop_back();
  if (rest == "\\") rest.clear();
  if (!rest.empty() && rest.front() != '\\') rest.insert(0, "\\");
  std::string dest = destPath;
  while (!dest.empty() && dest.back() == '\\') dest.pop_back();
  return dest + rest;
}

TDEntry* TKavoBurner::ForceCompilationPath(const std::string& path) {
  std::string p = path;
  while (p.size() > 1 && p.back() == '\\') p.pop_back();
  if (TDEntry* d = FindCompilationDir(p)) return d;
  const auto cut = p.rfind('\\');
  if (cut == std::string::npos) return MakeCompilationDir("\\", p);
  TDEntry* parent = cut == 0 ? FTables.Root() : ForceCompilationPath(p.substr(0, cut));
  if (parent == nullptr) return nullptr;
  return MakeCompilationDir(parent->PathKey, p.substr(cut + 1));
}

std::uint8_t TKavoBurner::AddFileToCompilation(const std::string& destPath, const std::string& sourcePath,
                                               bool deriveDest) {
  TDEntry* dest = nullptr;
  if (deriveDest) {
    std::string folder = sourcePath;
    const auto cut = std::find_if(folder.rbegin(), folder.rend(), IsSeparator);
    folder = cut == folder.rend() ? std::string() : folder.substr(0, static_cast<std::size_t>(folder.rend() - cut - 1));
    dest = ForceCompilationPath(DeriveDestination(destPath, folder));
  } else {
    dest = FindCompilationDir(destPath);
  }
  if (dest == nullptr) {
    RefuseSource(texts::kInvalidDestinationPath, device::kMsgCompilationError);
    return 0;
  }
  // The exact path, not a search: "*" and "?" are ordinary characters in a
  // Linux file name, and a search could find a different file.
  platform::FindData found;
  if (!platform::GetFileInfo(sourcePath, found)) return 255;
  if (found.Special) {
    RefuseSource(">>> " + texts::Format(texts::kNotRegularFile, sourcePath), device::kMsgCompilationError);
    return 0;
  }
  if ((found.Attributes & platform::kAttrDirectory) != 0) {
    // A folder handed over as a file (its name has an extension) goes in with
    // its contents; as a file it would reach the disc empty.
    TFEntry* e = AddDirectory(*dest, found.Name, found.AlternateName,
                              iso::FileTimeToLocalDate(found.WriteTimeSec, found.WriteTimeNsec), found.Attributes);
    if (e == nullptr || e->DirEntry == nullptr) return 0;
    TakePosixAttributes(*e, found);
    std::set<std::pair<std::uint64_t, std::uint64_t>> ancestors;
    if (found.Inode != 0) ancestors.emplace(found.Device, found.Inode);
    WalkScope walk(*this, false, true);
    return AddFolderContents(*e->DirEntry, WithTrailingSeparator(sourcePath), false, true, platform::kAttrAnyFile,
                             "*.*", ancestors)
        .value_or(0);
  }
  return AddFileEntry(*dest, sourcePath, found, false, std::nullopt);
}

std::uint8_t TKavoBurner::AddFolderToCompilation(const std::string& destPath, const std::string& sourceFolder,
                                                 bool archiveOnly, bool deriveDest, bool recurse,
                                                 std::uint32_t attrMask, const std::string& fileMask) {
  // Checked first, so that a missing source leaves no derived folders behind.
  if (!platform::IsDirectory(sourceFolder)) return 0;
  TDEntry* dest = deriveDest ? ForceCompilationPath(DeriveDestination(destPath, sourceFolder))
                             : FindCompilationDir(destPath);
  if (dest == nullptr) {
    RefuseSource(texts::kInvalidDestinationPath, device::kMsgCompilationError);
    return 0;
  }
  std::set<std::pair<std::uint64_t, std::uint64_t>> ancestors;
  platform::FindData self;
  if (platform::GetFileInfo(sourceFolder, self) && self.Inode != 0) ancestors.emplace(self.Device, self.Inode);
  WalkScope walk(*this, archiveOnly, recurse);
  return AddFolderContents(*dest, WithTrailingSeparator(sourceFolder), archiveOnly, recurse, attrMask,
                           fileMask.empty() ? "*.*" : fileMask, ancestors)
      .value_or(0);
}

bool TKavoBurner::WalkCancelled() const { return OperationClaimed() && CancelRequested(); }

std::optional<std::uint8_t> TKavoBurner::AddFolderContents(TDEntry& dest, const std::string& folder, bool archiveOnly, bool recurse,
                                            std::uint32_t attrMask, const std::string& fileMask,
                                            std::set<std::pair<std::uint64_t, std::uint64_t>>& ancestors) {
  if (WalkCancelled()) return std::nullopt;
  // One listing serves both passes: subfolders first, then the files.
  // The archive bit is only looked at when it decides what goes in.
  FolderPrefetch* walk =
      FWalk != nullptr && FWalk->ArchiveLookup() == archiveOnly && FWalk->KeepLinks() == KeepLinks() ? FWalk : nullptr;
  const std::vector<platform::FindData> items =
      walk != nullptr ? walk->Take(folder) : ListFolder(folder, archiveOnly, KeepLinks());
  // The names this listing has taken, folders and files alike.
  std::set<std::string> listing;
  if (recurse) {
    std::vector<std::string> subfolders;
    if (walk != nullptr) {
      for (const auto& item : items)
        if ((item.Attributes & platform::kAttrDirectory) != 0)
          subfolders.push_back(folder + item.Name + platform::kPathSeparator);
      walk->Request(subfolders);
    }
    std::size_t nextSub = 0;
    for (const auto& item : items) {
      if ((item.Attributes & platform::kAttrDirectory) == 0) continue;
      // A folder passed over below is dropped from the listings asked for.
      struct DropUnlessEntered {
        FolderPrefetch* Walk;
        const std::string* Folder;
        ~DropUnlessEntered() {
          if (Walk != nullptr && Folder != nullptr) Walk->Drop(*Folder);
        }
      } unlessEntered{walk, walk != nullptr ? &subfolders[nextSub++] : nullptr};
      std::string longName = item.Name;
      std::string shortName = item.AlternateName.empty() ? UpperKey(item.Name) : item.AlternateName;
      bool skip = false;
      RaiseAndWait([&] {
        if (!OnAddDir) return;
        std::string l = longName, s = shortName;  // changes to the names have no effect
        OnAddDir(*this, l, s, skip);
      });
      if (skip) continue;
      // Folders whose names differ only in case would be merged into one.
      if (!listing.insert(UpperKey(longName)).second) {
        RefuseSource(">>> " + texts::Format(texts::kNameOtherCase, folder + item.Name), device::kMsgCompilationError);
        continue;
      }
      const auto id = std::make_pair(item.Device, item.Inode);
      if (item.Inode != 0 && ancestors.count(id) != 0) {
        RefuseSource(">>> " + texts::Format(texts::kFolderLoop, folder + item.Name), device::kMsgCompilationError);
        continue;
      }
      // A file of the same name already sits here: the folder stays out and
      // the rest goes on, as for a file that meets a folder.
      if (const TFEntry* taken = FTables.FindEntry(dest, longName); taken != nullptr && !taken->IsDirectory()) {
        RefuseSource(">>> " + texts::Format(texts::kNameTaken, folder + item.Name), device::kMsgCompilationError);
        continue;
      }
      if (!NameFits(longName, iso::kMaxJolietDirUnits)) {
        // Reported by AddDirectory; the rest of the folder still goes in.
        AddDirectory(dest, longName, shortName, std::nullopt, item.Attributes);
        continue;
      }
      TFEntry* e = AddDirectory(dest, longName, shortName,
                                iso::FileTimeToLocalDate(item.WriteTimeSec, item.WriteTimeNsec), item.Attributes);
      if (e == nullptr || e->DirEntry == nullptr) return std::nullopt;
      TakePosixAttributes(*e, item);
      TDEntry* sub = e->DirEntry;
      unlessEntered.Folder = nullptr;
      if (item.Inode != 0) ancestors.insert(id);
      const auto r = AddFolderContents(*sub, folder + item.Name + platform::kPathSeparator, archiveOnly,
                                               recurse, attrMask, fileMask, ancestors);
      if (item.Inode != 0) ancestors.erase(id);
      if (sub->FirstChild == nullptr) FTables.Remove(*e);  // empty folders do not reach the disc
      if (!r) return std::nullopt;
    }
  }
  std::uint8_t result = 1;
  for (const auto& item : items) {
    if ((item.Attributes & platform::kAttrDirectory) != 0) continue;
    if (item.Special) {
      // A FIFO or device would block the burn or never end.
      RefuseSource(">>> " + texts::Format(texts::kNotRegularFile, folder + item.Name), device::kMsgCompilationError);
      continue;
    }
    if (!PassesAttributeMask(item.Attributes, attrMask) || !platform::MatchesMask(item.Name, fileMask)) continue;
    if (archiveOnly && (item.Attributes & platform::kAttrArchive) == 0) continue;
    if (WalkCancelled()) return std::nullopt;
    result = AddFileEntry(dest, folder + item.Name, item, archiveOnly, std::nullopt, &listing);
  }
  return result;
}

bool TKavoBurner::RemoveCompilationDir(TDEntry* dir) {
  if (dir == nullptr || dir == FTables.Root() || dir->Self == nullptr) return false;
  FTables.Remove(*dir->Self);
  Changed();
  return true;
}

bool TKavoBurner::RemoveCompilationEntry(const std::string& dirPath, const std::string& longName) {
  TDEntry* dir = FindCompilationDir(dirPath);
  if (dir == nullptr) return false;
  TFEntry* e = FTables.FindEntry(*dir, longName);
  if (e == nullptr) return false;
  FTables.Remove(*e);
  Changed();
  return true;
}

bool TKavoBurner::ClearArchiveFlags() {
  for (const auto& f : FTables.Files())
    if (f->ClearArchive && (f->Attributes & platform::kAttrArchive) != 0 && !f->SourcePath.empty())
      platform::SetFileAttributes(f->SourcePath, f->Attributes & ~platform::kAttrArchive);
  return true;
}

std::int64_t TKavoBurner::MeasureSourceSize(const std::string& path) const {
  std::uint64_t total = 0;
  if (!path.empty() && IsSeparator(path.back())) {
    // Iterative walk; a folder reached again through a link is counted once.
    std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
    platform::FindData self;
    if (platform::GetFileInfo(path, self) && self.Inode != 0) seen.emplace(self.Device, self.Inode);
    std::vector<std::string> todo{path};
    while (!todo.empty()) {
      const std::string folder = WithTrailingSeparator(todo.back());
      todo.pop_back();
      for (const auto& item : ListFolder(folder, false)) {
        if ((item.Attributes & platform::kAttrDirectory) == 0) {
          total += item.Size;
        } else if (item.Inode == 0 || seen.emplace(item.Device, item.Inode).second) {
          todo.push_back(folder + item.Name);
        }
      }
    }
  } else {
    platform::FileFinder finder;
    platform::FindData fd;
    for (bool ok = finder.FindFirst(path, platform::kAttrAnyFile, fd); ok; ok = finder.FindNext(fd))
      if ((fd.Attributes & platform::kAttrDirectory) == 0) total += fd.Size;
  }
  return static_cast<std::int64_t>(total);
}

std::uint32_t TKavoBurner::CompilationDirCount() const {
  return static_cast<std::uint32_t>(FTables.Dirs().size() - 1);
}

std::uint32_t TKavoBurner::CompilationEntryCount() const {
  return static_cast<std::uint32_t>(FTables.Files().size());
}

}  // namespace engine
