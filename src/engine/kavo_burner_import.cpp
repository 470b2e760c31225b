// Earlier sessions of a disc: importing a session's tree into the
// compilation, and copying imported files back to local files.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <vector>

#include "engine/device/media_types.h"
#include "engine/device_disc_source.h"
#include "engine/iso/date_time.h"
#include "engine/iso/naming.h"
#include "engine/iso/records.h"
#include "engine/iso/session_reader.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"
#include "platform/file_find.h"
#include "platform/file_stream.h"
#include "platform/utf8_path.h"

namespace engine {
namespace {

// A crafted disc could otherwise flood the log with one line per record.
constexpr int kMaxReportedProblems = 100;
// 31 sectors a read, as the drive wrappers' 64 KiB buffer allows.
constexpr std::uint32_t kExtractChunk = 63488;

const char* ProblemText(iso::ReadProblem p) {
  switch (p) {
    case iso::ReadProblem::NameTooLong: return texts::kFileNameLengthExceeds;
    case iso::ReadProblem::NameRenamed: return texts::kDiscNameRenamed;
    case iso::ReadProblem::NameUnusable: return texts::kDiscNameUnusable;
    case iso::ReadProblem::OutsideDisc: return texts::kDiscOutside;
    case iso::ReadProblem::DirectoryLoop: return texts::kDiscLoop;
    case iso::ReadProblem::DirectoryTooLarge: return texts::kDiscFolderTooLarge;
    case iso::ReadProblem::TooDeep: return texts::kDiscTooDeep;
    case iso::ReadProblem::ReadLimit: return texts::kDiscReadLimit;
    case iso::ReadProblem::DirectoryUnreadable: return texts::kDiscFolderUnreadable;
    case iso::ReadProblem::MultiExtent: return texts::kDiscMultiExtent;
    case iso::ReadProblem::RockRidgeDamaged: return texts::kDiscRockRidgeDamaged;
  }
  return texts::kDiscFolderUnreadable;
}

}  // namespace

// Imported files stay where the earlier session has them; copied files
// (another drive's disc) are written anew from that disc.
enum class DiscFiles { Imported, Copied };

class ImportIntoCompilation final : public iso::ImportSink {
 public:
  explicit ImportIntoCompilation(TKavoBurner& burner, DiscFiles files = DiscFiles::Imported)
      : FBurner(burner), FFiles(files) {}

  TDEntry* Add(TDEntry& parent, const iso::DiscRecord& r) override {
    // The refusals of adding are checked here so that they share the
    // report limit: a crafted disc can hold millions of such names.
    if (!r.IsDirectory()) {
      const std::string longName = r.Name.find('.') == std::string::npos ? r.Name + "." : r.Name;
      if (!FBurner.NameFits(longName, iso::kMaxLongFileName)) {
        Report(">>> " + texts::Format(texts::kNameTooLong, longName), device::kMsgCompilationError);
        LeftOut(iso::JoinKey(parent.PathKey, r.Name));
      } else if ((FFiles == DiscFiles::Copied ? FBurner.AddCopiedFile(parent, r) : FBurner.AddImportedFile(parent, r)) ==
                 nullptr) {
        // A second record of one name (a file listed twice) says so; a full
        // table was reported by the walk.
        if (FBurner.FTables.FindEntry(parent, longName) != nullptr)
          Report(">>> " + texts::Format(texts::kNameTaken, iso::JoinKey(parent.PathKey, r.Name)),
                 device::kMsgCompilationError);
        LeftOut(iso::JoinKey(parent.PathKey, r.Name));
      }
      return nullptr;
    }
    const std::string key = iso::UpperKey(iso::JoinKey(parent.PathKey, r.Name));
    if (TDEntry* existing = FBurner.FTables.FindDirByKey(key)) return existing;
    const TFEntry* taken = FBurner.FTables.FindEntry(parent, r.Name);
    if (taken != nullptr || !FBurner.NameFits(r.Name, iso::kMaxJolietDirUnits)) {
      Report(">>> " + texts::Format(taken != nullptr ? texts::kNameTaken : texts::kNameTooLong, key),
             device::kMsgCompilationError);
      LeftOut(key);
      return nullptr;
    }
    if (FBurner.FTables.DirsFull()) {
      Report(texts::Format(texts::kMaximumDirectories, FBurner.FTables.MaxDirs()), device::kMsgTableFull);
      LeftOut(key);
      return nullptr;
    }
    const std::uint32_t attributes = platform::kAttrDirectory | (r.IsHidden() ? platform::kAttrHidden : 0);
    TFEntry* e = FBurner.AddDirectory(parent, r.Name, iso::ShortNameRule(r.Name),
                                      iso::LocalDate{r.Date, iso::OffsetAtLocal(r.Date)}, attributes);
    if (e == nullptr || e->DirEntry == nullptr) {
      LeftOut(key);
      return nullptr;
    }
    TKavoBurner::TakeDiscAttributes(*e, r);
    return e->DirEntry;
  }

