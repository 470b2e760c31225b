#include "cli/read_command.h"

#include <algorithm>
#include <charconv>

#include "appcore/image_output.h"
#include "cli/build_iso.h"
#include "cli/health_common.h"
#include "engine/device/media_types.h"
#include "engine/health/disc_reader.h"
#include "engine/health/sector_map.h"
#include "engine/health/session_files.h"
#include "engine/iso/session_reader.h"
#include "engine/kavo_burner.h"
#include "engine/stream/direct_writer.h"
#include "platform/file_find.h"
#include "platform/file_stream.h"
#include "vdrive/registration.h"

namespace cli {

const char* const kReadUsage =
    "usage: zantic-cli read (--device DEV | --image FILE) [--session N] -o OUT.iso\n"
    "                       [--resume] [--speed KBPS] [--retries N]\n"
    "       zantic-cli read (--device DEV | --image FILE) [--session N] --map MAP\n"
    "\n"
    "Reads every sector from 0 to the end of the session (the last by default)\n"
    "into OUT.iso. Sectors that stay unreadable after smaller reads and N more\n"
    "tries each (default 4) are left as zeros and listed in OUT.iso.map, one\n"
    "range a line (\"FIRST COUNT\", after a line \"sectors N\" with the size of the\n"
    "image); the files, directories and sectors of no file they hit are listed.\n"
    "--resume reads only the sectors the map still lists, into the existing\n"
    "image, and updates the map. With --map and no -o, lists what the ranges of\n"
    "MAP hit on the disc, without reading it.\n"
    "\n"
    "options:\n"
    "      --device DEV     the drive (an address, a device node or a virtual disc file)\n"
    "      --image FILE     an image file as the disc\n"
    "      --session N      the session; -1 (the default) or above the last: the last\n"
    "  -o  --output FILE    the image to write\n"
    "      --speed KBPS     read speed in kB/s (default the drive's maximum)\n"
    "  -h, --help           show this help\n"
    "\n"
    "exit codes: 0 every sector read; 1 sectors stayed unreadable, or the disc\n"
    "or image could not be read or written; 2 wrong arguments; 130 interrupted\n"
    "(no file is left under the name of a new image).\n";

namespace {

struct ReadOptions {
  std::string Device, Image, Output, Map;
  int Session = -1;
  bool Resume = false;
  std::uint32_t Speed = 0;
  int Retries = 4;
  bool Help = false;
};

bool ParseInt(const std::string& text, long long low, long long high, long long& value) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && p == end && !text.empty() && value >= low && value <= high;
}

bool Parse(const std::vector<std::string>& args, ReadOptions& o, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      o.Help = true;
      continue;
    }
    if (a == "--resume") {
      o.Resume = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = a.rfind("-", 0) == 0 ? a + " needs a value" : "unexpected argument: " + a;
      return false;
    }
    const std::string& v = args[++i];
    long long n = 0;
    if (a == "--device") o.Device = v;
    else if (a == "--image") o.Image = v;
    else if (a == "-o" || a == "--output") o.Output = v;
    else if (a == "--map") o.Map = v;
    else if (a == "--session") {
      if (!ParseInt(v, -1, 127, n) || n == 0) { error = "--session takes -1 or a session number from 1 to 127: " + v; return false; }
      o.Session = static_cast<int>(n);
    } else if (a == "--speed") {
      if (!ParseInt(v, 1, 0xFFFE, n)) { error = "--speed takes kB/s from 1 to 65534: " + v; return false; }
      o.Speed = static_cast<std::uint32_t>(n);
    } else if (a == "--retries") {
      if (!ParseInt(v, 0, 100, n)) { error = "--retries takes 0 to 100: " + v; return false; }
      o.Retries = static_cast<int>(n);
    } else {
      error = "unknown option: " + a;
      return false;
    }
  }
  if (o.Help) return true;
  if (o.Device.empty() == o.Image.empty()) error = "name the disc with --device DEV or --image FILE";
  else if (o.Output.empty() && o.Map.empty()) error = "name the image to write with -o FILE";
  else if (o.Resume && o.Output.empty()) error = "--resume needs -o FILE, the image to complete";
  else if (!o.Output.empty() && !o.Map.empty()) error = "--map lists a map's damage; a read writes OUT.iso.map itself";
  return error.empty();
}

