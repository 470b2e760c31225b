#pragma once
// TKavoBurner: the one object through which the front ends use the disc
// engine. It owns the compilation tree, its layout and header stream, and
// (through its device base) the drive.
#include <atomic>
#include <chrono>
#include <deque>
#include <thread>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/cancel_token.h"
#include "engine/device/scsi_device.h"
#include "engine/interaction.h"
#include "engine/iso/compilation_tables.h"
#include "engine/iso/date_time.h"
#include "engine/iso/disc_source.h"
#include "engine/iso/entries.h"
#include "engine/iso/header.h"
#include "engine/iso/layout.h"
#include "platform/file_find.h"

namespace dispatch {
class Dispatcher;
}
namespace stream {
class TCacheThread;
class TImageFileWriter;
}
namespace device {
class TThWrite;
class TEraseThread;
struct TWrittenBlock;
}

namespace iso {
struct DiscRecord;
struct RootRecord;
}

namespace engine {

class TKavoBurner;
class FolderPrefetch;
class WalkScope;
class ImportIntoCompilation;
using iso::TDateTime;
using iso::TDEntry;
using iso::TFEntry;

using TAddFileEvent = std::function<void(TKavoBurner& sender, const std::string& fullPath, std::string& longFileName,
                                         std::string& shortFileName, TDateTime& dateTime, std::uint32_t attr,
                                         std::int64_t fileSize, bool& skip)>;
using TAddDirEvent =
    std::function<void(TKavoBurner& sender, std::string& longName, std::string& shortName, bool& skip)>;
using TWriteDoneEvent = std::function<void(TKavoBurner& sender, const std::string& error)>;
using TNotifyEvent = std::function<void(TKavoBurner& sender)>;

// Progress of long work: bytes done of bytes in all.
struct Progress {
  std::uint64_t BytesDone = 0;
  std::uint64_t BytesTotal = 0;
};
using TProgressEvent = std::function<void(TKavoBurner& sender, const Progress& progress)>;

// What the running operation is doing, for the progress display.
enum class OperationPhase : std::uint8_t {
  Idle,
  Preparing,   // layout, header, session import of a burn
  Formatting,  // a DVD-RW formatted before the burn
  Caching,     // the read-ahead cache fills before the first write
  Writing,
  Finalizing,  // flush and close
  Erasing,
  Verifying,
  Importing,
  Extracting,
};

// One consistent reading of the progress, taken under the component's lock.
struct ProgressSnapshot {
  OperationPhase Phase = OperationPhase::Idle;
  std::uint64_t BytesWritten = 0;  // or read, for verify and extraction
  std::uint64_t BytesTotal = 0;
  std::string CurrentFile;
  std::uint32_t SpeedKBps = 0;  // over the last seconds; 0 until known
  int CacheFillPercent = 0;
  std::uint32_t DriveBufferSize = 0;
  std::uint32_t DriveFreeBufferSize = 0;
  std::chrono::milliseconds Elapsed{0};
};

enum class LayoutTarget { Disc, ImageFile };

// Whether a burn fits the disc in the drive, asked before its first write.
enum class FitOutcome { Fits, TooLarge, DiscClosed, NotBlank, Unknown };
enum class BurnSource { Compilation, ImageFile };
struct FitCheck {
  FitOutcome Outcome = FitOutcome::Unknown;
  std::uint32_t Start = 0;    // the sector where the burn would start
  std::uint64_t Needed = 0;   // sectors the burn writes, its padding included
  std::uint64_t Free = 0;     // sectors free from Start on
  std::string Text;           // empty when it fits, else the reason for the person
  bool Fits() const { return Outcome == FitOutcome::Fits; }
};
// Why a boot image cannot make a disc bootable.
enum class BootProblem {
  None,
  NoImage,   // no file named
  Missing,   // not there (or not readable)
  NotAFile,  // a folder, device or FIFO
  Empty,     // an empty image would leave the catalog pointing at what follows it
};
BootProblem CheckBootImage(const std::string& path);
enum class SaveMode { Threaded, Quick };

class TKavoBurner : public device::TSCSIDevice {
 public:
  TKavoBurner();
  ~TKavoBurner() override;