  bool Stop() override {
    if (FBurner.FTables.EntriesFull() && !FFull) {
      FFull = true;
      Report(texts::Format(texts::kMaximumFiles, FBurner.FTables.MaxEntries()), device::kMsgTableFull);
    }
    if (FBurner.CancelRequested()) FCancelled = true;
    const bool stop = FFull || FCancelled;
    if (stop) FBurner.FImportCut = true;
    return stop;
  }
  bool Cancelled() const { return FCancelled; }

  void Problem(iso::ReadProblem p, const std::string& what) override {
    if (p == iso::ReadProblem::NameTooLong)
      Report(std::string(texts::kFileNameLengthExceeds) + "\n\r" + what, device::kMsgCompilationError);
    else
      Report(">>> " + texts::Format(ProblemText(p), what), device::kMsgCompilationError);
    // A renamed record still comes in, as does one with damaged Rock Ridge
    // entries; a too long name does not say where it was.
    if (p == iso::ReadProblem::NameRenamed || p == iso::ReadProblem::RockRidgeDamaged) return;
    if (p == iso::ReadProblem::NameTooLong || p == iso::ReadProblem::ReadLimit) FBurner.FImportCut = true;
    else LeftOut(what);
  }

 private:
  void Report(const std::string& line, std::uint8_t kind) {
    if (++FReported <= kMaxReportedProblems) FBurner.DebugMessage(line, kind);
    else if (FReported == kMaxReportedProblems + 1) FBurner.DebugMessage(">>> " + std::string(texts::kDiscMoreErrors), kind);
  }

  void LeftOut(const std::string& path) {
    // Past this many the walk counts as cut as a whole rather than growing the list.
    constexpr std::size_t kMaxLeftOutPaths = 65536;
    if (FBurner.FImportLeftOut.size() >= kMaxLeftOutPaths) FBurner.FImportCut = true;
    else FBurner.FImportLeftOut.push_back(iso::UpperKey(path.empty() || path.front() != '\\' ? "\\" + path : path));
  }

