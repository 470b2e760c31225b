#include "appcore/operation_job.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "appcore/burn_run.h"
#include "appcore/options.h"
#include "appcore/texts.h"
#include "engine/health/checksum_burn.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"

namespace appcore {

struct OperationJob::HashCount {
  std::atomic<std::uint64_t> Done{0};
  std::atomic<std::uint64_t> Total{0};
};

OperationJob::OperationJob(engine::TKavoBurner& burner, DriveJobs& jobs, const Options& options)
    : FBurner(burner), FJobs(jobs), FOptions(options) {}

OperationJob::~OperationJob() {
  *FAlive = false;
  if (FRunning) FBurner.CancelOperation();
}

void OperationJob::Start(BurnJobRequest request, JobEvents events) {
  if (FRunning) return;
  FRequest = std::move(request);
  FEvents = std::move(events);
  FDevice = FRequest.Device.empty() ? FJobs.ChosenDevice() : FRequest.Device;
  FRunning = true;
  FCancelled = false;
  FTold = false;
  FWritten = 0;
  FLeftOut = 0;
  FSectors = 0;
  ++FGeneration;
  Apply();
  switch (FRequest.Kind) {
    case JobKind::ImageBuild: BuildImage(); break;
    case JobKind::ImageBurn: BurnImage(); break;
    default: Burn(); break;
  }
}

void OperationJob::Cancel() {
  if (!FRunning) return;
  FCancelled = true;
  FBurner.CancelOperation();
}

engine::ProgressSnapshot OperationJob::Progress() {
  engine::ProgressSnapshot p = FBurner.ProgressNow();
  FWritten = std::max(FWritten, p.BytesWritten);
  return p;
}

bool OperationJob::Hashing(std::uint64_t& done, std::uint64_t& total) const {
  if (!FHashing || FHashing->Total == 0) return false;
  done = FHashing->Done;
  total = FHashing->Total;
  return true;
}

void OperationJob::Apply() {
  // What Start was pressed with, whatever a box says by the time the write
  // begins: set at the start and again just before the write.
  FBurner.SetTestWrite(FRequest.TestWrite);
  FBurner.SetFinalizeDisc(FRequest.Finalize);
  if (!FRequest.Label.empty()) FBurner.SetIdVolume(FRequest.Label);
  if (FRequest.Kind == JobKind::ImageBuild) FBurner.SetISOFileName(FRequest.ImageFile);
}

void OperationJob::Run(engine::OperationPhase phase, DriveJobs::Work work, std::function<void()> done) {
  FJobs.Run(
      phase, std::move(work),
      [this, alive = FAlive, generation = FGeneration, done = std::move(done)](engine::TKavoBurner&) {
        if (!*alive || generation != FGeneration || !FRunning) return;
        // Asked to stop while the drive worked: the next step does not come.
        if (FCancelled) {
          End(engine::texts::kOperationAborted);
          return;
        }
        done();
      },
      FDevice);
}

void OperationJob::Line(JobLine kind, std::string detail) {
  if (FEvents.OnLine) FEvents.OnLine(JobLogLine{kind, std::move(detail)});
}

void OperationJob::SayNotTaken(const FilledCompilation& filled) {
  for (const std::string& missing : filled.Missing) Line(JobLine::NotFound, missing);
  for (const auto* list : {&filled.Refused, &filled.RefusedNames})
    for (const std::string& skipped : *list) Line(JobLine::Skipped, skipped);
  // A refused folder is among the compilation's own count but for a nameless one.
  FLeftOut = filled.Missing.size() + std::max(filled.Refused.size(), filled.RefusedCount);
}

bool OperationJob::EndedEarly(const FilledCompilation& filled) {
  if (filled.Error.empty() && !filled.Aborted) return false;
  FTold = filled.Told;
  if (filled.Error.empty()) End(engine::texts::kOperationAborted);
  else End(filled.Error, !filled.Aborted);
  return true;
}

// --- a burn of the task or a copy --------------------------------------------

void OperationJob::Burn() {
  auto filled = std::make_shared<FilledCompilation>();
  Run(
      engine::OperationPhase::Preparing,
      [request = FRequest, filled](engine::TKavoBurner& b) { *filled = FillCompilation(request, b); },
      [this, filled] { Filled(*filled); });
}

void OperationJob::Filled(const FilledCompilation& filled) {
  if (FEvents.OnDriveBuffer) FEvents.OnDriveBuffer(filled.BufferSize);
  if (EndedEarly(filled)) return;
  SayNotTaken(filled);
  Line(JobLine::AddedToDisc);
  // An empty compilation would leave the front end waiting for an end that never comes.
  if (filled.Empty) {
    End(texts::kNothingToBurn, true, true);
    return;
  }
  if (FEvents.OnFilled) FEvents.OnFilled();
  // The checksum file is held apart from the job until the drive work has
  // ended: the worker writes it.
  auto sums = std::make_shared<std::unique_ptr<health::ChecksumAttachment>>();
  auto laidOut = std::make_shared<LaidOut>();
  FHashing = std::make_shared<HashCount>();
  Run(
      engine::OperationPhase::Preparing,
      [request = FRequest, laidOut, sums, count = FHashing](engine::TKavoBurner& b) {
        *laidOut = LayOutCompilation(request, b, *sums, [count](std::uint64_t done, std::uint64_t total) {
          count->Done = done;
          count->Total = total;
        });
      },
      [this, laidOut, sums] {
        FHashing.reset();
        FChecksums = std::move(*sums);
        LaidOutForDisc(*laidOut);
      });
}

void OperationJob::LaidOutForDisc(const LaidOut& laidOut) {
  // A stop while the files were hashed is an abort, not a failure.
  if (laidOut.Aborted) {
    End(engine::texts::kOperationAborted);
    return;
  }
  if (!laidOut.Error.empty()) {
    End(laidOut.Error, laidOut.Refused);
    return;
  }
  if (FChecksums && FEvents.OnChecksums) FEvents.OnChecksums(*FChecksums);
  if (FEvents.OnSize) FEvents.OnSize(laidOut.Sectors);
  if (FEvents.OnProgressStart) FEvents.OnProgressStart();
  Line(JobLine::StartBurning, FBurner.DeviceName());
  Line(JobLine::WriteSafeguards);
  Line(JobLine::LeadIn);
  StartWrite(false);
}

void OperationJob::StartWrite(bool image) {
  Apply();
  FRun = std::make_unique<BurnRun>(FBurner);
  FRun->OnFinalizing = [this] {
    Progress();
    Line(JobLine::Finalizing);
  };
  BurnRequest write;
  if (image) write.ImageFile = FRequest.ImageFile;
  write.Verify = FRequest.Verify;
  FRun->Start(write, [this](const BurnEnd& end) {
    FSectors = end.Sectors;
    End(end.Error);
  });
}

// --- an image file built ------------------------------------------------------

void OperationJob::BuildImage() {
  if (FEvents.OnProgressStart) FEvents.OnProgressStart();
  auto filled = std::make_shared<FilledCompilation>();
  auto laidOut = std::make_shared<LaidOut>();
  Run(
      engine::OperationPhase::Preparing,
      [request = FRequest, filled, laidOut](engine::TKavoBurner& b) {
        *filled = FillCompilation(request, b);
        if (!filled->Error.empty() || filled->Aborted || filled->Empty) return;
        std::unique_ptr<health::ChecksumAttachment> none;
        *laidOut = LayOutCompilation(request, b, none);
      },
      [this, filled, laidOut] {
        if (EndedEarly(*filled)) return;
        if (filled->Empty) {
          End(texts::kNothingToBurn, true, true);
          return;
        }
        SayNotTaken(*filled);
        Line(JobLine::AddedToImage);
        Line(JobLine::StartBuilding);
        if (FEvents.OnSize) FEvents.OnSize(laidOut->Sectors);
        FRun = std::make_unique<BurnRun>(FBurner);
        FSectors = laidOut->Sectors;
        FRun->Watch([this](const BurnEnd& end) { End(end.Error); });
        // The threaded writer keeps this thread free; the quick writer runs
        // on the burner's worker. Either ends through the write event.
        const std::string path = FRequest.ImageFile;
        if (!FRequest.QuickSave) {
          FBurner.WriteImageFile(path, engine::SaveMode::Threaded);
          return;
        }
        FJobs.Run(
            engine::OperationPhase::Writing,
            [path](engine::TKavoBurner& b) { b.WriteImageFile(path, engine::SaveMode::Quick); }, nullptr, FDevice);
      });
}

// --- an image file burned -------------------------------------------------------

void OperationJob::BurnImage() {
  if (FEvents.OnProgressStart) FEvents.OnProgressStart();
  Line(JobLine::StartBurningImage, FBurner.DeviceName());
  Line(JobLine::WriteSafeguards);
  auto buffer = std::make_shared<std::uint32_t>(0);
  // The buffer query and the start's checks talk to the drive: on the worker.
  Run(
      engine::OperationPhase::Preparing,
      [buffer](engine::TKavoBurner& b) {
        b.ReadBufferCapacity();
        *buffer = b.DeviceBufferSize();
      },
      [this, buffer] {
        if (FEvents.OnDriveBuffer) FEvents.OnDriveBuffer(*buffer);
        StartWrite(true);
        if (FRunning && FEvents.OnSize) FEvents.OnSize(FBurner.ImageSectors());
      });
}

// --- the end --------------------------------------------------------------------

void OperationJob::End(const std::string& error, bool refused, bool empty) {
  if (!FRunning) return;
  FRunning = false;
  OperationEnd end;
  end.Last = Progress();
  static_cast<JobEnd&>(end) = MakeJobEnd(error, FCancelled, end.Last);
  end.Refused = refused;
  end.Empty = empty;
  end.Told = FTold;
  end.LeftOut = FLeftOut;
  end.Sectors = FSectors;
  end.Folders = FBurner.CompilationDirCount();
  end.Entries = FBurner.CompilationEntryCount();
  // An aborted or failed write shows what reached the disc, not the closing
  // track's "everything".
  if (end.Outcome != JobOutcome::Done) end.BytesWritten = std::max(end.BytesWritten, FWritten);
  end.Plan = PlanBurnEnd(FRequest, FOptions, error.empty());
  // The next operation starts from the options, not from this one's request.
  FBurner.SetFinalizeDisc(FOptions.CloseDisc);
  FBurner.SetTestWrite(FOptions.TestWrite);
  if (end.Plan.Eject) {
    // The eject bit alone: the burn has flushed and closed already.
    FJobs.Run(
        engine::OperationPhase::Preparing,
        [](engine::TKavoBurner& b) { b.StartStopUnit(device::TStartStop::Eject); }, nullptr, FDevice);
  }
  FinishBurn(end.Plan, FBurner);
  FChecksums.reset();
  FHashing.reset();
  // The job's copies (the task, a copy's source disc) go with it.
  FRequest.Task.reset();
  FRequest.Copy.reset();
  FRequest.Sources.reset();
  // The handler may start the next job.
  const JobEvents events = std::move(FEvents);
  FEvents = {};
  if (events.OnEnd) events.OnEnd(end);
  // The write went around the queue: the jobs it kept waiting run now.
  FJobs.Wake();
}

}  // namespace appcore
