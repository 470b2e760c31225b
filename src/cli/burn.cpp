#include "cli/burn.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>

#include "appcore/burn_job.h"
#include "appcore/progress.h"
#include "appcore/speed_list.h"
#include "cli/build_iso.h"
#include "appcore/drive_select.h"
#include "appcore/drive_wait.h"
#include "appcore/erase_job.h"
#include "cli/health_common.h"
#include "cli/operation.h"
#include "engine/device/media_types.h"
#include "engine/device/speed_text.h"
#include "engine/dispatch/dispatcher.h"
#include "engine/interaction.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"
#include "platform/process.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

struct TBurnOptions {
  std::string Device;
  std::string Speed;
  bool Test = false;
  bool Finalize = false;
  bool CloseTrack = true;
  bool Opc = false;
  bool Streaming = false;
  bool Underrun = true;
  bool Verify = false;
  bool Help = false;
  bool Quick = false;
  bool Full = false;
  bool Checksums = false;
  bool RockRidge = true;
  bool FollowLinks = false;
  std::string ImportSession;
  std::string Label;
  std::string Boot;
  std::vector<std::string> Sources;
};

bool Parse(const std::vector<std::string>& args, TBurnOptions& o, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return false;
      }
      into = args[++i];
      return true;
    };
    if (a == "-h" || a == "--help") o.Help = true;
    else if (a == "--device") { if (!value(o.Device)) return false; }
    else if (a == "--speed") { if (!value(o.Speed)) return false; }
    else if (a == "--import-session") { if (!value(o.ImportSession)) return false; }
    else if (a == "-V") { if (!value(o.Label)) return false; }
    else if (a == "--boot") { if (!value(o.Boot)) return false; }
    else if (a == "--test") o.Test = true;
    else if (a == "--finalize") o.Finalize = true;
    else if (a == "--no-close-track") o.CloseTrack = false;
    else if (a == "--opc") o.Opc = true;
    else if (a == "--streaming") o.Streaming = true;
    else if (a == "--no-underrun-protection") o.Underrun = false;
    else if (a == "--verify") o.Verify = true;
    else if (a == "--quick") o.Quick = true;
    else if (a == "--full") o.Full = true;
    else if (a == "--checksums") o.Checksums = true;
    else if (a == "--no-rock-ridge") o.RockRidge = false;
    else if (a == "--follow-links") o.FollowLinks = true;
    else if (!a.empty() && a[0] == '-' && a != "-") {
      error = "unknown option: " + a;
      return false;
    } else o.Sources.push_back(a);
  }
  return true;
}

}  // namespace

bool SpeedOf(const std::string& text, std::uint8_t medium, std::uint16_t& kbps) {
  const auto parsed = appcore::ParseSpeed(text, medium);
  if (parsed) kbps = *parsed;
  return parsed.has_value();
}

namespace {

// One status line: percent, MB of MB, speed, elapsed and remaining time,
// cache fill and drive buffer fill. Redrawn in place on a terminal, one line
// every ten seconds otherwise.
class TBurnProgress {
 public:
  explicit TBurnProgress(std::FILE* err) : FErr(err), FTty(platform::IsTerminal(err)), FStart(Clock::now()) {}
  void Update(engine::TKavoBurner& b, std::uint64_t total) {
    Update(b.BytesWritten(), total, b.CacheFillPercent(), b.DeviceBufferSize(), b.DeviceFreeBufferSize());
  }
  void Update(const engine::ProgressSnapshot& p) {
    Update(p.BytesWritten, p.BytesTotal, p.CacheFillPercent, p.DriveBufferSize, p.DriveFreeBufferSize);
  }
  void Update(std::uint64_t done, std::uint64_t total, int cache, std::uint32_t bufferSize, std::uint32_t bufferFree) {
    const auto now = Clock::now();
    if (now - FLast < (FTty ? std::chrono::milliseconds(500) : std::chrono::seconds(10))) return;
    FLast = now;
    const auto f = appcore::ComputeProgress(done, total, std::chrono::duration<double>(now - FStart).count(), 0);
    const int buffer = appcore::DriveBufferPercent(bufferSize, bufferFree);
    std::fprintf(FErr, "%s%3d%%  %.1f/%.1f MB  %.0f KB/s  elapsed %s  left %s  cache %d%%  buffer %d%%%s",
                 FTty ? "\r" : "", f.Percent, static_cast<double>(done) / 1048576.0,
                 static_cast<double>(total) / 1048576.0, f.KBytesPerSecond,
                 appcore::PaddedClockText(f.ElapsedSeconds).c_str(), appcore::PaddedClockText(f.RemainingSeconds).c_str(),
                 cache, buffer, FTty ? "  " : "\n");
    std::fflush(FErr);
    FDrawn = true;
  }
  void Break() {
    if (FTty && FDrawn) std::fputc('\n', FErr);
    FDrawn = false;
  }

