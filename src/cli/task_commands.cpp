#include "cli/task_commands.h"

#include <optional>

#include "appcore/burn_job.h"
#include "appcore/options.h"
#include "appcore/schedule.h"
#include "appcore/task_burn.h"
#include "appcore/task_tree.h"
#include "appcore/texts.h"
#include "cli/build_iso.h"
#include "cli/health_common.h"
#include "cli/operation.h"
#include "cli/burn.h"
#include "cli/progress.h"
#include "engine/interaction.h"
#include "engine/kavo_burner.h"
#include "platform/program_folder.h"

namespace cli {

const char* const kTaskUsage =
    "usage: zantic-cli task show FILE.mvt\n"
    "       zantic-cli task iso FILE.mvt -o OUT.iso [--quick] [-V LABEL]\n"
    "       zantic-cli task burn FILE.mvt [--device DEV] [--speed S] [--verify]\n"
    "\n"
    "  show   the task's folders and items with the sizes stored in it\n"
    "  iso    build an image of the task as the main window would transfer it;\n"
    "         the volume label is the task's root name unless -V is given\n"
    "  burn   burn the task with the options of Option.ini (finalize, test\n"
    "         write, session import ...) on the drive they name\n"
    "\n"
    "options:\n"
    "      --program-folder DIR   where Option.ini and the Schedule folder are\n"
    "  -o, --output FILE          the image file to write\n"
    "  -V, --volume LABEL         volume identifier\n"
    "      --quick                write directly, without the read-ahead cache\n"
    "      --device DEV           burn: the drive (address, device node or virtual\n"
    "                             disc file) instead of the options' drive\n"
    "      --speed S              burn: Max (default), a factor such as 16X, or KB/s\n"
    "      --verify               burn: read the written sectors back and compare\n";

namespace {

struct Parsed {
  std::vector<std::string> Positional;
  std::string ProgramFolder;
  std::string Output;
  std::optional<std::string> Volume;
  std::string Device;
  std::string Speed;
  bool Verify = false;
  bool Quick = false;
  bool Help = false;
};

std::optional<Parsed> Parse(const std::vector<std::string>& args, std::string& error) {
  Parsed p;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) {
        error = "missing value after " + a;
        return false;
      }
      into = args[++i];
      return true;
    };
    if (a == "-h" || a == "--help") {
      p.Help = true;
    } else if (a == "--program-folder") {
      if (!value(p.ProgramFolder)) return std::nullopt;
    } else if (a == "-o" || a == "--output") {
      if (!value(p.Output)) return std::nullopt;
    } else if (a == "-V" || a == "--volume") {
      std::string v;
      if (!value(v)) return std::nullopt;
      p.Volume = v;
    } else if (a == "--device") {
      if (!value(p.Device)) return std::nullopt;
    } else if (a == "--speed") {
      if (!value(p.Speed)) return std::nullopt;
    } else if (a == "--verify") {
      p.Verify = true;
    } else if (a == "--quick") {
      p.Quick = true;
    } else if (a.size() > 1 && a[0] == '-') {
      error = "unknown option: " + a;
      return std::nullopt;
    } else {
      p.Positional.push_back(a);
    }
  }
  if (p.ProgramFolder.empty()) p.ProgramFolder = platform::ProgramFolder();
  return p;
}

std::string SizeText(std::int64_t bytes) { return bytes == 0 ? "0" : appcore::FormatSize(bytes); }

void PrintNode(const appcore::TaskNode& node, int depth, std::FILE* out) {
  const std::string indent(static_cast<std::size_t>(depth) * 2, ' ');
  const std::string size = SizeText(appcore::SumNodeSizes(node));
  const std::string name = node.IsItem() ? node.Name : node.Name + (depth > 0 ? "/" : "");
  std::fprintf(out, "%s%-*s %15s\n", indent.c_str(), std::max(1, 60 - depth * 2), name.c_str(),
               size.c_str());
  for (const auto& child : node.Children) PrintNode(*child, depth + 1, out);
}

// Reads a task file; on failure says why and returns nothing.
std::optional<appcore::TaskTree> LoadTask(const std::string& path, std::FILE* err) {
  auto tree = appcore::ReadTaskFile(path);
  if (!tree.Ok()) {
    std::fprintf(err, "zantic-cli: %s: %s\n", path.c_str(), tree.Err().Message.c_str());
    return std::nullopt;
  }
  if (tree.Value().Empty()) {
    std::fprintf(err, "zantic-cli: %s: the task file is empty\n", path.c_str());
    return std::nullopt;
  }
  return std::move(tree.Value());
}

