// An operation run as a job from its request: the events a front end
// renders, and exactly one end whose outcome says what happened.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "appcore/drive_select.h"
#include "appcore/recorder_jobs_fixture.h"
#include "appcore/operation_job.h"
#include "appcore/options.h"
#include "appcore/task_tree.h"
#include "appcore/texts.h"
#include "engine/device/transport.h"
#include "engine/device_disc_source.h"
#include "engine/dispatch/dispatcher.h"
#include "engine/health/checksum_burn.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"
#include "platform/file_find.h"
#include "platform/process.h"
#include "support/temp_dir.h"
#include "vdrive/disc_image.h"
#include "vdrive/registration.h"

namespace {

using namespace appcore;

// The drive's own reading, with an abort (a Ctrl-C, the Abort button) that
// arrives as the read numbered `AbortAt` (from 1) is made.
class AbortOnRead final : public iso::DiscSource {
 public:
  explicit AbortOnRead(engine::TKavoBurner& burner) : FBurner(burner), FDrive(burner) {}
  base::Status ReadSectors(std::uint32_t lba, std::uint32_t count, std::span<std::uint8_t> out) override {
    if (++Reads == AbortAt) FBurner.CancelOperation();
    return FDrive.ReadSectors(lba, count, out);
  }
  bool Ready() override { return FDrive.Ready(); }
  std::uint8_t LastSession() override { return FDrive.LastSession(); }
  std::optional<iso::TrackEntry> TrackInfo(std::uint8_t track) override { return FDrive.TrackInfo(track); }
  std::optional<std::pair<std::uint8_t, std::uint8_t>> TrackRange() override { return FDrive.TrackRange(); }
  std::optional<std::uint32_t> TocAddress(std::uint8_t track) override { return FDrive.TocAddress(track); }
  std::uint32_t FreeBlocks() override { return FDrive.FreeBlocks(); }
  std::optional<std::uint32_t> NextWritableAddress() override { return FDrive.NextWritableAddress(); }
  std::uint64_t SectorCount() const override { return FDrive.SectorCount(); }
  std::atomic<int> Reads{0}, AbortAt{0};