 private:
  std::FILE* FErr;
  bool FTty;
  bool FDrawn = false;
  Clock::time_point FStart;
  Clock::time_point FLast{};
};

void Summary(engine::TKavoBurner& burner, std::uint8_t medium, std::uint64_t sectors, bool testWrite, std::FILE* out) {
  std::fprintf(out, "Burned:    %s\n", burner.DeviceName().c_str());
  std::fprintf(out, "Medium:    %s\n", device::MediumName(medium));
  std::fprintf(out, "Sectors:   %llu (%llu bytes)%s\n", static_cast<unsigned long long>(sectors),
               static_cast<unsigned long long>(sectors * 2048), testWrite ? " (test write: nothing recorded)" : "");
}


// Nobody is at the terminal to insert a disc: a drive still spinning up gets
// about ten seconds, then the question is answered Cancel.
bool DiscReady(engine::TKavoBurner& burner) {
  engine::NonInteractiveAnswers answers;
  answers.NotReadyRetries = 10;
  engine::NonInteractive ask(answers);
  appcore::DiscWaitSettings wait;
  wait.Action = appcore::NotReadyAction::Ask;
  wait.RetryPauseMs = 1000;
  return appcore::WaitForDisc(burner, ask, wait) == appcore::DiscWait::Ready;
}

// The drive named by --device, the medium in it and the speed asked for;
// kExitOk, or the exit code with the reason on stderr.
int SelectDriveAndSpeed(engine::TKavoBurner& burner, const TBurnOptions& o, bool waitForDisc, std::uint8_t& medium,
                        std::uint16_t& speed, std::FILE* err) {
  if (const auto drive = appcore::SelectDrive(burner, o.Device); !drive.Selected()) {
    std::fprintf(err, "zantic-cli: %s\n", drive.Text.c_str());
    return kExitFailed;
  }
  if (waitForDisc && !DiscReady(burner)) {
    std::fprintf(err, "zantic-cli: no disc in %s\n", burner.DeviceName().c_str());
    return kExitFailed;
  }
  medium = burner.DetectMediaType();
  if (!SpeedOf(o.Speed, medium, speed)) {
    std::fprintf(err, "zantic-cli: not a speed: %s\n", o.Speed.c_str());
    return kExitBadInput;
  }
  return kExitOk;
}

// Told before the burn: spare areas make the drive verify what it writes, at about half the speed.
void NoteDefectManagement(engine::TKavoBurner& burner, std::uint8_t medium, bool streaming, std::FILE* err) {
  if (!device::IsBdMedium(medium) || streaming) return;
  const auto spare = burner.BdSpareBlocks();
  if (!spare || *spare == 0) return;
  std::fprintf(err,
               "zantic-cli: note: the disc has %u blocks of spare areas: defect management verifies what is written, "
               "at about half the speed; --streaming writes at full speed without it\n",
               static_cast<unsigned>(*spare));
}

}  // namespace