  TKavoBurner& FBurner;
  DiscFiles FFiles;
  int FReported = 0;
  bool FFull = false;
  bool FCancelled = false;
};

iso::DiscSource& TKavoBurner::DiscSource() {
  if (FDiscSource != nullptr) return *FDiscSource;
  if (!FDriveSource) FDriveSource = std::make_unique<DeviceDiscSource>(*this);
  return *FDriveSource;
}

TFEntry* TKavoBurner::AddImportedFile(TDEntry& dir, const iso::DiscRecord& r) {
  std::string longName = r.Name;
  if (longName.find('.') == std::string::npos) longName += '.';
  if (!NameFits(longName, iso::kMaxLongFileName)) return nullptr;  // reported by the walk
  TFEntry* existing = FTables.FindEntry(dir, longName);
  if (existing != nullptr && (!FReplaceFile || existing->IsDirectory())) return nullptr;
  if (existing == nullptr && FTables.EntriesFull()) return nullptr;  // reported once by the walk
  TFEntry* e = existing != nullptr ? existing : FTables.NewEntry(dir, longName);
  e->IsoName = iso::CutUtf8(iso::UpperKey(iso::ShortNameRule(longName)), iso::kMaxIsoIdentifierBytes - 2);
  e->LongName = longName;
  e->SourcePath.clear();
  e->SourceSize = e->RecordedSize = static_cast<std::int64_t>(r.Size);
  e->Attributes = r.IsHidden() ? platform::kAttrHidden : 0;
  e->DateTime = r.Date;
  e->TimeZoneOffset = iso::OffsetAtLocal(r.Date);
  e->ClearArchive = false;
  e->Imported = true;
  e->Extent = e->JolietExtent = static_cast<std::int32_t>(r.Extent);
  e->DotAdded = r.Name.find('.') == std::string::npos;
  TakeDiscAttributes(*e, r);
  Changed();
  return e;
}

void TKavoBurner::TakeDiscAttributes(TFEntry& e, const iso::DiscRecord& r) {
  e.Mode = r.Mode;
  e.Uid = r.Uid;
  e.Gid = r.Gid;
  e.AccessTime = r.AccessTime;
  e.ChangeTime = r.ChangeTime;
  if (r.IsSymlink())
    e.MutableExtra().SymlinkTarget = r.SymlinkTarget;
  else if (e.Extra != nullptr)
    e.Extra->SymlinkTarget.clear();
}

TFEntry* TKavoBurner::AddCopiedFile(TDEntry& dir, const iso::DiscRecord& r) {
  TFEntry* e = AddImportedFile(dir, r);
  if (e == nullptr) return nullptr;
  e->Imported = false;
  e->Extent = e->JolietExtent = 0;
  e->DiscDataExtent = r.Extent;
  return e;
}

bool TKavoBurner::AddDiscTreeToCompilation(std::shared_ptr<iso::DiscSource> disc, const iso::RootRecord& root,
                                           TDEntry* target) {
  if (!disc) return false;
  if (FDataDisc && FDataDisc != disc) {
    // One data disc per compilation: its files name sectors of that disc only.
    DebugMessage(">>> " + std::string(texts::kAnotherDataDisc), device::kMsgCompilationError);
    return false;
  }
  SyncOperation operation(*this, OperationPhase::Importing);
  FImportLeftOut.clear();
  FImportCut = false;
  if (target == nullptr) target = FTables.Root();
  FDataDisc = std::move(disc);
  ImportIntoCompilation sink(*this, DiscFiles::Copied);
  iso::ReadTree(*FDataDisc, root, *target, sink);
  if (sink.Cancelled() || CancelRequested()) {
    DebugMessage(">>> " + std::string(texts::kOperationAborted), device::kMsgCompilationError);
    return false;
  }
  // A copy that lacks files is not a copy: the walk has logged which.
  return !FImportCut && FImportLeftOut.empty();
}

bool TKavoBurner::ReadNextWritableAddress(std::uint32_t& start) {
  start = 0;
  WaitForReady(10000, 500);
  const std::uint8_t medium = CurrentMediaType();
  const bool finalize = FinalizeDisc();
  SetFinalizeDisc(true);
  SetWriteParameters(TestWrite(), UnderrunProtection(), medium, true);
  SetFinalizeDisc(finalize);
  WaitForReady(10000, 500);
  // Media written in place grow their one file system: the new session
  // starts where the volume ends.
  auto volumeEnd = [this] {
    std::vector<std::uint8_t> block;
    for (std::uint32_t lba = 32; lba >= 16; --lba) {
      if (!Read10(lba, 1, block) || (block[0] != 1 && block[0] != 2) || std::memcmp(block.data() + 1, "CD001", 5) != 0)
        continue;
      return std::uint32_t{block[80]} | std::uint32_t{block[81]} << 8 | std::uint32_t{block[82]} << 16 |
             std::uint32_t{block[83]} << 24;
    }
    return std::uint32_t{0};
  };
  if (medium == device::kMediumDvdRam || medium == device::kMediumDvdprw || medium == device::kMediumBdre) {
    start = volumeEnd();
    return true;
  }
  if (!Patiently([this] { return ReadDiscInformation(); })) return false;
  const device::TDiscInfo disc = LastDiscInfo();
  // Restricted overwrite holds one track, written in place like a DVD+RW:
  // its next writable address is only the end of a part-formatted area, and
  // a session that started at 0 would overwrite the earlier ones.
  if (medium == device::kMediumDvdrwRestricted) {
    if (!Patiently([this] { return ReadTrackInformation(1); })) return false;
    const device::TTrackInfo& t = LastTrackInfo();
    start = std::max(t.NextWritableValid() ? t.NextWritableAddress : 0u, volumeEnd());
    return true;
  }
  // A closed disc takes no further session.
  if (disc.DiscStatus() == 2) return false;
  // The new session goes into the last track of the open session (the
  // invisible one); counting sessions would miss after one was left open.
  const std::uint32_t track = disc.LastTrackInLastSession != 0 ? disc.LastTrackInLastSession : SessionCount() + 1;
  if (track > 0xFF || !Patiently([&] { return ReadTrackInformation(static_cast<std::uint8_t>(track)); })) return false;
  const device::TTrackInfo& t = LastTrackInfo();
  if (!t.NextWritableValid() && disc.DiscStatus() != 0) return false;
  start = t.NextWritableAddress;
  return true;
}

bool TKavoBurner::ImportLeftOutBelow(const std::string& discPath) const {
  if (FImportCut) return true;
  std::string key = iso::UpperKey(discPath.empty() || discPath.front() != '\\' ? "\\" + discPath : discPath);
  if (key.size() > 1 && key.back() == '\\') key.pop_back();
  if (key == "\\") return !FImportLeftOut.empty();
  return std::any_of(FImportLeftOut.begin(), FImportLeftOut.end(), [&](const std::string& p) {
    return p == key || (p.size() > key.size() && p.compare(0, key.size(), key) == 0 && p[key.size()] == '\\');
  });
}

bool TKavoBurner::ImportDiscSession(std::int8_t session, TDEntry* target) {
  SyncOperation operation(*this, OperationPhase::Importing);
  FImportLeftOut.clear();
  FImportCut = false;
  if (target == nullptr) target = FTables.Root();
  iso::DiscSource& disc = DiscSource();
  const std::uint8_t last = disc.LastSession();
  if (last == 0) return false;
  int n = session;
  const bool latest = n == -1 || n > last;
  if (latest) n = last;
  if (n <= 0) return false;
  std::optional<iso::RootRecord> root;
  for (;; --n) {
    DebugMessage(">>> " + texts::Format(texts::kImportingSession, n), device::kMsgProgress);
    const auto track = disc.TrackInfo(static_cast<std::uint8_t>(n));
    if (!track) {
      DebugMessage(">>> " + std::string(texts::kErrorImportingSession) + " # " + std::to_string(n),
                   device::kMsgCompilationError);
      return false;
    }
    root = iso::FindSessionRoot(disc, track->Start);
    // A burn that stopped leaves a session whose tree points at sectors
    // never written: the last one written whole is taken instead.
    const std::uint32_t end = track->RecordedEnd;
    const bool incomplete = root && end != 0 && end >= track->Start && root->VolumeSpaceSize > end;
    if (root && !incomplete) break;
    // A session with no volume of its own (a reservation that a stopped
    // burn never wrote) is passed over the same way when the latest is asked for.
    const char* why = root ? texts::kSessionIncomplete : texts::kIsoImageNotFound;
    DebugMessage(">>> " + texts::Format(why, n), device::kMsgCompilationError);
    if (!latest || n == 1) return false;
  }
  ImportIntoCompilation sink(*this);
  iso::ReadTree(disc, *root, *target, sink);
  // A walk cut short leaves earlier files out of the new session.
  if (sink.Cancelled() || CancelRequested()) {
    DebugMessage(">>> " + std::string(texts::kOperationAborted), device::kMsgCompilationError);
    return false;
  }
  return true;
}

int TKavoBurner::ExtractDiscFile(const TFEntry& entry, const std::string& destination) {
  SyncOperation operation(*this, OperationPhase::Extracting);
  DebugMessage(">>> " + texts::Format(texts::kExtractingFile, entry.LongName, destination), device::kMsgProgress);
  {
    // Nothing is replaced unless the caller says so; a folder never is.
    std::error_code ec;
    const auto there = std::filesystem::symlink_status(platform::Utf8Path(destination), ec).type();
    if (there != std::filesystem::file_type::not_found) {
      const OverwriteAnswer answer = there == std::filesystem::file_type::directory || !OnOverwriteFile
                                         ? OverwriteAnswer::Skip
                                         : OnOverwriteFile(*this, destination);
      if (answer == OverwriteAnswer::Cancel) CancelOperation();
      if (answer != OverwriteAnswer::Overwrite) {
        DebugMessage(">>> " + texts::Format(texts::kExtractExists, destination), device::kMsgCompilationError);
        return 0;
      }
    }
  }
  if (entry.IsSymlink()) return ExtractLink(entry, destination);
  // Written under another name and renamed at the end, so that a failed
  // read never leaves a damaged file under the name asked for.
  std::string partial = destination + ".part";
  // Never over a file of that name, which may be one extracted before.
  std::error_code ec;
  for (int i = 1; i < 1000 && std::filesystem::symlink_status(platform::Utf8Path(partial), ec).type() !=
                                  std::filesystem::file_type::not_found;
       ++i)
    partial = destination + ".part" + std::to_string(i);
  auto file = platform::FileStream::Open(partial, platform::OpenMode::CreateWrite);
  if (!file) {
    DebugMessage(">>> " + texts::Format(texts::kCantCreateFile, destination), device::kMsgCompilationError);
    return 0;
  }
  auto fail = [&](const char* text) {
    file.Value().Close();
    platform::RemoveFile(partial);
    DebugMessage(">>> " + texts::Format(text, destination), device::kMsgCompilationError);
    return 0;
  };
  iso::DiscSource& disc = DiscSource();
  std::vector<std::uint8_t> buffer(65536);
  std::uint64_t sector = static_cast<std::uint32_t>(entry.Extent);
  const auto total = static_cast<std::uint64_t>(std::max<std::int64_t>(entry.RecordedSize, 0));
  std::uint64_t done = 0;
  while (done < total) {
    if (CancelRequested()) return fail(texts::kOperationAborted);
    const auto take = static_cast<std::uint32_t>(std::min<std::uint64_t>(total - done, kExtractChunk));
    const std::uint32_t sectors = (take + iso::kSectorSize - 1) / iso::kSectorSize;
    if (sector + sectors > 0xFFFFFFFFull || !disc.ReadSectors(static_cast<std::uint32_t>(sector), sectors, buffer))
      return fail(texts::kExtractReadFailed);
    // Runs of zeros (most of a disk image or a preallocated recording) stay
    // holes in the new file; the size is set once at the end.
    const bool zeros = std::all_of(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(take), [](std::uint8_t b) { return b == 0; });
    if (zeros ? !file.Value().Seek(done + take) : !file.Value().Write(buffer.data(), take))
      return fail(texts::kCantWriteFile);
    sector += sectors;
    done += take;
    SetSyncProgress(done, entry.LongName);
    Raise([this, done, total] {
      if (OnProgress) OnProgress(*this, Progress{done, total});
    });
  }
  if (!file.Value().Truncate(total) || !file.Value().Sync()) return fail(texts::kCantWriteFile);
  file.Value().Close();
  if (const auto when = iso::LocalDateToFileTime(entry.DateTime)) platform::SetFileWriteTime(partial, *when);
  ApplyRecordedMode(entry, partial);
  if (!platform::RenameFile(partial, destination)) {
    platform::RemoveFile(partial);
    DebugMessage(">>> " + texts::Format(texts::kCantCreateFile, destination), device::kMsgCompilationError);
    return 0;
  }
  return 1;
}

int TKavoBurner::ExtractDiscFolder(const TDEntry& dir, const std::string& destinationFolder) {
  SyncOperation operation(*this, OperationPhase::Extracting);
  std::error_code ec;
  std::filesystem::create_directories(platform::Utf8Path(destinationFolder), ec);
  if (!std::filesystem::is_directory(platform::Utf8Path(destinationFolder), ec)) {
    DebugMessage(">>> " + texts::Format(texts::kCantCreateFile, destinationFolder), device::kMsgCompilationError);
    return 0;
  }
  int result = 1;
  for (const TFEntry* e = dir.FirstChild; e != nullptr; e = e->Next) {
    if (CancelRequested()) return 0;
    std::string name = e->LongName;
    // The dot the add rule gives names without an extension is not the file's.
    if (!e->IsDirectory() && name.size() > 1 && name.back() == '.') name.pop_back();
    // Names come from the disc: nothing may lead out of the chosen folder.
    if (name.empty() || name == "." || name == ".." || name.find_first_of("/\\") != std::string::npos ||
        !platform::IsValidFileName(name)) {
      DebugMessage(">>> " + texts::Format(texts::kExtractUnsafeName, e->LongName), device::kMsgCompilationError);
      result = 0;
      continue;
    }
    const std::string path = platform::PathUtf8(platform::Utf8Path(destinationFolder) / platform::Utf8Path(name));
    // A link inside the destination could lead the copy out of it.
    if (e->IsDirectory() && std::filesystem::is_symlink(std::filesystem::symlink_status(platform::Utf8Path(path), ec))) {
      DebugMessage(">>> " + texts::Format(texts::kExtractLink, path), device::kMsgCompilationError);
      result = 0;
      continue;
    }
    const int r = e->IsDirectory() ? ExtractDiscFolder(*e->DirEntry, path)
                                   : (e->Imported ? ExtractDiscFile(*e, path) : 1);
    if (r == 0) result = 0;
  }
  // Last, so that a folder recorded without write permission is still filled.
  if (dir.Self != nullptr) ApplyRecordedMode(*dir.Self, destinationFolder);
  return result;
}

void TKavoBurner::ApplyRecordedMode(const TFEntry& entry, const std::string& path) {
  // Permission bits only: set-user, set-group and sticky bits from a disc
  // are never given to a file here.
  if (entry.Mode == 0) return;
  std::error_code ec;
  std::filesystem::permissions(platform::Utf8Path(path), static_cast<std::filesystem::perms>(entry.Mode & 0777),
                               std::filesystem::perm_options::replace, ec);
}

int TKavoBurner::ExtractLink(const TFEntry& entry, const std::string& destination) {
  // Made as a link and never followed: one that points outside the folder
  // is created as it was recorded, not resolved.
  std::error_code ec;
  if (std::filesystem::symlink_status(platform::Utf8Path(destination), ec).type() !=
      std::filesystem::file_type::not_found) {
    // Only a file or link the person chose to overwrite is replaced.
    if (std::filesystem::is_directory(std::filesystem::symlink_status(platform::Utf8Path(destination), ec)) ||
        !platform::RemoveFile(destination)) {
      DebugMessage(">>> " + texts::Format(texts::kCantCreateFile, destination), device::kMsgCompilationError);
      return 0;
    }
  }
  std::filesystem::create_symlink(platform::Utf8Path(entry.Extra->SymlinkTarget), platform::Utf8Path(destination), ec);
  if (ec) {
    DebugMessage(">>> " + texts::Format(texts::kCantCreateFile, destination), device::kMsgCompilationError);
    return 0;
  }
  return 1;
}

}  // namespace engine