 private:
  engine::TKavoBurner& FBurner;
  engine::DeviceDiscSource FDrive;
};

class OperationJobTest : public testsupport::RecorderJobs {
 protected:
  void SetUp() override {
    // Room for a second session after the first one's lead-out.
    Attach({vdrive::TMedia::CdRw}, 30000);
    Disc = Paths[0];
    Jobs.ChooseDevice(Burner.DeviceId());
  }
  BurnJobRequest Request(JobKind kind, const std::string& payload) {
    TaskTree task = NewTask("R");
    // No payload: a source that has gone since it was added.
    task.Root->AddItem(payload.empty() ? Dir.Str() + "/gone.bin" : Dir.Write("a.bin", payload), "1");
    BurnJobRequest r = RequestFromOptions(kind, Opts);
    r.Task = CopyTask(task);
    return r;
  }
  // A real write of `payload` in a task, run to its end.
  void BurnForReal(OperationJob& job, const std::string& payload) {
    BurnJobRequest r = Request(JobKind::Burn, payload);
    r.TestWrite = false;
    Run(job, std::move(r));
  }
  // Runs the loop until the end and a while after it: a second end would show.
  void Run(OperationJob& job, BurnJobRequest request, bool cancelOnStart = false) {
    JobEvents events;
    events.OnLine = [this](const JobLogLine& l) { Lines.push_back(l.Kind); };
    events.OnSize = [this](std::uint32_t s) { Sectors = s; };
    events.OnEnd = [this](const OperationEnd& e) { Ends.push_back(e); };
    job.Start(std::move(request), std::move(events));
    for (int i = 0; i < 600 && Ends.empty(); ++i) {
      Queue.RunPending(std::chrono::milliseconds(100));
      if (cancelOnStart && Burner.Writing()) job.Cancel();
    }
    Burner.WaitForOperation();
    Queue.RunPending(std::chrono::milliseconds(300));
    EXPECT_FALSE(job.Running());
  }
  std::string Disc;
  Options Opts;
  DriveJobs Jobs{Burner, Queue};
  std::vector<JobLine> Lines;
  std::uint32_t Sectors = 0;
  std::vector<OperationEnd> Ends;
};

TEST_F(OperationJobTest, ABurnTellsItsStepsAndEndsOnceDone) {
  OperationJob job(Burner, Jobs, Opts);
  BurnForReal(job, "hello");
  ASSERT_EQ(Ends.size(), 1u);
  EXPECT_EQ(Ends[0].Outcome, JobOutcome::Done) << Ends[0].Text;
  EXPECT_GE(Sectors, 300u);
  EXPECT_EQ(Ends[0].BytesWritten, Ends[0].BytesTotal);
  const std::vector<JobLine> expected{JobLine::AddedToDisc, JobLine::StartBurning, JobLine::WriteSafeguards,
                                      JobLine::LeadIn, JobLine::Finalizing};
  EXPECT_EQ(Lines, expected);
  EXPECT_TRUE(Ends[0].Plan.LogDiscClosing);
  EXPECT_FALSE(job.Request().Task);  // the job's copy of the task went with it
  // A write event after the end (a late refusal's) is not this job's.
  if (Burner.OnWriteDone) Burner.OnWriteDone(Burner, engine::texts::kAnotherOperation);
  EXPECT_EQ(Ends.size(), 1u);
}

TEST_F(OperationJobTest, AnAbortEndsOnceAsAbortedWithWhatWasWritten) {
  vdrive::TFaults slow;
  slow.ThrottleKBps = 2000;
  vdrive::RecorderFor(Disc)->SetFaults(slow);
  OperationJob job(Burner, Jobs, Opts);
  BurnJobRequest r = Request(JobKind::Burn, std::string(4u << 20, 'z'));
  r.TestWrite = true;
  Run(job, std::move(r), true);
  ASSERT_EQ(Ends.size(), 1u);
  EXPECT_EQ(Ends[0].Outcome, JobOutcome::Aborted) << Ends[0].Text;
  EXPECT_EQ(Ends[0].Text, engine::texts::kOperationAborted);
  EXPECT_LT(Ends[0].BytesWritten, std::uint64_t(Sectors) * 2048);
  // The burner is back on the options for the next operation.
  EXPECT_EQ(Burner.TestWrite(), Opts.TestWrite);
}

TEST_F(OperationJobTest, AnAbortDuringTheEarlierSessionsImportWritesNoSession) {
  Opts.CloseDisc = false;
  Opts.EjectDone = false;
  {
    OperationJob job(Burner, Jobs, Opts);
    BurnForReal(job, "one");
    ASSERT_EQ(Ends.size(), 1u);
    ASSERT_EQ(Ends[0].Outcome, JobOutcome::Done) << Ends[0].Text;
  }
  Ends.clear();
  // The earlier session's checksum file is looked for first; the abort comes
  // with the first read after it, the import's.
  AbortOnRead disc(Burner);
  Burner.SetDiscSource(&disc);
  ASSERT_TRUE(health::KeepChecksumFileCurrent(Burner).Ok());
  disc.AbortAt = disc.Reads + 1;
  disc.Reads = 0;
  // Named sources (zantic-cli burn --import-session): the earlier session
  // is read as the layout is made.
  OperationJob job(Burner, Jobs, Opts);
  BurnJobRequest r = RequestFromOptions(JobKind::Burn, Opts);
  r.Sources = PlainSources{{Dir.Write("b.txt", "two")}, "", false, false};
  r.TestWrite = false;
  r.Checksums = false;
  r.Session = 1;
  Run(job, std::move(r));
  Burner.SetDiscSource(nullptr);
  ASSERT_GE(disc.Reads, disc.AbortAt) << "the earlier session was never imported";
  ASSERT_EQ(Ends.size(), 1u);
  // A session without the earlier files would hide them from every reader.
  EXPECT_EQ(Ends[0].Outcome, JobOutcome::Aborted) << Ends[0].Text;
  EXPECT_EQ(Ends[0].BytesWritten, 0u);
  EXPECT_EQ(engine::DeviceDiscSource(Burner).LastSession(), 1);
}

TEST_F(OperationJobTest, FailuresEndOnceWithTheirText) {
  {
    OperationJob job(Burner, Jobs, Opts);
    Run(job, Request(JobKind::ImageBuild, ""));
    ASSERT_EQ(Ends.size(), 1u);
    EXPECT_EQ(Ends[0].Outcome, JobOutcome::Failed);
    EXPECT_EQ(Ends[0].Text, texts::kNothingToBurn);
    EXPECT_TRUE(Ends[0].Empty && Ends[0].Refused);
  }
  Ends.clear();
  {
    OperationJob job(Burner, Jobs, Opts);
    BurnJobRequest r = RequestFromOptions(JobKind::ImageBurn, Opts);
    r.ImageFile = Dir.Str() + "/missing.iso";
    Run(job, std::move(r));
    ASSERT_EQ(Ends.size(), 1u);
    EXPECT_EQ(Ends[0].Outcome, JobOutcome::Failed);
    EXPECT_FALSE(Ends[0].Text.empty());
  }
}

TEST_F(OperationJobTest, AnImageBuildsEndTellsWhatWasLeftOutAndWhatTheImageHolds) {
  TaskTree task = NewTask("R");
  task.Root->AddItem(Dir.Write("a.bin", "kept"), "1");
  task.Root->AddItem(Dir.Str() + "/gone.bin", "1");
  BurnJobRequest r = RequestFromOptions(JobKind::ImageBuild, Opts);
  r.Task = CopyTask(task);
  r.ImageFile = Dir.Str() + "/o.iso";
  OperationJob job(Burner, Jobs, Opts);
  Run(job, std::move(r));
  ASSERT_EQ(Ends.size(), 1u);
  EXPECT_EQ(Ends[0].Outcome, JobOutcome::Done) << Ends[0].Text;
  ASSERT_FALSE(Lines.empty());
  EXPECT_EQ(Lines.front(), JobLine::NotFound);
  EXPECT_EQ(Ends[0].LeftOut, 1u);
  EXPECT_FALSE(Ends[0].Refused || Ends[0].Empty);
  // The end resets the compilation: the counts are the ones written.
  EXPECT_EQ(Ends[0].Entries, 1u);
  EXPECT_EQ(Burner.CompilationEntryCount(), 0u);
  EXPECT_EQ(Ends[0].Sectors, Sectors);
}

TEST_F(OperationJobTest, PlainSourcesFillWithTheirOwnChoicesAndOneNotThereWritesNothing) {
  const std::string folder = Dir.Str() + "/docs";
  Dir.Write("docs/a.txt", "a");
  BurnJobRequest r;
  r.Kind = JobKind::ImageBuild;
  r.Sources = PlainSources{{folder, Dir.Write("b.txt", "b")}, "", false, true};
  r.ImageFile = Dir.Str() + "/o.iso";
  OperationJob job(Burner, Jobs, Opts);
  Run(job, r);
  ASSERT_EQ(Ends.size(), 1u);
  EXPECT_EQ(Ends[0].Outcome, JobOutcome::Done) << Ends[0].Text;
  // The folder under its own name beside the file, the folder's file in it.
  EXPECT_EQ(Ends[0].Folders, 1u);
  EXPECT_EQ(Ends[0].Entries, 3u);
  EXPECT_FALSE(Burner.RockRidge());
  EXPECT_TRUE(Burner.FollowLinks());

  // Named on purpose: a source not there stops the whole, nothing is written.
  Ends.clear();
  r.Sources->Paths.push_back(Dir.Str() + "/gone.bin");
  r.ImageFile = Dir.Str() + "/p.iso";
  Run(job, r);
  ASSERT_EQ(Ends.size(), 1u);
  EXPECT_EQ(Ends[0].Outcome, JobOutcome::Failed);
  EXPECT_TRUE(Ends[0].Refused);
  EXPECT_EQ(Ends[0].Text, "source not found: " + Dir.Str() + "/gone.bin");
  EXPECT_FALSE(platform::FileExists(r.ImageFile));
}

}  // namespace
