#include "cli/build_iso.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>

#include "appcore/burn_job.h"
#include "appcore/image_output.h"
#include "cli/operation.h"
#include "cli/progress.h"
#include "engine/kavo_burner.h"
#include "platform/utf8_path.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

}  // namespace

bool CheckOutput(const std::string& output, const std::vector<std::string>& sources, std::FILE* err) {
  switch (appcore::CheckImageOutput(output, sources)) {
    case appcore::ImageOutputProblem::None: return true;
    case appcore::ImageOutputProblem::Folder:
      std::fprintf(err, "zantic-cli: the output is a folder, not a file: %s\n", output.c_str());
      return false;
    case appcore::ImageOutputProblem::NotRegular:
      std::fprintf(err, "zantic-cli: the output is not a regular file (a device, FIFO or socket): %s\n",
                   output.c_str());
      return false;
    case appcore::ImageOutputProblem::IsSource:
      std::fprintf(err, "zantic-cli: the output is one of the sources: %s\n", output.c_str());
      return false;
  }
  return false;
}

void NoteLongLabel(const std::string& label, std::FILE* err) {
  if (label.size() > kVolumeLabelBytes)
    std::fprintf(err, "zantic-cli: the volume label has %zu characters; the disc keeps the first %zu (16 in the Joliet tree): %s\n",
                 label.size(), kVolumeLabelBytes, label.c_str());
}