int RunBurn(engine::TKavoBurner& burner, const std::vector<std::string>& args, bool imageFile, std::FILE* out,
            std::FILE* err) {
  TBurnOptions o;
  std::string error;
  if (!Parse(args, o, error) || o.Quick || o.Full || (imageFile && o.Sources.size() != 1) ||
      (!imageFile && o.Sources.empty() && !o.Help) ||
      (imageFile && (!o.Label.empty() || !o.Boot.empty() || !o.ImportSession.empty() || o.Checksums))) {
    if (error.empty()) error = imageFile ? "burn-iso takes one image file and no -V, --boot, --import-session or --checksums"
                                         : "burn needs at least one source";
    std::fprintf(err, "zantic-cli: %s\n\n%s", error.c_str(), kBurnUsage);
    return kExitBadInput;
  }
  if (o.Help) {
    std::fputs(kBurnUsage, out);
    return kExitOk;
  }
  std::uint8_t medium = 0;
  std::uint16_t speed = 0;
  if (const int rc = SelectDriveAndSpeed(burner, o, true, medium, speed, err); rc != kExitOk) return rc;
  burner.SetWriteSpeed(speed);
  burner.SetTestWrite(o.Test);
  burner.SetFinalizeDisc(o.Finalize);
  burner.SetFinalizeTrack(o.CloseTrack);
  burner.SetPerformOPC(o.Opc);
  burner.SetBdStreaming(o.Streaming);
  NoteDefectManagement(burner, medium, o.Streaming, err);
  burner.SetUnderrunProtection(o.Underrun);
  if (!imageFile) {
    // The engine reads the label at the layout; empty stays empty.
    burner.SetIdVolume(o.Label);
    NoteLongLabel(o.Label, err);
  }
  appcore::BurnJobRequest request;
  request.Kind = imageFile ? appcore::JobKind::ImageBurn : appcore::JobKind::Burn;
  request.TestWrite = o.Test;
  request.Finalize = o.Finalize;
  request.Verify = o.Verify;
  request.Checksums = o.Checksums;
  request.Label = o.Label;
  // The next command of a script reads the disc.
  request.KeepDisc = true;
  if (imageFile) {
    request.ImageFile = o.Sources[0];
  } else {
    request.Sources = appcore::PlainSources{o.Sources, o.Boot, o.RockRidge, o.FollowLinks};
    if (!o.ImportSession.empty()) {
      char* end = nullptr;
      const long n = std::strtol(o.ImportSession.c_str(), &end, 10);
      if (*end != '\0' || n < -1 || n > 127) {
        std::fprintf(err, "zantic-cli: --import-session takes -1 or a session number from 1 to 127\n");
        return kExitBadInput;
      }
      request.Session = static_cast<std::int8_t>(n);
    }
  }
  TBurnSettings settings;
  settings.Medium = medium;
  return RunOperation(burner, appcore::Options{}, std::move(request), settings, out, err);
}

int RunOperation(engine::TKavoBurner& burner, const appcore::Options& options, appcore::BurnJobRequest request,
                 const TBurnSettings& settings, std::FILE* out, std::FILE* err) {
  const bool testWrite = request.TestWrite;
  const bool hashed = request.Checksums;
  const bool plain = request.Sources.has_value();
  // A task's compilation tells only its own reports as it is filled; plain
  // sources (and an image) everything, the session import included;
  // everything the drive says once the write has begun.
  std::atomic<bool> writing{request.Task == nullptr};
  burner.OnDebugMessage = [err, &writing](device::TSCSIDevice&, const std::string& m, std::uint8_t kind) {
    if (writing || kind != device::kMsgProgress) std::fprintf(err, "%s\n", m.c_str());
  };
  TBurnProgress progress(err);
  JobLoop loop;
  loop.Events.OnLine = [&progress, err](const appcore::JobLogLine& line) {
    if (line.Kind == appcore::JobLine::NotFound) {
      std::fprintf(err, "zantic-cli: source not found: %s\n", line.Detail.c_str());
    } else if (line.Kind == appcore::JobLine::Finalizing) {
      progress.Break();
      std::fprintf(err, ">>> Finalizing track...Please wait.\n");
    }
    // The rest the drive's own messages tell.
  };
  HealthProgress hashing(err);
  loop.Hashing = [&hashing](std::uint64_t done, std::uint64_t total) { hashing.Update(done, total, "  checksums"); };
  loop.Events.OnChecksums = [&hashing, err, hashed](const health::ChecksumAttachment& sums) {
    hashing.Break();
    SayChecksums(sums, hashed, err);
  };
  loop.Events.OnProgressStart = [&writing] { writing = true; };
  loop.Progress = [&progress](const engine::ProgressSnapshot& p) { progress.Update(p); };
  loop.StopRequested = settings.StopRequested;
  const appcore::OperationEnd end = RunJob(burner, options, std::move(request), std::move(loop));
  hashing.Break();
  progress.Break();
  burner.OnDebugMessage = nullptr;
  if (end.Empty) {
    std::fprintf(err, "zantic-cli: nothing to burn: the %s hold no files\n", plain ? "sources" : "task's sources");
    return kExitBadInput;
  }
  if (end.Outcome != appcore::JobOutcome::Done) {
    if (!end.Told) std::fprintf(err, "zantic-cli: %s\n", end.Text.c_str());
    if (end.Refused) return kExitBadInput;
    return end.Outcome == appcore::JobOutcome::Aborted ? kExitAborted : kExitFailed;
  }
  Summary(burner, settings.Medium, end.Sectors, testWrite, out);
  if (end.LeftOut > 0) {
    std::fprintf(out, "Left out:  %zu (see above)\n", end.LeftOut);
    return kExitIncomplete;
  }
  return kExitOk;
}

