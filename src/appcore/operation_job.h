#pragma once
// A burn, an image build, an image burn or a disc copy run from its request
// to its one end, for a front end with an event loop: the drive work goes
// through the program's queue, the write through a BurnRun, and the front
// end only renders what comes: typed log lines, the figures it shows, the
// progress snapshot and one end with its outcome and what its end does.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "appcore/burn_job.h"
#include "appcore/drive_jobs.h"

namespace engine {
class TKavoBurner;
}
namespace health {
class ChecksumAttachment;
}

namespace appcore {

class BurnRun;
class Options;

// The log lines of an operation; the front end has their texts.
enum class JobLine : std::uint8_t {
  NotFound,            // Detail: a source that is not there; the rest goes on
  Skipped,             // Detail: a source left out (refused, a name the disc cannot hold)
  AddedToDisc,         // the compilation is filled for a disc
  AddedToImage,        // the compilation is filled for an image file
  StartBuilding,       // the image file's write begins
  StartBurning,        // Detail: the drive's name; the compilation's burn begins
  StartBurningImage,   // Detail: the drive's name; an image file's burn begins
  WriteSafeguards,     // the drive's buffer-underrun protection is on
  LeadIn,              // the drive writes the lead-in
  Finalizing,          // the drive closes the track
};

struct JobLogLine {
  JobLine Kind;
  std::string Detail;
};

// The end: the outcome with what was written, the progress as it stood,
// and what the end does that is the front end's own (sound, exit, power
// off, the "disc closed" line).
struct OperationEnd : JobEnd {
  engine::ProgressSnapshot Last;
  BurnEndPlan Plan;
  // Nothing was written: the sources could not be read as asked (Text says
  // why), or they hold no files.
  bool Refused = false;
  bool Empty = false;
  bool Told = false;          // Text was reported as it happened
  std::size_t LeftOut = 0;    // sources not taken, each told as a line
  std::uint64_t Sectors = 0;  // what the write laid out
  // The compilation's folders and entries as it was written (the end resets it).
  std::uint32_t Folders = 0;
  std::uint32_t Entries = 0;
};

struct JobEvents {
  std::function<void(const JobLogLine&)> OnLine;
  // The drive's buffer size, read before the write.
  std::function<void(std::uint32_t bytes)> OnDriveBuffer;
  // The compilation is filled, before its layout: the front end may show
  // what goes on the disc (a window's modal view).
  std::function<void()> OnFilled;
  // The size of what is written, in 2048-byte sectors.
  std::function<void(std::uint32_t sectors)> OnSize;
  // The checksum file the disc gets, or the earlier session's kept current.
  std::function<void(const health::ChecksumAttachment&)> OnChecksums;
  // From here on the progress snapshot moves.
  std::function<void()> OnProgressStart;
  // Once, whatever happened; the job is idle again when it comes.
  std::function<void(const OperationEnd&)> OnEnd;
};

class OperationJob {
 public:
  // `options` are the live options: the end puts the burner back to them
  // and reads what the end does from them.
  OperationJob(engine::TKavoBurner& burner, DriveJobs& jobs, const Options& options);
  ~OperationJob();
  OperationJob(const OperationJob&) = delete;
  OperationJob& operator=(const OperationJob&) = delete;

  // Returns at once; every event comes on the jobs' dispatcher thread (the
  // first ones before this returns). Ignored while a job runs.
  void Start(BurnJobRequest request, JobEvents events);
  // Stops the job, also while its drive work before the write still runs
  // (the write then does not start).
  void Cancel();
  bool Running() const { return FRunning; }
  // What the running (or last) job was started with; its task and copy
  // source are let go at its end.
  const BurnJobRequest& Request() const { return FRequest; }
  // The drive the running (or last) job writes.
  const std::string& Device() const { return FDevice; }
  // Now, with the most ever written: a closing track or an abort does not
  // make the figure go back.
  engine::ProgressSnapshot Progress();
  // While the files are hashed for the checksum file, before the write:
  // how far (bytes done, bytes in all); false otherwise.
  bool Hashing(std::uint64_t& done, std::uint64_t& total) const;

 private:
  void Apply();
  void Burn();
  void Filled(const FilledCompilation& filled);
  void LaidOutForDisc(const LaidOut& laidOut);
  void BuildImage();
  void BurnImage();
  void StartWrite(bool image);
  bool EndedEarly(const FilledCompilation& filled);
  void Line(JobLine kind, std::string detail = {});
  void SayNotTaken(const FilledCompilation& filled);
  void End(const std::string& error, bool refused = false, bool empty = false);
  void Run(engine::OperationPhase phase, DriveJobs::Work work, std::function<void()> done);

  engine::TKavoBurner& FBurner;
  DriveJobs& FJobs;
  const Options& FOptions;
  BurnJobRequest FRequest;
  JobEvents FEvents;
  std::string FDevice;
  bool FRunning = false;
  bool FCancelled = false;
  bool FTold = false;
  std::uint64_t FWritten = 0;
  std::size_t FLeftOut = 0;
  std::uint64_t FSectors = 0;
  std::unique_ptr<BurnRun> FRun;
  struct HashCount;
  // Set while the layout hashes; the worker counts into it.
  std::shared_ptr<HashCount> FHashing;
  // The checksum file a burn reads, kept until its end.
  std::unique_ptr<health::ChecksumAttachment> FChecksums;
  // A drive job's end that arrives after the job is gone finds it false.
  std::shared_ptr<bool> FAlive = std::make_shared<bool>(true);
  // Bumped by each start: a late end of an earlier job's step is dropped.
  std::uint64_t FGeneration = 0;
};

}  // namespace appcore