// False, with the reason on `err`, when `path` must not be written: a
// folder, a device or FIFO, or the disc being read (the file named, or any
// virtual disc, which a drive address may stand for).
bool CheckReadOutput(const std::string& path, const ReadOptions& o, std::FILE* err) {
  std::vector<std::string> discs = vdrive::ConfiguredDiscs();
  discs.push_back(o.Image.empty() ? o.Device : o.Image);
  switch (appcore::CheckImageOutput(path, discs)) {
    case appcore::ImageOutputProblem::None: return true;
    case appcore::ImageOutputProblem::Folder:
      std::fprintf(err, "zantic-cli: the output is a folder, not a file: %s\n", path.c_str());
      return false;
    case appcore::ImageOutputProblem::NotRegular:
      std::fprintf(err, "zantic-cli: the output is not a regular file (a device, FIFO or socket): %s\n", path.c_str());
      return false;
    case appcore::ImageOutputProblem::IsSource:
      std::fprintf(err, "zantic-cli: the output is the disc being read: %s\n", path.c_str());
      return false;
  }
  return false;
}

// The unreadable sectors of `candidates` that no file or directory of
// sessions 1 to `last` owns; nullopt when a file tree cannot be read.
std::optional<std::vector<health::SectorRange>> OwnedByNoFile(iso::DiscSource& disc, std::uint8_t last,
                                                             const std::vector<health::SectorRange>& candidates) {
  std::vector<health::SectorRange> free = candidates;
  for (std::uint8_t s = 1; s != 0 && s <= last && !free.empty(); ++s) {
    auto tree = health::ReadSessionTree(disc, s);
    if (!tree || !tree.Value().LeftOut.empty()) return std::nullopt;
    free = health::DamagedFiles(tree.Value(), free).NoFile;
  }
  return free;
}

// Sessions 1 to `last` with their file lists; damage is listed per session,
// since a later session may no longer show an earlier one's files.
void ListDamage(iso::DiscSource& disc, std::uint8_t last, const health::SectorMap& map, engine::TKavoBurner& burner,
                std::FILE* out, std::FILE* err) {
  if (map.Unreadable.empty()) return;
  for (std::uint8_t s = 1; s <= last; ++s) {
    auto tree = health::ReadSessionTree(disc, s, [&burner] { return burner.CancelRequested(); });
    if (!tree) {
      std::fprintf(err, "zantic-cli: session %u: %s\n", static_cast<unsigned>(s), tree.Err().Message.c_str());
      continue;
    }
    for (const auto& p : tree.Value().UnreadDirectories)
      std::fprintf(out, "session %u: directory %s could not be read in full\n", static_cast<unsigned>(s),
                   Printable("/" + p).c_str());
    // Only the session's own sectors can belong to no file of it.
    std::vector<health::SectorRange> own;
    const auto end = health::SessionEnd(disc, s);
    for (const auto& r : map.Unreadable) {
      const std::uint64_t from = std::max<std::uint64_t>(r.Start, tree.Value().Start);
      const std::uint64_t to = std::min<std::uint64_t>(r.End(), end ? *end : r.End());
      if (from < to) own.push_back({static_cast<std::uint32_t>(from), static_cast<std::uint32_t>(to - from)});
    }
    auto damage = health::DamagedFiles(tree.Value(), map.Unreadable);
    damage.NoFile = health::DamagedFiles(tree.Value(), own).NoFile;
    PrintDamage(tree.Value(), damage, out);
  }
}

int ListFromMap(engine::TKavoBurner& burner, const ReadOptions& o, std::FILE* out, std::FILE* err) {
  auto map = health::LoadSectorMap(o.Map);
  if (!map) {
    std::fprintf(err, "zantic-cli: %s\n", map.Err().Message.c_str());
    return kExitBadInput;
  }
  OpenedDisc disc;
  std::string error;
  if (!OpenDisc(burner, o.Image, o.Device, disc, error)) {
    std::fprintf(err, "zantic-cli: %s\n", error.c_str());
    return kExitFailed;
  }
  const std::uint8_t session = health::ChosenSession(*disc.Source, o.Session);
  if (session == 0) {
    std::fprintf(err, "zantic-cli: the disc holds no session\n");
    return kExitFailed;
  }
  std::fprintf(out, "%llu unreadable sectors in %zu ranges\n",
               static_cast<unsigned long long>(map.Value().UnreadableSectors()), map.Value().Unreadable.size());
  ListDamage(*disc.Source, session, map.Value(), burner, out, err);
  return burner.CancelRequested() ? kExitAborted : kExitOk;
}

}  // namespace