int RunErase(engine::TKavoBurner& burner, const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  TBurnOptions o;
  std::string error;
  if (!Parse(args, o, error) || (!o.Help && o.Quick == o.Full) || !o.Sources.empty() || o.Test || o.Verify) {
    if (error.empty()) error = "erase takes --quick or --full";
    std::fprintf(err, "zantic-cli: %s\n\n%s", error.c_str(), kEraseUsage);
    return kExitBadInput;
  }
  if (o.Help) {
    std::fputs(kEraseUsage, out);
    return kExitOk;
  }
  std::uint8_t medium = 0;
  std::uint16_t speed = 0;
  if (const int rc = SelectDriveAndSpeed(burner, o, false, medium, speed, err); rc != kExitOk) return rc;
  // A full erase needs a disc that calls itself rewritable.
  engine::NonInteractiveAnswers answers;
  answers.Notices = [err](const engine::DriveNotice& notice) {
    std::fprintf(err, "zantic-cli: %s\n", notice.Text.c_str());
  };
  appcore::EraseRequest request;
  request.Drive = burner.DeviceId();
  request.Quick = o.Quick;
  request.SpeedKBps = speed;
  const bool tty = platform::IsTerminal(err);
  int shown = -1;
  std::optional<appcore::EraseEnd> end;
  dispatch::QueueDispatcher queue;
  burner.SetDispatcher(&queue);
  {
    appcore::DriveJobs jobs(burner, queue);
    appcore::EraseJob job(burner, jobs, queue);
    appcore::EraseEvents events;
    events.OnErasable = [&](std::uint8_t) {
      burner.OnDebugMessage = [err](device::TSCSIDevice&, const std::string& m, std::uint8_t) {
        std::fprintf(err, "%s\n", m.c_str());
      };
      job.Go();
    };
    // A terminal line follows every figure; a log takes every tenth.
    events.OnProgress = [&](int percent) {
      if (percent != shown && (tty || percent / 10 != shown / 10)) {
        std::fprintf(err, tty ? "\r%3d%%" : "%3d%%\n", percent);
        shown = percent;
      }
    };
    // The reason of a given-up wait is on stderr already, from the debug messages.
    events.OnEnd = [&end](const appcore::EraseEnd& e) { end = e; };
    job.Check(std::move(request), std::move(events), std::make_shared<engine::NonInteractive>(answers));
    while (!end || !jobs.Idle()) queue.RunPending(std::chrono::milliseconds(200));
    burner.WaitForOperation();
  }
  queue.RunPending(std::chrono::milliseconds(0));
  burner.SetDispatcher(nullptr);
  if (tty && shown >= 0) std::fputc('\n', err);
  if (end->Refused) return kExitFailed;
  if (!end->Erased) {
    std::fprintf(err, "zantic-cli: Erase process done with error.%s%s\n", burner.LastErrorText().empty() ? "" : " ",
                 burner.LastErrorText().c_str());
    return kExitFailed;
  }
  std::fprintf(out, "Erase process done.\n");
  return kExitOk;
}

}  // namespace cli