int RunBuildIso(engine::TKavoBurner& burner, const BuildIsoOptions& o, std::FILE* out, std::FILE* err) {
  for (const auto& s : o.Sources) {
    std::error_code ec;
    if (!fs::exists(platform::Utf8Path(s), ec)) {
      std::fprintf(err, "zantic-cli: source not found: %s\n", s.c_str());
      return kExitBadInput;
    }
  }
  if (!CheckOutput(o.Output, o.Sources, err)) return kExitBadInput;
  NoteLongLabel(o.Volume, err);
  if (!o.BootImage.empty()) {
    // The engine quietly writes a non-bootable image without one; asked for
    // on the command line, that is a mistake to report.
    switch (engine::CheckBootImage(o.BootImage)) {
      case engine::BootProblem::None: break;
      case engine::BootProblem::NoImage:
      case engine::BootProblem::Missing:
        std::fprintf(err, "zantic-cli: boot image not found: %s\n", o.BootImage.c_str());
        return kExitBadInput;
      case engine::BootProblem::NotAFile:
      case engine::BootProblem::Empty:
        std::fprintf(err, "zantic-cli: the boot image is not a file with contents: %s\n", o.BootImage.c_str());
        return kExitBadInput;
    }
  }

  burner.SetJolietFileSystem(o.Joliet);
  burner.SetReplaceFile(o.Replace);
  burner.SetIdVolume(o.Volume);
  burner.SetIdSystem(o.System);
  burner.SetIdVolumeSet(o.VolumeSet);
  burner.SetIdPublisher(o.Publisher);
  burner.SetIdPreparer(o.Preparer);
  burner.SetIdApplication(o.Application);
  burner.SetFileCopyright(o.Copyright);
  burner.SetFileAbstract(o.Abstract);
  burner.SetFileBibliographic(o.Bibliographic);
  if (!o.CacheMb.empty()) burner.SetCacheSize(static_cast<std::uint32_t>(std::stoul(o.CacheMb)) * 1048576u);

  appcore::BurnJobRequest request;
  request.Kind = appcore::JobKind::ImageBuild;
  request.Sources = appcore::PlainSources{o.Sources, o.BootImage, o.RockRidge, o.FollowLinks || !o.RockRidge};
  request.ImageFile = o.Output;
  request.Label = o.Volume;
  request.QuickSave = o.Quick;

  // The engine's messages: sources that stay off the disc (each counted as
  // left out), and while writing, files that changed under us.
  std::atomic<int> messages{0};
  burner.OnDebugMessage = [&](device::TSCSIDevice&, const std::string& message, std::uint8_t kind) {
    if (kind == device::kMsgProgress) return;
    ++messages;
    std::string text = message.rfind(">>> ", 0) == 0 ? message.substr(4) : message;
    std::fprintf(err, "zantic-cli: %s\n", text.c_str());
  };
  auto stepStart = std::chrono::steady_clock::now();
  auto step = [&](const char* name) {
    const auto now = std::chrono::steady_clock::now();
    if (o.Verbose)
      std::fprintf(err, "zantic-cli: %-12s %8.3f s\n", name, std::chrono::duration<double>(now - stepStart).count());
    stepStart = now;
  };
  // What the summary tells, read once laid out: the end resets the compilation.
  std::uint64_t files = 0;
  std::uint64_t bytes = 0;
  std::uint64_t sectors = 0;
  ProgressBar bar(err);
  JobLoop loop;
  loop.Events.OnSize = [&](std::uint32_t imageSectors) {
    // Sources are added and laid out in one step on the worker.
    step("add sources, layout");
    for (const auto& f : burner.Tables().Files())
      if (!f->IsDirectory()) {
        ++files;
        bytes += static_cast<std::uint64_t>(f->RecordedSize);
      }
    // The threaded path pads a short image to the 300-sector minimum.
    sectors = o.Quick ? burner.CurrentLayout().SectorsToWrite : imageSectors;
  };
  loop.Progress = [&bar](const engine::ProgressSnapshot& s) { bar.Update(s.BytesWritten, s.BytesTotal); };
  const appcore::OperationEnd end = RunJob(burner, appcore::Options{}, std::move(request), std::move(loop));
  burner.OnDebugMessage = nullptr;
  if (end.Empty) {
    std::fprintf(err, "zantic-cli: nothing to write: the sources hold no files\n");
    return kExitBadInput;
  }
  if (end.Outcome != appcore::JobOutcome::Done) {
    if (end.Refused) {
      if (!end.Told) std::fprintf(err, "zantic-cli: %s\n", end.Text.c_str());
      return kExitBadInput;
    }
    bar.Finish();
    std::fprintf(err, "zantic-cli: %s\n", end.Text.c_str());
    return end.Outcome == appcore::JobOutcome::Aborted ? kExitAborted : kExitFailed;
  }
  bar.Finish();
  step("write image");
  if (!o.BootImage.empty() && burner.LastBootProblem() != engine::BootProblem::None) {
    std::fprintf(err, "zantic-cli: the boot image went away while building; the image is not bootable: %s\n",
                 o.BootImage.c_str());
    return kExitFailed;
  }

  // Every refused source said so once; the other messages are warnings.
  const std::size_t leftOut = end.LeftOut;
  const auto said = static_cast<std::size_t>(messages.load());
  const std::size_t warnings = said - std::min(leftOut, said);
  std::fprintf(out, "Image:     %s\n", o.Output.c_str());
  std::fprintf(out, "Volume:    %s\n", o.Volume.c_str());
  std::fprintf(out, "Tree:      ISO 9660%s%s\n", o.RockRidge ? " + Rock Ridge" : "", o.Joliet ? " + Joliet" : "");
  if (!o.BootImage.empty()) std::fprintf(out, "Boot:      %s\n", o.BootImage.c_str());
  std::fprintf(out, "Folders:   %u\n", end.Folders);
  std::fprintf(out, "Files:     %llu (%llu bytes)\n", static_cast<unsigned long long>(files),
               static_cast<unsigned long long>(bytes));
  std::fprintf(out, "Sectors:   %llu (%llu bytes)\n", static_cast<unsigned long long>(sectors),
               static_cast<unsigned long long>(sectors * 2048));
  if (leftOut > 0) std::fprintf(out, "Left out:  %zu (see above)\n", leftOut);
  if (warnings > 0) std::fprintf(out, "Warnings:  %zu (see above)\n", warnings);
  return leftOut > 0 ? kExitIncomplete : kExitOk;
}

}  // namespace cli
