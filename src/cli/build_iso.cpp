#include "cli/build_iso.h"

#include <chrono>
#include <filesystem>
#include <string>

#include "appcore/image_output.h"
#include "appcore/sources.h"
#include "cli/progress.h"
#include "engine/dispatch/dispatcher.h"
#include "engine/kavo_burner.h"
#include "engine/texts.h"
#include "platform/file_find.h"
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

bool AddSource(engine::TKavoBurner& burner, const std::string& source, std::FILE* err) {
  switch (appcore::AddSource(burner, source)) {
    case appcore::SourceAdded::Added: return true;
    case appcore::SourceAdded::FolderRefused: return false;  // the engine said why
    case appcore::SourceAdded::NotFound: break;
  }
  std::fprintf(err, "zantic-cli: source not found: %s\n", source.c_str());
  return false;
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

  burner.ResetCompilation(600000, 20000);
  burner.SetJolietFileSystem(o.Joliet);
  burner.SetRockRidge(o.RockRidge);
  burner.SetFollowLinks(o.FollowLinks || !o.RockRidge);
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
  burner.Bootable = !o.BootImage.empty();
  burner.BootImageFile = o.BootImage;

  // Messages while adding name sources that stay off the disc; while writing,
  // files that changed under us.
  int leftOut = 0;
  int warnings = 0;
  bool writing = false;
  burner.OnDebugMessage = [&](device::TSCSIDevice&, const std::string& message, std::uint8_t kind) {
    if (kind == device::kMsgProgress) return;
    ++(writing ? warnings : leftOut);
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
  for (const auto& s : o.Sources) {
    if (burner.CancelRequested()) {
      std::fprintf(err, "zantic-cli: %s\n", engine::texts::kOperationAborted);
      return kExitAborted;
    }
    if (!AddSource(burner, s, err)) return kExitBadInput;
  }
  if (burner.CompilationDirCount() == 0 && burner.CompilationEntryCount() == 0) {
    std::fprintf(err, "zantic-cli: nothing to write: the sources hold no files\n");
    return kExitBadInput;
  }

  step("add sources");
  writing = true;
  burner.PrepareLayout(engine::LayoutTarget::ImageFile);
  step("layout");
  ProgressBar bar(err);
  burner.OnProgress = [&bar](engine::TKavoBurner&, const engine::Progress& p) { bar.Update(p.BytesDone, p.BytesTotal); };
  std::string error;
  bool done = false;
  burner.OnWriteDone = [&](engine::TKavoBurner&, const std::string& e) {
    error = e;
    done = true;
  };
  if (o.Quick) {
    burner.WriteImageFile(o.Output, engine::SaveMode::Quick);
  } else {
    // The writer thread reports through this thread's queue; meanwhile the
    // bar follows the bytes written.
    dispatch::QueueDispatcher queue;
    burner.SetDispatcher(&queue);
    const std::uint64_t total = std::uint64_t{burner.ImageSectors()} * 2048;
    burner.WriteImageFile(o.Output, engine::SaveMode::Threaded);
    while (!done) {
      queue.RunPending(std::chrono::milliseconds(100));
      bar.Update(burner.BytesWritten(), total);
    }
    burner.WaitForOperation();
    burner.SetDispatcher(nullptr);
  }
  bar.Finish();
  step("write image");
  if (!done) error = "INTERNAL ERROR: no end of write reported";
  if (!error.empty()) {
    std::fprintf(err, "zantic-cli: %s\n", error.c_str());
    return error == engine::texts::kOperationAborted ? kExitAborted : kExitFailed;
  }
  if (!o.BootImage.empty() && burner.LastBootProblem() != engine::BootProblem::None) {
    std::fprintf(err, "zantic-cli: the boot image went away while building; the image is not bootable: %s\n",
                 o.BootImage.c_str());
    return kExitFailed;
  }

  const auto& layout = burner.CurrentLayout();
  std::uint64_t files = 0;
  std::uint64_t bytes = 0;
  for (const auto& f : burner.Tables().Files())
    if (!f->IsDirectory()) {
      ++files;
      bytes += static_cast<std::uint64_t>(f->RecordedSize);
    }
  std::fprintf(out, "Image:     %s\n", o.Output.c_str());
  std::fprintf(out, "Volume:    %s\n", o.Volume.c_str());
  std::fprintf(out, "Tree:      ISO 9660%s%s\n", o.RockRidge ? " + Rock Ridge" : "", o.Joliet ? " + Joliet" : "");
  if (burner.Bootable) std::fprintf(out, "Boot:      %s\n", o.BootImage.c_str());
  std::fprintf(out, "Folders:   %u\n", burner.CompilationDirCount());
  std::fprintf(out, "Files:     %llu (%llu bytes)\n", static_cast<unsigned long long>(files),
               static_cast<unsigned long long>(bytes));
  // The threaded path pads a short image to the 300-sector minimum.
  const std::uint64_t sectors = o.Quick ? layout.SectorsToWrite : burner.ImageSectors();
  std::fprintf(out, "Sectors:   %llu (%llu bytes)\n", static_cast<unsigned long long>(sectors),
               static_cast<unsigned long long>(sectors * 2048));
  if (leftOut > 0) std::fprintf(out, "Left out:  %d (see above)\n", leftOut);
  if (warnings > 0) std::fprintf(out, "Warnings:  %d (see above)\n", warnings);
  return leftOut > 0 ? kExitIncomplete : kExitOk;
}

}  // namespace cli
