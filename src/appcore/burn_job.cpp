#include "appcore/burn_job.h"

#include <utility>

#include "appcore/disc_copy.h"
#include "appcore/sources.h"
#include "appcore/speed_list.h"
#include "appcore/task_tree.h"
#include "appcore/texts.h"
#include "engine/device/media_types.h"
#include "engine/health/checksum_burn.h"
#include "engine/kavo_burner.h"

namespace appcore {

std::shared_ptr<const TaskTree> CopyTask(const TaskTree& task) {
  auto copy = std::make_shared<TaskTree>();
  if (task.Root == nullptr) return copy;
  const auto clone = [](const TaskNode& from) {
    auto node = std::make_unique<TaskNode>();
    node->Kind = from.Kind;
    node->Name = from.Name;
    node->SizeText = from.SizeText;
    return node;
  };
  copy->Root = clone(*task.Root);
  // No recursion: a task file may nest deeper than the stack allows.
  std::vector<std::pair<const TaskNode*, TaskNode*>> pending{{task.Root.get(), copy->Root.get()}};
  while (!pending.empty()) {
    const auto [from, to] = pending.back();
    pending.pop_back();
    to->Children.reserve(from->Children.size());
    for (const auto& child : from->Children) {
      to->Children.push_back(clone(*child));
      pending.emplace_back(child.get(), to->Children.back().get());
    }
  }
  return copy;
}

BurnJobRequest RequestFromOptions(JobKind kind, const Options& options) {
  BurnJobRequest r;
  r.Kind = kind;
  r.ArchiveOnly = options.RunTime.ArchiveOnly;
  // A copy is the source disc as it was, its own checksum file included.
  r.Checksums = options.Checksums && kind != JobKind::Copy;
  r.TestWrite = options.TestWrite;
  r.Finalize = options.CloseDisc;
  r.QuickSave = options.RunTime.QuickSave;
  // An image file has no earlier session to carry on from; a copy is the
  // source's files alone.
  r.Session = kind == JobKind::ImageBuild || kind == JobKind::Copy ? std::int8_t{0} : options.RunTime.SessionNumber;
  return r;
}

bool CompilationEmpty(const engine::TKavoBurner& burner) {
  return burner.CompilationDirCount() == 0 && burner.CompilationEntryCount() == 0;
}

namespace {

void FillFromSources(const PlainSources& sources, engine::TKavoBurner& burner, std::int8_t session,
                     FilledCompilation& f) {
  burner.SetRockRidge(sources.RockRidge);
  burner.SetFollowLinks(sources.FollowLinks);
  burner.Bootable = !sources.BootImage.empty();
  burner.BootImageFile = sources.BootImage;
  for (const std::string& path : sources.Paths) {
    if (burner.CancelRequested()) {
      f.Aborted = true;
      return;
    }
    switch (AddSource(burner, path)) {
      case SourceAdded::Added: continue;
      case SourceAdded::NotFound: f.Error = "source not found: " + path; return;
      case SourceAdded::FolderRefused:
        f.Error = "source refused: " + path;
        f.Told = true;  // the engine said why
        return;
    }
  }
  f.Empty = CompilationEmpty(burner);
  // The earlier session is read at the layout.
  burner.SetSessionToImport(session);
  // Named as they were refused: the rest goes on, but the end is not "done".
  f.RefusedCount = burner.RefusedSourceCount();
  f.Aborted = burner.CancelRequested();
}

}  // namespace

FilledCompilation FillCompilation(const BurnJobRequest& request, engine::TKavoBurner& burner) {
  FilledCompilation f;
  const bool toDisc = request.Kind != JobKind::ImageBuild;
  if (toDisc) {
    burner.ReadBufferCapacity();
    f.BufferSize = burner.DeviceBufferSize();
    if (!request.Speed.empty())
      burner.SetWriteSpeed(static_cast<std::uint16_t>(SpeedTextToKBps(request.Speed, burner.DetectMediaType())));
  }
  burner.ResetCompilation(600000, 20000);
  if (request.Copy) {
    if (const base::Status added = request.Copy->AddToCompilation(burner); !added.Ok()) f.Error = added.Err().Message;
    f.Aborted = burner.CancelRequested();
    return f;
  }
  if (request.Sources) {
    FillFromSources(*request.Sources, burner, toDisc ? request.Session : std::int8_t{0}, f);
    return f;
  }
  if (request.Task == nullptr || request.Task->Root == nullptr) {
    f.Empty = true;
    return f;
  }
  auto filled = PrepareCompilation(*request.Task, burner, request.ArchiveOnly, toDisc ? request.Session : 0);
  if (!filled.Ok()) {
    f.Error = filled.Err().Message;
    f.Aborted = filled.Err().Kind == base::ErrorKind::Cancelled;
    return f;
  }
  f.Missing = std::move(filled.Value().MissingSources);
  f.Refused = std::move(filled.Value().RefusedFolders);
  f.RefusedNames = std::move(filled.Value().RefusedNames);
  f.RefusedCount = filled.Value().RefusedCount;
  f.Aborted = burner.CancelRequested();
  f.Empty = CompilationEmpty(burner);
  return f;
}

LaidOut LayOutCompilation(const BurnJobRequest& request, engine::TKavoBurner& burner,
                          std::unique_ptr<health::ChecksumAttachment>& sums,
                          const std::function<void(std::uint64_t done, std::uint64_t total)>& hashed) {
  LaidOut l;
  if (request.Kind == JobKind::ImageBuild) {
    burner.PrepareLayout(engine::LayoutTarget::ImageFile);
    l.Sectors = burner.ImageSectors();
    return l;
  }
  health::ChecksumCallbacks callbacks;
  callbacks.Cancelled = [&burner] { return burner.CancelRequested(); };
  callbacks.Progress = hashed;
  // Without checksums the earlier session's file is kept current, never stale.
  auto attached =
      request.Checksums ? health::AttachChecksumFile(burner, callbacks) : health::KeepChecksumFileCurrent(burner);
  if (!attached.Ok()) {
    l.Error = attached.Err().Message;
    l.Aborted = attached.Err().Kind == base::ErrorKind::Cancelled;
    l.Refused = attached.Err().Kind == base::ErrorKind::InvalidInput;
    return l;
  }
  sums = std::move(attached.Value());
  burner.PrepareLayout(engine::LayoutTarget::Disc);
  // An abort that cut the earlier session's import leaves a layout without
  // its files: it ends the burn instead of writing a session that lacks them.
  l.Aborted = burner.CancelRequested();
  l.Sectors = burner.ImageSectors();
  return l;
}

BurnEndPlan PlanBurnEnd(const BurnJobRequest& request, const Options& options, bool done) {
  BurnEndPlan plan;
  const bool toDisc = request.Kind != JobKind::ImageBuild;
  plan.LogDiscClosing = toDisc;
  // A test write recorded nothing: the files are still to be backed up.
  // A copy or an image burn writes none of the person's files.
  const bool personsFiles = request.Kind != JobKind::Copy && request.Kind != JobKind::ImageBurn;
  plan.ClearArchiveBits = done && request.ArchiveOnly && personsFiles && !(toDisc && request.TestWrite);
  // A scheduled run leaves the disc where the schedule's own end puts it.
  plan.Eject = done && options.EjectDone && toDisc && !request.Scheduled && !request.KeepDisc;
  if (request.Scheduled) {
    if (options.Sound(SoundEvent::ScheduleDone).Enabled) plan.Sound = SoundEvent::ScheduleDone;
  } else if (request.Kind == JobKind::Burn) {
    plan.Sound = SoundEvent::BurningDone;
  } else if (request.Kind == JobKind::ImageBuild) {
    plan.Sound = SoundEvent::BuildIsoDone;
  } else if (request.Kind == JobKind::Copy) {
    plan.Sound = SoundEvent::CopyDone;
  }
  plan.ExitProgram = options.ExitProgram;
  plan.PowerOff = options.CloseComputer;
  return plan;
}

void FinishBurn(const BurnEndPlan& plan, engine::TKavoBurner& burner) {
  if (plan.ClearArchiveBits) burner.ClearArchiveFlags();
  burner.ResetCompilation(600000, 20000);
}

bool CanErase(bool quick, bool rewritable, std::uint8_t medium) {
  return rewritable || (quick && medium == device::kMediumDvdRam);
}

bool CheckErasable(engine::TKavoBurner& burner, bool quick, std::uint8_t medium, engine::Interaction& ask) {
  if (CanErase(quick, burner.IsRewritable(), medium)) return true;
  engine::DriveNotice notice;
  notice.Kind = engine::NoticeKind::DiscNotErasable;
  const char letter = burner.DriveLetter();
  notice.Drive = letter != 0 ? std::string(1, letter) : burner.DriveLocation();
  notice.Text = texts::kNotErasable;
  ask.Notice(notice);
  return false;
}

}  // namespace appcore
