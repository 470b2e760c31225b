#pragma once
// The steps of a burn, an image build or a disc copy that every front end
// runs alike: the request fixed when Start is pressed, filling the
// compilation and laying it out on the burner's worker, and what the end of
// the operation does (archive bits, eject, sound, exit, power off).
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "appcore/drive_jobs.h"
#include "appcore/options.h"
#include "engine/interaction.h"

namespace engine {
class TKavoBurner;
}
namespace health {
class ChecksumAttachment;
}

namespace appcore {

struct DiscCopySource;
struct TaskNode;
struct TaskTree;

// A deep copy: the job burns what the task held at its start, whatever is
// edited afterwards.
std::shared_ptr<const TaskTree> CopyTask(const TaskTree& task);

// Sources named one by one (a command line's) instead of a task, with how
// the compilation treats them; applied to the burner when it is filled.
struct PlainSources {
  std::vector<std::string> Paths;  // a folder goes in as a folder of its own name, a file into the root
  std::string BootImage;           // El Torito; empty: not bootable
  bool RockRidge = true;
  bool FollowLinks = false;
};

// What an operation was started with. Made once, on the front end's thread;
// nothing a window edits afterwards reaches the job.
struct BurnJobRequest {
  JobKind Kind = JobKind::Burn;
  bool Scheduled = false;                  // a scheduled run's burn
  std::string Device;                      // empty: the chosen drive
  std::string Speed;                       // the speed list's text; empty: leave the burner's
  std::shared_ptr<const TaskTree> Task;    // not for an image burn or a copy
  std::shared_ptr<DiscCopySource> Copy;    // a disc copy's source
  std::optional<PlainSources> Sources;     // instead of the task
  std::string ImageFile;                   // the image to build or to burn
  std::string Label;                       // the volume label; empty: the burner's
  bool ArchiveOnly = false;                // only files whose archive bit is set; cleared after
  bool Checksums = false;                  // add a checksum file to the disc
  bool TestWrite = false;
  bool Finalize = false;                   // the disc is closed
  bool QuickSave = false;                  // the image is written on the worker in one go
  bool Verify = false;                     // the written sectors are read back and compared
  bool KeepDisc = false;                   // never ejected at the end: the next command reads it
  std::int8_t Session = 0;                 // the earlier session carried on (0: none)
};

// A request from the options as they stand; the dialog's own choices
// (test write, finalize, speed, quick save) are set on it after.
BurnJobRequest RequestFromOptions(JobKind kind, const Options& options);

// Nothing at all was added: no end would ever come from a burn of it.
bool CompilationEmpty(const engine::TKavoBurner& burner);

struct FilledCompilation {
  std::string Error;                  // empty: filled
  bool Aborted = false;               // the walk stopped on a cancel
  bool Empty = false;                 // the sources hold nothing
  // Reported, and the rest goes on.
  std::vector<std::string> Missing;  // sources not found
  std::vector<std::string> Refused;  // folders not taken
  std::vector<std::string> RefusedNames;  // names the compilation left out (too long, equal but for case)
  std::size_t RefusedCount = 0;
  // The error was reported as it happened (a refused folder): not to be said again.
  bool Told = false;
  std::uint32_t BufferSize = 0;       // the drive's buffer (disc targets)
};

// On the burner's worker, the drive selected and ready: the compilation
// reset and filled from the task, the plain sources or the copy's source (a
// plain source not there or refused stops it: it was named on purpose); for a disc the
// drive's buffer read and the speed set.
FilledCompilation FillCompilation(const BurnJobRequest& request, engine::TKavoBurner& burner);

struct LaidOut {
  std::string Error;     // the checksum file could not be made
  bool Aborted = false;  // cancelled while the files were hashed
  bool Refused = false;  // the sources cannot hold it (a file of its name)
  std::uint32_t Sectors = 0;
};

// On the worker after FillCompilation: the checksum file (for a disc) and
// the layout. `sums` keeps the checksum file alive until the burn ends.
// `hashed` hears how far the checksum file's hashing has come.
LaidOut LayOutCompilation(const BurnJobRequest& request, engine::TKavoBurner& burner,
                          std::unique_ptr<health::ChecksumAttachment>& sums,
                          const std::function<void(std::uint64_t done, std::uint64_t total)>& hashed = {});

// What the end of an operation does; the front end performs the parts that
// are its own (the sound, the program's exit).
struct BurnEndPlan {
  bool ClearArchiveBits = false;  // a recorded burn or a built image of archived files only
  bool Eject = false;
  std::optional<SoundEvent> Sound;
  bool ExitProgram = false;
  bool PowerOff = false;
  bool LogDiscClosing = false;  // say whether the disc was closed (not for an image file)
};

BurnEndPlan PlanBurnEnd(const BurnJobRequest& request, const Options& options, bool done);

// The end of a burn on the burner's side: archive bits as planned, the
// compilation reset.
void FinishBurn(const BurnEndPlan& plan, engine::TKavoBurner& burner);

// A rewritable disc, or a DVD-RAM for a quick erase (it takes zeros over its
// start even when it does not call itself erasable).
bool CanErase(bool quick, bool rewritable, std::uint8_t medium);
// CanErase for the disc in the selected drive (`medium` detected already);
// a disc that cannot be erased is told once through `ask`.
bool CheckErasable(engine::TKavoBurner& burner, bool quick, std::uint8_t medium, engine::Interaction& ask);

}  // namespace appcore