  // --- properties -------------------------------------------------------
  bool DoDebug() const { return FDoDebug; }
  void SetDoDebug(bool v) { FDoDebug = v; }
  std::uint16_t ReadSpeed() const { return FReadSpeed; }
  void SetReadSpeed(std::uint16_t v) { FReadSpeed = v; }
  std::uint16_t WriteSpeed() const { return FWriteSpeed; }
  // Sends SET CD SPEED with the current ReadSpeed, then keeps the value.
  void SetWriteSpeed(std::uint16_t v);
  bool TestWrite() const { return FTestWrite; }
  void SetTestWrite(bool v) { FTestWrite = v; }
  bool ReplaceFile() const { return FReplaceFile; }
  void SetReplaceFile(bool v) { FReplaceFile = v; }
  bool FinalizeTrack() const { return FFinalizeTrack; }
  void SetFinalizeTrack(bool v) { FFinalizeTrack = v; }
  bool PerformOPC() const { return FPerformOPC; }
  void SetPerformOPC(bool v) { FPerformOPC = v; }
  // Blu-ray with spare areas: write streaming (full speed, no defect management).
  bool BdStreaming() const { return FBdStreaming; }
  void SetBdStreaming(bool v) { FBdStreaming = v; }

  const std::string& IdVolume() const { return FIds.Volume; }
  void SetIdVolume(std::string v) { FIds.Volume = std::move(v); }
  const std::string& IdSystem() const { return FIds.System; }
  void SetIdSystem(std::string v) { FIds.System = std::move(v); }
  const std::string& IdVolumeSet() const { return FIds.VolumeSet; }
  void SetIdVolumeSet(std::string v) { FIds.VolumeSet = std::move(v); }
  const std::string& IdPublisher() const { return FIds.Publisher; }
  void SetIdPublisher(std::string v) { FIds.Publisher = std::move(v); }
  const std::string& IdPreparer() const { return FIds.Preparer; }
  void SetIdPreparer(std::string v) { FIds.Preparer = std::move(v); }
  const std::string& IdApplication() const { return FIds.Application; }
  void SetIdApplication(std::string v) { FIds.Application = std::move(v); }
  const std::string& FileCopyright() const { return FIds.CopyrightFile; }
  void SetFileCopyright(std::string v) { FIds.CopyrightFile = std::move(v); }
  const std::string& FileAbstract() const { return FIds.AbstractFile; }
  void SetFileAbstract(std::string v) { FIds.AbstractFile = std::move(v); }
  const std::string& FileBibliographic() const { return FIds.BibliographicFile; }
  void SetFileBibliographic(std::string v) { FIds.BibliographicFile = std::move(v); }
  TDateTime DateCreation() const { return FIds.JolietCreation; }
  void SetDateCreation(TDateTime v) { FIds.JolietCreation = v; }
  TDateTime DateModification() const { return FIds.JolietModification; }
  void SetDateModification(TDateTime v) { FIds.JolietModification = v; }
  TDateTime DateEffective() const { return FDateEffective; }
  void SetDateEffective(TDateTime v) { FDateEffective = v; }
  TDateTime DateExpiration() const { return FDateExpiration; }
  void SetDateExpiration(TDateTime v) { FDateExpiration = v; }

  std::uint32_t CacheSize() const { return FCacheSize; }
  // Below 2 MiB becomes 2 MiB; anything else is rounded down to whole sectors.
  void SetCacheSize(std::uint32_t v);
  const std::string& ISOFileName() const { return FISOFileName; }
  void SetISOFileName(std::string v) { FISOFileName = std::move(v); }
  bool JolietFileSystem() const { return FJolietFileSystem; }
  void SetJolietFileSystem(bool v) { FJolietFileSystem = v; }
  // Rock Ridge beside the ISO 9660 tree: whole names, POSIX modes, owners,
  // times and symbolic links. Decides at adding which names are taken.
  bool RockRidge() const { return FRockRidge; }
  void SetRockRidge(bool v) { FRockRidge = v; }
  // With Rock Ridge, symbolic links inside added folders are recorded as
  // links unless this asks for what they point to.
  bool FollowLinks() const { return FFollowLinks; }
  void SetFollowLinks(bool v) { FFollowLinks = v; }
  bool KeepLinks() const { return FRockRidge && !FFollowLinks; }
  const std::string& Version() const { return FVersion; }
  void SetVersion(const std::string&) {}  // the version is fixed
  bool WritePostGap() const { return FWritePostGap; }
  void SetWritePostGap(bool v) { FWritePostGap = v; }