// Every source path the task names.
void CollectItems(const appcore::TaskNode& node, std::vector<std::string>& into) {
  for (const auto& child : node.Children) {
    if (child->IsItem()) into.push_back(child->Name);
    CollectItems(*child, into);
  }
}

int TaskIso(const Parsed& p, engine::TKavoBurner& burner, std::FILE* out, std::FILE* err) {
  if (p.Output.empty()) {
    std::fprintf(err, "zantic-cli: no output file (-o OUT.iso)\n\n%s", kTaskUsage);
    return kExitBadInput;
  }
  auto tree = LoadTask(p.Positional[1], err);
  if (!tree) return kExitBadInput;
  std::vector<std::string> sources{p.Positional[1]};
  CollectItems(*tree->Root, sources);
  if (!CheckOutput(p.Output, sources, err)) return kExitBadInput;
  NoteLongLabel(p.Volume.value_or(tree->Root->Name), err);
  const std::optional<appcore::Options> loaded = LoadProgramOptions(p.ProgramFolder, err);
  if (!loaded) return kExitFailed;
  const appcore::Options& options = *loaded;
  const std::string label = p.Volume.value_or(tree->Root->Name);
  options.ApplyToBurner(burner);
  burner.SetIdVolume(label);
  burner.OnDebugMessage = [err](device::TSCSIDevice&, const std::string& message, std::uint8_t kind) {
    if (kind == device::kMsgProgress) return;
    std::fprintf(err, "zantic-cli: %s\n", (message.rfind(">>> ", 0) == 0 ? message.substr(4) : message).c_str());
  };
  // The window's Build .ISO: an image file has no earlier session to carry on from.
  appcore::BurnJobRequest request = appcore::RequestFromOptions(appcore::JobKind::ImageBuild, options);
  request.Task = std::shared_ptr<const appcore::TaskTree>(std::shared_ptr<const appcore::TaskTree>{}, &*tree);
  request.ImageFile = p.Output;
  request.Label = label;
  request.QuickSave = p.Quick || options.QuickSaveISO;
  ProgressBar bar(err);
  JobLoop loop;
  loop.Events.OnLine = [err](const appcore::JobLogLine& line) {
    if (line.Kind == appcore::JobLine::NotFound)
      std::fprintf(err, "zantic-cli: source not found: %s\n", line.Detail.c_str());
  };
  loop.Progress = [&bar](const engine::ProgressSnapshot& s) { bar.Update(s.BytesWritten, s.BytesTotal); };
  // The end clears the archive bits of the files kept in the image, as after a burn.
  const appcore::OperationEnd end = RunJob(burner, options, std::move(request), std::move(loop));
  bar.Finish();
  burner.OnDebugMessage = nullptr;
  if (end.Empty) {
    std::fprintf(err, "zantic-cli: nothing to write: the task's sources hold no files\n");
    return kExitBadInput;
  }
  if (end.Outcome != appcore::JobOutcome::Done) {
    std::fprintf(err, "zantic-cli: %s\n", end.Text.c_str());
    if (end.Refused) return kExitBadInput;
    return end.Outcome == appcore::JobOutcome::Aborted ? kExitAborted : kExitFailed;
  }
  std::fprintf(out, "Image:     %s\nVolume:    %s\nFolders:   %u\nEntries:   %u\n", p.Output.c_str(),
               burner.IdVolume().c_str(), end.Folders, end.Entries);
  if (end.LeftOut > 0) std::fprintf(out, "Left out:  %zu (see above)\n", end.LeftOut);
  return end.LeftOut > 0 ? kExitIncomplete : kExitOk;
}

}  // namespace

std::optional<appcore::Options> LoadProgramOptions(const std::string& programFolder, std::FILE* err) {
  appcore::Options options;
  if (auto loaded = options.LoadFromFile(programFolder + "/" + appcore::kOptionFileName, ""); !loaded.Ok()) {
    std::fprintf(err, "zantic-cli: %s\n", loaded.Err().Message.c_str());
    return std::nullopt;
  }
  return options;
}

