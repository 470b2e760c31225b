#include "cli/check_command.h"

#include <charconv>

#include "cli/build_iso.h"
#include "cli/health_common.h"
#include "engine/health/checksum_file.h"
#include "engine/health/disc_check.h"
#include "engine/kavo_burner.h"

namespace cli {

const char* const kCheckUsage =
    "usage: zantic-cli check (--device DEV | --image FILE) [--session N] [--speed KBPS]\n"
    "\n"
    "Reads every file of the session (the last by default). When the session\n"
    "holds a checksum file (~zantic.sha256, written by burn --checksums), each\n"
    "file is compared with it; otherwise the files are only read. Each file is\n"
    "reported as good, read (no checksum to compare), damaged (the checksum\n"
    "differs), unreadable (with its sectors), missing (listed, not on the disc)\n"
    "or unverified (not listed, while lines of the checksum file are unusable).\n"
    "Records the disc's file tree cannot take in are listed as left out.\n"
    "\n"
    "options:\n"
    "      --device DEV     the drive (an address, a device node or a virtual disc file)\n"
    "      --image FILE     an image file as the disc\n"
    "      --session N      the session; -1 (the default) or above the last: the last\n"
    "      --speed KBPS     read speed in kB/s (default the drive's maximum)\n"
    "  -h, --help           show this help\n"
    "\n"
    "exit codes: 0 every file good or read; 1 a file damaged, unreadable, missing\n"
    "or unverified, records left out, a session not written completely, a\n"
    "checksum file that cannot be used, or the disc could not be read; 2 wrong\n"
    "arguments; 130 interrupted.\n";

namespace {

struct CheckOptions {
  std::string Device, Image;
  int Session = -1;
  std::uint32_t Speed = 0;
  bool Help = false;
};

bool Parse(const std::vector<std::string>& args, CheckOptions& o, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-h" || a == "--help") {
      o.Help = true;
      continue;
    }
    if (i + 1 >= args.size()) {
      error = a.rfind("-", 0) == 0 ? a + " needs a value" : "unexpected argument: " + a;
      return false;
    }
    const std::string& v = args[++i];
    long n = 0;
    const auto number = [&v, &n](long low, long high) {
      auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), n);
      return ec == std::errc() && p == v.data() + v.size() && n >= low && n <= high;
    };
    if (a == "--device") o.Device = v;
    else if (a == "--image") o.Image = v;
    else if (a == "--session") {
      if (!number(-1, 127) || n == 0) { error = "--session takes -1 or a session number from 1 to 127: " + v; return false; }
      o.Session = static_cast<int>(n);
    } else if (a == "--speed") {
      if (!number(1, 0xFFFE)) { error = "--speed takes kB/s from 1 to 65534: " + v; return false; }
      o.Speed = static_cast<std::uint32_t>(n);
    } else {
      error = "unknown option: " + a;
      return false;
    }
  }
  if (!o.Help && o.Device.empty() == o.Image.empty()) error = "name the disc with --device DEV or --image FILE";
  return error.empty();
}

}  // namespace

int RunCheck(engine::TKavoBurner& burner, const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  CheckOptions o;
  std::string error;
  if (!Parse(args, o, error)) {
    std::fprintf(err, "zantic-cli: %s\n\n%s", error.c_str(), kCheckUsage);
    return kExitBadInput;
  }
  if (o.Help) {
    std::fputs(kCheckUsage, out);
    return kExitOk;
  }
  OpenedDisc disc;
  if (!OpenDisc(burner, o.Image, o.Device, disc, error)) {
    std::fprintf(err, "zantic-cli: %s\n", error.c_str());
    return kExitFailed;
  }
  if (o.Speed != 0 && disc.Image == nullptr && !burner.SetCdSpeed(static_cast<std::uint16_t>(o.Speed), 0xFFFF))
    std::fprintf(err, "zantic-cli: the drive refused the read speed %u kB/s; reading at its own speed\n", o.Speed);
  const std::uint8_t session = health::ChosenSession(*disc.Source, o.Session);
  if (session == 0) {
    std::fprintf(err, "zantic-cli: the disc holds no session\n");
    return kExitFailed;
  }
  HealthProgress progress(err);
  health::CheckCallbacks callbacks;
  callbacks.Cancelled = [&burner] { return burner.CancelRequested(); };
  callbacks.Progress = [&progress](std::uint64_t done, std::uint64_t total) { progress.Update(done, total); };
  callbacks.FileDone = [&](const health::FileCheck& f) {
    // Faults as they are found; good files only in the summary's count.
    if (!health::IsFault(f.Result)) return;
    progress.Break();
    std::fprintf(out, "%-10s %s%s%s\n", health::VerdictText(f.Result), Printable("/" + f.Path).c_str(),
                 f.Sectors.empty() ? "" : ": sectors ", health::RangesText(f.Sectors).c_str());
    std::fflush(out);
  };
  auto report = health::CheckSession(*disc.Source, session, health::ReadSettings{}, callbacks);
  progress.Break();
  if (!report) {
    if (report.Err().Kind == base::ErrorKind::Cancelled) {
      std::fprintf(err, "zantic-cli: interrupted\n");
      return kExitAborted;
    }
    std::fprintf(err, "zantic-cli: %s\n", report.Err().Message.c_str());
    return kExitFailed;
  }
  const health::CheckReport& r = report.Value();
  for (const auto& n : r.Notes) std::fprintf(out, "note: %s\n", Printable(n).c_str());
  // What the file tree could not take in was not checked: the session is not intact.
  for (const auto& l : r.LeftOut) std::fprintf(out, "left out   %s\n", Printable("/" + l).c_str());
  if (r.Incomplete)
    std::fprintf(out, "session %u was not written completely: its burn stopped before the end\n",
                 static_cast<unsigned>(session));
  if (!r.ChecksumProblem.empty())
    std::fprintf(out, "the checksum file cannot be used in full: %s\n", Printable(r.ChecksumProblem).c_str());
  std::size_t counts[6] = {};
  std::uint64_t bytes = 0;
  for (const auto& f : r.Files) {
    ++counts[static_cast<int>(f.Result)];
    bytes += f.Size;
  }
  std::string extra;
  if (counts[5] != 0) extra += ", " + std::to_string(counts[5]) + " unverified";
  if (!r.LeftOut.empty()) extra += ", " + std::to_string(r.LeftOut.size()) + " records left out";
  std::fprintf(out,
               "session %u: %zu files, %.1f MB, %s: %zu good, %zu read, %zu damaged, %zu unreadable, %zu missing%s\n",
               static_cast<unsigned>(session), r.Files.size(), static_cast<double>(bytes) / 1048576.0,
               !r.HasChecksums ? "no checksum file, read test only"
               : r.ChecksumProblem.empty() ? "checksums compared"
                                           : "checksum file damaged",
               counts[0], counts[1], counts[2], counts[3], counts[4], extra.c_str());
  if (r.Cancelled) {
    std::fprintf(err, "zantic-cli: interrupted; the files above were checked\n");
    return kExitAborted;
  }
  return r.Faults() != 0 ? kExitFailed : kExitOk;
}

}  // namespace cli