  // El Torito boot image. PrepareLayout clears Bootable when the file is
  // missing, empty or not a regular file.
  bool Bootable = false;
  // Why the last PrepareLayout turned Bootable off; None when it did not.
  BootProblem LastBootProblem() const { return FBootProblem; }
  std::string BootImageFile;

  // --- events -----------------------------------------------------------
  TAddFileEvent OnAddFile;
  TAddDirEvent OnAddDir;
  TWriteDoneEvent OnWriteDone;
  TNotifyEvent OnFinalizingTrack;
  TNotifyEvent OnDeviceChange;
  // `reason`: why a failed erase was given up (the drive stayed busy), for
  // the person; empty for a plain failure and for success.
  std::function<void(TKavoBurner& sender, bool error, const std::string& reason)> OnEraseDone;
  TProgressEvent OnProgress;
  // An erase's percentage: 0 as it begins, then each time it moves (a few
  // times a second at most), 100 before OnEraseDone of a blank that ended well.
  std::function<void(TKavoBurner& sender, int percent)> OnEraseProgress;
  // Asked before extraction replaces an existing file; Cancel ends the whole
  // extraction. Without a handler nothing is replaced. Windows hand it to
  // their Interaction, the command line answers from its options.
  std::function<OverwriteAnswer(TKavoBurner& sender, const std::string& path)> OnOverwriteFile;

  // Verbose drive messages follow DoDebug.
  bool DebugLogging() const override { return FDoDebug; }
  void RaiseDebugMessage(const std::string& message, std::uint8_t kind) override;
  void DeviceSelected() override;
  std::shared_ptr<const base::CancelToken> PauseCancelToken() const override;

  // --- compilation ------------------------------------------------------
  bool ResetCompilation(std::uint32_t maxEntries, std::uint32_t maxDirs);
  TDEntry* MakeCompilationDir(const std::string& destPath, const std::string& name);
  // With Rock Ridge, a folder made for a source folder takes that folder's
  // time and POSIX attributes; false when either is not found.
  bool TakeFolderAttributes(TDEntry& dir, const std::string& sourceFolder);
  std::uint8_t AddFileToCompilation(const std::string& destPath, const std::string& sourcePath, bool deriveDest);
  std::uint8_t AddFolderToCompilation(const std::string& destPath, const std::string& sourceFolder, bool archiveOnly,
                                      bool deriveDest, bool recurse, std::uint32_t attrMask,
                                      const std::string& fileMask);
  // An add inside an operation (the preparation of a burn on its worker)
  // stops once the operation is cancelled; the walk of a large tree takes
  // minutes. Outside one, a cancel of the last operation stops nothing.
  bool WalkCancelled() const;
  // What the adds left out since the compilation was reset, as reported
  // (the first texts only; the count goes on), read on the adding thread.
  const std::vector<std::string>& RefusedSources() const { return FRefused; }
  std::size_t RefusedSourceCount() const { return FRefusedCount; }
  TDEntry* FindCompilationDir(const std::string& path) const;
  TDEntry* ForceCompilationPath(const std::string& path);
  bool RemoveCompilationDir(TDEntry* dir);
  bool RemoveCompilationEntry(const std::string& dirPath, const std::string& longName);
  bool ClearArchiveFlags();
  std::int64_t MeasureSourceSize(const std::string& path) const;
  std::uint32_t CompilationDirCount() const;
  std::uint32_t CompilationEntryCount() const;
  const iso::CompilationTables& Tables() const { return FTables; }