int BurnTask(const appcore::TaskTree& tree, const appcore::Options& options, const TaskBurn& how,
             engine::TKavoBurner& burner, std::FILE* out, std::FILE* err) {
  // Nobody is there to insert a disc and click OK: a drive still spinning up
  // gets ten seconds, then the question is answered Cancel and the task
  // stays due.
  engine::NonInteractiveAnswers answers;
  answers.NotReadyRetries = 10;
  answers.Notices = [err, &burner](const engine::DriveNotice& notice) {
    std::fprintf(err, "zantic-cli: %s (%s)\n", notice.Text.c_str(), burner.DeviceName().c_str());
  };
  engine::NonInteractive ask(answers);
  appcore::TaskBurnSetup setup;
  setup.Device = how.Device;
  setup.Scheduled = how.Scheduled;
  setup.Ask = &ask;
  burner.OnDebugMessage = [err](device::TSCSIDevice&, const std::string& message, std::uint8_t kind) {
    if (kind != device::kMsgProgress) std::fprintf(err, "%s\n", message.c_str());
  };
  switch (const appcore::PreparedTask p = appcore::PrepareTaskDrive(options, setup, burner); p.Step) {
    case appcore::TaskBurnStep::Ready: break;
    case appcore::TaskBurnStep::NoDrive:
      std::fprintf(err, "zantic-cli: %s\n", p.Error.c_str());
      return kExitFailed;
    case appcore::TaskBurnStep::NotRecorder: return kExitFailed;  // told through `ask`
    case appcore::TaskBurnStep::NotReady:
      if (!how.Scheduled || appcore::DriveNotReadyAction(options) != appcore::NotReadyAction::Cancel) {
        const std::string text = appcore::texts::kDriveNotReady;
        std::fprintf(err, "zantic-cli: %s (%s)\n", text.substr(0, text.find('\n')).c_str(), burner.DeviceName().c_str());
      }
      return kExitFailed;
  }
  TBurnSettings settings;
  settings.Medium = burner.DetectMediaType();
  settings.StopRequested = how.StopRequested;
  std::uint16_t speed = 0;
  if (!SpeedOf(how.Speed, settings.Medium, speed)) {
    std::fprintf(err, "zantic-cli: not a speed: %s\n", how.Speed.c_str());
    return kExitBadInput;
  }
  if (how.Started) how.Started();
  options.ApplyToBurner(burner);
  burner.SetWriteSpeed(speed);
  burner.SetIdVolume(tree.Root->Name);
  // The window's burn from here on: the drive selected above stays the job's.
  appcore::BurnJobRequest request = appcore::RequestFromOptions(appcore::JobKind::Burn, options);
  request.Scheduled = how.Scheduled;
  request.Verify = how.Verify;
  // A script's next command reads the disc: it stays in, as after `burn`.
  request.KeepDisc = true;
  request.Label = tree.Root->Name;
  // The job lets go of the task at its end, before RunOperation returns.
  request.Task = std::shared_ptr<const appcore::TaskTree>(std::shared_ptr<const appcore::TaskTree>{}, &tree);
  return RunOperation(burner, options, std::move(request), settings, out, err);
}

int RunTaskCommand(const std::vector<std::string>& args, engine::TKavoBurner& burner, std::FILE* out, std::FILE* err) {
  std::string error;
  auto p = Parse(args, error);
  if (!p) {
    std::fprintf(err, "zantic-cli: %s\n\n%s", error.c_str(), kTaskUsage);
    return kExitBadInput;
  }
  if (p->Help) {
    std::fputs(kTaskUsage, out);
    return kExitOk;
  }
  const std::string verb = p->Positional.empty() ? "" : p->Positional[0];
  if ((verb != "show" && verb != "iso" && verb != "burn") || p->Positional.size() != 2) {
    std::fprintf(err, "zantic-cli: %s\n\n%s", verb.empty() ? "no task command" : "wrong task command or file",
                 kTaskUsage);
    return kExitBadInput;
  }
  if (verb == "iso") return TaskIso(*p, burner, out, err);
  auto tree = LoadTask(p->Positional[1], err);
  if (!tree) return kExitBadInput;
  if (verb == "burn") {
    TaskBurn how;
    how.Device = p->Device;
    how.Speed = p->Speed;
    how.Verify = p->Verify;
    const std::optional<appcore::Options> options = LoadProgramOptions(p->ProgramFolder, err);
    if (!options) return kExitFailed;
    return BurnTask(*tree, *options, how, burner, out, err);
  }
  PrintNode(*tree->Root, 0, out);
  const appcore::SizeBar bar = appcore::ComputeSizeBar(appcore::SumNodeSizes(*tree->Root));
  std::fprintf(out, "Total: %s bytes (%s)\n", SizeText(appcore::SumNodeSizes(*tree->Root)).c_str(),
               bar.Hint.c_str());
  return kExitOk;
}

}  // namespace cli