int RunRead(engine::TKavoBurner& burner, const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  ReadOptions o;
  std::string error;
  if (!Parse(args, o, error)) {
    std::fprintf(err, "zantic-cli: %s\n\n%s", error.c_str(), kReadUsage);
    return kExitBadInput;
  }
  if (o.Help) {
    std::fputs(kReadUsage, out);
    return kExitOk;
  }
  if (o.Output.empty()) return ListFromMap(burner, o, out, err);
  const std::string mapPath = o.Output + ".map";
  // Checked before anything is read or written, the map included.
  if (!CheckReadOutput(o.Output, o, err) || !CheckReadOutput(mapPath, o, err)) return kExitBadInput;
  health::SectorMap before;
  if (o.Resume) {
    auto loaded = health::LoadSectorMap(mapPath);
    if (!loaded) {
      std::fprintf(err, "zantic-cli: --resume: %s\n", loaded.Err().Message.c_str());
      return kExitBadInput;
    }
    before = std::move(loaded.Value());
  }
  OpenedDisc disc;
  if (!OpenDisc(burner, o.Image, o.Device, disc, error)) {
    std::fprintf(err, "zantic-cli: %s\n", error.c_str());
    return kExitFailed;
  }
  if (o.Speed != 0 && disc.Image == nullptr && !burner.SetCdSpeed(static_cast<std::uint16_t>(o.Speed), 0xFFFF))
    std::fprintf(err, "zantic-cli: the drive refused the read speed %u kB/s; reading at its own speed\n", o.Speed);
  const std::uint8_t session = health::ChosenSession(*disc.Source, o.Session);
  const std::uint8_t medium = disc.Image == nullptr ? burner.DetectMediaType() : device::kMediumUnknown;
  const auto bounds = medium == device::kMediumDvdRam || medium == device::kMediumDvdprw ||
                              medium == device::kMediumDvdrwRestricted || medium == device::kMediumBdre
                          ? health::SessionBounds::FileSystem
                          : health::SessionBounds::Track;
  const auto end = session == 0 ? std::nullopt : health::SessionEnd(*disc.Source, session, bounds);
  if (!end || *end == 0) {
    std::fprintf(err, "zantic-cli: the disc holds no readable session%s\n",
                 session == 0 ? "" : (" " + std::to_string(session)).c_str());
    return kExitFailed;
  }
  if (bounds == health::SessionBounds::FileSystem) {
    // The volume's size is data on the disc; a larger one is said, not read.
    const auto track = disc.Source->TrackInfo(session);
    const auto volume = track ? iso::FindDescriptor(*disc.Source, track->Start, false) : std::nullopt;
    const std::uint64_t claimed = !volume                                   ? 0
                                  : volume->VolumeSpaceSize > track->Start ? volume->VolumeSpaceSize
                                                                           : std::uint64_t{track->Start} + volume->VolumeSpaceSize;
    if (claimed > *end)
      std::fprintf(err, "zantic-cli: the volume claims to end at sector %llu; the disc ends at %u: only that is read\n",
                   static_cast<unsigned long long>(claimed), *end);
  }
  if (o.Resume && before.Sectors != *end) {
    std::fprintf(err, "zantic-cli: --resume: %s describes %u sectors, session %u ends at %u: not the same disc\n",
                 mapPath.c_str(), before.Sectors, static_cast<unsigned>(session), *end);
    return kExitBadInput;
  }
  // A new image is written under a temporary name, so that an interrupted
  // or failed read leaves nothing under the target name. The name is new
  // and made exclusively: no file of the user's and no link is written through.
  std::string target = o.Output;
  base::Result<platform::FileStream> image = base::MakeError(base::ErrorKind::Internal, "not opened");
  if (o.Resume) {
    image = platform::FileStream::Open(target, platform::OpenMode::ReadWrite);
  } else {
    stream::RemoveStalePartFiles(o.Output);  // left by a read that was killed
    auto made = health::CreateUniqueFile(o.Output + ".part-");
    if (made) {
      target = made.Value().first;
      image = std::move(made.Value().second);
      image.Value().TryLock();  // in use: not stale for another run's clean-up
    } else {
      image = made.Err();
    }
  }
  if (!image) {
    std::fprintf(err, "zantic-cli: cannot write %s: %s\n", target.c_str(), image.Err().Message.c_str());
    return kExitFailed;
  }
  const std::uint64_t bytes = std::uint64_t{*end} * 2048;
  if (o.Resume && image.Value().Size() != static_cast<std::int64_t>(bytes)) {
    std::fprintf(err, "zantic-cli: --resume: %s is not %llu bytes long, as its map says\n", o.Output.c_str(),
                 static_cast<unsigned long long>(bytes));
    return kExitBadInput;
  }
  const std::vector<health::SectorRange> todo =
      o.Resume ? before.Unreadable : health::RecordedRanges(*disc.Source, session, bounds);
  if (todo.empty() && !o.Resume) {
    std::fprintf(err, "zantic-cli: the tracks of session %u cannot be found\n", static_cast<unsigned>(session));
    image.Value().Close();
    platform::RemoveFile(target);
    return kExitFailed;
  }
  std::uint64_t todoSectors = 0;
  for (const auto& t : todo) todoSectors += t.Count;
  const auto discard = [&] {
    image.Value().Close();
    if (!o.Resume) platform::RemoveFile(target);
  };
  if (!o.Resume) {
    if (auto st = image.Value().Truncate(bytes); !st) {
      std::fprintf(err, "zantic-cli: cannot write %s: %s\n", target.c_str(), st.Err().Message.c_str());
      discard();
      return kExitFailed;
    }
  }
  std::fprintf(err, "reading session %u: %s sectors%s\n", static_cast<unsigned>(session),
               std::to_string(todoSectors).c_str(),
               o.Resume ? " the map lists" : "");
  HealthProgress progress(err);
  health::ReadSettings settings;
  settings.SectorRetries = o.Retries;
  health::ReadCallbacks callbacks;
  callbacks.Cancelled = [&burner] { return burner.CancelRequested(); };
  callbacks.Progress = [&progress](std::uint64_t done, std::uint64_t total, std::uint64_t bad) {
    progress.Update(done * 2048, total * 2048, bad != 0 ? "  unreadable " + std::to_string(bad) : std::string());
  };
  auto outcome = health::ReadIntoImage(*disc.Source, image.Value(), todo, settings, callbacks);
  progress.Break();
  if (!outcome) {
    std::fprintf(err, "zantic-cli: cannot write %s: %s\n", target.c_str(), outcome.Err().Message.c_str());
    discard();
    return kExitFailed;
  }
  health::ReadOutcome& r = outcome.Value();
  if (r.Cancelled && !o.Resume) {
    discard();
    std::fprintf(err, "zantic-cli: interrupted; no image written\n");
    return kExitAborted;
  }
  // What is still unread: the sectors that failed and, when interrupted, those not reached.
  health::SectorMap after;
  after.Sectors = *end;
  for (const auto& list : {r.Unreadable, r.NotDone})
    for (const auto& range : list) after.Unreadable.push_back(range);
  std::sort(after.Unreadable.begin(), after.Unreadable.end(),
            [](const health::SectorRange& a, const health::SectorRange& b) { return a.Start < b.Start; });
  auto text = health::ParseSectorMap(health::FormatSectorMap(after));  // merges touching ranges
  if (text) after = std::move(text.Value());
  if (device::IsCdMedium(medium) && medium != device::kMediumUnknown && !after.Unreadable.empty()) {
    const auto runOut = health::RunOutSectors(*disc.Source, session);
    const auto hit = health::Without(after.Unreadable, health::Without(after.Unreadable, runOut));
    // Only sectors no file owns are run-out; a volume that ends too soon
    // may leave a file's last sectors there.
    const auto dropped = hit.empty() ? std::optional<std::vector<health::SectorRange>>()
                                     : OwnedByNoFile(*disc.Source, session, hit);
    if (dropped && !dropped->empty()) {
      std::fprintf(out, "the run-out sectors %s after a track's file system could not be read: no data, left as zeros\n",
                   health::RangesText(*dropped).c_str());
      after.Unreadable = health::Without(after.Unreadable, *dropped);
    }
  }
  if (auto st = image.Value().Sync(); !st) {
    std::fprintf(err, "zantic-cli: cannot write %s: %s\n", target.c_str(), st.Err().Message.c_str());
    discard();
    return kExitFailed;
  }
  image.Value().Close();
  if (auto st = health::SaveSectorMap(mapPath, after); !st) {
    std::fprintf(err, "zantic-cli: %s\n", st.Err().Message.c_str());
    if (!o.Resume) platform::RemoveFile(target);
    return kExitFailed;
  }
  if (!o.Resume) {
    if (auto st = platform::RenameFile(target, o.Output); !st) {
      std::fprintf(err, "zantic-cli: cannot write %s: %s\n", o.Output.c_str(), st.Err().Message.c_str());
      platform::RemoveFile(target);
      return kExitFailed;
    }
  }
  const std::uint64_t bad = after.UnreadableSectors();
  std::fprintf(out, "%s session %u into %s: %u sectors, %llu unreadable in %zu ranges (map %s)\n",
               o.Resume ? "completed" : "read", static_cast<unsigned>(session), o.Output.c_str(), *end,
               static_cast<unsigned long long>(bad), after.Unreadable.size(), mapPath.c_str());
  if (r.Cancelled) {
    std::fprintf(err, "zantic-cli: interrupted; the map still lists what was not read\n");
    return kExitAborted;
  }
  if (bad != 0) {
    // The file list comes from the image, which holds zeros where the disc
    // failed: the drive is not asked again for those sectors.
    auto copy = iso::ImageSource::OpenFile(o.Output);
    if (copy) {
      std::vector<std::uint32_t> starts;
      for (std::uint8_t s = 1; s <= session; ++s)
        if (const auto t = disc.Source->TrackInfo(s)) starts.push_back(t->Start);
      copy.Value()->SetSessionStarts(starts);
      ListDamage(*copy.Value(), session, after, burner, out, err);
    }
  }
  return bad != 0 ? kExitFailed : kExitOk;
}

}  // namespace cli