  // --- earlier sessions -------------------------------------------------
  // 0: none; -1 or a number above the last session: the last session.
  std::int8_t SessionToImport() const { return FSessionToImport; }
  void SetSessionToImport(std::int8_t v) { FSessionToImport = v; }
  // Where sessions are read from; nullptr (the default) is the selected drive.
  void SetDiscSource(iso::DiscSource* source) { FDiscSource = source; }
  // Copying a disc: the tree below `root` on `disc` (another drive's disc)
  // goes into `target` (the root when null) as new files whose data the
  // burn reads from that disc. The burner keeps the disc until the
  // compilation is reset. False when the walk was cancelled or cut.
  bool AddDiscTreeToCompilation(std::shared_ptr<iso::DiscSource> disc, const iso::RootRecord& root, TDEntry* target);
  const std::shared_ptr<iso::DiscSource>& DataDisc() const { return FDataDisc; }
  iso::DiscSource& DiscSource();
  // Merges a session's tree into `target` (nullptr: the root); true when a
  // tree was read.
  bool ImportDiscSession(std::int8_t session, TDEntry* target);
  // The sector where a new session on the disc in the drive starts; false
  // when the drive could not tell (start is 0 then).
  bool ReadNextWritableAddress(std::uint32_t& start);
  // True when the last import left out records at or below `discPath`
  // ("\"-separated), or stopped before the end of the tree.
  bool ImportLeftOutBelow(const std::string& discPath) const;
  // Copies an imported file to `destination`: 1 when all of it was read and
  // written, else 0 with the reason reported and no file of that name left.
  // An existing file is replaced only when OnOverwriteFile says so.
  int ExtractDiscFile(const TFEntry& entry, const std::string& destination);
  // Copies an imported folder's files and subfolders into `destinationFolder`.
  int ExtractDiscFolder(const TDEntry& dir, const std::string& destinationFolder);

  // --- layout and output ------------------------------------------------
  int PrepareLayout(LayoutTarget target);
  bool BuildHeader();
  std::uint32_t ImageSectors() const;
  const iso::SessionLayout& CurrentLayout() const { return FLayout; }
  const iso::HeaderStream& Header() const { return FHeader; }
  // Quick: the direct writer on this thread, 1 when done. Threaded: returns
  // at once, the layout, the read-ahead cache and the writer run on the
  // operation's threads; -1 in both outcomes, the end comes through
  // OnWriteDone.
  int WriteImageFile(const std::string& path, SaveMode mode);
  // Cancels the running operation (or the one that ran last); the next one
  // starts with a token of its own.
  void CancelOperation();
  // The same from a signal handler: only sets the flag.
  void CancelOperationFromSignal();
  bool CancelRequested() const;
  // The running (or last) operation's token, for waits of the caller's own
  // that must end with it.
  std::shared_ptr<base::CancelToken> CancelToken() const;
  // round(cache bytes / CacheSize x 100) while the writer runs, else 0.
  int CacheFillPercent() const;
  std::uint64_t BytesWritten() const;
  bool Writing() const;
  // Where events are delivered: the caller's event loop, whose thread is the
  // one that calls this. Events raised on any other thread are posted to
  // it; handlers are then only ever called, and may only be changed, on
  // that thread. Without one, events arrive on the thread that raises them.
  // Ignored while an operation runs.
  void SetDispatcher(dispatch::Dispatcher* dispatcher);
  ProgressSnapshot ProgressNow() const;
  // Waits until the running operation has ended and its threads are gone.
  void WaitForOperation();
  // Runs `work` on the operation's own worker thread, so that the caller's
  // thread never waits for it: a bus scan, a session import from the drive,
  // an extraction, a read-back verify, a quick image write. The work gets a
  // cancel token of its own (CancelOperation); `done` comes through the
  // dispatcher once it has ended. False when another operation runs.
  bool StartBackground(OperationPhase phase, std::function<void(TKavoBurner&)> work, TNotifyEvent done);

  // --- burning and erasing ------------------------------------------------
  // Asks the drive where a burn of `imageSectors` would start and how much
  // room is left there. The burns run it before their first write.
  FitCheck CheckFit(std::uint64_t imageSectors, BurnSource source);
  // Return at once. False only when another operation runs; otherwise the
  // disc checks, layout and cache fill run on the operation's worker and
  // every outcome, a refusal included, comes through OnWriteDone.
  bool StartCompilationBurn();
  bool StartImageFileBurn(const std::string& path);
  // Keep a hash of every write so that VerifyLastBurn can read the disc back.
  void SetRecordWrites(bool v) { FRecordWrites = v; }
  // Reads back what the last burn wrote and compares it; empty when equal,
  // else the reason. Progress in sectors checked of sectors in all.
  std::string VerifyLastBurn(const std::function<void(std::uint64_t done, std::uint64_t total)>& progress);
  // Returns at once: false only when another operation runs. The readiness
  // checks and the blank run on the operation's worker; a drive that stays
  // not ready or refuses the blank ends with OnEraseDone(error = true).
  bool Erase(std::uint8_t blankType);


 private:
  bool NameFits(const std::string& longName, std::size_t maxUnits) const;
  void RefuseSource(const std::string& text, std::uint8_t kind);
  static void TakePosixAttributes(iso::TFEntry& e, const platform::FindData& found);
  static void TakeDiscAttributes(iso::TFEntry& e, const iso::DiscRecord& r);
  static void ApplyRecordedMode(const TFEntry& entry, const std::string& path);
  int ExtractLink(const TFEntry& entry, const std::string& destination);
  TFEntry* AddDirectory(TDEntry& parent, const std::string& longName, const std::string& shortName,
                        std::optional<iso::LocalDate> date, std::uint32_t attributes);
  // `listing`: the name keys already taken by the folder listing this entry
  // comes from; a name among them is refused rather than replacing one.
  std::uint8_t AddFileEntry(TDEntry& dir, const std::string& sourcePath, const platform::FindData& found, bool clearArchive,
                            std::optional<std::int32_t> absoluteSector, std::set<std::string>* listing = nullptr);
  // nullopt when a directory could not be added and the whole add stops.
  std::optional<std::uint8_t> AddFolderContents(TDEntry& dest, const std::string& sourceFolder, bool archiveOnly, bool recurse,
                                 std::uint32_t attrMask, const std::string& fileMask,
                                 std::set<std::pair<std::uint64_t, std::uint64_t>>& ancestors);
  friend class ImportIntoCompilation;
  friend class WalkScope;
  FolderPrefetch* FWalk = nullptr;  // lists the folders ahead of a recursive add
  TFEntry* AddImportedFile(TDEntry& dir, const iso::DiscRecord& record);
  TFEntry* AddCopiedFile(TDEntry& dir, const iso::DiscRecord& record);
  std::string DeriveDestination(const std::string& destPath, const std::string& source) const;
  void Changed() { FLaidOut = false; }
  void StartThreadedImageWrite(const std::string& path);
  bool ClaimOperation();
  // True on a thread of the running operation (writer, eraser, worker).
  bool OnOperationThread() const;
  // Runs an operation's start on its worker thread; the operation must be
  // claimed, and it ends through its own event.
  void RunOnWorker(std::function<void()> work);
  // True, with the end event raised, when the burn was cancelled before
  // its first write.
  bool StoppedBeforeWriting();
  void PrepareCompilationBurn();
  void PrepareImageFileBurn(const std::string& path);
  void PrepareErase(std::uint8_t blankType);
  bool FormatBdRe(std::uint8_t blankType);
  void EndErase(bool withError, const std::string& reason = std::string());
  // Carried to the dispatcher's thread like every other event.
  void RaiseEraseProgress(int percent);
  bool OnBackgroundThread() const { return FBackgroundId.load() == std::this_thread::get_id(); }
  void ReleaseOperation();
  // A fresh cancel token for an operation that starts now.
  void NewCancelToken();
  // Synchronous operations (import, extraction, verify) get a token of their
  // own unless they run inside another operation.
  class SyncOperation {
   public:
    SyncOperation(TKavoBurner& burner, OperationPhase phase);
    ~SyncOperation();
    SyncOperation(const SyncOperation&) = delete;
    SyncOperation& operator=(const SyncOperation&) = delete;

   private:
    TKavoBurner& FBurner;
    bool FOwnsPhase = false;
  };
  bool OperationClaimed() const;
  // True on a thread other than the dispatcher's while a dispatcher is set.
  bool OffCallerThread() const;
  // Runs `call` on the dispatcher's thread: posted from other threads (and
  // dropped if the component is gone by then), at once on its own.
  void Raise(std::function<void()> call);
  // The same for events whose handlers answer through their arguments: the
  // raising thread waits for the handler. The wait gives up (and the handler
  // is not called) when the operation is cancelled, the component goes, or
  // the dispatcher's thread itself waits for the operation; false then.
  bool RaiseAndWait(const std::function<void()>& call);
  std::shared_ptr<base::CancelToken> StopWaitsToken() const;
  void SetPhase(OperationPhase phase, std::uint64_t total = 0);
  void SetSyncProgress(std::uint64_t done, const std::string& file);
  // Starts the cache for a disc write and, once it is ready, the writer.
  bool StartDiscWriter(stream::TCacheThread* cache, bool compilation, std::uint8_t medium);
  void DeliverWriteDone(const std::string& error);
  void RaiseWriteDone(const std::string& error) {
    Raise([this, error] {
      if (OnWriteDone) OnWriteDone(*this, error);
    });
  }
  void FormatDvdRw(std::uint8_t medium);
  // Closes a session that an ended burn left open on a write-once disc, so
  // that the new one starts after it; empty, or why it could not be closed.
  std::string CloseOpenSession(std::uint8_t medium);
  // Sends a query again while the drive answers busy or not ready, for half
  // a minute at most; true once it succeeds.
  bool Patiently(const std::function<bool()>& query);
  // Empty when the burn may start at the sector laid out, else the reason.
  std::string CheckBeforeFirstWrite(BurnSource source);
  void FinishOperation(const std::string& error);
  void ReapThreads();

  std::int8_t FSessionToImport = 0;
  std::vector<std::string> FImportLeftOut;  // upper-case disc paths the last import passed over
  std::vector<std::string> FRefused;
  std::size_t FRefusedCount = 0;
  bool FImportCut = false;
  BootProblem FBootProblem = BootProblem::None;                  // the last import ended before the end of the tree
  iso::DiscSource* FDiscSource = nullptr;
  std::unique_ptr<iso::DiscSource> FDriveSource;
  std::shared_ptr<iso::DiscSource> FDataDisc;  // where copied files' data is read
  std::atomic<dispatch::Dispatcher*> FDispatcher{nullptr};
  std::atomic<std::thread::id> FDispatcherThread{};
  mutable std::mutex FProgressMutex;  // the phase, the counters below and the thread pointers
  OperationPhase FPhase = OperationPhase::Idle;
  std::chrono::steady_clock::time_point FPhaseStart{};
  std::uint64_t FProgressTotal = 0;
  std::uint64_t FSyncDone = 0;
  std::string FSyncFile;
  mutable std::deque<std::pair<std::chrono::steady_clock::time_point, std::uint64_t>> FSpeedSamples;
  std::unique_ptr<stream::TCacheThread> FCache;
  std::unique_ptr<device::TThWrite> FWriter;
  std::unique_ptr<stream::TImageFileWriter> FFileWriter;
  std::thread FBackground;                       // touched by the caller's thread only
  std::atomic<std::thread::id> FBackgroundId{};  // set by the worker itself
  mutable std::mutex FCancelMutex;
  std::shared_ptr<base::CancelToken> FCancel = std::make_shared<base::CancelToken>();
  std::shared_ptr<base::CancelToken> FPreviousCancel;  // kept for a signal that read the old one
  std::atomic<base::CancelToken*> FCancelRaw{FCancel.get()};
  int FSyncDepth = 0;
  std::unique_ptr<device::TEraseThread> FEraser;
  std::vector<device::TWrittenBlock> FLastWrites;
  bool FRecordWrites = false;
  bool FBurnLayout = false;  // PrepareLayout reads the next writable address
  bool FNextWritableRead = false;  // ... and could
  std::atomic<bool> FOperationDone{true};
  // Cancelled while the dispatcher's thread waits for the operation's
  // threads, and for good on destruction: an event's wait gives up then.
  std::shared_ptr<base::CancelToken> FStopWaits = std::make_shared<base::CancelToken>();  // under FCancelMutex
  std::shared_ptr<std::atomic<bool>> FAlive = std::make_shared<std::atomic<bool>>(true);
  iso::CompilationTables FTables;
  iso::SessionLayout FLayout;
  iso::HeaderStream FHeader;
  bool FLaidOut = false;

  bool FDoDebug = false;
  std::uint16_t FReadSpeed = 0;
  std::uint16_t FWriteSpeed = 0;
  bool FTestWrite = false;
  bool FReplaceFile = false;
  bool FFinalizeTrack = true;
  bool FPerformOPC = false;
  bool FBdStreaming = false;
  iso::VolumeIdentifiers FIds;
  TDateTime FDateEffective = 0;
  TDateTime FDateExpiration = 0;
  std::uint32_t FCacheSize = 4194304;
  std::string FISOFileName;
  bool FJolietFileSystem = true;
  bool FRockRidge = false;
  bool FFollowLinks = false;
  std::string FVersion = "1.23";
  bool FWritePostGap = true;
};

}  // namespace engine
